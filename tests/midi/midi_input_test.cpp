// SPDX-License-Identifier: GPL-3.0-or-later
#include "expect_raises.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "parameter_bytes.h"
#include "virtual_midi_test.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::midi::Operation;
using virtual_midi::Bytes;

class MidiInput : public VirtualMidiTest {
  protected:
    void closePorts() override { in_.reset(); }

    TMidiInput& make() {
        in_ = std::make_unique<TMidiInput>(nullptr);
        in_->OnMidiInput = [this](TObject* sender) {
            EXPECT_EQ(sender, in_.get());
            ++notices_;
            counts_.push_back(in_->PendingEventCount());
        };
        in_->OnOverflow = [this](TObject*) { ++overflows_; };
        return *in_;
    }

    void openAndStart() {
        in_->Open();
        ASSERT_EQ(in_->State(), psOpen);
        in_->Start();
    }

    static void expectRaises(const std::function<void()>& action, const std::string& message) {
        ExpectRaises<EMidiInputError>(action, message);
    }

    std::unique_ptr<TMidiInput> in_;
    int notices_ = 0;
    int overflows_ = 0;
    std::vector<int> counts_;
};

TEST_F(MidiInput, ANewComponentSelectsPortZeroWithTheDefaults) {
    TMidiInput& in = make();
    EXPECT_EQ(in.State(), psClosed);
    EXPECT_EQ(in.DeviceID(), 0);
    EXPECT_EQ(in.ProductName(), "Virtual Loopback In");
    EXPECT_EQ(in.Capacity, 1024);
    EXPECT_EQ(in.SysexBufferSize(), 4096);
    EXPECT_EQ(in.SysexBufferCount(), 16);
    EXPECT_FALSE(in.SysexOnly());
    EXPECT_EQ(in.PendingEventCount(), 0);
}

TEST_F(MidiInput, WithNoInputPortsNamesAreRefused) {
    virtual_midi::SetPorts({}, {});
    TMidiInput& in = make();
    EXPECT_EQ(in.ProductName(), "");
    expectRaises([&] { in.SetProductName(""); }, "Invalid device ID");
    expectRaises([&] { in.SetProductName("Keys"); }, "MIDI Input Device Keys not installed ");
    expectRaises([&] { in.SetDeviceID(0); }, "Invalid device ID");
    in.Open();
    EXPECT_EQ(in.State(), psClosed);
    in.Start();
    in.Close();
}

TEST_F(MidiInput, ConstructionRaisesWhenPortZeroCannotBeQueried) {
    const std::string noDriver = TMidiInput(nullptr).ErrorText(MMSYSERR_NODRIVER);
    virtual_midi::FailNext(Operation::InGetDevCaps, MMSYSERR_NODRIVER);
    expectRaises([] { TMidiInput in(nullptr); }, noDriver);
}

TEST_F(MidiInput, TheNameSearchTakesTheLowestMatchingPort) {
    virtual_midi::SetPorts({}, {"A", "B", "C"});
    TMidiInput& in = make();
    in.SetProductName("C");
    EXPECT_EQ(in.DeviceID(), 2);
    virtual_midi::FailNext(Operation::InGetDevCaps, MMSYSERR_NODRIVER);
    expectRaises([&] { in.SetProductName("B"); }, in.ErrorText(MMSYSERR_NODRIVER));
    EXPECT_EQ(in.DeviceID(), 2);
    in.SetLoading(true);
    in.SetProductName("Creative Sound Blaster MPU-401");
    in.SetLoading(false);
    EXPECT_EQ(in.ProductName(), "C");
}

TEST_F(MidiInput, SettingsThatNeedTheBuffersAreRefusedWhileOpen) {
    TMidiInput& in = make();
    in.Open();
    expectRaises([&] { in.SetSysexBufferSize(100); },
                 "Change to SysexBufferSize while device was open");
    expectRaises([&] { in.SetSysexBufferCount(2); },
                 "Change to SysexBuffercount while device was open");
    expectRaises([&] { in.SetDeviceID(0); }, "Change to DeviceID while device was open");
    expectRaises([&] { in.SetProductName("x"); }, "Change to ProductName while device was open");
    EXPECT_EQ(in.SysexBufferSize(), 4096);
    EXPECT_EQ(in.SysexBufferCount(), 16);
    in.Capacity = 8;  // accepted; used at the next Open
    in.Close();
    in.SetSysexBufferCount(2);
    EXPECT_EQ(in.SysexBufferCount(), 2);
}

