// SPDX-License-Identifier: GPL-3.0-or-later
#include "VxsampletankPlugin.h"

#include "controls/Vxsampletank.h"

QWidget* VxsampletankPlugin::createWidget(QWidget* parent) {
    // Designer owns the widget through its parent.
    return new TvxSampleTank(parent);
}

QString VxsampletankPlugin::domXml() const {
    return QStringLiteral(
        "<ui language=\"c++\">\n"
        " <widget class=\"TvxSampleTank\" name=\"vxSampleTank\"/>\n"
        "</ui>\n");
}
