// SPDX-License-Identifier: GPL-3.0-or-later
// Real MIDI peers that no one here wrote: the program's components and window against a JACK
// server of the tests' own, jack_midi_dump as the receiving device and a JACK client of the
// tests as the sending one.
#include "app/ExceptionDisplay.h"
#include "app/Unit1.h"
#include "child_process.h"
#include "jack_peer.h"
#include "jack_server.h"
#include "message_box_catcher.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/jack/jack_backend.h"
#include "parameter_bytes.h"
#include "platform/midi_system.h"
#include "pump.h"
#include "qt_event_loop_pump.h"
#include "temporary_config.h"
#include "test_environment.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <QApplication>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;

JackServer* server = nullptr;
std::string program;
constexpr const char* kServerLine = "JACK server of these tests: ";

// A client name of this program's own: two test programs at once must not share one (see
// JackServer).
std::string Own(const std::string& name) {
    return name + server->suffix();
}
constexpr int kJackLimitMs = 15000;

class Jack : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!ChildProcess::installed("jackd"))
            GTEST_SKIP() << server->unavailable();
        ASSERT_EQ(server->unavailable(), "");
    }
    // A test that failed between killing the server and starting it again leaves it dead;
    // the tests after it get a server all the same.
    void TearDown() override {
        if (HasFailure() && !server->running()) {
            EXPECT_TRUE(server->start()) << server->unavailable();
        }
    }
};

// jack_midi_dump under a client name of the test's own; its input port then is
// "<name>:input".
class Dump {
    // A note-off that no test sends, and how jack_midi_dump prints it.
    inline static const Bytes kProbe{0x80, 0x7F, 0x7F};
    static constexpr const char* kProbeText = "80 7f 7f";

  public:
    // With `frameTimes`, the dump prints each message's frame time since it started.
    explicit Dump(const std::string& name, bool frameTimes = false)
        : name_(Own(name)),
          process_(frameTimes
                       ? std::vector<std::string>{"stdbuf", "-oL", "jack_midi_dump", "-a", name_}
                       : std::vector<std::string>{"stdbuf", "-oL", "jack_midi_dump", name_}) {}

    std::string port() const { return name_ + ":input"; }
    // Its place in the output list, found by the whole name; -1 while it is not listed.
    int index() const {
        std::vector<platform::MidiPortName> ports;
        platform::ListMidiPorts(true, ports);
        const auto found = std::find_if(ports.begin(), ports.end(),
                                        [&](const auto& listed) { return listed.full == port(); });
        return found == ports.end() ? -1 : static_cast<int>(found - ports.begin());
    }

    // Waits until the port is in the output list and the dump prints what reaches it. JACK's
    // clients may be slow to come up on a busy machine, hence the generous limits.
    ::testing::AssertionResult listed() {
        const bool found = PumpUntil([&] { return index() >= 0; }, kJackLimitMs);
        if (!found)
            return ::testing::AssertionFailure()
                   << port() << " was not listed within " << kJackLimitMs << " ms";
        return running();
    }

    // Its port is registered a moment before the client runs, and what reaches the port in
    // between is never printed: a probe client connects once the dump is active and sends a
    // message of its own until the dump has printed one. messages() leaves the probes out.
    ::testing::AssertionResult running() {
        JackPeer probe(name_ + "-probe", false);
        if (!probe.ok())
            return ::testing::AssertionFailure()
                   << "the probe client of " << name_ << " did not open";
        // JACK connects no port of a client that is not active yet.
        if (!PumpUntil([&] { return probe.connectTo(port()); }, kJackLimitMs))
            return ::testing::AssertionFailure() << "the probe could not connect to " << port()
                                                 << " within " << kJackLimitMs << " ms";
        const bool printed = PumpUntil(
            [&] {
                probe.send(kProbe);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return process_.output().find(kProbeText) != std::string::npos;
            },
            kJackLimitMs);
        if (!printed)
            return ::testing::AssertionFailure() << name_ << " printed no probe within "
                                                 << kJackLimitMs << " ms: " << process_.output();
        return ::testing::AssertionSuccess();
    }

    // The messages it printed, each as its bytes.
    std::vector<Bytes> messages() {
        std::vector<Bytes> all;
        for (auto& [time, bytes] : timedMessages())
            all.push_back(std::move(bytes));
        return all;
    }

