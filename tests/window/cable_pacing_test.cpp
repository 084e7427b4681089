// SPDX-License-Identifier: GPL-3.0-or-later
// The window over the simulated converter behind a DIN cable: what a drag sends is paced to
// the cable, its last value always arrives, and nothing that waits is lost.
#include "app/ExceptionDisplay.h"
#include "window_fixture.h"

#include <algorithm>
#include <chrono>

namespace {

using virtual_midi::Bytes;

constexpr unsigned kDin = 2;  // "RDN417 Simulator (DIN)" among the default outputs

class CablePacing : public Window {
  protected:
    TForm1& createOnDin() {
        TForm1& form = create();
        form.PageControl1->setCurrentIndex(1);
        form.cmbOutput->setCurrentIndex(static_cast<int>(kDin));
        emit form.cmbOutput->activated(static_cast<int>(kDin));
        form.PageControl1->setCurrentIndex(0);
        EXPECT_EQ(form.MidiOutput1->ProductName(), virtual_midi::kDinConverterName);
        return form;
    }
    // Drags NoteRef up a pixel per move, as fast as events come; the value it ends at.
    static int fastDrag(TForm1& form, int pixels) {
        std::vector<int> up(static_cast<std::size_t>(pixels));
        for (int i = 0; i < pixels; ++i)
            up[static_cast<std::size_t>(i)] = i + 1;
        drag(form.potnote, up);
        return form.potnote->State();
    }
    static bool noteRefArrived(int value) { return virtual_midi::Converter(kDin).noteRef == value; }
};

TEST_F(CablePacing, AFastDragLeavesAtTheCablesPaceAndItsLastValueArrives) {
    TForm1& form = createOnDin();
    const int last = fastDrag(form, 40);
    ASSERT_GT(last, 30);
    ASSERT_TRUE(PumpUntil([&] { return noteRefArrived(last); }));
    const std::vector<Bytes> carried = virtual_midi::Received(kDin);
    // How many steps waited and were replaced depends on how fast the events came (the
    // pacer's own tests count them on a clock of their own); the last value always arrives.
    EXPECT_EQ(carried.back(), Parameter(0, 126, last));
    EXPECT_TRUE(std::is_sorted(carried.begin(), carried.end(), [](const Bytes& a, const Bytes& b) {
        return (a[4] | a[5] << 4) < (b[4] | b[5] << 4);
    }));
    // Over the simulator without a cable every step still leaves, as it happens.
    form.PageControl1->setCurrentIndex(1);
    form.cmbOutput->setCurrentIndex(0);
    emit form.cmbOutput->activated(0);
    form.PageControl1->setCurrentIndex(0);
    const int from = form.potnote->State();
    const int to = fastDrag(form, 10);
    const std::vector<Bytes> sent = received();
    for (int value = from + 1; value <= to; ++value)
        EXPECT_NE(std::find(sent.begin(), sent.end(), Parameter(0, 126, value)), sent.end());
}

TEST_F(CablePacing, EveryParameterChangedDuringADragArrivesWithItsLastValue) {
    TForm1& form = createOnDin();
    fastDrag(form, 20);
    form.RadioTable->setChecked(true);
    form.ComboBox3->setCurrentIndex(8);
    emit form.ComboBox3->activated(8);
    const int last = fastDrag(form, 5);
    ASSERT_TRUE(PumpUntil([&] {
        const auto state = virtual_midi::Converter(kDin);
        return state.noteRef == last && state.auxController == 7;
    }));
    EXPECT_TRUE(virtual_midi::Converter(kDin).pitchTable());
}

TEST_F(CablePacing, ClosingOrSwitchingPortsFirstSendsWhatWaits) {
    TForm1& form = createOnDin();
    const int left = fastDrag(form, 30);
    form.PageControl1->setCurrentIndex(1);
    form.cmbOutput->setCurrentIndex(1);
    emit form.cmbOutput->activated(1);
    EXPECT_EQ(form.MidiOutput1->ProductName(), virtual_midi::kLoopbackOutName);
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Received(kDin).back(), Parameter(0, 126, left));
    form.cmbOutput->setCurrentIndex(static_cast<int>(kDin));
    emit form.cmbOutput->activated(static_cast<int>(kDin));
    form.PageControl1->setCurrentIndex(0);
    const int closed = fastDrag(form, 5);
    ASSERT_TRUE(form.close());
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Received(kDin).back(), Parameter(0, 126, closed));
}

TEST_F(CablePacing, AWaitingValueThatCannotBeSentIsReported) {
    TForm1& form = createOnDin();
    MessageBoxCatcher boxes;
    // The mode flags leave at once; the controller and NoteRef wait for the cable (unless the
    // machine stalls longer than a message takes), and the last of them fails.
    form.ComboBox3->setCurrentIndex(8);
    virtual_midi::FailNext(platform::midi::Operation::OutLongMsg, MMSYSERR_NOMEM, 2);
    QTest::mouseClick(form.ButtonSendAll, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return !boxes.boxes.empty(); }));
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_TRUE(boxes.texts().front().startsWith(
        QString::fromStdString(ExceptionText(form.MidiOutput1->ErrorText(MMSYSERR_NOMEM)))));
    EXPECT_TRUE(boxes.texts().front().contains(virtual_midi::kDinConverterName));
    // The ones before it arrived.
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Converter(kDin).auxController, 7);
    EXPECT_EQ(virtual_midi::Converter(kDin).noteRef, std::nullopt);
}

}  // namespace
