// SPDX-License-Identifier: GPL-3.0-or-later
// The window's converter setup: read from the controls, shown in them, and sent.
#include "Unit1.h"

// An explicit command: "Send Parameters Real Time" gates only the changes as they happen.
void TForm1::SendAll() {
    if (loadingSettings_)
        return;
    sendProblems_.beginAction();
    for (const auto& message : CurrentSetup().messages())
        send(message);
}

ConverterSetup TForm1::CurrentSetup() const {
    ConverterSetup setup;
    setup.channel = channel();
    setup.noteRef = potnote->State();
    setup.pitchTable = RadioTable->isChecked();
    setup.auxFromController = RadioCtrl->isChecked();
    const int entry = ComboBox3->currentIndex();
    if (entry > 0)
        setup.auxController = entry - 1;
    return setup;
}

void TForm1::showSetup(const ConverterSetup& setup) {
    potcanal->setState(setup.channel + 1);
    potnote->setState(setup.noteRef);
    ComboBox3->setCurrentIndex(setup.auxController ? *setup.auxController + 1 : 0);
    (setup.pitchTable ? RadioTable : RadioOct)->setChecked(true);
    (setup.auxFromController ? RadioCtrl : RadioVelo)->setChecked(true);
    setTestNote(setup.noteRef);
}

void TForm1::OpenSetup(const ConverterSetup& setup) {
    loadingSettings_ = true;
    showSetup(setup);
    loadingSettings_ = false;
    SendAll();
}
