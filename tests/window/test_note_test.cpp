// SPDX-License-Identifier: GPL-3.0-or-later
// The test note through real mouse, key and signal events: the bytes that reach the simulated
// converter, and a gate that no ending leaves open.
#include "app/SessionEnd.h"
#include "window_fixture.h"

#include <QKeyEvent>
#include <QTabBar>

#include <unistd.h>
#include <csignal>
#include <functional>
#include <string>

namespace {

using virtual_midi::Bytes;

Bytes On(int channel, int note) {
    return {static_cast<std::uint8_t>(0x90 + channel), static_cast<std::uint8_t>(note), 100};
}
Bytes Off(int channel, int note) {
    return {static_cast<std::uint8_t>(0x80 + channel), static_cast<std::uint8_t>(note), 0};
}

class TestNote : public Window {
  protected:
    // The window on the page that holds the test note.
    TForm1& open() {
        TForm1& form = create();
        showPage(form, 2);
        seen_ = received().size();
        return form;
    }
    static void showPage(TForm1& form, int page) {
        QTabBar* tabs = form.PageControl1->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(page).center());
    }
    // What the converter received since the last look.
    std::vector<Bytes> fresh() {
        const std::vector<Bytes> all = received();
        const std::vector<Bytes> since(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
        seen_ = all.size();
        return since;
    }
    static void key(QWidget* widget, QEvent::Type type, bool autoRepeat = false) {
        QKeyEvent event(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), autoRepeat);
        QApplication::sendEvent(widget, &event);
    }
    std::size_t seen_ = 0;
};

TEST_F(TestNote, PlaySoundsWhileTheMouseOrTheSpaceBarHoldsIt) {
    TForm1& form = open();
    EXPECT_EQ(form.potTestNote->text(), "C -1");  // where NoteRef starts
    QTest::mousePress(form.ButtonPlayNote, Qt::LeftButton);
    EXPECT_EQ(fresh(), std::vector<Bytes>{On(0, 12)});
    EXPECT_TRUE(virtual_midi::Converter().gate);
    EXPECT_EQ(virtual_midi::Converter().note, 12);
    // The MIDI page's out light tells what the simulated converter holds.
    EXPECT_TRUE(form.LightOut->description().contains(", note C -1 (12), gate on. "))
        << form.LightOut->description().toStdString();
    QTest::mouseRelease(form.ButtonPlayNote, Qt::LeftButton);
    EXPECT_EQ(fresh(), std::vector<Bytes>{Off(0, 12)});
    EXPECT_FALSE(virtual_midi::Converter().gate);

    form.ButtonPlayNote->setFocus();
    key(form.ButtonPlayNote, QEvent::KeyPress);
    // A held key repeats; the note does not.
    for (int i = 0; i < 3; ++i)
        key(form.ButtonPlayNote, QEvent::KeyPress, true);
    EXPECT_EQ(fresh(), std::vector<Bytes>{On(0, 12)});
    key(form.ButtonPlayNote, QEvent::KeyRelease);
    EXPECT_EQ(fresh(), std::vector<Bytes>{Off(0, 12)});
    EXPECT_EQ(virtual_midi::Converter().notesHeld, 0);
}

