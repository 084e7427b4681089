// SPDX-License-Identifier: GPL-3.0-or-later
#include "LicenceDialog.h"
#include "Text.h"
#include "Unit1.h"
#include "platform/midi_system.h"

#include <QMessageBox>

void TForm1::connectAboutPage() {
    connect(ButtonAboutQt, &QPushButton::clicked, this, [this] { QMessageBox::aboutQt(this); });
    connect(ButtonLicences, &QPushButton::clicked, this, [this] { ShowLicences(this); });
}

void TForm1::fillAbout() {
    std::string system = "Windows multimedia MIDI";
    for (const auto& choice : platform::MidiSystems()) {
        if (choice.id == platform::CurrentMidiSystem())
            system = choice.label;
    }
    const QString text =
        QStringLiteral(
            "<p><b>RDN417 Config %1</b></p>"
            "<p>Sets the parameters of the RDN417 MIDI-to-CV converter: every change "
            "in this window is sent to the converter at once.</p>"
            "<p>Copyright 2026 Korvalen. Free software under the GNU General Public "
            "Licence, version 3 or later; no warranty.</p>"
            "<p>Settings: %2<br>MIDI system: %3</p>")
            .arg(QStringLiteral(RDN417_VERSION),
                 ToQString(platform::SettingsLocation()).toHtmlEscaped(),
                 ToQString(system).toHtmlEscaped());
    LabelAbout->setText(text);
}
