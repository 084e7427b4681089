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

// How long a sender waits for room in the ring, for JACK to take up a new connection, or for
// the verdict on a message, before it counts as lost.
constexpr auto kLongestWait = std::chrono::seconds(1);

class JackOutput : public OutputConnection {
  public:
    JackOutput(std::shared_ptr<JackClient> client, std::unique_ptr<JackOutputSlot> slot)
        : client_(std::move(client)), slot_(std::move(slot)) {}

    // The port's buffer keeps what was last written into it until a cycle clears it, and the
    // server reads it in every cycle while the port is connected: so the port is emptied and
    // disconnected before the real-time thread lets go of it.
    ~JackOutput() override {
        slot_->closing.store(true, std::memory_order_release);
        if (client_->alive()) {
            client_->awaitCycles(1);
            jack_port_disconnect(client_->handle(), slot_->port);
        }
        client_->detach(slot_.get());
        if (client_->alive())
            jack_port_unregister(client_->handle(), slot_->port);
    }

    MMRESULT send(std::span<const std::uint8_t> bytes) override {
        if (!client_->alive() || jack_port_connected(slot_->port) == 0)
            return MIDIERR_NODEVICE;
        // Longer than one cycle's buffer can hold, it could never be delivered whole.
        const std::size_t largest = slot_->largest.load(std::memory_order_acquire);
        if (largest > 0 && bytes.size() > largest)
            return MMSYSERR_NOTSUPPORTED;
        const std::uint64_t ticket = sent_ + 1;
        const auto deadline = Clock::now() + kLongestWait;
        while (!slot_->messages.push(ticket, bytes)) {
            if (!client_->alive() || Clock::now() >= deadline)
                return MIDIERR_NODEVICE;
            std::this_thread::sleep_for(nap());
        }
        sent_ = ticket;
        open_.push_back({ticket, Clock::now() + kLongestWait});
        return MMSYSERR_NOERROR;
    }

    std::function<std::optional<MMRESULT>()> outcomeOfLast() override {
        return [this, ticket = sent_] { return outcome(ticket); };
    }

    std::chrono::microseconds askAgainAfter() const override { return nap(); }

  private:
    std::chrono::microseconds nap() const {
        return std::clamp(client_->cycle() / 4, std::chrono::microseconds(100),
                          std::chrono::microseconds(5000));
    }

    // The delivery thread: what became of message `ticket`, once known.
    std::optional<MMRESULT> outcome(std::uint64_t ticket) {
        std::uint64_t failed = 0;
        while (jack_ringbuffer_read(slot_->failed, reinterpret_cast<char*>(&failed),
                                    sizeof failed) == sizeof failed)
            failed_.insert(failed);
        const std::uint64_t taken = slot_->taken.load(std::memory_order_acquire);
        while (!open_.empty() && open_.front().ticket <= taken)
            open_.pop_front();
        if (ticket <= taken) {
            if (failed_.erase(ticket) > 0 || slot_->failuresLost.load(std::memory_order_acquire))
                return MIDIERR_NODEVICE;
            return MMSYSERR_NOERROR;
        }
        // Still queued: lost with the server, or with cycles that stopped coming.
        const bool late =
            !open_.empty() && Clock::now() >= open_[ticket - open_.front().ticket].deadline;
        if (!client_->alive() || late)
            return MIDIERR_NODEVICE;
        return std::nullopt;
    }

    struct Open {
        std::uint64_t ticket;
        Clock::time_point deadline;
    };

    std::shared_ptr<JackClient> client_;
    std::unique_ptr<JackOutputSlot> slot_;
    // The delivery thread's own: the last message number given, the failures heard of, and
    // the messages not yet settled, oldest first.
    std::uint64_t sent_ = 0;
    std::set<std::uint64_t> failed_;
    std::deque<Open> open_;
};

}  // namespace

JackOutputSlot::JackOutputSlot() : failed(jack_ringbuffer_create(4096 * sizeof(std::uint64_t))) {
    if (failed == nullptr)
        throw std::bad_alloc();
    jack_ringbuffer_mlock(failed);
}

JackOutputSlot::~JackOutputSlot() {
    jack_ringbuffer_free(failed);
}

void JackOutputSlot::carry(jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    if (closing.load(std::memory_order_acquire))
        return;
    largest.store(jack_midi_max_event_size(buffer), std::memory_order_release);
    const bool connected = jack_port_connected(port) > 0;
    MessageRing::Header header{};
    while (messages.peek(header)) {
        bool delivered = false;
        if (connected) {
            jack_midi_data_t* to = jack_midi_event_reserve(buffer, 0, header.size);
            // What does not fit waits for the next cycle, unless it fits no cycle at all.
            if (to == nullptr && jack_midi_get_event_count(buffer) > 0)
                break;
            messages.take(header, to);
            delivered = to != nullptr;
        } else {
            messages.take(header, nullptr);
        }
        if (!delivered &&
            jack_ringbuffer_write(failed, reinterpret_cast<const char*>(&header.ticket),
                                  sizeof header.ticket) != sizeof header.ticket)
            failuresLost.store(true, std::memory_order_release);
        taken.store(header.ticket, std::memory_order_release);
    }
}

MMRESULT JackBackend::openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) {
    std::lock_guard lock(mutex_);
    const auto current = client();
    if (!current)
        return MIDIERR_NODEVICE;
    const std::vector<std::string> ports = current->ports(JackPortIsInput);
    if (index >= ports.size())
        return MMSYSERR_BADDEVICEID;
    auto slot = std::make_unique<JackOutputSlot>();
    // Until the first cycle tells, what a port's buffer holds less room for the buffer's own
    // bookkeeping.
    const std::size_t buffer =
        jack_port_type_get_buffer_size(current->handle(), JACK_DEFAULT_MIDI_TYPE);
    slot->largest.store(buffer > 64 ? buffer - 64 : 0, std::memory_order_relaxed);
    slot->port = current->addPort("out", JackPortIsOutput);
    if (slot->port == nullptr)
        return MMSYSERR_NOMEM;
    if (current->attach(slot.get()) < 0) {
        jack_port_unregister(current->handle(), slot->port);
        return MMSYSERR_ALLOCATED;
    }
    if (!current->connect(jack_port_name(slot->port), ports[index], slot->port)) {
        current->detach(slot.get());
        jack_port_unregister(current->handle(), slot->port);
        return MIDIERR_NODEVICE;
    }
    connection = std::make_unique<JackOutput>(current, std::move(slot));
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
