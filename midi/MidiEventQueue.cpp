// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiEventQueue.h"

#include "SharedBlock.h"

#include <algorithm>
#include <new>

MidiEventQueue* MidiEventQueue::Create(std::uint16_t capacity) {
    capacity = std::min(capacity, kMaxCapacity);
    if (capacity == 0)
        return nullptr;
    HGLOBAL ownHandle = nullptr;
    void* block = AllocSharedBlock(sizeof(MidiEventQueue), ownHandle);
    if (block == nullptr)
        return nullptr;
    HGLOBAL storageHandle = nullptr;
    auto* storage = static_cast<QueuedEvent*>(AllocSharedBlock(
        static_cast<std::uint16_t>(capacity * sizeof(QueuedEvent)), storageHandle));
    if (storage == nullptr) {
        FreeSharedBlock(ownHandle);
        return nullptr;
    }
    // The queue lives in its block, whose address the callback context hands the platform.
    auto* queue = new (block) MidiEventQueue;
    queue->ownHandle_ = ownHandle;
    queue->storageHandle_ = storageHandle;
    queue->start_ = queue->write_ = queue->read_ = storage;
    queue->end_ = storage + capacity;
    queue->capacity_ = capacity;
    return queue;
}

void MidiEventQueue::Destroy(MidiEventQueue* queue) {
    if (queue == nullptr)
        return;
    HGLOBAL ownHandle = queue->ownHandle_;
    FreeSharedBlock(queue->storageHandle_);
    queue->~MidiEventQueue();
    FreeSharedBlock(ownHandle);
}

bool MidiEventQueue::Push(const QueuedEvent& event) {
    // Acquire: the reader has finished with a slot before its count drop is seen here.
    if (count_.load(std::memory_order_acquire) >= capacity_)
        return false;
    *write_ = event;
    if (++write_ == end_)
        write_ = start_;
    // Release: the entry is written before the reader can see it counted.
    count_.fetch_add(1, std::memory_order_release);
    return true;
}

bool MidiEventQueue::Pop(QueuedEvent& event) {
    if (count_.load(std::memory_order_acquire) == 0)
        return false;
    event = *read_;
    if (++read_ == end_)
        read_ = start_;
    count_.fetch_sub(1, std::memory_order_release);
    return true;
}
