// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowModule.h"

#include <dlfcn.h>
#ifdef __linux__
#include <sys/auxv.h>
#endif

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// Where the module is looked for: beside the program (the build tree), then where it is
// installed relative to the program's folder.
std::filesystem::path moduleBeside(const std::filesystem::path& folder) {
    return folder / RDN417_WINDOW_MODULE;
}
std::filesystem::path moduleInstalled(const std::filesystem::path& folder) {
    return folder / RDN417_WINDOW_MODULE_FOLDER / RDN417_WINDOW_MODULE;
}

// The program's file: what /proc says, else (without /proc, in some containers and chroots)
// the file the program was started from, as the kernel was given it or as argv[0] names it.
std::filesystem::path programFile(const char* argv0, std::error_code& error) {
    auto file = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return file;
    std::string started;
#ifdef __linux__
    if (const auto* executed = reinterpret_cast<const char*>(getauxval(AT_EXECFN)))
        started = executed;
#endif
    if (started.find('/') == std::string::npos && argv0 != nullptr)
        started = argv0;
    if (started.find('/') == std::string::npos)
        return {};
    error.clear();
    return std::filesystem::canonical(started, error);
}

}  // namespace

int RunWindowFromModule(int argc, char** argv) {
    std::error_code error;
    const auto folder = programFile(argc > 0 ? argv[0] : nullptr, error).parent_path();
    if (error || folder.empty()) {
        std::fprintf(stderr, "rdn417-config: the program's folder is unknown: %s\n",
                     error ? error.message().c_str() : "it was started by a name without a path");
        return 1;
    }
    for (const auto& path : {moduleBeside(folder), moduleInstalled(folder)}) {
        if (!std::filesystem::exists(path, error))
            continue;
        // Never closed: Qt leaves handlers in it that run at the program's exit.
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            std::fprintf(stderr, "rdn417-config: the window cannot be loaded: %s\n", dlerror());
            return 1;
        }
        using Entry = int (*)(int, char**);
        const auto run = reinterpret_cast<Entry>(dlsym(module, "Rdn417RunWindow"));
        if (!run) {
            std::fprintf(stderr, "rdn417-config: %s is not this program's window: %s\n",
                         path.c_str(), dlerror());
            return 1;
        }
        return run(argc, argv);
    }
    std::fprintf(stderr,
                 "rdn417-config: the window is not installed (looked for %s and %s); the command "
                 "line works without it (rdn417-config --help)\n",
                 moduleBeside(folder).c_str(), moduleInstalled(folder).c_str());
    return 1;
}
