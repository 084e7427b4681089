// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line: lists ports, sets and shows the stored setup, sends it or a
// .syx file to the converter, paced to its cable; no window and no display. Beside the
// window, never through it.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// What a script can tell apart.
enum CommandLineExit : int {
    kExitSuccess = 0,
    kExitUsage = 2,
    kExitPortNotFound = 3,
    kExitSendFailed = 4,
    kExitBadFile = 5,
};

// True when an argument is an option ("--" and a name): the command line runs instead of the
// window, which takes a file name alone.
bool WantsCommandLine(const std::vector<std::string>& arguments);
// Runs the options (the program's arguments without its name); returns the exit code.
int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
