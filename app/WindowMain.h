// SPDX-License-Identifier: GPL-3.0-or-later
// The program's window, from the Qt application to the end of its event loop. Where the window
// is a module of its own (on Linux), this is the one name it exports, so that the command line
// starts without loading Qt.
#pragma once

#if defined(__GNUC__) && !defined(_WIN32)
#define RDN417_WINDOW_ENTRY extern "C" __attribute__((visibility("default")))
#else
#define RDN417_WINDOW_ENTRY extern "C"
#endif

// The name `Rdn417RunWindow` is looked up in the module.
RDN417_WINDOW_ENTRY int Rdn417RunWindow(int argc, char** argv);
