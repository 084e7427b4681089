#include "test_environment.h"

#include <cstdlib>
#include <filesystem>
#include <string>

void UseTestEnvironment(const char* backend) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("RDN417_MIDI_BACKEND", backend, 1);
    std::string settings = (std::filesystem::temp_directory_path() / "rdn417-XXXXXX").string();
    if (mkdtemp(settings.data()) != nullptr)
        setenv("XDG_CONFIG_HOME", settings.c_str(), 1);
}
