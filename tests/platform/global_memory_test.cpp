// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/testing.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(GlobalMemory, ZeroInitialisedBlockLocksToTheSameAddressUntilFreed) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, 65535);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 65535u);
    auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(std::all_of(bytes, bytes + 65535, [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(GlobalLock(block), bytes);
    EXPECT_TRUE(GlobalUnlock(block));   // still locked once
    EXPECT_FALSE(GlobalUnlock(block));  // now unlocked
    EXPECT_FALSE(GlobalUnlock(block));  // not locked at all
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, StaleAndForeignHandlesAreRefused) {
    HGLOBAL block = GlobalAlloc(GHND, 16);
    ASSERT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalFree(block), block);
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_FALSE(GlobalUnlock(block));
    int notABlock = 0;
    EXPECT_EQ(GlobalLock(&notABlock), nullptr);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST(GlobalMemory, AnEmptyBlockHasNothingToLock) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, InjectedAllocationFailure) {
    platform::testing::FailGlobalAllocAfter(1);
    HGLOBAL first = GlobalAlloc(GHND, 8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(GlobalAlloc(GHND, 8), nullptr);
    HGLOBAL third = GlobalAlloc(GHND, 8);
    EXPECT_NE(third, nullptr);
    GlobalFree(first);
    GlobalFree(third);
    platform::testing::FailGlobalAllocAfter(-1);
}

}  // namespace
