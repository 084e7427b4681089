// Chooses the MIDI backend once per process from RDN417_MIDI_BACKEND.
#include "backend.h"
#include "rtmidi/rtmidi_backend.h"
#include "virtual/virtual_backend.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace platform::midi {
namespace {

// Stands in for an unknown backend name: no ports, so the program still starts and shows
// that no MIDI port is available. The reason is printed once.
class NoPortsBackend : public Backend {
  public:
    explicit NoPortsBackend(const std::string& reason) {
        std::fprintf(stderr, "rdn417: %s; no MIDI ports are available.\n", reason.c_str());
    }
    std::vector<std::string> outputNames() override { return {}; }
    std::vector<std::string> inputNames() override { return {}; }
    MMRESULT openOutput(unsigned, std::unique_ptr<OutputConnection>&) override {
        return MMSYSERR_BADDEVICEID;
    }
    MMRESULT openInput(unsigned, std::shared_ptr<InputSink>,
                       std::unique_ptr<InputConnection>&) override {
        return MMSYSERR_BADDEVICEID;
    }
};

RtMidi::Api hostApi() {
#ifdef __APPLE__
    return RtMidi::MACOSX_CORE;
#else
    return RtMidi::LINUX_ALSA;
#endif
}

std::unique_ptr<Backend> makeBackend() {
    const char* variable = std::getenv("RDN417_MIDI_BACKEND");
    const std::string name = variable == nullptr || *variable == '\0' ? "host" : variable;
    if (name == "virtual")
        return std::make_unique<VirtualBackend>();
    if (name == "host")
        return std::make_unique<RtMidiBackend>(hostApi());
    if (name == "jack")
        return std::make_unique<RtMidiBackend>(RtMidi::UNIX_JACK);
    return std::make_unique<NoPortsBackend>("unknown RDN417_MIDI_BACKEND \"" + name +
                                            "\" (use host, jack or virtual)");
}

}  // namespace

Backend& SelectedBackend() {
    static const std::unique_ptr<Backend> backend = makeBackend();
    return *backend;
}

}  // namespace platform::midi
