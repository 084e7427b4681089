// SPDX-License-Identifier: GPL-3.0-or-later
// The host's MIDI ports through RtMidi: ALSA on Linux, CoreMIDI on macOS (JACK has a backend of
// its own). Port lists are read from the host at every call, so hot-plugged ports appear; a
// host MIDI system that cannot be reached has no ports. No RtMidi exception leaves this backend.
//
// Whether an open output's port is still there is known without listing on the send path: a
// watcher thread lists the ports a few times a second and marks each open output present or
// gone; while port changes are watched it also says when the lists differ from what it saw
// before.
#pragma once

#include "../backend.h"
#include "../host_names.h"

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace platform::midi {

// RtMidi reports errors through a callback that sets this, instead of throwing. An input's
// errors can come from RtMidi's own thread, hence the atomics.
struct RtMidiErrors {
    std::atomic<RtMidiError::Type> last{RtMidiError::UNSPECIFIED};
    std::atomic<bool> failed{false};

    static void record(RtMidiError::Type type, const std::string& text, void* self);
    // The result code for what was recorded since the last call, and clears it.
    MMRESULT take();
};

// The RtMidi client of one open port.
struct LiveClient {
    std::string name;  // the port's name as the program sees it
    bool output = true;
    std::atomic<bool> present{true};
    // Guards the client against the backend closing it during a send or a close.
    std::mutex mutex;
    // The one of the two that is open; null once closed.
    std::unique_ptr<RtMidiOut> out;
    std::unique_ptr<RtMidiIn> in;
    RtMidiErrors errors;

    bool isOpen() const { return out || in; }

    // Makes the client, lets `setup` prepare it and opens RtMidi's port `rtIndex`.
    template <typename Client, typename Setup>
    MMRESULT open(RtMidi::Api api, const char* clientName, unsigned rtIndex, Setup setup) {
        std::unique_ptr<Client> made;
        try {
            made = std::make_unique<Client>(api, clientName);
        } catch (const RtMidiError&) {
            return MMSYSERR_NODRIVER;
        }
        made->setErrorCallback(&RtMidiErrors::record, &errors);
        setup(*made);
        made->openPort(rtIndex, output ? "out" : "in");
        if (MMRESULT opened = errors.take())
            return opened;
        if constexpr (std::is_same_v<Client, RtMidiOut>)
            out = std::move(made);
        else
            in = std::move(made);
        return MMSYSERR_NOERROR;
    }
};

class RtMidiBackend : public Backend {
  public:
    explicit RtMidiBackend(RtMidi::Api api);
    ~RtMidiBackend() override;

    std::vector<std::string> outputNames() override;
    std::vector<std::string> inputNames() override;
    MMRESULT openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) override;
    MMRESULT openInput(unsigned index, std::shared_ptr<InputSink> sink,
                       std::unique_ptr<InputConnection>& connection) override;

  private:
    struct Port {
        std::string name;  // as the program sees it
        unsigned rtIndex;  // RtMidi's number for it now
    };

    // Runs `open` for the port at `index` of the current list, then keeps the client so that
    // the watcher marks it present or gone.
    MMRESULT openPort(unsigned index, bool output,
                      const std::function<MMRESULT(LiveClient&, unsigned rtIndex)>& open,
                      std::shared_ptr<LiveClient>& live);

    // With mutex_ held: ports of the given probe, with host numbering removed from the names;
    // the program's own are left out: it is not its own peer.
    template <typename Probe>
    std::vector<Port> list(std::unique_ptr<Probe>& probe);
    // With mutex_ held: marks each open output present or gone by the list just read.
    void markPresence(const std::vector<Port>& outputs);

    // With mutex_ held: whether the names differ from those the watcher saw last.
    bool seenChanged(const std::vector<Port>& outputs, const std::vector<Port>& inputs);

    // The watcher thread.
    void watch();

    RtMidi::Api api_;
    std::mutex mutex_;
    std::unique_ptr<RtMidiOut> outputProbe_;
    std::unique_ptr<RtMidiIn> inputProbe_;
    bool unreachable_ = false;
    std::vector<std::weak_ptr<LiveClient>> clients_;
    std::vector<std::string> lastSeen_;

    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool stopping_ = false;
    std::thread watcher_;
};

}  // namespace platform::midi
