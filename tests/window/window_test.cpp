// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ExceptionDisplay.h"
#include "converter/NoteName.h"
#include "session/RegistryKey.h"
#include "window_fixture.h"

#include <QAbstractItemView>

namespace {

const QString kNoInput = QStringLiteral(
    "There is no MIDI input port. The converter is set through the output alone; learning "
    "from a keyboard needs an input.");

using platform::midi::Operation;
using virtual_midi::Bytes;

TEST_F(Window, StartsWithThePortsListedAndOpen) {
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_TRUE(boxes.boxes.empty());
    ASSERT_EQ(form.cmbOutput->count(), 3);
    EXPECT_EQ(form.cmbOutput->itemText(0), "RDN417 Simulator");
    EXPECT_EQ(form.cmbOutput->itemText(1), "Virtual Loopback Out");
    EXPECT_EQ(form.cmbOutput->itemText(2), "RDN417 Simulator (DIN)");
    EXPECT_EQ(form.cmbOutput->currentIndex(), 0);
    ASSERT_EQ(form.cmbInput->count(), 1);
    EXPECT_EQ(form.cmbInput->itemText(0), "Virtual Loopback In");
    EXPECT_EQ(form.MidiOutput1->State(), psOpen);
    EXPECT_EQ(form.MidiOutput1->ProductName(), "RDN417 Simulator");
    EXPECT_EQ(form.MidiInput1->State(), psOpen);
    EXPECT_EQ(form.ComboBox3->count(), 129);
    EXPECT_EQ(form.ComboBox3->currentIndex(), 0);
    EXPECT_EQ(form.ComboBox3->itemText(4), QString::fromUtf8("Controler n° 3"));
    EXPECT_EQ(form.MidiInput1->SysexBufferSize(), 4096);
    // Starting sends nothing: the converter keeps its own settings until a control changes.
    EXPECT_TRUE(received().empty());
}

TEST_F(Window, DraggingTheNotePotSendsOneMessagePerMoveAndOneOnRelease) {
    TForm1& form = create();
    // At 12 on a 150-pixel travel, 57 pixels up is note 60.
    drag(form.potnote, {1, 2, 57});
    EXPECT_EQ(received(), (std::vector<Bytes>{Parameter(0, 126, 12), Parameter(0, 126, 13),
                                              Parameter(0, 126, 60), Parameter(0, 126, 60)}));
    EXPECT_EQ(form.potnote->text(), "C 3");
    EXPECT_EQ(virtual_midi::Converter().noteRef, 60);
    // Every header came back and was released.
    EXPECT_EQ(form.MidiOutput1->PendingLongMessages(), 0u);
}

TEST_F(Window, SelectingTheOtherRadioOfAPairSendsTheModeFlagsOnce) {
    TForm1& form = create();
    QTest::mouseClick(form.RadioOct, Qt::LeftButton);  // already selected
    EXPECT_TRUE(received().empty());
    QTest::mouseClick(form.RadioTable, Qt::LeftButton);
    EXPECT_EQ(received(), std::vector<Bytes>{Parameter(0, 124, 0x60)});
    QTest::mouseClick(form.RadioVelo, Qt::LeftButton);
    EXPECT_EQ(received().back(), Parameter(0, 124, 0x20));
    EXPECT_EQ(received().size(), 2u);
    EXPECT_TRUE(virtual_midi::Converter().pitchTable());
    EXPECT_FALSE(virtual_midi::Converter().auxFromController());
}

TEST_F(Window, PickingAControllerSendsItsNumberAndNoneSendsNothing) {
    TForm1& form = create();
    form.ComboBox3->setFocus();
    QTest::keyClick(form.ComboBox3, Qt::Key_Down);  // item 1: controller 0
    QTest::keyClick(form.ComboBox3, Qt::Key_Down);  // item 2: controller 1
    EXPECT_EQ(received(), (std::vector<Bytes>{Parameter(0, 125, 0), Parameter(0, 125, 1)}));

    // Through the drop-down list, as a mouse user picks item 75 (controller 74).
    form.ComboBox3->showPopup();
    QAbstractItemView* list = form.ComboBox3->view();
    const QModelIndex item = list->model()->index(75, 0);
    list->scrollTo(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
    EXPECT_EQ(form.ComboBox3->currentIndex(), 75);
    EXPECT_EQ(received().back(), Parameter(0, 125, 74));
    EXPECT_EQ(virtual_midi::Converter().auxController, 74);

    QTest::keyClick(form.ComboBox3, Qt::Key_Home);  // item 0: none
    EXPECT_EQ(form.ComboBox3->currentIndex(), 0);
    const std::size_t before = received().size();
    QTest::mouseClick(form.vxpotlab1, Qt::RightButton);  // the test pot, with no controller
    EXPECT_EQ(received().size(), before);
}

TEST_F(Window, TheTestPotSendsControlChangeEvenWithRealTimeOff) {
    TForm1& form = create();
    form.ComboBox3->setCurrentIndex(8);  // controller 7, chosen without sending
    form.PageControl1->setCurrentIndex(1);
    QTest::mouseClick(form.CheckBox38, Qt::LeftButton);
    ASSERT_FALSE(form.CheckBox38->isChecked());
    form.PageControl1->setCurrentIndex(0);
    QTest::mouseClick(form.vxpotlab1, Qt::RightButton);
    QTest::mouseClick(form.vxpotlab1, Qt::RightButton);
    drag(form.potnote, {5});
    QTest::mouseClick(form.RadioTable, Qt::LeftButton);
    EXPECT_EQ(received(), (std::vector<Bytes>{{0xB0, 7, 1}, {0xB0, 7, 2}}));
}

TEST_F(Window, ChannelSixteenTravelsAsFifteen) {
    TForm1& form = create();
    form.potcanal->setState(16);
    form.ComboBox3->setCurrentIndex(1);
    drag(form.potnote, {1});
    QTest::mouseClick(form.vxpotlab1, Qt::RightButton);
    auto messages = received();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0][2], 0x0F);
    EXPECT_EQ(messages[2], (Bytes{0xBF, 0, 1}));
}

