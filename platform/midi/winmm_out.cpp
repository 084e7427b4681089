// SPDX-License-Identifier: GPL-3.0-or-later
// midiOut* on hosts without Win32: handles, header flags and completions as Windows keeps them,
// with the bytes themselves sent by the selected backend on the delivery thread.
#include "engine.h"
#include "faults.h"
#include "platform/short_message.h"
#include "platform/win32.h"
#include "port_table.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

namespace platform::midi {
namespace {

constexpr WORD kMapperTechnology = 5;  // MOD_MAPPER
constexpr const char* kMapperName = "MIDI Mapper";

struct OutPort : PortRecord<HMIDIOUT, OutputConnection> {
    // Engine lock: long messages accepted and not yet completed, and the running status.
    int inFlight = 0;
    BYTE runningStatus = 0;
    // Set once a send found the port gone: every later message fails at its call.
    MMRESULT lost = MMSYSERR_NOERROR;
    // Delivery thread: long messages sent whose outcome the port does not know yet, oldest
    // first.
    struct Awaiting {
        std::function<std::optional<MMRESULT>()> outcome;
        std::function<void(MMRESULT)> finish;
    };
    std::deque<Awaiting> awaiting;
    // jobsMutex: jobs on the delivery thread for this port, queued, waiting for their time or
    // running, including those they posted.
    int jobs = 0;
};

std::mutex jobsMutex;
std::condition_variable jobsDone;

// Posts a job of the port's, for now or for `due`, counted until it has run: closing a port
// waits for its own jobs only, not for every port's and the inputs'.
void postFor(const std::shared_ptr<OutPort>& port,
             std::optional<DeliveryThread::Clock::time_point> due, std::function<void()> job) {
    {
        std::lock_guard lock(jobsMutex);
        ++port->jobs;
    }
    auto counted = [port, job = std::move(job)] {
        job();
        {
            std::lock_guard lock(jobsMutex);
            --port->jobs;
        }
        jobsDone.notify_all();
    };
    DeliveryThread& delivery = Engine::instance().delivery();
    if (due)
        delivery.postAt(*due, std::move(counted));
    else
        delivery.post(std::move(counted));
}

PortTable<HMIDIOUT, OutPort>& table() {
    static PortTable<HMIDIOUT, OutPort> outputs;
    return outputs;
}

bool isMapper(UINT_PTR id) {
    return id == MIDI_MAPPER || id == static_cast<UINT_PTR>(-1);
}

// Delivery thread. A port found gone stays gone for this handle, unless it may be connected
// again.
MMRESULT noteLoss(OutPort& port, MMRESULT result) {
    if (result == MIDIERR_NODEVICE && !(port.connection && port.connection->reconnects())) {
        std::lock_guard lock(Engine::instance().mutex());
        port.lost = result;
    }
    return result;
}

// Delivery thread: asks what became of the port's messages, oldest first, until each is
// known, leaving the thread to other messages in between, and finishes them in order.
void checkOutcomes(const std::shared_ptr<OutPort>& port) {
    while (!port->awaiting.empty()) {
        const auto known = port->awaiting.front().outcome();
        if (!known)
            break;
        auto finish = std::move(port->awaiting.front().finish);
        port->awaiting.pop_front();
        finish(noteLoss(*port, *known));
    }
    if (port->awaiting.empty())
        return;
    const auto again = DeliveryThread::Clock::now() + port->connection->askAgainAfter();
    postFor(port, again, [port] { checkOutcomes(port); });
}

void awaitOutcome(const std::shared_ptr<OutPort>& port,
                  std::function<std::optional<MMRESULT>()> outcome,
                  std::function<void(MMRESULT)> finish) {
    port->awaiting.push_back({std::move(outcome), std::move(finish)});
    if (port->awaiting.size() == 1)
        checkOutcomes(port);
}

MMRESULT sendOn(OutPort& port, std::span<const std::uint8_t> bytes) {
    return noteLoss(port, port.connection ? port.connection->send(bytes) : MMSYSERR_INVALHANDLE);
}

// Delivery thread: sends a short message. A port that learns only later whether it arrived
// reports a failure then, as a completion without a header, in order with the long messages:
// the caller does not wait for the port's next cycle.
MMRESULT sendShort(const std::shared_ptr<OutPort>& port, std::span<const std::uint8_t> bytes) {
    const MMRESULT sent = sendOn(*port, bytes);
    if (auto outcome = sent == MMSYSERR_NOERROR ? port->connection->outcomeOfLast() : nullptr)
        awaitOutcome(port, std::move(outcome), [port](MMRESULT result) {
            if (result != MMSYSERR_NOERROR)
                port->callback.notify(port->handle, MOM_DONE, 0, result);
        });
    return sent;
}

}  // namespace
}  // namespace platform::midi

using namespace platform::midi;

