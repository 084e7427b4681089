#include "hive_file.h"

#include "platform/testing.h"
#include "platform/win32.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <system_error>
#include <thread>

namespace platform::registry {
namespace {

namespace fs = std::filesystem;
using platform::testing::HiveWriteStep;

// A settings file is a few kilobytes; anything past this is not one.
constexpr std::size_t kMaxHiveSize = 16 * 1024 * 1024;

std::atomic<int> failingStep{-1};

bool stepFails(HiveWriteStep step) {
    int expected = static_cast<int>(step);
    return failingStep.compare_exchange_strong(expected, -1);
}

fs::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr)
        return user->pw_dir;
    return fs::temp_directory_path();
}

// An advisory lock on a file beside the hive, held for the object's life. The hive itself is
// replaced by rename, so it cannot carry the lock. Another program holding it is waited for
// about a second at most. Reading needs no lock where none can be had (a read-only folder).
class HiveLock {
  public:
    enum class Purpose { Read, Write };

    HiveLock(const fs::path& hive, Purpose purpose) {
        const std::string lock = hive.string() + ".lock";
        if (purpose == Purpose::Write) {
            std::error_code ignored;
            fs::create_directories(hive.parent_path(), ignored);
        }
        fd_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0 && purpose == Purpose::Read)
            fd_ = open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd_ < 0) {
            usable_ = purpose == Purpose::Read;
            return;
        }
        const int operation = purpose == Purpose::Read ? LOCK_SH : LOCK_EX;
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        while (flock(fd_, operation | LOCK_NB) < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
                close(fd_);
                fd_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        usable_ = true;
    }
    ~HiveLock() {
        if (fd_ >= 0)
            close(fd_);  // releases the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    // The hive may be read (or written) now.
    bool usable() const { return usable_; }

  private:
    static constexpr auto kLockWait = std::chrono::seconds(1);

    int fd_ = -1;
    bool usable_ = false;
};

enum class ReadResult { Missing, Read, TooLarge, Failed };

// Only a regular file is read (a FIFO or a device in its place is never waited on), and only
// up to the size limit.
ReadResult readFile(const fs::path& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat status {};
    ReadResult result = ReadResult::Read;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        result = ReadResult::Failed;
    else if (status.st_size > static_cast<off_t>(kMaxHiveSize))
        result = ReadResult::TooLarge;
    text.clear();
    char buffer[65536];
    while (result == ReadResult::Read) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            result = ReadResult::Failed;
        else if (n == 0)
            break;
        else if (text.size() + static_cast<std::size_t>(n) > kMaxHiveSize)
            result = ReadResult::TooLarge;  // it grew while being read
        else
            text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return result;
}

// HKEY_CURRENT_USER.reg.damaged-<time>, numbered when that name is taken.
fs::path asideName(const fs::path& path) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    fs::path aside = path;
    aside += std::string(".damaged-") + stamp;
    std::error_code error;
    for (int n = 2; fs::exists(aside, error); ++n) {
        aside = path;
        aside += std::string(".damaged-") + stamp + "-" + std::to_string(n);
    }
    return aside;
}

// Keeps a hive that cannot be used for the user to look at.
void moveAside(const fs::path& path) {
    std::error_code error;
    fs::rename(path, asideName(path), error);
}

// Keeps a copy of a hive whose unreadable lines a save is about to drop.
bool copyAside(const fs::path& path) {
    std::error_code error;
    return fs::copy_file(path, asideName(path), error);
}

enum class HiveState { Good, Flawed, Damaged, Unreadable };

// A missing file is a good, empty hive; a damaged or too large one leaves `hive` empty; a
// flawed one gives what could be read.
HiveState readHive(const fs::path& path, Hive& hive) {
    hive = Hive{};
    std::string text;
    switch (readFile(path, text)) {
        case ReadResult::Missing:
            return HiveState::Good;
        case ReadResult::Failed:
            return HiveState::Unreadable;
        case ReadResult::TooLarge:
            return HiveState::Damaged;
        case ReadResult::Read:
            break;
    }
    auto parsed = ParseHive(text);
    if (!parsed)
        return HiveState::Damaged;
    hive = std::move(parsed->hive);
    return parsed->skipped > 0 ? HiveState::Flawed : HiveState::Good;
}

