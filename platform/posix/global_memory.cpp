// SPDX-License-Identifier: GPL-3.0-or-later
// Global memory blocks. A handle is the address of a block record; every call checks it
// against the set of live records, so a stale or foreign handle is refused, never dereferenced.
#include "platform/testing.h"
#include "platform/win32.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {

struct Block {
    int locks = 0;
    std::size_t size = 0;
    std::unique_ptr<std::byte[]> data;
};

std::atomic<int> allocationsBeforeFailure{-1};

bool nextAllocationFails() {
    int left = allocationsBeforeFailure.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (allocationsBeforeFailure.compare_exchange_weak(left, left - 1,
                                                           std::memory_order_relaxed))
            return left == 0;
    }
    return false;
}

std::mutex blocksMutex;
std::unordered_set<Block*> liveBlocks;

// Must be called with blocksMutex held.
Block* live(HGLOBAL handle) {
    auto* block = static_cast<Block*>(handle);
    return liveBlocks.contains(block) ? block : nullptr;
}

}  // namespace

namespace platform::testing {

void FailGlobalAllocAfter(int successes) {
    allocationsBeforeFailure.store(successes, std::memory_order_relaxed);
}

}  // namespace platform::testing

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    if (nextAllocationFails())
        return nullptr;
    // The block record is the handle and must stay at its address until GlobalFree.
    auto* block = new (std::nothrow) Block;
    if (block == nullptr)
        return nullptr;
    if (dwBytes > 0) {
        block->data.reset(new (std::nothrow) std::byte[dwBytes]);
        if (!block->data) {
            delete block;
            return nullptr;
        }
        if (uFlags & GMEM_ZEROINIT)
            std::memset(block->data.get(), 0, dwBytes);
    }
    block->size = dwBytes;
    std::lock_guard lock(blocksMutex);
    liveBlocks.insert(block);
    return block;
}

// A block of size 0 has no memory to lock, as on Windows.
LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    std::lock_guard lock(blocksMutex);
    Block* block = live(hMem);
    if (block == nullptr || !block->data)
        return nullptr;
    ++block->locks;
    return block->data.get();
}

// TRUE while the block stays locked after this call.
BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    std::lock_guard lock(blocksMutex);
    Block* block = live(hMem);
    if (block == nullptr || block->locks == 0)
        return FALSE;
    return --block->locks > 0 ? TRUE : FALSE;
}

// nullptr on success; the handle itself when it is not a live block.
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    std::unique_lock lock(blocksMutex);
    Block* block = live(hMem);
    if (block == nullptr)
        return hMem;
    liveBlocks.erase(block);
    lock.unlock();
    delete block;
    return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    std::lock_guard lock(blocksMutex);
    Block* block = live(hMem);
    return block == nullptr ? 0 : block->size;
}
