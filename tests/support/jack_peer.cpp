// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_peer.h"

#include <jack/midiport.h>

#include <cerrno>

JackPeer::JackPeer(const std::string& name, bool receives, const std::string& input) : name_(name) {
    client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (client_ == nullptr)
        return;
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (receives)
        in_ =
            jack_port_register(client_, input.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, &JackPeer::process, this);
    if (out_ == nullptr || (receives && in_ == nullptr) || jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackPeer::~JackPeer() {
    close();
}

void JackPeer::close() {
    if (client_ == nullptr)
        return;
    jack_deactivate(client_);
    jack_client_close(client_);
    client_ = nullptr;
    out_ = in_ = nullptr;
}

void JackPeer::send(std::vector<std::uint8_t> message) {
    std::lock_guard lock(mutex_);
    outgoing_.push_back(std::move(message));
}

std::vector<JackPeer::Received> JackPeer::received() {
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t JackPeer::receivedCount() {
    std::lock_guard lock(mutex_);
    return received_.size();
}

bool JackPeer::connectFrom(const std::string& source) {
    const int result = jack_connect(client_, source.c_str(), (name_ + ":in").c_str());
    return result == 0 || result == EEXIST;
}

bool JackPeer::connectTo(const std::string& destination) {
    const int result = jack_connect(client_, (name_ + ":out").c_str(), destination.c_str());
    return result == 0 || result == EEXIST;
}

// JACK's thread. A test peer may lock: the server runs without real-time scheduling here.
int JackPeer::process(jack_nframes_t frames, void* self) {
    auto* peer = static_cast<JackPeer*>(self);
    void* outBuffer = jack_port_get_buffer(peer->out_, frames);
    jack_midi_clear_buffer(outBuffer);
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(peer->mutex_);
    while (!peer->outgoing_.empty()) {
        const auto& message = peer->outgoing_.front();
        if (jack_midi_event_write(outBuffer, 0, message.data(), message.size()) != 0)
            break;
        peer->outgoing_.pop_front();
    }
    if (peer->in_ == nullptr)
        return 0;
    void* inBuffer = jack_port_get_buffer(peer->in_, frames);
    const jack_nframes_t count = jack_midi_get_event_count(inBuffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, inBuffer, i) == 0)
            peer->received_.push_back({{event.buffer, event.buffer + event.size}, now});
    }
    return 0;
}
