// SPDX-License-Identifier: GPL-3.0-or-later
// Message-only windows and PostMessageA on hosts without Win32. A window is a procedure in a
// table that only the GUI thread touches; posting goes through the lock-free mailbox, and a
// message whose window is gone by the time it is dispatched is dropped.
#include "mailbox.h"
#include "platform/win32.h"

#include <poll.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <unordered_map>

namespace {

using platform::detail::GuiMailbox;
using platform::detail::Mailbox;
using platform::detail::PostedMessage;

struct WindowTable {
    std::uintptr_t nextHandle = 1;
    std::unordered_map<HWND, std::shared_ptr<platform::MessageProc>> procedures;
};

WindowTable& windows() {
    static WindowTable table;
    return table;
}

}  // namespace

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd == nullptr)
        return FALSE;
    return GuiMailbox().push(PostedMessage{hWnd, Msg, wParam, lParam}) ? TRUE : FALSE;
}

namespace platform {

HWND CreateMessageWindow(MessageProc proc) {
    GuiMailbox();  // the wake-up descriptor exists before any message can be posted
    WindowTable& table = windows();
    // Handles are never reused, so a late message can never reach a newer window.
    auto handle = reinterpret_cast<HWND>(table.nextHandle++);
    table.procedures.emplace(handle, std::make_shared<MessageProc>(std::move(proc)));
    return handle;
}

void DestroyMessageWindow(HWND window) {
    windows().procedures.erase(window);
}

int DispatchPostedMessages() {
    Mailbox& mailbox = GuiMailbox();
    mailbox.acknowledgeWakeup();
    int delivered = 0;
    PostedMessage message;
    // A procedure that keeps posting must not starve the event loop: stop after one mailbox's
    // worth and come back on the next wake-up.
    for (std::size_t taken = 0; taken < Mailbox::kCapacity; ++taken) {
        if (!mailbox.pop(message))
            return delivered;
        auto found = windows().procedures.find(message.window);
        if (found == windows().procedures.end())
            continue;
        // The procedure may destroy its own window; keep it alive for this call.
        std::shared_ptr<MessageProc> proc = found->second;
        try {
            (*proc)(message.window, message.message, message.wParam, message.lParam);
        } catch (...) {
            // The caller shows the error; what still waits is delivered on the next wake-up.
            mailbox.rearm();
            throw;
        }
        ++delivered;
    }
    mailbox.rearm();
    return delivered;
}

int PumpMessages(int timeoutMs) {
    pollfd watched{GuiMailbox().fd(), POLLIN, 0};
    while (poll(&watched, 1, timeoutMs) < 0 && errno == EINTR) {
    }
    return DispatchPostedMessages();
}

int PostedMessageFd() {
    return GuiMailbox().fd();
}

}  // namespace platform
