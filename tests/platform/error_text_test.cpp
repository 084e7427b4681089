// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/virtual_midi.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

using ErrorTextFn = MMRESULT (*)(MMRESULT, LPSTR, UINT);

class ErrorText : public ::testing::TestWithParam<ErrorTextFn> {};

TEST_P(ErrorText, EveryCodeTheLayerReturnsHasItsOwnText) {
    std::set<std::string> texts;
    for (MMRESULT code = MMSYSERR_BASE; code <= MIDIERR_LASTERROR; ++code) {
        if (code > MMSYSERR_LASTERROR && code < MIDIERR_BASE)
            continue;
        char buffer[128];
        std::memset(buffer, 'x', sizeof buffer);
        ASSERT_EQ(GetParam()(code, buffer, sizeof buffer), MMSYSERR_NOERROR) << code;
        const std::string text = buffer;
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_LT(text.size(), sizeof buffer);
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(),
              std::size_t{(MMSYSERR_LASTERROR + 1) + (MIDIERR_LASTERROR - MIDIERR_BASE + 1)});
}

TEST_P(ErrorText, UnknownCodesAndBadBuffersAreRefused) {
    char buffer[128];
    EXPECT_NE(GetParam()(MMSYSERR_LASTERROR + 1, buffer, sizeof buffer), MMSYSERR_NOERROR);
    EXPECT_NE(GetParam()(MIDIERR_LASTERROR + 1, buffer, sizeof buffer), MMSYSERR_NOERROR);
    EXPECT_NE(GetParam()(0xFFFF, buffer, sizeof buffer), MMSYSERR_NOERROR);
    EXPECT_EQ(GetParam()(MMSYSERR_INVALHANDLE, nullptr, 128), MMSYSERR_INVALPARAM);
    EXPECT_EQ(GetParam()(MMSYSERR_INVALHANDLE, buffer, 0), MMSYSERR_INVALPARAM);
}

TEST_P(ErrorText, ASmallBufferGetsACutTextStillTerminated) {
    char buffer[6];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(GetParam()(MMSYSERR_INVALHANDLE, buffer, sizeof buffer), MMSYSERR_NOERROR);
    EXPECT_EQ(std::strlen(buffer), 5u);
}

INSTANTIATE_TEST_SUITE_P(OutAndIn, ErrorText,
                         ::testing::Values(&midiOutGetErrorTextA, &midiInGetErrorTextA));

TEST(ErrorTextFaults, AnInjectedFaultMakesTheTextUnavailable) {
    char buffer[128];
    virtual_midi::FailNext(platform::midi::Operation::OutGetErrorText, MMSYSERR_BADERRNUM);
    EXPECT_EQ(midiOutGetErrorTextA(MMSYSERR_INVALHANDLE, buffer, sizeof buffer),
              MMSYSERR_BADERRNUM);
    EXPECT_EQ(midiOutGetErrorTextA(MMSYSERR_INVALHANDLE, buffer, sizeof buffer), MMSYSERR_NOERROR);
}

}  // namespace
