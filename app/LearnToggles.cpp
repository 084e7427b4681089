// SPDX-License-Identifier: GPL-3.0-or-later
#include "LearnToggles.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr const char* kNeedsInput =
    "Learning needs a MIDI input port: connect a keyboard and pick it as \"In\" on the MIDI page";

}  // namespace

LearnToggles::LearnToggles(std::vector<QPushButton*> noteToggles, QPushButton* controllerToggle,
                           QLabel* line)
    : QObject(line),
      noteToggles_(std::move(noteToggles)),
      controllerToggle_(controllerToggle),
      line_(line) {
    for (QPushButton* toggle : all()) {
        hints_.push_back(toggle->toolTip());
        connect(toggle, &QPushButton::toggled, this, [this] { show(); });
    }
    line_->setAutoFillBackground(true);
    setInput({});
}

std::vector<QPushButton*> LearnToggles::all() const {
    std::vector<QPushButton*> toggles = noteToggles_;
    toggles.push_back(controllerToggle_);
    return toggles;
}

void LearnToggles::setInput(const QString& port) {
    input_ = port;
    const std::vector<QPushButton*> toggles = all();
    for (std::size_t i = 0; i < toggles.size(); ++i) {
        if (port.isEmpty())
            toggles[i]->setChecked(false);
        toggles[i]->setEnabled(!port.isEmpty());
        toggles[i]->setToolTip(port.isEmpty() ? QString::fromUtf8(kNeedsInput) : hints_[i]);
    }
    show();
}

bool LearnToggles::armed() const {
    const std::vector<QPushButton*> toggles = all();
    return std::any_of(toggles.begin(), toggles.end(), [](auto* t) { return t->isChecked(); });
}

void LearnToggles::disarm() {
    for (QPushButton* toggle : all())
        toggle->setChecked(false);
}

void LearnToggles::show() {
    for (QPushButton* toggle : all()) {
        // The highlight colours make an armed toggle stand out beyond the pressed look.
        QPalette colours = toggle->parentWidget()->palette();
        if (toggle->isChecked()) {
            colours.setColor(QPalette::Button, colours.color(QPalette::Highlight));
            colours.setColor(QPalette::ButtonText, colours.color(QPalette::HighlightedText));
        }
        toggle->setPalette(colours);
    }
    const bool note = std::any_of(noteToggles_.begin(), noteToggles_.end(),
                                  [](auto* t) { return t->isChecked(); });
    if (note)
        line_->setText(QStringLiteral("Play a note on %1…").arg(input_));
    else if (controllerToggle_->isChecked())
        line_->setText(QStringLiteral("Move a controller on %1…").arg(input_));
    line_->setVisible(armed());
    line_->setToolTip(line_->text());
    line_->setAccessibleName(line_->isVisible() ? line_->text() : QString());
}