TEST_F(TestNote, HoldKeepsItSoundingAndEachChangeOfNoteOrChannelMovesIt) {
    TForm1& form = open();
    QTest::mouseClick(form.CheckHoldNote, Qt::LeftButton);
    QTest::mouseClick(form.ButtonOctaveUp, Qt::LeftButton);
    form.potTestNote->setFocus();
    QTest::keyClick(form.potTestNote, Qt::Key_Up);
    QTest::mouseClick(form.ButtonOctaveDown, Qt::LeftButton);
    EXPECT_EQ(fresh(), (std::vector<Bytes>{On(0, 12), Off(0, 12), On(0, 24), Off(0, 24), On(0, 25),
                                           Off(0, 25), On(0, 13)}));
    EXPECT_EQ(form.potTestNote->text(), "C#-1");
    QTest::mouseClick(form.ButtonOctaveDown, Qt::LeftButton);
    EXPECT_EQ(fresh(), (std::vector<Bytes>{Off(0, 13), On(0, 1)}));
    // The octave below would be no note.
    EXPECT_FALSE(form.ButtonOctaveDown->isEnabled());

    form.potcanal->setFocus();
    QTest::keyClick(form.potcanal, Qt::Key_Up);
    EXPECT_EQ(fresh(), (std::vector<Bytes>{Off(0, 1), On(1, 1)}));
    // NoteRef moves the test note with it.
    showPage(form, 0);
    drag(form.potnote, {57});
    showPage(form, 2);
    // The release sends NoteRef again, as every release does; the note stays.
    EXPECT_EQ(fresh(), (std::vector<Bytes>{Parameter(1, 126, 60), Off(1, 1), On(1, 60),
                                           Parameter(1, 126, 60)}));
    EXPECT_EQ(form.potTestNote->text(), "C 3");
    EXPECT_TRUE(virtual_midi::Converter().gate);
    QTest::mouseClick(form.CheckHoldNote, Qt::LeftButton);
    EXPECT_EQ(fresh(), std::vector<Bytes>{Off(1, 60)});
    EXPECT_EQ(virtual_midi::Converter().notesHeld, 0);
}

TEST_F(TestNote, EveryWayTheWindowLetsGoOfThePortEndsTheNote) {
    struct Ending {
        const char* name;
        std::function<void(TForm1&)> end;
        std::vector<Bytes> last;  // the messages it sends
    };
    const std::vector<Ending> endings = {
        {"Panic",
         [](TForm1& form) { QTest::mouseClick(form.ButtonPanic, Qt::LeftButton); },
         {Off(0, 12), {0xB0, 123, 0}}},
        {"a port switch",
         [](TForm1& form) {
             form.cmbOutput->setFocus();
             QTest::keyClick(form.cmbOutput, Qt::Key_Down);
             EXPECT_EQ(form.MidiOutput1->ProductName(), virtual_midi::kLoopbackOutName);
         },
         {Off(0, 12)}},
        {"closing the window", [](TForm1& form) { form.close(); }, {Off(0, 12)}},
        // Last: the first signal arms the program's deadline, which is cancelled after it.
        {"SIGTERM",
         [](TForm1& form) {
             SessionEnd sessionEnd(form, [] {});
             kill(getpid(), SIGTERM);
             EXPECT_TRUE(PumpUntil([&] { return !form.isVisible(); }));
             alarm(0);
         },
         {Off(0, 12)}},
    };
    for (const Ending& ending : endings) {
        form_.reset();
        virtual_midi::Reset();
        TForm1& form = open();
        QTest::mouseClick(form.CheckHoldNote, Qt::LeftButton);
        EXPECT_TRUE(virtual_midi::Converter().gate) << ending.name;
        fresh();
        ending.end(form);
        EXPECT_EQ(fresh(), ending.last) << ending.name;
        EXPECT_EQ(virtual_midi::Converter().notesHeld, 0) << ending.name;
        EXPECT_FALSE(form.CheckHoldNote->isChecked()) << ending.name;
    }
}

TEST_F(TestNote, ANoteOnThatFailsIsSaidAndNotTakenAsSounding) {
    TForm1& form = open();
    MessageBoxCatcher boxes;
    virtual_midi::FailNext(platform::midi::Operation::OutShortMsg, MIDIERR_NODEVICE);
    QTest::mouseClick(form.CheckHoldNote, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return !boxes.boxes.empty(); }));
    EXPECT_TRUE(boxes.texts().front().contains("RDN417 Simulator"))
        << boxes.texts().front().toStdString();
    // Nothing sounds, so unchecking has no Note Off to send.
    QTest::mouseClick(form.CheckHoldNote, Qt::LeftButton);
    EXPECT_TRUE(fresh().empty());
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

}  // namespace
