// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExceptionDisplay.h"

#include "Text.h"

#include <QApplication>

#include <stdexcept>

std::string ExceptionText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + '.';
    return message;
}

void ShowMessage(QMessageBox::Icon icon, const std::string& text, QWidget* parent) {
    QMessageBox box(icon, QApplication::applicationName(), ToQString(ExceptionText(text)),
                    QMessageBox::Ok, parent);
    box.exec();
}

void ShowException(const std::exception& error) {
    ShowMessage(QMessageBox::Critical, error.what(), QApplication::activeWindow());
}

void ShowException(const std::exception_ptr& error) {
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        ShowException(caught);
    } catch (...) {
        ShowException(std::runtime_error("Unknown error"));
    }
}
