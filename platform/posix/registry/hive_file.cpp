// SPDX-License-Identifier: GPL-3.0-or-later
#include "hive_file.h"

#include "platform/file_replace.h"
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
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

namespace platform::registry {
namespace {

namespace fs = std::filesystem;
// A settings file is a few kilobytes; anything past this is not one.
constexpr std::size_t kMaxHiveSize = 16 * 1024 * 1024;

fs::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr)
        return user->pw_dir;
    return fs::temp_directory_path();
}

void tell(std::string* why, const std::string& reason) {
    if (why != nullptr)
        *why = reason;
}

// An advisory lock on a file beside the hive, held for the object's life. The hive itself is
// replaced by rename, so it cannot carry the lock. Another program holding it is waited for
// about a second at most. Reading needs no lock where none can be had (a read-only folder, a
// lock that is no regular file); writing does.
// How many settings transactions this process has open; the GUI thread (or the command
// line's one thread) opens them.
std::atomic<int> transactions{0};

class HiveLock {
  public:
    enum class Purpose { Read, Write };

    HiveLock(const fs::path& hive, Purpose purpose,
             std::chrono::milliseconds wait = std::chrono::seconds(1)) {
        // Inside a settings transaction of this process the lock is held already.
        if (transactions > 0) {
            usable_ = true;
            return;
        }
        const std::string lock = hive.string() + ".lock";
        if (purpose == Purpose::Write) {
            std::error_code ignored;
            fs::create_directories(hive.parent_path(), ignored);
        }
        // Non-blocking: a FIFO in its place must not wait for a writer.
        constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        fd_ = open(lock.c_str(), O_RDWR | O_CREAT | kFlags, 0600);
        if (fd_ < 0 && purpose == Purpose::Read)
            fd_ = open(lock.c_str(), O_RDONLY | kFlags);
        struct stat status {};
        if (fd_ >= 0 && (fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode))) {
            close(fd_);
            fd_ = -1;
            errno = EINVAL;
        }
        if (fd_ < 0) {
            problem_ = "its lock file " + lock + " cannot be used (" +
                       (errno == EINVAL ? std::string("it is not a regular file")
                                        : std::string(std::strerror(errno))) +
                       ")";
            usable_ = purpose == Purpose::Read;
            return;
        }
        const int operation = purpose == Purpose::Read ? LOCK_SH : LOCK_EX;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (flock(fd_, operation | LOCK_NB) < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
                problem_ = "another program holds its lock " + lock;
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
    // The hive may be read (or written) now; otherwise why not.
    bool usable(std::string* why) const {
        if (!usable_)
            tell(why, problem_);
        return usable_;
    }

  private:
    int fd_ = -1;
    bool usable_ = false;
    std::string problem_;
};

enum class ReadResult { Missing, Read, TooLarge, Failed };

// Only a regular file is read (a FIFO or a device in its place is never waited on), and only
// up to the size limit.
ReadResult readFile(const fs::path& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;  // errno says why
    struct stat status {};
    ReadResult result = ReadResult::Read;
    int failure = 0;  // errno of a failed read; 0 for a file that is not a regular one
    if (fstat(fd, &status) != 0)
        failure = errno;
    if (failure != 0 || !S_ISREG(status.st_mode))
        result = ReadResult::Failed;
    else if (status.st_size > static_cast<off_t>(kMaxHiveSize))
        result = ReadResult::TooLarge;
    text.clear();
    char buffer[65536];
    while (result == ReadResult::Read) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            failure = errno;
            result = ReadResult::Failed;
        } else if (n == 0)
            break;
        else if (text.size() + static_cast<std::size_t>(n) > kMaxHiveSize)
            result = ReadResult::TooLarge;  // it grew while being read
        else
            text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    errno = failure;
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

// Whether a copy kept aside already holds exactly `text`.
bool keptAlready(const fs::path& path, const std::string& text) {
    const std::string prefix = path.filename().string() + ".damaged-";
    std::error_code error;
    for (fs::directory_iterator entry(path.parent_path(), error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code ignored;
        const std::string name = entry->path().filename().string();
        if (name.rfind(prefix, 0) != 0 || !entry->is_regular_file(ignored) ||
            entry->file_size(ignored) != text.size())
            continue;
        std::string kept;
        if (readFile(entry->path(), kept) == ReadResult::Read && kept == text)
            return true;
    }
    return false;
}

// Keeps `text`, the hive's content, for the user to look at: once for each content, and whole
// or not at all. Beside the hive, also when the hive is a link to a file elsewhere.
bool keepAside(const fs::path& path, const std::string& text) {
    return keptAlready(path, text) || platform::ReplaceFileSafely(asideName(path).string(), text,
                                                                  platform::NewFileAccess::Private)
                                          .empty();
}

enum class HiveState { Good, Flawed, Damaged, TooLarge, Unreadable };

// A missing file is a good, empty hive; a damaged or too large one leaves `hive` empty; a
// flawed one gives what could be read. `text` is what the file holds (not all of a file that
// is too large).
HiveState readHive(const fs::path& path, Hive& hive, std::string& text, std::string* why) {
    hive = Hive{};
    switch (readFile(path, text)) {
        case ReadResult::Missing:
            return HiveState::Good;
        case ReadResult::Failed:
            tell(why,
                 "it cannot be read (" +
                     std::string(errno == 0 ? "it is not a regular file" : std::strerror(errno)) +
                     ")");
            return HiveState::Unreadable;
        case ReadResult::TooLarge:
            return HiveState::TooLarge;
        case ReadResult::Read:
            break;
    }
    auto parsed = ParseHive(text);
    if (!parsed)
        return HiveState::Damaged;
    hive = std::move(parsed->hive);
    return parsed->skipped > 0 ? HiveState::Flawed : HiveState::Good;
}

// A copy of the file a link names, beside the hive: whole or not at all.
bool copyAside(const fs::path& path) {
    std::string temporary = path.string() + ".keeping-XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    close(fd);
    std::error_code error;
    const bool ok = fs::copy_file(path, temporary, fs::copy_options::overwrite_existing, error) &&
                    rename(temporary.c_str(), asideName(path).c_str()) == 0;
    if (!ok)
        unlink(temporary.c_str());
    return ok;
}

// With the exclusive lock held: the hive as it stands, what a damaged or flawed file holds
// kept aside first, so that nothing a save drops is lost. A damaged file is moved aside whole;
// through a link the file it names stays where it is (the save replaces it) and is copied.
bool readForUpdate(const fs::path& path, Hive& hive, std::string* why) {
    std::string text;
    const HiveState state = readHive(path, hive, text, why);
    if (state == HiveState::Good || state == HiveState::Unreadable)
        return state == HiveState::Good;
    std::error_code error;
    bool kept = false;
    if (state != HiveState::Flawed && !fs::is_symlink(path, error))
        kept = rename(path.c_str(), asideName(path).c_str()) == 0;
    else
        kept = state == HiveState::TooLarge ? copyAside(path) : keepAside(path, text);
    if (!kept)
        tell(why, "what it holds could not be kept aside before it is replaced (" +
                      std::string(std::strerror(errno)) + ")");
    return kept;
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

bool LoadHive(Hive& hive, std::string* why, std::string* damage) {
    const fs::path path = HivePath();
    HiveLock shared(path, HiveLock::Purpose::Read);
    if (!shared.usable(why))
        return false;
    std::string text;
    switch (readHive(path, hive, text, why)) {
        case HiveState::Good:
        case HiveState::Flawed:
            return true;
        case HiveState::Unreadable:
            return false;
        case HiveState::Damaged:
            tell(damage, "it is not a settings file (it does not begin as a registry export)");
            return true;
        case HiveState::TooLarge:
            tell(damage, "it is larger than any settings file");
            return true;
    }
    return true;
}

bool UpdateHive(const std::function<void(Hive&)>& change, std::string* why) {
    const fs::path path = HivePath();
    HiveLock exclusive(path, HiveLock::Purpose::Write);
    if (!exclusive.usable(why))
        return false;
    // Nothing is kept aside for a save that cannot happen.
    if (const std::string refused = platform::WhyFileCannotBeReplaced(path.string());
        !refused.empty()) {
        tell(why, refused);
        return false;
    }
    Hive hive;
    if (!readForUpdate(path, hive, why))
        return false;
    change(hive);
    const std::string failed = platform::ReplaceFileSafely(path.string(), FormatHive(hive),
                                                           platform::NewFileAccess::Private);
    tell(why, failed);
    return failed.empty();
}

}  // namespace platform::registry

namespace platform {

struct SettingsTransaction::State {
    registry::HiveLock lock{registry::HivePath(), registry::HiveLock::Purpose::Write,
                            std::chrono::seconds(5)};
};

SettingsTransaction::SettingsTransaction() : state_(std::make_unique<State>()) {
    if (state_->lock.usable(&problem_))
        ++registry::transactions;
    else
        state_.reset();
}

SettingsTransaction::~SettingsTransaction() {
    if (state_)
        --registry::transactions;
}

std::string SettingsLocation() {
    return registry::HivePath().string();
}

}  // namespace platform
