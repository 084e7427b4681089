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
    kExitOutputFailed = 1,
    kExitUsage = 2,
    kExitPortNotFound = 3,
    kExitSendFailed = 4,
    kExitBadFile = 5,
    kExitNotStored = 6,
};

// True unless the arguments are nothing, or one file name alone (after "--" where it begins
// with "-"): that opens the window. Anything that begins with "-" is an option.
bool WantsCommandLine(const std::vector<std::string>& arguments);
// The file name that the window opens at start, or empty; for arguments the window takes.
std::string WindowFileArgument(const std::vector<std::string>& arguments);
// Runs the options (the program's arguments without its name); returns the exit code. `in`
// is read for a file named "-".
int RunCommandLine(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
                   std::ostream& err);
