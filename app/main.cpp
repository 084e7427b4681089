// SPDX-License-Identifier: GPL-3.0-or-later
// RDN417 Config: configures the RDN417 MIDI-to-CV converter from one window, or from the
// command line without one. The command line never loads Qt: where the window is a module of
// its own, it is loaded only when the window opens. On Windows a console companion
// (rdn417-config.com, which cmd and PowerShell find first) runs the command line in the console
// it was started from and starts the window program for anything else.
#include "CommandLine.h"

#ifdef RDN417_CONSOLE_COMPANION
#elif defined(RDN417_WINDOW_MODULE)
#include "WindowModule.h"
#else
#include "WindowMain.h"
#endif

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

#ifndef RDN417_CONSOLE_COMPANION
bool usable(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}
#endif

// Setups travel through standard input and output as bytes, never as text with line ends
// translated.
void binaryStreams(const std::vector<std::string>& arguments) {
    _setmode(_fileno(stdin), _O_BINARY);
    if (std::find(arguments.begin(), arguments.end(), "-") != arguments.end() ||
        std::find(arguments.begin(), arguments.end(), "--save=-") != arguments.end())
        _setmode(_fileno(stdout), _O_BINARY);
}

#ifdef RDN417_CONSOLE_COMPANION
// Starts the window program beside this one with the same arguments, and does not wait.
int startWindow() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string program(path, length);
    program = program.substr(0, program.find_last_of('.')) + ".exe";
    // The arguments as they were given: what follows the program's own name.
    const std::string given = GetCommandLineA();
    std::size_t rest = 0;
    if (!given.empty() && given[0] == '"')
        rest = given.find('"', 1);
    rest = given.find_first_of(" \t", rest == std::string::npos ? given.size() : rest);
    std::string command =
        "\"" + program + "\"" + (rest == std::string::npos ? std::string() : given.substr(rest));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        std::cerr << "rdn417-config: " << program << " cannot be started (error " << GetLastError()
                  << ")\n";
        return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
#endif

}  // namespace
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (WantsCommandLine(arguments)) {
#ifdef _WIN32
        binaryStreams(arguments);
#ifndef RDN417_CONSOLE_COMPANION
        // A program without a console of its own prints into the one it was started from,
        // unless its output already goes somewhere (a file, a pipe).
        const bool output = usable(STD_OUTPUT_HANDLE);
        const bool errors = usable(STD_ERROR_HANDLE);
        if ((!output || !errors) && AttachConsole(ATTACH_PARENT_PROCESS)) {
            if (!output)
                std::freopen("CONOUT$", "w", stdout);
            if (!errors)
                std::freopen("CONOUT$", "w", stderr);
        }
#endif
#endif
        return RunCommandLine(arguments, std::cin, std::cout, std::cerr);
    }
#ifdef RDN417_CONSOLE_COMPANION
    return startWindow();
#elif defined(RDN417_WINDOW_MODULE)
    return RunWindowFromModule(argc, argv);
#else
    return Rdn417RunWindow(argc, argv);
#endif
}
