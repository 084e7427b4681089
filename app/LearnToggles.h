// SPDX-License-Identifier: GPL-3.0-or-later
// The window's three learn toggles: an armed one looks pressed and coloured, and a line says
// what to play on which input port; without an open input port none can be armed, and each
// says why in its hint.
#pragma once

#include <QObject>
#include <QString>

#include <vector>

class QLabel;
class QPushButton;

class LearnToggles : public QObject {
  public:
    // `noteToggles` learn from the next note played, `controllerToggle` from the next
    // controller moved; `line` shows what is awaited while any is armed.
    LearnToggles(std::vector<QPushButton*> noteToggles, QPushButton* controllerToggle,
                 QLabel* line);

    // The input port learning listens on; empty when no input is open.
    void setInput(const QString& port);
    bool armed() const;
    // Turns every toggle off (Escape, a second click, a value learned).
    void disarm();

  private:
    std::vector<QPushButton*> all() const;
    void show();

    std::vector<QPushButton*> noteToggles_;
    QPushButton* controllerToggle_;
    QLabel* line_;
    QString input_;
    std::vector<QString> hints_;
};
