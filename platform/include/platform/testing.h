// SPDX-License-Identifier: GPL-3.0-or-later
// Fault injection into the platform layer (hosts without Win32), for tests of the error paths
// above it.
#pragma once

namespace platform::testing {

// The next `successes` calls of GlobalAlloc succeed and the one after fails; -1 turns it off.
void FailGlobalAllocAfter(int successes);

// The steps of replacing the registry hive file; the next write fails at the one named.
enum class HiveWriteStep { Create, Write, Flush, Rename };
void FailHiveWrite(HiveWriteStep step);

}  // namespace platform::testing
