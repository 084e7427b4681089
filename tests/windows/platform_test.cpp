#include "midi/CallbackContext.h"
#include "midi/MyMidiHdr.h"
#include "midi/SharedBlock.h"
#include "platform/win32.h"
#include "pump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

static_assert(sizeof(void*) != 8 || sizeof(MIDIHDR) == 112);
static_assert(sizeof(MIDIOUTCAPSA) == 52);
static_assert(sizeof(MIDIINCAPSA) == 44);

TEST(MessageWindow, AProceduresExceptionNeverCrossesDispatchMessage) {
    platform::MessageWindow window([](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_USER)
            throw std::runtime_error("from the procedure");
        return 0;
    });
    // Without a handler it comes out of DispatchPostedMessages, as elsewhere.
    ASSERT_TRUE(PostMessageA(window.handle(), WM_USER, 0, 0));
    EXPECT_THROW(platform::DispatchPostedMessages(), std::runtime_error);
    std::vector<std::string> handled;
    platform::SetProcedureExceptionHandler([&](const std::exception_ptr& error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& caught) {
            handled.emplace_back(caught.what());
        }
    });
    ASSERT_TRUE(PostMessageA(window.handle(), WM_USER, 0, 0));
    EXPECT_NO_THROW(platform::DispatchPostedMessages());
    platform::SetProcedureExceptionHandler(nullptr);
    EXPECT_EQ(handled, std::vector<std::string>{"from the procedure"});
}

TEST(MessageWindow, MessagesFromAnotherThreadArriveInOrderOnThisOne) {
    std::vector<WPARAM> seen;
    std::vector<DWORD> threads;
    platform::MessageWindow window([&](HWND, UINT message, WPARAM w, LPARAM) {
        if (message == WM_USER + 1) {
            seen.push_back(w);
            threads.push_back(GetCurrentThreadId());
        }
        return LRESULT{0};
    });
    ASSERT_NE(window.handle(), nullptr);
    std::thread poster([&] {
        for (WPARAM i = 0; i < 200; ++i)
            EXPECT_TRUE(PostMessageA(window.handle(), WM_USER + 1, i, 0));
    });
    poster.join();
    PumpUntil([&] { return seen.size() == 200; });
    ASSERT_EQ(seen.size(), 200u);
    for (WPARAM i = 0; i < 200; ++i)
        EXPECT_EQ(seen[i], i);
    EXPECT_TRUE(std::all_of(threads.begin(), threads.end(),
                            [](DWORD id) { return id == GetCurrentThreadId(); }));
}

TEST(MessageWindow, NothingReachesADestroyedWindow) {
    int delivered = 0;
    HWND window = platform::CreateMessageWindow([&](HWND, UINT message, WPARAM, LPARAM) {
        delivered += message == WM_USER;
        return LRESULT{0};
    });
    ASSERT_TRUE(PostMessageA(window, WM_USER, 0, 0));
    platform::DestroyMessageWindow(window);
    platform::PumpMessages(0);
    EXPECT_EQ(delivered, 0);
}

TEST(SharedBlocks, ZeroFilledLockedAndFreed) {
    HGLOBAL handle = nullptr;
    auto* bytes = static_cast<unsigned char*>(AllocSharedBlock(65535, handle));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(std::all_of(bytes, bytes + 65535, [](unsigned char b) { return b == 0; }));
    FreeSharedBlock(handle);
    FreeSharedBlock(nullptr);
    TMyMidiHdr header(7);
    ASSERT_NE(header.Header(), nullptr);
    EXPECT_EQ(header.Header()->dwBufferLength, 7u);
    EXPECT_EQ(header.Header()->lpData, reinterpret_cast<LPSTR>(header.Data()));
}

TEST(DriverCallback, PostsACompletionToTheContextsWindowFromAnotherThread) {
    std::vector<WPARAM> seen;
    LPARAM header = 0;
    platform::MessageWindow window([&](HWND, UINT message, WPARAM, LPARAM lParam) {
        if (message == MM_MOM_DONE) {
            seen.push_back(0);
            header = lParam;
        }
        return LRESULT{0};
    });
    CallbackContext* context = AllocCallbackContext();
    ASSERT_NE(context, nullptr);
    context->window = window.handle();
    std::thread driver([context] {
        MidiDriverCallback(nullptr, MM_MOM_DONE, reinterpret_cast<DWORD_PTR>(context), 0x1234, 0);
    });
    driver.join();
    PumpUntil([&] { return !seen.empty(); });
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(header, 0x1234);
    FreeCallbackContext(context);
}

}  // namespace
