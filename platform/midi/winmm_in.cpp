// midiIn* on hosts without Win32: what the backend receives is stamped, copied into the
// buffers the program added, and handed to the driver callback on the delivery thread.
#include "engine.h"
#include "faults.h"
#include "platform/win32.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <unordered_map>
#include <utility>

namespace platform::midi {
namespace {

struct InPort {
    HMIDIIN handle = nullptr;
    unsigned index = 0;
    Callback callback;
    // Delivery thread only; reset there when the port closes.
    std::unique_ptr<InputConnection> connection;
    // Engine lock.
    bool open = true;
    bool started = false;
    std::chrono::steady_clock::time_point start;
    std::deque<LPMIDIHDR> buffers;
};

// Engine lock.
struct InTable {
    std::unordered_map<HMIDIIN, std::shared_ptr<InPort>> ports;
    std::set<unsigned> openIndices;
};

InTable& table() {
    static InTable inputs;
    return inputs;
}

std::shared_ptr<InPort> find(HMIDIIN handle) {
    auto found = table().ports.find(handle);
    return found == table().ports.end() ? nullptr : found->second;
}

using Clock = std::chrono::steady_clock;

// The given time stamp, or the arrival time counted from the port's start.
DWORD stamp(const InPort& port, std::optional<DWORD> timestamp, Clock::time_point arrived) {
    if (timestamp)
        return *timestamp;
    if (arrived < port.start)
        return 0;
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(arrived - port.start).count());
}

bool wellFormedSysex(const Bytes& bytes) {
    if (bytes.size() < 2 || bytes.front() != 0xF0 || bytes.back() != 0xF7)
        return false;
    return std::all_of(bytes.begin() + 1, bytes.end() - 1, [](std::uint8_t b) { return b < 0x80; });
}

void deliverShort(const std::shared_ptr<InPort>& port, DWORD packed, std::optional<DWORD> timestamp,
                  Clock::time_point arrived) {
    DWORD when;
    {
        std::lock_guard lock(Engine::instance().mutex());
        if (!port->open || !port->started)
            return;
        when = stamp(*port, timestamp, arrived);
    }
    port->callback.notify(port->handle, MIM_DATA, packed, when);
}

// Fills the added buffers in order, a buffer at a time; a message longer than one buffer
// continues in the next. What finds no buffer left is lost and reported with MIM_ERROR.
void deliverSysex(const std::shared_ptr<InPort>& port, const Bytes& bytes,
                  std::optional<DWORD> timestamp, Clock::time_point arrived) {
    std::vector<std::pair<UINT, LPMIDIHDR>> returned;
    bool lost = false;
    DWORD when;
    {
        std::lock_guard lock(Engine::instance().mutex());
        if (!port->open || !port->started || bytes.empty())
            return;
        when = stamp(*port, timestamp, arrived);
        for (std::size_t offset = 0; offset < bytes.size();) {
            if (port->buffers.empty()) {
                lost = true;
                break;
            }
            LPMIDIHDR header = port->buffers.front();
            port->buffers.pop_front();
            const std::size_t n =
                std::min<std::size_t>(bytes.size() - offset, header->dwBufferLength);
            std::memcpy(header->lpData, bytes.data() + offset, n);
            header->dwBytesRecorded = static_cast<DWORD>(n);
            header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
            returned.emplace_back(MIM_LONGDATA, header);
            offset += n;
        }
        if (!returned.empty() && (lost || !wellFormedSysex(bytes)))
            returned.back().first = MIM_LONGERROR;
    }
    for (const auto& [message, header] : returned)
        port->callback.notify(port->handle, message, reinterpret_cast<DWORD_PTR>(header), when);
    if (lost)
        port->callback.notify(port->handle, MIM_ERROR, 0xF0, when);
}

class Sink : public InputSink {
  public:
    explicit Sink(std::weak_ptr<InPort> port) : port_(std::move(port)) {}

    // The time of arrival is taken here, on the backend's thread, not at delivery.
    void shortMessage(DWORD packed, std::optional<DWORD> timestamp) override {
        Engine::instance().delivery().post([port = port_, packed, timestamp, now = Clock::now()] {
            if (auto open = port.lock())
                deliverShort(open, packed, timestamp, now);
        });
    }

    void sysex(Bytes bytes, std::optional<DWORD> timestamp) override {
        Engine::instance().delivery().post(
            [port = port_, bytes = std::move(bytes), timestamp, now = Clock::now()] {
                if (auto open = port.lock())
                    deliverSysex(open, bytes, timestamp, now);
            });
    }

  private:
    std::weak_ptr<InPort> port_;
};

bool validHeaderArgs(LPMIDIHDR header, UINT size) {
    return header != nullptr && size >= sizeof(MIDIHDR);
}

}  // namespace
}  // namespace platform::midi

using namespace platform::midi;

