// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_watch.h"

#include "rtmidi_backend.h"

#include <jack/jack.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

namespace platform::midi {
namespace {

// After the server went away the threads of its clients may still be handling its last notices
// under a lock that libjack shares between clients. The next client opened makes libjack clean
// up the dead ones, stopping those threads wherever they are, and a lock they held then stays
// taken for good: every later open or close in the process hangs. So no client is opened until
// the dead ones have long finished.
constexpr auto kQuietAfterServer = std::chrono::seconds(2);

// libjack prints a few lines each time a client cannot reach a server, which the watcher tries
// a few times a second while JACK is chosen: those lines go, and the watch says once instead.
void silenceLibjack() {
    static const bool silenced = [] {
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
        return true;
    }();
    static_cast<void>(silenced);
}

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
    silenceLibjack();
    client_ = jack_client_open((RtMidiBackend::ClientName() + " watch").c_str(), JackNoStartServer,
                               nullptr);
    if (client_ == nullptr) {
        if (!std::exchange(saidNoServer_, true))
            std::fprintf(stderr,
                         "rdn417: no JACK server to connect to; its ports are listed "
                         "once one runs\n");
        return false;
    }
    saidNoServer_ = false;
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

std::chrono::microseconds JackWatch::cycle() const {
    if (client_ == nullptr || down_.load(std::memory_order_acquire))
        return {};
    const jack_nframes_t rate = jack_get_sample_rate(client_);
    return rate == 0 ? std::chrono::microseconds{}
                     : std::chrono::microseconds(jack_get_buffer_size(client_) * 1000000LL / rate);
}

std::size_t JackWatch::connectionsFrom(const std::string& port, const std::string& prefix) const {
    if (client_ == nullptr || down_.load(std::memory_order_acquire))
        return 0;
    jack_port_t* found = jack_port_by_name(client_, port.c_str());
    if (found == nullptr)
        return 0;
    const char** connected = jack_port_get_all_connections(client_, found);
    if (connected == nullptr)
        return 0;
    std::size_t count = 0;
    for (const char** name = connected; *name != nullptr; ++name)
        count += std::string(*name).rfind(prefix, 0) == 0 ? 1 : 0;
    jack_free(connected);
    return count;
}

void JackWatch::awaitConnectionFrom(const std::string& port, const std::string& prefix,
                                    std::size_t before, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (connectionsFrom(port, prefix) <= before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
