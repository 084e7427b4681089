// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI components on the real multimedia API with no MIDI device installed. The system's
// own error texts differ between Windows and Wine, so they are compared with ErrorText, never
// with words of their own; the components' own texts are compared exactly.
#include "converter/ParameterMessage.h"
#include "expect_raises.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"

#include <gtest/gtest.h>

namespace {

class NoDevices : public ::testing::Test {
  protected:
    void SetUp() override {
        if (midiOutGetNumDevs() != 0 || midiInGetNumDevs() != 0)
            GTEST_SKIP() << "this machine has MIDI devices";
    }
};

TEST_F(NoDevices, EveryErrorCodeHasASystemText) {
    TMidiOutput out(nullptr);
    TMidiInput in(nullptr);
    for (std::uint16_t code :
         {MMSYSERR_ERROR, MMSYSERR_BADDEVICEID, MMSYSERR_ALLOCATED, MMSYSERR_INVALHANDLE,
          MMSYSERR_NOMEM, MIDIERR_STILLPLAYING, MIDIERR_NODEVICE}) {
        EXPECT_FALSE(out.ErrorText(code).empty()) << code;
        EXPECT_NE(out.ErrorText(code), "Specified error number is out of range") << code;
        EXPECT_FALSE(in.ErrorText(code).empty()) << code;
    }
    EXPECT_EQ(out.ErrorText(0x7FFF), "Specified error number is out of range");
    EXPECT_EQ(in.ErrorText(0x7FFF), "Specified error number is out of range");
}

TEST_F(NoDevices, TheOutputRefusesPortZeroAndSearchesTheMapperAlone) {
    TMidiOutput out(nullptr);
    EXPECT_EQ(RaisedMessage<EmidioutputError>([&] { out.SetDeviceID(0); }), "Invalid device ID");
    // Only the mapper is queried; what it answers decides.
    MIDIOUTCAPSA caps{};
    const MMRESULT mapper = midiOutGetDevCapsA(MIDI_MAPPER, &caps, sizeof caps);
    if (mapper == MMSYSERR_NOERROR) {
        out.SetProductName(caps.szPname);
        EXPECT_EQ(out.DeviceID(), -1);
    } else {
        EXPECT_EQ(RaisedMessage<EmidioutputError>([&] { out.SetProductName("Synth"); }),
                  out.ErrorText(static_cast<std::uint16_t>(mapper)));
    }
    EXPECT_EQ(RaisedMessage<EmidioutputError>([&] { out.SetProductName(""); }).empty(), false);
}

TEST_F(NoDevices, ARefusedOpenIsQuietAndSendsReportTheSystemsText) {
    TMidiOutput out(nullptr);
    EXPECT_FALSE(out.Open());
    EXPECT_EQ(out.State(), psClosed);
    EXPECT_NE(out.LastResult(), 0);
    EXPECT_FALSE(out.Close());
    EXPECT_EQ(RaisedMessage<EmidioutputError>([&] { out.SendShortMessage(0xB0, 7, 100); }),
              out.ErrorText(MMSYSERR_INVALHANDLE));
    const ParameterMessageBytes message = ParameterMessage(0, 126, 12);
    EXPECT_EQ(RaisedMessage<EmidioutputError>([&] { out.SendLongMessage(message.data(), 7); }),
              out.ErrorText(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(out.PendingLongMessages(), 0u);
    EXPECT_EQ(RaisedMessage<EmidioutputError>([&] {
                  out.SendEvent(MidiEvent{0x90, 60, 1});
              }),
              "MIDI Output device not open");
}

TEST_F(NoDevices, TheInputHasNoPortAndSaysSo) {
    TMidiInput in(nullptr);
    EXPECT_EQ(in.ProductName(), "");
    EXPECT_EQ(RaisedMessage<EMidiInputError>([&] { in.SetProductName(""); }), "Invalid device ID");
    EXPECT_EQ(RaisedMessage<EMidiInputError>([&] { in.SetProductName("Keys"); }),
              "MIDI Input Device Keys not installed ");
    in.Open();
    EXPECT_EQ(in.State(), psClosed);
    in.Start();
    in.Close();
    EXPECT_EQ(in.PendingEventCount(), 0);
}

}  // namespace
