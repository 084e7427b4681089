// SPDX-License-Identifier: GPL-3.0-or-later
// A port combo: says when its list is about to open, so that the ports are read anew before
// the user picks one, shows a placeholder item when there is no port, which cannot be chosen,
// and keeps the port it stands for while that port is not listed.
#pragma once

#include <QComboBox>

#include <string>
#include <vector>

// The port a combo stands for: its name as listed and the host's whole name of it, which tells
// apart devices whose listed names agree (empty where it is not known).
struct ChosenPort {
    std::string name;
    std::string full;
    bool empty() const { return name.empty(); }
};

class TPortCombo : public QComboBox {
    Q_OBJECT

  public:
    using QComboBox::QComboBox;

    static constexpr const char* kNoInput = "No MIDI Input Device";
    static constexpr const char* kNoOutput = "No MIDI Output Device";
    // True for the text of a placeholder item: no port of that name can be chosen or stored.
    static bool IsPlaceholder(const std::string& name);

    // Fills the list with the names (and the whole names beside them); the single disabled,
    // unselected item `none` when there is none. Nothing is selected afterwards.
    void fill(const std::vector<std::string>& names, const std::vector<std::string>& fulls,
              const char* none);
    // Selects the port: by its whole name where that is known, so that a device whose listed
    // name is alike is not taken for it, else by its name. One that is not listed leaves no
    // selection and is said in the combo and its hint: "<name> (not connected)".
    void choose(const ChosenPort& port);
    // The port selected (empty when none is), and that or the one that is not listed.
    ChosenPort selected() const;
    ChosenPort chosen() const { return missing_.empty() ? selected() : missing_; }
    // The port chosen that is not listed now; empty when there is none.
    const ChosenPort& missing() const { return missing_; }
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

  private:
    ChosenPort missing_;
};
