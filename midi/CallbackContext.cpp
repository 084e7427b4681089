#include "CallbackContext.h"

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

void CALLBACK MidiDriverCallback(HDRVR, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                 DWORD_PTR) {
    auto* context = reinterpret_cast<CallbackContext*>(instance);
    if (context == nullptr)
        return;
    if (message == MM_MOM_DONE)
        PostMessageA(context->window, MM_MOM_DONE, 0, static_cast<LPARAM>(param1));
}
