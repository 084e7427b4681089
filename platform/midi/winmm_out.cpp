// midiOut* on hosts without Win32: handles, header flags and completions as Windows keeps them,
// with the bytes themselves sent by the selected backend on the delivery thread.
#include "engine.h"
#include "faults.h"
#include "platform/win32.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <set>
#include <span>
#include <unordered_map>

namespace platform::midi {
namespace {

constexpr WORD kMapperTechnology = 5;  // MOD_MAPPER
constexpr const char* kMapperName = "MIDI Mapper";

struct OutPort {
    HMIDIOUT handle = nullptr;
    unsigned index = 0;
    Callback callback;
    // Delivery thread only; reset there when the port closes.
    std::unique_ptr<OutputConnection> connection;
    // Engine lock: long messages accepted and not yet completed, and the running status.
    int inFlight = 0;
    BYTE runningStatus = 0;
    // Set once a send found the port gone: every later message fails at its call.
    MMRESULT lost = MMSYSERR_NOERROR;
};

// Engine lock.
struct OutTable {
    std::unordered_map<HMIDIOUT, std::shared_ptr<OutPort>> ports;
    std::set<unsigned> openIndices;
};

OutTable& table() {
    static OutTable outputs;
    return outputs;
}

std::shared_ptr<OutPort> find(HMIDIOUT handle) {
    auto found = table().ports.find(handle);
    return found == table().ports.end() ? nullptr : found->second;
}

bool isMapper(UINT_PTR id) {
    return id == MIDI_MAPPER || id == static_cast<UINT_PTR>(-1);
}

std::size_t messageLength(BYTE status) {
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0))
        return 3;
    if (status < 0xE0 || status == 0xF1 || status == 0xF3)
        return 2;
    return status == 0xF2 ? 3 : 1;
}

bool validHeaderArgs(LPMIDIHDR header, UINT size) {
    return header != nullptr && size >= sizeof(MIDIHDR);
}

// Delivery thread. A port found gone stays gone for this handle.
MMRESULT sendOn(OutPort& port, std::span<const std::uint8_t> bytes) {
    const MMRESULT sent = port.connection ? port.connection->send(bytes) : MMSYSERR_INVALHANDLE;
    if (sent == MIDIERR_NODEVICE) {
        std::lock_guard lock(Engine::instance().mutex());
        port.lost = sent;
    }
    return sent;
}

}  // namespace
}  // namespace platform::midi

using namespace platform::midi;

