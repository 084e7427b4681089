// SPDX-License-Identifier: GPL-3.0-or-later
// Result codes that tests make a coming call of an operation return, and a hook that sees
// every call.
#pragma once

#include "platform/midi_operation.h"
#include "platform/win32.h"

#include <functional>

namespace platform::midi {

// Called at the start of every winmm MIDI operation: the hook, then the fault set for this
// call, consumed (0 when none). Any thread.
MMRESULT TakeFault(Operation operation);
// The call of `operation` after `skip` more calls returns `code`.
void SetFault(Operation operation, MMRESULT code, unsigned skip);
void SetCallHook(std::function<void(Operation)> hook);
void ClearFaults();

}  // namespace platform::midi
