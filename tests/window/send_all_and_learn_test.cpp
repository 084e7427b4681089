// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping the converter in step with the window: every parameter sent at once, and values
// learned from what the MIDI input plays.
#include "converter/NoteName.h"
#include "session/RegistryKey.h"
#include "window_fixture.h"

namespace {

using virtual_midi::Bytes;

// Plays on the loopback input, as a keyboard on the input port would.
void play(std::initializer_list<DWORD> messages) {
    for (DWORD message : messages)
        virtual_midi::InjectShort(0, message);
}

using SendAll = Window;

// What the converter received after the first `skip` messages.
std::vector<Bytes> receivedAfter(std::size_t skip) {
    std::vector<Bytes> all = virtual_midi::Received(0);
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(skip, all.size())), all.end()};
}

TEST_F(SendAll, SendsTheModeFlagsTheControllerAndNoteRefInThatOrder) {
    TForm1& form = create();
    form.potcanal->setState(3);
    form.ComboBox3->setCurrentIndex(8);
    form.RadioTable->setChecked(true);  // sends the mode flags once
    const std::size_t before = received().size();
    QTest::mouseClick(form.ButtonSendAll, Qt::LeftButton);
    Settle();
    EXPECT_EQ(
        receivedAfter(before),
        (std::vector<Bytes>{Parameter(2, 124, 0x60), Parameter(2, 125, 7), Parameter(2, 126, 12)}));
    // With no controller chosen there is none to send; the shortcut does the same.
    form.ComboBox3->setCurrentIndex(0);
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    Settle();
    EXPECT_EQ(receivedAfter(before + 3),
              (std::vector<Bytes>{Parameter(2, 124, 0x60), Parameter(2, 126, 12)}));
    // An explicit command: sent also while changes are not sent as they happen.
    form.CheckBox38->setChecked(false);
    QTest::mouseClick(form.ButtonSendAll, Qt::LeftButton);
    Settle();
    EXPECT_EQ(receivedAfter(before + 5),
              (std::vector<Bytes>{Parameter(2, 124, 0x60), Parameter(2, 126, 12)}));
    drag(form.potnote, {1});
    EXPECT_EQ(received().size(), before + 7);
}

TEST_F(SendAll, OnRequestWhenTheOutputOpensAfterAPortChangeAndAfterARestart) {
    TForm1& first = create();
    EXPECT_FALSE(first.CheckSendAllOnOpen->isChecked());
    EXPECT_TRUE(received().empty());
    first.CheckSendAllOnOpen->setChecked(true);
    first.PageControl1->setCurrentIndex(1);
    emit first.cmbOutput->activated(0);
    EXPECT_EQ(received(), (std::vector<Bytes>{Parameter(0, 124, 0x40), Parameter(0, 126, 12)}));
    ASSERT_TRUE(first.close());
    form_.reset();
    virtual_midi::Reset();
    TForm1& second = create();
    EXPECT_TRUE(second.CheckSendAllOnOpen->isChecked());
    EXPECT_EQ(received().size(), 2u);
}

using Learn = Window;

TEST_F(Learn, NoteRefTakesTheFirstNoteOnAndSendsIt) {
    TForm1& form = create();
    QTest::mouseClick(form.LearnNoteRef, Qt::LeftButton);
    ASSERT_TRUE(form.LearnNoteRef->isChecked());
    // Active Sensing, Timing Clock, a Note Off and a Note On of velocity 0 teach nothing.
    play({0xFE, 0xF8, 0x404080, 0x004090});
    Settle();
    EXPECT_TRUE(form.LearnNoteRef->isChecked());
    play({0x643C90, 0x644090});
    EXPECT_EQ(received(), std::vector<Bytes>{Parameter(0, 126, 60)});
    EXPECT_EQ(form.potnote->State(), 60);
    EXPECT_EQ(form.potnote->text().toStdString(), NoteName(60, 0, true));
    EXPECT_FALSE(form.LearnNoteRef->isChecked());
}

TEST_F(Learn, TheChannelAndTheControllerComeFromTheirOwnMessages) {
    TForm1& form = create();
    QTest::mouseClick(form.LearnChannel, Qt::LeftButton);
    QTest::mouseClick(form.LearnController, Qt::LeftButton);
    play({0x644593, 0x6407B5});
    Settle();
    EXPECT_EQ(form.potcanal->State(), 4);
    EXPECT_EQ(form.ComboBox3->currentIndex(), 8);
    // Changing the channel sends nothing; the controller is sent as a user's pick would be.
    EXPECT_EQ(received(), std::vector<Bytes>{Parameter(3, 125, 7)});
    EXPECT_FALSE(form.LearnChannel->isChecked());
    EXPECT_FALSE(form.LearnController->isChecked());
}

TEST_F(Learn, EscapeOrASecondClickCancels) {
    TForm1& form = create();
    QTest::mouseClick(form.LearnNoteRef, Qt::LeftButton);
    QTest::mouseClick(form.LearnChannel, Qt::LeftButton);
    QTest::keyClick(form.LearnChannel, Qt::Key_Escape);
    EXPECT_FALSE(form.LearnNoteRef->isChecked());
    EXPECT_FALSE(form.LearnChannel->isChecked());
    QTest::mouseClick(form.LearnController, Qt::LeftButton);
    QTest::mouseClick(form.LearnController, Qt::LeftButton);
    play({0x6407B0, 0x643C90});
    Settle();
    EXPECT_EQ(form.ComboBox3->currentIndex(), 0);
    EXPECT_EQ(form.potnote->State(), 12);
    EXPECT_TRUE(received().empty());
}

TEST_F(Learn, TheInputQueueStaysEmptyUnderAFlood) {
    TForm1& form = create();
    for (int i = 0; i < 100'000; ++i) {
        virtual_midi::InjectShort(0, 0x000090 | static_cast<DWORD>(i % 128) << 8);
        if (i % 500 == 499)
            Settle();
    }
    Settle();
    EXPECT_EQ(form.MidiInput1->PendingEventCount(), 0);
    EXPECT_EQ(form.MidiInput1->DroppedEventCount(), 0u);
}

}  // namespace
