#include "ExceptionDisplay.h"

#include "Text.h"

#include <QApplication>
#include <QMessageBox>

#include <stdexcept>

std::string ExceptionText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + '.';
    return message;
}

void ShowException(const std::exception& error) {
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(),
                    ToQString(ExceptionText(error.what())), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
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
