// SPDX-License-Identifier: GPL-3.0-or-later
#include "expect_raises.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "parameter_bytes.h"
#include "virtual_midi_test.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::midi::Operation;
using virtual_midi::Bytes;

const ParameterMessageBytes kNoteRef127Channel16 = ParameterMessage(15, 126, 127);

class MidiOutput : public VirtualMidiTest {
  protected:
    // Selects the simulator by name and opens it.
    void openSimulator() {
        out_.SetProductName(virtual_midi::kConverterName);
        ASSERT_TRUE(out_.Open());
    }

    static void expectRaises(const std::function<void()>& action, const std::string& message) {
        ExpectRaises<EmidioutputError>(action, message);
    }

    TMidiOutput out_{nullptr};
};

TEST_F(MidiOutput, ANewComponentIsClosedWithNoPortSelected) {
    EXPECT_EQ(out_.State(), psClosed);
    EXPECT_EQ(out_.DeviceID(), 0);
    EXPECT_EQ(out_.ProductName(), "");
    EXPECT_NE(out_.NotificationWindow(), nullptr);
}

TEST_F(MidiOutput, ListingByNumberGivesEachPortsName) {
    out_.SetDeviceID(0);
    EXPECT_EQ(out_.ProductName(), "RDN417 Simulator");
    out_.SetDeviceID(1);
    EXPECT_EQ(out_.ProductName(), "Virtual Loopback Out");
    out_.SetDeviceID(-1);
    EXPECT_EQ(out_.ProductName(), "MIDI Mapper");
    expectRaises([&] { out_.SetDeviceID(3); }, "Invalid device ID");
    EXPECT_EQ(out_.DeviceID(), -1);
    // Other negative numbers pass the count test and fail at the platform.
    expectRaises([&] { out_.SetDeviceID(-2); }, out_.ErrorText(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(out_.DeviceID(), -2);
    EXPECT_EQ(out_.ProductName(), "MIDI Mapper");
    EXPECT_EQ(out_.LastResult(), MMSYSERR_BADDEVICEID);
}

TEST_F(MidiOutput, TheNameSearchStartsWithTheMapper) {
    virtual_midi::SetPorts({{"Synth"}, {"MIDI Mapper"}}, {});
    out_.SetProductName("MIDI Mapper");
    EXPECT_EQ(out_.DeviceID(), -1);
    out_.SetProductName("Synth");
    EXPECT_EQ(out_.DeviceID(), 0);

    // The mapper's query comes first: when it fails, the search ends there.
    virtual_midi::FailNext(Operation::OutGetDevCaps, MMSYSERR_NODRIVER);
    expectRaises([&] { out_.SetProductName("MIDI Mapper 2"); }, out_.ErrorText(MMSYSERR_NODRIVER));
    EXPECT_EQ(out_.DeviceID(), 0);
    EXPECT_EQ(out_.ProductName(), "Synth");
}

TEST_F(MidiOutput, AnUnknownNameChangesNothing) {
    out_.SetDeviceID(1);
    expectRaises([&] { out_.SetProductName("Nowhere"); },
                 "MIDI output Device Nowhere not installed");
    EXPECT_EQ(out_.DeviceID(), 1);
    EXPECT_EQ(out_.ProductName(), "Virtual Loopback Out");
}

TEST_F(MidiOutput, TheEmptyNameBeforeAnySelectionIsAnInvalidDevice) {
    expectRaises([&] { out_.SetProductName(""); }, "Invalid device ID");
}

TEST_F(MidiOutput, WithNoPortsOnlyTheMapperIsSearched) {
    virtual_midi::SetPorts({}, {});
    out_.SetProductName("MIDI Mapper");
    EXPECT_EQ(out_.DeviceID(), -1);
    expectRaises([&] { out_.SetDeviceID(0); }, "Invalid device ID");
    virtual_midi::FailNext(Operation::OutGetDevCaps, MMSYSERR_NODRIVER);
    expectRaises([&] { out_.SetProductName("MIDI Mapper"); }, out_.ErrorText(MMSYSERR_NODRIVER));
    // Opening the mapper with no port behind it is refused quietly.
    EXPECT_FALSE(out_.Open());
    EXPECT_EQ(out_.State(), psClosed);
}

TEST_F(MidiOutput, AStoredNameIsIgnoredWhileLoading) {
    out_.SetLoading(true);
    out_.SetProductName("Creative Sound Blaster MPU-401");
    out_.SetLoading(false);
    EXPECT_EQ(out_.ProductName(), "");
    EXPECT_EQ(out_.DeviceID(), 0);
}

TEST_F(MidiOutput, NothingChangesThePortWhileItIsOpen) {
    openSimulator();
    expectRaises([&] { out_.SetDeviceID(1); }, "Change to DeviceID while device was open");
    expectRaises([&] { out_.SetProductName("Virtual Loopback Out"); },
                 "Change to ProductName while device was open");
    out_.SetLoading(true);
    expectRaises([&] { out_.SetProductName("x"); }, "Change to ProductName while device was open");
    out_.SetLoading(false);
    EXPECT_EQ(out_.DeviceID(), 0);
    EXPECT_EQ(out_.ProductName(), "RDN417 Simulator");
}

TEST_F(MidiOutput, SendsTheParameterMessageByteForByte) {
    openSimulator();
    out_.SendLongMessage(kNoteRef127Channel16.data(), 7);
    out_.SendLongMessage(ParameterMessage(15, 124, 0x60).data(), 7);
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Received(0),
              (std::vector<Bytes>{Parameter(15, 126, 127), Parameter(15, 124, 0x60)}));
    auto state = virtual_midi::Converter();
    EXPECT_EQ(state.channel, 15);
    EXPECT_EQ(state.noteRef, 127);
    EXPECT_EQ(state.modeFlags, 0x60);
}

// What the converter makes of them is the platform layer's test.
TEST_F(MidiOutput, AShortMessageIsPackedStatusFirst) {
    openSimulator();
    out_.SendShortMessage(0xB0 + 15, 74, 127);
    out_.SendShortMessage(0xB0, 0, 0);
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Received(0), (std::vector<Bytes>{{0xBF, 74, 127}, {0xB0, 0, 0}}));
}

