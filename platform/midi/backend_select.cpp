// SPDX-License-Identifier: GPL-3.0-or-later
// Chooses the MIDI backend: RDN417_MIDI_BACKEND when set, else the user's choice, else the
// host's own system. Backends are made when first used and kept, so a connection never
// outlives its backend.
#include "backend.h"
#include "engine.h"
#include "faults.h"
#include "platform/midi_system.h"
#include "platform/testing.h"
#include "rtmidi/rtmidi_backend.h"
#ifdef RDN417_HAVE_JACK
#include "jack/jack_backend.h"
#endif
#include "virtual/virtual_backend.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

namespace platform::midi {
namespace {

std::atomic<unsigned long> listings{0};

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

std::unique_ptr<Backend> makeBackend(const std::string& id) {
    if (id == "virtual")
        return std::make_unique<VirtualBackend>();
    if (id == "host")
        return std::make_unique<RtMidiBackend>(hostApi());
    if (id == "jack") {
#ifdef RDN417_HAVE_JACK
        return std::make_unique<JackBackend>();
#else
        return std::make_unique<NoPortsBackend>("this build has no JACK support");
#endif
    }
    return std::make_unique<NoPortsBackend>("unknown RDN417_MIDI_BACKEND \"" + id +
                                            "\" (use host, jack or virtual)");
}

std::atomic<HWND> watchWindow{nullptr};
std::atomic<UINT> watchMessage{0};

void announcePortChange() {
    if (HWND window = watchWindow.load(std::memory_order_acquire))
        PostMessageA(window, watchMessage.load(std::memory_order_relaxed), 0, 0);
}

struct Selection {
    Selection() {
        const char* variable = std::getenv("RDN417_MIDI_BACKEND");
        fromEnvironment = variable != nullptr && *variable != '\0';
        id = fromEnvironment ? variable : "host";
    }

    std::mutex mutex;
    std::string id;
    bool fromEnvironment = false;
    std::map<std::string, std::unique_ptr<Backend>> made;
    std::atomic<Backend*> current{nullptr};

    // With the lock held.
    Backend& use(const std::string& chosen) {
        auto& backend = made[chosen];
        if (!backend) {
            backend = makeBackend(chosen);
            backend->setPortsChanged(&announcePortChange);
        }
        id = chosen;
        current.store(backend.get(), std::memory_order_release);
        return *backend;
    }
};

Selection& selection() {
    static Selection chosen;
    return chosen;
}

}  // namespace

Backend& SelectedBackend() {
    Selection& chosen = selection();
    if (Backend* backend = chosen.current.load(std::memory_order_acquire))
        return *backend;
    std::lock_guard lock(chosen.mutex);
    if (Backend* backend = chosen.current.load(std::memory_order_acquire))
        return *backend;
    return chosen.use(chosen.id);
}

bool PortsWatched() {
    return watchWindow.load(std::memory_order_relaxed) != nullptr;
}

const std::string& ProgramClientName() {
    static const std::string name = [] {
        const char* chosen = std::getenv("RDN417_CLIENT_NAME");
        return std::string(chosen != nullptr && *chosen != '\0' ? chosen : "RDN417 Config");
    }();
    return name;
}

std::vector<std::string> Backend::listOutputs() {
    listings.fetch_add(1, std::memory_order_relaxed);
    return outputNames();
}

std::vector<std::string> Backend::listInputs() {
    listings.fetch_add(1, std::memory_order_relaxed);
    return inputNames();
}

}  // namespace platform::midi

namespace platform::testing {

unsigned long PortListings() {
    return midi::listings.load(std::memory_order_relaxed);
}

}  // namespace platform::testing

namespace platform {

std::vector<MidiSystem> MidiSystems() {
#ifdef __APPLE__
    return {};
#else
#ifdef RDN417_HAVE_JACK
    return {{"host", "ALSA"}, {"jack", "JACK"}, {"virtual", "Built-in simulator"}};
#else
    return {{"host", "ALSA"}, {"virtual", "Built-in simulator"}};
#endif
#endif
}

std::string CurrentMidiSystem() {
    auto& chosen = midi::selection();
    std::lock_guard lock(chosen.mutex);
    return chosen.id;
}

bool MidiSystemFromEnvironment() {
    return midi::selection().fromEnvironment;
}

bool SelectMidiSystem(const std::string& id) {
    auto& chosen = midi::selection();
    const auto systems = MidiSystems();
    const bool known = std::any_of(systems.begin(), systems.end(),
                                   [&](const MidiSystem& system) { return system.id == id; });
    if (!known || chosen.fromEnvironment)
        return false;
    {
        auto& engine = midi::Engine::instance();
        std::lock_guard lock(engine.mutex());
        if (engine.openPorts() > 0)
            return false;
    }
    {
        std::lock_guard lock(chosen.mutex);
        if (chosen.id == id && chosen.current.load(std::memory_order_relaxed) != nullptr)
            return true;
        chosen.use(id);
    }
    midi::announcePortChange();
    return true;
}

bool ListMidiPorts(bool output, std::vector<MidiPortName>& ports) {
    if (midi::TakeFault(output ? midi::Operation::OutGetDevCaps : midi::Operation::InGetDevCaps) !=
        MMSYSERR_NOERROR)
        return false;
    midi::Backend& backend = midi::SelectedBackend();
    const std::vector<std::string> names = output ? backend.listOutputs() : backend.listInputs();
    const std::vector<std::string> fitted = midi::FitPortNames(output, names, backend);
    ports.clear();
    for (std::size_t i = 0; i < names.size(); ++i)
        ports.push_back({fitted[i], midi::FullPortName(names[i])});
    return true;
}

std::string MidiSystemTrouble() {
    return midi::SelectedBackend().trouble();
}

void WatchMidiPorts(HWND window, UINT message) {
    midi::watchMessage.store(message, std::memory_order_relaxed);
    midi::watchWindow.store(window, std::memory_order_release);
}

}  // namespace platform
