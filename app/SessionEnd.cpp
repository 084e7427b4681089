// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionEnd.h"

#include "ExceptionDisplay.h"

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
#include <cstring>
#endif

namespace {

#ifndef _WIN32
// The socket pair between the handlers and the event loop; the handlers write to [1].
int wakeup[2] = {-1, -1};
// How long the program may take to end after the first signal, whatever it is doing.
constexpr unsigned kEndingSeconds = 5;
volatile std::sig_atomic_t signalledBefore = 0;

void say(const char* text) {
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, text, std::strlen(text));
}

void onSignal(int number) {
    const int saved = errno;
    if (signalledBefore != 0) {
        say("rdn417-config: a second signal ends the program at once\n");
        _exit(128 + number);
    }
    signalledBefore = 1;
    alarm(kEndingSeconds);
    const char byte = 1;
    // A full socket already holds a byte that has not been read: nothing is lost.
    [[maybe_unused]] const ssize_t written = write(wakeup[1], &byte, 1);
    errno = saved;
}

void onEndingTooLong(int) {
    say("rdn417-config: still running 5 seconds after the signal to end; ended now\n");
    _exit(1);
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
        action.sa_handler = &onEndingTooLong;
        sigaction(SIGALRM, &action, nullptr);
    }
#endif
#if QT_CONFIG(sessionmanager)
    // A box is shown only where the session manager lets the program ask the user.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (manager.allowsInteraction()) {
            save_();
            manager.release();
            return;
        }
        MessagesToStandardError quiet;
        save_();
    });
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
    if (std::exchange(ending_, true))
        return;
    // Nobody waits at the screen to close a box: what it would say goes to the standard error,
    // also while the window is taken down after this object, and a box already open closes as
    // the program quits.
    MessagesToStandardErrorFromNowOn();
    window_.close();
    QCoreApplication::quit();
}

bool SessionEnd::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
#ifdef _WIN32
    if (type == "windows_generic_MSG") {
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_ENDSESSION && msg->wParam == TRUE) {
            MessagesToStandardError quiet;
            save_();
        }
    }
#else
    static_cast<void>(type);
    static_cast<void>(message);
#endif
    return false;
}
