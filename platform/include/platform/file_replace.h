// SPDX-License-Identifier: GPL-3.0-or-later
// One safe way to replace a file's contents, for the settings, the setup files and the copies
// of damaged settings kept aside: whole or not at all, never through anything but a regular
// file.
#pragma once

#include <string>
#include <string_view>

namespace platform {

enum class NewFileAccess {
    Shared,   // a new file is readable by others, as the user's umask allows (a setup)
    Private,  // a new file is for the user alone (the settings)
};

// Writes `bytes` to a temporary file beside the target, flushes it to the disk, renames it over
// the target and syncs the folder, so that a crash or a full disk never leaves half a file. The
// target is `path`, or the file that a symbolic link there names (the link stays a link); it
// keeps its mode. A target that is not a regular file (a device, a FIFO, a folder), that is
// read-only or that a link to nowhere stands for is refused, and nothing is replaced. Returns
// an empty string on success, else the reason, named after the step that failed.
std::string ReplaceFileSafely(const std::string& path, std::string_view bytes,
                              NewFileAccess access = NewFileAccess::Shared);

// Why ReplaceFileSafely would refuse the file as it stands now; empty when it would not.
std::string WhyFileCannotBeReplaced(const std::string& path);

}  // namespace platform
