// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and saving the window's setup as a .syx file: two buttons, Ctrl+O and Ctrl+S, and a
// file dropped onto the window. A file that cannot be used is said in a box and changes
// nothing.
#pragma once

#include "converter/ConverterSetup.h"

#include <QObject>

#include <functional>
#include <string>

class QAbstractButton;
class QWidget;

class SetupFileActions : public QObject {
  public:
    // `current` gives the window's setup; `open` shows and sends one that was read.
    SetupFileActions(QWidget& window, QAbstractButton& openButton, QAbstractButton& saveButton,
                     std::function<ConverterSetup()> current,
                     std::function<void(const ConverterSetup&)> open);

    // Reads the file and hands its setup to `open`; false, after saying why, when it cannot.
    bool openFile(const std::string& path);
    bool saveFile(const std::string& path);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget& window_;
    std::function<ConverterSetup()> current_;
    std::function<void(const ConverterSetup&)> open_;
};