UINT WINAPI midiOutGetNumDevs() {
    return static_cast<UINT>(Engine::instance().backend().listOutputs().size());
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR uDeviceID, LPMIDIOUTCAPSA pmoc, UINT cbmoc) {
    return GetDevCaps(Operation::OutGetDevCaps, pmoc, cbmoc, [uDeviceID](MIDIOUTCAPSA& caps) {
        caps.wChannelMask = 0xFFFF;
        if (isMapper(uDeviceID)) {
            caps.wTechnology = kMapperTechnology;
            FillCommonCaps(caps, kMapperName);
            return MMSYSERR_NOERROR;
        }
        Backend& backend = Engine::instance().backend();
        const MMRESULT listed = FillListedCaps(caps, backend.listOutputs(), uDeviceID);
        if (listed == MMSYSERR_NOERROR)
            caps.wTechnology = backend.outputTechnology(static_cast<unsigned>(uDeviceID));
        return listed;
    });
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback,
                            DWORD_PTR dwInstance, DWORD fdwOpen) {
    Backend& backend = Engine::instance().backend();
    const auto resolve = [&](unsigned& index) {
        const std::size_t count = backend.listOutputs().size();
        if (isMapper(uDeviceID)) {
            // The mapper stands for the first output port.
            index = 0;
            return count == 0 ? MIDIERR_NODEVICE : MMSYSERR_NOERROR;
        }
        index = uDeviceID;
        return uDeviceID >= count ? MMSYSERR_BADDEVICEID : MMSYSERR_NOERROR;
    };
    return table().open(Operation::OutOpen, phmo, dwCallback, dwInstance, fdwOpen, MOM_OPEN,
                        resolve, [&](const std::shared_ptr<OutPort>& port) {
                            return backend.openOutput(port->index, port->connection);
                        });
}

MMRESULT WINAPI midiOutClose(HMIDIOUT hmo) {
    // The port's messages already queued go out first, also those a cable still carries; no
    // callback for this port follows the return. Other ports and the inputs go on meanwhile.
    const std::shared_ptr<OutPort> port = table().open(hmo);
    if (port && !Engine::instance().delivery().isCurrent()) {
        std::unique_lock lock(jobsMutex);
        jobsDone.wait(lock, [&] { return port->jobs == 0; });
    }
    return table().close(
        Operation::OutClose, hmo, MOM_CLOSE,
        [](const OutPort& port) {
            return port.inFlight > 0 ? MIDIERR_STILLPLAYING : MMSYSERR_NOERROR;
        },
        true);
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg) {
    if (MMRESULT fault = TakeFault(Operation::OutShortMsg))
        return fault;
    Engine& engine = Engine::instance();
    std::shared_ptr<OutPort> port;
    Bytes bytes;
    {
        std::lock_guard lock(engine.mutex());
        port = table().find(hmo);
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
        for (std::size_t i = 1; i < platform::ShortMessageLength(status); ++i, data >>= 8)
            bytes.push_back(static_cast<BYTE>(data & 0x7F));
    }
    // Sent before the call returns, in order with the long messages before it, so that a
    // port that has gone away is reported here.
    MMRESULT sent = MMSYSERR_NOERROR;
    engine.delivery().runAndWait([&] { sent = sendShort(port, bytes); });
    return sent;
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
    return table().prepare(Operation::OutPrepareHeader, hmo, pmh, cbmh);
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
    return table().unprepare(Operation::OutUnprepareHeader, hmo, pmh, cbmh);
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
    std::shared_ptr<OutPort> port;
    if (MMRESULT refused = table().queue(Operation::OutLongMsg, hmo, pmh, cbmh,
                                         [&port](const std::shared_ptr<OutPort>& open) {
                                             if (open->lost)
                                                 return open->lost;
                                             ++open->inFlight;
                                             port = open;
                                             return MMSYSERR_NOERROR;
                                         }))
        return refused;
    Engine& engine = Engine::instance();
    postFor(port, std::nullopt, [&engine, port, pmh] {
        // The header belongs to the layer while it is queued; the program does not touch it.
        const MMRESULT sent = sendOn(
            *port,
            std::span(reinterpret_cast<const std::uint8_t*>(pmh->lpData), pmh->dwBufferLength));
        // A message that could not be sent still comes back, with the reason as the second
        // parameter (0 on Windows, where drivers refuse at the call instead).
        auto finish = [&engine, port, pmh](MMRESULT result) {
            auto completion = [&engine, port, pmh, result] {
                {
                    std::lock_guard lock(engine.mutex());
                    // The program may look for MHDR_DONE without waiting for MOM_DONE.
                    std::atomic_ref(pmh->dwFlags)
                        .store((pmh->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE,
                               std::memory_order_release);
                    --port->inFlight;
                }
                port->callback.notify(port->handle, MOM_DONE, reinterpret_cast<DWORD_PTR>(pmh),
                                      result);
            };
            std::function<void()> now;
            {
                std::lock_guard lock(engine.mutex());
                now = engine.completeOrHold(std::move(completion));
            }
            if (now)
                now();
        };
        // A port that learns later whether the message arrived completes it once it knows.
        if (auto outcome = sent == MMSYSERR_NOERROR ? port->connection->outcomeOfLast() : nullptr)
            return awaitOutcome(port, std::move(outcome), std::move(finish));
        // Behind messages whose outcome is not known yet, it completes after them.
        if (!port->awaiting.empty())
            return awaitOutcome(
                port, [sent] { return std::optional(sent); }, std::move(finish));
        // A port that still carries the message completes it once its last byte has left.
        const auto done =
            port->connection ? port->connection->doneAt() : DeliveryThread::Clock::time_point{};
        if (done > DeliveryThread::Clock::now())
            postFor(port, done, [finish, sent] { finish(sent); });
        else
            finish(sent);
    });
    return MMSYSERR_NOERROR;
}
