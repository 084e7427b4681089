// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: from creating it to shown with the ports listed and opened, from a
// pointer move on the NoteRef pot to the parameter message reaching the simulated converter,
// a fast NoteRef drag over the simulator behind a DIN cable (paced, beside every step sent at
// once), a flood on the MIDI input, and re-reading the port lists when a combo opens.
#include "app/Unit1.h"
#include "await.h"
#include "converter/CablePacer.h"
#include "converter/ParameterMessage.h"
#include "latency.h"
#include "platform/virtual_midi.h"
#include "test_environment.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

void drainCompletions() {
    virtual_midi::Flush();
    QCoreApplication::processEvents();
}

void BM_WindowCreatedToShownWithPortsOpen(benchmark::State& state) {
    LatencyRecorder latencies;
    for (auto _ : state) {
        const auto start = LatencyRecorder::Clock::now();
        auto form = std::make_unique<TForm1>();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()) || form->MidiOutput1->State() != psOpen ||
            form->MidiInput1->State() != psOpen)
            state.SkipWithError("the window did not come up with its ports open");
        latencies.add(state, start);
        state.PauseTiming();
        form.reset();
        drainCompletions();
        state.ResumeTiming();
    }
    latencies.report(state);
}
BENCHMARK(BM_WindowCreatedToShownWithPortsOpen)->UseManualTime()->Iterations(200);