    // The same, each with the frame time printed before it.
    std::vector<std::pair<long long, Bytes>> timedMessages() {
        std::vector<std::pair<long long, Bytes>> all;
        std::istringstream lines(process_.output());
        std::string line;
        while (std::getline(lines, line)) {
            const auto colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            std::istringstream words(line.substr(colon + 1));
            Bytes bytes;
            std::string word;
            while (words >> word && word.size() == 2 && std::isxdigit(word[0]) &&
                   std::isxdigit(word[1]))
                bytes.push_back(static_cast<std::uint8_t>(std::stoi(word, nullptr, 16)));
            if (!bytes.empty() && bytes != kProbe)
                all.emplace_back(std::atoll(line.c_str()), bytes);
        }
        return all;
    }

    ::testing::AssertionResult waitFor(std::size_t count) {
        if (PumpUntil([&] { return messages().size() >= count; }, kJackLimitMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << name_ << " printed " << messages().size() << " messages, not " << count << ", in "
               << kJackLimitMs << " ms: " << process_.output();
    }

  private:
    std::string name_;
    ChildProcess process_;
};

// Waits until the input port is listed, selects it and opens it.
bool OpenOnceListed(TMidiInput& in, const std::string& port) {
    const bool listed = PumpUntil([&] {
        try {
            in.SetProductName(port);
            return true;
        } catch (const EMidiInputError&) {
            return false;
        }
    });
    if (listed)
        in.Open();
    return in.State() == psOpen;
}

TEST_F(Jack, TheOutputComponentReachesJackMidiDump) {
    Dump dump("rdn417-dump-out");
    ASSERT_TRUE(dump.listed());
    TMidiOutput out(nullptr);
    out.SetProductName(dump.port());
    ASSERT_TRUE(out.Open());
    int finished = 0;
    out.Onmidioutput = [&](TObject*) { ++finished; };
    const Bytes noteRef = Parameter(15, 126, 127);
    const Bytes flags = Parameter(15, 124, 0x60);
    out.SendLongMessage(noteRef.data(), 7);
    out.SendLongMessage(flags.data(), 7);
    out.SendShortMessage(0xBF, 7, 100);
    ASSERT_TRUE(PumpUntil([&] { return finished == 2; }));
    ASSERT_TRUE(dump.waitFor(3));
    EXPECT_EQ(dump.messages(), (std::vector<Bytes>{noteRef, flags, {0xBF, 0x07, 0x64}}));
    EXPECT_TRUE(out.Close());
}

// Two more copies of this program at once, beside this one: each starts a server under a name
// of its own and passes, as two test runs on one machine must.
TEST_F(Jack, TwoTestProgramsAtOnceEachRunAServerOfTheirOwn) {
    const std::vector<std::string> argv{
        program, "--gtest_filter=Jack.TheOutputComponentReachesJackMidiDump"};
    ChildProcess first(argv);
    ChildProcess second(argv);
    std::vector<std::string> servers{server->name()};
    for (ChildProcess* copy : {&first, &second}) {
        const int code = copy->exitCode(std::chrono::seconds(90));
        const std::string& output = copy->output();
        EXPECT_EQ(code, 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        const auto named = output.find(kServerLine);
        ASSERT_NE(named, std::string::npos) << output;
        const auto start = named + std::strlen(kServerLine);
        servers.push_back(output.substr(start, output.find('\n', start) - start));
    }
    std::sort(servers.begin(), servers.end());
    EXPECT_EQ(std::unique(servers.begin(), servers.end()), servers.end());
}

TEST_F(Jack, AJackClientsMessagesReachTheInputComponent) {
    JackPeer peer(Own("rdn417-peer-in"));
    ASSERT_TRUE(peer.ok());
    TMidiInput in(nullptr);
    ASSERT_TRUE(OpenOnceListed(in, Own("rdn417-peer-in") + ":out"));
    in.Start();
    ASSERT_TRUE(PumpUntil([&] { return peer.sending(); }, kJackLimitMs));
    const Bytes sysex = Parameter(1, 125, 74);
    peer.send({0x90, 0x3C, 0x40});
    peer.send(sysex);
    peer.send({0xB1, 0x07, 0x64});
    std::vector<MidiInputEvent> events;
    ASSERT_TRUE(PumpUntil([&] {
        while (auto event = in.GetMidiEvent())
            events.push_back(*event);
        return events.size() >= 3;
    }));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].message, 0x403C90u);
    EXPECT_TRUE(events[1].isSysex);
    EXPECT_EQ(events[1].sysex, sysex);
    EXPECT_EQ(events[2].message, 0x6407B1u);
    EXPECT_LE(events[0].timestamp, events[2].timestamp);
    EXPECT_LT(events[2].timestamp, 60'000u);
    in.Close();
}

TEST_F(Jack, ThePortListsFollowTheServer) {
    const UINT before = midiOutGetNumDevs();
    {
        Dump dump("rdn417-dump-plug");
        ASSERT_TRUE(dump.listed());
        EXPECT_EQ(midiOutGetNumDevs(), before + 1);
    }
    // The dump has gone: its port has too.
    EXPECT_TRUE(PumpUntil([&] { return midiOutGetNumDevs() == before; }));
}

// Runs `action` and pumps until the output's platform error for a missing port is raised,
// at the call or through the message's completion.
bool RaisesNoDevice(TMidiOutput& out, const std::function<void()>& action) {
    try {
        action();
        PumpUntil([&] { return out.PendingLongMessages() == 0; });
    } catch (const EmidioutputError& error) {
        return error.Message() == out.ErrorText(MIDIERR_NODEVICE);
    }
    return false;
}

const Bytes kNoteRef0 = Parameter(0, 126, 0);

TEST_F(Jack, APortThatGoesAwayWhileOpenFailsEverySendButStillCloses) {
    auto dump = std::make_unique<Dump>("rdn417-dump-gone");
    ASSERT_TRUE(dump->listed());
    const UINT before = midiOutGetNumDevs();
    TMidiOutput out(nullptr);
    out.SetProductName(dump->port());
    ASSERT_TRUE(out.Open());
    int sent = 0;
    out.Onmidioutput = [&](TObject*) { ++sent; };
    dump.reset();
    ASSERT_TRUE(PumpUntil([&] { return midiOutGetNumDevs() < before; }));
    // The first message finds the port gone on its way; every later one at its call.
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(RaisesNoDevice(out, [&] { out.SendLongMessage(kNoteRef0.data(), 7); }));
    EXPECT_TRUE(RaisesNoDevice(out, [&] { out.SendShortMessage(0xB0, 1, 2); }));
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(out.PendingLongMessages(), 0u);
    EXPECT_TRUE(out.Close());
}

// Waits until the output port is listed, selects it and opens it.
bool OpenOnceListed(TMidiOutput& out, const std::string& port) {
    const bool listed = PumpUntil([&] {
        try {
            out.SetProductName(port);
            return true;
        } catch (const EmidioutputError&) {
            return false;
        }
    });
    return listed && out.Open();
}

// Pumps until `done`, counting the failed sends that the completions raise.
bool PumpCountingFailures(const std::function<bool()>& done, int& failures) {
    for (;;) {
        try {
            return PumpUntil(done, kJackLimitMs);
        } catch (const EmidioutputError&) {
            ++failures;
        }
    }
}

// Ends the process, saying why, when the test is not done within the limit: a call that hangs
// would otherwise hang the whole test program.
class Watchdog {
  public:
    explicit Watchdog(const char* what)
        : thread_([this, what] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::seconds(60), [this] { return finished_; })) {
                  std::fprintf(stderr, "%s did not return within 60 s\n", what);
                  std::_Exit(1);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

TEST_F(Jack, AServerKilledUnderAFullSpeedBurstFailsTheRestAndHangsNoCall) {
    const Bytes message = Parameter(0, 126, 1);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        Dump dump("rdn417-dump-burst");
        ASSERT_TRUE(dump.listed());
        TMidiOutput out(nullptr);
        ASSERT_TRUE(OpenOnceListed(out, dump.port()));
        Watchdog watchdog("a send, pump or close after the server was killed");
        std::thread killer([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            server->kill();
        });
        int failures = 0;
        for (int sent = 0; failures == 0; ++sent) {
            try {
                out.SendLongMessage(message.data(), 7);
                if (sent % 64 == 0)
                    Pump(0);
                // Past the first burst, a message a millisecond until the loss is noticed.
                if (sent > 20000)
                    Pump(1);
            } catch (const EmidioutputError&) {
                ++failures;
            }
        }
        killer.join();
        EXPECT_TRUE(PumpCountingFailures([&] { return out.PendingLongMessages() == 0; }, failures));
        EXPECT_TRUE(out.Close());
        ASSERT_TRUE(server->start());
    }
}

TEST_F(Jack, APeerThatClosesMidStreamReceivedEveryMessageReportedAsSent) {
    JackPeer peer(Own("rdn417-closer"));
    ASSERT_TRUE(peer.ok());
    TMidiOutput out(nullptr);
    ASSERT_TRUE(OpenOnceListed(out, Own("rdn417-closer") + ":in"));
    int delivered = 0;
    int failures = 0;
    out.Onmidioutput = [&](TObject*) { ++delivered; };
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        peer.close();
    });
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; std::chrono::steady_clock::now() - start < std::chrono::seconds(1); ++i) {
        const Bytes message = Parameter(0, 126, i % 128);
        try {
            out.SendLongMessage(message.data(), 7);
        } catch (const EmidioutputError&) {
            ++failures;
        }
        PumpCountingFailures(
            [until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1)] {
                return std::chrono::steady_clock::now() >= until;
            },
            failures);
    }
    closer.join();
    EXPECT_TRUE(PumpCountingFailures([&] { return out.PendingLongMessages() == 0; }, failures));
    EXPECT_GT(failures, 0);
    EXPECT_GT(delivered, 0);
    EXPECT_EQ(static_cast<std::size_t>(delivered), peer.receivedCount());
    EXPECT_TRUE(out.Close());
}

