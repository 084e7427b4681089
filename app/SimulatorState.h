// SPDX-License-Identifier: GPL-3.0-or-later
// What the built-in simulated converter holds, told in a line for the window's out light, so
// that a user trying the program without hardware sees each change arrive.
#pragma once

#include <string>

// Empty unless the built-in MIDI system is in use and `port` is a simulated converter.
std::string DescribeSimulatedConverter(const std::string& port, unsigned index);
