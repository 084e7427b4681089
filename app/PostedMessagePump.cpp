// SPDX-License-Identifier: GPL-3.0-or-later
#include "PostedMessagePump.h"

#include "ExceptionDisplay.h"
#include "platform/win32.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <utility>

namespace {

std::function<void(const std::exception_ptr&)> failureHandler;

void failed(const std::exception_ptr& error) {
    if (failureHandler)
        failureHandler(error);
    else
        ShowException(error);
}

}  // namespace

void InstallPostedMessagePump(std::function<void(const std::exception_ptr&)> onFailure) {
    failureHandler = std::move(onFailure);
#ifndef _WIN32
    static QSocketNotifier* notifier = nullptr;
    if (notifier != nullptr)
        return;
    // A child of the application object: it lives as long as the event loop.
    notifier = new QSocketNotifier(platform::PostedMessageFd(), QSocketNotifier::Read,
                                   QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        try {
            platform::DispatchPostedMessages();
        } catch (...) {
            failed(std::current_exception());
        }
    });
#else
    // Qt's loop dispatches them.
    platform::SetProcedureExceptionHandler(failed);
#endif
}
