// SPDX-License-Identifier: GPL-3.0-or-later
// The input ring buffer, in shared blocks: the driver callback pushes on the platform's thread,
// the GUI thread reads. One producer and one consumer, no locks: the count is the only field
// both threads write, and it orders each entry's contents between them.
#pragma once

#include "platform/win32.h"

#include <atomic>
#include <cstdint>

// One queued event. Addresses are pointer-sized, so an entry is 16 bytes on 64-bit hosts.
struct QueuedEvent {
    DWORD timestamp;     // milliseconds since the port was started
    DWORD shortMessage;  // status in the low byte; 0 for System Exclusive
    LPMIDIHDR header;    // the returned receive buffer for System Exclusive, else null
};

class MidiEventQueue {
  public:
    // The most entries that fit one shared block.
    static constexpr std::uint16_t kMaxCapacity = 65535 / sizeof(QueuedEvent);

    // A queue of `capacity` entries (limited to kMaxCapacity), or null when it cannot be
    // allocated or the capacity is 0.
    static MidiEventQueue* Create(std::uint16_t capacity);
    // Frees both blocks; nothing for null.
    static void Destroy(MidiEventQueue* queue);

    // Callback thread. False, storing nothing, when the queue is full.
    bool Push(const QueuedEvent& event);
    // GUI thread. False when the queue is empty.
    bool Pop(QueuedEvent& event);

    std::uint16_t Count() const { return count_.load(std::memory_order_acquire); }
    std::uint16_t Capacity() const { return capacity_; }

  private:
    MidiEventQueue() = default;

    HGLOBAL ownHandle_ = nullptr;
    HGLOBAL storageHandle_ = nullptr;
    QueuedEvent* start_ = nullptr;
    QueuedEvent* end_ = nullptr;
    QueuedEvent* write_ = nullptr;  // callback thread only
    QueuedEvent* read_ = nullptr;   // GUI thread only
    std::uint16_t capacity_ = 0;
    std::atomic<std::uint16_t> count_{0};
};
