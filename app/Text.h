// SPDX-License-Identifier: GPL-3.0-or-later
// The program's strings hold the platform's ANSI code page (Windows-1252 on Windows, UTF-8
// elsewhere); Qt's local 8-bit encoding is that code page, so conversions happen here only.
#pragma once

#include <QString>

#include <string>

inline QString ToQString(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQString(const QString& text) {
    return text.toLocal8Bit().toStdString();
}
