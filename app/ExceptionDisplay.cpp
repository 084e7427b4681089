// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExceptionDisplay.h"

#include "Text.h"

#include <QApplication>

#include <cstdio>
#include <utility>
#include <vector>

std::string ExceptionText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + '.';
    return message;
}

namespace {

struct HeldMessage {
    QMessageBox::Icon icon;
    std::string text;
};
bool holding = false;
std::vector<HeldMessage> held;
bool toStandardError = false;
bool toStandardErrorForever = false;

void print(const std::string& text) {
    std::fprintf(stderr, "%s\n", ExceptionText(text).c_str());
    std::fflush(stderr);
}

}  // namespace

void HoldMessages() {
    holding = true;
}

void ShowHeldMessages(QWidget* parent) {
    holding = false;
    for (const HeldMessage& message : std::exchange(held, {}))
        ShowMessage(message.icon, message.text, parent);
}

void PrintHeldMessages() {
    holding = false;
    for (const HeldMessage& message : std::exchange(held, {}))
        print(message.text);
}

MessagesToStandardError::MessagesToStandardError() : before_(std::exchange(toStandardError, true)) {
    PrintHeldMessages();
}

MessagesToStandardError::~MessagesToStandardError() {
    toStandardError = before_;
}

void MessagesToStandardErrorFromNowOn() {
    toStandardErrorForever = true;
    PrintHeldMessages();
}

void ShowMessage(QMessageBox::Icon icon, const std::string& text, QWidget* parent) {
    if (toStandardError || toStandardErrorForever) {
        print(text);
        return;
    }
    if (holding) {
        held.push_back({icon, text});
        return;
    }
    QMessageBox box(icon, QApplication::applicationName(), ToQString(ExceptionText(text)),
                    QMessageBox::Ok, parent);
    box.exec();
}

void ShowException(const std::exception& error) {
    ShowMessage(QMessageBox::Critical, error.what(), QApplication::activeWindow());
}

std::string ExceptionMessage(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        return caught.what();
    } catch (...) {
        return "Unknown error";
    }
}

void ShowException(const std::exception_ptr& error) {
    if (error)
        ShowMessage(QMessageBox::Critical, ExceptionMessage(error), QApplication::activeWindow());
}
