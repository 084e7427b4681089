// SPDX-License-Identifier: GPL-3.0-or-later
// RDN417 Config: configures the RDN417 MIDI-to-CV converter from one window, or from the
// command line without one. The command line never loads Qt: where the window is a module of
// its own, it is loaded only when the window opens.
#include "CommandLine.h"

#ifdef RDN417_WINDOW_MODULE
#include "WindowModule.h"
#else
#include "WindowMain.h"
#endif

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (WantsCommandLine(arguments)) {
#ifdef _WIN32
        // A program without a console of its own prints into the one it was started from.
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            std::freopen("CONOUT$", "w", stdout);
            std::freopen("CONOUT$", "w", stderr);
        }
#endif
        const int code = RunCommandLine(arguments, std::cin, std::cout, std::cerr);
        std::cout.flush();
        return code;
    }
#ifdef RDN417_WINDOW_MODULE
    return RunWindowFromModule(argc, argv);
#else
    return Rdn417RunWindow(argc, argv);
#endif
}
