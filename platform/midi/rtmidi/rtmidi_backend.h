// The host's MIDI ports through RtMidi: ALSA on Linux, CoreMIDI on macOS, or JACK. Port lists
// are read from the host at every call, so hot-plugged ports appear; a host MIDI system that
// cannot be reached has no ports. No RtMidi exception leaves this backend.
#pragma once

#include "../backend.h"

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::midi {

class RtMidiBackend : public Backend {
  public:
    explicit RtMidiBackend(RtMidi::Api api);
    ~RtMidiBackend() override;

    std::vector<std::string> outputNames() override;
    std::vector<std::string> inputNames() override;
    MMRESULT openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) override;
    MMRESULT openInput(unsigned index, std::shared_ptr<InputSink> sink,
                       std::unique_ptr<InputConnection>& connection) override;

    // Whether an output port of this name is still there.
    bool outputListed(const std::string& name);

    // Our own ports are left out of the lists: the program is not its own peer.
    static constexpr const char* kClientName = "RDN417 Config";

  private:
    struct Port {
        std::string name;  // as the program sees it
        unsigned rtIndex;  // RtMidi's number for it now
    };
    // Ports of the given probe, with host numbering removed from the names.
    template <typename Probe>
    std::vector<Port> list(std::unique_ptr<Probe>& probe);

    RtMidi::Api api_;
    std::mutex mutex_;
    std::unique_ptr<RtMidiOut> outputProbe_;
    std::unique_ptr<RtMidiIn> inputProbe_;
    bool unreachable_ = false;
};

// RtMidi reports errors through a callback that sets this, instead of throwing. An input's
// errors can come from RtMidi's own thread, hence the atomics.
struct RtMidiErrors {
    std::atomic<RtMidiError::Type> last{RtMidiError::UNSPECIFIED};
    std::atomic<bool> failed{false};

    static void record(RtMidiError::Type type, const std::string& text, void* self);
    // The result code for what was recorded since the last call, and clears it.
    MMRESULT take();
};

// A port name without the host's client:port numbers ("Synth 20:0" becomes "Synth").
std::string WithoutHostNumbers(const std::string& name);

}  // namespace platform::midi
