// SPDX-License-Identifier: GPL-3.0-or-later
// What only the real Win32 API has to hold: the layouts of its records, and a procedure's
// exception kept out of DispatchMessage.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
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

}  // namespace
