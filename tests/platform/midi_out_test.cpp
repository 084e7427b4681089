// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi_driver_kit.h"
#include "platform/win32.h"
#include "virtual_midi_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::midi::Operation;
using virtual_midi::Bytes;

class MidiOut : public VirtualMidiTest {
  protected:
    void closePorts() override {
        for (HMIDIOUT handle : opened_)
            midiOutClose(handle);
    }

    HMIDIOUT open(UINT device, DWORD flags = CALLBACK_FUNCTION) {
        HMIDIOUT handle = nullptr;
        EXPECT_EQ(midiOutOpen(&handle, device, recorder_.function(), recorder_.instance(), flags),
                  MMSYSERR_NOERROR);
        opened_.push_back(handle);
        return handle;
    }

    CallbackRecorder recorder_;
    std::vector<HMIDIOUT> opened_;
};

std::string outName(UINT_PTR id) {
    MIDIOUTCAPSA caps{};
    EXPECT_EQ(midiOutGetDevCapsA(id, &caps, sizeof caps), MMSYSERR_NOERROR);
    return caps.szPname;
}

TEST_F(MidiOut, ListsTheSimulatorsTheLoopbackAndTheMapper) {
    ASSERT_EQ(midiOutGetNumDevs(), 3u);
    EXPECT_EQ(outName(0), "RDN417 Simulator");
    EXPECT_EQ(outName(1), "Virtual Loopback Out");
    EXPECT_EQ(outName(2), "RDN417 Simulator (DIN)");
    EXPECT_EQ(outName(MIDI_MAPPER), "MIDI Mapper");
    EXPECT_EQ(outName(static_cast<UINT_PTR>(-1)), "MIDI Mapper");
    MIDIOUTCAPSA caps{};
    EXPECT_EQ(midiOutGetDevCapsA(3, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midiOutGetDevCapsA(static_cast<UINT_PTR>(-2), &caps, sizeof caps),
              MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midiOutGetDevCapsA(0, nullptr, sizeof caps), MMSYSERR_INVALPARAM);
}

TEST_F(MidiOut, PortListsFollowTheControlApiIncludingNone) {
    virtual_midi::SetPorts({}, {});
    EXPECT_EQ(midiOutGetNumDevs(), 0u);
    EXPECT_EQ(midiInGetNumDevs(), 0u);
    EXPECT_EQ(outName(MIDI_MAPPER), "MIDI Mapper");
    HMIDIOUT handle = reinterpret_cast<HMIDIOUT>(1);
    EXPECT_EQ(midiOutOpen(&handle, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MIDIERR_NODEVICE);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(midiOutOpen(&handle, 0, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
}

TEST_F(MidiOut, LongNamesAreCutBetweenCharactersAndRepeatedNamesMadeDistinct) {
    // 30 ASCII bytes and a 3-byte character: the character does not fit in 31 bytes.
    const std::string long_name = std::string(30, 'a') + "\xE2\x82\xAC";
    virtual_midi::SetPorts({{long_name}, {"Port"}, {"Port"}, {"Bad \xFF byte"}}, {});
    EXPECT_EQ(outName(0), std::string(30, 'a'));
    EXPECT_EQ(outName(1), "Port");
    EXPECT_EQ(outName(2), "Port 2");
    EXPECT_EQ(outName(3), "Bad ? byte");
    // Same devices, same names.
    EXPECT_EQ(outName(2), "Port 2");
}

TEST_F(MidiOut, ANameStaysWithItsPortWhileItIsGoneAndComesBackWithIt) {
    // Two devices whose names agree in their first 31 bytes, and two of one name.
    const std::string prefix(31, 'a');
    const virtual_midi::OutputPort one{prefix + " one"}, two{prefix + " two"};
    const virtual_midi::OutputPort twin{"Twin", virtual_midi::OutputKind::Sink};
    const virtual_midi::OutputPort otherTwin{"Twin", virtual_midi::OutputKind::Loopback, 0};
    virtual_midi::SetPorts({one, two, twin, otherTwin}, {});
    EXPECT_EQ(outName(0), prefix);
    EXPECT_EQ(outName(1), std::string(29, 'a') + " 2");
    EXPECT_EQ(outName(2), "Twin");
    EXPECT_EQ(outName(3), "Twin 2");
    // The first of each unplugged: the others keep their names, and a new device of the same
    // beginning takes none of the names of those that are gone.
    const virtual_midi::OutputPort three{prefix + " three"};
    virtual_midi::SetPorts({two, otherTwin, three}, {});
    EXPECT_EQ(outName(0), std::string(29, 'a') + " 2");
    EXPECT_EQ(outName(1), "Twin 2");
    EXPECT_EQ(outName(2), std::string(29, 'a') + " 3");
    // Plugged in again, each gets its name back.
    virtual_midi::SetPorts({twin, one, two, otherTwin}, {});
    EXPECT_EQ(outName(0), "Twin");
    EXPECT_EQ(outName(1), prefix);
    EXPECT_EQ(outName(2), std::string(29, 'a') + " 2");
    EXPECT_EQ(outName(3), "Twin 2");
}

TEST_F(MidiOut, OpenRefusesBadArgumentsAndAPortInUse) {
    HMIDIOUT handle = nullptr;
    EXPECT_EQ(midiOutOpen(nullptr, 0, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutOpen(&handle, 3, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midiOutOpen(&handle, 0, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutOpen(&handle, 0, 0, 0, 0x80000000), MMSYSERR_INVALFLAG);
    EXPECT_EQ(midiOutOpen(&handle, 0, 0, 0, CALLBACK_WINDOW), MMSYSERR_NOTSUPPORTED);

    HMIDIOUT first = open(0);
    EXPECT_EQ(midiOutOpen(&handle, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    // The mapper stands for port 0, which is taken.
    EXPECT_EQ(midiOutOpen(&handle, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    EXPECT_EQ(recorder_.calls(MOM_OPEN).size(), 1u);
    ASSERT_EQ(midiOutClose(first), MMSYSERR_NOERROR);
    opened_.clear();
    EXPECT_EQ(recorder_.calls(MOM_CLOSE).size(), 1u);
    // Closed handles are dead for good.
    EXPECT_EQ(midiOutClose(first), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiOutShortMsg(first, 0x000090), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiOutShortMsg(nullptr, 0x000090), MMSYSERR_INVALHANDLE);
    HMIDIOUT again = open(MIDI_MAPPER);
    EXPECT_NE(again, first);
}

TEST_F(MidiOut, ShortMessagesReachThePortPackedStatusFirst) {
    HMIDIOUT out = open(0);
    // Control Change on channel 16: 0xB0 + 15, controller 7, value 100.
    ASSERT_EQ(midiOutShortMsg(out, 0xBF + 7 * 256 + 100 * 65536), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0x00C1 | (5 << 8)), MMSYSERR_NOERROR);  // program change
    ASSERT_EQ(midiOutShortMsg(out, 0x0000FE), MMSYSERR_NOERROR);           // active sensing
    // Running status: data bytes only, after the program change.
    ASSERT_EQ(midiOutShortMsg(out, 0x0009), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0x0000F0), MMSYSERR_INVALPARAM);
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Received(0),
              (std::vector<Bytes>{{0xBF, 7, 100}, {0xC1, 5}, {0xFE}, {0xC1, 9}}));
    auto state = virtual_midi::Converter(0);
    EXPECT_EQ(state.channel, 15);
    EXPECT_EQ(state.testController, 7);
    EXPECT_EQ(state.testValue, 100);
    EXPECT_EQ(state.controlChanges, 1);
    EXPECT_EQ(state.ignoredMessages, 3);
}

// Closing an output waits for its own messages, not for an input that never stops: a flood
// that the input's callback cannot keep up with leaves the close untouched.
TEST_F(MidiOut, ClosingAnOutputDoesNotWaitForSustainedInput) {
    HMIDIIN in = nullptr;
    static std::atomic<int> delivered = 0;
    delivered = 0;
    const auto slowCallback = [](HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
        ++delivered;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_EQ(midiInOpen(&in, 0, reinterpret_cast<DWORD_PTR>(+slowCallback), 0, CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    HMIDIOUT out = open(0);
    opened_.clear();
    ASSERT_EQ(midiOutShortMsg(out, 0x403C90), MMSYSERR_NOERROR);
    // Two messages a millisecond, where the callback takes one: the input never catches up.
    std::atomic<bool> flooding = true;
    std::thread flood([&] {
        while (flooding) {
            virtual_midi::InjectShort(0, 0x403C90);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    // The flood has reached the input's callback before the close begins.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (delivered < 20 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_GE(delivered, 20) << "the flood never reached the input";
    auto closed = std::async(std::launch::async, [&] { return midiOutClose(out); });
    const bool returned = closed.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    flooding = false;
    flood.join();
    midiInReset(in);
    midiInClose(in);
    ASSERT_TRUE(returned);
    EXPECT_EQ(closed.get(), MMSYSERR_NOERROR);
    EXPECT_EQ(virtual_midi::Received(0), std::vector<Bytes>{Bytes({0x90, 0x3C, 0x40})});
}

// What a port keeps of what it received is bounded, and is always the newest.
TEST_F(MidiOut, ThePortsRecordKeepsTheNewestMessagesOnly) {
    HMIDIOUT out = open(0);
    const std::size_t sent = 2 * virtual_midi::kRecordedMessages + 5;
    for (std::size_t i = 0; i < sent; ++i)
        ASSERT_EQ(midiOutShortMsg(out, 0xB0 | (static_cast<DWORD>(i % 128) << 16)),
                  MMSYSERR_NOERROR);
    virtual_midi::Flush();
    const std::vector<Bytes> kept = virtual_midi::Received(0);
    EXPECT_GE(kept.size(), virtual_midi::kRecordedMessages);
    EXPECT_LT(kept.size(), 2 * virtual_midi::kRecordedMessages);
    EXPECT_EQ(kept.back(), (Bytes{0xB0, 0, static_cast<std::uint8_t>((sent - 1) % 128)}));
    EXPECT_EQ(virtual_midi::Converter(0).controlChanges, static_cast<int>(sent));
}

TEST_F(MidiOut, RunningStatusWithoutAPreviousStatusIsRefused) {
    HMIDIOUT out = open(0);
    EXPECT_EQ(midiOutShortMsg(out, 0x0040), MMSYSERR_INVALPARAM);
}

TEST_F(MidiOut, HeaderRulesFollowWindows) {
    HMIDIOUT out = open(0);
    std::vector<char> data = ParameterChars(0, 126, 12);
    MIDIHDR h = HeaderOver(data);
    EXPECT_EQ(midiOutLongMsg(out, &h, sizeof h), MIDIERR_UNPREPARED);
    EXPECT_EQ(midiOutPrepareHeader(out, &h, 64), MMSYSERR_INVALPARAM);  // short of the record
    EXPECT_EQ(midiOutPrepareHeader(out, nullptr, sizeof h), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutPrepareHeader(nullptr, &h, sizeof h), MMSYSERR_INVALHANDLE);
    MIDIHDR empty{};
    EXPECT_EQ(midiOutPrepareHeader(out, &empty, sizeof empty), MMSYSERR_INVALPARAM);
    ASSERT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_TRUE(h.dwFlags & MHDR_PREPARED);

    virtual_midi::HoldCompletions(true);
    ASSERT_EQ(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutLongMsg(out, &h, sizeof h), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiOutUnprepareHeader(out, &h, sizeof h), MIDIERR_STILLPLAYING);
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::HeldCompletions(), 1u);
    EXPECT_EQ(midiOutClose(out), MIDIERR_STILLPLAYING);

    virtual_midi::ReleaseCompletions();
    virtual_midi::Flush();
    EXPECT_EQ(h.dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    EXPECT_EQ(midiOutUnprepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_FALSE(h.dwFlags & MHDR_PREPARED);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    opened_.clear();
    EXPECT_EQ(virtual_midi::Converter(0).noteRef, 12);
}

// The path every component relies on: the callback runs on the delivery thread and posts to a
// message-only window; the procedure then sees the header on the pumping thread.
HWND doneWindow = nullptr;

void CALLBACK postDone(HDRVR, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    if (message == MOM_DONE)
        PostMessageA(doneWindow, MM_MOM_DONE, 0, static_cast<LPARAM>(param1));
}

TEST_F(MidiOut, BackToBackLongMessagesEachCompleteOnTheGuiThreadWithTheirOwnHeader) {
    std::vector<std::pair<LPMIDIHDR, std::thread::id>> completed;
    platform::MessageWindow window([&](HWND, UINT message, WPARAM, LPARAM lParam) {
        if (message == MM_MOM_DONE)
            completed.emplace_back(reinterpret_cast<LPMIDIHDR>(lParam), std::this_thread::get_id());
        return LRESULT{0};
    });
    doneWindow = window.handle();
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, 0, reinterpret_cast<DWORD_PTR>(&postDone), 0, CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    opened_.push_back(out);

    std::vector<char> first = ParameterChars(15, 126, 127);
    std::vector<char> second = ParameterChars(15, 124, 0x60);
    MIDIHDR h1 = HeaderOver(first), h2 = HeaderOver(second);
    for (MIDIHDR* h : {&h1, &h2}) {
        ASSERT_EQ(midiOutPrepareHeader(out, h, sizeof *h), MMSYSERR_NOERROR);
        ASSERT_EQ(midiOutLongMsg(out, h, sizeof *h), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(PumpUntil([&] { return completed.size() == 2; }));
    EXPECT_EQ(completed[0].first, &h1);
    EXPECT_EQ(completed[1].first, &h2);
    EXPECT_EQ(completed[0].second, std::this_thread::get_id());
    EXPECT_EQ(virtual_midi::Received(0),
              (std::vector<Bytes>{Parameter(15, 126, 127), Parameter(15, 124, 0x60)}));
    auto state = virtual_midi::Converter(0);
    EXPECT_EQ(state.channel, 15);
    EXPECT_EQ(state.noteRef, 127);
    EXPECT_EQ(state.modeFlags, 0x60);
    EXPECT_TRUE(state.pitchTable());
    EXPECT_TRUE(state.auxFromController());
}

TEST_F(MidiOut, CompletionsComeFromTheDeliveryThreadAfterTheCallReturned) {
    HMIDIOUT out = open(0);
    std::vector<char> data = ParameterChars(1, 125, 3);
    MIDIHDR h = HeaderOver(data);
    ASSERT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
    virtual_midi::Flush();
    auto done = recorder_.calls(MOM_DONE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].param1, reinterpret_cast<DWORD_PTR>(&h));
    EXPECT_EQ(done[0].handle, static_cast<void*>(out));
    EXPECT_NE(done[0].thread, std::this_thread::get_id());
    EXPECT_EQ(virtual_midi::Converter(0).auxController, 3);
    EXPECT_EQ(virtual_midi::Converter(0).channel, 1);
}

TEST_F(MidiOut, ALongMessageToAPortThatHasGoneComesBackWithTheReason) {
    HMIDIOUT out = open(0);
    std::vector<char> data = ParameterChars(1, 125, 3);
    MIDIHDR h = HeaderOver(data);
    ASSERT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    virtual_midi::SetPorts({{"Another"}}, {});
    ASSERT_EQ(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
    virtual_midi::Flush();
    auto done = recorder_.calls(MOM_DONE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].param2, static_cast<DWORD_PTR>(MIDIERR_NODEVICE));
    EXPECT_TRUE(h.dwFlags & MHDR_DONE);
    // Known from then on: refused at the call.
    EXPECT_EQ(midiOutLongMsg(out, &h, sizeof h), MIDIERR_NODEVICE);
    EXPECT_EQ(midiOutShortMsg(out, 0x0201B0), MIDIERR_NODEVICE);
    EXPECT_EQ(virtual_midi::Received(0), std::vector<Bytes>{});
}

TEST_F(MidiOut, TheDinSimulatorTakesEverythingAtOnceAndItsCableCarriesAByteEvery320us) {
    const auto technology = [](UINT id) {
        MIDIOUTCAPSA caps{};
        EXPECT_EQ(midiOutGetDevCapsA(id, &caps, sizeof caps), MMSYSERR_NOERROR);
        return caps.wTechnology;
    };
    EXPECT_EQ(technology(2), MOD_MIDIPORT);
    EXPECT_EQ(technology(0), MOD_SWSYNTH);
    HMIDIOUT out = open(2);
    std::vector<char> first = ParameterChars(1, 126, 64), second = ParameterChars(1, 124, 0x20);
    MIDIHDR h1 = HeaderOver(first), h2 = HeaderOver(second);
    const auto before = std::chrono::steady_clock::now();
    for (MIDIHDR* h : {&h1, &h2}) {
        ASSERT_EQ(midiOutPrepareHeader(out, h, sizeof *h), MMSYSERR_NOERROR);
        ASSERT_EQ(midiOutLongMsg(out, h, sizeof *h), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(midiOutShortMsg(out, 0x4007B1), MMSYSERR_NOERROR);
    // Closing at once waits for the cable instead of refusing: what was queued goes out first.
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    opened_.clear();
    virtual_midi::Flush();
    const auto arrivals = virtual_midi::Arrivals(2);
    Bytes carried;
    for (const auto& arrival : arrivals)
        carried.push_back(arrival.byte);
    Bytes expected = Parameter(1, 126, 64);
    for (std::uint8_t byte : Parameter(1, 124, 0x20))
        expected.push_back(byte);
    expected.insert(expected.end(), {0xB1, 0x07, 0x40});
    ASSERT_EQ(carried, expected);
    EXPECT_GE(arrivals[0].at - before, virtual_midi::kDinByteTime);
    // A byte arrives one byte time after the cable was free, or after the port took it when
    // the cable was idle: back to back while the port keeps up, whatever this machine's pauses.
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        EXPECT_EQ(arrivals[i].at - std::max(arrivals[i - 1].at, arrivals[i].taken),
                  virtual_midi::kDinByteTime)
            << i;
    // Each long message completes once its last byte has arrived, before the port closes.
    const auto calls = recorder_.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].message, MOM_DONE);
    EXPECT_GE(calls[1].at, arrivals[6].at);
    EXPECT_GE(calls[2].at, arrivals[13].at);
    EXPECT_EQ(calls[3].message, MOM_CLOSE);
    const auto state = virtual_midi::Converter(2);
    EXPECT_EQ(state.noteRef, 64);
    EXPECT_TRUE(state.pitchTable());
    EXPECT_EQ(state.testValue, 0x40);
}

TEST_F(MidiOut, TheConverterGatesTheNewestNoteHeldOnItsChannel) {
    HMIDIOUT out = open(0);
    struct Step {
        DWORD message;
        std::optional<int> note;
        bool gate;
        int held;
    };
    // Channels as musicians count them in the comments.
    const std::vector<Step> steps = {
        {0x643091, 48, true, 1},   // channel 2, before it knows its own: any channel sounds
        {0x0000B0, 48, false, 1},  // a Control Change makes channel 1 its own
        {0x643C90, 60, true, 2},  {0x643C91, 60, true, 3},  // channel 2 is not its own
        {0x644090, 64, true, 4},                            // the newest note is followed
        {0x004090, 60, true, 3},   // a Note On of velocity 0 ends it: back to the one before
        {0x007BB1, 60, true, 1},   // All Notes Off on channel 2 leaves channel 1 alone
        {0x003C80, 60, false, 0},  // Note Off: the pitch stays where it was
        {0x007BB0, 60, false, 0},
    };
    int expectedMessages = 0;
    for (const Step& step : steps) {
        ASSERT_EQ(midiOutShortMsg(out, step.message), MMSYSERR_NOERROR);
        virtual_midi::Flush();
        const auto state = virtual_midi::Converter(0);
        EXPECT_EQ(state.note, step.note) << std::hex << step.message;
        EXPECT_EQ(state.gate, step.gate) << std::hex << step.message;
        EXPECT_EQ(state.notesHeld, step.held) << std::hex << step.message;
        expectedMessages += (step.message & 0xF0) != 0xB0 || (step.message >> 8 & 0x7F) == 123;
        EXPECT_EQ(state.noteMessages, expectedMessages) << std::hex << step.message;
    }
}

TEST_F(MidiOut, TheConverterIgnoresWhatIsNotAParameterMessage) {
    HMIDIOUT out = open(0);
    std::vector<std::vector<char>> messages{
        {'\xF0', 0x70, 0x00, 0x7B, 0x01, 0x00, '\xF7'},        // unknown code
        {'\xF0', 0x71, 0x00, 0x7E, 0x01, 0x00, '\xF7'},        // another maker
        {'\xF0', 0x70, 0x00, 0x7E, 0x01, 0x00, 0x00, '\xF7'},  // too long
        {'\xF0', 0x70, 0x00, 0x7E, 0x10, 0x00, '\xF7'},        // nibble out of range
    };
    std::vector<MIDIHDR> headers;
    headers.reserve(messages.size());
    for (auto& m : messages) {
        headers.push_back(HeaderOver(m));
        ASSERT_EQ(midiOutPrepareHeader(out, &headers.back(), sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(midiOutLongMsg(out, &headers.back(), sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    }
    virtual_midi::Flush();
    auto state = virtual_midi::Converter(0);
    EXPECT_EQ(state.ignoredMessages, 4);
    EXPECT_EQ(state.parameterMessages, 0);
    EXPECT_FALSE(state.noteRef.has_value());
    EXPECT_FALSE(state.channel.has_value());
}

TEST_F(MidiOut, InjectedFaultsFailOnlyTheNextCall) {
    virtual_midi::FailNext(Operation::OutOpen, MMSYSERR_NOMEM);
    HMIDIOUT handle = nullptr;
    EXPECT_EQ(midiOutOpen(&handle, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOMEM);
    HMIDIOUT out = open(0);

    virtual_midi::FailNext(Operation::OutGetDevCaps, MMSYSERR_NODRIVER);
    MIDIOUTCAPSA caps{};
    EXPECT_EQ(midiOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NODRIVER);
    EXPECT_EQ(midiOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);

    virtual_midi::FailNext(Operation::OutShortMsg, MIDIERR_NOTREADY);
    EXPECT_EQ(midiOutShortMsg(out, 0x90), MIDIERR_NOTREADY);

    std::vector<char> data{'\xF0', '\xF7'};
    MIDIHDR h = HeaderOver(data);
    virtual_midi::FailNext(Operation::OutPrepareHeader, MMSYSERR_NOMEM);
    EXPECT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOMEM);
    EXPECT_FALSE(h.dwFlags & MHDR_PREPARED);
    ASSERT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    virtual_midi::FailNext(Operation::OutLongMsg, MIDIERR_NOTREADY);
    EXPECT_EQ(midiOutLongMsg(out, &h, sizeof h), MIDIERR_NOTREADY);
    EXPECT_FALSE(h.dwFlags & MHDR_INQUEUE);
    virtual_midi::FailNext(Operation::OutUnprepareHeader, MMSYSERR_ERROR);
    EXPECT_EQ(midiOutUnprepareHeader(out, &h, sizeof h), MMSYSERR_ERROR);
    EXPECT_EQ(midiOutUnprepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);

    virtual_midi::FailNext(Operation::OutClose, MMSYSERR_HANDLEBUSY);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_HANDLEBUSY);
    virtual_midi::Flush();
    EXPECT_TRUE(virtual_midi::Received(0).empty());
}

TEST_F(MidiOut, ClosingFromInsideTheCallbackNeitherHangsNorCallsBackLater) {
    struct Closer {
        HMIDIOUT handle = nullptr;
        MMRESULT result = MMSYSERR_ERROR;
        std::atomic<int> calls{0};
        static void CALLBACK callback(HDRVR, UINT message, DWORD_PTR instance, DWORD_PTR,
                                      DWORD_PTR) {
            auto* self = reinterpret_cast<Closer*>(instance);
            self->calls.fetch_add(1);
            if (message == MOM_DONE)
                self->result = midiOutClose(self->handle);
        }
    } closer;
    ASSERT_EQ(midiOutOpen(&closer.handle, 0, reinterpret_cast<DWORD_PTR>(&Closer::callback),
                          reinterpret_cast<DWORD_PTR>(&closer), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<char> data{'\xF0', '\xF7'};
    MIDIHDR h = HeaderOver(data);
    ASSERT_EQ(midiOutPrepareHeader(closer.handle, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(closer.handle, &h, sizeof h), MMSYSERR_NOERROR);
    virtual_midi::Flush();
    EXPECT_EQ(closer.result, MMSYSERR_NOERROR);
    EXPECT_EQ(closer.calls.load(), 3);  // open, done, close
    EXPECT_EQ(midiOutShortMsg(closer.handle, 0x90), MMSYSERR_INVALHANDLE);
}

}  // namespace
