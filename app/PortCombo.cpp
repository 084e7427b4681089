// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortCombo.h"

#include "Text.h"

#include <QStandardItemModel>

TPortCombo::TPortCombo(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentIndexChanged, this, [this] { showHint(); });
}

void TPortCombo::fill(const PortList& ports, const char* none) {
    clear();
    if (ports.empty()) {
        addItem(QString::fromLatin1(none));
        if (auto* items = qobject_cast<QStandardItemModel*>(model()))
            items->item(0)->setEnabled(false);
        setCurrentIndex(-1);
    } else {
        for (const PortIdentity& port : ports) {
            addItem(ToQString(port.name), ToQString(port.full));
            // A whole name that says more than the listed one shows in the list.
            if (!port.full.empty() && port.full != port.name)
                setItemData(count() - 1, ToQString(port.full), Qt::ToolTipRole);
        }
        setCurrentIndex(-1);
    }
    showHint();
}

void TPortCombo::choose(const ChosenPort& port) {
    PortList listed;
    for (int i = 0; i < count(); ++i) {
        // The placeholder is no port.
        const bool enabled = model()->flags(model()->index(i, 0)) & Qt::ItemIsEnabled;
        listed.push_back(
            enabled ? PortIdentity{FromQString(itemText(i)), FromQString(itemData(i).toString())}
                    : PortIdentity{});
    }
    const auto index = FindRememberedPort(listed, port);
    const int found = index ? static_cast<int>(*index) : -1;
    setCurrentIndex(found);
    missing_ = found < 0 ? port : ChosenPort{};
    showHint();
}

void TPortCombo::showHint() {
    // A missing port is said in the combo itself and in its tooltip; nothing is sent to a port
    // in its place.
    const QString text = missing_.empty()
                             ? QString()
                             : ToQString(missing_.name) + QStringLiteral(" (not connected)");
    setPlaceholderText(text);
    const QString whole =
        currentIndex() >= 0 ? itemData(currentIndex(), Qt::ToolTipRole).toString() : QString();
    setToolTip(!text.isEmpty() ? text : holdsNoPort() ? noPortHint_ : whole);
    setAccessibleDescription(toolTip());
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
