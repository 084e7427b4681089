// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_backend.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace platform::midi {

MessageRing::MessageRing(std::size_t bytes) : bytes_(bytes) {
    locked_ = mlock(bytes_.data(), bytes_.size()) == 0;
}

MessageRing::~MessageRing() {
    if (locked_)
        munlock(bytes_.data(), bytes_.size());
}

void MessageRing::copyIn(std::uint64_t at, const void* from, std::size_t size) {
    const auto* source = static_cast<const std::uint8_t*>(from);
    const std::size_t start = at % bytes_.size();
    const std::size_t first = std::min(size, bytes_.size() - start);
    std::memcpy(bytes_.data() + start, source, first);
    std::memcpy(bytes_.data(), source + first, size - first);
}

void MessageRing::copyOut(std::uint64_t at, void* to, std::size_t size) const {
    auto* target = static_cast<std::uint8_t*>(to);
    const std::size_t start = at % bytes_.size();
    const std::size_t first = std::min(size, bytes_.size() - start);
    std::memcpy(target, bytes_.data() + start, first);
    std::memcpy(target + first, bytes_.data(), size - first);
}

bool MessageRing::push(std::uint64_t ticket, std::span<const std::uint8_t> bytes,
                       std::uint32_t time) {
    const Header header{ticket, static_cast<std::uint32_t>(bytes.size()), time};
    const std::uint64_t at = written_.load(std::memory_order_relaxed);
    const std::uint64_t room = bytes_.size() - (at - read_.load(std::memory_order_acquire));
    if (room < sizeof header + bytes.size())
        return false;
    copyIn(at, &header, sizeof header);
    copyIn(at + sizeof header, bytes.data(), bytes.size());
    written_.store(at + sizeof header + bytes.size(), std::memory_order_release);
    return true;
}

bool MessageRing::peek(Header& header) const {
    const std::uint64_t at = read_.load(std::memory_order_relaxed);
    const std::uint64_t waiting = written_.load(std::memory_order_acquire) - at;
    if (waiting < sizeof header)
        return false;
    copyOut(at, &header, sizeof header);
    return waiting >= sizeof header + header.size;
}

void MessageRing::take(const Header& header, std::uint8_t* to) {
    const std::uint64_t at = read_.load(std::memory_order_relaxed);
    if (to != nullptr)
        copyOut(at + sizeof header, to, header.size);
    read_.store(at + sizeof header + header.size, std::memory_order_release);
}

}  // namespace platform::midi
