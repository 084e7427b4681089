// SPDX-License-Identifier: GPL-3.0-or-later
// What a MIDI backend provides to the winmm layer: port lists and open connections. The winmm
// layer owns everything Windows defines on top (handles, headers, buffers, callbacks, time
// stamps), so a backend only moves bytes.
#pragma once

#include "platform/win32.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::midi {

using Bytes = std::vector<std::uint8_t>;

constexpr char kPortKeySeparator = '\x1f';

// Where an open input connection delivers what arrives. Any thread may call it.
class InputSink {
  public:
    virtual ~InputSink() = default;
    // A short message packed as in MM_MIM_DATA; a time stamp in milliseconds since the port was
    // started, or none to stamp it when it is delivered.
    virtual void shortMessage(DWORD packed, std::optional<DWORD> timestamp) = 0;
    // A whole System Exclusive message as it arrived, well-formed or not.
    virtual void sysex(Bytes bytes, std::optional<DWORD> timestamp) = 0;
};

class OutputConnection {
  public:
    virtual ~OutputConnection() = default;
    // Sends one complete message (a short message's bytes or a long message). Called on the
    // delivery thread, one message at a time, in the order the program sent them.
    virtual MMRESULT send(std::span<const std::uint8_t> bytes) = 0;
    // When the last byte of the last message sent has left the port, for a port that trickles
    // what it took out at a cable's rate; a long message's completion waits for it. The epoch
    // for ports that are done with a message when send returns.
    virtual std::chrono::steady_clock::time_point doneAt() const { return {}; }
    // For a port that learns only later whether a message arrived: asks what became of the
    // message send() took last, empty until that is known. Asked again every askAgainAfter()
    // until it answers, which it does within a bounded time. Null for ports that know when
    // send returns.
    virtual std::function<std::optional<MMRESULT>()> outcomeOfLast() { return nullptr; }
    virtual std::chrono::microseconds askAgainAfter() const { return {}; }
    // True for a port that a failed send leaves usable: one whose connection someone removed
    // may be connected again. Other ports that found their device gone stay gone.
    virtual bool reconnects() const { return false; }
};

// Closing the connection is destroying it; no sink call follows the destructor's return.
class InputConnection {
  public:
    virtual ~InputConnection() = default;
};

class Backend {
  public:
    virtual ~Backend() = default;
    // Run, on any thread, when the port lists may have changed. Set once, before the backend
    // is used.
    void setPortsChanged(std::function<void()> changed) { portsChanged_ = std::move(changed); }
    // Port names as the host reports them now; the winmm layer makes them fit and distinct. A
    // name may end in kPortKeySeparator and a key that tells the port apart from others of the
    // same name for as long as it stays plugged in (ALSA's client:port numbers, say); the key
    // is never shown.
    virtual std::vector<std::string> outputNames() = 0;
    virtual std::vector<std::string> inputNames() = 0;
    // The names as the winmm layer asks for them: counted, so that a benchmark shows how often
    // a listing asks the host.
    std::vector<std::string> listOutputs();
    std::vector<std::string> listInputs();
    // The name to show for a port whose whole name is `full`, before it is made to fit: what
    // only decorates or repeats is left out.
    virtual std::string shownName(const std::string& full) const { return full; }
    // Why the system cannot be used right now, as a sentence that says what to do (no JACK
    // server runs, say); empty when it can.
    virtual std::string trouble() { return {}; }
    // What kind of port output `index` is, as MIDIOUTCAPS tells: a MIDI port (a cable to a
    // device) unless the backend knows better.
    virtual WORD outputTechnology(unsigned /*index*/) { return MOD_MIDIPORT; }
    virtual MMRESULT openOutput(unsigned index, std::unique_ptr<OutputConnection>& connection) = 0;
    virtual MMRESULT openInput(unsigned index, std::shared_ptr<InputSink> sink,
                               std::unique_ptr<InputConnection>& connection) = 0;

  protected:
    void portsChanged() const {
        if (portsChanged_)
            portsChanged_();
    }

  private:
    std::function<void()> portsChanged_;
};

// The backend in use: the one RDN417_MIDI_BACKEND names, else the one chosen last (the host's
// system at first). Each is created when first used and kept for the process.
Backend& SelectedBackend();
// True while someone wants to hear of port changes; a backend that has to look for changes
// itself looks only then.
bool PortsWatched();
// The program's client name on the host's MIDI system: "RDN417 Config" unless
// RDN417_CLIENT_NAME names another. Two copies of the program on two JACK servers need names
// of their own: JACK binds the socket of a client that opens by the client's name alone,
// whatever its server.
const std::string& ProgramClientName();

}  // namespace platform::midi