TEST_F(Jack, ALongSystemExclusiveIsDeliveredWholeOrRefusedAtItsSend) {
    JackPeer peer(Own("rdn417-sysex"));
    ASSERT_TRUE(peer.ok());
    TMidiOutput out(nullptr);
    ASSERT_TRUE(OpenOnceListed(out, Own("rdn417-sysex") + ":in"));
    for (const std::size_t size : {16379u, 16380u, 65535u}) {
        SCOPED_TRACE(size);
        Bytes sysex(size, 0x11);
        sysex.front() = 0xF0;
        sysex.back() = 0xF7;
        const std::size_t before = peer.receivedCount();
        int failures = 0;
        out.SendLongMessage(sysex.data(), static_cast<std::uint16_t>(size));
        ASSERT_TRUE(PumpCountingFailures([&] { return out.PendingLongMessages() == 0; }, failures));
        if (failures > 0) {
            // Refused: no JACK cycle holds it. Nothing of it arrived.
            EXPECT_EQ(peer.receivedCount(), before);
            continue;
        }
        ASSERT_TRUE(PumpUntil([&] { return peer.receivedCount() > before; }, kJackLimitMs));
        EXPECT_EQ(peer.received().back().bytes, sysex);
    }
    EXPECT_TRUE(out.Close());
}

