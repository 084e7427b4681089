// SPDX-License-Identifier: GPL-3.0-or-later
#include "PostedMessagePump.h"

#include "ExceptionDisplay.h"
#include "platform/win32.h"

#include <QCoreApplication>
#include <QSocketNotifier>

void InstallPostedMessagePump() {
#ifndef _WIN32
    static QSocketNotifier* notifier = nullptr;
    if (notifier != nullptr)
        return;
    // A child of the application object: it lives as long as the event loop.
    notifier = new QSocketNotifier(platform::PostedMessageFd(), QSocketNotifier::Read,
                                   QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated,
                     [] { Guarded([] { platform::DispatchPostedMessages(); }); });
#else
    // Qt's loop dispatches them; what a procedure raises is shown as a handler's would be.
    platform::SetProcedureExceptionHandler(
        [](const std::exception_ptr& error) { ShowException(error); });
#endif
}
