// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/testing.h"
#include "platform/win32.h"
#include "temporary_config.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::testing::FileWriteStep;

constexpr const char* kPath = "Software\\Korvalen\\RDN417_V28";

HKEY create(const char* path = kPath, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
}

void setDword(HKEY key, const char* name, DWORD value) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_SUCCESS);
}

// Stores one DWORD through a key of its own; what closing the key (the save) gives.
LSTATUS save(const char* name, DWORD value) {
    HKEY key = create();
    setDword(key, name, value);
    return RegCloseKey(key);
}

// The value's type and bytes, or the error.
LSTATUS query(HKEY key, const char* name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    data.resize(size);
    return RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
}

TEST(Registry, AKeyIsCreatedOnWriteAndOnlyOpenedOnRead) {
    TemporaryConfig config;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kPath, 0, KEY_ALL_ACCESS, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(std::filesystem::exists(config.hive()));
    DWORD disposition = 0;
    key = create(kPath, &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    setDword(key, "CAN", 16);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    key = create(kPath, &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);
    // Names are found whatever their case.
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\KORVALEN\\rdn417_v28", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_EQ(query(key, "can", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(data, (std::vector<BYTE>{16, 0, 0, 0}));
    EXPECT_EQ(query(key, "NREF", type, data), ERROR_FILE_NOT_FOUND);
    // Opened for reading only.
    EXPECT_EQ(RegSetValueExA(key, "CAN", 0, REG_DWORD, data.data(), 4), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_NE(config.read().find("\"CAN\"=dword:00000010"), std::string::npos);
}

TEST(Registry, ValueTypesAreKeptAndBuffersChecked) {
    TemporaryConfig config;
    HKEY key = create();
    const char text[] = "C:\\Program Files\\\"quoted\"";
    ASSERT_EQ(
        RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
        ERROR_SUCCESS);
    const BYTE blob[] = {0, 1, 0xFE, 0xFF};
    ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    const BYTE quad[] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(RegSetValueExA(key, "", 0, REG_QWORD, quad, sizeof quad), ERROR_SUCCESS);
    setDword(key, "Negative", static_cast<DWORD>(-5));
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kPath, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_EQ(query(key, "Text", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), text);
    ASSERT_EQ(query(key, "Blob", type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(data, std::vector<BYTE>(std::begin(blob), std::end(blob)));
    ASSERT_EQ(query(key, nullptr, type, data), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_QWORD);
    ASSERT_EQ(query(key, "Negative", type, data), ERROR_SUCCESS);
    EXPECT_EQ(data, (std::vector<BYTE>{0xFB, 0xFF, 0xFF, 0xFF}));

    BYTE small[2];
    DWORD size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, small, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST(Registry, BadHandlesPathsAndNamesAreRefused) {
    TemporaryConfig config;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\\\X", 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(12345), "X", 0, KEY_READ, &key),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(12345)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    key = create();
    const BYTE one[] = {1, 0, 0, 0};
    EXPECT_EQ(RegSetValueExA(key, "Two\nLines", 0, REG_DWORD, one, 4), ERROR_INVALID_PARAMETER);
    // A subkey opened through its parent.
    HKEY child = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(key, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(key);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_NE(config.read().find("[HKEY_CURRENT_USER\\Software\\Korvalen\\RDN417_V28\\Child]"),
              std::string::npos);
}

TEST(Registry, OtherKeysAndValuesInTheFileArePreservedOnWrite) {
    TemporaryConfig config;
    config.write(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
        "\"Path\"=\"C:\\\\x\"\r\n"
        "\"Expand\"=hex(2):25,00,41,00,\\\r\n"
        "  00,00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Korvalen\\RDN417_V28]\r\n"
        "\"Keep\"=hex:01,02\r\n"
        "\"CAN\"=\"a string\"\r\n");
    ASSERT_EQ(save("CAN", 3), ERROR_SUCCESS);
    EXPECT_EQ(config.read(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Other]\n"
              "\"Path\"=\"C:\\\\x\"\n"
              "\"Expand\"=hex(2):25,00,41,00,00,00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Korvalen\\RDN417_V28]\n"
              "\"Keep\"=hex:01,02\n"
              "\"CAN\"=dword:00000003\n");
}

TEST(Registry, ADamagedHiveReadsAsNothingAndIsKeptAsideByTheNextSaveOnly) {
    TemporaryConfig config;
    config.write("this is not a registry file\n");
    platform::TakeSettingsProblem();
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kPath, 0, KEY_READ, &key), ERROR_BADDB);
    EXPECT_NE(platform::TakeSettingsProblem().find("cannot be used: it is not a settings file"),
              std::string::npos);
    EXPECT_TRUE(config.keptAside().empty());  // reading changes no file
    EXPECT_EQ(config.read(), "this is not a registry file\n");
    ASSERT_EQ(save("CAN", 1), ERROR_SUCCESS);
    const auto aside = config.keptAside();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(TemporaryConfig::read(aside[0]), "this is not a registry file\n");
    EXPECT_NE(config.read().find("\"CAN\"=dword:00000001"), std::string::npos);
}

TEST(Registry, AWriteThatFailsAtAnyStepLeavesThePreviousFileIntact) {
    TemporaryConfig config;
    ASSERT_EQ(save("CAN", 1), ERROR_SUCCESS);
    const std::string before = config.read();
    for (FileWriteStep step : {FileWriteStep::Create, FileWriteStep::Write, FileWriteStep::Flush,
                               FileWriteStep::Rename}) {
        HKEY key = create();
        setDword(key, "CAN", 2);
        platform::testing::FailFileWrite(step);
        EXPECT_EQ(RegCloseKey(key), ERROR_CANTWRITE);
        EXPECT_EQ(config.read(), before);
        // No temporary file is left behind.
        int files = 0;
        for ([[maybe_unused]] const auto& entry :
             std::filesystem::directory_iterator(config.folder()))
            ++files;
        EXPECT_EQ(files, 2);  // the hive and its lock file
    }
}

TEST(Registry, TwoProgramsWritingAtOnceNeverMixTheirValues) {
    TemporaryConfig config;
    constexpr int kWriters = 4;
    constexpr int kRounds = 25;
    std::vector<pid_t> children;
    for (int writer = 1; writer <= kWriters; ++writer) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool ok = true;
            for (int round = 0; round < kRounds; ++round) {
                HKEY key = nullptr;
                ok = ok && RegCreateKeyExA(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr) == ERROR_SUCCESS;
                for (const char* name : {"PX", "PY", "CAN", "NREF", "CREF", "VOCT", "VELO"}) {
                    const DWORD value = static_cast<DWORD>(writer);
                    ok = ok &&
                         RegSetValueExA(key, name, 0, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&value), 4) == ERROR_SUCCESS;
                }
                ok = ok && RegCloseKey(key) == ERROR_SUCCESS;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kPath, 0, KEY_READ, &key), ERROR_SUCCESS);
    std::vector<DWORD> values;
    for (const char* name : {"PX", "PY", "CAN", "NREF", "CREF", "VOCT", "VELO"}) {
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_EQ(query(key, name, type, data), ERROR_SUCCESS);
        DWORD value = 0;
        std::memcpy(&value, data.data(), 4);
        values.push_back(value);
    }
    RegCloseKey(key);
    EXPECT_EQ(values, std::vector<DWORD>(values.size(), values[0]));
}

constexpr const char* kSettings =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\Software\\Korvalen\\RDN417_V28]\n"
    "\"CAN\"=dword:00000007\n";

// What opening the settings key for reading gives, and the channel read through it.
LSTATUS openAndRead(DWORD* channel = nullptr) {
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, kPath, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        return status;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (channel != nullptr && query(key, "CAN", type, data) == ERROR_SUCCESS)
        std::memcpy(channel, data.data(), 4);
    return RegCloseKey(key);
}

// Runs `call` on a thread of its own; nothing when it has not returned within half a minute
// (a generous bound that only a blocked call misses), after `unblock` ran.
template <typename Call>
std::optional<LSTATUS> returns(Call call, const std::function<void()>& unblock) {
    auto result = std::async(std::launch::async, call);
    if (result.wait_for(std::chrono::seconds(30)) == std::future_status::ready)
        return result.get();
    unblock();
    result.wait();
    return std::nullopt;
}

TEST(Registry, OnlyARegularFileOfSaneSizeIsReadAndNothingBlocks) {
    TemporaryConfig config;
    std::filesystem::create_directories(config.folder());
    const std::string hive = config.hive().string();
    ASSERT_EQ(mkfifo(hive.c_str(), 0600), 0);
    auto unblockFifo = [&] { close(open(hive.c_str(), O_WRONLY | O_NONBLOCK)); };
    EXPECT_EQ(returns([] { return openAndRead(); }, unblockFifo), ERROR_CANTREAD);
    std::filesystem::remove(hive);
    ASSERT_EQ(symlink("/dev/zero", hive.c_str()), 0);
    EXPECT_EQ(openAndRead(), ERROR_CANTREAD);
    std::filesystem::remove(hive);
    EXPECT_NE(platform::TakeSettingsProblem().find("is not a regular file"), std::string::npos);
    // Larger than any settings file: no settings, and kept aside whole by the next save (of
    // another file: this one went unread in this run).
    TemporaryConfig other;
    const std::string large = std::string(kSettings) + std::string(17 << 20, ';') + "\n";
    other.write(large);
    EXPECT_EQ(openAndRead(), ERROR_BADDB);
    EXPECT_TRUE(other.keptAside().empty());
    ASSERT_EQ(save("CAN", 1), ERROR_SUCCESS);
    const auto aside = other.keptAside();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(aside[0]), large.size());
}

