// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_environment.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// Removes the folder at the program's end.
struct OwnFolder {
    std::filesystem::path path;
    ~OwnFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

void UseOwnSettingsFolder() {
    static OwnFolder folder;
    if (!folder.path.empty())
        return;
    std::string settings = (std::filesystem::temp_directory_path() / "rdn417-XXXXXX").string();
    if (mkdtemp(settings.data()) == nullptr)
        std::abort();
    folder.path = settings;
    setenv("XDG_CONFIG_HOME", settings.c_str(), 1);
}

void UseTestEnvironment(const char* backend) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("RDN417_MIDI_BACKEND", backend, 1);
    UseOwnSettingsFolder();
}
