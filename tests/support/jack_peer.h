// SPDX-License-Identifier: GPL-3.0-or-later
// A JACK client of the tests' own, standing for a MIDI device on the other side: it sends
// what it is given through its output port "out" and records what reaches its input "in".
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include <jack/jack.h>

class JackPeer {
  public:
    struct Received {
        std::vector<std::uint8_t> bytes;
        std::chrono::steady_clock::time_point at;
    };

    // Without `receives`, the peer has no input port ("in", or as `input` names it).
    explicit JackPeer(const std::string& name, bool receives = true,
                      const std::string& input = "in");
    ~JackPeer();
    JackPeer(const JackPeer&) = delete;
    JackPeer& operator=(const JackPeer&) = delete;

    bool ok() const { return client_ != nullptr; }
    // Leaves the server as a device that is unplugged does; what it received stays readable.
    void close();
    // Queued for the next JACK cycle.
    void send(std::vector<std::uint8_t> message);
    std::vector<Received> received();
    std::size_t receivedCount();
    // Connects a port of another client to this client's input, or its output to another's
    // (true also when they already are).
    bool connectFrom(const std::string& source);
    bool connectTo(const std::string& destination);
    // Whether JACK has connected the output "out" to a port: what it sends before is lost.
    bool sending() const { return out_ != nullptr && jack_port_connected(out_) > 0; }

  private:
    static int process(jack_nframes_t frames, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    std::string name_;
    std::mutex mutex_;
    std::deque<std::vector<std::uint8_t>> outgoing_;
    std::vector<Received> received_;
};
