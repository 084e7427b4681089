// SPDX-License-Identifier: GPL-3.0-or-later
// The window without a mouse: the wheel changes only the combo that has the focus, the pots
// step with keys and the wheel and are read by a screen reader; and learning says what it
// awaits, needs an input port, and makes a learned controller the aux source.
#include "controls/Contrast.h"
#include "window_fixture.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QTabBar>
#include <QWheelEvent>

namespace {

using virtual_midi::Bytes;
using Keyboard = Window;

// One notch of the wheel over the middle of `widget`, down for a negative `notches`.
void Wheel(QWidget* widget, int notches) {
    const QPointF at = QRectF(widget->rect()).center();
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

TForm1& Activated(TForm1& form) {
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    return form;
}

TEST_F(Keyboard, TheWheelChangesOnlyTheComboThatHasTheFocus) {
    TForm1& form = Activated(create());
    form.potcanal->setFocus();
    Wheel(form.ComboBox3, -1);
    form.PageControl1->setCurrentIndex(1);
    const QString output = form.cmbOutput->currentText();
    Wheel(form.cmbOutput, 1);
    Wheel(form.cmbOutput, -1);
    EXPECT_EQ(form.cmbOutput->currentText(), output);
    EXPECT_FALSE(form.cmbOutput->hasFocus());
    form.PageControl1->setCurrentIndex(0);
    EXPECT_EQ(form.ComboBox3->currentIndex(), 0);
    EXPECT_TRUE(received().empty());
    form.ComboBox3->setFocus();
    Wheel(form.ComboBox3, -1);
    EXPECT_EQ(form.ComboBox3->currentIndex(), 1);
    EXPECT_EQ(received(), std::vector<Bytes>{Parameter(0, 125, 0)});
}

TEST_F(Keyboard, ThePotsTakeTheFocusInTurnAndStepAsTheMouseDoes) {
    TForm1& form = Activated(create());
    form.potcanal->setFocus();
    QTest::keyClick(&form, Qt::Key_Tab);
    ASSERT_TRUE(form.potnote->hasFocus());
    QTest::keyClick(form.potnote, Qt::Key_PageUp);  // 22
    QTest::keyClick(form.potnote, Qt::Key_Up);      // 23
    Wheel(form.potnote, 2);                         // 25
    QTest::keyClick(form.potnote, Qt::Key_End);     // 127
    QTest::keyClick(form.potnote, Qt::Key_Home);    // 0
    EXPECT_EQ(received(), (std::vector<Bytes>{Parameter(0, 126, 22), Parameter(0, 126, 23),
                                              Parameter(0, 126, 25), Parameter(0, 126, 127),
                                              Parameter(0, 126, 0)}));
    EXPECT_EQ(form.potnote->text(), "C -2");
    // The channel pot steps the channel the next message goes on.
    form.potcanal->setFocus();
    QTest::keyClick(form.potcanal, Qt::Key_Up);
    QTest::keyClick(form.potnote, Qt::Key_Up);
    EXPECT_EQ(received().back(), Parameter(1, 126, 1));
}

// A value set by a screen reader is sent as a key's step is, and read back as a note name.
// The frame of the pot that has the focus stands out 3:1 from what the same pixels show without
// the focus and from the panel around the pot.
TEST_F(Keyboard, TheFocusFrameOfEachPotCanBeSeen) {
    TForm1& form = Activated(create());
    for (Tvxpotlab* pot : {form.potcanal, form.potnote, form.vxpotlab1}) {
        const std::string name = pot->toolTip().toStdString();
        form.ComboBox3->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !pot->hasFocus(); }, 5000));
        const QImage before = pot->grab().toImage();
        pot->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return pot->hasFocus(); }, 5000));
        const QImage focused = pot->grab().toImage();
        const QRect at = pot->geometry();
        const QColor around = pot->parentWidget()
                                  ->grab(QRect(at.left() - 1, at.center().y(), 1, 1))
                                  .toImage()
                                  .pixelColor(0, 0);
        for (const QPoint frame :
             {QPoint(0, focused.height() / 2), QPoint(focused.width() / 2, 0)}) {
            const QColor mark = focused.pixelColor(frame);
            EXPECT_GE(ContrastRatio(mark, before.pixelColor(frame)), 3.0) << name;
            EXPECT_GE(ContrastRatio(mark, around), 3.0) << name;
        }
    }
}

// Ctrl+Tab and Ctrl+Page Down go on, Ctrl+Shift+Tab and Ctrl+Page Up go back, round the ends,
// from a pot that takes keys itself; the tab bar is named after the page it shows.
TEST_F(Keyboard, ThePageKeysChangePagesWhereverTheFocusIs) {
    TForm1& form = Activated(create());
    form.potnote->setFocus();
    const int last = form.PageControl1->count() - 1;
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int page;
    } steps[] = {{Qt::Key_Tab, Qt::ControlModifier, 1},
                 {Qt::Key_PageDown, Qt::ControlModifier, 2},
                 {Qt::Key_PageUp, Qt::ControlModifier, 1},
                 {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 0},
                 {Qt::Key_PageUp, Qt::ControlModifier, last}};
    for (const auto& step : steps) {
        QTest::keyClick(QApplication::focusWidget(), step.key, step.modifiers);
        EXPECT_EQ(form.PageControl1->currentIndex(), step.page) << step.key;
    }
    EXPECT_EQ(form.PageControl1->tabBar()->accessibleName(), "About...");
    EXPECT_TRUE(received().empty());
}

