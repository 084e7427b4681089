// SPDX-License-Identifier: GPL-3.0-or-later
// The window's remembered settings: position, parameters and ports, in the per-user key.
#include "ExceptionDisplay.h"
#include "Unit1.h"
#include "platform/midi_system.h"
#include "session/RegistryKey.h"
#include "session/StoredChoices.h"
#include "session/StoredSetup.h"

#include <QGuiApplication>
#include <QScreen>

#include <optional>

namespace {

bool onSomeScreen(const QRect& frame) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().intersects(frame))
            return true;
    }
    return false;
}

// The key, or nothing when it cannot be opened for whatever reason; closing the window and
// starting it go on all the same.
std::optional<RegistryKey> openKey(bool create) {
    try {
        return RegistryKey::Open(kSettingsKey, create);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Says once what went wrong with the settings file, if anything did.
void tellSettingsProblem(QWidget* window) {
    const std::string problem = platform::TakeSettingsProblem();
    if (problem.empty())
        return;
    ShowMessage(QMessageBox::Warning, problem, window);
}

}  // namespace

void TForm1::SaveSettings() {
    if (auto key = openKey(true)) {
        try {
            key->WriteInteger("PX", pos().x());
            key->WriteInteger("PY", pos().y());
            WriteStoredSetup(*key, CurrentSetup());
            key->WriteInteger("midiIN", cmbInput->currentIndex());
            key->WriteInteger("midiOUT", cmbOutput->currentIndex());
        } catch (const std::exception&) {
            // A value that cannot be written ends the writing.
        }
        // Beside the nine: the ports by name and by the host's whole name, a missing one
        // included, the MIDI system and whether everything is sent when the output opens.
        try {
            StorePort(*key, false, cmbInput->chosen());
            StorePort(*key, true, cmbOutput->chosen());
            StoreMidiSystem(*key);
            key->WriteBool("SendAllOnOpen", CheckSendAllOnOpen->isChecked());
        } catch (const std::exception&) {
        }
    }  // closing the key saves
    tellSettingsProblem(this);
}

void TForm1::LoadMidiSystem() {
    if (const auto key = openKey(false))
        RestoreMidiSystem(*key);
}

void TForm1::LoadSettings() {
    auto key = openKey(false);
    tellSettingsProblem(this);
    if (!key)
        return;
    // The ports are not open yet: a radio's handler must not send now. Each value is read on
    // its own: one that is missing or of another type costs that value alone.
    loadingSettings_ = true;
    if (const auto input = key->FindInteger("midiIN"))
        cmbInput->setCurrentIndex(*input);
    if (const auto output = key->FindInteger("midiOUT"))
        cmbOutput->setCurrentIndex(*output);
    const auto left = key->FindInteger("PX");
    const auto top = key->FindInteger("PY");
    move(left.value_or(x()), top.value_or(y()));
    const StoredSetupReading reading = ReadStoredSetup(*key, CurrentSetup());
    showSetup(reading.setup);
    // An entry stored past the list selects nothing, as it always has.
    if (reading.entryPastList)
        ComboBox3->setCurrentIndex(-1);
    if (const std::string bad = DescribeBadValues(reading); !bad.empty())
        ShowMessage(QMessageBox::Warning, bad + " It is stored anew when the window closes.", this);
    loadingSettings_ = false;
    // A port stored by name is found wherever it is now listed, by the host's whole name
    // first (another device whose name begins alike may have its listed name in this run);
    // one that is not listed leaves its combo without a selection rather than choosing
    // whatever has its place now.
    for (const bool output : {false, true}) {
        if (const PortIdentity port = StoredPort(*key, output); !port.empty())
            (output ? cmbOutput : cmbInput)->choose(port);
    }
    // Not stored by an earlier version: off, as for a new user.
    CheckSendAllOnOpen->setChecked(key->FindInteger("SendAllOnOpen").value_or(0) != 0);
    // A position on a monitor that is gone would leave the window out of reach.
    if (!onSomeScreen(frameGeometry()))
        move(DefaultPosition);
}
