// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI thread's queue of posted messages: a bounded multi-producer, single-consumer ring
// that any thread may push to without locking or allocating. The consumer is woken through one
// file descriptor that becomes readable when a message is waiting.
#pragma once

#include "platform/win32.h"

#include <atomic>
#include <cstddef>
#include <memory>

namespace platform::detail {

struct PostedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class Mailbox {
  public:
    // As many messages as a Windows thread queue holds by default.
    static constexpr std::size_t kCapacity = 10000;

    Mailbox();
    ~Mailbox();
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    // Any thread. False when the mailbox is full.
    bool push(const PostedMessage& message);
    // Consumer thread only. False when nothing is ready.
    bool pop(PostedMessage& message);
    // Consumer thread only: empties the wake-up descriptor before the mailbox is drained.
    void acknowledgeWakeup();
    // Consumer thread only: makes the descriptor readable again (messages were left waiting).
    void rearm();
    int fd() const { return readFd_; }

  private:
    struct Cell {
        std::atomic<std::size_t> sequence;
        PostedMessage message;
    };

    void signal();

    std::unique_ptr<Cell[]> cells_;
    alignas(64) std::atomic<std::size_t> enqueuePos_{0};
    alignas(64) std::size_t dequeuePos_ = 0;
    alignas(64) std::atomic<bool> wakePending_{false};
    int readFd_ = -1;
    int writeFd_ = -1;
};

Mailbox& GuiMailbox();

}  // namespace platform::detail