TEST_F(Keyboard, AScreenReaderReadsEachPotByItsHintAndShownValueAndSetsIt) {
    TForm1& form = create();
    EXPECT_EQ(form.potnote->text(), "C -1");
    QAccessibleInterface* note = QAccessible::queryAccessibleInterface(form.potnote);
    ASSERT_NE(note, nullptr);
    ASSERT_NE(note->valueInterface(), nullptr);
    note->valueInterface()->setCurrentValue(64.0);
    EXPECT_EQ(received(), std::vector<Bytes>{Parameter(0, 126, 64)});
    EXPECT_EQ(note->role(), QAccessible::Slider);
    EXPECT_EQ(note->text(QAccessible::Name) + ", " + note->text(QAccessible::Value),
              "Lowest MIDI Note, E 3");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.potcanal)->text(QAccessible::Name),
              "MIDI Channel");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.vxpotlab1)->text(QAccessible::Name),
              "Test value");
}

TEST_F(Keyboard, TheControllerListOpensThirtyTwoRowsTallAndWideEnoughForItsNames) {
    TForm1& form = create();
    form.ComboBox3->showPopup();
    QAbstractItemView* list = form.ComboBox3->view();
    const int row = list->sizeHintForRow(0);
    EXPECT_GE(list->height(), 31 * row);
    EXPECT_LE(list->height(), 33 * row);
    EXPECT_GE(list->viewport()->width(), list->sizeHintForColumn(0));
    form.ComboBox3->hidePopup();
}

using Learning = Window;

TEST_F(Learning, AnArmedToggleStandsOutAndTheLineNamesThePortAndWhatToPlay) {
    TForm1& form = create();
    EXPECT_FALSE(form.LabelLearning->isVisible());
    QTest::mouseClick(form.LearnNoteRef, Qt::LeftButton);
    EXPECT_TRUE(form.LearnNoteRef->isChecked());
    EXPECT_EQ(form.LearnNoteRef->palette().color(QPalette::Button),
              form.palette().color(QPalette::Highlight));
    EXPECT_NE(form.LearnChannel->palette().color(QPalette::Button),
              form.palette().color(QPalette::Highlight));
    EXPECT_TRUE(form.LabelLearning->isVisible());
    EXPECT_EQ(form.LabelLearning->text(), "Play a note on Virtual Loopback In…");
    QTest::mouseClick(form.LearnNoteRef, Qt::LeftButton);
    QTest::mouseClick(form.LearnController, Qt::LeftButton);
    EXPECT_EQ(form.LabelLearning->text(), "Move a controller on Virtual Loopback In…");
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.LabelLearning->isVisible());
    EXPECT_EQ(form.LearnController->palette().color(QPalette::Button),
              form.palette().color(QPalette::Button));
}

TEST_F(Learning, ALearnedControllerBecomesTheAuxSourceAndIsSent) {
    TForm1& form = create();
    QTest::mouseClick(form.RadioVelo, Qt::LeftButton);
    const std::size_t before = received().size();
    QTest::mouseClick(form.LearnController, Qt::LeftButton);
    virtual_midi::InjectShort(0, 0x6407B0);
    Settle();
    EXPECT_TRUE(form.RadioCtrl->isChecked());
    const std::vector<Bytes> all = received();
    EXPECT_EQ(std::vector<Bytes>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()),
              (std::vector<Bytes>{Parameter(0, 125, 7), Parameter(0, 124, 0x40)}));
}

TEST_F(Learning, CannotBeArmedWithoutAnInputPortAndSaysWhy) {
    virtual_midi::SetPorts({{virtual_midi::kConverterName, virtual_midi::OutputKind::Converter}},
                           {});
    MessageBoxCatcher boxes;
    TForm1& form = create();
    for (QPushButton* toggle : {form.LearnChannel, form.LearnNoteRef, form.LearnController}) {
        EXPECT_FALSE(toggle->isEnabled());
        EXPECT_TRUE(toggle->toolTip().startsWith("Learning needs a MIDI input port"));
        QTest::mouseClick(toggle, Qt::LeftButton);
        EXPECT_FALSE(toggle->isChecked());
    }
}

}  // namespace

using Lights = Window;

TEST_F(Lights, EachMessageFlashesItsLightAndTheOutLightTellsTheSimulatorsState) {
    TForm1& form = create();
    EXPECT_FALSE(form.LightOut->lit());
    // Counted, not looked at: on a busy machine a flash may be over before the check.
    const int outFlashes = form.LightOut->flashes();
    const int inFlashes = form.LightIn->flashes();
    drag(form.potnote, {57});
    EXPECT_GT(form.LightOut->flashes(), outFlashes);
    EXPECT_EQ(form.LightIn->flashes(), inFlashes);
    EXPECT_TRUE(form.LightOut->description().contains(
        "RDN417 Simulator holds: channel 1, NoteRef C 3 (60)"));
    ASSERT_TRUE(PumpUntil([&] { return !form.LightOut->lit(); }));
    virtual_midi::InjectShort(0, 0x643C90);
    Settle();
    EXPECT_GT(form.LightIn->flashes(), inFlashes);
}

TEST_F(Lights, AFloodKeepsTheInLightLitInsteadOfFlashingForEachMessage) {
    TForm1& form = create();
    for (int i = 0; i < 100000; ++i)
        virtual_midi::InjectShort(0, 0x7F0BB0);
    Settle();
    EXPECT_TRUE(PumpUntil([&] { return !form.LightIn->lit(); }));
    EXPECT_GE(form.LightIn->flashes(), 1);
    EXPECT_LT(form.LightIn->flashes(), 1000);
    EXPECT_FALSE(form.MidiInput1->GetMidiEvent());
}
