// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_backend.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace platform::midi {

MessageRing::MessageRing(std::size_t bytes) : ring_(jack_ringbuffer_create(bytes)) {
    if (ring_ == nullptr)
        throw std::bad_alloc();
    jack_ringbuffer_mlock(ring_);
}

MessageRing::~MessageRing() {
    jack_ringbuffer_free(ring_);
}

bool MessageRing::push(std::uint64_t ticket, std::span<const std::uint8_t> bytes,
                       std::uint32_t time) {
    const Header header{ticket, static_cast<std::uint32_t>(bytes.size()), time};
    if (jack_ringbuffer_write_space(ring_) < sizeof header + bytes.size())
        return false;
    // jack_ringbuffer_write publishes what it wrote at once, so the reader could see a header
    // before its body: both are copied into the free space first and published together.
    jack_ringbuffer_data_t free[2];
    jack_ringbuffer_get_write_vector(ring_, free);
    const auto put = [&](const void* from, std::size_t size, std::size_t at) {
        const auto* source = static_cast<const char*>(from);
        for (std::size_t done = 0; done < size;) {
            std::size_t offset = at + done;
            const int part = offset < free[0].len ? 0 : 1;
            if (part == 1)
                offset -= free[0].len;
            const std::size_t room = free[part].len - offset;
            const std::size_t now = std::min(room, size - done);
            std::memcpy(free[part].buf + offset, source + done, now);
            done += now;
        }
    };
    put(&header, sizeof header, 0);
    put(bytes.data(), bytes.size(), sizeof header);
    jack_ringbuffer_write_advance(ring_, sizeof header + bytes.size());
    return true;
}

bool MessageRing::peek(Header& header) const {
    if (jack_ringbuffer_read_space(ring_) < sizeof header)
        return false;
    jack_ringbuffer_peek(ring_, reinterpret_cast<char*>(&header), sizeof header);
    return jack_ringbuffer_read_space(ring_) >= sizeof header + header.size;
}

void MessageRing::take(const Header& header, std::uint8_t* to) {
    jack_ringbuffer_read_advance(ring_, sizeof header);
    if (to != nullptr)
        jack_ringbuffer_read(ring_, reinterpret_cast<char*>(to), header.size);
    else
        jack_ringbuffer_read_advance(ring_, header.size);
}

}  // namespace platform::midi
