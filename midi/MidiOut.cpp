// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiOut.h"

#include "ErrorText.h"
#include "PortSearch.h"
#include "platform/short_message.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// What the destructor waits, at most, for long messages still being sent.
constexpr auto kDrainLimit = std::chrono::seconds(2);

}  // namespace

TMidiOutput::TMidiOutput(TComponent* owner)
    : TComponent(owner), window_([this](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
          return windowProc(message, wParam, lParam);
      }) {}

TMidiOutput::~TMidiOutput() {
    if (state_ == psOpen) {
        try {
            Close();
        } catch (const Exception&) {
            drainAndClose();
        }
    }
    if (state_ == psOpen) {
        // The port would not close: it may still call back, so what it can touch stays.
        context_ = nullptr;
        for (auto& entry : outstanding_)
            static_cast<void>(entry.second.release());
        return;
    }
    // Completions still in the mailbox find the window gone; their headers are freed here.
    outstanding_.clear();
    freeContext();
}

void TMidiOutput::drainAndClose() {
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    do {
        for (auto it = outstanding_.begin(); it != outstanding_.end();) {
            if (midiOutUnprepareHeader(handle_, it->first, sizeof(MIDIHDR)) != MIDIERR_STILLPLAYING)
                it = outstanding_.erase(it);
            else
                ++it;
        }
        if (outstanding_.empty() && midiOutClose(handle_) == MMSYSERR_NOERROR) {
            handle_ = nullptr;
            state_ = psClosed;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (std::chrono::steady_clock::now() < deadline);
}

std::string TMidiOutput::ErrorText(std::uint16_t code) const {
    return MidiErrorText(&midiOutGetErrorTextA, code);
}

void TMidiOutput::check(MMRESULT result) {
    lastResult_ = static_cast<std::uint16_t>(result);
    if (result != MMSYSERR_NOERROR)
        raisePlatformText(result);
}

void TMidiOutput::raisePlatformText(MMRESULT result) {
    throw EmidioutputError(ErrorText(static_cast<std::uint16_t>(result)));
}

void TMidiOutput::SetDeviceID(std::int32_t id) {
    if (state_ == psOpen)
        throw EmidioutputError("Change to DeviceID while device was open");
    // Negative numbers pass here; the mapper (-1) is valid, the others fail the query below.
    if (static_cast<std::int64_t>(id) >= static_cast<std::int64_t>(midiOutGetNumDevs()))
        throw EmidioutputError("Invalid device ID");
    deviceId_ = id;
    MIDIOUTCAPSA caps{};
    // Through UINT, so that -1 is MIDI_MAPPER on every platform.
    check(midiOutGetDevCapsA(static_cast<UINT>(id), &caps, sizeof caps));
    productName_ = caps.szPname;
}

void TMidiOutput::SetProductName(const std::string& name) {
    if (state_ == psOpen)
        throw EmidioutputError("Change to ProductName while device was open");
    // A stored name is not looked up: the owner chooses the port once the ports are known.
    if (Loading())
        return;
    // The mapper (-1) first: it wins over a port of the same name.
    const std::int64_t id = SelectPortByName<EmidioutputError, MIDIOUTCAPSA>(
        name, productName_, -1, midiOutGetNumDevs(), &midiOutGetDevCapsA,
        [this](MMRESULT r) { check(r); }, "MIDI output Device " + name + " not installed");
    SetDeviceID(static_cast<std::int32_t>(id));
}

bool TMidiOutput::Open() {
    // Opening again would lose the open port's handle.
    if (state_ == psOpen)
        return false;
    try {
        if (context_ == nullptr) {
            context_ = AllocCallbackContext();
            if (context_ == nullptr)
                throw EmidioutputError("Not enough memory to open the MIDI output");
        }
        context_->window = window_.handle();
        check(midiOutOpen(&handle_, static_cast<UINT>(deviceId_),
                          reinterpret_cast<DWORD_PTR>(&MidiDriverCallback),
                          reinterpret_cast<DWORD_PTR>(context_), CALLBACK_FUNCTION));
        state_ = psOpen;
        return true;
    } catch (...) {
        handle_ = nullptr;
        freeContext();
        return false;
    }
}

bool TMidiOutput::Close() {
    const Recovered recovered = recoverLostCompletions();
    fireSent(recovered.sent);
    bool closed = false;
    if (state_ == psOpen) {
        check(midiOutClose(handle_));
        closed = true;
    }
    handle_ = nullptr;
    state_ = psClosed;
    if (recovered.failure != MMSYSERR_NOERROR) {
        lastResult_ = static_cast<std::uint16_t>(recovered.failure);
        raisePlatformText(recovered.failure);
    }
    return closed;
}

void TMidiOutput::SendShortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const std::uint8_t bytes[] = {status, data1, data2};
    check(midiOutShortMsg(handle_, platform::PackShortMessage(bytes)));
}

void TMidiOutput::SendLongMessage(const std::uint8_t* data, std::uint16_t length) {
    if (length == 0 || data == nullptr)
        throw EmidioutputError("Cannot send an empty MIDI message");
    auto owned = std::make_unique<TMyMidiHdr>(length);
    LPMIDIHDR header = owned->Header();
    if (header == nullptr)
        throw EmidioutputError("Not enough memory to send a MIDI message");
    std::memcpy(owned->Data(), data, length);
    header->dwUser = reinterpret_cast<DWORD_PTR>(owned.get());

    check(midiOutPrepareHeader(handle_, header, sizeof(MIDIHDR)));
    // Kept before the port has it, so the completion always finds it.
    outstanding_.emplace(header, std::move(owned));
    const MMRESULT sent = midiOutLongMsg(handle_, header, sizeof(MIDIHDR));
    lastResult_ = static_cast<std::uint16_t>(sent);
    if (sent != MMSYSERR_NOERROR) {
        midiOutUnprepareHeader(handle_, header, sizeof(MIDIHDR));
        outstanding_.erase(header);
        raisePlatformText(sent);
    }
}

void TMidiOutput::SendEvent(const MidiEvent& event) {
    if (state_ != psOpen)
        throw EmidioutputError("MIDI Output device not open");
    if (event.sysexData != nullptr)
        SendLongMessage(event.sysexData, event.sysexLength);
    else
        SendShortMessage(event.status, event.data1, event.data2);
}

LRESULT TMidiOutput::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != MM_MOM_DONE)
        return 0;
    // A nonzero first parameter: the port could not send this message.
    const auto failure = static_cast<MMRESULT>(wParam);
    const bool released = release(reinterpret_cast<LPMIDIHDR>(lParam));
    const Recovered recovered = recoverLostCompletions();
    fireSent((released && failure == MMSYSERR_NOERROR ? 1 : 0) + recovered.sent);
    const MMRESULT reported = failure != MMSYSERR_NOERROR ? failure : recovered.failure;
    if (reported != MMSYSERR_NOERROR) {
        lastResult_ = static_cast<std::uint16_t>(reported);
        raisePlatformText(reported);
    }
    return 0;
}

