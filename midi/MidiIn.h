// SPDX-License-Identifier: GPL-3.0-or-later
// A MIDI input port of the platform: chosen by number or name, opened with a set of System
// Exclusive receive buffers, started and closed. What arrives is queued by the driver callback
// and announced on the GUI thread; GetMidiEvent takes it out and gives System Exclusive
// buffers back to the port, so reception goes on for as long as the owner reads.
#pragma once

#include "CallbackContext.h"
#include "Component.h"
#include "Exception.h"
#include "MidiEventQueue.h"
#include "MyMidiHdr.h"
#include "PortState.h"
#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class EMidiInputError : public Exception {
  public:
    using Exception::Exception;
};

// One event taken out of the queue.
struct MidiInputEvent {
    DWORD timestamp = 0;  // milliseconds since Start
    DWORD message = 0;    // a short message, status in the low byte; 0 for System Exclusive
    // The bytes of one returned receive buffer. A message longer than a buffer arrives as
    // several events; one that ended badly (cut short, or no buffer left) lacks its final F7.
    std::vector<std::uint8_t> sysex;
    bool isSysex = false;
};

class TMidiInput : public TComponent {
  public:
    // Selects port 0 when there is one. Raises the platform's text if port 0 cannot be queried.
    explicit TMidiInput(TComponent* owner);
    // Closes an open port. A port that refuses to close keeps what it may still touch.
    ~TMidiInput() override;

    // Published, in this order: ProductName, DeviceID, Capacity, Error, SysexBufferSize,
    // SysexBufferCount, SysexOnly, OnMidiInput, OnOverflow.
    const std::string& ProductName() const { return productName_; }
    void SetProductName(const std::string& name);
    std::uint16_t DeviceID() const { return deviceId_; }
    void SetDeviceID(std::uint16_t id);
    // Used when the queue is next created, limited to what fits a shared block.
    std::uint16_t Capacity = 1024;
    std::uint16_t Error() const { return error_; }
    std::uint16_t SysexBufferSize() const { return sysexBufferSize_; }
    void SetSysexBufferSize(std::uint16_t size);
    std::uint16_t SysexBufferCount() const { return sysexBufferCount_; }
    void SetSysexBufferCount(std::uint16_t count);
    bool SysexOnly() const { return sysexOnly_; }
    // Takes effect at once, also while open.
    void SetSysexOnly(bool sysexOnly);
    TNotifyEvent OnMidiInput;
    TNotifyEvent OnOverflow;

    // Never raises: a refused port stays closed.
    void Open();
    void Start();
    void Close();
    std::uint16_t PendingEventCount() const;
    // Input lost since the last Open because the queue was full or the port had no buffer.
    // Counted on the platform's thread, so it is exact even when notifications are not.
    std::uint32_t DroppedEventCount() const;
    // The oldest queued event, if any, while open. A System Exclusive event's buffer goes
    // back to the port; a refusal there raises the platform's text after the event was taken.
    std::optional<MidiInputEvent> GetMidiEvent();

    std::string ErrorText(std::uint16_t code) const;

    TPortState State() const { return state_; }
    HWND NotificationWindow() const { return window_.handle(); }

  private:
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam);
    void check(MMRESULT result);
    void prepareSysexBuffers();
    void addSysexBuffers();
    void unprepareSysexBuffers();
    // Gives a returned receive buffer back to the port; false if it is not one of ours.
    bool requeueBuffer(LPMIDIHDR header);
    TMyMidiHdr* findBuffer(LPMIDIHDR header) const;
    // Closes the port after an Open that failed part-way, before anything it uses is freed.
    void abandonOpen();
    // Drops the queue, buffers and context without freeing them: a port that would not close
    // may still write to them.
    void keepForOpenPort();
    void releaseQueueAndContext();

    platform::MessageWindow window_;
    std::uint16_t deviceId_ = 0;
    HMIDIIN handle_ = nullptr;
    TPortState state_ = psCreating;
    std::uint16_t error_ = 0;
    bool sysexOnly_ = false;
    std::string productName_;
    MidiEventQueue* queue_ = nullptr;
    std::uint16_t sysexBufferSize_ = 4096;
    std::uint16_t sysexBufferCount_ = 16;
    std::vector<std::unique_ptr<TMyMidiHdr>> buffers_;
    CallbackContext* context_ = nullptr;
    // Counts the opens; the callback tags every notice with it.
    WPARAM session_ = 0;
};
