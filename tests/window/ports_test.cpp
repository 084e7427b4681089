// SPDX-License-Identifier: GPL-3.0-or-later
// The port combos follow the devices: ports are remembered by name, re-listed while the
// program runs, and a chosen port that goes and comes back is opened again.
#include "app/ExceptionDisplay.h"
#include "session/RegistryKey.h"
#include "window_fixture.h"

#include <map>

namespace {

constexpr const char* kPath = "Software\\Korvalen\\RDN417_V28";

const virtual_midi::OutputPort kKeyboard{"Keyboard"};
const virtual_midi::OutputPort& kConverter = virtual_midi::kConverterPort;
const virtual_midi::OutputPort& kLoopback = virtual_midi::kLoopbackPort;

using Ports = Window;
using platform::midi::Operation;

TEST_F(Ports, ThePortsChosenInOneRunAreFoundByNameAfterTheListChanged) {
    TForm1& first = create();
    ASSERT_EQ(first.cmbOutput->currentText(), virtual_midi::kConverterName);
    ASSERT_TRUE(first.close());
    form_.reset();
    // A keyboard was plugged in before the second run: the converter is now port 2.
    virtual_midi::SetPorts({kKeyboard, kLoopback, kConverter}, {"Keys In", "Virtual Loopback In"});
    TForm1& second = create();
    EXPECT_EQ(second.cmbOutput->currentIndex(), 2);
    EXPECT_EQ(second.cmbInput->currentText(), virtual_midi::kLoopbackInName);
    drag(second.potnote, {1});
    Settle();
    EXPECT_EQ(virtual_midi::Received(2).size(), 2u);
    EXPECT_TRUE(virtual_midi::Received(0).empty());
}

TEST_F(Ports, AStoredPortThatIsGoneLeavesNoSelectionAndIsNotForgotten) {
    RegistryKey::Open(kPath, true)->WriteInteger("midiOUT", 0);
    RegistryKey::Open(kPath, true)->WriteString("midiOUTName", "Studio Synth");
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_EQ(form.cmbOutput->currentIndex(), -1);
    EXPECT_EQ(form.cmbOutput->placeholderText(), "Studio Synth (not connected)");
    EXPECT_EQ(form.cmbOutput->toolTip(), "Studio Synth (not connected)");
    EXPECT_EQ(form.MidiOutput1->State(), psClosed);
    drag(form.potnote, {1});
    // Nothing reached the port that has the stored position now.
    EXPECT_TRUE(received().empty());
    ASSERT_TRUE(form.close());
    EXPECT_EQ(RegistryKey::Open(kPath, false)->ReadString("midiOUTName"), "Studio Synth");
}

TEST_F(Ports, AChosenPortUnpluggedKeepsItsNameFromADeviceWhoseNameBeginsAlike) {
    const std::string prefix = "RDN417 Simulator on a long cable";  // 32 bytes
    const virtual_midi::OutputPort chosen{prefix + " A", virtual_midi::OutputKind::Converter};
    const virtual_midi::OutputPort other{prefix + " B", virtual_midi::OutputKind::Converter};
    virtual_midi::SetPorts({chosen, other}, {virtual_midi::kLoopbackInName});
    TForm1& form = create();
    ASSERT_EQ(form.cmbOutput->currentIndex(), 0);
    const QString chosenName = form.cmbOutput->currentText();
    const QString otherName = form.cmbOutput->itemText(1);
    ASSERT_EQ(form.MidiOutput1->State(), psOpen);
    MessageBoxCatcher boxes;
    virtual_midi::SetPorts({other}, {virtual_midi::kLoopbackInName});
    Settle();
    // The other device keeps its own name, and is not taken for the chosen one.
    EXPECT_EQ(form.cmbOutput->itemText(0), otherName);
    EXPECT_EQ(form.cmbOutput->currentIndex(), -1);
    EXPECT_EQ(form.cmbOutput->placeholderText(), chosenName + " (not connected)");
    drag(form.potnote, {1});
    Settle();
    EXPECT_TRUE(virtual_midi::Received(0).empty());
    // Back, it is opened again by itself.
    virtual_midi::SetPorts({other, chosen}, {virtual_midi::kLoopbackInName});
    Settle();
    ASSERT_EQ(form.cmbOutput->currentText(), chosenName);
    ASSERT_EQ(form.MidiOutput1->State(), psOpen);
    drag(form.potnote, {1});
    Settle();
    EXPECT_EQ(virtual_midi::Received(1).size(), 2u);
    EXPECT_TRUE(virtual_midi::Received(0).empty());
}

TEST_F(Ports, AfterARestartTheChosenDeviceIsFoundAgainThoughAnotherHasItsListedName) {
    const std::string prefix = "RDN417 Simulator on a long cable";  // 32 bytes
    const virtual_midi::OutputPort chosen{prefix + " A", virtual_midi::OutputKind::Converter};
    const virtual_midi::OutputPort other{prefix + " B", virtual_midi::OutputKind::Converter};
    virtual_midi::SetPorts({chosen, other}, {virtual_midi::kLoopbackInName});
    ASSERT_TRUE(create().close());
    form_.reset();
    // The next start, with the other device alone at first: it now has the name stored.
    virtual_midi::Reset();
    virtual_midi::SetPorts({other}, {virtual_midi::kLoopbackInName});
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_EQ(form.cmbOutput->itemText(0).toStdString(), prefix.substr(0, 31));
    EXPECT_EQ(form.cmbOutput->currentIndex(), -1);
    EXPECT_EQ(form.cmbOutput->placeholderText().toStdString(),
              prefix.substr(0, 31) + " (not connected)");
    // Plugged in now, the chosen one is opened, under the name it has in this run.
    virtual_midi::SetPorts({other, chosen}, {virtual_midi::kLoopbackInName});
    Settle();
    ASSERT_EQ(form.cmbOutput->currentIndex(), 1);
    ASSERT_EQ(form.MidiOutput1->State(), psOpen);
    drag(form.potnote, {1});
    Settle();
    EXPECT_EQ(virtual_midi::Received(1).size(), 2u);
    EXPECT_TRUE(virtual_midi::Received(0).empty());
    ASSERT_TRUE(form.close());
    EXPECT_EQ(RegistryKey::Open(kPath, false)->ReadString("midiOUTPort"), prefix + " A");
}

TEST_F(Ports, APortPluggedInWhileRunningShowsUpWhenTheListOpens) {
    TForm1& form = create();
    virtual_midi::SetPorts({kConverter, kLoopback, kKeyboard}, {virtual_midi::kLoopbackInName});
    form.PageControl1->setCurrentIndex(1);
    // Before any notice of the change is handled.
    form.cmbOutput->showPopup();
    EXPECT_EQ(form.cmbOutput->count(), 3);
    EXPECT_EQ(form.cmbOutput->itemText(2), "Keyboard");
    form.cmbOutput->hidePopup();
    EXPECT_EQ(form.cmbOutput->currentIndex(), 0);
    EXPECT_EQ(form.MidiOutput1->State(), psOpen);
}

TEST_F(Ports, ARelistingReadsEachListOnceSoEveryNameStaysWithItsPort) {
    TForm1& form = create();
    virtual_midi::SetPorts({kConverter, kLoopback, kKeyboard}, {virtual_midi::kLoopbackInName});
    // The window's own relisting for the change first: only the one below is counted.
    ASSERT_TRUE(PumpUntil([&] { return form.cmbOutput->count() == 3; }));
    std::map<Operation, int> asked;
    virtual_midi::OnEveryCall([&](Operation operation) { ++asked[operation]; });
    form.PageControl1->setCurrentIndex(1);
    form.cmbOutput->showPopup();
    form.cmbOutput->hidePopup();
    virtual_midi::OnEveryCall(nullptr);
    EXPECT_EQ(asked[Operation::OutGetDevCaps], 1);
    EXPECT_EQ(asked[Operation::InGetDevCaps], 1);
    EXPECT_EQ(form.cmbOutput->itemData(2).toString(), "Keyboard");
}

TEST_F(Ports, TheChosenPortUnpluggedAndPluggedBackIsOpenedAgain) {
    MessageBoxCatcher boxes;
    TForm1& form = create();
    virtual_midi::SetPorts({kLoopback}, {virtual_midi::kLoopbackInName});
    Settle();
    EXPECT_EQ(form.cmbOutput->currentIndex(), -1);
    EXPECT_EQ(form.cmbOutput->placeholderText(), "RDN417 Simulator (not connected)");
    drag(form.potnote, {1});
    Settle();
    // Each failed change names the port and what to do; Send all says so once for its three
    // messages.
    QTest::mouseClick(form.ButtonSendAll, Qt::LeftButton);
    Settle();
    const QString gone =
        QString::fromStdString(ExceptionText(form.MidiOutput1->ErrorText(MIDIERR_NODEVICE)));
    ASSERT_EQ(boxes.texts().size(), 3u);
    for (const QString& text : boxes.texts()) {
        EXPECT_TRUE(text.startsWith(gone)) << text.toStdString();
        EXPECT_TRUE(
            text.contains("the MIDI output port \"RDN417 Simulator\". Check that the "
                          "converter's MIDI interface is connected"))
            << text.toStdString();
    }
    virtual_midi::SetPorts({kLoopback, kConverter}, {virtual_midi::kLoopbackInName});
    Settle();
    EXPECT_EQ(form.cmbOutput->currentIndex(), 1);
    EXPECT_EQ(form.cmbOutput->placeholderText(), "");
    drag(form.potnote, {1});
    Settle();
    EXPECT_EQ(virtual_midi::Received(1).size(), 2u);
    EXPECT_EQ(boxes.boxes.size(), 3u);
}

TEST_F(Ports, TheMidiSystemIsFixedWhenTheEnvironmentChoosesIt) {
    TForm1& form = create();
    EXPECT_FALSE(form.cmbSystem->isEnabled());
    EXPECT_EQ(form.cmbSystem->currentText(), "Built-in simulator");
    EXPECT_EQ(form.cmbSystem->toolTip(), "Chosen by RDN417_MIDI_BACKEND");
}

}  // namespace
