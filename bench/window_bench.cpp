// The main window: from creating it to shown with the ports listed and opened, from a
// pointer move on the NoteRef pot to the parameter message reaching the simulated converter,
// and re-reading the port lists when a combo opens.
#include "app/Unit1.h"
#include "await.h"
#include "latency.h"
#include "platform/virtual_midi.h"
#include "test_environment.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
