// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatorState.h"
#include "Text.h"
#include "Unit1.h"

void TForm1::connectLights() {
    converter_->setOnSent([this] { LightOut->flash(); });
    LightIn->setToolTip(QStringLiteral("Lights up for each message the MIDI input receives"));
    LightOut->setDescription([this] {
        const QString hint = QStringLiteral("Lights up for each message sent to the converter");
        const std::string state = DescribeSimulatedConverter(
            MidiOutput1->ProductName(), static_cast<unsigned>(MidiOutput1->DeviceID()));
        return state.empty() ? hint : hint + QStringLiteral("\n") + ToQString(state);
    });
}
