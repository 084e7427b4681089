// SPDX-License-Identifier: GPL-3.0-or-later
// Message-only windows on Windows: a real HWND_MESSAGE window whose procedure forwards to the
// C++ callable kept in the window's user data.
#include "platform/win32.h"

#include <exception>
#include <functional>
#include <memory>
#include <utility>

namespace {

using SharedProc = std::shared_ptr<platform::MessageProc>;

// An exception must not cross DispatchMessage (the system's own frames): the procedure's is
// caught, then handed to the handler, or kept for DispatchPostedMessages to raise.
std::function<void(std::exception_ptr)> exceptionHandler;
thread_local std::exception_ptr pendingException;

constexpr const char* kClassName = "RDN417MessageWindow";

LRESULT CALLBACK forward(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* slot = reinterpret_cast<SharedProc*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (slot == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    // The procedure may destroy its own window; keep it alive for this call.
    SharedProc proc = *slot;
    try {
        return (*proc)(window, message, wParam, lParam);
    } catch (...) {
        if (exceptionHandler)
            exceptionHandler(std::current_exception());
        else
            pendingException = std::current_exception();
        return 0;
    }
}

void registerClassOnce() {
    static const ATOM atom = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = forward;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassA(&windowClass);
    }();
    static_cast<void>(atom);
}

}  // namespace

namespace platform {

HWND CreateMessageWindow(MessageProc proc) {
    registerClassOnce();
    HWND window = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr)
        return nullptr;
    // Freed by DestroyMessageWindow: Windows keeps only the address.
    auto* slot = new SharedProc(std::make_shared<MessageProc>(std::move(proc)));
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(slot));
    return window;
}

void DestroyMessageWindow(HWND window) {
    if (window == nullptr)
        return;
    auto* slot = reinterpret_cast<SharedProc*>(SetWindowLongPtrA(window, GWLP_USERDATA, 0));
    DestroyWindow(window);
    delete slot;
}

void SetProcedureExceptionHandler(std::function<void(std::exception_ptr)> handler) {
    exceptionHandler = std::move(handler);
}

int DispatchPostedMessages() {
    int delivered = 0;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.hwnd != nullptr)
            ++delivered;
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (pendingException)
            std::rethrow_exception(std::exchange(pendingException, nullptr));
    }
    return delivered;
}

int PumpMessages(int timeoutMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE,
                              timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs),
                              QS_POSTMESSAGE);
    return DispatchPostedMessages();
}

}  // namespace platform
