// SPDX-License-Identifier: GPL-3.0-or-later
// JACK's MIDI ports through libjack. The program is one JACK client, named the same at every
// start ("RDN417 Config", or RDN417_CLIENT_NAME), with one output port "out" and one input port
// "in" for the client's whole life, as a patchbay or a session manager expects of a JACK client:
// opening a port of the program connects ours to it, closing disconnects that connection only,
// and connections that others made to ours stay as they are.
//
// JACK's real-time thread only copies bytes: from a lock-free ring into the output port's
// buffer, and from the input port's buffer into another; it never blocks or allocates. One
// output and one input of the program are open at a time.
// A message counts as delivered once that thread has written it into the port's buffer while
// the port is connected to the chosen one; one it found unconnected, or that was still queued
// when the server went away, has failed, and the sender hears so. A connection that comes back
// makes sends work again. Each message is written at the frame offset at which it was sent,
// one period later, so that the spacing of a paced sender reaches the peers. The sending
// threads wait for room or for that verdict only with a deadline, and every call that waits for
// the server has one too (deadline.h).
//
// The server says when ports come and go, connect and disconnect, and when it goes away; a
// watcher thread then lists the ports again (and a few times a second as a back-stop). A client
// whose server went away is given up, never closed: closing it stops its threads wherever they
// are, under a lock that libjack shares between clients, and that lock then stays taken (every
// later open or close in the process hangs). No new client opens for two seconds after, for the
// same reason. What a given-up client holds (all that its real-time and notification threads
// touch) is kept for the rest of the process, so those threads never meet freed memory; a
// client that is closed frees it only once jack_client_close has returned.
#pragma once

#include "../backend.h"

#include <jack/jack.h>
#include <semaphore.h>

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
// a header (a number, a length and a time) and its bytes, published in one piece by the write
// position (release) that the reader loads (acquire). The memory is locked, so the real-time
// thread never waits for a page.
class MessageRing {
  public:
    struct Header {
        std::uint64_t ticket;
        std::uint32_t size;
        std::uint32_t time;  // the frame time at which it was sent
    };

    explicit MessageRing(std::size_t bytes);
    ~MessageRing();
    MessageRing(const MessageRing&) = delete;
    MessageRing& operator=(const MessageRing&) = delete;

    // The whole message, or nothing when there is no room for it.
    bool push(std::uint64_t ticket, std::span<const std::uint8_t> bytes, std::uint32_t time = 0);
    // The next message's header, when a whole message waits.
    bool peek(Header& header) const;
    // Takes the next message, copying its bytes to `to` (room for header.size), or dropping it.
    void take(const Header& header, std::uint8_t* to);

  private:
    // Copies between the ring at position `at` (it wraps) and plain memory.
    void copyIn(std::uint64_t at, const void* from, std::size_t size);
    void copyOut(std::uint64_t at, void* to, std::size_t size) const;

    std::vector<std::uint8_t> bytes_;
    bool locked_ = false;
    // Positions since the start, never wrapped: written by the writer, and by the reader.
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> read_{0};
};

// The largest message the components send or take, and room for two of them.
constexpr std::size_t kLargestMessage = 65535;
constexpr std::size_t kRingBytes = 4 * (kLargestMessage + sizeof(MessageRing::Header));

// The program's output port and what the real-time thread sends through it: the messages in
// order, and its verdicts on them. Lives as long as the client.
struct JackOutputSlot {
    // The real-time thread: fills the port's buffer for the cycle that began at `start`.
    void carry(jack_nframes_t frames, jack_nframes_t start, jack_nframes_t rate);

    jack_port_t* port = nullptr;
    MessageRing messages{kRingBytes};
    // The numbers of the messages it could not deliver, oldest first (headers without bytes).
    MessageRing failed{4096 * sizeof(MessageRing::Header)};
    // Where the ring above overflowed: every message up to this number whose verdict it could
    // not hold has failed.
    std::atomic<std::uint64_t> failedThrough{0};
    // The number of the last message it dealt with, delivered or not.
    std::atomic<std::uint64_t> taken{0};
    // The number of the last message sent, and of the last one of an output that has closed
    // since: those are dropped, never sent to the next chosen port.
    std::atomic<std::uint64_t> sent{0};
    std::atomic<std::uint64_t> discardThrough{0};
    // Whether the port is connected to the chosen one, as the notifications keep it.
    std::atomic<bool> connected{false};
    // The largest message that one cycle's buffer holds; zero before the first cycle.
    std::atomic<std::size_t> largest{0};
    // One output at a time uses the port.
    std::atomic<bool> inUse{false};

  private:
    // The real-time thread's own: where the last message went, for the cable's spacing.
    bool placedOne_ = false;
    jack_nframes_t lastSentAt_ = 0;
    jack_nframes_t lastEnd_ = 0;
    jack_nframes_t lastCable_ = 0;
};

// The program's input port, and what reached it for the reader thread.
struct JackInputSlot {
    // The real-time thread: stores what reached the port in this cycle, while an input is
    // open.
    bool take(jack_nframes_t frames);
    // The reader thread: passes what was stored to the sink.
    void deliver();

    jack_port_t* port = nullptr;
    MessageRing messages{kRingBytes};
    std::shared_ptr<InputSink> sink;  // the client's reader mutex
    std::atomic<bool> listening{false};
    std::atomic<bool> inUse{false};
};

// What libjack's threads touch: the real-time thread and the notification thread. Kept apart
// from the client so that it can outlive it where they may still run.
struct JackCore {
    jack_client_t* client = nullptr;
    std::atomic<bool> alive{true};
    std::atomic<std::uint64_t> cycles{0};
    // When the last cycle ended, on the steady clock: a server that stopped cycling does not
    // answer either.
    std::atomic<std::int64_t> lastCycleAt{0};
    jack_nframes_t rate = 0;
    JackOutputSlot output;
    JackInputSlot input;
    sem_t inputReady;  // posted by the real-time thread when the input stored messages

