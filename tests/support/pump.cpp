// SPDX-License-Identifier: GPL-3.0-or-later
#include "pump.h"

#include "platform/virtual_midi.h"

void Settle() {
    for (int round = 0; round < 3; ++round) {
        virtual_midi::Flush();
        Pump(0);
    }
}
