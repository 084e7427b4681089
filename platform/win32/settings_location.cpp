// SPDX-License-Identifier: GPL-3.0-or-later
// Where the settings live on Windows: the per-user registry itself.
#include "platform/win32.h"

namespace platform {

std::string SettingsLocation() {
    return "the registry, HKEY_CURRENT_USER\\Software\\Korvalen\\RDN417_V28";
}

}  // namespace platform

namespace platform {

std::string TakeSettingsProblem() {
    return {};
}

}  // namespace platform

namespace platform {

// One named mutex for the user's session stands for the settings.
struct SettingsTransaction::State {
    HANDLE mutex = nullptr;
};

SettingsTransaction::SettingsTransaction() : state_(std::make_unique<State>()) {
    state_->mutex = CreateMutexA(nullptr, FALSE, "Local\\RDN417-Config-settings");
    const DWORD waited =
        state_->mutex != nullptr ? WaitForSingleObject(state_->mutex, 5000) : WAIT_FAILED;
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        return;
    problem_ = "another copy of the program holds the settings";
    if (state_->mutex != nullptr)
        CloseHandle(state_->mutex);
    state_.reset();
}

SettingsTransaction::~SettingsTransaction() {
    if (!state_)
        return;
    ReleaseMutex(state_->mutex);
    CloseHandle(state_->mutex);
}

}  // namespace platform
