// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageKeys.h"

#include <QKeySequence>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>

void AddPageKeys(QTabWidget& pages) {
    const auto step = [&pages](int by) {
        const int count = pages.count();
        if (count > 0)
            pages.setCurrentIndex((pages.currentIndex() + by + count) % count);
    };
    const struct {
        QKeySequence keys;
        int by;
    } keys[] = {{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
                {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
                {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}};
    QWidget* window = pages.window();
    for (const auto& [sequence, by] : keys) {
        auto* shortcut = new QShortcut(sequence, window);
        QObject::connect(shortcut, &QShortcut::activated, &pages, [step, by = by] { step(by); });
    }
    for (int page = 0; page < pages.count(); ++page)
        pages.widget(page)->setAccessibleName(pages.tabText(page).remove('&'));
    const auto name = [&pages] {
        const QString shown = pages.tabText(pages.currentIndex()).remove('&');
        pages.tabBar()->setAccessibleName(shown);
        pages.setAccessibleName(shown);
    };
    name();
    QObject::connect(&pages, &QTabWidget::currentChanged, &pages, name);
}