UINT WINAPI midiInGetNumDevs() {
    return static_cast<UINT>(Engine::instance().backend().inputNames().size());
}

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR uDeviceID, LPMIDIINCAPSA pmic, UINT cbmic) {
    if (MMRESULT fault = TakeFault(Operation::InGetDevCaps))
        return fault;
    if (pmic == nullptr)
        return MMSYSERR_INVALPARAM;
    const auto names = FitPortNames(Engine::instance().backend().inputNames());
    if (uDeviceID >= names.size())
        return MMSYSERR_BADDEVICEID;
    MIDIINCAPSA caps{};
    caps.wMid = 0xFFFF;
    caps.wPid = 0xFFFF;
    caps.vDriverVersion = 0x0100;
    CopyPortName(names[uDeviceID], caps.szPname);
    std::memcpy(pmic, &caps, std::min<std::size_t>(cbmic, sizeof caps));
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback,
                           DWORD_PTR dwInstance, DWORD fdwOpen) {
    if (MMRESULT fault = TakeFault(Operation::InOpen))
        return fault;
    if (phmi == nullptr)
        return MMSYSERR_INVALPARAM;
    *phmi = nullptr;
    Callback callback;
    if (MMRESULT parsed = ParseCallback(dwCallback, dwInstance, fdwOpen, callback))
        return parsed;
    Engine& engine = Engine::instance();
    if (uDeviceID >= engine.backend().inputNames().size())
        return MMSYSERR_BADDEVICEID;
    {
        std::lock_guard lock(engine.mutex());
        if (!table().openIndices.insert(uDeviceID).second)
            return MMSYSERR_ALLOCATED;
    }
    auto port = std::make_shared<InPort>();
    port->index = uDeviceID;
    port->callback = callback;
    port->start = std::chrono::steady_clock::now();
    const MMRESULT opened =
        engine.backend().openInput(uDeviceID, std::make_shared<Sink>(port), port->connection);
    {
        std::lock_guard lock(engine.mutex());
        if (opened != MMSYSERR_NOERROR) {
            table().openIndices.erase(uDeviceID);
            return opened;
        }
        port->handle = reinterpret_cast<HMIDIIN>(engine.newHandle());
        table().ports.emplace(port->handle, port);
        ++engine.openPorts();
    }
    *phmi = port->handle;
    port->callback.notify(port->handle, MIM_OPEN, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInClose(HMIDIIN hmi) {
    if (MMRESULT fault = TakeFault(Operation::InClose))
        return fault;
    Engine& engine = Engine::instance();
    std::shared_ptr<InPort> port;
    {
        std::lock_guard lock(engine.mutex());
        port = find(hmi);
        if (!port)
            return MMSYSERR_INVALHANDLE;
        if (!port->buffers.empty())
            return MIDIERR_STILLPLAYING;
        port->open = false;
        port->started = false;
        table().ports.erase(hmi);
        table().openIndices.erase(port->index);
        --engine.openPorts();
    }
    // A callback already under way ends before this returns; none follows.
    engine.delivery().runAndWait([&port] { port->connection.reset(); });
    port->callback.notify(hmi, MIM_CLOSE, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
    if (MMRESULT fault = TakeFault(Operation::InPrepareHeader))
        return fault;
    if (!validHeaderArgs(pmh, cbmh))
        return MMSYSERR_INVALPARAM;
    std::lock_guard lock(Engine::instance().mutex());
    if (!find(hmi))
        return MMSYSERR_INVALHANDLE;
    if (pmh->lpData == nullptr || pmh->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    pmh->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
    if (MMRESULT fault = TakeFault(Operation::InUnprepareHeader))
        return fault;
    if (!validHeaderArgs(pmh, cbmh))
        return MMSYSERR_INVALPARAM;
    std::lock_guard lock(Engine::instance().mutex());
    if (!find(hmi))
        return MMSYSERR_INVALHANDLE;
    if (pmh->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    pmh->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
    if (MMRESULT fault = TakeFault(Operation::InAddBuffer))
        return fault;
    if (!validHeaderArgs(pmh, cbmh))
        return MMSYSERR_INVALPARAM;
    std::lock_guard lock(Engine::instance().mutex());
    auto port = find(hmi);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (!(pmh->dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (pmh->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    pmh->dwFlags = (pmh->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    pmh->dwBytesRecorded = 0;
    port->buffers.push_back(pmh);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInStart(HMIDIIN hmi) {
    if (MMRESULT fault = TakeFault(Operation::InStart))
        return fault;
    std::lock_guard lock(Engine::instance().mutex());
    auto port = find(hmi);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (!port->started) {
        port->started = true;
        port->start = std::chrono::steady_clock::now();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInStop(HMIDIIN hmi) {
    if (MMRESULT fault = TakeFault(Operation::InStop))
        return fault;
    std::lock_guard lock(Engine::instance().mutex());
    auto port = find(hmi);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    port->started = false;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInReset(HMIDIIN hmi) {
    if (MMRESULT fault = TakeFault(Operation::InReset))
        return fault;
    Engine& engine = Engine::instance();
    std::shared_ptr<InPort> port;
    {
        std::lock_guard lock(engine.mutex());
        port = find(hmi);
        if (!port)
            return MMSYSERR_INVALHANDLE;
        port->started = false;
    }
    // Every buffer comes back, empty, before the call returns.
    engine.delivery().runAndWait([&engine, &port, hmi] {
        std::deque<LPMIDIHDR> returned;
        DWORD when;
        {
            std::lock_guard lock(engine.mutex());
            returned.swap(port->buffers);
            for (LPMIDIHDR header : returned)
                header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
            when = MillisecondsSince(port->start);
        }
        for (LPMIDIHDR header : returned)
            port->callback.notify(hmi, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), when);
    });
    return MMSYSERR_NOERROR;
}
