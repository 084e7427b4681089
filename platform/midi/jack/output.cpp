// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_backend.h"

#include <jack/midiport.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <set>
#include <string>

namespace platform::midi {
namespace {

using Clock = std::chrono::steady_clock;

// How long a sender waits for room in the ring, or for the real-time thread to take anything
// of what waits, before the message counts as lost.
constexpr auto kLongestWait = std::chrono::seconds(1);

// The frames that a DIN cable (31250 bits a second, ten bits a byte) takes for `bytes`.
jack_nframes_t CableFrames(std::size_t bytes, jack_nframes_t rate) {
    return static_cast<jack_nframes_t>((bytes * 10 * std::uint64_t{rate} + 31249) / 31250);
}

// Frame times wrap around; their differences are small.
std::int32_t FramesBetween(jack_nframes_t from, jack_nframes_t to) {
    return static_cast<std::int32_t>(to - from);
}

class JackOutput : public OutputConnection {
  public:
    explicit JackOutput(std::shared_ptr<JackClient> client)
        : client_(std::move(client)), slot_(client_->output()) {}

    // What is still queued is dropped, our connection goes, and others' connections to the
    // port stay.
    ~JackOutput() override {
        slot_.discardThrough.store(slot_.sent.load(std::memory_order_acquire),
                                   std::memory_order_release);
        client_->disconnectOutput();
        slot_.inUse.store(false, std::memory_order_release);
    }

    MMRESULT send(std::span<const std::uint8_t> bytes) override {
        if (!client_->alive() || !client_->outputReaches())
            return MIDIERR_NODEVICE;
        // Longer than one cycle's buffer can hold, it could never be delivered whole.
        if (slot_.largest.load(std::memory_order_acquire) == 0)
            client_->awaitCycles(1);
        const std::size_t largest = slot_.largest.load(std::memory_order_acquire);
        if (largest == 0 || bytes.size() > largest)
            return largest == 0 ? MIDIERR_NODEVICE : MMSYSERR_NOTSUPPORTED;
        const std::uint64_t ticket = slot_.sent.load(std::memory_order_relaxed) + 1;
        if (slot_.taken.load(std::memory_order_acquire) + 1 == ticket)
            lastProgress_ = Clock::now();
        const jack_nframes_t now = client_->frameTime();
        while (!slot_.messages.push(ticket, bytes, now)) {
            if (!client_->alive() || stalled())
                return MIDIERR_NODEVICE;
            std::this_thread::sleep_for(nap());
        }
        slot_.sent.store(ticket, std::memory_order_release);
        return MMSYSERR_NOERROR;
    }

    std::function<std::optional<MMRESULT>()> outcomeOfLast() override {
        return
            [this, ticket = slot_.sent.load(std::memory_order_relaxed)] { return outcome(ticket); };
    }

    std::chrono::microseconds askAgainAfter() const override { return nap(); }

    // A connection removed in a patchbay may be made again: the port is not lost while its
    // server runs.
    bool reconnects() const override { return client_->alive(); }

  private:
    std::chrono::microseconds nap() const {
        return std::clamp(client_->cycle() / 4, std::chrono::microseconds(100),
                          std::chrono::microseconds(5000));
    }

    // The delivery thread: whether the real-time thread has taken nothing for a while, the
    // cycles having stopped (a queue that the cable's spacing makes long still moves).
    bool stalled() {
        const std::uint64_t taken = slot_.taken.load(std::memory_order_acquire);
        if (taken != lastTaken_) {
            lastTaken_ = taken;
            lastProgress_ = Clock::now();
        }
        return Clock::now() - lastProgress_ >= kLongestWait;
    }