void BM_PointerMoveToConverter(benchmark::State& state) {
    TForm1 form;
    form.show();
    static_cast<void>(QTest::qWaitForWindowExposed(&form));
    Tvxpotlab* pot = form.potnote;
    const QPoint centre = pot->rect().center();
    QTest::mousePress(pot, Qt::LeftButton, {}, centre);
    LatencyRecorder latencies;
    int moves = 0;
    for (auto _ : state) {
        const int before = virtual_midi::Converter().parameterMessages;
        const QPoint at = centre - QPoint(0, moves++ % 2);
        QMouseEvent move(QEvent::MouseMove, at, pot->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        const auto start = LatencyRecorder::Clock::now();
        QApplication::sendEvent(pot, &move);
        if (!Await(
                state, "parameter messages at the simulated converter",
                [] { return virtual_midi::Converter().parameterMessages; }, before + 1, [] {}))
            break;
        latencies.add(state, start);
        if (moves % 256 == 0) {
            state.PauseTiming();
            drainCompletions();
            state.ResumeTiming();
        }
    }
    latencies.report(state);
    QTest::mouseRelease(pot, Qt::LeftButton, {}, centre);
    drainCompletions();
}
BENCHMARK(BM_PointerMoveToConverter)->UseManualTime();

// A flood on the MIDI input (10^4 Control Changes a round): the window reads them all, each
// passing the in light, which stays lit instead of repainting per message.
void BM_InputFloodThroughTheWindow(benchmark::State& state) {
    TForm1 form;
    form.show();
    static_cast<void>(QTest::qWaitForWindowExposed(&form));
    constexpr int kMessages = 10000;
    for (auto _ : state) {
        for (int i = 0; i < kMessages; ++i)
            virtual_midi::InjectShort(0, 0x7F0BB0);
        virtual_midi::Flush();
        QCoreApplication::processEvents();
        if (form.MidiInput1->GetMidiEvent())
            state.SkipWithError("the window left input unread");
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.counters["light_flashes"] = form.LightIn->flashes();
}
BENCHMARK(BM_InputFloodThroughTheWindow)->Unit(benchmark::kMillisecond);

constexpr unsigned kDin = 2;  // "RDN417 Simulator (DIN)" among the default outputs
constexpr int kDragSteps = 127;

// Runs `step(i)` for i = 1..127, one a millisecond, with Qt's event loop running in between;
// returns when the last step ran.
LatencyRecorder::Clock::time_point stepEveryMillisecond(const std::function<void(int)>& step) {
    auto at = LatencyRecorder::Clock::now();
    for (int i = 1; i <= kDragSteps; ++i) {
        at += std::chrono::milliseconds(1);
        while (LatencyRecorder::Clock::now() < at)
            QCoreApplication::processEvents();
        step(i);
    }
    return at;
}

struct DragTotals {
    double lagUs = 0;
    double floorUs = 0;
    double messages = 0;
};

// After a drag from NoteRef 0 to 127 ending at `lastMove`, once the converter holds 127: how
// long after the last move its final message had arrived, the least that could have been with
// what the cable was carrying at the last move (its end, then one message), and how many
// messages the cable carried since `before` of them.
bool recordDrag(benchmark::State& state, LatencyRecorder::Clock::time_point lastMove,
                std::size_t before, DragTotals& totals) {
    if (!Await(
            state, "NoteRef 127 at the simulated converter behind the DIN cable",
            [] { return virtual_midi::Converter(kDin).noteRef.value_or(-1); }, 127,
            [] { QCoreApplication::processEvents(); }))
        return false;
    // The converter holds a message's value once its last byte has come off the cable.
    const auto arrivals = virtual_midi::Arrivals(kDin);
    const std::vector<virtual_midi::Bytes> received = virtual_midi::Received(kDin);
    const ParameterMessageBytes final = ParameterMessage(0, pcNoteRef, 127);
    const auto found = std::find(received.begin() + static_cast<std::ptrdiff_t>(before),
                                 received.end(), virtual_midi::Bytes(final.begin(), final.end()));
    // Every message on this port is a 7-byte parameter message.
    const auto index = static_cast<std::size_t>(found - received.begin());
    const auto lastByte = arrivals[index * 7 + 6];
    const double lag = std::chrono::duration<double>(lastByte.at - lastMove).count();
    state.SetIterationTime(std::max(lag, 0.0));
    totals.lagUs += lag * 1e6;
    const auto busyUntil = index > 0 ? std::max(arrivals[index * 7 - 1].at, lastMove) : lastMove;
    totals.floorUs +=
        std::chrono::duration<double, std::micro>(busyUntil - lastMove + CablePacer::cableTime(7))
            .count();
    totals.messages += static_cast<double>(received.size() - before);
    return true;
}

void reportDrags(benchmark::State& state, const DragTotals& totals) {
    const auto average = benchmark::Counter::kAvgIterations;
    state.counters["final_value_lag_us"] = benchmark::Counter(totals.lagUs, average);
    state.counters["cable_floor_lag_us"] = benchmark::Counter(totals.floorUs, average);
    state.counters["cable_messages"] = benchmark::Counter(totals.messages, average);
}

// The window on the DIN-timed simulator, NoteRef dragged from 0 to 127 with one pointer move a
// millisecond: what the window sends is paced to the cable.
void BM_DinNoteRefDragPaced(benchmark::State& state) {
    TForm1 form;
    form.show();
    static_cast<void>(QTest::qWaitForWindowExposed(&form));
    form.cmbOutput->setCurrentIndex(static_cast<int>(kDin));
    emit form.cmbOutput->activated(static_cast<int>(kDin));
    Tvxpotlab* pot = form.potnote;
    const QPoint centre = pot->rect().center();
    DragTotals totals;
    for (auto _ : state) {
        pot->setState(0);
        form.potnoteChange(pot);
        if (!Await(
                state, "NoteRef 0 at the simulated converter",
                [] { return virtual_midi::Converter(kDin).noteRef.value_or(-1); }, 0,
                [] { QCoreApplication::processEvents(); }, true))
            break;
        virtual_midi::Flush();
        const std::size_t before = virtual_midi::Received(kDin).size();
        QTest::mousePress(pot, Qt::LeftButton, {}, centre);
        QPoint at = centre;
        const auto lastMove = stepEveryMillisecond([&](int i) {
            at = centre - QPoint(0, (i * pot->CursorRange() + kDragSteps - 1) / kDragSteps);
            QTest::mouseMove(pot, at);
        });
        QTest::mouseRelease(pot, Qt::LeftButton, {}, at);
        if (!recordDrag(state, lastMove, before, totals))
            break;
    }
    reportDrags(state, totals);
    form.close();
}
BENCHMARK(BM_DinNoteRefDragPaced)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The same drag sent the old way, every step at once as it happens, onto the same cable.
void BM_DinNoteRefDragEveryStepAtOnce(benchmark::State& state) {
    TMidiOutput output(nullptr);
    output.SetDeviceID(static_cast<std::int32_t>(kDin));
    if (!output.Open())
        state.SkipWithError("the DIN-timed simulator did not open");
    DragTotals totals;
    const auto send = [&](int value) {
        const ParameterMessageBytes message = ParameterMessage(0, pcNoteRef, value);
        output.SendLongMessage(message.data(), static_cast<std::uint16_t>(message.size()));
    };
    for (auto _ : state) {
        if (state.error_occurred())
            break;
        send(0);
        drainCompletions();
        const std::size_t before = virtual_midi::Received(kDin).size();
        const auto lastMove = stepEveryMillisecond(send);
        if (!recordDrag(state, lastMove, before, totals))
            break;
        drainCompletions();
    }
    reportDrags(state, totals);
    drainCompletions();
    output.Close();
}
BENCHMARK(BM_DinNoteRefDragEveryStepAtOnce)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

// Creating the window until it is shown, with a settings file of 1 MB (16,000 other keys)
// that the window reads at start.
void BM_WindowCreatedWithALargeSettingsFile(benchmark::State& state) {
    const auto folder = std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "rdn417-config";
    std::filesystem::create_directories(folder);
    const auto hive = folder / "HKEY_CURRENT_USER.reg";
    {
        std::ofstream out(hive, std::ios::binary | std::ios::trunc);
        out << "Windows Registry Editor Version 5.00\n";
        for (int i = 0; i < 16000; ++i)
            out << "\n[HKEY_CURRENT_USER\\Software\\Vendor " << i
                << "\\Settings]\n\"Path\"=\"C:\\\\App " << i << "\"\n\"Count\"=dword:00000010\n";
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(hive));
    for (auto _ : state) {
        auto form = std::make_unique<TForm1>();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            state.SkipWithError("the window did not come up");
        state.PauseTiming();
        form.reset();
        drainCompletions();
        state.ResumeTiming();
    }
    std::filesystem::remove(hive);
}
BENCHMARK(BM_WindowCreatedWithALargeSettingsFile)->Unit(benchmark::kMillisecond)->Iterations(5);

// What opening a port combo costs: both lists read anew and the choices kept, with 1 and
// with 64 ports of each direction.
void BM_RelistPorts(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    std::vector<virtual_midi::OutputPort> outputs{virtual_midi::kConverterPort};
    std::vector<std::string> inputs{virtual_midi::kLoopbackInName};
    for (int i = 1; i < count; ++i) {
        outputs.push_back({"Output " + std::to_string(i)});
        inputs.push_back("Input " + std::to_string(i));
    }
    virtual_midi::SetPorts(outputs, inputs);
    {
        TForm1 form;
        for (auto _ : state)
            form.RelistMidiDevices();
        if (form.MidiOutput1->State() != psOpen || form.cmbOutput->count() != count)
            state.SkipWithError("the lists or the open port were lost");
    }
    virtual_midi::Reset();
}
BENCHMARK(BM_RelistPorts)->Arg(1)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    UseTestEnvironment("virtual");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