TEST_F(Jack, AServerThatDiesTakesItsPortsAndOneThatComesBackIsUsedAgain) {
    {
        Dump dump("rdn417-dump-dies");
        ASSERT_TRUE(dump.listed());
        TMidiOutput out(nullptr);
        out.SetProductName(dump.port());
        ASSERT_TRUE(out.Open());
        auto peer = std::make_unique<JackPeer>(Own("rdn417-peer-dies"));
        ASSERT_TRUE(peer->ok());
        TMidiInput in(nullptr);
        ASSERT_TRUE(OpenOnceListed(in, Own("rdn417-peer-dies") + ":out"));
        // This process's clients other than the program's are closed first: libjack frees
        // the dead ones when the next client opens.
        peer.reset();
        server->kill();
        ASSERT_TRUE(PumpUntil([] { return midiOutGetNumDevs() == 0 && midiInGetNumDevs() == 0; }));
        EXPECT_TRUE(RaisesNoDevice(out, [&] { out.SendShortMessage(0xB0, 1, 2); }));
        EXPECT_TRUE(RaisesNoDevice(out, [&] { out.SendLongMessage(kNoteRef0.data(), 7); }));
        // Trying to open a port of the dead server lists again and makes a client.
        TMidiOutput late(nullptr);
        EXPECT_FALSE(late.Open());
        EXPECT_TRUE(out.Close());
        in.Close();
    }
    ASSERT_TRUE(server->start());
    Dump dump("rdn417-dump-dies");
    ASSERT_TRUE(dump.listed());
    TMidiOutput out(nullptr);
    out.SetProductName(dump.port());
    ASSERT_TRUE(out.Open());
    out.SendLongMessage(kNoteRef0.data(), 7);
    ASSERT_TRUE(dump.waitFor(1));
    EXPECT_EQ(dump.messages()[0], kNoteRef0);
    EXPECT_TRUE(out.Close());
}

// Run on its own (see CMakeLists.txt): the process must end cleanly while ports of a server
// that was killed are still open.
TEST_F(Jack, DISABLED_TheProgramEndsCleanlyAfterTheServerDied) {
    Dump first("rdn417-dump-exit-1");
    Dump second("rdn417-dump-exit-2");
    ASSERT_TRUE(first.listed());
    ASSERT_TRUE(second.listed());
    static TMidiOutput open(nullptr);
    open.SetProductName(first.port());
    ASSERT_TRUE(open.Open());
    TMidiOutput late(nullptr);
    late.SetProductName(second.port());
    server->kill();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // Opening makes a client of a server that is gone.
    EXPECT_FALSE(late.Open());
}

