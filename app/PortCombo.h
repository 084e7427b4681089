// SPDX-License-Identifier: GPL-3.0-or-later
// A port combo: says when its list is about to open, so that the ports are read anew before
// the user picks one, shows a placeholder item when there is no port, which cannot be chosen,
// and keeps the port it stands for while that port is not listed. Where a port's whole name
// says more than its listed name, the whole name is its item's tooltip in the list, and the
// combo's while it is selected.
#pragma once

#include "session/Ports.h"
#include "session/StoredChoices.h"

#include <QComboBox>

#include <string>
#include <vector>

// The port a combo stands for.
using ChosenPort = PortIdentity;

class TPortCombo : public QComboBox {
    Q_OBJECT

  public:
    explicit TPortCombo(QWidget* parent = nullptr);

    static constexpr const char* kNoInput = kNoInputPortText;
    static constexpr const char* kNoOutput = kNoOutputPortText;

    // Fills the list with the ports (their whole names beside them); the single disabled,
    // unselected item `none` when there is none. Nothing is selected afterwards.
    void fill(const PortList& ports, const char* none);
    // Selects the port as a remembered port is found (FindRememberedPort). One that is not
    // listed leaves no selection and is said in the combo and its hint: "<name> (not
    // connected)".
    void choose(const ChosenPort& port);
    // The hint while the list holds no port at all (and none is missing).
    void setNoPortHint(const QString& hint) {
        noPortHint_ = hint;
        showHint();
    }
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
    // The placeholder and the hint for what the combo holds now.
    void showHint();

    ChosenPort missing_;
    QString noPortHint_;
};
