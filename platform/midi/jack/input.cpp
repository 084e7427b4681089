// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_backend.h"
#include "platform/short_message.h"

#include <jack/midiport.h>

#include <string>

namespace platform::midi {
namespace {

class JackInput : public InputConnection {
  public:
    JackInput(std::shared_ptr<JackClient> client, std::unique_ptr<JackInputSlot> slot)
        : client_(std::move(client)), slot_(std::move(slot)) {}

    ~JackInput() override {
        client_->detach(slot_.get());
        if (client_->alive())
            jack_port_unregister(client_->handle(), slot_->port);
    }

  private:
    std::shared_ptr<JackClient> client_;
    std::unique_ptr<JackInputSlot> slot_;
};

}  // namespace

bool JackInputSlot::take(jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(port, frames);
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
    std::lock_guard lock(mutex_);
    const auto current = client();
    if (!current)
        return MIDIERR_NODEVICE;
    const std::vector<std::string> ports = current->ports(JackPortIsOutput);
    if (index >= ports.size())
        return MMSYSERR_BADDEVICEID;
    auto slot = std::make_unique<JackInputSlot>();
    slot->sink = std::move(sink);
    slot->port = current->addPort("in", JackPortIsInput);
    if (slot->port == nullptr)
        return MMSYSERR_NOMEM;
    if (current->attach(slot.get()) < 0) {
        jack_port_unregister(current->handle(), slot->port);
        return MMSYSERR_ALLOCATED;
    }
    if (!current->connect(ports[index], jack_port_name(slot->port), slot->port)) {
        current->detach(slot.get());
        jack_port_unregister(current->handle(), slot->port);
        return MIDIERR_NODEVICE;
    }
    connection = std::make_unique<JackInput>(current, std::move(slot));
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
