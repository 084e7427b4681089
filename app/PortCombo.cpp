// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortCombo.h"

#include "Text.h"

#include <QStandardItemModel>

bool TPortCombo::IsPlaceholder(const std::string& name) {
    return name == kNoInput || name == kNoOutput;
}

void TPortCombo::fill(const std::vector<std::string>& names, const char* none) {
    clear();
    if (names.empty()) {
        addItem(QString::fromLatin1(none));
        if (auto* items = qobject_cast<QStandardItemModel*>(model()))
            items->item(0)->setEnabled(false);
        setCurrentIndex(-1);
        return;
    }
    for (const std::string& name : names)
        addItem(ToQString(name));
}

std::string TPortCombo::selectedPort() const {
    const int index = currentIndex();
    if (index < 0 || !(model()->flags(model()->index(index, 0)) & Qt::ItemIsEnabled))
        return {};
    return FromQString(currentText());
}

bool TPortCombo::holdsNoPort() const {
    return count() == 0 ||
           (count() == 1 && !(model()->flags(model()->index(0, 0)) & Qt::ItemIsEnabled));
}
