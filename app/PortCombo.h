// A port combo that says when its list is about to open, so that the ports are read anew
// before the user picks one.
#pragma once

#include <QComboBox>

class TPortCombo : public QComboBox {
    Q_OBJECT

  public:
    using QComboBox::QComboBox;

    void showPopup() override {
        emit popupAboutToShow();
        QComboBox::showPopup();
    }

  signals:
    void popupAboutToShow();
};
