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
