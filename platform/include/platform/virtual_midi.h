// SPDX-License-Identifier: GPL-3.0-or-later
// Control of the built-in virtual MIDI ports (RDN417_MIDI_BACKEND=virtual), for tests and for
// trying the program without MIDI hardware. Not available on Windows.
#pragma once

#include "platform/midi_operation.h"
#include "platform/win32.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace virtual_midi {

using Bytes = std::vector<std::uint8_t>;

enum class OutputKind {
    Converter,  // a simulated RDN417 that decodes what it receives
    Loopback,   // forwards what it receives to an input port
    Sink,       // only records what it receives
};

struct OutputPort {
    std::string name;
    OutputKind kind = OutputKind::Sink;
    int loopbackInput = -1;  // for Loopback: the input port index that receives the bytes
    // Behind a MIDI 1.0 DIN cable (31,250 baud, 10 bits a byte: 320 us a byte) and a driver
    // buffer that takes everything at once: what the port records and decodes arrives a byte
    // at a time, and a long message completes once its last byte has arrived. Its technology
    // is then MOD_MIDIPORT; the ports without a cable are MOD_SWSYNTH.
    bool dinCable = false;
};

constexpr std::chrono::microseconds kDinByteTime{320};

// A byte as it came off a DIN cable, and when the driver took the message it belongs to.
struct ByteArrival {
    std::uint8_t byte;
    std::chrono::steady_clock::time_point at;
    std::chrono::steady_clock::time_point taken;
};

// What the simulated converter has taken from the messages it received. Empty until set.
struct ConverterState {
    std::optional<int> channel;  // 0..15, of the last message it took
    std::optional<int> noteRef;
    std::optional<int> modeFlags;
    std::optional<int> auxController;
    std::optional<int> testController;  // controller number of the last Control Change
    std::optional<int> testValue;       // value of the last Control Change
    // The note its pitch CV follows: the newest held on its channel, kept after release.
    std::optional<int> note;
    bool gate = false;  // a note is held on its channel (on any, before it knows one)
    int notesHeld = 0;  // Note Ons still without their Note Off, on every channel
    int parameterMessages = 0;
    int controlChanges = 0;
    int noteMessages = 0;     // Note On, Note Off, All Notes Off and All Sound Off
    int ignoredMessages = 0;  // anything it does not understand

    bool pitchTable() const { return modeFlags.value_or(0) & 0x20; }
    bool auxFromController() const { return modeFlags.value_or(0) & 0x40; }
};

constexpr const char* kConverterName = "RDN417 Simulator";
constexpr const char* kLoopbackOutName = "Virtual Loopback Out";
constexpr const char* kLoopbackInName = "Virtual Loopback In";
constexpr const char* kDinConverterName = "RDN417 Simulator (DIN)";
// The output ports that the backend starts with, and that Reset restores, with the input
// port kLoopbackInName.
inline const OutputPort kConverterPort{kConverterName, OutputKind::Converter};
inline const OutputPort kLoopbackPort{kLoopbackOutName, OutputKind::Loopback, 0};
inline const OutputPort kDinConverterPort{kDinConverterName, OutputKind::Converter, -1, true};

// True when this process uses the virtual backend.
bool Active();

// Replaces the port lists, as devices that come and go: a port listed before under the same
// name (and kind) stays, open or not, with what it received; a port no longer listed is gone,
// and sends on a connection still open to it fail with MIDIERR_NODEVICE.
void SetPorts(std::vector<OutputPort> outputs, std::vector<std::string> inputs);
// The default lists (converter and loopback out; loopback in), with every record, converter
// state, injected fault, call hook and held completion cleared. Open ports must be closed
// first.
void Reset();

// How much of what a port received is kept: the newest, at least this many and at most twice
// as many, so that trying the simulator for hours does not grow the program's memory.
constexpr std::size_t kRecordedMessages = 4096;
constexpr std::size_t kRecordedBytes = 32768;
// The messages output port `index` has sent on (behind a cable: whose last byte has arrived),
// oldest first, the newest kRecordedMessages at least: short messages as their 1 to 3 bytes,
// long messages whole.
std::vector<Bytes> Received(unsigned index);
// The bytes that have come off the cable of output port `index`, oldest first, the newest
// kRecordedBytes at least (empty for ports without a cable).
std::vector<ByteArrival> Arrivals(unsigned index);
// State of the converter at output port `index` (empty for ports of other kinds).
ConverterState Converter(unsigned index = 0);

// Input arriving at input port `index`. False when that port is not open. A time stamp, in
// milliseconds since midiInStart, replaces the port's own clock. System Exclusive that does
// not start with F0, end with F7 and hold only data bytes between arrives as faulty.
bool InjectShort(unsigned index, DWORD packed, std::optional<DWORD> timestamp = std::nullopt);
bool InjectSysex(unsigned index, Bytes bytes, std::optional<DWORD> timestamp = std::nullopt);

// Waits until everything sent and injected before the call has been delivered (also off the
// cables) and its callbacks have run (held completions stay held).
void Flush();

// While held, finished long messages wait for ReleaseCompletions before MOM_DONE; their
// headers stay queued, so closing the port is refused. Releasing covers every long message
// sent before the call.
void HoldCompletions(bool hold);
void ReleaseCompletions();
std::size_t HeldCompletions();

// The next call of `operation`, or the one after `skip` more calls, returns `code` and does
// nothing else.
void FailNext(platform::midi::Operation operation, MMRESULT code, unsigned skip = 0);
// Runs `hook` on the calling thread at the start of every MIDI operation, until Reset.
void OnEveryCall(std::function<void(platform::midi::Operation)> hook);

}  // namespace virtual_midi
