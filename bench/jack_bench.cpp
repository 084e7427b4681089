// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter messages through JACK to a receiving JACK client: the output component (header,
// delivery thread, RtMidi) beside the same bytes sent with RtMidi directly, and the program's
// command line from process start beside a bare RtMidi sender, in the same run, against a JACK
// server of the benchmark's own on the dummy driver.
#include "await.h"
#include "child_process.h"
#include "converter/ConverterSetup.h"
#include "converter/ParameterMessage.h"
#include "jack_peer.h"
#include "jack_server.h"
#include "latency.h"
#include "midi/MidiOut.h"
#include "platform/midi_system.h"
#include "platform/testing.h"
#include "platform/win32.h"
#include "session/Ports.h"
#include "test_environment.h"

#include <benchmark/benchmark.h>
#include <rtmidi/RtMidi.h>

#include <array>
#include <cstdlib>
#include <string>
#include <thread>

#include <jack/jack.h>

namespace {

const ParameterMessageBytes kMessage = ParameterMessage(0, 126, 60);
constexpr int kBurst = 100;
// Client names end with the server's suffix: two benchmark runs at once must not share one.
std::string peerName;
std::string ownSuffix;

JackPeer* peer = nullptr;

// On a busy machine JACK drops what a client that missed its cycle (an xrun) should have read,
// and no sender learns of it: a message that has not arrived after a second counts as lost (the
// "lost" counter), and more than ten lost end the benchmark with an error.
constexpr auto kLostAfter = std::chrono::seconds(1);
constexpr int kMostLost = 10;

bool awaitPeer(benchmark::State& state, std::size_t count,
               std::chrono::steady_clock::duration lostAfter = kLostAfter) {
    const auto deadline = std::chrono::steady_clock::now() + lostAfter;
    for (std::size_t received; (received = peer->receivedCount()) < count;) {
        if (std::chrono::steady_clock::now() > deadline) {
            const auto lost = state.counters["lost"].value += static_cast<double>(count - received);
            if (lost > kMostLost) {
                const std::string error = "messages received by the JACK peer: " +
                                          std::to_string(static_cast<int>(lost)) +
                                          " did not arrive in time";
                state.SkipWithError(error.c_str());
                return false;
            }
            return true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return true;
}

void releaseCompletions() {
    while (platform::PumpMessages(0) > 0) {
    }
}

// A benchmark whose send or port failed (the component raises, RtMidi throws) ends with that
// error, said in the log: uncaught, it would abort the whole run without a word.
template <void (*Body)(benchmark::State&)>
void Guarded(benchmark::State& state) {
    try {
        Body(state);
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
}

// Opens the peer's port, or says why the benchmark is skipped.
bool openPeer(TMidiOutput& out, benchmark::State& state) {
    out.SetProductName(peerName + ":in");
    if (out.Open())
        return true;
    state.SkipWithError("the peer's port did not open");
    return false;
}

void BM_ComponentToJackClient(benchmark::State& state) {
    TMidiOutput out(nullptr);
    if (!openPeer(out, state))
        return;
    LatencyRecorder latencies;
    for (auto _ : state) {
        const std::size_t target = peer->receivedCount() + 1;
        const auto start = LatencyRecorder::Clock::now();
        out.SendLongMessage(kMessage.data(), kMessage.size());
        if (!awaitPeer(state, target))
            break;
        latencies.add(state, start);
        releaseCompletions();
    }
    latencies.report(state);
    AwaitCompletions(state, out);
    out.Close();
}
BENCHMARK(Guarded<BM_ComponentToJackClient>)
    ->Name("BM_ComponentToJackClient")
    ->UseManualTime()
    ->Iterations(300);

void BM_ComponentBurstToJackClient(benchmark::State& state) {
    TMidiOutput out(nullptr);
    if (!openPeer(out, state))
        return;
    for (auto _ : state) {
        const std::size_t target = peer->receivedCount() + kBurst;
        for (int i = 0; i < kBurst; ++i)
            out.SendLongMessage(kMessage.data(), kMessage.size());
        if (!awaitPeer(state, target) || !AwaitCompletions(state, out))
            break;
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
    out.Close();
}
BENCHMARK(Guarded<BM_ComponentBurstToJackClient>)
    ->Name("BM_ComponentBurstToJackClient")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

// RtMidi straight to the peer, no component and no platform layer.
std::unique_ptr<RtMidiOut> directOutput() {
    auto out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "rdn417-bench-direct" + ownSuffix);
    for (unsigned i = 0; i < out->getPortCount(); ++i) {
        if (out->getPortName(i) == peerName + ":in") {
            out->openPort(i, "out");
            return out;
        }
    }
    return nullptr;
}

void BM_RtMidiDirectToJackClient(benchmark::State& state) {
    auto out = directOutput();
    if (!out) {
        state.SkipWithError("the peer's port is not listed");
        return;
    }
    LatencyRecorder latencies;
    for (auto _ : state) {
        const std::size_t target = peer->receivedCount() + 1;
        const auto start = LatencyRecorder::Clock::now();
        out->sendMessage(kMessage.data(), kMessage.size());
        if (!awaitPeer(state, target))
            break;
        latencies.add(state, start);
    }
    latencies.report(state);
}
BENCHMARK(Guarded<BM_RtMidiDirectToJackClient>)
    ->Name("BM_RtMidiDirectToJackClient")
    ->UseManualTime()
    ->Iterations(300);

void BM_RtMidiDirectBurstToJackClient(benchmark::State& state) {
    auto out = directOutput();
    if (!out) {
        state.SkipWithError("the peer's port is not listed");
        return;
    }
    for (auto _ : state) {
        const std::size_t target = peer->receivedCount() + kBurst;
        for (int i = 0; i < kBurst; ++i)
            out->sendMessage(kMessage.data(), kMessage.size());
        if (!awaitPeer(state, target))
            break;
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(Guarded<BM_RtMidiDirectBurstToJackClient>)
    ->Name("BM_RtMidiDirectBurstToJackClient")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

// Input ports of a client of its own, so that the program sees `ports` output ports in all
// with the peer's: what a send costs must not grow with them.
class PortCrowd {
  public:
    explicit PortCrowd(int ports) {
        client_ = jack_client_open(("rdn417-bench-crowd" + ownSuffix).c_str(), JackNoStartServer,
                                   nullptr);
        if (client_ == nullptr)
            return;
        for (int i = 1; i < ports; ++i)
            jack_port_register(client_, ("in" + std::to_string(i)).c_str(), JACK_DEFAULT_MIDI_TYPE,
                               JackPortIsInput, 0);
        jack_activate(client_);
    }
    ~PortCrowd() {
        if (client_ == nullptr)
            return;
        jack_deactivate(client_);
        jack_client_close(client_);
    }
    PortCrowd(const PortCrowd&) = delete;
    PortCrowd& operator=(const PortCrowd&) = delete;

  private:
    jack_client_t* client_ = nullptr;
};

// Few enough sends per run that RtMidi's ring buffer towards JACK never fills.
constexpr int kSendsPerRun = 1000;

void waitForJackToDrain() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

void BM_SendShortMessage(benchmark::State& state) {
    PortCrowd crowd(static_cast<int>(state.range(0)));
    TMidiOutput out(nullptr);
    if (!openPeer(out, state))
        return;
    waitForJackToDrain();
    for (auto _ : state)
        out.SendShortMessage(0xB0, 7, 100);
    waitForJackToDrain();
    out.Close();
}
BENCHMARK(Guarded<BM_SendShortMessage>)
    ->Name("BM_SendShortMessage")
    ->Arg(1)
    ->Arg(32)
    ->Iterations(kSendsPerRun);

void BM_SendLongMessageToCompletion(benchmark::State& state) {
    PortCrowd crowd(static_cast<int>(state.range(0)));
    TMidiOutput out(nullptr);
    if (!openPeer(out, state))
        return;
    waitForJackToDrain();
    for (auto _ : state) {
        out.SendLongMessage(kMessage.data(), kMessage.size());
        if (!AwaitCompletions(state, out))
            break;
    }
    waitForJackToDrain();
    out.Close();
}
BENCHMARK(Guarded<BM_SendLongMessageToCompletion>)
    ->Name("BM_SendLongMessageToCompletion")
    ->Arg(1)
    ->Arg(32)
    ->Iterations(kSendsPerRun);

void BM_RtMidiSendMessage(benchmark::State& state) {
    PortCrowd crowd(static_cast<int>(state.range(0)));
    auto out = directOutput();
    if (!out) {
        state.SkipWithError("the peer's port is not listed");
        return;
    }
    const std::uint8_t message[] = {0xB0, 7, 100};
    waitForJackToDrain();
    for (auto _ : state)
        out->sendMessage(message, sizeof message);
    waitForJackToDrain();
}
BENCHMARK(Guarded<BM_RtMidiSendMessage>)
    ->Name("BM_RtMidiSendMessage")
    ->Arg(1)
    ->Arg(32)
    ->Iterations(kSendsPerRun);

// The platform's share of re-listing on JACK as the window and the command line do it: both
// lists, each with its whole names, with 1 and with 64 output ports; `listings` counts how
// often JACK was asked for a list.
void BM_ListPorts(benchmark::State& state) {
    PortCrowd crowd(static_cast<int>(state.range(0)));
    const unsigned long before = platform::testing::PortListings();
    for (auto _ : state)
        benchmark::DoNotOptimize(ListPorts(true).size() + ListPorts(false).size());
    state.counters["listings"] =
        benchmark::Counter(static_cast<double>(platform::testing::PortListings() - before),
                           benchmark::Counter::kAvgIterations);
}

// The same lists read as before: a query per port, and a second listing for the whole names.
void BM_ListPortsPortByPort(benchmark::State& state) {
    PortCrowd crowd(static_cast<int>(state.range(0)));
    const unsigned long before = platform::testing::PortListings();
    std::vector<platform::MidiPortName> wholes;
    for (auto _ : state) {
        for (UINT i = 0, count = midiOutGetNumDevs(); i < count; ++i) {
            MIDIOUTCAPSA caps{};
            benchmark::DoNotOptimize(midiOutGetDevCapsA(i, &caps, sizeof caps));
        }
        for (UINT i = 0, count = midiInGetNumDevs(); i < count; ++i) {
            MIDIINCAPSA caps{};
            benchmark::DoNotOptimize(midiInGetDevCapsA(i, &caps, sizeof caps));
        }
        platform::ListMidiPorts(true, wholes);
        platform::ListMidiPorts(false, wholes);
    }
    state.counters["listings"] =
        benchmark::Counter(static_cast<double>(platform::testing::PortListings() - before),
                           benchmark::Counter::kAvgIterations);
}
BENCHMARK(Guarded<BM_ListPortsPortByPort>)
    ->Name("BM_ListPortsPortByPort")
    ->Arg(1)
    ->Arg(64)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(Guarded<BM_ListPorts>)
    ->Name("BM_ListPorts")
    ->Arg(1)
    ->Arg(64)
    ->Unit(benchmark::kMicrosecond);

#ifdef RDN417_PROGRAM
// From starting a process until the peer holds the last byte of the setup it sends (what
// --send-all sends: the mode flags and NoteRef), with DISPLAY and WAYLAND_DISPLAY unset. A run
// that loses a message in an xrun counts as lost (see awaitPeer) and is run again.
void awaitProcessSend(benchmark::State& state, const std::vector<std::string>& command) {
    LatencyRecorder latencies;
    const std::size_t messages = ConverterSetup{}.messages().size();
    std::vector<std::string> argv{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"};
    argv.insert(argv.end(), command.begin(), command.end());
    for (auto _ : state) {
        for (bool arrived = false; !arrived && !state.error_occurred();) {
            const std::size_t target = peer->receivedCount() + messages;
            const auto start = LatencyRecorder::Clock::now();
            ChildProcess sender(argv);
            if (!awaitPeer(state, target, std::chrono::seconds(5)))
                break;
            arrived = peer->receivedCount() >= target;
            if (arrived)
                latencies.add(state, start);
            state.PauseTiming();
            if (sender.exitCode(std::chrono::seconds(20)) != 0)
                state.SkipWithError(("the process failed: " + sender.output()).c_str());
            state.ResumeTiming();
        }
    }
    latencies.report(state);
}

void BM_CommandLineSendAllToJackClient(benchmark::State& state) {
    awaitProcessSend(state, {"RDN417_CLIENT_NAME=rdn417-bench-cli" + ownSuffix, RDN417_PROGRAM,
                             "--midi-system", "jack", "--send-all", "--output", peerName + ":in"});
}
BENCHMARK(Guarded<BM_CommandLineSendAllToJackClient>)
    ->Name("BM_CommandLineSendAllToJackClient")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

void BM_BareRtMidiSenderToJackClient(benchmark::State& state) {
    std::vector<std::string> command{RDN417_BARE_SENDER, "rdn417-bench-bare" + ownSuffix,
                                     peerName + ":in"};
    for (const auto& message : ConverterSetup{}.messages()) {
        std::string hex;
        for (std::uint8_t byte : message) {
            char text[3];
            std::snprintf(text, sizeof text, "%02X", byte);
            hex += text;
        }
        command.push_back(hex);
    }
    awaitProcessSend(state, command);
}
BENCHMARK(Guarded<BM_BareRtMidiSenderToJackClient>)
    ->Name("BM_BareRtMidiSenderToJackClient")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
#endif

}  // namespace

int main(int argc, char** argv) {
    setenv("RDN417_MIDI_BACKEND", "jack", 1);
    // The command line reads and may write settings: never the user's own.
    UseOwnSettingsFolder();
    benchmark::Initialize(&argc, argv);
    JackServer server(256);
    if (!server.unavailable().empty()) {
        std::fprintf(stderr, "jack_bench: %s\n", server.unavailable().c_str());
        return 0;
    }
    ownSuffix = server.suffix();
    peerName = "rdn417-bench-peer" + ownSuffix;
    JackPeer receiver(peerName);
    peer = &receiver;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