// Drags the NoteRef pot one pixel up: two parameter messages, one at the move, one at the
// release.
void DragNoteRef(TForm1& form) {
    const QPoint at = form.potnote->rect().center();
    QTest::mousePress(form.potnote, Qt::LeftButton, {}, at);
    QTest::mouseMove(form.potnote, at - QPoint(0, 1));
    QTest::mouseRelease(form.potnote, Qt::LeftButton, {}, at - QPoint(0, 1));
}

void PickOutput(TForm1& form, const std::string& name) {
    const int item = form.cmbOutput->findText(QString::fromStdString(name));
    ASSERT_GE(item, 0);
    form.PageControl1->setCurrentIndex(1);
    form.cmbOutput->setCurrentIndex(item);
    emit form.cmbOutput->activated(item);
    form.PageControl1->setCurrentIndex(0);
    ASSERT_EQ(form.MidiOutput1->ProductName(), name);
    ASSERT_EQ(form.MidiOutput1->State(), psOpen);
}

TEST_F(Jack, TheWindowListsOpensAndSendsToJackMidiDump) {
    Dump dump("rdn417-dump-window");
    ASSERT_TRUE(dump.listed());
    QApplication::setApplicationName("RDN417 Config");
    const QtEventLoopPump pump;
    MessageBoxCatcher boxes;
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // No JACK client here sends MIDI, so there is no input port; the output opens all the same.
    EXPECT_EQ(form.cmbInput->itemText(0), "No MIDI Input Device");
    PickOutput(form, dump.port());
    DragNoteRef(form);
    ASSERT_TRUE(dump.waitFor(2));
    EXPECT_EQ(dump.messages()[0], Parameter(0, 126, 12));
    EXPECT_TRUE(form.close());
    // That there is no input is said by the In list, not in a box.
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_TRUE(form.cmbInput->toolTip().startsWith("There is no MIDI input port."));
}

TEST_F(Jack, TheWindowShowsEverySendThatTheDeadServerLostAndReopensThePortOnceItIsBack) {
    const std::string name = "rdn417-dump-revive";
    auto dump = std::make_unique<Dump>(name);
    ASSERT_TRUE(dump->listed());
    const QtEventLoopPump pump;
    MessageBoxCatcher boxes;
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    PickOutput(form, dump->port());
    server->kill();
    ASSERT_TRUE(PumpUntil([] { return midiOutGetNumDevs() == 0; }));
    const QString lost =
        QString::fromStdString(ExceptionText(form.MidiOutput1->ErrorText(MIDIERR_NODEVICE)));
    // Each lost send is said with its port.
    auto lostShown = [&] {
        const std::vector<QString> shown = boxes.texts();
        return std::count_if(shown.begin(), shown.end(), [&](const QString& text) {
            return text.startsWith(lost) &&
                   text.contains(QString::fromStdString("\"" + dump->port() + "\""));
        });
    };
    DragNoteRef(form);
    EXPECT_TRUE(PumpUntil([&] { return lostShown() == 2; }));
    EXPECT_EQ(form.MidiOutput1->PendingLongMessages(), 0u);
    // The window says which port is missing, and opens it again once it is back.
    ASSERT_TRUE(PumpUntil([&] { return form.cmbOutput->currentIndex() < 0; }));
    EXPECT_EQ(form.cmbOutput->placeholderText().toStdString(), dump->port() + " (not connected)");
    ASSERT_TRUE(server->start());
    dump = std::make_unique<Dump>(name);
    ASSERT_TRUE(PumpUntil([&] { return form.cmbOutput->currentIndex() >= 0; }));
    ASSERT_TRUE(dump->running());
    EXPECT_EQ(form.cmbOutput->currentText().toStdString(), dump->port());
    DragNoteRef(form);
    ASSERT_TRUE(dump->waitFor(2));
    EXPECT_EQ(lostShown(), 2);
    EXPECT_TRUE(form.close());
}

