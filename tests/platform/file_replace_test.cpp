// SPDX-License-Identifier: GPL-3.0-or-later
// The one way files are replaced: whole, through links, keeping the mode, and never over
// anything that is not a regular file one may write.
#include "platform/file_replace.h"
#include "platform/testing.h"
#include "temporary_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

namespace {

namespace fs = std::filesystem;
using platform::ReplaceFileSafely;
using platform::testing::FileWriteStep;

class FileReplace : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(folder()); }
    fs::path folder() const { return config_.folder(); }
    int entries() const {
        return static_cast<int>(std::distance(fs::directory_iterator(folder()), {}));
    }
    TemporaryConfig config_;
};

TEST_F(FileReplace, WhatIsNoWritableRegularFileIsRefusedAndLeftAlone) {
    const fs::path target = folder() / "target";
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { mkfifo(target.c_str(), 0644); },
         "it is not a regular file (a device or a FIFO, say)"},
        {[&] { fs::create_directory(target); }, "it is a folder"},
        {[&] {
             std::ofstream(target) << "kept";
             chmod(target.c_str(), 0444);
         },
         "it is read-only"},
        {[&] { fs::create_symlink(folder() / "nowhere", target); },
         "it is a symbolic link to nowhere (No such file or directory)"},
    };
    for (const auto& [make, reason] : cases) {
        fs::remove_all(target);
        make();
        const auto type = fs::symlink_status(target).type();
        EXPECT_EQ(ReplaceFileSafely(target.string(), "new"), reason + "; nothing was written");
        EXPECT_EQ(fs::symlink_status(target).type(), type) << reason;
        EXPECT_EQ(entries(), 1) << reason;  // no temporary file left
    }
}

TEST_F(FileReplace, ALinkIsWrittenThroughAndTheModeIsKept) {
    const fs::path file = folder() / "file";
    const fs::path link = folder() / "link";
    std::ofstream(file) << "old";
    chmod(file.c_str(), 0600);
    fs::create_symlink(file, link);
    ASSERT_EQ(ReplaceFileSafely(link.string(), "new"), "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(TemporaryConfig::read(file), "new");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(
        ReplaceFileSafely((folder() / "private").string(), "x", platform::NewFileAccess::Private),
        "");
    EXPECT_EQ(fs::status(folder() / "private").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(FileReplace, AFailedStepLeavesTheOldFileAndNamesItsReason) {
    const fs::path file = folder() / "file";
    std::ofstream(file) << "old";
    const std::vector<std::pair<FileWriteStep, std::string>> steps = {
        {FileWriteStep::Create, "no file can be made beside it (Input/output error)"},
        {FileWriteStep::Write, "it could not be written (Input/output error)"},
        {FileWriteStep::Flush, "it could not be flushed to the disk (Input/output error)"},
        {FileWriteStep::Rename, "it could not be renamed over the old one (Input/output error)"},
    };
    for (const auto& [step, reason] : steps) {
        platform::testing::FailFileWrite(step);
        EXPECT_EQ(ReplaceFileSafely(file.string(), "new"), reason);
        EXPECT_EQ(TemporaryConfig::read(file), "old");
        EXPECT_EQ(entries(), 1) << reason;
    }
}

}  // namespace
