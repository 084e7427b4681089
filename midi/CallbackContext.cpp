#include "CallbackContext.h"

#include "MidiEventQueue.h"
#include "SharedBlock.h"

#include <new>

CallbackContext* AllocCallbackContext() {
    HGLOBAL handle = nullptr;
    void* block = AllocSharedBlock(sizeof(CallbackContext), handle);
    if (block == nullptr)
        return nullptr;
    // The context lives in the block, whose address the platform keeps.
    auto* context = new (block) CallbackContext;
    context->ownHandle = handle;
    return context;
}

void FreeCallbackContext(CallbackContext* context) {
    if (context == nullptr)
        return;
    HGLOBAL handle = context->ownHandle;
    context->~CallbackContext();
    FreeSharedBlock(handle);
}

namespace {

constexpr DWORD_PTR kActiveSensing = 0xFE;
constexpr DWORD_PTR kTimingClock = 0xF8;

void queueInput(CallbackContext& context, UINT message, DWORD_PTR param1, DWORD_PTR param2) {
    // Sent many times a second and of no use here: dropped before they cost anything.
    if (param1 == kActiveSensing || param1 == kTimingClock)
        return;
    if (context.queue == nullptr)
        return;
    if (message == MM_MIM_DATA && context.sysexOnly.load(std::memory_order_relaxed))
        return;
    QueuedEvent event{static_cast<DWORD>(param2), 0, nullptr};
    if (message == MM_MIM_DATA)
        event.shortMessage = static_cast<DWORD>(param1);
    else
        event.header = reinterpret_cast<LPMIDIHDR>(param1);
    if (context.queue->Push(event)) {
        PostMessageA(context.window, MM_MIM_DATA, 0, 0);
    } else {
        context.dropped.fetch_add(1, std::memory_order_relaxed);
        // The receive buffer of a System Exclusive that found no room travels with the
        // overflow notice, so that the GUI thread can give it back to the port.
        PostMessageA(context.window, WM_USER, 0, reinterpret_cast<LPARAM>(event.header));
    }
}

}  // namespace

void CALLBACK MidiDriverCallback(HDRVR, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                 DWORD_PTR param2) {
    auto* context = reinterpret_cast<CallbackContext*>(instance);
    if (context == nullptr)
        return;
    switch (message) {
        case MM_MOM_DONE:
            PostMessageA(context->window, MM_MOM_DONE, 0, static_cast<LPARAM>(param1));
            break;
        case MM_MIM_DATA:
        case MM_MIM_LONGDATA:
        case MM_MIM_LONGERROR:
            queueInput(*context, message, param1, param2);
            break;
        case MM_MIM_ERROR:
            // The port lost a message (no receive buffer, or bytes it could not parse).
            context->dropped.fetch_add(1, std::memory_order_relaxed);
            break;
        default:
            break;
    }
}
