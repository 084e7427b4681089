// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform display: composing and showing a frame with the gradient on, in curve and
// spectrum modes, at a small and a wide size, with locators of extreme length, and the redraw
// rate of a locator drag.
#include "controls/Vxsampletank.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QTest>

#include <cstdint>
#include <cstdlib>

namespace {

std::unique_ptr<TvxSampleTank> shownDisplay(int width, int height, bool spectrum) {
    auto tank = std::make_unique<TvxSampleTank>();
    tank->resize(width, height);
    QByteArray samples(256, '\0');
    for (int i = 0; i < 256; ++i)
        samples[i] = static_cast<char>((i * 37) & 0xFF);
    tank->setSamples(samples);
    tank->setGradientEnabled(true);
    tank->setSpectrumMode(spectrum);
    tank->setSelectionLen(40);
    tank->show();
    static_cast<void>(QTest::qWaitForWindowExposed(tank.get()));
    return tank;
}

void BM_RenderFrame(benchmark::State& state) {
    auto tank = shownDisplay(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                             state.range(2) != 0);
    for (auto _ : state)
        tank->RenderFrame();
    state.SetLabel(state.range(2) != 0 ? "spectrum" : "curve");
}
BENCHMARK(BM_RenderFrame)
    ->Args({100, 80, 0})
    ->Args({100, 80, 1})
    ->Args({1920, 400, 0})
    ->Args({1920, 400, 1})
    ->Unit(benchmark::kMicrosecond);

// A locator far longer than the display: only its visible part is walked.
void BM_RenderFrameWithLocatorSize(benchmark::State& state) {
    auto tank = shownDisplay(100, 80, false);
    tank->setLocatorSize(static_cast<int>(state.range(0)));
    for (auto _ : state)
        tank->RenderFrame();
}
BENCHMARK(BM_RenderFrameWithLocatorSize)
    ->Arg(3)
    ->Arg(-1'000'000'000)
    ->Arg(1'000'000'000)
    ->Arg(INT32_MIN)
    ->Unit(benchmark::kMicrosecond);

void BM_LocatorDragRedraws(benchmark::State& state) {
    auto tank =
        shownDisplay(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), false);
    tank->ButtonPressed(mbLeft, ssLeft, 1, 10);
    int x = 0;
    for (auto _ : state) {
        x = (x + 7) % tank->width();
        tank->PointerMoved(ssLeft, x, 10);
    }
    tank->ButtonReleased(mbLeft, 0, x, 10);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LocatorDragRedraws)->Args({100, 80})->Args({1920, 400})->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
