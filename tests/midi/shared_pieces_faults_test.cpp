// SPDX-License-Identifier: GPL-3.0-or-later
// The shared pieces when memory runs out, and a freed block, through the emulated Win32.
#include "midi/MyMidiHdr.h"
#include "midi/SharedBlock.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

namespace {

TEST(SharedBlock, AFreedBlockIsGone) {
    HGLOBAL handle = nullptr;
    ASSERT_NE(AllocSharedBlock(16, handle), nullptr);
    FreeSharedBlock(handle);
    EXPECT_EQ(GlobalFree(handle), handle);
}

TEST(SharedBlock, AFailedAllocationGivesNullAndANullHandle) {
    HGLOBAL handle = reinterpret_cast<HGLOBAL>(1);
    platform::testing::FailGlobalAllocAfter(0);
    EXPECT_EQ(AllocSharedBlock(16, handle), nullptr);
    EXPECT_EQ(handle, nullptr);
    platform::testing::FailGlobalAllocAfter(-1);
}

TEST(MyMidiHdr, AHalfAllocatedHeaderKeepsNothing) {
    platform::testing::FailGlobalAllocAfter(1);  // the header block succeeds, the data fails
    TMyMidiHdr hdr(100);
    platform::testing::FailGlobalAllocAfter(-1);
    EXPECT_EQ(hdr.Header(), nullptr);
    EXPECT_EQ(hdr.Data(), nullptr);
}

}  // namespace
