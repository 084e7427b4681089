// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortCombo.h"

#include "Text.h"

#include <QStandardItemModel>

bool TPortCombo::IsPlaceholder(const std::string& name) {
    return name == kNoInput || name == kNoOutput;
}

void TPortCombo::fill(const std::vector<std::string>& names, const std::vector<std::string>& fulls,
                      const char* none) {
    clear();
    if (names.empty()) {
        addItem(QString::fromLatin1(none));
        if (auto* items = qobject_cast<QStandardItemModel*>(model()))
            items->item(0)->setEnabled(false);
        setCurrentIndex(-1);
        return;
    }
    for (std::size_t i = 0; i < names.size(); ++i)
        addItem(ToQString(names[i]), i < fulls.size() ? ToQString(fulls[i]) : QString());
    setCurrentIndex(-1);
}

void TPortCombo::choose(const ChosenPort& port) {
    int found = -1;
    if (!port.full.empty()) {
        // Devices of one whole name: the one of the same listed name first.
        for (int i = 0; i < count(); ++i) {
            if (itemData(i).toString() == ToQString(port.full) &&
                (found < 0 || itemText(i) == ToQString(port.name)))
                found = i;
        }
    } else if (!port.name.empty()) {
        found = findText(ToQString(port.name));
    }
    if (found >= 0 && !(model()->flags(model()->index(found, 0)) & Qt::ItemIsEnabled))
        found = -1;
    setCurrentIndex(found);
    missing_ = found < 0 ? port : ChosenPort{};
    // Said in the combo itself and in its tooltip; nothing is sent to a port in its place.
    const QString text = missing_.empty()
                             ? QString()
                             : ToQString(missing_.name) + QStringLiteral(" (not connected)");
    setPlaceholderText(text);
    setToolTip(text);
}

ChosenPort TPortCombo::selected() const {
    const std::string name = selectedPort();
    return {name, name.empty() ? std::string() : FromQString(currentData().toString())};
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
