// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_backend.h"
#include "platform/short_message.h"

#include <jack/midiport.h>

#include <string>

namespace platform::midi {
namespace {

class JackInput : public InputConnection {
  public:
    explicit JackInput(std::shared_ptr<JackClient> client) : client_(std::move(client)) {}

    // No sink call follows: the reader lets go of the sink before this returns.
    ~JackInput() override {
        client_->listen(nullptr);
        client_->disconnectInput();
        client_->input().inUse.store(false, std::memory_order_release);
    }

  private:
    std::shared_ptr<JackClient> client_;
};

}  // namespace

bool JackInputSlot::take(jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(port, frames);
    if (!listening.load(std::memory_order_acquire))
        return false;
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        // What finds no room is dropped, as a full input buffer drops it.
        if (jack_midi_event_get(&event, buffer, i) == 0 && event.size > 0)
            messages.push(0, std::span(event.buffer, event.size));
    }
    return count > 0;
}

void JackInputSlot::deliver() {
    MessageRing::Header header{};
    while (messages.peek(header)) {
        Bytes bytes(header.size);
        messages.take(header, bytes.data());
        if (bytes.front() == 0xF0)
            sink->sysex(std::move(bytes), std::nullopt);
        else
            sink->shortMessage(platform::PackShortMessage(bytes), std::nullopt);
    }
}

MMRESULT JackBackend::openInput(unsigned index, std::shared_ptr<InputSink> sink,
                                std::unique_ptr<InputConnection>& connection) {
    std::shared_ptr<JackClient> current;
    std::string source;
    if (const MMRESULT found = findPort(index, JackPortIsOutput, current, source))
        return found;
    if (current->input().inUse.exchange(true, std::memory_order_acq_rel))
        return MMSYSERR_ALLOCATED;
    current->listen(std::move(sink));
    if (!current->connectInput(source)) {
        current->listen(nullptr);
        current->disconnectInput();
        current->input().inUse.store(false, std::memory_order_release);
        return MIDIERR_NODEVICE;
    }
    connection = std::make_unique<JackInput>(current);
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
