// Where the per-user hive lives and how it is read and replaced: under an advisory lock, a
// write goes to a temporary file that is flushed and renamed over the hive, so a crash never
// leaves half a file and two programs writing at once never mix; a file that cannot be parsed
// is moved aside under a dated name and the hive starts empty.
#pragma once

#include "hive.h"

#include <filesystem>
#include <functional>

namespace platform::registry {

// $XDG_CONFIG_HOME/rdn417-config/HKEY_CURRENT_USER.reg, with ~/.config when the variable is
// unset, empty or not an absolute path.
std::filesystem::path HivePath();

// Reads the hive under a shared lock. A damaged file is moved aside (under the exclusive
// lock) and the result is empty. False when the file exists but cannot be read.
bool LoadHive(Hive& hive);

// Under the exclusive lock: reads the current file, lets `change` edit it, and replaces the
// file with the result. False, with the previous file untouched, when any step fails.
bool UpdateHive(const std::function<void(Hive&)>& change);

}  // namespace platform::registry
