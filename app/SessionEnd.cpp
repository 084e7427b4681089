// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionEnd.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QWidget>

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace {

#ifndef _WIN32
// The socket pair between the handlers and the event loop; the handlers write to [1].
int wakeup[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full socket already holds a byte that has not been read: nothing is lost.
    [[maybe_unused]] const ssize_t written = write(wakeup[1], &byte, 1);
    errno = saved;
}
#endif

}  // namespace

SessionEnd::SessionEnd(QWidget& window, std::function<void()> save)
    : window_(window), save_(std::move(save)) {
#ifndef _WIN32
    if (wakeup[0] < 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeup) == 0)
        fcntl(wakeup[1], F_SETFL, O_NONBLOCK);
    if (wakeup[0] >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(wakeup[0], QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
            char bytes[16];
            [[maybe_unused]] const ssize_t read = ::read(wakeup[0], bytes, sizeof bytes);
            signalled();
        });
        struct sigaction action {};
        action.sa_handler = &onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int number : {SIGTERM, SIGHUP, SIGINT})
            sigaction(number, &action, nullptr);
    }
#endif
#if QT_CONFIG(sessionmanager)
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { save_(); });
#endif
    QCoreApplication::instance()->installNativeEventFilter(this);
}

SessionEnd::~SessionEnd() {
    QCoreApplication::instance()->removeNativeEventFilter(this);
#ifndef _WIN32
    // Signals from now on end the program as they would without it.
    for (int number : {SIGTERM, SIGHUP, SIGINT})
        std::signal(number, SIG_DFL);
#endif
}

void SessionEnd::signalled() {
    // A second signal while the window closes changes nothing.
    if (std::exchange(ending_, true))
        return;
    window_.close();
    QCoreApplication::quit();
}

bool SessionEnd::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
#ifdef _WIN32
    if (type == "windows_generic_MSG") {
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_ENDSESSION && msg->wParam == TRUE)
            save_();
    }
#else
    static_cast<void>(type);
    static_cast<void>(message);
#endif
    return false;
}
