// SPDX-License-Identifier: GPL-3.0-or-later
// A JACK client of our own that owns no ports and only listens: it learns when the server goes
// away (RtMidi does not say) and when ports come or go, and lists the ports in one call where
// RtMidi asks the server once for every port. Unused for the other host APIs.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;

namespace platform::midi {

class JackWatch {
  public:
    // False in a build without JACK's development files: JACK's ports are then listed through
    // RtMidi and its server is not followed.
    static bool Available();

    // `changed` runs on JACK's thread whenever the server went away or ports changed.
    explicit JackWatch(std::function<void()> changed) : changed_(std::move(changed)) {}
    ~JackWatch();
    JackWatch(const JackWatch&) = delete;
    JackWatch& operator=(const JackWatch&) = delete;

    // Connects when not connected (the server may have started since), but not within two
    // seconds after a server went away. True while connected to a server that has not gone away.
    bool connect();
    // True once, after the connected server went away; the watch then lets go of its client.
    bool serverWentAway();
    bool connected() const { return client_ != nullptr; }
    // The server's MIDI ports that take input (`inputs`) or give output, in the order RtMidi
    // numbers them; empty while not connected.
    std::vector<std::string> ports(bool inputs) const;
    // The length of one of the server's cycles; zero while not connected.
    std::chrono::microseconds cycle() const;
    // How many ports whose names start with `prefix` are connected to the port named `port`.
    std::size_t connectionsFrom(const std::string& port, const std::string& prefix) const;
    // Waits, for `limit` at most, until more than `before` such ports are: JACK carries nothing
    // on a new connection before the cycle in which the server takes it up, and what a port
    // sends until then is lost without a word.
    void awaitConnectionFrom(const std::string& port, const std::string& prefix, std::size_t before,
                             std::chrono::milliseconds limit) const;

    // JACK's thread.
    void wentAway();
    void portsChanged() { changed_(); }

  private:
    void close();

    std::function<void()> changed_;
    jack_client_t* client_ = nullptr;
    std::atomic<bool> down_{false};
    // No new client before then: those of a server that went away may still be busy.
    std::chrono::steady_clock::time_point quietUntil_;
    // Whether the missing server has been said since the last connection.
    bool saidNoServer_ = false;
};

}  // namespace platform::midi
