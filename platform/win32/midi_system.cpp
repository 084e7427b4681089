// SPDX-License-Identifier: GPL-3.0-or-later
// Windows has one MIDI system. Port changes are learned from device arrival and removal,
// which Windows sends to a hidden window registered for every device interface class.
#include "platform/midi_system.h"

#include <dbt.h>

namespace {

constexpr const char* kListenerClass = "RDN417MidiPortWatch";

struct Watch {
    HWND target = nullptr;
    UINT message = 0;
    HWND listener = nullptr;
    HDEVNOTIFY registration = nullptr;
};

Watch& watch() {
    static Watch current;
    return current;
}

LRESULT CALLBACK listen(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) &&
        watch().target != nullptr)
        PostMessageA(watch().target, watch().message, 0, 0);
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND makeListener() {
    static const ATOM atom = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = listen;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kListenerClass;
        return RegisterClassA(&windowClass);
    }();
    static_cast<void>(atom);
    return CreateWindowExA(0, kListenerClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void stopWatching() {
    Watch& current = watch();
    if (current.registration != nullptr)
        UnregisterDeviceNotification(current.registration);
    if (current.listener != nullptr)
        DestroyWindow(current.listener);
    current = Watch{};
}

}  // namespace

namespace platform {

std::vector<MidiSystem> MidiSystems() {
    return {};
}

std::string CurrentMidiSystem() {
    return "winmm";
}

bool MidiSystemFromEnvironment() {
    return false;
}

bool SelectMidiSystem(const std::string&) {
    return false;
}

void WatchMidiPorts(HWND window, UINT message) {
    stopWatching();
    if (window == nullptr)
        return;
    Watch& current = watch();
    current.target = window;
    current.message = message;
    current.listener = makeListener();
    if (current.listener == nullptr)
        return;
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    current.registration = RegisterDeviceNotificationA(
        current.listener, &filter,
        DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
}

}  // namespace platform

std::string platform::MidiSystemTrouble() {
    return {};
}

bool platform::ListMidiPorts(bool output, std::vector<MidiPortName>& ports) {
    ports.clear();
    const UINT count = output ? midiOutGetNumDevs() : midiInGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        std::string name;
        if (output) {
            MIDIOUTCAPSA caps{};
            if (midiOutGetDevCapsA(i, &caps, sizeof caps) != MMSYSERR_NOERROR)
                return false;
            name = caps.szPname;
        } else {
            MIDIINCAPSA caps{};
            if (midiInGetDevCapsA(i, &caps, sizeof caps) != MMSYSERR_NOERROR)
                return false;
            name = caps.szPname;
        }
        ports.push_back({name, name});
    }
    return true;
}