TEST_F(MidiInput, ShortMessagesAreQueuedWithTimeStampsButSensingAndClockAreNot) {
    TMidiInput& in = make();
    openAndStart();
    virtual_midi::InjectShort(0, 0xFE, 1);
    virtual_midi::InjectShort(0, 0xF8, 2);
    virtual_midi::InjectShort(0, 0x403C90, 3);
    virtual_midi::InjectShort(0, 0x00FA, 4);  // Start is kept
    Settle();
    // Events that arrive before the window thread looks share one notice.
    EXPECT_EQ(notices_, 1);
    EXPECT_EQ(in.PendingEventCount(), 2);
    auto first = in.GetMidiEvent();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->message, 0x403C90u);
    EXPECT_EQ(first->timestamp, 3u);
    EXPECT_FALSE(first->isSysex);
    auto second = in.GetMidiEvent();
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->message, 0xFAu);
    EXPECT_FALSE(in.GetMidiEvent().has_value());
    EXPECT_EQ(in.PendingEventCount(), 0);
}

TEST_F(MidiInput, SysexOnlyDropsShortMessagesFromTheNextMessageOn) {
    TMidiInput& in = make();
    openAndStart();
    virtual_midi::InjectShort(0, 0x403C90);
    Settle();
    in.SetSysexOnly(true);
    virtual_midi::InjectShort(0, 0x403C80);
    virtual_midi::InjectSysex(0, {0xF0, 0x01, 0xF7});
    Settle();
    in.SetSysexOnly(false);
    virtual_midi::InjectShort(0, 0x403D90);
    Settle();
    std::vector<DWORD> messages;
    while (auto event = in.GetMidiEvent())
        messages.push_back(event->isSysex ? 0xF0 : event->message);
    EXPECT_EQ(messages, (std::vector<DWORD>{0x403C90, 0xF0, 0x403D90}));
}