TEST(Registry, AFlawedFileIsKeptAsideOnceForEachContentAndNotForASaveThatCannotHappen) {
    TemporaryConfig config;
    const std::string flawed = std::string(kSettings) + "\"PX\"=dword:100000000\n";
    config.write(flawed);
    namespace fs = std::filesystem;
    fs::permissions(config.hive(), fs::perms::owner_read);
    EXPECT_EQ(save("CAN", 1), ERROR_CANTWRITE);
    EXPECT_EQ(save("CAN", 1), ERROR_CANTWRITE);
    EXPECT_TRUE(config.keptAside().empty());
    fs::permissions(config.hive(), fs::perms::owner_read | fs::perms::owner_write);
    for (int attempt = 0; attempt < 2; ++attempt) {
        platform::testing::FailFileWrite(FileWriteStep::Rename, ".reg");
        EXPECT_EQ(save("CAN", 1), ERROR_CANTWRITE);
    }
    ASSERT_EQ(config.keptAside().size(), 1u);
    EXPECT_EQ(TemporaryConfig::read(config.keptAside()[0]), flawed);
    EXPECT_EQ(config.read(), flawed);
}

TEST(Registry, AFileSizeLimitFailsTheSaveAndLeavesNoPartialCopy) {
    TemporaryConfig config;
    const std::string flawed =
        std::string(kSettings) + "\"PX\"=dword:100000000\n" + std::string(4096, ';') + "\n";
    config.write(flawed);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{1024, 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(save("CAN", 1) == ERROR_CANTWRITE ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(config.read(), flawed);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(config.folder()))
        ++files;
    EXPECT_EQ(files, 2);  // the hive and its lock file: no copy, whole or partial
}

TEST(Registry, ADamagedHiveThatIsALinkIsCopiedAsideAndStillWrittenThrough) {
    TemporaryConfig config;
    namespace fs = std::filesystem;
    fs::create_directories(config.folder() / "dotfiles");
    const fs::path target = config.folder() / "dotfiles" / "settings.reg";
    std::ofstream(target) << "not a registry file\n";
    fs::create_symlink(target, config.hive());
    ASSERT_EQ(save("CAN", 3), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(config.hive()));
    EXPECT_NE(TemporaryConfig::read(target).find("\"CAN\"=dword:00000003"), std::string::npos);
    ASSERT_EQ(config.keptAside().size(), 1u);
    EXPECT_EQ(TemporaryConfig::read(config.keptAside()[0]), "not a registry file\n");
    // A link to nowhere cannot be saved through, and says so.
    fs::remove(target);
    platform::TakeSettingsProblem();
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_CANTWRITE);
    EXPECT_NE(platform::TakeSettingsProblem().find("a symbolic link to nowhere"),
              std::string::npos);
}

}  // namespace
