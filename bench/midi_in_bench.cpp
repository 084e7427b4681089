// SPDX-License-Identifier: GPL-3.0-or-later
// The input path: the driver callback's cost per event (queue push and posted notice), and
// events per second from the backend to the owner's read, beside the backend's own delivery
// to a bare callback with no component in the same run.
#include "await.h"
#include "midi/CallbackContext.h"
#include "midi/MidiEventQueue.h"
#include "midi/MidiIn.h"
#include "platform/virtual_midi.h"
#include "platform/win32.h"

#include <benchmark/benchmark.h>

#include <atomic>

namespace {

constexpr int kBurst = 1000;

void BM_CallbackPath(benchmark::State& state) {
    platform::MessageWindow window([](HWND, UINT, WPARAM, LPARAM) { return LRESULT{0}; });
    CallbackContext* context = AllocCallbackContext();
    context->queue = MidiEventQueue::Create(MidiEventQueue::kMaxCapacity);
    context->window = window.handle();
    const auto instance = reinterpret_cast<DWORD_PTR>(context);
    int pushed = 0;
    for (auto _ : state) {
        MidiDriverCallback(nullptr, MM_MIM_DATA, instance, 0x403C90, 1234);
        if (++pushed == 4000) {
            state.PauseTiming();
            QueuedEvent event;
            while (context->queue->Pop(event)) {
            }
            while (platform::PumpMessages(0) > 0) {
            }
            pushed = 0;
            state.ResumeTiming();
        }
    }
    MidiEventQueue::Destroy(context->queue);
    FreeCallbackContext(context);
}
BENCHMARK(BM_CallbackPath);

void BM_InjectToOwnerRead(benchmark::State& state) {
    TMidiInput in(nullptr);
    in.Capacity = MidiEventQueue::kMaxCapacity;
    int read = 0;
    in.OnMidiInput = [&](TObject*) {
        while (in.GetMidiEvent())
            ++read;
    };
    in.Open();
    in.Start();
    for (auto _ : state) {
        read = 0;
        for (int i = 0; i < kBurst; ++i)
            virtual_midi::InjectShort(0, 0x403C90);
        if (!Await(
                state, "events read by the input's owner", [&] { return read; }, kBurst,
                [] { platform::PumpMessages(10); }))
            break;
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
    state.counters["dropped"] = in.DroppedEventCount();
    in.Close();
}
BENCHMARK(BM_InjectToOwnerRead)->Unit(benchmark::kMillisecond);

std::atomic<int> rawDelivered{0};

void CALLBACK countData(HDRVR, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    if (message == MIM_DATA)
        rawDelivered.fetch_add(1, std::memory_order_release);
}

void BM_RawBackendDelivery(benchmark::State& state) {
    HMIDIIN in = nullptr;
    midiInOpen(&in, 0, reinterpret_cast<DWORD_PTR>(&countData), 0, CALLBACK_FUNCTION);
    midiInStart(in);
    for (auto _ : state) {
        rawDelivered.store(0);
        for (int i = 0; i < kBurst; ++i)
            virtual_midi::InjectShort(0, 0x403C90);
        if (!Await(
                state, "events delivered to the bare callback",
                [] { return rawDelivered.load(std::memory_order_acquire); }, kBurst, [] {}))
            break;
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
    midiInReset(in);
    midiInClose(in);
}
BENCHMARK(BM_RawBackendDelivery)->Unit(benchmark::kMillisecond);

}  // namespace