TEST_F(Window, ChangingEitherPortReopensBothUnderTheHourglass) {
    TForm1& form = create();
    std::vector<std::pair<Operation, Qt::CursorShape>> opened;
    virtual_midi::OnEveryCall([&](Operation operation) {
        if (operation == Operation::OutOpen || operation == Operation::InOpen ||
            operation == Operation::OutClose || operation == Operation::InClose)
            opened.emplace_back(operation, form.cursor().shape());
    });
    form.PageControl1->setCurrentIndex(1);
    form.cmbOutput->setFocus();
    QTest::keyClick(form.cmbOutput, Qt::Key_Down);
    EXPECT_EQ(opened, (std::vector<std::pair<Operation, Qt::CursorShape>>{
                          {Operation::InClose, Qt::WaitCursor},
                          {Operation::OutClose, Qt::WaitCursor},
                          {Operation::InOpen, Qt::WaitCursor},
                          {Operation::OutOpen, Qt::WaitCursor}}));
    EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(form.MidiOutput1->ProductName(), "Virtual Loopback Out");
    EXPECT_EQ(form.MidiOutput1->State(), psOpen);

    opened.clear();
    form.cmbInput->setFocus();
    QTest::keyClick(form.cmbInput, Qt::Key_Down);  // the only item: Qt reports nothing
    EXPECT_TRUE(opened.empty());
    emit form.cmbInput->activated(0);  // the user re-picks the same port from the list
    EXPECT_EQ(opened.size(), 4u);
    virtual_midi::OnEveryCall(nullptr);
}

TEST_F(Window, TheCursorComesBackWhenReopeningFails) {
    TForm1& form = create();
    MessageBoxCatcher boxes;
    virtual_midi::FailNext(Operation::InGetDevCaps, MMSYSERR_NODRIVER);
    form.PageControl1->setCurrentIndex(1);
    emit form.cmbOutput->activated(0);
    EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(boxes.boxes[0].text.startsWith(
        QString::fromStdString(form.MidiInput1->ErrorText(MMSYSERR_NODRIVER))));
    EXPECT_TRUE(
        boxes.boxes[0].text.contains("The MIDI input port \"Virtual Loopback In\" could "
                                     "not be opened."));
    // The output was opened all the same.
    EXPECT_EQ(form.MidiOutput1->State(), psOpen);
}

TEST_F(Window, NoPortsAtAllGiveTheNoMidiItems) {
    virtual_midi::SetPorts({}, {});
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_EQ(form.cmbInput->count(), 1);
    EXPECT_EQ(form.cmbInput->itemText(0), "No MIDI Input Device");
    EXPECT_EQ(form.cmbInput->currentIndex(), -1);
    EXPECT_EQ(form.cmbOutput->itemText(0), "No MIDI Output Device");
    EXPECT_EQ(form.cmbOutput->currentIndex(), -1);
    // No input is normal and said by the In list; no output is said in plain words, once the
    // window is on the screen.
    EXPECT_EQ(form.cmbInput->toolTip(), kNoInput);
    EXPECT_EQ(boxes.texts(),
              (std::vector<QString>{
                  "There is no MIDI output port, so no change reaches the converter. Connect the "
                  "converter's MIDI interface and switch it on; its port can then be picked as "
                  "\"Out\" on the MIDI page."}));
    for (const ShownBox& box : boxes.boxes)
        EXPECT_TRUE(box.overShownWindow) << box.text.toStdString();
    EXPECT_EQ(form.MidiOutput1->State(), psClosed);
    // The placeholder cannot be chosen, nor stored as a port's name.
    form.PageControl1->setCurrentIndex(1);
    for (QComboBox* combo : {form.cmbInput, form.cmbOutput}) {
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);
        QTest::keyClick(combo, Qt::Key_Home);
        EXPECT_EQ(combo->currentIndex(), -1);
    }
    ASSERT_TRUE(form.close());
    const auto key = RegistryKey::Open("Software\\Korvalen\\RDN417_V28", false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("midiINName"), "");
    EXPECT_EQ(key->ReadString("midiOUTName"), "");
}

