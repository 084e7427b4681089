// SPDX-License-Identifier: GPL-3.0-or-later
#include "SharedBlock.h"

void* AllocSharedBlock(std::uint16_t size, HGLOBAL& handle) {
    handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, size);
    if (handle == nullptr)
        return nullptr;
    void* locked = GlobalLock(handle);
    if (locked == nullptr) {
        GlobalFree(handle);
        handle = nullptr;
    }
    return locked;
}

void FreeSharedBlock(HGLOBAL handle) {
    if (handle == nullptr)
        return;
    GlobalUnlock(handle);
    GlobalFree(handle);
}
