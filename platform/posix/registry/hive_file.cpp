#include "hive_file.h"

#include "platform/testing.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <system_error>

namespace platform::registry {
namespace {

namespace fs = std::filesystem;
using platform::testing::HiveWriteStep;

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
// replaced by rename, so it cannot carry the lock.
class HiveLock {
  public:
    HiveLock(const fs::path& hive, int operation) {
        std::error_code ignored;
        fs::create_directories(hive.parent_path(), ignored);
        fd_ = open((hive.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0)
            return;
        while (flock(fd_, operation) < 0) {
            if (errno != EINTR) {
                close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~HiveLock() {
        if (fd_ >= 0)
            close(fd_);  // releases the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

enum class ReadResult { Missing, Read, Failed };

ReadResult readFile(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::error_code error;
        return fs::exists(path, error) || error ? ReadResult::Failed : ReadResult::Missing;
    }
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad())
        return ReadResult::Failed;
    text = contents.str();
    return ReadResult::Read;
}

// Keeps a damaged hive for the user to look at: HKEY_CURRENT_USER.reg.damaged-<time>.
void moveAside(const fs::path& path) {
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
    fs::rename(path, aside, error);
}

enum class HiveState { Good, Damaged, Unreadable };

// A missing file is a good, empty hive; a damaged one leaves `hive` empty.
HiveState readHive(const fs::path& path, Hive& hive) {
    hive = Hive{};
    std::string text;
    switch (readFile(path, text)) {
        case ReadResult::Missing:
            return HiveState::Good;
        case ReadResult::Failed:
            return HiveState::Unreadable;
        case ReadResult::Read:
            break;
    }
    auto parsed = ParseHive(text);
    if (!parsed)
        return HiveState::Damaged;
    hive = std::move(*parsed);
    return HiveState::Good;
}

// With the exclusive lock held: the hive as it stands, a damaged file moved aside first.
bool readForUpdate(const fs::path& path, Hive& hive) {
    switch (readHive(path, hive)) {
        case HiveState::Good:
            return true;
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

bool replaceFile(const fs::path& path, const std::string& text) {
    const std::string temporary = path.string() + ".tmp-" + std::to_string(getpid());
    int fd = stepFails(HiveWriteStep::Create)
                 ? -1
                 : open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = !stepFails(HiveWriteStep::Write) && writeAll(fd, text);
    ok = ok && !stepFails(HiveWriteStep::Flush) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && !stepFails(HiveWriteStep::Rename) && rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the directory.
    int directory = open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
        HiveLock shared(path, LOCK_SH);
        if (!shared.held())
            return false;
        switch (readHive(path, hive)) {
            case HiveState::Good:
                return true;
            case HiveState::Unreadable:
                return false;
            case HiveState::Damaged:
                break;
        }
    }
    // Moving the file aside needs the exclusive lock; another program may have replaced the
    // file in between, so it is read again.
    HiveLock exclusive(path, LOCK_EX);
    return exclusive.held() && readForUpdate(path, hive);
}

bool UpdateHive(const std::function<void(Hive&)>& change) {
    const fs::path path = HivePath();
    HiveLock exclusive(path, LOCK_EX);
    Hive hive;
    if (!exclusive.held() || !readForUpdate(path, hive))
        return false;
    change(hive);
    return replaceFile(path, FormatHive(hive));
}

}  // namespace platform::registry

namespace platform::testing {

void FailHiveWrite(HiveWriteStep step) {
    platform::registry::failingStep.store(static_cast<int>(step));
}

}  // namespace platform::testing
