// SPDX-License-Identifier: GPL-3.0-or-later
// A 7-byte parameter message from SendLongMessage until its header is freed on the GUI thread,
// beside the same bytes sent straight through midiOutLongMsg with no component in between.
#include "await.h"
#include "converter/ParameterMessage.h"
#include "latency.h"
#include "midi/MidiOut.h"
#include "platform/win32.h"

#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <vector>

namespace {

const ParameterMessageBytes kMessage = ParameterMessage(0, 126, 60);
constexpr int kBurst = 1000;

bool awaitFinished(benchmark::State& state, const int& finished, int target) {
    return Await(
        state, "completions reported to the output's owner", [&] { return finished; }, target,
        [] { platform::PumpMessages(10); });
}

void BM_ComponentLatency(benchmark::State& state) {
    TMidiOutput out(nullptr);
    out.SetDeviceID(0);
    out.Open();
    int finished = 0;
    out.Onmidioutput = [&](TObject*) { ++finished; };
    LatencyRecorder latencies;
    for (auto _ : state) {
        const int target = finished + 1;
        const auto start = LatencyRecorder::Clock::now();
        out.SendLongMessage(kMessage.data(), kMessage.size());
        if (!awaitFinished(state, finished, target))
            break;
        latencies.add(state, start);
    }
    latencies.report(state);
    out.Close();
}
BENCHMARK(BM_ComponentLatency)->UseManualTime();

void BM_ComponentThroughput(benchmark::State& state) {
    TMidiOutput out(nullptr);
    out.SetDeviceID(0);
    out.Open();
    int finished = 0;
    out.Onmidioutput = [&](TObject*) { ++finished; };
    for (auto _ : state) {
        finished = 0;
        for (int i = 0; i < kBurst; ++i)
            out.SendLongMessage(kMessage.data(), kMessage.size());
        if (!awaitFinished(state, finished, kBurst))
            break;
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
    out.Close();
}
BENCHMARK(BM_ComponentThroughput)->Unit(benchmark::kMillisecond);

struct Direct {
    std::atomic<int> done{0};
    static void CALLBACK callback(HDRVR, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
        if (message == MOM_DONE)
            reinterpret_cast<Direct*>(instance)->done.fetch_add(1, std::memory_order_release);
    }
    HMIDIOUT open() {
        HMIDIOUT handle = nullptr;
        midiOutOpen(&handle, 0, reinterpret_cast<DWORD_PTR>(&callback),
                    reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
        return handle;
    }
    bool waitFor(benchmark::State& state, int count) {
        return Await(
            state, "completions delivered to the bare callback",
            [&] { return done.load(std::memory_order_acquire); }, count, [] {});
    }
};

MIDIHDR makeHeader(std::array<char, 7>& bytes) {
    std::copy(kMessage.begin(), kMessage.end(), bytes.begin());
    MIDIHDR header{};
    header.lpData = bytes.data();
    header.dwBufferLength = bytes.size();
    return header;
}

void BM_DirectLatency(benchmark::State& state) {
    Direct direct;
    HMIDIOUT out = direct.open();
    std::array<char, 7> bytes;
    MIDIHDR header = makeHeader(bytes);
    LatencyRecorder latencies;
    for (auto _ : state) {
        const auto start = LatencyRecorder::Clock::now();
        const int target = direct.done.load() + 1;
        midiOutPrepareHeader(out, &header, sizeof header);
        midiOutLongMsg(out, &header, sizeof header);
        if (!direct.waitFor(state, target))
            break;
        midiOutUnprepareHeader(out, &header, sizeof header);
        latencies.add(state, start);
    }
    latencies.report(state);
    midiOutClose(out);
}
BENCHMARK(BM_DirectLatency)->UseManualTime();

void BM_DirectThroughput(benchmark::State& state) {
    Direct direct;
    HMIDIOUT out = direct.open();
    std::vector<std::array<char, 7>> bytes(kBurst);
    std::vector<MIDIHDR> headers;
    for (auto& b : bytes)
        headers.push_back(makeHeader(b));
    for (auto _ : state) {
        direct.done.store(0);
        for (auto& header : headers) {
            midiOutPrepareHeader(out, &header, sizeof header);
            midiOutLongMsg(out, &header, sizeof header);
        }
        if (!direct.waitFor(state, kBurst))
            break;
        for (auto& header : headers)
            midiOutUnprepareHeader(out, &header, sizeof header);
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
    midiOutClose(out);
}
BENCHMARK(BM_DirectThroughput)->Unit(benchmark::kMillisecond);

}  // namespace
