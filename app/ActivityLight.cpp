// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActivityLight.h"

#include <QAccessible>
#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

ActivityLight::ActivityLight(QWidget* parent) : QWidget(parent) {
    darken_.setSingleShot(true);
    connect(&darken_, &QTimer::timeout, this, [this] {
        // Messages that came while lit keep it lit for their own moment.
        const qint64 left = kFlashMs - sinceLast_.elapsed();
        if (left > 0)
            return darken_.start(static_cast<int>(left));
        lit_ = false;
        update();
        // A screen reader reads the hint as the light's description: it is brought up to date
        // once the messages have passed.
        if (describe_ && QAccessible::isActive())
            setAccessibleDescription(describe_());
    });
}

void ActivityLight::flash() {
    sinceLast_.start();
    if (lit_)
        return;
    lit_ = true;
    ++flashes_;
    darken_.start(kFlashMs);
    update();
}

void ActivityLight::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::Dark));
    painter.setBrush(lit_ ? QColor(0x30, 0xe0, 0x40) : palette().color(QPalette::Mid));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

bool ActivityLight::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && describe_) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), description(), this);
        return true;
    }
    return QWidget::event(event);
}
