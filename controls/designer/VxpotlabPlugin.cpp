// SPDX-License-Identifier: GPL-3.0-or-later
#include "VxpotlabPlugin.h"

#include "controls/Vxpotlab.h"

QWidget* VxpotlabPlugin::createWidget(QWidget* parent) {
    // Designer owns the widget through its parent.
    return new Tvxpotlab(parent);
}

QString VxpotlabPlugin::domXml() const {
    return QStringLiteral(
        "<ui language=\"c++\">\n"
        " <widget class=\"Tvxpotlab\" name=\"vxpotlab\"/>\n"
        "</ui>\n");
}
