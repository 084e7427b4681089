// Result codes that tests make the next call of an operation return.
#pragma once

#include "platform/midi_operation.h"
#include "platform/win32.h"

namespace platform::midi {

// The code set for this operation, consumed; 0 when none was set. Any thread.
MMRESULT TakeFault(Operation operation);
void SetFault(Operation operation, MMRESULT code);
void ClearFaults();

}  // namespace platform::midi
