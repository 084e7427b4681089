// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_replace.h"

#include "platform/testing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>

namespace platform {
namespace {

namespace fs = std::filesystem;
using platform::testing::FileWriteStep;

struct InjectedFailure {
    std::mutex mutex;
    int step = -1;
    std::string nameEnd;
};

InjectedFailure& injectedFailure() {
    static InjectedFailure failure;
    return failure;
}

// A step that the tests made fail fails as a disk would.
bool injected(FileWriteStep step, const fs::path& target) {
    InjectedFailure& failure = injectedFailure();
    std::lock_guard lock(failure.mutex);
    const std::string name = target.filename().string();
    if (failure.step != static_cast<int>(step) || !name.ends_with(failure.nameEnd))
        return false;
    failure.step = -1;
    errno = EIO;
    return true;
}

std::string because(const std::string& what, int error) {
    return what + " (" + std::strerror(error) + ")";
}

// Past the file size limit a write fails with EFBIG instead of ending the program (unless the
// program handles the signal itself).
void failWritesPastSizeLimit() {
    static const bool done = [] {
        struct sigaction current {};
        if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    static_cast<void>(done);
}

constexpr const char* kTemporaryInfix = ".tmp-";

// Temporary files of replaces that were killed, older than a minute: nobody writes them any
// more.
void removeLeftovers(const fs::path& target) {
    const std::string prefix = target.filename().string() + kTemporaryInfix;
    const auto before = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    std::error_code error;
    for (fs::directory_iterator
             entry(target.parent_path().empty() ? "." : target.parent_path(), error),
         end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        std::error_code ignored;
        if (name.rfind(prefix, 0) == 0 && entry->is_regular_file(ignored) &&
            entry->last_write_time(ignored) < before)
            fs::remove(entry->path(), ignored);
    }
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

mode_t userMask() {
    // Read once, before any other thread creates files.
    static const mode_t mask = [] {
        const mode_t current = umask(022);
        umask(current);
        return current;
    }();
    return mask;
}

// The file to replace, or why it must not be: through a symbolic link to the file it names;
// a regular file that may be written, or none yet.
std::optional<fs::path> targetOf(const fs::path& path, std::optional<struct stat>& existing,
                                 std::string& why) {
    fs::path target = path;
    std::error_code error;
    if (fs::is_symlink(path, error)) {
        target = fs::canonical(path, error);
        if (error) {
            why = "it is a symbolic link to nowhere (" + error.message() + ")";
            return std::nullopt;
        }
    }
    struct stat status {};
    if (stat(target.c_str(), &status) != 0) {
        if (errno != ENOENT) {
            why = because("it cannot be looked at", errno);
            return std::nullopt;
        }
        return target;
    }
    if (S_ISDIR(status.st_mode))
        why = "it is a folder";
    else if (!S_ISREG(status.st_mode))
        why = "it is not a regular file (a device or a FIFO, say)";
    else if ((status.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0)
        why = "it is read-only";
    if (!why.empty())
        return std::nullopt;
    existing = status;
    return target;
}

}  // namespace

std::string ReplaceFileSafely(const std::string& path, std::string_view bytes,
                              NewFileAccess access) {
    failWritesPastSizeLimit();
    std::optional<struct stat> existing;
    std::string why;
    const auto target = targetOf(path, existing, why);
    if (!target)
        return why + "; nothing was written";
    removeLeftovers(*target);
    // A name nobody can guess, made here and nowhere else: a link planted in advance is never
    // followed.
    std::string temporary = target->string() + kTemporaryInfix + "XXXXXX";
    const int fd =
        injected(FileWriteStep::Create, *target) ? -1 : mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return because("no file can be made beside it", errno);
    const mode_t mode = existing                           ? existing->st_mode & 07777
                        : access == NewFileAccess::Private ? 0600
                                                           : 0666 & ~userMask();
    std::string failed;
    if (fchmod(fd, mode) != 0)
        failed = because("its mode cannot be kept", errno);
    else if (injected(FileWriteStep::Write, *target) || !writeAll(fd, bytes))
        failed = because("it could not be written", errno);
    else if (injected(FileWriteStep::Flush, *target) || fsync(fd) != 0)
        failed = because("it could not be flushed to the disk", errno);
    if (close(fd) != 0 && failed.empty())
        failed = because("it could not be written", errno);
    if (failed.empty() && (injected(FileWriteStep::Rename, *target) ||
                           rename(temporary.c_str(), target->c_str()) != 0))
        failed = because("it could not be renamed over the old one", errno);
    if (!failed.empty()) {
        unlink(temporary.c_str());
        return failed;
    }
    // The rename itself reaches the disk with the folder.
    const fs::path folder = target->parent_path().empty() ? "." : target->parent_path();
    if (const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        directory >= 0) {
        fsync(directory);
        close(directory);
    }
    return {};
}

std::string WhyFileCannotBeReplaced(const std::string& path) {
    std::optional<struct stat> existing;
    std::string why;
    targetOf(path, existing, why);
    return why;
}

}  // namespace platform

namespace platform::testing {

void FailFileWrite(FileWriteStep step, const char* nameEnd) {
    platform::InjectedFailure& failure = platform::injectedFailure();
    std::lock_guard lock(failure.mutex);
    failure.step = static_cast<int>(step);
    failure.nameEnd = nameEnd;
}

}  // namespace platform::testing
