// SPDX-License-Identifier: GPL-3.0-or-later
// The mailbox behind posted messages on hosts without Win32: its bound, and the descriptor
// that wakes an event loop.
#include "platform/win32.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <stdexcept>
#include <thread>

namespace {

TEST(Mailbox, NullWindowAndFullMailboxAreRefused) {
    EXPECT_FALSE(PostMessageA(nullptr, WM_USER, 0, 0));

    int delivered = 0;
    platform::MessageWindow window([&](HWND, UINT, WPARAM, LPARAM) {
        ++delivered;
        return LRESULT{0};
    });
    int accepted = 0;
    while (PostMessageA(window.handle(), WM_USER, 0, 0) && accepted < 1'000'000)
        ++accepted;
    EXPECT_EQ(accepted, 10000);
    EXPECT_FALSE(PostMessageA(window.handle(), WM_USER, 0, 0));
    while (platform::PumpMessages(0) > 0) {
    }
    EXPECT_EQ(delivered, accepted);
    // Room again once drained.
    EXPECT_TRUE(PostMessageA(window.handle(), WM_USER, 0, 0));
    platform::PumpMessages(0);
}

TEST(Mailbox, TheWakeupDescriptorIsReadableExactlyWhileMessagesWait) {
    platform::MessageWindow window([](HWND, UINT, WPARAM w, LPARAM) -> LRESULT {
        if (w == 1)
            throw std::runtime_error("handler failed");
        return 0;
    });
    platform::PumpMessages(0);
    pollfd watched{platform::PostedMessageFd(), POLLIN, 0};
    EXPECT_EQ(poll(&watched, 1, 0), 0);

    std::thread([&] { PostMessageA(window.handle(), WM_USER, 0, 0); }).join();
    EXPECT_EQ(poll(&watched, 1, 0), 1);
    EXPECT_EQ(platform::DispatchPostedMessages(), 1);
    EXPECT_EQ(poll(&watched, 1, 0), 0);

    // Still readable when the procedure's exception left messages waiting.
    for (WPARAM w : {1, 2})
        PostMessageA(window.handle(), WM_USER, w, 0);
    EXPECT_THROW(platform::DispatchPostedMessages(), std::runtime_error);
    EXPECT_EQ(poll(&watched, 1, 0), 1);
    EXPECT_EQ(platform::DispatchPostedMessages(), 1);
}

}  // namespace
