// SPDX-License-Identifier: GPL-3.0-or-later
// midiIn* on hosts without Win32: what the backend receives is stamped, copied into the
// buffers the program added, and handed to the driver callback on the delivery thread.
#include "engine.h"
#include "faults.h"
#include "platform/win32.h"
#include "port_table.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <utility>

namespace platform::midi {
namespace {

struct InPort : PortRecord<HMIDIIN, InputConnection> {
    // Engine lock.
    bool open = true;
    bool started = false;
    std::chrono::steady_clock::time_point start;
    std::deque<LPMIDIHDR> buffers;
};

PortTable<HMIDIIN, InPort>& table() {
    static PortTable<HMIDIIN, InPort> inputs;
    return inputs;
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

}  // namespace
}  // namespace platform::midi

using namespace platform::midi;

UINT WINAPI midiInGetNumDevs() {
    return static_cast<UINT>(Engine::instance().backend().listInputs().size());
}

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR uDeviceID, LPMIDIINCAPSA pmic, UINT cbmic) {
    return GetDevCaps(Operation::InGetDevCaps, pmic, cbmic, [uDeviceID](MIDIINCAPSA& caps) {
        return FillListedCaps(caps, Engine::instance().backend().listInputs(), uDeviceID);
    });
}

MMRESULT WINAPI midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback,
                           DWORD_PTR dwInstance, DWORD fdwOpen) {
    Backend& backend = Engine::instance().backend();
    const auto resolve = [&](unsigned& index) {
        index = uDeviceID;
        return uDeviceID >= backend.listInputs().size() ? MMSYSERR_BADDEVICEID : MMSYSERR_NOERROR;
    };
    return table().open(Operation::InOpen, phmi, dwCallback, dwInstance, fdwOpen, MIM_OPEN, resolve,
                        [&](const std::shared_ptr<InPort>& port) {
                            port->start = Clock::now();
                            return backend.openInput(port->index, std::make_shared<Sink>(port),
                                                     port->connection);
                        });
}

MMRESULT WINAPI midiInClose(HMIDIIN hmi) {
    // A callback already under way ends before this returns; none follows.
    return table().close(Operation::InClose, hmi, MIM_CLOSE, [](InPort& port) {
        if (!port.buffers.empty())
            return MIDIERR_STILLPLAYING;
        port.open = false;
        port.started = false;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT WINAPI midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
    return table().prepare(Operation::InPrepareHeader, hmi, pmh, cbmh);
}

MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
    return table().unprepare(Operation::InUnprepareHeader, hmi, pmh, cbmh);
}

MMRESULT WINAPI midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
    return table().queue(Operation::InAddBuffer, hmi, pmh, cbmh,
                         [pmh](const std::shared_ptr<InPort>& port) {
                             pmh->dwBytesRecorded = 0;
                             port->buffers.push_back(pmh);
                             return MMSYSERR_NOERROR;
                         });
}

MMRESULT WINAPI midiInStart(HMIDIIN hmi) {
    if (MMRESULT fault = TakeFault(Operation::InStart))
        return fault;
    return table().update(hmi, [](InPort& port) {
        if (!port.started) {
            port.started = true;
            port.start = Clock::now();
        }
        return MMSYSERR_NOERROR;
    });
}

MMRESULT WINAPI midiInStop(HMIDIIN hmi) {
    if (MMRESULT fault = TakeFault(Operation::InStop))
        return fault;
    return table().update(hmi, [](InPort& port) {
        port.started = false;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT WINAPI midiInReset(HMIDIIN hmi) {
    if (MMRESULT fault = TakeFault(Operation::InReset))
        return fault;
    Engine& engine = Engine::instance();
    std::shared_ptr<InPort> port;
    {
        std::lock_guard lock(engine.mutex());
        port = table().find(hmi);
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
