// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/win32.h"
#include "pump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct Delivery {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::thread::id thread;
};

TEST(PostedMessages, ReachTheProcedureOnThePumpingThreadInPostingOrder) {
    std::vector<Delivery> seen;
    platform::MessageWindow window([&](HWND, UINT m, WPARAM w, LPARAM l) {
        seen.push_back({m, w, l, std::this_thread::get_id()});
        return LRESULT{0};
    });
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::atomic<int> refused{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                while (!PostMessageA(window.handle(), WM_USER + t, static_cast<WPARAM>(i), t)) {
                    refused.fetch_add(1);
                    std::this_thread::yield();
                }
            }
        });
    }
    auto allArrived = [&] { return seen.size() >= std::size_t{kThreads * kPerThread}; };
    PumpUntil(allArrived, 20000);
    for (auto& poster : posters)
        poster.join();
    PumpUntil(allArrived, 20000);

    ASSERT_EQ(seen.size(), std::size_t{kThreads * kPerThread});
    std::vector<WPARAM> next(kThreads, 0);
    for (const Delivery& d : seen) {
        EXPECT_EQ(d.thread, std::this_thread::get_id());
        const auto poster = static_cast<std::size_t>(d.lParam);
        ASSERT_EQ(d.message, WM_USER + poster);
        // Each poster's messages arrive in the order it posted them.
        EXPECT_EQ(d.wParam, next[poster]++);
    }
}

TEST(PostedMessages, NothingIsDeliveredToADestroyedWindow) {
    int delivered = 0;
    HWND window = platform::CreateMessageWindow([&](HWND, UINT, WPARAM, LPARAM) {
        ++delivered;
        return LRESULT{0};
    });
    ASSERT_TRUE(PostMessageA(window, WM_USER, 0, 0));
    platform::DestroyMessageWindow(window);
    // Posting to a window that is gone is accepted, as Windows may accept it racing with the
    // destruction; the message must simply never arrive.
    PostMessageA(window, WM_USER, 1, 0);
    EXPECT_EQ(platform::PumpMessages(0), 0);
    EXPECT_EQ(delivered, 0);

    // A new window never receives what was meant for the old one.
    std::vector<WPARAM> later;
    platform::MessageWindow fresh([&](HWND, UINT, WPARAM w, LPARAM) {
        later.push_back(w);
        return LRESULT{0};
    });
    EXPECT_NE(fresh.handle(), window);
    PostMessageA(window, WM_USER, 2, 0);
    PostMessageA(fresh.handle(), WM_USER, 3, 0);
    platform::PumpMessages(0);
    EXPECT_EQ(later, std::vector<WPARAM>{3});
}

TEST(PostedMessages, AProcedureMayDestroyItsOwnWindowWhileLaterMessagesWait) {
    int calls = 0;
    HWND self = nullptr;
    self = platform::CreateMessageWindow([&](HWND window, UINT, WPARAM, LPARAM) {
        ++calls;
        platform::DestroyMessageWindow(window);
        return LRESULT{0};
    });
    PostMessageA(self, WM_USER, 0, 0);
    PostMessageA(self, WM_USER, 1, 0);
    EXPECT_EQ(platform::PumpMessages(0), 1);
    EXPECT_EQ(calls, 1);
}

TEST(PostedMessages, APumpWaitsForAMessageFromAnotherThread) {
    std::vector<Delivery> seen;
    platform::MessageWindow window([&](HWND, UINT m, WPARAM w, LPARAM l) {
        seen.push_back({m, w, l, std::this_thread::get_id()});
        return LRESULT{0};
    });
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PostMessageA(window.handle(), WM_USER + 7, 42, -1);
    });
    EXPECT_EQ(platform::PumpMessages(-1), 1);
    poster.join();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, WM_USER + 7);
    EXPECT_EQ(seen[0].wParam, 42u);
    EXPECT_EQ(seen[0].lParam, -1);
}

TEST(PostedMessages, AnExceptionFromAProcedureLeavesTheRestWaiting) {
    std::vector<WPARAM> seen;
    platform::MessageWindow window([&](HWND, UINT, WPARAM w, LPARAM) -> LRESULT {
        if (w == 1)
            throw std::runtime_error("handler failed");
        seen.push_back(w);
        return 0;
    });
    for (WPARAM w : {0, 1, 2})
        PostMessageA(window.handle(), WM_USER, w, 0);
    EXPECT_THROW(platform::PumpMessages(0), std::runtime_error);
    platform::PumpMessages(0);
    EXPECT_EQ(seen, (std::vector<WPARAM>{0, 2}));
}

}  // namespace