bool TMidiOutput::release(LPMIDIHDR header) {
    auto found = outstanding_.find(header);
    // Only headers this component handed out are touched, and only once the port has finished
    // them: a late notice may name the address of a newer header still being sent.
    if (found == outstanding_.end() ||
        !(std::atomic_ref(header->dwFlags).load(std::memory_order_acquire) & MHDR_DONE))
        return false;
    midiOutUnprepareHeader(handle_, header, sizeof(MIDIHDR));
    outstanding_.erase(found);
    return true;
}

TMidiOutput::Recovered TMidiOutput::recoverLostCompletions() {
    Recovered recovered;
    if (context_ == nullptr ||
        context_->lostCompletions.exchange(0, std::memory_order_acquire) == 0)
        return recovered;
    std::vector<LPMIDIHDR> finished;
    for (const auto& entry : outstanding_)
        finished.push_back(entry.first);
    for (LPMIDIHDR header : finished)
        recovered.sent += release(header) ? 1 : 0;
    recovered.failure = context_->lostFailure.exchange(0, std::memory_order_relaxed);
    // The failed one is among those freed; it does not count as sent.
    if (recovered.failure != MMSYSERR_NOERROR && recovered.sent > 0)
        --recovered.sent;
    // A short message's failure frees nothing.
    if (const DWORD shortFailure = context_->lostShortFailure.exchange(0))
        recovered.failure = static_cast<MMRESULT>(shortFailure);
    return recovered;
}

void TMidiOutput::fireSent(int count) {
    for (int i = 0; i < count && Onmidioutput; ++i)
        Onmidioutput(this);
}

void TMidiOutput::freeContext() {
    FreeCallbackContext(context_);
    context_ = nullptr;
}
