// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiIn.h"

#include "ErrorText.h"
#include "PortSearch.h"

#include <algorithm>

TMidiInput::TMidiInput(TComponent* owner)
    : TComponent(owner), window_([this](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
          return windowProc(message, wParam, lParam);
      }) {
    if (midiInGetNumDevs() > 0)
        SetDeviceID(0);
    state_ = psClosed;
}

TMidiInput::~TMidiInput() {
    if (handle_ != nullptr) {
        try {
            Close();
        } catch (const Exception&) {
            keepForOpenPort();
            return;
        }
    }
    releaseQueueAndContext();
}

std::string TMidiInput::ErrorText(std::uint16_t code) const {
    return MidiErrorText(&midiInGetErrorTextA, code);
}

void TMidiInput::check(MMRESULT result) {
    error_ = static_cast<std::uint16_t>(result);
    if (result != MMSYSERR_NOERROR)
        throw EMidiInputError(ErrorText(error_));
}

void TMidiInput::SetDeviceID(std::uint16_t id) {
    if (state_ == psOpen)
        throw EMidiInputError("Change to DeviceID while device was open");
    if (id >= midiInGetNumDevs())
        throw EMidiInputError("Invalid device ID");
    deviceId_ = id;
    MIDIINCAPSA caps{};
    check(midiInGetDevCapsA(id, &caps, sizeof caps));
    productName_ = caps.szPname;
}

void TMidiInput::SetProductName(const std::string& name) {
    if (state_ == psOpen)
        throw EMidiInputError("Change to ProductName while device was open");
    // A stored name is not looked up: the owner chooses the port once the ports are known.
    if (Loading())
        return;
    const std::int64_t id = SelectPortByName<EMidiInputError, MIDIINCAPSA>(
        name, productName_, 0, midiInGetNumDevs(), &midiInGetDevCapsA,
        [this](MMRESULT r) { check(r); }, "MIDI Input Device " + name + " not installed ");
    // Past 65535 ports the number cannot be held; it is not a valid port either way.
    if (id > 0xFFFF)
        throw EMidiInputError("Invalid device ID");
    SetDeviceID(static_cast<std::uint16_t>(id));
}

void TMidiInput::SetSysexBufferSize(std::uint16_t size) {
    if (state_ == psOpen)
        throw EMidiInputError("Change to SysexBufferSize while device was open");
    sysexBufferSize_ = size;
}

void TMidiInput::SetSysexBufferCount(std::uint16_t count) {
    if (state_ == psOpen)
        throw EMidiInputError("Change to SysexBuffercount while device was open");
    sysexBufferCount_ = count;
}

void TMidiInput::SetSysexOnly(bool sysexOnly) {
    sysexOnly_ = sysexOnly;
    if (context_ != nullptr)
        context_->sysexOnly.store(sysexOnly ? 1 : 0, std::memory_order_relaxed);
}

void TMidiInput::Open() {
    // Opening again would lose the open port and free what it uses.
    if (state_ == psOpen)
        return;
    // A port whose Close failed half-way still uses the queue, buffers and context: it is
    // closed first, and while it will not close nothing is opened in its place.
    if (handle_ != nullptr) {
        try {
            Close();
        } catch (const Exception&) {
            return;
        }
    }
    try {
        if (queue_ == nullptr)
            queue_ = MidiEventQueue::Create(Capacity);
        if (context_ == nullptr) {
            context_ = AllocCallbackContext();
            if (context_ == nullptr)
                throw EMidiInputError("Not enough memory to open the MIDI input");
        }
        context_->queue = queue_;
        context_->window = window_.handle();
        context_->sysexOnly.store(sysexOnly_ ? 1 : 0, std::memory_order_relaxed);
        context_->dropped.store(0, std::memory_order_relaxed);
        context_->session = ++session_;
        context_->dataNoticePending.store(false, std::memory_order_relaxed);
        context_->overflowNoticePending.store(false, std::memory_order_relaxed);
        check(midiInOpen(&handle_, deviceId_, reinterpret_cast<DWORD_PTR>(&MidiDriverCallback),
                         reinterpret_cast<DWORD_PTR>(context_), CALLBACK_FUNCTION));
        prepareSysexBuffers();
        addSysexBuffers();
        state_ = psOpen;
    } catch (...) {
        abandonOpen();
    }
}

void TMidiInput::abandonOpen() {
    if (handle_ != nullptr) {
        midiInReset(handle_);
        for (auto& buffer : buffers_)
            midiInUnprepareHeader(handle_, buffer->Header(), sizeof(MIDIHDR));
        // The port still holds the buffers and may still call into the context: all stay, as
        // after a Close that failed half-way, for the next Close or Open to finish.
        if (midiInClose(handle_) != MMSYSERR_NOERROR)
            return;
        handle_ = nullptr;
    }
    buffers_.clear();
    releaseQueueAndContext();
}

