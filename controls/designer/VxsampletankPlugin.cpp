// SPDX-License-Identifier: GPL-3.0-or-later
#include "VxsampletankPlugin.h"

#include "controls/Vxsampletank.h"

QWidget* VxsampletankPlugin::createWidget(QWidget* parent) {
    // Designer owns the widget through its parent.
    return new TvxSampleTank(parent);
}

// Designer places a new display at the geometry given here.
QString VxsampletankPlugin::domXml() const {
    return QStringLiteral(
               "<ui language=\"c++\">\n"
               " <widget class=\"TvxSampleTank\" name=\"vxSampleTank\">\n"
               "  <property name=\"geometry\">\n"
               "   <rect><x>0</x><y>0</y><width>%1</width><height>%2</height></rect>\n"
               "  </property>\n"
               " </widget>\n"
               "</ui>\n")
        .arg(TvxSampleTank::kWidth)
        .arg(TvxSampleTank::kHeight);
}