    // The chosen ports, and the notification that ports changed (cleared by silence()).
    std::mutex notifyMutex;
    std::string outputTarget;
    std::string inputSource;
    // The chosen connection was there before it was chosen: someone else's, left at close.
    bool outputFound = false;
    bool inputFound = false;
    void (*changed)(void*) = nullptr;
    void* context = nullptr;

    JackCore();
    ~JackCore();
    JackCore(const JackCore&) = delete;
    JackCore& operator=(const JackCore&) = delete;
    // On a notification: says that ports changed, and whether the output still reaches the
    // chosen port.
    void notify();
    void checkOutputConnection();
};

// One connection to a server: the client and its two ports. What libjack's threads use stays
// for the rest of the process when the server went away or stopped answering (see above).
class JackClient {
  public:
    // How long a call that waits for the server may take.
    static constexpr std::chrono::seconds kCallLimit{2};
    // What is said when no server runs, and of one that does not answer within that time.
    static constexpr const char* kNoServer =
        "no JACK server to connect to; its ports are listed once one runs";
    static constexpr const char* kUnanswered =
        "the JACK server does not answer (it may be stopped or stuck); restart JACK";

    struct Opened;
    // Null when no client could be made, with why in `problem`. `changed` runs whenever ports
    // may have changed or the server went away, on one of libjack's threads. `pending` is set
    // for as long as the attempt waits for the server, also past its deadline.
    static std::shared_ptr<JackClient> open(const std::string& name, void (*changed)(void*),
                                            void* context, std::string& problem,
                                            std::shared_ptr<std::atomic<bool>> pending);
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    jack_client_t* handle() const { return core_->client; }
    bool alive() const { return core_->alive.load(std::memory_order_acquire); }
    // False while the server has run no cycle (stopped, or stuck) for half a second, longer
    // than any period.
    bool answering() const;
    // Whether the output is connected to the chosen port now (read again, not as the last
    // notification left it).
    bool outputReaches();
    JackOutputSlot& output() { return core_->output; }
    JackInputSlot& input() { return core_->input; }
    std::uint64_t cycles() const { return core_->cycles.load(std::memory_order_acquire); }
    std::chrono::microseconds cycle() const { return cycle_; }
    jack_nframes_t frameTime() const { return jack_frame_time(core_->client); }
    // Waits until the real-time thread has finished `count` more cycles, for a second at most,
    // and not at all once the server has gone.
    void awaitCycles(std::uint64_t count) const;
    // No more notifications reach the `changed` given at open once this returns.
    void silence();

    // Ports of the server of the given direction, ours left out; empty once it has gone.
    std::vector<std::string> ports(unsigned long flags) const;
    // Connects our output to `target` (or `source` to our input), the only connection that the
    // program makes, and waits, a second at most, until JACK has taken it up: it carries
    // nothing on it before. False when it did not, or the server did not answer in time.
    bool connectOutput(const std::string& target);
    bool connectInput(const std::string& source);
    // Undoes what the connect above made; others' connections stay, also one to the chosen
    // port that was there before it was chosen.
    void disconnectOutput();
    void disconnectInput();
    // Drops what the input stored and says where it goes from now on (null: nowhere).
    void listen(std::shared_ptr<InputSink> sink);

  private:
    explicit JackClient(std::shared_ptr<JackCore> core);
    static int process(jack_nframes_t frames, void* core);
    static void shutdown(jack_status_t, const char*, void* core);
    // A libjack call that waits for the server, within kCallLimit; false when it failed or did
    // not answer in time (it may still be done when the server answers).
    bool call(int (*request)(jack_client_t*, const char*, const char*), const std::string& from,
              const std::string& to);
    void readInputs();
    // Waits, a second at most, until JACK has taken up the connection of `own` to `other`:
    // it carries nothing on it before. False when it has not.
    bool awaitConnection(jack_port_t* own, const std::string& other) const;

    std::shared_ptr<JackCore> core_;
    std::chrono::microseconds cycle_{};
    std::mutex readerMutex_;  // held while the reader uses the input's sink
    std::atomic<bool> stopping_{false};
    std::thread reader_;
};

class JackBackend : public Backend {
  public:
    JackBackend();
    ~JackBackend() override;

    std::vector<std::string> outputNames() override;
    std::vector<std::string> inputNames() override;
    std::string shownName(const std::string& full) const override;
    std::string trouble() override;
    MMRESULT openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) override;
    MMRESULT openInput(unsigned index, std::shared_ptr<InputSink> sink,
                       std::unique_ptr<InputConnection>& connection) override;

  private:
    // With mutex_ held: the client of a running server, opened (again) when needed; null when
    // none runs or none answers.
    std::shared_ptr<JackClient> client();
    // The client and the whole name of port `index` of those with `flags`.
    MMRESULT findPort(unsigned index, unsigned long flags, std::shared_ptr<JackClient>& current,
                      std::string& name);
    // Lists again and says when the lists changed; the watcher's work.
    void look();
    void watch();
    static void changed(void* self);

    std::mutex mutex_;
    std::shared_ptr<JackClient> client_;
    std::chrono::steady_clock::time_point quietUntil_;
    // Why there is no client, as said once on standard error and asked by trouble().
    std::string problem_;
    // Set while an open that found no answer in time is still waiting for the server.
    std::shared_ptr<std::atomic<bool>> openPending_ = std::make_shared<std::atomic<bool>>(false);
    std::vector<std::string> lastSeen_;

    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool woken_ = false;
    bool stopping_ = false;
    std::thread watcher_;
};

}  // namespace platform::midi
