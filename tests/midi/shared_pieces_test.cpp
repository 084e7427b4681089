// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces both components share, on every platform: ownership, shared blocks, headers and
// the driver callback.
#include "midi/CallbackContext.h"
#include "midi/Component.h"
#include "midi/MyMidiHdr.h"
#include "midi/SharedBlock.h"
#include "pump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

class Probe : public TComponent {
  public:
    Probe(TComponent* owner, std::vector<int>& log, int id)
        : TComponent(owner), log_(log), id_(id) {}
    ~Probe() override { log_.push_back(id_); }

  private:
    std::vector<int>& log_;
    int id_;
};

TEST(Component, TheOwnerDestroysWhatItOwnsNewestFirstAndPassesOnLoading) {
    std::vector<int> destroyed;
    {
        TComponent owner;
        Probe& first = owner.Create<Probe>(destroyed, 1);
        Probe& second = owner.Create<Probe>(destroyed, 2);
        EXPECT_EQ(first.Owner(), &owner);
        owner.SetLoading(true);
        EXPECT_TRUE(second.Loading());
        Probe& third = owner.Create<Probe>(destroyed, 3);
        EXPECT_TRUE(third.Loading());
        owner.SetLoading(false);
        EXPECT_FALSE(first.Loading());
        EXPECT_FALSE(third.Loading());
    }
    EXPECT_EQ(destroyed, (std::vector<int>{3, 2, 1}));
}

TEST(SharedBlock, ZeroFilledLockedAndFreedWithItsHandle) {
    HGLOBAL handle = nullptr;
    auto* bytes = static_cast<unsigned char*>(AllocSharedBlock(65535, handle));
    ASSERT_NE(bytes, nullptr);
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(std::all_of(bytes, bytes + 65535, [](unsigned char b) { return b == 0; }));
    FreeSharedBlock(handle);
    FreeSharedBlock(nullptr);
}

TEST(MyMidiHdr, OwnsAHeaderPointingAtItsZeroedData) {
    TMyMidiHdr hdr(7);
    ASSERT_NE(hdr.Header(), nullptr);
    EXPECT_EQ(hdr.Header()->lpData, reinterpret_cast<LPSTR>(hdr.Data()));
    EXPECT_EQ(hdr.Header()->dwBufferLength, 7u);
    EXPECT_EQ(hdr.Header()->dwFlags, 0u);
    EXPECT_TRUE(std::all_of(hdr.Data(), hdr.Data() + 7, [](std::uint8_t b) { return b == 0; }));

    TMyMidiHdr empty(0);
    EXPECT_EQ(empty.Header(), nullptr);
    EXPECT_EQ(empty.Data(), nullptr);
}

TEST(MidiDriverCallback, PostsOnlyOutputCompletionsWithTheHeaderAddress) {
    std::vector<std::pair<UINT, LPARAM>> seen;
    platform::MessageWindow window([&](HWND, UINT message, WPARAM, LPARAM lParam) {
        seen.emplace_back(message, lParam);
        return LRESULT{0};
    });
    CallbackContext* context = AllocCallbackContext();
    ASSERT_NE(context, nullptr);
    context->window = window.handle();
    const auto instance = reinterpret_cast<DWORD_PTR>(context);
    // From another thread, as a driver calls it.
    std::thread([instance] {
        MidiDriverCallback(nullptr, MM_MOM_OPEN, instance, 0, 0);
        MidiDriverCallback(nullptr, MM_MOM_DONE, instance, 0x1234, 0);
        MidiDriverCallback(nullptr, MM_MOM_CLOSE, instance, 0, 0);
        MidiDriverCallback(nullptr, MM_MOM_DONE, 0, 0x5678, 0);  // no context: nothing
    }).join();
    PumpUntil([&] { return !seen.empty(); });
    platform::PumpMessages(0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, MM_MOM_DONE);
    EXPECT_EQ(seen[0].second, 0x1234);
    FreeCallbackContext(context);
    FreeCallbackContext(nullptr);
}

}  // namespace
