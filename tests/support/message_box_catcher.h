// SPDX-License-Identifier: GPL-3.0-or-later
// Reads and dismisses the modal message boxes a window shows while the catcher lives.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <vector>

struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    bool overShownWindow;  // shown with a window on the screen behind it
};

// Watches for modal message boxes while it lives and presses their OK button.
class MessageBoxCatcher {
  public:
    MessageBoxCatcher() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || box->property("caught").toBool())
                return;
            box->setProperty("caught", true);
            QWidget* parent = box->parentWidget();
            boxes.push_back({box->windowTitle(), box->text(), box->icon(),
                             parent != nullptr && parent->isVisible()});
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        timer_.start();
    }

    std::vector<QString> texts() const {
        std::vector<QString> all;
        for (const auto& box : boxes)
            all.push_back(box.text);
        return all;
    }

    std::vector<ShownBox> boxes;

  private:
    QTimer timer_;
};
