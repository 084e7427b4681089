// SPDX-License-Identifier: GPL-3.0-or-later
// JACK's MIDI ports through libjack. The program is one JACK client, named the same at every
// start ("RDN417 Config", or RDN417_CLIENT_NAME), with a port of its own for each open output
// ("out") and input ("in"), connected to the port the user chose.
//
// JACK's real-time thread only copies bytes: from a lock-free ring per output into the port's
// buffer, and from an input port's buffer into a ring per input; it never blocks or allocates.
// A message counts as delivered once that thread has written it into the buffer of a port that
// is connected; one it found unconnected, or that was still queued when the server went away,
// has failed, and the sender hears so. The sending threads wait for room or for that verdict
// only with a deadline.
//
// The server says when ports come and go, connect and disconnect, and when it goes away; a
// watcher thread then lists the ports again (and a few times a second as a back-stop). A client
// whose server went away is given up, never closed: closing it stops its threads wherever they
// are, under a lock that libjack shares between clients, and that lock then stays taken (every
// later open or close in the process hangs). No new client opens for two seconds after, for the
// same reason. What a given-up client holds is left to the process.
#pragma once

#include "../backend.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace platform::midi {

// Whole messages between one writing and one reading thread, without locks: each message is
// a header (a number and a length) and its bytes, written in one piece.
class MessageRing {
  public:
    struct Header {
        std::uint64_t ticket;
        std::uint32_t size;
    };

    explicit MessageRing(std::size_t bytes);
    ~MessageRing();
    MessageRing(const MessageRing&) = delete;
    MessageRing& operator=(const MessageRing&) = delete;

    // The whole message, or nothing when there is no room for it.
    bool push(std::uint64_t ticket, std::span<const std::uint8_t> bytes);
    // The next message's header, when a whole message waits.
    bool peek(Header& header) const;
    // Takes the next message, copying its bytes to `to` (room for header.size), or dropping it.
    void take(const Header& header, std::uint8_t* to);

  private:
    jack_ringbuffer_t* ring_;
};

// The largest message the components send or take, and room for two of them.
constexpr std::size_t kLargestMessage = 65535;
constexpr std::size_t kRingBytes = 4 * (kLargestMessage + sizeof(MessageRing::Header));

// What the real-time thread serves for one open output: the messages to send, in order, and
// its verdicts on them.
struct JackOutputSlot {
    JackOutputSlot();
    ~JackOutputSlot();
    JackOutputSlot(const JackOutputSlot&) = delete;
    JackOutputSlot& operator=(const JackOutputSlot&) = delete;

    // The real-time thread: fills the port's buffer for this cycle.
    void carry(jack_nframes_t frames);

    jack_port_t* port = nullptr;
    MessageRing messages{kRingBytes};
    // The numbers of the messages it could not deliver, oldest first.
    jack_ringbuffer_t* failed;
    std::atomic<bool> failuresLost{false};  // more failures than the ring above holds
    // The number of the last message it dealt with, delivered or not.
    std::atomic<std::uint64_t> taken{0};
    // Set while the output closes: the buffer is only cleared.
    std::atomic<bool> closing{false};
    // The largest message that one cycle's buffer holds; zero before the first cycle.
    std::atomic<std::size_t> largest{0};
};

// What the real-time thread serves for one open input.
struct JackInputSlot {
    // The real-time thread: stores what reached the port in this cycle.
    bool take(jack_nframes_t frames);
    // The reader thread: passes what was stored to the sink.
    void deliver();

    jack_port_t* port = nullptr;
    MessageRing messages{kRingBytes};
    std::shared_ptr<InputSink> sink;
};

// One connection to a server: the client, and what its real-time thread serves. Lives as long
// as the process once its server has gone away (see above).
class JackClient {
  public:
    static constexpr std::size_t kSlots = 8;

    // Null when no server can be reached. `changed` runs whenever ports may have changed or
    // the server went away, on one of libjack's threads.
    static std::shared_ptr<JackClient> open(const std::string& name, void (*changed)(void*),
                                            void* context);
    ~JackClient();

    jack_client_t* handle() const { return client_; }
    bool alive() const { return alive_.load(std::memory_order_acquire); }
    // Cycles the real-time thread has finished.
    std::uint64_t cycles() const { return cycles_.load(std::memory_order_acquire); }
    std::chrono::microseconds cycle() const { return cycle_; }
    // Waits until the real-time thread has finished `count` more cycles, for a second at most,
    // and not at all once the server has gone.
    void awaitCycles(std::uint64_t count) const;

    // The slots the real-time thread serves; a slot index, or -1 when all are taken.
    int attach(JackOutputSlot* slot);
    int attach(JackInputSlot* slot);
    // After these, the real-time thread no longer touches the slot.
    void detach(JackOutputSlot* slot);
    void detach(JackInputSlot* slot);

    // Ports of the server of the given direction, ours left out; empty once it has gone.
    std::vector<std::string> ports(unsigned long flags) const;
    // A MIDI port of ours named `base` ("out"), or "<base>-2" and so on while that is taken;
    // null when none could be made.
    jack_port_t* addPort(const std::string& base, unsigned long flags);
    // Connects `from` to `to`, one of them ours (`own`), and waits, a second at most, until
    // JACK has taken the connection up: it carries nothing on it before. False when it did not.
    bool connect(const std::string& from, const std::string& to, jack_port_t* own) const;

  private:
    JackClient() = default;
    static int process(jack_nframes_t frames, void* self);
    static void shutdown(jack_status_t, const char*, void* self);
    void changed();
    void readInputs();

    jack_client_t* client_ = nullptr;
    std::atomic<bool> alive_{true};
    std::atomic<std::uint64_t> cycles_{0};
    std::chrono::microseconds cycle_{};
    void (*changed_)(void*) = nullptr;
    void* context_ = nullptr;
    std::array<std::atomic<JackOutputSlot*>, kSlots> outputs_{};
    std::array<std::atomic<JackInputSlot*>, kSlots> inputs_{};

    // Input: the real-time thread posts the semaphore after storing messages; the reader
    // thread passes them to each input's sink.
    sem_t inputReady_;
    std::mutex readerMutex_;  // held while the reader uses the input slots
    std::atomic<bool> stopping_{false};
    std::thread reader_;
};

class JackBackend : public Backend {
  public:
    JackBackend();
    ~JackBackend() override;

    std::vector<std::string> outputNames() override;
    std::vector<std::string> inputNames() override;
    MMRESULT openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) override;
    MMRESULT openInput(unsigned index, std::shared_ptr<InputSink> sink,
                       std::unique_ptr<InputConnection>& connection) override;

  private:
    // With mutex_ held: the client of a running server, opened (again) when needed; null when
    // none runs.
    std::shared_ptr<JackClient> client();
    // Lists again and says when the lists changed; the watcher's work.
    void look();
    void watch();
    static void changed(void* self);

    std::mutex mutex_;
    std::shared_ptr<JackClient> client_;
    std::vector<std::shared_ptr<JackClient>> givenUp_;
    std::chrono::steady_clock::time_point quietUntil_;
    bool saidNoServer_ = false;
    std::vector<std::string> lastSeen_;

    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool woken_ = false;
    bool stopping_ = false;
    std::thread watcher_;
};

}  // namespace platform::midi
