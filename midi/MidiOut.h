// SPDX-License-Identifier: GPL-3.0-or-later
// A MIDI output port of the platform: chosen by number or name, opened, closed, and sent short
// and long messages. Long messages are copied into a header of the component's own and sent
// without waiting; each header is released on the GUI thread when the port has finished it.
#pragma once

#include "CallbackContext.h"
#include "Component.h"
#include "Exception.h"
#include "MidiEvent.h"
#include "MyMidiHdr.h"
#include "PortState.h"
#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class EmidioutputError : public Exception {
  public:
    using Exception::Exception;
};

class TMidiOutput : public TComponent {
  public:
    explicit TMidiOutput(TComponent* owner);
    // Closes an open port; messages still being sent are waited for, within a bound.
    ~TMidiOutput() override;

    // Published, in this order: ProductName, DeviceID, Onmidioutput.
    const std::string& ProductName() const { return productName_; }
    void SetProductName(const std::string& name);
    std::int32_t DeviceID() const { return deviceId_; }
    void SetDeviceID(std::int32_t id);
    // Called with this component after the port has finished a long message.
    TNotifyEvent Onmidioutput;

    // True when this call opened the port. Never raises: a refused port stays closed.
    virtual bool Open();
    // True when an open port was closed.
    virtual bool Close();
    virtual void SendEvent(const MidiEvent& event);
    virtual void SendShortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    // Copies the bytes; the caller may free its own at once.
    virtual void SendLongMessage(const std::uint8_t* data, std::uint16_t length);

    std::string ErrorText(std::uint16_t code) const;

    TPortState State() const { return state_; }
    std::uint16_t LastResult() const { return lastResult_; }
    HWND NotificationWindow() const { return window_.handle(); }
    // Long messages handed to the port and not yet released.
    std::size_t PendingLongMessages() const { return outstanding_.size(); }

  private:
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Frees a header the port has finished; false if it is not ours or not finished.
    bool release(LPMIDIHDR header);
    struct Recovered {
        int sent = 0;
        MMRESULT failure = MMSYSERR_NOERROR;
    };
    // Frees every finished header whose completion notice was lost to a full mailbox.
    Recovered recoverLostCompletions();
    void fireSent(int count);
    // Stores the result; a nonzero one is raised with the platform's text.
    void check(MMRESULT result);
    [[noreturn]] void raisePlatformText(MMRESULT result);
    void drainAndClose();
    void freeContext();

    platform::MessageWindow window_;
    std::int32_t deviceId_ = 0;
    HMIDIOUT handle_ = nullptr;
    TPortState state_ = psClosed;
    CallbackContext* context_ = nullptr;
    std::uint16_t lastResult_ = 0;
    std::string productName_;
    std::unordered_map<LPMIDIHDR, std::unique_ptr<TMyMidiHdr>> outstanding_;
};
