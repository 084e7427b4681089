// SPDX-License-Identifier: GPL-3.0-or-later
// Fault injection into the platform layer (hosts without Win32), for tests of the error paths
// above it.
#pragma once

namespace platform::testing {

// The next `successes` calls of GlobalAlloc succeed and the one after fails; -1 turns it off.
void FailGlobalAllocAfter(int successes);

// The steps of replacing a file (ReplaceFileSafely); the next replace of a file whose name
// ends with `nameEnd` (any file when empty) fails at the one named, as the disk would: with an
// input/output error.
enum class FileWriteStep { Create, Write, Flush, Rename };
void FailFileWrite(FileWriteStep step, const char* nameEnd = "");

// How often the winmm layer has asked the MIDI system for a list of its ports.
unsigned long PortListings();

}  // namespace platform::testing
