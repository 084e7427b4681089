// SPDX-License-Identifier: GPL-3.0-or-later
// The open ports of one direction, as midiIn* and midiOut* keep them: by handle, with each port
// number open at most once, and the header bookkeeping that both directions share.
#pragma once

#include "engine.h"
#include "faults.h"
#include "platform/win32.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace platform::midi {

// What every open port holds; a direction adds its own state.
template <typename Handle, typename Connection>
struct PortRecord {
    Handle handle = nullptr;
    unsigned index = 0;
    Callback callback;
    // Delivery thread only; reset there when the port closes.
    std::unique_ptr<Connection> connection;
};

template <typename Handle, typename Port>
class PortTable {
  public:
    // With the engine lock held.
    std::shared_ptr<Port> find(Handle handle) const {
        auto found = ports_.find(handle);
        return found == ports_.end() ? nullptr : found->second;
    }

    // Each call first takes a fault injected for its operation, as the winmm function would.

    // Opens a port: checks the callback, lets `resolve` turn the device ID into a port number
    // (or refuse it), reserves that number, lets `connect` make the backend connection for
    // the new record, and says `openMessage` once the handle is the program's.
    template <typename Resolve, typename Connect>
    MMRESULT open(Operation operation, Handle* result, DWORD_PTR function, DWORD_PTR instance,
                  DWORD flags, UINT openMessage, Resolve resolve, Connect connect) {
        if (MMRESULT fault = TakeFault(operation))
            return fault;
        if (result == nullptr)
            return MMSYSERR_INVALPARAM;
        *result = nullptr;
        Callback callback;
        if (MMRESULT parsed = ParseCallback(function, instance, flags, callback))
            return parsed;
        unsigned index = 0;
        if (MMRESULT resolved = resolve(index))
            return resolved;
        Engine& engine = Engine::instance();
        {
            std::lock_guard lock(engine.mutex());
            if (!openIndices_.insert(index).second)
                return MMSYSERR_ALLOCATED;
        }
        auto port = std::make_shared<Port>();
        port->index = index;
        port->callback = callback;
        // Without the lock: the backend may take its time, and may call back.
        const MMRESULT opened = connect(port);
        {
            std::lock_guard lock(engine.mutex());
            if (opened != MMSYSERR_NOERROR) {
                openIndices_.erase(index);
                return opened;
            }
            port->handle = reinterpret_cast<Handle>(engine.newHandle());
            ports_.emplace(port->handle, port);
            ++engine.openPorts();
        }
        *result = port->handle;
        port->callback.notify(port->handle, openMessage, 0, 0);
        return MMSYSERR_NOERROR;
    }

    // Closes a port once `release` (called with the lock held) lets it go: its connection is
    // destroyed on the delivery thread after what is queued there, and `closeMessage` is the
    // last callback of the port.
    template <typename Release>
    // With `first`, the connection is let go of ahead of the jobs queued for other ports: the
    // caller has seen this port's own jobs through.
    MMRESULT close(Operation operation, Handle handle, UINT closeMessage, Release release,
                   bool first = false) {
        if (MMRESULT fault = TakeFault(operation))
            return fault;
        Engine& engine = Engine::instance();
        std::shared_ptr<Port> port;
        {
            std::lock_guard lock(engine.mutex());
            port = find(handle);
            if (!port)
                return MMSYSERR_INVALHANDLE;
            if (MMRESULT busy = release(*port))
                return busy;
            ports_.erase(handle);
            openIndices_.erase(port->index);
            --engine.openPorts();
        }
        engine.delivery().runAndWait([&port] { port->connection.reset(); }, first);
        port->callback.notify(handle, closeMessage, 0, 0);
        return MMSYSERR_NOERROR;
    }

    // The port the handle has open, or null.
    std::shared_ptr<Port> open(Handle handle) const {
        std::lock_guard lock(Engine::instance().mutex());
        return find(handle);
    }

