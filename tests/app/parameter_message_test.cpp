// SPDX-License-Identifier: GPL-3.0-or-later
#include "converter/ControllerNames.h"
#include "converter/NoteName.h"
#include "converter/ParameterMessage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = ParameterMessageBytes;

// The degree sign in the platform's ANSI code page.
#ifdef _WIN32
const std::string kDegree = "\xB0";
#else
const std::string kDegree = "\xC2\xB0";
#endif

TEST(ParameterMessage, ChannelCodeAndValueSplitIntoNibbles) {
    EXPECT_EQ(ParameterMessage(15, pcNoteRef, 127),
              (Bytes{0xF0, 0x70, 0x0F, 0x7E, 0x0F, 0x07, 0xF7}));
    EXPECT_EQ(ParameterMessage(0, pcNoteRef, 0), (Bytes{0xF0, 0x70, 0x00, 0x7E, 0x00, 0x00, 0xF7}));
    EXPECT_EQ(ParameterMessage(3, pcModeFlags, kModeFlagTable | kModeFlagController),
              (Bytes{0xF0, 0x70, 0x03, 0x7C, 0x00, 0x06, 0xF7}));
    EXPECT_EQ(ParameterMessage(0, pcAuxController, 74)[3], 0x7D);
    // Only bits 0..7 of the value travel; the channel and code are cut to their fields.
    EXPECT_EQ(ParameterMessage(16, pcNoteRef, 256),
              (Bytes{0xF0, 0x70, 0x00, 0x7E, 0x00, 0x00, 0xF7}));
    EXPECT_EQ(ParameterMessage(0, 0xFE, 0x1F)[3], 0x7E);
    EXPECT_EQ(ParameterMessage(0, 0, 0xAB)[4], 0x0B);
    EXPECT_EQ(ParameterMessage(0, 0, 0xAB)[5], 0x0A);
}

TEST(ParameterMessage, ControlChangeCarriesChannelControllerAndValue) {
    ShortMessage cc = ControlChangeMessage(15, 7, 100);
    EXPECT_EQ(cc.status, 0xBF);
    EXPECT_EQ(cc.data1, 7);
    EXPECT_EQ(cc.data2, 100);
    EXPECT_EQ(ControlChangeMessage(0, 127, 0).status, 0xB0);
}

TEST(NoteName, LettersSharpsAndOctaves) {
    EXPECT_EQ(NoteName(0, 0, true), "C -2");
    EXPECT_EQ(NoteName(12, 0, true), "C -1");
    EXPECT_EQ(NoteName(13, 0, true), "C#-1");
    EXPECT_EQ(NoteName(60, 0, true), "C 3");
    EXPECT_EQ(NoteName(127, 0, true), "G 8");
    EXPECT_EQ(NoteName(70, 0, false), "A#");
    EXPECT_EQ(NoteName(59, 1, true), "C 3");
    // Below note 0 the name goes on downward instead of reading outside the table.
    EXPECT_EQ(NoteName(-1, 0, true), "B -3");
    EXPECT_EQ(NoteName(0, -13, true), "B -4");
}

TEST(ControllerNames, HoldsOneEntryPerControllerAndNone) {
    EXPECT_EQ(ControllerNames.size(), 129u);
    EXPECT_EQ(ControllerItemText(0), "----- none-------");
    EXPECT_EQ(ControllerItemText(1), "Bank Select");
    EXPECT_EQ(ControllerItemText(4), "Controler n" + kDegree + " 3");
    EXPECT_EQ(ControllerItemText(128), "Poly Operation");
    EXPECT_EQ(ControllerItemText(65), "Hold Pedal (on/off)  ");
    EXPECT_EQ(ControllerItemText(71), "Sound Variation    ");
    EXPECT_EQ(ControllerItemText(96), "Phaser Level ");
    EXPECT_EQ(ControllerItemText(124), "All Notes Off ");
    EXPECT_EQ(ControllerItemText(120), "Controler n" + kDegree + " 119");
    int named = 0;
    for (int i = 1; i <= 128; ++i)
        named += *ControllerNames[static_cast<std::size_t>(i)] != '\0';
    EXPECT_EQ(named, 67);
    EXPECT_THROW(ControllerItemText(129), std::out_of_range);
}

}  // namespace
