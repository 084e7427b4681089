// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailbox.h"

#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/eventfd.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace platform::detail {

Mailbox::Mailbox() : cells_(std::make_unique<Cell[]>(kCapacity)) {
    for (std::size_t i = 0; i < kCapacity; ++i)
        cells_[i].sequence.store(i, std::memory_order_relaxed);
#ifdef __linux__
    readFd_ = writeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const bool ok = readFd_ >= 0;
#else
    int fds[2];
    const bool ok = pipe(fds) == 0;
    if (ok) {
        readFd_ = fds[0];
        writeFd_ = fds[1];
        for (int fd : fds) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
#endif
    if (!ok) {
        // Without a wake-up descriptor no posted message could ever be delivered.
        std::perror("rdn417: cannot create the posted-message descriptor");
        std::abort();
    }
}

Mailbox::~Mailbox() {
    if (writeFd_ != readFd_)
        close(writeFd_);
    close(readFd_);
}

bool Mailbox::push(const PostedMessage& message) {
    std::size_t pos = enqueuePos_.load(std::memory_order_relaxed);
    Cell* cell;
    for (;;) {
        cell = &cells_[pos % kCapacity];
        const std::size_t sequence = cell->sequence.load(std::memory_order_acquire);
        const auto diff = static_cast<std::intptr_t>(sequence) - static_cast<std::intptr_t>(pos);
        if (diff == 0) {
            if (enqueuePos_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
                break;
        } else if (diff < 0) {
            return false;
        } else {
            pos = enqueuePos_.load(std::memory_order_relaxed);
        }
    }
    cell->message = message;
    cell->sequence.store(pos + 1, std::memory_order_release);
    // Only the first message after the consumer's last acknowledgement writes to the
    // descriptor; the exchange orders this push before the consumer's next drain.
    if (!wakePending_.exchange(true, std::memory_order_acq_rel))
        signal();
    return true;
}

bool Mailbox::pop(PostedMessage& message) {
    Cell& cell = cells_[dequeuePos_ % kCapacity];
    const std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
    if (sequence != dequeuePos_ + 1)
        return false;
    message = cell.message;
    cell.sequence.store(dequeuePos_ + kCapacity, std::memory_order_release);
    ++dequeuePos_;
    return true;
}

void Mailbox::acknowledgeWakeup() {
    std::uint64_t drained;
    while (read(readFd_, &drained, sizeof drained) > 0) {
    }
    wakePending_.exchange(false, std::memory_order_acq_rel);
}

void Mailbox::rearm() {
    if (!wakePending_.exchange(true, std::memory_order_acq_rel))
        signal();
}

void Mailbox::signal() {
    const std::uint64_t one = 1;
    // A full pipe is already readable, so EAGAIN loses nothing.
    while (write(writeFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

Mailbox& GuiMailbox() {
    static Mailbox mailbox;
    return mailbox;
}

}  // namespace platform::detail
