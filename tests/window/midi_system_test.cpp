// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI system chosen in the window, in a process where the environment does not choose.
#include "platform/midi_system.h"
#include "session/RegistryKey.h"
#include "window_fixture.h"

namespace {

constexpr const char* kPath = "Software\\Korvalen\\RDN417_V28";

class MidiSystemChoice : public Window {
  protected:
    // Before the first MIDI call of the process, which reads it once.
    static void SetUpTestSuite() { unsetenv("RDN417_MIDI_BACKEND"); }

    // The simulator's ports are the ones the fixture resets.
    void SetUp() override {
        ASSERT_TRUE(platform::SelectMidiSystem("virtual"));
        Window::SetUp();
    }
    void TearDown() override {
        Window::TearDown();
        platform::SelectMidiSystem("virtual");
    }

    static void pick(QComboBox& combo, const QString& text) {
        const int item = combo.findText(text);
        ASSERT_GE(item, 0);
        combo.setCurrentIndex(item);
        emit combo.activated(item);
    }
};

TEST_F(MidiSystemChoice, IsRememberedAndSwitchingReopensThePortsByName) {
    ASSERT_FALSE(platform::MidiSystemFromEnvironment());
    auto key = RegistryKey::Open(kPath, true);
    key->WriteString("midiSystem", "host");
    key->WriteString("midiOUTName", virtual_midi::kConverterName);
    key.reset();
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_EQ(platform::CurrentMidiSystem(), "host");
    EXPECT_TRUE(form.cmbSystem->isEnabled());
    EXPECT_EQ(form.cmbSystem->currentText(), "ALSA");
    EXPECT_EQ(form.cmbOutput->findText(virtual_midi::kConverterName), -1);
    form.PageControl1->setCurrentIndex(1);
    pick(*form.cmbSystem, "Built-in simulator");
    EXPECT_EQ(platform::CurrentMidiSystem(), "virtual");
    EXPECT_EQ(form.cmbOutput->currentText(), virtual_midi::kConverterName);
    EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor);
    ASSERT_EQ(form.MidiOutput1->State(), psOpen);
    form.PageControl1->setCurrentIndex(0);
    drag(form.potnote, {1});
    EXPECT_EQ(received().size(), 2u);
    ASSERT_TRUE(form.close());
    EXPECT_EQ(RegistryKey::Open(kPath, false)->ReadString("midiSystem"), "virtual");
}

TEST_F(MidiSystemChoice, IsRefusedWhilePortsAreOpen) {
    TForm1& form = create();
    ASSERT_EQ(form.MidiOutput1->State(), psOpen);
    EXPECT_FALSE(platform::SelectMidiSystem("host"));
    EXPECT_FALSE(platform::SelectMidiSystem("no such system"));
    EXPECT_EQ(platform::CurrentMidiSystem(), "virtual");
}

}  // namespace