void TMidiInput::keepForOpenPort() {
    for (auto& buffer : buffers_)
        static_cast<void>(buffer.release());
    buffers_.clear();
    queue_ = nullptr;
    context_ = nullptr;
}

void TMidiInput::releaseQueueAndContext() {
    MidiEventQueue::Destroy(queue_);
    queue_ = nullptr;
    FreeCallbackContext(context_);
    context_ = nullptr;
}

void TMidiInput::prepareSysexBuffers() {
    if (sysexBufferCount_ == 0 || sysexBufferSize_ == 0 || handle_ == nullptr)
        return;
    for (std::uint16_t i = 0; i < sysexBufferCount_; ++i) {
        auto buffer = std::make_unique<TMyMidiHdr>(sysexBufferSize_);
        if (buffer->Header() == nullptr)
            throw EMidiInputError("Not enough memory for the MIDI input buffers");
        buffer->Header()->dwUser = reinterpret_cast<DWORD_PTR>(buffer.get());
        check(midiInPrepareHeader(handle_, buffer->Header(), sizeof(MIDIHDR)));
        buffers_.push_back(std::move(buffer));
    }
}

void TMidiInput::addSysexBuffers() {
    for (auto& buffer : buffers_)
        check(midiInAddBuffer(handle_, buffer->Header(), sizeof(MIDIHDR)));
}

void TMidiInput::unprepareSysexBuffers() {
    while (!buffers_.empty()) {
        check(midiInUnprepareHeader(handle_, buffers_.front()->Header(), sizeof(MIDIHDR)));
        buffers_.erase(buffers_.begin());
    }
}

void TMidiInput::Start() {
    if (state_ == psOpen)
        check(midiInStart(handle_));
}

void TMidiInput::Close() {
    // A port whose earlier Close failed half-way still has its handle: finish closing it.
    if (state_ != psOpen && handle_ == nullptr)
        return;
    // From here on, notifications reaching the window fire no event.
    state_ = psClosed;
    check(midiInReset(handle_));
    unprepareSysexBuffers();
    check(midiInClose(handle_));
    handle_ = nullptr;
    MidiEventQueue::Destroy(queue_);
    queue_ = nullptr;
}

std::uint32_t TMidiInput::DroppedEventCount() const {
    return context_ != nullptr ? context_->dropped.load(std::memory_order_relaxed) : 0;
}

std::uint16_t TMidiInput::PendingEventCount() const {
    return state_ == psOpen && queue_ != nullptr ? queue_->Count() : 0;
}

TMyMidiHdr* TMidiInput::findBuffer(LPMIDIHDR header) const {
    auto found = std::find_if(buffers_.begin(), buffers_.end(),
                              [header](const auto& buffer) { return buffer->Header() == header; });
    return found == buffers_.end() ? nullptr : found->get();
}

bool TMidiInput::requeueBuffer(LPMIDIHDR header) {
    if (header == nullptr || findBuffer(header) == nullptr)
        return false;
    const MMRESULT result = midiInAddBuffer(handle_, header, sizeof(MIDIHDR));
    // A late notice may name a buffer that the port already holds again.
    if (result != MIDIERR_STILLPLAYING)
        check(result);
    return true;
}

std::optional<MidiInputEvent> TMidiInput::GetMidiEvent() {
    QueuedEvent queued;
    if (state_ != psOpen || queue_ == nullptr || !queue_->Pop(queued))
        return std::nullopt;
    MidiInputEvent event;
    event.timestamp = queued.timestamp;
    event.message = queued.shortMessage;
    event.isSysex = queued.header != nullptr;
    if (event.isSysex && findBuffer(queued.header) != nullptr) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(queued.header->lpData);
        event.sysex.assign(bytes, bytes + queued.header->dwBytesRecorded);
        requeueBuffer(queued.header);
    }
    return event;
}

LRESULT TMidiInput::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // A notice of an earlier session names buffers and events that are no longer there.
    if (context_ == nullptr || wParam != session_)
        return 0;
    switch (message) {
        case MM_MIM_DATA:
            // Acquire: every event pushed before the notice was suppressed is seen below.
            context_->dataNoticePending.exchange(false, std::memory_order_acq_rel);
            if (OnMidiInput && state_ == psOpen && PendingEventCount() > 0)
                OnMidiInput(this);
            break;
        case WM_USER:
            if (lParam == 0)
                context_->overflowNoticePending.exchange(false, std::memory_order_acq_rel);
            if (state_ != psOpen)
                break;
            // A System Exclusive that found the queue full is lost, but its buffer is not.
            requeueBuffer(reinterpret_cast<LPMIDIHDR>(lParam));
            if (OnOverflow)
                OnOverflow(this);
            break;
        default:
            break;
    }
    return 0;
}