TEST_F(Jack, TwoClientsWhoseNamesAgreeInTheirFirst31BytesEachKeepTheirPortInTheWindow) {
    const std::string prefix = "rdn417-clients-agreeing-in-31-bytes-";
    auto chosen = std::make_unique<Dump>(prefix + "A");
    Dump other(prefix + "B");
    ASSERT_TRUE(chosen->listed());
    ASSERT_TRUE(other.listed());
    const QtEventLoopPump pump;
    MessageBoxCatcher boxes;
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const int item = chosen->index();
    form.cmbOutput->setCurrentIndex(item);
    emit form.cmbOutput->activated(item);
    ASSERT_EQ(form.MidiOutput1->State(), psOpen);
    const QString chosenName = form.cmbOutput->currentText();
    EXPECT_NE(form.cmbOutput->itemText(other.index()), chosenName);
    chosen.reset();
    ASSERT_TRUE(PumpUntil([&] { return form.cmbOutput->currentIndex() < 0; }, kJackLimitMs));
    EXPECT_EQ(form.cmbOutput->placeholderText(), chosenName + " (not connected)");
    DragNoteRef(form);
    Pump(200);
    EXPECT_TRUE(other.messages().empty());
    chosen = std::make_unique<Dump>(prefix + "A");
    ASSERT_TRUE(PumpUntil([&] { return form.cmbOutput->currentIndex() >= 0; }, kJackLimitMs));
    ASSERT_TRUE(chosen->running());
    EXPECT_EQ(form.cmbOutput->currentText(), chosenName);
    DragNoteRef(form);
    ASSERT_TRUE(chosen->waitFor(2));
    EXPECT_TRUE(other.messages().empty());
    EXPECT_TRUE(form.close());
}

TEST_F(Jack, ANotePlayedWhileLearningNoteRefReachesTheConverterAsItsParameterMessage) {
    JackPeer keyboard(Own("rdn417-keys"));
    ASSERT_TRUE(keyboard.ok());
    Dump dump("rdn417-dump-learn");
    ASSERT_TRUE(dump.listed());
    const QtEventLoopPump pump;
    MessageBoxCatcher boxes;
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    PickOutput(form, dump.port());
    const int input = form.cmbInput->findText(QString::fromStdString(Own("rdn417-keys") + ":out"));
    ASSERT_GE(input, 0);
    form.cmbInput->setCurrentIndex(input);
    emit form.cmbInput->activated(input);
    ASSERT_EQ(form.MidiInput1->State(), psOpen);
    ASSERT_TRUE(PumpUntil([&] { return keyboard.sending(); }, kJackLimitMs));
    QTest::mouseClick(form.LearnNoteRef, Qt::LeftButton);
    keyboard.send({0x90, 0x40, 0x64});
    ASSERT_TRUE(dump.waitFor(1));
    EXPECT_EQ(dump.messages()[0], Parameter(0, 126, 64));
    EXPECT_FALSE(form.LearnNoteRef->isChecked());
    EXPECT_TRUE(form.close());
}

// A port of the program's own client.
std::string Ours(const char* port) {
    return platform::midi::ProgramClientName() + ":" + port;
}

// What a patchbay does: jack_connect or jack_disconnect of two ports.
bool Patch(const char* tool, const std::string& from, const std::string& to) {
    ChildProcess patch({tool, from, to});
    return patch.exitCode(std::chrono::seconds(10)) == 0;
}