TEST_F(Window, AnOutputOnlyInterfaceStillConfiguresTheConverter) {
    virtual_midi::SetPorts({{virtual_midi::kConverterName, virtual_midi::OutputKind::Converter}},
                           {});
    MessageBoxCatcher boxes;
    TForm1& form = create();
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_EQ(form.cmbInput->toolTip(), kNoInput);
    ASSERT_EQ(form.MidiOutput1->State(), psOpen);
    drag(form.potnote, {1});
    EXPECT_EQ(received().size(), 2u);
    emit form.cmbOutput->activated(0);
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_EQ(form.MidiOutput1->State(), psOpen);
}

TEST_F(Window, ARefusedOpenIsSaidWithItsReasonAndTheWindowGoesOn) {
    virtual_midi::FailNext(Operation::OutOpen, MMSYSERR_ALLOCATED);
    MessageBoxCatcher boxes;
    TForm1& form = create();
    ASSERT_EQ(boxes.texts().size(), 1u);
    const QString allocated =
        QString::fromStdString(form.MidiOutput1->ErrorText(MMSYSERR_ALLOCATED));
    EXPECT_TRUE(boxes.texts()[0].startsWith(allocated)) << boxes.texts()[0].toStdString();
    EXPECT_NE(boxes.texts()[0].indexOf("RDN417 Simulator"), -1);
    ASSERT_EQ(form.MidiOutput1->State(), psClosed);
    QTest::mouseClick(form.RadioTable, Qt::LeftButton);
    const QString invalidHandle =
        QString::fromStdString(ExceptionText(form.MidiOutput1->ErrorText(MMSYSERR_INVALHANDLE)));
    EXPECT_TRUE(boxes.texts().back().startsWith(invalidHandle))
        << boxes.texts().back().toStdString();
    // Still running: the next change is reported the same way.
    QTest::mouseClick(form.RadioVelo, Qt::LeftButton);
    EXPECT_EQ(boxes.boxes.size(), 3u);
    EXPECT_TRUE(form.RadioVelo->isChecked());
}

TEST_F(Window, ClosingTheWindowClosesBothPorts) {
    TForm1& form = create();
    EXPECT_TRUE(form.close());
    EXPECT_EQ(form.MidiOutput1->State(), psClosed);
    EXPECT_EQ(form.MidiInput1->State(), psClosed);
    HMIDIOUT other = nullptr;
    ASSERT_EQ(midiOutOpen(&other, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    midiOutClose(other);
}

TEST_F(Window, APortThatRefusesToCloseKeepsTheWindowOpen) {
    TForm1& form = create();
    virtual_midi::HoldCompletions(true);
    drag(form.potnote, {1});
    MessageBoxCatcher boxes;
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(form.MidiOutput1->State(), psOpen);
    virtual_midi::ReleaseCompletions();
    Settle();
    EXPECT_TRUE(form.close());
}

TEST_F(Window, AFailedListingIsReportedWithItsOwnBox) {
    // The input component queries port 0 when it is created; the listing's query fails.
    virtual_midi::FailNext(Operation::InGetDevCaps, MMSYSERR_NODRIVER, 1);
    MessageBoxCatcher boxes;
    TForm1& form = create();
    ASSERT_GE(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, "No MIDI !!!");
    EXPECT_EQ(boxes.boxes[0].text, "Error MIDI devices detection ");
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(form.cmbInput->count(), 0);
    EXPECT_EQ(form.cmbOutput->count(), 0);
}

TEST(ExceptionText, APeriodFollowsTextsThatEndAfterIt) {
    EXPECT_EQ(ExceptionText("Invalid device ID"), "Invalid device ID.");
    EXPECT_EQ(ExceptionText("MIDI Input Device  not installed "),
              "MIDI Input Device  not installed ");
    EXPECT_EQ(ExceptionText("Done."), "Done.");
    EXPECT_EQ(ExceptionText("Stop!"), "Stop!");
    EXPECT_EQ(ExceptionText("Value 7"), "Value 7.");
    EXPECT_EQ(ExceptionText(""), "");
}

}  // namespace
