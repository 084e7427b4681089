// SPDX-License-Identifier: GPL-3.0-or-later
// Loads the window's module (Qt and everything on the screen), which lies beside the program in
// the build tree and in the installed library folder, and runs the window from it.
#pragma once

// Returns the window's exit code, or 1 with the reason on standard error when the module cannot
// be loaded.
int RunWindowFromModule(int argc, char** argv);