    // The delivery thread: what became of message `ticket`, once known.
    std::optional<MMRESULT> outcome(std::uint64_t ticket) {
        MessageRing::Header failed{};
        while (slot_.failed.peek(failed)) {
            slot_.failed.take(failed, nullptr);
            failed_.insert(failed.ticket);
        }
        if (ticket <= slot_.taken.load(std::memory_order_acquire)) {
            // The numbers the ring could not hold failed once, up to where it overflowed.
            const bool overflowed = ticket <= slot_.failedThrough.load(std::memory_order_acquire);
            const bool failed = failed_.erase(ticket) > 0;
            failed_.erase(failed_.begin(), failed_.upper_bound(ticket));
            return failed || overflowed ? MIDIERR_NODEVICE : MMSYSERR_NOERROR;
        }
        // Still queued: lost with the server, or with cycles that stopped coming.
        if (!client_->alive() || stalled())
            return MIDIERR_NODEVICE;
        return std::nullopt;
    }

    std::shared_ptr<JackClient> client_;
    JackOutputSlot& slot_;
    // The delivery thread's own: the failures heard of, and when the real-time thread last
    // took a message.
    std::set<std::uint64_t> failed_;
    std::uint64_t lastTaken_ = 0;
    Clock::time_point lastProgress_ = Clock::now();
};

}  // namespace

void JackOutputSlot::carry(jack_nframes_t frames, jack_nframes_t start, jack_nframes_t rate) {
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    largest.store(jack_midi_max_event_size(buffer), std::memory_order_release);
    const bool reaches = connected.load(std::memory_order_acquire) && jack_port_connected(port) > 0;
    const std::uint64_t discard = discardThrough.load(std::memory_order_acquire);
    // A second after the last message, its spacing no longer matters (frame times wrap).
    if (placedOne_ && FramesBetween(lastEnd_, start) > static_cast<std::int32_t>(rate))
        placedOne_ = false;
    std::int32_t floor = 0;  // the events of one buffer go in time order
    MessageRing::Header header{};
    while (messages.peek(header)) {
        bool delivered = false;
        if (reaches && header.ticket > discard) {
            // One period after it was sent, at the same place in the cycle. A message sent well
            // after the one before was paced: it keeps at least the cable's time for that one
            // after it, whatever delays the sending threads had; one sent right after it came
            // in one burst from a sender that does not pace, and keeps that spacing.
            std::int32_t at = FramesBetween(start, header.time + frames);
            if (placedOne_ && 2 * FramesBetween(lastSentAt_, header.time) >=
                                  static_cast<std::int32_t>(lastCable_))
                at = std::max(at, FramesBetween(start, lastEnd_));
            at = std::max(at, floor);
            if (at >= static_cast<std::int32_t>(frames))
                break;  // a later cycle's
            jack_midi_data_t* to =
                jack_midi_event_reserve(buffer, static_cast<jack_nframes_t>(at), header.size);
            // What does not fit waits for the next cycle, unless it fits no cycle at all.
            if (to == nullptr && jack_midi_get_event_count(buffer) > 0)
                break;
            messages.take(header, to);
            delivered = to != nullptr;
            if (delivered) {
                floor = at;
                placedOne_ = true;
                lastSentAt_ = header.time;
                lastCable_ = CableFrames(header.size, rate);
                lastEnd_ = start + static_cast<jack_nframes_t>(at) + lastCable_;
            }
        } else {
            messages.take(header, nullptr);
        }
        if (!delivered && !failed.push(header.ticket, {}))
            failedThrough.store(header.ticket, std::memory_order_release);
        taken.store(header.ticket, std::memory_order_release);
    }
}

MMRESULT JackBackend::openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) {
    std::shared_ptr<JackClient> current;
    std::string target;
    if (const MMRESULT found = findPort(index, JackPortIsInput, current, target))
        return found;
    JackOutputSlot& slot = current->output();
    if (slot.inUse.exchange(true, std::memory_order_acq_rel))
        return MMSYSERR_ALLOCATED;
    if (!current->connectOutput(target)) {
        current->disconnectOutput();
        slot.inUse.store(false, std::memory_order_release);
        return MIDIERR_NODEVICE;
    }
    connection = std::make_unique<JackOutput>(current);
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