// With the exclusive lock held: the hive as it stands, a damaged file moved aside first and a
// flawed one copied aside, so that what a save drops is kept.
bool readForUpdate(const fs::path& path, Hive& hive) {
    switch (readHive(path, hive)) {
        case HiveState::Good:
            return true;
        case HiveState::Flawed:
            return copyAside(path);
        case HiveState::Damaged:
            moveAside(path);
            return true;
        case HiveState::Unreadable:
            return false;
    }
    return false;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

constexpr const char* kTemporaryInfix = ".tmp-";

// Temporary files of saves that were killed: nobody writes them, since a save holds the
// lock; those older than a minute are removed.
void removeLeftovers(const fs::path& target) {
    const std::string prefix = target.filename().string() + kTemporaryInfix;
    const auto before = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    std::error_code error;
    for (fs::directory_iterator entry(target.parent_path(), error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        std::error_code ignored;
        if (name.rfind(prefix, 0) == 0 && entry->is_regular_file(ignored) &&
            entry->last_write_time(ignored) < before)
            fs::remove(entry->path(), ignored);
    }
}

// The file a save replaces: the hive, or the file a symbolic link in its place names (the
// link stays a link). Nothing when it must not be replaced: a dangling link, or a file that
// is marked read-only.
std::optional<fs::path> saveTarget(const fs::path& path) {
    std::error_code error;
    fs::path target = path;
    if (fs::is_symlink(path, error)) {
        target = fs::canonical(path, error);
        if (error)
            return std::nullopt;
    }
    struct stat status {};
    if (stat(target.c_str(), &status) == 0 && (status.st_mode & 0222) == 0)
        return std::nullopt;
    return target;
}

bool replaceFile(const fs::path& path, const std::string& text) {
    const auto target = saveTarget(path);
    if (!target)
        return false;
    removeLeftovers(*target);
    // A name nobody can guess, made here and nowhere else: a link planted in advance is never
    // followed.
    std::string temporary = target->string() + kTemporaryInfix + "XXXXXX";
    int fd = stepFails(HiveWriteStep::Create) ? -1 : mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = !stepFails(HiveWriteStep::Write) && writeAll(fd, text);
    ok = ok && !stepFails(HiveWriteStep::Flush) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && !stepFails(HiveWriteStep::Rename) && rename(temporary.c_str(), target->c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the directory.
    int directory = open(target->parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
    return true;
}

}  // namespace

fs::path HivePath() {
    fs::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0')
        base = config;
    if (!base.is_absolute())
        base = homeDirectory() / ".config";
    return base / "rdn417-config" / "HKEY_CURRENT_USER.reg";
}

bool LoadHive(Hive& hive) {
    const fs::path path = HivePath();
    {
        HiveLock shared(path, HiveLock::Purpose::Read);
        if (!shared.usable())
            return false;
        switch (readHive(path, hive)) {
            case HiveState::Good:
            case HiveState::Flawed:
                return true;
            case HiveState::Unreadable:
                return false;
            case HiveState::Damaged:
                break;
        }
    }
    // Moving the file aside needs the exclusive lock; another program may have replaced the
    // file in between, so it is read again.
    HiveLock exclusive(path, HiveLock::Purpose::Write);
    return exclusive.usable() && readForUpdate(path, hive);
}

bool UpdateHive(const std::function<void(Hive&)>& change) {
    const fs::path path = HivePath();
    HiveLock exclusive(path, HiveLock::Purpose::Write);
    Hive hive;
    if (!exclusive.usable() || !readForUpdate(path, hive))
        return false;
    change(hive);
    return replaceFile(path, FormatHive(hive));
}

}  // namespace platform::registry

namespace platform {

std::string SettingsLocation() {
    return registry::HivePath().string();
}

}  // namespace platform

namespace platform::testing {

void FailHiveWrite(HiveWriteStep step) {
    platform::registry::failingStep.store(static_cast<int>(step));
}

}  // namespace platform::testing
