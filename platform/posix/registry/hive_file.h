// SPDX-License-Identifier: GPL-3.0-or-later
// Where the per-user hive lives and how it is read and replaced: under an advisory lock (waited
// for about a second at most), a write goes to a temporary file of a name nobody can guess that
// is flushed and renamed over the hive, so a crash never leaves half a file and two programs
// writing at once never mix. A file that is not an export, or larger than 16 MB, reads as an
// empty hive and is kept aside under a dated name by the next save; one with lines that cannot
// be read is copied aside before a save drops them (once for each content; a copy is whole or
// absent). A hive that is a symbolic link is written through to the file it names, and kept aside
// by a copy of that file; one marked read-only is not replaced. No open can block.
#pragma once

#include "hive.h"

#include <filesystem>
#include <functional>
#include <string>

namespace platform::registry {

// $XDG_CONFIG_HOME/rdn417-config/HKEY_CURRENT_USER.reg, with ~/.config when the variable is
// unset, empty or not an absolute path.
std::filesystem::path HivePath();

// Reads the hive under a shared lock, or none where the folder is read-only or the lock is no
// regular file. A damaged file reads as empty, with what is wrong with it in `damage`; reading
// changes no file (the next save keeps it aside). False, with the reason in `why`, when the
// file exists but cannot be read, is not a regular file, or the lock is held too long
// elsewhere.
bool LoadHive(Hive& hive, std::string* why = nullptr, std::string* damage = nullptr);

// Under the exclusive lock: reads the current file, lets `change` edit it, and replaces the
// file with the result, which keeps the file's mode. False, with the previous file untouched
// and the reason in `why`, when any step fails.
bool UpdateHive(const std::function<void(Hive&)>& change, std::string* why = nullptr);

}  // namespace platform::registry
