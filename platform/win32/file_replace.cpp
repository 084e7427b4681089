// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_replace.h"

#include <windows.h>

#include <filesystem>
#include <random>
#include <system_error>

namespace platform {
namespace {

std::string because(const std::string& what, DWORD error) {
    return what + " (" + std::system_category().message(static_cast<int>(error)) + ")";
}

// The file to replace (the one a link names), or why it must not be.
std::string targetOf(const std::string& path, std::string& target) {
    target = path;
    std::error_code error;
    if (std::filesystem::is_symlink(path, error)) {
        target = std::filesystem::canonical(path, error).string();
        if (error)
            return "it is a symbolic link to nowhere (" + error.message() + ")";
    }
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD failure = GetLastError();
        return failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND
                   ? std::string()
                   : because("it cannot be looked at", failure);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return "it is a folder";
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return "it is read-only";
    // A device (NUL, COM1, a pipe) answers to a name too.
    const HANDLE file = CreateFileA(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const DWORD type = GetFileType(file);
        CloseHandle(file);
        if (type != FILE_TYPE_DISK)
            return "it is not a regular file (a device, say)";
    }
    return {};
}

}  // namespace

std::string WhyFileCannotBeReplaced(const std::string& path) {
    std::string target;
    return targetOf(path, target);
}

std::string ReplaceFileSafely(const std::string& path, std::string_view bytes, NewFileAccess) {
    std::string target;
    if (const std::string refused = targetOf(path, target); !refused.empty())
        return refused + "; nothing was written";
    std::random_device random;
    const std::string temporary =
        target + ".tmp-" + std::to_string(random()) + std::to_string(random());
    const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return because("no file can be made beside it", GetLastError());
    std::string failed;
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        failed = because("it could not be written", GetLastError());
    else if (!FlushFileBuffers(file))
        failed = because("it could not be flushed to the disk", GetLastError());
    CloseHandle(file);
    if (failed.empty() && !MoveFileExA(temporary.c_str(), target.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        failed = because("it could not be renamed over the old one", GetLastError());
    if (!failed.empty())
        DeleteFileA(temporary.c_str());
    return failed;
}

}  // namespace platform
