// SPDX-License-Identifier: GPL-3.0-or-later
// The real program ended as a desktop session ends it: by a signal. Its settings file must
// hold what the window showed, whole.
#include "child_process.h"
#include "temporary_config.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
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
        // A second signal while it saves changes nothing.
        program.signal(number);
        EXPECT_EQ(program.exitCode(std::chrono::seconds(30)), 0) << number << program.output();
        const std::string saved = config.read();
        for (const char* value : {"\"PX\"", "\"CAN\"=dword:00000001", "\"NREF\"=dword:0000000c",
                                  "\"VELO\"", "\"midiOUTName\"=\"RDN417 Simulator\""})
            EXPECT_NE(saved.find(value), std::string::npos) << number << ": " << value << saved;
    }
}

}  // namespace
