// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <functional>

// Lets Qt's event loop deliver the platform's posted messages (MIDI completions and input
// notices) to the components' notification windows. Windows' own message loop does this
// there; elsewhere the posted-message descriptor is watched. What a notification raises goes
// to `failed`, the one given last; without one it is shown in a box.
void InstallPostedMessagePump(std::function<void(const std::exception_ptr&)> failed = {});