TEST_F(MidiOutput, EachLongMessageIsReleasedOnTheGuiThreadByItsOwnCompletion) {
    openSimulator();
    int finished = 0;
    std::vector<std::size_t> pendingSeen;
    out_.Onmidioutput = [&](TObject* sender) {
        EXPECT_EQ(sender, &out_);
        ++finished;
        pendingSeen.push_back(out_.PendingLongMessages());
    };
    auto message = std::make_unique<std::uint8_t[]>(7);
    std::copy(kNoteRef127Channel16.begin(), kNoteRef127Channel16.end(), message.get());
    out_.SendLongMessage(message.get(), 7);
    message.reset();  // the component has its own copy
    out_.SendLongMessage(kNoteRef127Channel16.data(), 7);
    EXPECT_EQ(out_.PendingLongMessages(), 2u);
    ASSERT_TRUE(PumpUntil([&] { return finished == 2; }));
    EXPECT_EQ(pendingSeen, (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(virtual_midi::Received(0).size(), 2u);
    EXPECT_TRUE(out_.Close());
}

TEST_F(MidiOutput, CloseIsRefusedWhileACompletionIsHeldAndAcceptedAfter) {
    openSimulator();
    virtual_midi::HoldCompletions(true);
    out_.SendLongMessage(kNoteRef127Channel16.data(), 7);
    expectRaises([&] { out_.Close(); }, out_.ErrorText(MIDIERR_STILLPLAYING));
    EXPECT_EQ(out_.State(), psOpen);
    EXPECT_EQ(out_.LastResult(), MIDIERR_STILLPLAYING);
    virtual_midi::ReleaseCompletions();
    ASSERT_TRUE(PumpUntil([&] { return out_.PendingLongMessages() == 0; }));
    EXPECT_TRUE(out_.Close());
    EXPECT_EQ(out_.State(), psClosed);
    EXPECT_FALSE(out_.Close());
}

TEST_F(MidiOutput, SendsOnAClosedComponentRaiseThePlatformsText) {
    const std::string invalidHandle = out_.ErrorText(MMSYSERR_INVALHANDLE);
    expectRaises([&] { out_.SendShortMessage(0x90, 60, 100); }, invalidHandle);
    expectRaises([&] { out_.SendLongMessage(kNoteRef127Channel16.data(), 7); }, invalidHandle);
    EXPECT_EQ(out_.PendingLongMessages(), 0u);
    EXPECT_EQ(out_.LastResult(), MMSYSERR_INVALHANDLE);
}

TEST_F(MidiOutput, SendEventChecksTheStateBeforeThePlatform) {
    // A fault waiting on the short-message call shows whether the platform was called.
    virtual_midi::FailNext(Operation::OutShortMsg, MMSYSERR_NOMEM);
    expectRaises([&] { out_.SendEvent(MidiEvent{0x90, 60, 100}); }, "MIDI Output device not open");
    openSimulator();
    expectRaises([&] { out_.SendEvent(MidiEvent{0x90, 60, 100}); }, out_.ErrorText(MMSYSERR_NOMEM));
    out_.SendEvent(MidiEvent{0xB3, 1, 2});
    MidiEvent sysex;
    sysex.sysexData = kNoteRef127Channel16.data();
    sysex.sysexLength = 7;
    out_.SendEvent(sysex);
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Received(0).size(), 2u);
    EXPECT_EQ(virtual_midi::Converter().noteRef, 127);
}

TEST_F(MidiOutput, ARefusedOpenIsQuietAndTheNextOpenAllocatesAgain) {
    out_.SetDeviceID(0);
    virtual_midi::FailNext(Operation::OutOpen, MMSYSERR_ALLOCATED);
    EXPECT_FALSE(out_.Open());
    EXPECT_EQ(out_.State(), psClosed);
    EXPECT_EQ(out_.LastResult(), MMSYSERR_ALLOCATED);
    // The refused Open released its context, so this Open needs a new block and fails with it.
    platform::testing::FailGlobalAllocAfter(0);
    EXPECT_FALSE(out_.Open());
    platform::testing::FailGlobalAllocAfter(-1);
    ASSERT_TRUE(out_.Open());
    ASSERT_TRUE(out_.Close());
    // A closed component keeps its context: reopening allocates nothing.
    platform::testing::FailGlobalAllocAfter(0);
    EXPECT_TRUE(out_.Open());
    platform::testing::FailGlobalAllocAfter(-1);
}

TEST_F(MidiOutput, OpenOnAnOpenComponentChangesNothing) {
    openSimulator();
    EXPECT_FALSE(out_.Open());
    EXPECT_EQ(out_.State(), psOpen);
    // The port still works and still reports completions to this component.
    int finished = 0;
    out_.Onmidioutput = [&](TObject*) { ++finished; };
    out_.SendLongMessage(kNoteRef127Channel16.data(), 7);
    EXPECT_TRUE(PumpUntil([&] { return finished == 1; }));
    EXPECT_TRUE(out_.Close());
}

TEST_F(MidiOutput, AFailedSendReleasesItsHeaderAndRaisesThePlatformsText) {
    openSimulator();
    virtual_midi::FailNext(Operation::OutPrepareHeader, MMSYSERR_NOMEM);
    expectRaises([&] { out_.SendLongMessage(kNoteRef127Channel16.data(), 7); },
                 out_.ErrorText(MMSYSERR_NOMEM));
    EXPECT_EQ(out_.PendingLongMessages(), 0u);
    virtual_midi::FailNext(Operation::OutLongMsg, MIDIERR_NOTREADY);
    expectRaises([&] { out_.SendLongMessage(kNoteRef127Channel16.data(), 7); },
                 out_.ErrorText(MIDIERR_NOTREADY));
    EXPECT_EQ(out_.PendingLongMessages(), 0u);
    EXPECT_EQ(out_.LastResult(), MIDIERR_NOTREADY);
    virtual_midi::Flush();
    EXPECT_TRUE(virtual_midi::Received(0).empty());
    // Nothing is left in the port's queue, so it closes.
    EXPECT_TRUE(out_.Close());
}

TEST_F(MidiOutput, EmptyMessagesAndExhaustedMemoryAreRefusedClearly) {
    openSimulator();
    expectRaises([&] { out_.SendLongMessage(kNoteRef127Channel16.data(), 0); },
                 "Cannot send an empty MIDI message");
    expectRaises([&] { out_.SendLongMessage(nullptr, 7); }, "Cannot send an empty MIDI message");
    platform::testing::FailGlobalAllocAfter(1);  // the header's data block fails
    expectRaises([&] { out_.SendLongMessage(kNoteRef127Channel16.data(), 7); },
                 "Not enough memory to send a MIDI message");
    platform::testing::FailGlobalAllocAfter(-1);
    EXPECT_EQ(out_.PendingLongMessages(), 0u);
    EXPECT_TRUE(out_.Close());
}

TEST_F(MidiOutput, AMessageToAPortThatHasGoneIsReportedAndNeverCountedAsSent) {
    openSimulator();
    int sent = 0;
    out_.Onmidioutput = [&](TObject*) { ++sent; };
    virtual_midi::SetPorts({{virtual_midi::kLoopbackOutName}}, {});  // the converter is unplugged
    const std::string gone = out_.ErrorText(MIDIERR_NODEVICE);
    // On its way the message finds the port gone: its completion raises on the GUI thread.
    out_.SendLongMessage(kNoteRef127Channel16.data(), 7);
    expectRaises([&] { PumpUntil([&] { return out_.PendingLongMessages() == 0; }); }, gone);
    EXPECT_EQ(out_.LastResult(), MIDIERR_NODEVICE);
    // From then on every send fails at its call.
    expectRaises([&] { out_.SendLongMessage(kNoteRef127Channel16.data(), 7); }, gone);
    expectRaises([&] { out_.SendShortMessage(0xB0, 1, 2); }, gone);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(out_.PendingLongMessages(), 0u);
    EXPECT_TRUE(out_.Close());
}

TEST_F(MidiOutput, CompletionsThatFindTheMailboxFullAreStillReleased) {
    openSimulator();
    int sent = 0;
    out_.Onmidioutput = [&](TObject*) { ++sent; };
    // Twice what the mailbox holds, sent without pumping.
    constexpr int kMessages = 20000;
    for (int i = 0; i < kMessages; ++i)
        out_.SendLongMessage(kNoteRef127Channel16.data(), 7);
    virtual_midi::Flush();
    ASSERT_TRUE(PumpUntil([&] { return sent == kMessages; }));
    EXPECT_EQ(out_.PendingLongMessages(), 0u);
}

TEST_F(MidiOutput, AnUnreadInputFloodDoesNotCrowdOutCompletions) {
    TMidiInput in(nullptr);
    in.Open();
    in.Start();
    ASSERT_EQ(in.State(), psOpen);
    for (DWORD i = 0; i < 12000; ++i)
        virtual_midi::InjectShort(0, 0x90 | (i % 128) << 8);
    virtual_midi::Flush();
    openSimulator();
    int sent = 0;
    out_.Onmidioutput = [&](TObject*) { ++sent; };
    for (int i = 0; i < 5; ++i)
        out_.SendLongMessage(kNoteRef127Channel16.data(), 7);
    EXPECT_TRUE(PumpUntil([&] { return sent == 5; }));
    in.Close();
}

TEST_F(MidiOutput, AnUnknownCodeHasAFixedText) {
    EXPECT_EQ(out_.ErrorText(0xFFFF), "Specified error number is out of range");
    virtual_midi::FailNext(Operation::OutGetErrorText, MMSYSERR_BADERRNUM);
    EXPECT_EQ(out_.ErrorText(MMSYSERR_INVALHANDLE), "Specified error number is out of range");
    EXPECT_NE(out_.ErrorText(MMSYSERR_INVALHANDLE), "Specified error number is out of range");
}

TEST_F(MidiOutput, DestroyingAnOpenComponentClosesItsPort) {
    {
        TComponent owner;
        auto& owned = owner.Create<TMidiOutput>();
        owned.SetDeviceID(0);
        ASSERT_TRUE(owned.Open());
    }
    openSimulator();  // free again
}

TEST_F(MidiOutput, DestroyingWaitsBrieflyForMessagesStillBeingSent) {
    auto owned = std::make_unique<TMidiOutput>(nullptr);
    owned->SetDeviceID(0);
    ASSERT_TRUE(owned->Open());
    virtual_midi::HoldCompletions(true);
    owned->SendLongMessage(kNoteRef127Channel16.data(), 7);
    std::thread releaser([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        virtual_midi::ReleaseCompletions();
    });
    owned.reset();
    releaser.join();
    virtual_midi::Flush();
    platform::PumpMessages(0);  // the completion finds the window gone
    openSimulator();
}

}  // namespace