UINT WINAPI midiOutGetNumDevs() {
    return static_cast<UINT>(Engine::instance().backend().outputNames().size());
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR uDeviceID, LPMIDIOUTCAPSA pmoc, UINT cbmoc) {
    if (MMRESULT fault = TakeFault(Operation::OutGetDevCaps))
        return fault;
    if (pmoc == nullptr)
        return MMSYSERR_INVALPARAM;
    MIDIOUTCAPSA caps{};
    caps.wMid = 0xFFFF;
    caps.wPid = 0xFFFF;
    caps.vDriverVersion = 0x0100;
    caps.wChannelMask = 0xFFFF;
    if (isMapper(uDeviceID)) {
        caps.wTechnology = kMapperTechnology;
        CopyPortName(kMapperName, caps.szPname);
    } else {
        const auto names = FitPortNames(Engine::instance().backend().outputNames());
        if (uDeviceID >= names.size())
            return MMSYSERR_BADDEVICEID;
        caps.wTechnology = MOD_MIDIPORT;
        CopyPortName(names[uDeviceID], caps.szPname);
    }
    std::memcpy(pmoc, &caps, std::min<std::size_t>(cbmoc, sizeof caps));
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback,
                            DWORD_PTR dwInstance, DWORD fdwOpen) {
    if (MMRESULT fault = TakeFault(Operation::OutOpen))
        return fault;
    if (phmo == nullptr)
        return MMSYSERR_INVALPARAM;
    *phmo = nullptr;
    Callback callback;
    if (MMRESULT parsed = ParseCallback(dwCallback, dwInstance, fdwOpen, callback))
        return parsed;
    Engine& engine = Engine::instance();
    const std::size_t count = engine.backend().outputNames().size();
    unsigned index = uDeviceID;
    if (isMapper(uDeviceID)) {
        if (count == 0)
            return MIDIERR_NODEVICE;
        index = 0;  // the mapper stands for the first output port
    } else if (uDeviceID >= count) {
        return MMSYSERR_BADDEVICEID;
    }
    {
        std::lock_guard lock(engine.mutex());
        if (!table().openIndices.insert(index).second)
            return MMSYSERR_ALLOCATED;
    }
    auto port = std::make_shared<OutPort>();
    port->index = index;
    port->callback = callback;
    const MMRESULT opened = engine.backend().openOutput(index, port->connection);
    {
        std::lock_guard lock(engine.mutex());
        if (opened != MMSYSERR_NOERROR) {
            table().openIndices.erase(index);
            return opened;
        }
        port->handle = reinterpret_cast<HMIDIOUT>(engine.newHandle());
        table().ports.emplace(port->handle, port);
        ++engine.openPorts();
    }
    *phmo = port->handle;
    port->callback.notify(port->handle, MOM_OPEN, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutClose(HMIDIOUT hmo) {
    if (MMRESULT fault = TakeFault(Operation::OutClose))
        return fault;
    Engine& engine = Engine::instance();
    std::shared_ptr<OutPort> port;
    {
        std::lock_guard lock(engine.mutex());
        port = find(hmo);
        if (!port)
            return MMSYSERR_INVALHANDLE;
        if (port->inFlight > 0)
            return MIDIERR_STILLPLAYING;
        table().ports.erase(hmo);
        table().openIndices.erase(port->index);
        --engine.openPorts();
    }
    // Messages already queued go out first; no callback for this port follows the return.
    engine.delivery().runAndWait([&port] { port->connection.reset(); });
    port->callback.notify(hmo, MOM_CLOSE, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg) {
    if (MMRESULT fault = TakeFault(Operation::OutShortMsg))
        return fault;
    Engine& engine = Engine::instance();
    std::shared_ptr<OutPort> port;
    Bytes bytes;
    {
        std::lock_guard lock(engine.mutex());
        port = find(hmo);
        if (!port)
            return MMSYSERR_INVALHANDLE;
        if (port->lost)
            return port->lost;
        const BYTE first = dwMsg & 0xFF;
        const BYTE status = first >= 0x80 ? first : port->runningStatus;
        if (status < 0x80 || status == 0xF0 || status == 0xF7)
            return MMSYSERR_INVALPARAM;
        if (status < 0xF0)
            port->runningStatus = status;
        else if (status < 0xF8)
            port->runningStatus = 0;  // system common messages cancel running status
        bytes.push_back(status);
        // With running status the message starts with its first data byte.
        DWORD data = first >= 0x80 ? dwMsg >> 8 : dwMsg;
        for (std::size_t i = 1; i < messageLength(status); ++i, data >>= 8)
            bytes.push_back(static_cast<BYTE>(data & 0x7F));
    }
    // Sent before the call returns, in order with the long messages before it, so that a
    // port that has gone away is reported here.
    MMRESULT sent = MMSYSERR_NOERROR;
    engine.delivery().runAndWait([&] { sent = sendOn(*port, bytes); });
    return sent;
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
    if (MMRESULT fault = TakeFault(Operation::OutPrepareHeader))
        return fault;
    if (!validHeaderArgs(pmh, cbmh))
        return MMSYSERR_INVALPARAM;
    std::lock_guard lock(Engine::instance().mutex());
    if (!find(hmo))
        return MMSYSERR_INVALHANDLE;
    if (pmh->lpData == nullptr || pmh->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    pmh->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
    if (MMRESULT fault = TakeFault(Operation::OutUnprepareHeader))
        return fault;
    if (!validHeaderArgs(pmh, cbmh))
        return MMSYSERR_INVALPARAM;
    std::lock_guard lock(Engine::instance().mutex());
    if (!find(hmo))
        return MMSYSERR_INVALHANDLE;
    if (pmh->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    pmh->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
    if (MMRESULT fault = TakeFault(Operation::OutLongMsg))
        return fault;
    if (!validHeaderArgs(pmh, cbmh))
        return MMSYSERR_INVALPARAM;
    Engine& engine = Engine::instance();
    std::shared_ptr<OutPort> port;
    {
        std::lock_guard lock(engine.mutex());
        port = find(hmo);
        if (!port)
            return MMSYSERR_INVALHANDLE;
        if (!(pmh->dwFlags & MHDR_PREPARED))
            return MIDIERR_UNPREPARED;
        if (pmh->dwFlags & MHDR_INQUEUE)
            return MIDIERR_STILLPLAYING;
        if (port->lost)
            return port->lost;
        pmh->dwFlags = (pmh->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
        ++port->inFlight;
    }
    engine.delivery().post([&engine, port, pmh] {
        // The header belongs to the layer while it is queued; the program does not touch it.
        const MMRESULT sent = sendOn(
            *port,
            std::span(reinterpret_cast<const std::uint8_t*>(pmh->lpData), pmh->dwBufferLength));
        // A message that could not be sent still comes back, with the reason as the second
        // parameter (0 on Windows, where drivers refuse at the call instead).
        auto completion = [&engine, port, pmh, sent] {
            {
                std::lock_guard lock(engine.mutex());
                // The program may look for MHDR_DONE without waiting for MOM_DONE.
                std::atomic_ref(pmh->dwFlags)
                    .store((pmh->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE, std::memory_order_release);
                --port->inFlight;
            }
            port->callback.notify(port->handle, MOM_DONE, reinterpret_cast<DWORD_PTR>(pmh), sent);
        };
        std::function<void()> now;
        {
            std::lock_guard lock(engine.mutex());
            now = engine.completeOrHold(std::move(completion));
        }
        if (now)
            now();
    });
    return MMSYSERR_NOERROR;
}
