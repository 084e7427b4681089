#include "jack_watch.h"

#include <jack/jack.h>

namespace platform::midi {

bool JackWatch::Available() {
    return true;
}

JackWatch::~JackWatch() {
    close();
}

bool JackWatch::connect() {
    if (client_ != nullptr)
        return !down_.load(std::memory_order_acquire);
    down_.store(false, std::memory_order_relaxed);
    client_ = jack_client_open("RDN417 Config watch", JackNoStartServer, nullptr);
    if (client_ == nullptr)
        return false;
    jack_on_info_shutdown(
        client_,
        [](jack_status_t, const char*, void* self) { static_cast<JackWatch*>(self)->wentAway(); },
        this);
    jack_set_port_registration_callback(
        client_,
        [](jack_port_id_t, int, void* self) { static_cast<JackWatch*>(self)->portsChanged(); },
        this);
    if (jack_activate(client_) != 0) {
        close();
        return false;
    }
    return true;
}

std::vector<std::string> JackWatch::ports(bool inputs) const {
    std::vector<std::string> names;
    if (client_ == nullptr || down_.load(std::memory_order_acquire))
        return names;
    const char** found = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                        inputs ? JackPortIsInput : JackPortIsOutput);
    if (found == nullptr)
        return names;
    for (const char** port = found; *port != nullptr; ++port)
        names.emplace_back(*port);
    jack_free(found);
    return names;
}

void JackWatch::wentAway() {
    down_.store(true, std::memory_order_release);
    changed_();
}

bool JackWatch::serverWentAway() {
    if (client_ == nullptr || !down_.load(std::memory_order_acquire))
        return false;
    close();
    return true;
}

void JackWatch::close() {
    if (client_ == nullptr)
        return;
    // A client whose server has gone cannot be deactivated, only closed.
    if (!down_.load(std::memory_order_acquire))
        jack_deactivate(client_);
    jack_client_close(client_);
    client_ = nullptr;
}

}  // namespace platform::midi
