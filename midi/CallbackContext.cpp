// SPDX-License-Identifier: GPL-3.0-or-later
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

// Posts `message` unless one posted before is still waiting; the window clears the flag when
// it takes the notice.
void postOnce(CallbackContext& context, std::atomic<bool>& pending, UINT message) {
    if (pending.exchange(true, std::memory_order_acq_rel))
        return;
    if (!PostMessageA(context.window, message, context.session, 0))
        pending.store(false, std::memory_order_relaxed);
}

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
        postOnce(context, context.dataNoticePending, MM_MIM_DATA);
        return;
    }
    context.dropped.fetch_add(1, std::memory_order_relaxed);
    // The receive buffer of a System Exclusive that found no room travels with the overflow
    // notice, so that the GUI thread can give it back to the port; there are only as many of
    // those as there are buffers.
    if (event.header != nullptr)
        PostMessageA(context.window, WM_USER, context.session,
                     reinterpret_cast<LPARAM>(event.header));
    else
        postOnce(context, context.overflowNoticePending, WM_USER);
}

void completeOutput(CallbackContext& context, DWORD_PTR header, DWORD_PTR result) {
    // The result travels as the notice's first parameter: nonzero when the port could not
    // send the message.
    if (PostMessageA(context.window, MM_MOM_DONE, result, static_cast<LPARAM>(header)))
        return;
    if (header == 0)
        context.lostShortFailure.store(static_cast<DWORD>(result), std::memory_order_relaxed);
    else if (result != MMSYSERR_NOERROR)
        context.lostFailure.store(static_cast<DWORD>(result), std::memory_order_relaxed);
    // Release: the header's done flag, set before this callback, is seen with the count.
    context.lostCompletions.fetch_add(1, std::memory_order_release);
}

}  // namespace

void CALLBACK MidiDriverCallback(HDRVR, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                 DWORD_PTR param2) {
    auto* context = reinterpret_cast<CallbackContext*>(instance);
    if (context == nullptr)
        return;
    switch (message) {
        case MM_MOM_DONE:
            completeOutput(*context, param1, param2);
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
