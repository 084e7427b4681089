// SPDX-License-Identifier: GPL-3.0-or-later
// A small MIDI activity light: it lights up for a moment with each message and goes dark when
// none has come for that long. A flood costs one repaint a flash, not one a message.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

class ActivityLight : public QWidget {
  public:
    explicit ActivityLight(QWidget* parent = nullptr);

    static constexpr int kFlashMs = 60;

    // A message passed: lit, and dark again kFlashMs after the last one.
    void flash();
    bool lit() const { return lit_; }
    // How many times it has lit up (a flood keeps it lit: one flash).
    int flashes() const { return flashes_; }
    // Gives the hint when it is asked for, so that it tells what is current then.
    void setDescription(std::function<QString()> describe) { describe_ = std::move(describe); }
    QString description() const { return describe_ ? describe_() : toolTip(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    bool lit_ = false;
    int flashes_ = 0;
    QElapsedTimer sinceLast_;
    QTimer darken_;
    std::function<QString()> describe_;
};