TEST_F(MidiInput, SysexAndFaultySysexArriveWithTheirBuffers) {
    TMidiInput& in = make();
    in.SetSysexBufferCount(2);
    in.SetSysexBufferSize(8);
    openAndStart();
    virtual_midi::InjectSysex(0, Parameter(0, 126, 12), 10);
    virtual_midi::InjectSysex(0, {0xF0, 0x70, 0x90}, 11);
    Settle();
    EXPECT_EQ(in.PendingEventCount(), 2);
    auto good = in.GetMidiEvent();
    ASSERT_TRUE(good.has_value());
    EXPECT_TRUE(good->isSysex);
    EXPECT_EQ(good->message, 0u);
    EXPECT_EQ(good->timestamp, 10u);
    EXPECT_EQ(good->sysex, Parameter(0, 126, 12));
    auto faulty = in.GetMidiEvent();
    ASSERT_TRUE(faulty.has_value());
    EXPECT_EQ(faulty->sysex, (Bytes{0xF0, 0x70, 0x90}));
    // Both buffers went back to the port: two more messages fit, one of them split in two.
    virtual_midi::InjectSysex(0, {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xF7}, 12);
    Settle();
    auto head = in.GetMidiEvent();
    auto tail = in.GetMidiEvent();
    ASSERT_TRUE(head && tail);
    EXPECT_EQ(head->sysex, (Bytes{0xF0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(tail->sysex, (Bytes{8, 9, 0xF7}));
}

TEST_F(MidiInput, WithoutAReaderTheQueueStopsAtCapacityAndReportsOverflow) {
    TMidiInput& in = make();
    openAndStart();
    for (int i = 0; i < 1025; ++i)
        virtual_midi::InjectShort(0, 0x90 | ((i & 0x7F) << 8));
    Settle();
    EXPECT_EQ(in.PendingEventCount(), 1024);
    EXPECT_EQ(overflows_, 1);
    EXPECT_EQ(in.DroppedEventCount(), 1u);
    EXPECT_EQ(counts_, std::vector<int>{1024});
}

TEST_F(MidiInput, NoEventsWithoutAHandlerOrAfterClose) {
    TMidiInput& in = make();
    openAndStart();
    virtual_midi::InjectShort(0, 0x90);
    virtual_midi::Flush();
    in.Close();  // the notice arrives after the close
    platform::PumpMessages(0);
    EXPECT_EQ(notices_, 0);
    EXPECT_EQ(in.PendingEventCount(), 0);
    EXPECT_FALSE(in.GetMidiEvent().has_value());
}

TEST_F(MidiInput, NoBuffersAtAllWhenCountOrSizeIsZero) {
    TMidiInput& in = make();
    in.SetSysexBufferCount(0);
    openAndStart();
    EXPECT_EQ(in.State(), psOpen);
    virtual_midi::InjectSysex(0, {0xF0, 0x01, 0xF7});
    virtual_midi::InjectShort(0, 0x90);
    Settle();
    EXPECT_EQ(in.PendingEventCount(), 1);  // the sysex found no buffer
    EXPECT_EQ(in.DroppedEventCount(), 1u);
    in.Close();
    in.SetSysexBufferCount(4);
    in.SetSysexBufferSize(0);
    openAndStart();
    EXPECT_EQ(in.State(), psOpen);
}

TEST_F(MidiInput, ACapacityTooLargeForABlockIsLimited) {
    TMidiInput& in = make();
    in.Capacity = 60000;
    openAndStart();
    for (int i = 0; i < MidiEventQueue::kMaxCapacity + 10; ++i)
        virtual_midi::InjectShort(0, 0x90);
    Settle();
    EXPECT_EQ(in.PendingEventCount(), MidiEventQueue::kMaxCapacity);
    EXPECT_EQ(in.DroppedEventCount(), 10u);
    EXPECT_EQ(overflows_, 1);
}

TEST_F(MidiInput, AZeroCapacityOpensAndDropsEverything) {
    TMidiInput& in = make();
    in.Capacity = 0;
    openAndStart();
    EXPECT_EQ(in.State(), psOpen);
    virtual_midi::InjectShort(0, 0x90);
    Settle();
    EXPECT_EQ(notices_ + overflows_, 0);
}

TEST_F(MidiInput, ARefusedOpenLeavesItClosed) {
    TMidiInput& in = make();
    virtual_midi::FailNext(Operation::InOpen, MMSYSERR_ALLOCATED);
    in.Open();
    EXPECT_EQ(in.State(), psClosed);
    EXPECT_EQ(in.Error(), MMSYSERR_ALLOCATED);
    in.Start();
    in.Close();
    in.Open();
    EXPECT_EQ(in.State(), psOpen);
}

TEST_F(MidiInput, AnOpenThatFailsAfterThePortOpenedClosesThePortFirst) {
    for (Operation failing : {Operation::InPrepareHeader, Operation::InAddBuffer}) {
        TMidiInput& in = make();
        virtual_midi::FailNext(failing, MMSYSERR_NOMEM);
        in.Open();
        EXPECT_EQ(in.State(), psClosed);
        // The port is really closed: another client can open it.
        HMIDIIN other = nullptr;
        ASSERT_EQ(midiInOpen(&other, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        EXPECT_EQ(midiInClose(other), MMSYSERR_NOERROR);
        in.Open();
        EXPECT_EQ(in.State(), psOpen);
    }
    // The buffers' memory runs out half-way.
    TMidiInput& in = make();
    platform::testing::FailGlobalAllocAfter(8);
    in.Open();
    platform::testing::FailGlobalAllocAfter(-1);
    EXPECT_EQ(in.State(), psClosed);
    in.Open();
    EXPECT_EQ(in.State(), psOpen);
}

TEST_F(MidiInput, OpenOnAnOpenComponentChangesNothing) {
    TMidiInput& in = make();
    openAndStart();
    in.Open();
    EXPECT_EQ(in.State(), psOpen);
    virtual_midi::InjectShort(0, 0x90);
    Settle();
    EXPECT_EQ(in.PendingEventCount(), 1);
}

TEST_F(MidiInput, ACloseThatFailsCanBeFinishedLater) {
    TMidiInput& in = make();
    openAndStart();
    virtual_midi::FailNext(Operation::InClose, MMSYSERR_HANDLEBUSY);
    expectRaises([&] { in.Close(); }, in.ErrorText(MMSYSERR_HANDLEBUSY));
    EXPECT_EQ(in.State(), psClosed);
    in.Close();
    HMIDIIN other = nullptr;
    ASSERT_EQ(midiInOpen(&other, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(other), MMSYSERR_NOERROR);
}

// Starts the open input and checks that a System Exclusive message reaches it whole.
void ExpectSysexArrives(TMidiInput& in) {
    in.Start();
    const Bytes sysex = Parameter(0, 126, 12);
    virtual_midi::InjectSysex(0, sysex);
    Settle();
    auto event = in.GetMidiEvent();
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->sysex, sysex);
}

TEST_F(MidiInput, OpenAfterACloseThatFailedFinishesThatCloseFirst) {
    for (const Operation failing : {Operation::InReset, Operation::InClose}) {
        SCOPED_TRACE(static_cast<int>(failing));
        TMidiInput& in = make();
        openAndStart();
        virtual_midi::FailNext(failing, MMSYSERR_HANDLEBUSY);
        expectRaises([&] { in.Close(); }, in.ErrorText(MMSYSERR_HANDLEBUSY));
        // While the old port still will not close, nothing is opened in its place.
        virtual_midi::FailNext(Operation::InClose, MMSYSERR_HANDLEBUSY);
        in.Open();
        EXPECT_EQ(in.State(), psClosed);
        in.Open();
        ASSERT_EQ(in.State(), psOpen);
        ExpectSysexArrives(in);
        in.Close();
    }
}

// Under the leak checker: what a failed open kept for a port that would not close is freed
// once that port closes.
TEST_F(MidiInput, AFailedOpenWhoseCleanUpCloseFailsKeepsItsBuffersForTheNextClose) {
    TMidiInput& in = make();
    virtual_midi::FailNext(Operation::InAddBuffer, MMSYSERR_NOMEM);
    virtual_midi::FailNext(Operation::InClose, MMSYSERR_HANDLEBUSY);
    in.Open();
    EXPECT_EQ(in.State(), psClosed);
    in.Open();
    ASSERT_EQ(in.State(), psOpen);
    ExpectSysexArrives(in);
    in.Close();
}

TEST_F(MidiInput, NoticesOfAnEarlierSessionFireNothing) {
    TMidiInput& in = make();
    in.Capacity = 1;
    in.SetSysexBufferCount(1);
    openAndStart();
    virtual_midi::InjectShort(0, 0x90);
    virtual_midi::Flush();
    // The queue is full: the buffer that the close returns is announced as an overflow.
    in.Close();
    in.Open();
    in.Start();
    const Bytes sysex = Parameter(0, 126, 12);
    virtual_midi::InjectSysex(0, sysex);
    Settle();
    EXPECT_EQ(overflows_, 0);
    auto event = in.GetMidiEvent();
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->sysex, sysex);
}

TEST(MidiInputStress, ABurstFromTheBackendThreadWhileTheGuiThreadReads) {
    virtual_midi::Reset();
    TMidiInput in(nullptr);
    in.SetSysexBufferCount(32);
    in.SetSysexBufferSize(16);
    int overflows = 0;
    in.OnOverflow = [&](TObject*) { ++overflows; };
    in.Open();
    ASSERT_EQ(in.State(), psOpen);
    in.Start();

    // Event i carries i: short messages in their data bytes, System Exclusive in its payload.
    constexpr int kEvents = 100'000;
    auto isSysex = [](int i) { return i % 10 == 9; };
    std::thread backend([&] {
        for (int i = 0; i < kEvents; ++i) {
            const auto lo = static_cast<std::uint8_t>(i & 0x7F);
            const auto mid = static_cast<std::uint8_t>((i >> 7) & 0x7F);
            const auto hi = static_cast<std::uint8_t>((i >> 14) & 0x7F);
            if (isSysex(i))
                virtual_midi::InjectSysex(0, {0xF0, lo, mid, hi, 0xF7});
            else
                virtual_midi::InjectShort(0, 0x90u | (lo << 8) | (mid << 16));
        }
    });
    std::vector<int> received;
    auto readAll = [&] {
        while (auto event = in.GetMidiEvent()) {
            if (event->isSysex) {
                ASSERT_EQ(event->sysex.size(), 5u);
                received.push_back(event->sysex[1] | event->sysex[2] << 7 | event->sysex[3] << 14);
            } else {
                received.push_back(static_cast<int>((event->message >> 8) & 0x7F) |
                                   static_cast<int>((event->message >> 16) & 0x7F) << 7);
            }
        }
    };
    auto readUntilQuiet = [&] {
        for (int quiet = 0; quiet < 3;) {
            virtual_midi::Flush();
            const std::size_t before = received.size();
            while (platform::PumpMessages(0) > 0)
                readAll();
            readAll();
            quiet = received.size() == before ? quiet + 1 : 0;
        }
    };
    std::atomic<bool> done{false};
    std::thread joiner([&] {
        backend.join();
        done = true;
    });
    while (!done) {
        platform::PumpMessages(1);
        readAll();
    }
    joiner.join();
    readUntilQuiet();

    // Order is kept: what was read is the burst with some events left out, nothing moved.
    // Short messages carry 14 bits of the sequence number.
    std::size_t next = 0;
    for (int i = 0; i < kEvents && next < received.size(); ++i) {
        if (received[next] == (isSysex(i) ? i : i & 0x3FFF))
            ++next;
    }
    EXPECT_EQ(next, received.size()) << "an event arrived out of order";
    // Whatever was not read was counted as dropped when it found no room.
    EXPECT_EQ(received.size() + in.DroppedEventCount(), static_cast<std::size_t>(kEvents));
    // Overflow notices travel through the mailbox, which a burst like this one can fill.
    EXPECT_LE(static_cast<std::uint32_t>(overflows), in.DroppedEventCount());
    in.Close();
}

}  // namespace
