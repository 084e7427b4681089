// SPDX-License-Identifier: GPL-3.0-or-later
// Points XDG_CONFIG_HOME at a fresh temporary folder for as long as it lives.
#pragma once

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

class TemporaryConfig {
  public:
    TemporaryConfig() {
        std::string pattern = (std::filesystem::temp_directory_path() / "rdn417-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
        const char* previous = std::getenv("XDG_CONFIG_HOME");
        if (previous != nullptr)
            previous_ = previous;
        hadPrevious_ = previous != nullptr;
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
    }
    ~TemporaryConfig() {
        if (hadPrevious_)
            setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryConfig(const TemporaryConfig&) = delete;
    TemporaryConfig& operator=(const TemporaryConfig&) = delete;

    std::filesystem::path folder() const { return root_ / "rdn417-config"; }
    std::filesystem::path hive() const { return folder() / "HKEY_CURRENT_USER.reg"; }

    // The settings file's text, or another file's.
    std::string read() const { return read(hive()); }
    static std::string read(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The copies of damaged settings files that were kept aside.
    std::vector<std::filesystem::path> keptAside() const {
        std::vector<std::filesystem::path> aside;
        for (const auto& entry : std::filesystem::directory_iterator(folder()))
            if (entry.path().filename().string().find(".damaged-") != std::string::npos)
                aside.push_back(entry.path());
        return aside;
    }
    void write(const std::string& text) const {
        std::filesystem::create_directories(folder());
        std::ofstream(hive(), std::ios::binary) << text;
    }

  private:
    std::filesystem::path root_;
    std::string previous_;
    bool hadPrevious_ = false;
};
