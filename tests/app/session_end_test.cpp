// SPDX-License-Identifier: GPL-3.0-or-later
// The real program ended as a desktop session ends it: by a signal. Its settings file must
// hold what the window showed, whole.
#include "child_process.h"
#include "temporary_config.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

// Whether the process has a handler for the signal (its SigCgt mask in /proc), within 20 s.
bool catches(pid_t pid, int number) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigCgt:", 0) == 0 &&
                (std::stoull(line.substr(7), nullptr, 16) >> (number - 1) & 1) != 0)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(SessionEnd, EachSignalADesktopSendsSavesTheSettingsOnceAndEndsTheProgram) {
    for (int number : {SIGTERM, SIGHUP, SIGINT}) {
        TemporaryConfig config;
        ChildProcess program({"env", "XDG_CONFIG_HOME=" + config.folder().parent_path().string(),
                              "QT_QPA_PLATFORM=offscreen", "RDN417_MIDI_BACKEND=virtual",
                              RDN417_PROGRAM});
        ASSERT_TRUE(catches(program.pid(), number)) << number << ": " << program.output();
        program.signal(number);
        EXPECT_EQ(program.exitCode(std::chrono::seconds(30)), 0) << number << program.output();
        const std::string saved = config.read();
        for (const char* value : {"\"PX\"", "\"CAN\"=dword:00000001", "\"NREF\"=dword:0000000c",
                                  "\"VELO\"", "\"midiOUTName\"=\"RDN417 Simulator\""})
            EXPECT_NE(saved.find(value), std::string::npos) << number << ": " << value << saved;
    }
}

// A box on the screen (a stored value of the wrong type) and a read-only settings file, whose
// box would wait for a click: the program ends all the same, and says why on the standard error.
TEST(SessionEnd, ASignalEndsTheProgramWhateverBoxItWouldShow) {
    TemporaryConfig config;
    config.write(
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Korvalen\\RDN417_V28]\n"
        "\"NREF\"=\"garbage\"\n");
    std::filesystem::permissions(config.hive(), std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::group_read |
                                                    std::filesystem::perms::others_read);
    ChildProcess program({"env", "XDG_CONFIG_HOME=" + config.folder().parent_path().string(),
                          "QT_QPA_PLATFORM=offscreen", "RDN417_MIDI_BACKEND=virtual",
                          RDN417_PROGRAM});
    ASSERT_TRUE(catches(program.pid(), SIGTERM)) << program.output();
    program.signal(SIGTERM);
    const auto start = std::chrono::steady_clock::now();
    const int code = program.exitCode(std::chrono::seconds(20));
    EXPECT_NE(code, -1) << program.output();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_NE(program.output().find("read-only"), std::string::npos) << program.output();
}

// Without /proc (some containers and chroots) the window still finds its module and starts.
TEST(SessionEnd, TheWindowStartsWithoutProc) {
    if (std::system("unshare --mount --propagation private true 2>/dev/null") != 0)
        GTEST_SKIP() << "mount namespaces are not allowed here";
    TemporaryConfig config;
    ChildProcess program({"unshare", "--mount", "--propagation", "private", "sh", "-c",
                          "mount -t tmpfs none /proc && exec env XDG_CONFIG_HOME=" +
                              config.folder().parent_path().string() +
                              " QT_QPA_PLATFORM=offscreen RDN417_MIDI_BACKEND=virtual " +
                              RDN417_PROGRAM});
    ASSERT_TRUE(catches(program.pid(), SIGTERM)) << program.output();
    program.signal(SIGTERM);
    EXPECT_EQ(program.exitCode(std::chrono::seconds(30)), 0) << program.output();
    EXPECT_NE(config.read().find("\"PX\""), std::string::npos) << program.output();
}

}  // namespace
