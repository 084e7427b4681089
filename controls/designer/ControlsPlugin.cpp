// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControlsPlugin.h"

#include "VxpotlabPlugin.h"
#include "VxsampletankPlugin.h"

ControlsPlugin::ControlsPlugin(QObject* parent) : QObject(parent) {
    // Children of the collection: Qt frees them with it.
    widgets_.append(new VxpotlabPlugin(this));
    widgets_.append(new VxsampletankPlugin(this));
}