// The window on the JACK server, opened as a user opens it.
struct JackWindow {
    JackWindow() {
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    // The boxes shown that begin with `start` and name `port`.
    std::size_t shown(const std::string& start, const std::string& port) {
        const std::vector<QString> texts = boxes.texts();
        return std::count_if(texts.begin(), texts.end(), [&](const QString& text) {
            return text.startsWith(QString::fromStdString(start)) &&
                   text.contains(QString::fromStdString("\"" + port + "\""));
        });
    }
    Bytes noteRef() { return Parameter(0, 126, form.potnote->State()); }

    const QtEventLoopPump pump;
    MessageBoxCatcher boxes;
    TForm1 form;
};

TEST_F(Jack, AConnectionRemovedInAPatchbayFailsTheSendsUntilItIsMadeAgain) {
    Dump dump("rdn417-dump-patch");
    ASSERT_TRUE(dump.listed());
    JackWindow window;
    PickOutput(window.form, dump.port());
    ASSERT_TRUE(Patch("jack_disconnect", Ours("out"), dump.port()));
    DragNoteRef(window.form);
    const std::string lost = ExceptionText(window.form.MidiOutput1->ErrorText(MIDIERR_NODEVICE));
    EXPECT_TRUE(PumpUntil([&] { return window.shown(lost, dump.port()) == 2; }));
    // Made again from outside, the connection carries the next changes: the port was not
    // picked again.
    ASSERT_TRUE(Patch("jack_connect", Ours("out"), dump.port()));
    DragNoteRef(window.form);
    ASSERT_TRUE(dump.waitFor(2));
    EXPECT_EQ(dump.messages().back(), window.noteRef());
    EXPECT_EQ(window.shown(lost, dump.port()), 2u);
    EXPECT_TRUE(window.form.close());
}

TEST_F(Jack, ConnectionsThatOthersMadeToOurPortsSurviveSwitchingPortsAndBack) {
    Dump first("rdn417-dump-first");
    Dump second("rdn417-dump-second");
    JackPeer listener(Own("rdn417-listener"));
    ASSERT_TRUE(first.listed());
    ASSERT_TRUE(second.listed());
    ASSERT_TRUE(listener.ok());
    ASSERT_TRUE(PumpUntil([&] { return listener.connectFrom(Ours("out")); }, kJackLimitMs));
    JackWindow window;
    PickOutput(window.form, first.port());
    PickOutput(window.form, second.port());
    PickOutput(window.form, first.port());
    DragNoteRef(window.form);
    // The chosen port and the listener get the changes; the port chosen before does not.
    ASSERT_TRUE(first.waitFor(2));
    ASSERT_TRUE(PumpUntil([&] { return listener.receivedCount() >= 2; }, kJackLimitMs));
    EXPECT_EQ(listener.received().back().bytes, window.noteRef());
    EXPECT_TRUE(second.messages().empty());
    EXPECT_TRUE(window.form.close());
}

TEST_F(Jack, PortsShowTidyNamesAndTheirWholeNamesWhereTheListShowsLess) {
    // A device behind a bridge, named as its client: "Keys-N:Keys-N MIDI 1".
    const std::string client = Own("Keys");
    JackPeer keys(client, true, client + " MIDI 1");
    ASSERT_TRUE(keys.ok());
    const std::string whole = client + ":" + client + " MIDI 1";
    std::vector<platform::MidiPortName> ports;
    ASSERT_TRUE(PumpUntil([&] {
        platform::ListMidiPorts(true, ports);
        return std::any_of(ports.begin(), ports.end(), [&](auto& p) { return p.full == whole; });
    }));
    const auto port = std::find_if(ports.begin(), ports.end(),
                                   [&](const auto& listed) { return listed.full == whole; });
    EXPECT_EQ(port->listed, client + " MIDI 1");
    ChildProcess list({RDN417_PROGRAM, "--midi-system", "jack", "--list-ports"});
    EXPECT_EQ(list.exitCode(std::chrono::seconds(30)), 0);
    EXPECT_NE(list.output().find("  " + client + " MIDI 1  (" + whole + ")\n"), std::string::npos)
        << list.output();
    JackWindow window;
    PickOutput(window.form, port->listed);
    EXPECT_EQ(window.form.cmbOutput->toolTip().toStdString(), whole);
    EXPECT_TRUE(window.form.close());
}

TEST_F(Jack, AFrozenServerIsSaidInTheWindowAndEndsTheCommandLineWithinSeconds) {
    Dump dump("rdn417-dump-frozen");
    ASSERT_TRUE(dump.listed());
    {
        JackWindow window;
        PickOutput(window.form, dump.port());
        window.form.ComboBox3->setCurrentIndex(8);  // the test value on controller 7
        server->freeze();
        DragNoteRef(window.form);
        const std::string lost =
            ExceptionText(window.form.MidiOutput1->ErrorText(MIDIERR_NODEVICE));
        const auto said = [&] {
            const std::vector<QString> texts = window.boxes.texts();
            return std::count_if(texts.begin(), texts.end(), [&](const QString& text) {
                return text.startsWith(QString::fromStdString(lost)) &&
                       text.contains("The JACK server does not answer");
            });
        };
        const bool longSaid = PumpUntil([&] { return said() == 2; });
        // A short message (the test value's Control Change) returns at once; its loss is said
        // later, as a long message's is.
        const QPoint at = window.form.vxpotlab1->rect().center();
        QTest::mousePress(window.form.vxpotlab1, Qt::LeftButton, {}, at);
        QTest::mouseMove(window.form.vxpotlab1, at - QPoint(0, 1));
        QTest::mouseRelease(window.form.vxpotlab1, Qt::LeftButton, {}, at - QPoint(0, 1));
        const bool shortSaid = PumpUntil([&] { return said() > 2; });
        const auto start = std::chrono::steady_clock::now();
        ChildProcess cli(
            {RDN417_PROGRAM, "--midi-system", "jack", "--send-all", "--output", dump.port()});
        const int code = cli.exitCode(std::chrono::seconds(30));
        const auto took = std::chrono::steady_clock::now() - start;
        server->thaw();
        EXPECT_TRUE(longSaid);
        EXPECT_TRUE(shortSaid);
        EXPECT_EQ(code, 3) << cli.output();
        EXPECT_NE(cli.output().find("does not answer"), std::string::npos) << cli.output();
        EXPECT_LT(took, std::chrono::seconds(10));
    }
    // A server that was stopped may have dropped its clients: the next tests get a new one.
    server->kill();
    ASSERT_TRUE(server->start());
}

TEST_F(Jack, WithoutAServerTheWindowSaysToStartJack) {
    server->kill();
    ASSERT_TRUE(PumpUntil(
        [] { return platform::MidiSystemTrouble().rfind("No JACK server is running", 0) == 0; },
        kJackLimitMs));
    {
        JackWindow window;
        // Whether the window remembers ports of the server or not, each box says it.
        const std::vector<QString> texts = window.boxes.texts();
        ASSERT_FALSE(texts.empty());
        for (const QString& text : texts)
            EXPECT_TRUE(text.contains("No JACK server is running: start JACK"))
                << text.toStdString();
        EXPECT_TRUE(window.form.close());
    }
    ASSERT_TRUE(server->start());
}

TEST_F(Jack, WithoutAServerTheBackendSaysSoOnceHoweverOftenItLooksAndLibjackSaysNothing) {
    const std::string nobodyServer = "rdn417-nobody" + server->suffix();
    const char* previous = std::getenv("JACK_DEFAULT_SERVER");
    const std::string restore = previous != nullptr ? previous : "";
    setenv("JACK_DEFAULT_SERVER", nobodyServer.c_str(), 1);
    // Standard error into a file while the backend looks, as the watcher does every 200 ms.
    std::fflush(stderr);
    const std::string path =
        (std::filesystem::temp_directory_path() / (nobodyServer + ".err")).string();
    const int saved = dup(2);
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    dup2(file, 2);
    {
        platform::midi::JackBackend nobody;
        for (int look = 0; look < 5; ++look)
            EXPECT_TRUE(nobody.outputNames().empty());
    }
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(file);
    if (previous != nullptr)
        setenv("JACK_DEFAULT_SERVER", restore.c_str(), 1);
    else
        unsetenv("JACK_DEFAULT_SERVER");
    EXPECT_EQ(TemporaryConfig::read(path),
              "rdn417: no JACK server to connect to; its ports are "
              "listed once one runs\n");
    std::filesystem::remove(path);
}

TEST_F(Jack, TheCommandLineSendsTheSetupPacedWithoutADisplayAndSaysWhenThePortIsMissing) {
    Dump dump("rdn417-dump-cli", true);
    ASSERT_TRUE(dump.listed());
    // No display at all: a window, had it been opened, would end the program.
    const auto program = [](std::vector<std::string> options) {
        std::vector<std::string> argv{
            "env",         "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
            RDN417_PROGRAM};
        argv.insert(argv.end(), options.begin(), options.end());
        return std::make_unique<ChildProcess>(argv);
    };
    auto sender = program({"--midi-system", "jack", "--set", "noteref=C3", "--set", "aux=74",
                           "--send-all", "--output", dump.port()});
    ASSERT_EQ(sender->exitCode(std::chrono::seconds(30)), 0) << sender->output();
    ASSERT_TRUE(dump.waitFor(3));
    EXPECT_EQ(dump.messages(), (std::vector<Bytes>{Parameter(0, 124, 0x40), Parameter(0, 125, 74),
                                                   Parameter(0, 126, 60)}));
    // At the frames the cable would take them: 7 bytes at 31250 baud are 108 frames at 48 kHz.
    const auto timed = dump.timedMessages();
    for (std::size_t i = 1; i < timed.size(); ++i)
        EXPECT_GE(timed[i].first - timed[i - 1].first, 108) << "message " << i;
    auto missing = program({"--send-all", "--output", Own("rdn417-nobody")});
    EXPECT_EQ(missing->exitCode(std::chrono::seconds(30)), 3);
    EXPECT_NE(missing->output().find("No MIDI output is called"), std::string::npos)
        << missing->output();
}

}  // namespace

int main(int argc, char** argv) {
    UseTestEnvironment("jack");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    program = argv[0];
    JackServer jack;
    server = &jack;
    std::printf("%s%s\n", kServerLine, jack.name().c_str());
    std::fflush(stdout);
    const int result = RUN_ALL_TESTS();
    server = nullptr;
    return result;
}
