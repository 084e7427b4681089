#include "jack_watch.h"

#include "rtmidi_backend.h"

#include <jack/jack.h>

#include <chrono>

namespace platform::midi {
namespace {

// After the server went away the threads of its clients may still be handling its last notices
// under a lock that libjack shares between clients. The next client opened makes libjack clean
// up the dead ones, stopping those threads wherever they are, and a lock they held then stays
// taken for good: every later open or close in the process hangs. So no client is opened until
// the dead ones have long finished.
constexpr auto kQuietAfterServer = std::chrono::seconds(2);

}  // namespace

bool JackWatch::Available() {
    return true;
}

JackWatch::~JackWatch() {
    close();
}

bool JackWatch::connect() {
    if (client_ != nullptr)
        return !down_.load(std::memory_order_acquire);
    if (std::chrono::steady_clock::now() < quietUntil_)
        return false;
    down_.store(false, std::memory_order_relaxed);
    client_ = jack_client_open((RtMidiBackend::ClientName() + " watch").c_str(), JackNoStartServer,
                               nullptr);
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
    quietUntil_ = std::chrono::steady_clock::now() + kQuietAfterServer;
    return true;
}

void JackWatch::close() {
    if (client_ == nullptr)
        return;
    // A client whose server has gone is given up, never closed: closing stops its threads
    // wherever they are, as the cleanup above does (see rtmidi_backend.h).
    if (!down_.load(std::memory_order_acquire)) {
        jack_deactivate(client_);
        jack_client_close(client_);
    }
    client_ = nullptr;
}

}  // namespace platform::midi
