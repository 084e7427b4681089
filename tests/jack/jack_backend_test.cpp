// SPDX-License-Identifier: GPL-3.0-or-later
// The JACK backend without the window, so that the sanitizer builds run it too: ports opened
// and closed under traffic in both directions while the server is killed and started again.
// The memory that JACK's real-time thread uses must outlive every use, whatever the order.
#include "midi/jack/jack_backend.h"
#include "child_process.h"
#include "jack_peer.h"
#include "jack_server.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "parameter_bytes.h"
#include "platform/midi_system.h"
#include "pump.h"
#include "test_environment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

JackServer* server = nullptr;
// Set by the thread that kills the server, once it has.
std::atomic<bool> killed{false};

// Opens the port once it is listed; false when it was not listed in time, the server was
// killed meanwhile, or it did not open.
template <typename Port, typename Error>
bool OpenOnceListed(Port& port, const std::string& name) {
    bool listed = false;
    PumpUntil(
        [&] {
            try {
                port.SetProductName(name);
                listed = true;
            } catch (const Error&) {
            }
            return listed || killed.load();
        },
        15000);
    if (!listed)
        return false;
    try {
        port.Open();
    } catch (const Error&) {
        return false;
    }
    return port.State() == psOpen;
}

TEST(JackBackend, PortsOpenedAndClosedUnderTrafficWhileTheServerDiesNeverMeetFreedMemory) {
    if (!ChildProcess::installed("jackd"))
        GTEST_SKIP() << server->unavailable();
    ASSERT_EQ(server->unavailable(), "");
    const std::string receiver = "rdn417-receiver" + server->suffix();
    const std::string sender = "rdn417-sender" + server->suffix();
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        // Peers of processes of their own, which a server that dies takes with it: a note
        // every 5 ms towards our input, and a dump that takes what our output sends.
        ChildProcess dump({"jack_midi_dump", receiver});
        ChildProcess notes({"jack_midiseq", sender, "240", "0", "60", "120"});
        // Killed at a different moment of each round, in the round's own cycle: before the
        // ports open, once they are open, in the middle of the sends, or before they close.
        killed.store(false);
        const auto killAt = [&](int cycle, int moment) {
            if (cycle == round && moment == round && !killed.load()) {
                server->kill();
                killed.store(true);
            }
        };
        for (int cycle = 0; cycle < 8; ++cycle) {
            killAt(cycle, 0);
            TMidiOutput out(nullptr);
            TMidiInput in(nullptr);
            if (!OpenOnceListed<TMidiOutput, EmidioutputError>(out, receiver + ":input") ||
                !OpenOnceListed<TMidiInput, EMidiInputError>(in, sender + ":out"))
                break;
            in.Start();
            killAt(cycle, 1);
            const auto message = Parameter(0, 126, cycle);
            try {
                for (int i = 0; i < 50; ++i) {
                    if (i == 25)
                        killAt(cycle, 2);
                    out.SendLongMessage(message.data(), 7);
                    out.SendShortMessage(0xB0, 1, static_cast<std::uint8_t>(i));
                }
                PumpUntil([&] { return out.PendingLongMessages() == 0; }, 15000);
            } catch (const EmidioutputError&) {
                // A send to the server that was killed: reported, as it must be.
            }
            while (in.GetMidiEvent()) {
            }
            killAt(cycle, 3);
            in.Close();
            try {
                PumpUntil([&] { return out.PendingLongMessages() == 0; }, 15000);
            } catch (const EmidioutputError&) {
            }
            EXPECT_TRUE(out.Close());
        }
        // A round whose cycles all ended early still ends with its server gone.
        killAt(round, round);
        ASSERT_TRUE(server->start()) << server->unavailable();
    }
}

// The server's notifications (a client coming and going) keep arriving while a backend of its
// own is destroyed: none reaches what the backend has already destroyed.
TEST(JackBackend, ABackendDestroyedWhileTheServerNotifiesIt) {
    if (!ChildProcess::installed("jackd"))
        GTEST_SKIP() << server->unavailable();
    ASSERT_EQ(server->unavailable(), "");
    std::atomic<bool> busy{true};
    std::thread notifier([&] {
        while (busy.load())
            JackPeer("rdn417-notifier" + server->suffix());
    });
    for (int round = 0; round < 20; ++round) {
        auto backend = std::make_unique<platform::midi::JackBackend>();
        backend->outputNames();
        backend.reset();
    }
    busy.store(false);
    notifier.join();
}

}  // namespace

#if defined(__SANITIZE_THREAD__)
// libjack's threads of a client whose server was killed are never joined: the backend gives such
// a client up instead of closing it, as closing it would hang (see jack_backend.h).
extern "C" const char* __tsan_default_suppressions() {
    return "thread:libjack.so\n";
}
#endif

int main(int argc, char** argv) {
    UseTestEnvironment("jack");
    ::testing::InitGoogleTest(&argc, argv);
    JackServer jack;
    server = &jack;
    const int result = RUN_ALL_TESTS();
    server = nullptr;
    return result;
}
