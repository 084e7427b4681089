// Fault injection into the platform layer, for tests of the error paths above it.
#pragma once

namespace platform::testing {

// The next `successes` calls of GlobalAlloc succeed and the one after fails; -1 turns it off.
void FailGlobalAllocAfter(int successes);

}  // namespace platform::testing
