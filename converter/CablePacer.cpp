// SPDX-License-Identifier: GPL-3.0-or-later
#include "CablePacer.h"

#include <algorithm>
#include <exception>
#include <numeric>
#include <utility>

CablePacer::CablePacer(Send send, Now now) : send_(std::move(send)), now_(std::move(now)) {}

CablePacer::Clock::duration CablePacer::cableTime(std::size_t bytes) {
    return kByteTime * static_cast<long>(bytes);
}

std::optional<std::uint32_t> CablePacer::key(const Bytes& message) {
    // F0 70 channel code low high F7: per channel and code.
    if (message.size() == 7 && message[0] == 0xF0 && message[1] == 0x70)
        return 0xF00000u | (std::uint32_t{message[2]} << 8) | message[3];
    // Control Change: per channel and controller.
    if (message.size() == 3 && (message[0] & 0xF0) == 0xB0)
        return (std::uint32_t{message[0]} << 8) | message[1];
    return std::nullopt;
}

void CablePacer::setPaced(bool paced) {
    if (!paced)
        flush();
    paced_ = paced;
}

void CablePacer::send(Bytes message) {
    if (!paced_) {
        transmit(message, now_());
        return;
    }
    const auto replaces = key(message);
    auto same = replaces
                    ? std::find_if(waiting_.begin(), waiting_.end(),
                                   [&](const Bytes& waiting) { return key(waiting) == replaces; })
                    : waiting_.end();
    if (same != waiting_.end())
        *same = std::move(message);
    else
        waiting_.push_back(std::move(message));
    sendDue();
}

std::optional<CablePacer::Clock::time_point> CablePacer::nextDue() const {
    if (waiting_.empty())
        return std::nullopt;
    return cableFreeAt_ - kEarly;
}

void CablePacer::sendDue() {
    const auto now = now_();
    if (waiting_.empty() || now < cableFreeAt_ - kEarly)
        return;
    Bytes message = std::move(waiting_.front());
    waiting_.erase(waiting_.begin());
    transmit(message, now);
}

void CablePacer::flush() {
    std::exception_ptr failure;
    while (!waiting_.empty()) {
        Bytes message = std::move(waiting_.front());
        waiting_.erase(waiting_.begin());
        try {
            transmit(message, now_());
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void CablePacer::finished(Clock::time_point at, std::size_t unfinished) {
    unfinished = std::min(unfinished, sentSizes_.size());
    const auto after = std::accumulate(sentSizes_.end() - static_cast<std::ptrdiff_t>(unfinished),
                                       sentSizes_.end(), std::size_t{0});
    cableFreeAt_ = std::max(cableFreeAt_, at + cableTime(after));
}

void CablePacer::transmit(const Bytes& message, Clock::time_point now) {
    send_(message);
    // Only what the port took occupies the cable.
    cableFreeAt_ = std::max(cableFreeAt_, now) + cableTime(message.size());
    if (message.front() == 0xF0) {
        // More than a driver ever holds unfinished.
        constexpr std::size_t kRemembered = 256;
        sentSizes_.push_back(message.size());
        if (sentSizes_.size() > kRemembered)
            sentSizes_.pop_front();
    }
}
