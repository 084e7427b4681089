// SPDX-License-Identifier: GPL-3.0-or-later
// A port combo: says when its list is about to open, so that the ports are read anew before
// the user picks one, and shows a placeholder item when there is no port, which cannot be
// chosen.
#pragma once

#include <QComboBox>

#include <string>
#include <vector>

class TPortCombo : public QComboBox {
    Q_OBJECT

  public:
    using QComboBox::QComboBox;

    static constexpr const char* kNoInput = "No MIDI Input Device";
    static constexpr const char* kNoOutput = "No MIDI Output Device";
    // True for the text of a placeholder item: no port of that name can be chosen or stored.
    static bool IsPlaceholder(const std::string& name);

    // Fills the list with the names; the single disabled, unselected item `none` when there is
    // none.
    void fill(const std::vector<std::string>& names, const char* none);
    // The port selected, or empty.
    std::string selectedPort() const;
    // True when the list holds the placeholder alone (or nothing).
    bool holdsNoPort() const;

    void showPopup() override {
        emit popupAboutToShow();
        QComboBox::showPopup();
    }

  signals:
    void popupAboutToShow();
};
