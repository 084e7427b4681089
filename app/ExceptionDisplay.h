// SPDX-License-Identifier: GPL-3.0-or-later
// The application's exception display: a message box with the application's title, the stop
// icon, OK and the exception's text. Every exception that leaves an event handler ends here,
// and the program goes on.
#pragma once

#include <QMessageBox>

#include <exception>
#include <string>
#include <utility>

// The text as shown: a period is added when the last character sorts after the period.
std::string ExceptionText(const std::string& message);

// A modal box with the application's title, the icon, OK and the text as ExceptionText gives it.
void ShowMessage(QMessageBox::Icon icon, const std::string& text, QWidget* parent);
void ShowException(const std::exception& error);
// While held, boxes wait instead of showing: a window that is being made shows its start-up
// problems once it is on the screen, so that each box has the window behind it.
void HoldMessages();
// Shows the boxes that waited, oldest first, over `parent`, and holds no more.
void ShowHeldMessages(QWidget* parent);
// Holds no more; what waited goes to the standard error (a window closed before it was shown).
void PrintHeldMessages();
// While one lives, every box is written to the standard error instead: the program is ending
// with nobody to click (a signal, a session that ends without interaction).
class MessagesToStandardError {
  public:
    MessagesToStandardError();
    ~MessagesToStandardError();
    MessagesToStandardError(const MessagesToStandardError&) = delete;
    MessagesToStandardError& operator=(const MessagesToStandardError&) = delete;

  private:
    bool before_;
};
// Every box from now on, for as long as the program runs, is written to the standard error:
// the program is ending on a signal.
void MessagesToStandardErrorFromNowOn();
// The text of what `error` holds ("Unknown error" for what is no std::exception).
std::string ExceptionMessage(const std::exception_ptr& error);
// Shows whatever `error` holds; nothing for null.
void ShowException(const std::exception_ptr& error);

// Runs an event handler; what it throws is shown instead of reaching Qt's event loop.
template <typename Handler>
void Guarded(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ShowException(std::current_exception());
    }
}
