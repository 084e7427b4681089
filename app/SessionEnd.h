// SPDX-License-Identifier: GPL-3.0-or-later
// The end of a desktop session ends the program as closing its window does, with the settings
// saved: on SIGTERM, SIGHUP and SIGINT, the session manager's request to save, and Windows'
// WM_ENDSESSION. The work is done on the GUI thread, never in a signal handler: a handler only
// writes a byte that Qt's event loop reads. After a signal the program ends within seconds
// whatever happens: boxes go to the standard error, a second signal ends it at once, and so
// does a deadline.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;
class QWidget;

class SessionEnd : public QObject, public QAbstractNativeEventFilter {
  public:
    // On a signal the window is closed (which saves) and the program quits, once; on a request
    // to save, or at Windows' end of session, `save` runs.
    SessionEnd(QWidget& window, std::function<void()> save);
    ~SessionEnd() override;
    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

  private:
    void signalled();

    QWidget& window_;
    std::function<void()> save_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool ending_ = false;
};