    // Runs `change` on the open port under the engine lock; its result, or
    // MMSYSERR_INVALHANDLE for a handle that is not open.
    template <typename Change>
    MMRESULT update(Handle handle, Change change) {
        std::lock_guard lock(Engine::instance().mutex());
        auto port = find(handle);
        return port ? change(*port) : MMSYSERR_INVALHANDLE;
    }

    MMRESULT prepare(Operation operation, Handle handle, LPMIDIHDR header, UINT size) const {
        return withHeader(operation, handle, header, size, [header](const std::shared_ptr<Port>&) {
            if (header->lpData == nullptr || header->dwBufferLength == 0)
                return MMSYSERR_INVALPARAM;
            header->dwFlags |= MHDR_PREPARED;
            return MMSYSERR_NOERROR;
        });
    }

    MMRESULT unprepare(Operation operation, Handle handle, LPMIDIHDR header, UINT size) const {
        return withHeader(operation, handle, header, size, [header](const std::shared_ptr<Port>&) {
            if (header->dwFlags & MHDR_INQUEUE)
                return MIDIERR_STILLPLAYING;
            header->dwFlags &= ~MHDR_PREPARED;
            return MMSYSERR_NOERROR;
        });
    }

    // Hands a prepared header to the port to be sent or filled: once `accept` (called with
    // the lock held) takes it, the header is marked queued and belongs to this layer.
    template <typename Accept>
    MMRESULT queue(Operation operation, Handle handle, LPMIDIHDR header, UINT size,
                   Accept accept) const {
        return withHeader(operation, handle, header, size, [&](const std::shared_ptr<Port>& port) {
            if (!(header->dwFlags & MHDR_PREPARED))
                return MIDIERR_UNPREPARED;
            if (header->dwFlags & MHDR_INQUEUE)
                return MIDIERR_STILLPLAYING;
            if (MMRESULT refused = accept(port))
                return refused;
            header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
            return MMSYSERR_NOERROR;
        });
    }

  private:
    // The checks every header call makes first; then `step`, with the lock held.
    template <typename Step>
    MMRESULT withHeader(Operation operation, Handle handle, LPMIDIHDR header, UINT size,
                        Step step) const {
        if (MMRESULT fault = TakeFault(operation))
            return fault;
        if (header == nullptr || size < sizeof(MIDIHDR))
            return MMSYSERR_INVALPARAM;
        std::lock_guard lock(Engine::instance().mutex());
        const std::shared_ptr<Port> port = find(handle);
        return port ? step(port) : MMSYSERR_INVALHANDLE;
    }

    std::unordered_map<Handle, std::shared_ptr<Port>> ports_;
    std::set<unsigned> openIndices_;
};

// The fields both capability records share, filled as this layer reports every port.
template <typename Caps>
void FillCommonCaps(Caps& caps, const std::string& name) {
    caps.wMid = 0xFFFF;
    caps.wPid = 0xFFFF;
    caps.vDriverVersion = 0x0100;
    CopyPortName(name, caps.szPname);
}

// The common fields of port `id` among the names the backend reports.
template <typename Caps>
MMRESULT FillListedCaps(Caps& caps, const std::vector<std::string>& names, UINT_PTR id) {
    const auto fitted =
        FitPortNames(std::is_same_v<Caps, MIDIOUTCAPSA>, names, Engine::instance().backend());
    if (id >= fitted.size())
        return MMSYSERR_BADDEVICEID;
    FillCommonCaps(caps, fitted[id]);
    return MMSYSERR_NOERROR;
}

// midiInGetDevCapsA and midiOutGetDevCapsA: `fill` describes the port in a record, of which
// the first `size` bytes are copied out.
template <typename Caps, typename Fill>
MMRESULT GetDevCaps(Operation operation, Caps* result, UINT size, Fill fill) {
    if (MMRESULT fault = TakeFault(operation))
        return fault;
    if (result == nullptr)
        return MMSYSERR_INVALPARAM;
    Caps caps{};
    if (MMRESULT refused = fill(caps))
        return refused;
    std::memcpy(result, &caps, std::min<std::size_t>(size, sizeof caps));
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
