// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user registry on hosts without Win32. An open key holds a copy of its values taken
// when it was opened, plus what was set through it; closing the key writes those changes into
// the hive file in one atomic replacement. Once the hive could not be read, nothing is written
// to it for the rest of the run: what the program would write then are values it never saw.
#include "hive_file.h"
#include "platform/win32.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace {

using platform::registry::Hive;
using platform::registry::Key;
using platform::registry::Value;

struct OpenKey {
    std::string path;
    REGSAM access = 0;
    Key contents;                // as read at open, with this handle's changes
    std::vector<Value> changes;  // written to the hive on close
};

struct KeyTable {
    std::mutex mutex;
    std::uintptr_t nextHandle = 1;
    std::unordered_map<HKEY, std::unique_ptr<OpenKey>> keys;
    // The hive file whose read failed in this run (the file may change with XDG_CONFIG_HOME).
    std::string unread;
    // What went wrong with the hive and has not been said yet; each kind is said once a run
    // for each file.
    std::string problem;
    std::string toldRead;
    std::string toldWrite;
};

KeyTable& table() {
    static KeyTable keys;
    return keys;
}

bool controlCharacters(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// The full path of `subKey` below `parent`; false when either is not a valid key.
bool resolve(HKEY parent, LPCSTR subKey, std::string& path, LSTATUS& error) {
    std::string base;
    if (parent != HKEY_CURRENT_USER) {
        auto found = table().keys.find(parent);
        if (found == table().keys.end()) {
            error = ERROR_INVALID_HANDLE;
            return false;
        }
        base = found->second->path;
    }
    const std::string sub = subKey == nullptr ? std::string() : subKey;
    path = base.empty() ? sub : sub.empty() ? base : base + "\\" + sub;
    // Keys live below the root; a path from the root starts without a backslash.
    const bool valid = !path.empty() && path.front() != '\\' && path.back() != '\\' &&
                       path.find("\\\\") == std::string::npos && !controlCharacters(path) &&
                       path.find_first_of("[]") == std::string::npos;
    if (!valid)
        error = ERROR_BAD_PATHNAME;
    return valid;
}

// Keeps a problem for TakeSettingsProblem, after those not taken yet.
void tellOnce(const std::string& text) {
    std::string& problem = table().problem;
    problem += (problem.empty() ? "" : "\n") + text;
}

// The key's path and, when it exists, its contents as the hive holds them now; `damaged` when
// the file is no settings file (it reads as empty).
LSTATUS lookUp(HKEY parent, LPCSTR subKey, std::string& path, std::optional<Key>& existing,
               bool& damaged) {
    LSTATUS error = ERROR_SUCCESS;
    if (!resolve(parent, subKey, path, error))
        return error;
    Hive hive;
    std::string why;
    std::string damage;
    if (!platform::registry::LoadHive(hive, &why, &damage)) {
        const std::string file = platform::registry::HivePath().string();
        table().unread = file;
        if (std::exchange(table().toldRead, file) != file)
            tellOnce("The settings in " + file + " could not be read: " + why +
                     ". The program runs with its defaults and leaves the file as it is until it "
                     "is started again.");
        return ERROR_CANTREAD;
    }
    damaged = !damage.empty();
    if (damaged) {
        const std::string file = platform::registry::HivePath().string();
        if (std::exchange(table().toldRead, file) != file)
            tellOnce("The settings in " + file + " cannot be used: " + damage +
                     ". The program runs with its defaults; the file is kept aside beside it, "
                     "under a name ending in .damaged- and the time, when the settings are next "
                     "saved.");
    }
    if (const Key* found = hive.find(path))
        existing = *found;
    return ERROR_SUCCESS;
}

// Writes through `change`, unless the hive went unread in this run; says why once when not.
bool update(const std::function<void(Hive&)>& change) {
    const std::string file = platform::registry::HivePath().string();
    const bool unread = table().unread == file;
    std::string why = "it could not be read when the program started";
    if (!unread && platform::registry::UpdateHive(change, &why))
        return true;
    if (std::exchange(table().toldWrite, file) != file)
        tellOnce("The settings could not be saved to " + file + ": " + why + ".");
    return false;
}

HKEY remember(std::unique_ptr<OpenKey> key) {
    auto handle = reinterpret_cast<HKEY>(table().nextHandle++);
    table().keys.emplace(handle, std::move(key));
    return handle;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(table().mutex);
    std::string path;
    std::optional<Key> existing;
    bool damaged = false;
    if (LSTATUS error = lookUp(hKey, lpSubKey, path, existing, damaged))
        return error;
    // A damaged file holds no key that could be read; a write starts it anew.
    if (damaged)
        return ERROR_BADDB;
    if (!existing)
        return ERROR_FILE_NOT_FOUND;
    *phkResult =
        remember(std::make_unique<OpenKey>(OpenKey{existing->path, samDesired, *existing, {}}));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(table().mutex);
    std::string path;
    std::optional<Key> existing;
    bool damaged = false;
    if (LSTATUS error = lookUp(hKey, lpSubKey, path, existing, damaged))
        return error;
    Key contents = existing ? *existing : Key{path, {}};
    if (!existing && !update([&](Hive& current) { current.obtain(path); }))
        return ERROR_CANTWRITE;
    if (lpdwDisposition != nullptr)
        *lpdwDisposition = existing ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *phkResult =
        remember(std::make_unique<OpenKey>(OpenKey{contents.path, samDesired, contents, {}}));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    std::lock_guard lock(table().mutex);
    auto found = table().keys.find(hKey);
    if (found == table().keys.end())
        return ERROR_INVALID_HANDLE;
    OpenKey& key = *found->second;
    if (!(key.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    const std::string name = lpValueName == nullptr ? std::string() : lpValueName;
    // A line break in a name could not be written back to the hive file.
    if (controlCharacters(name) || (lpData == nullptr && cbData > 0))
        return ERROR_INVALID_PARAMETER;
    Value value{name, dwType, {}};
    if (cbData > 0)
        value.data.assign(lpData, lpData + cbData);
    key.contents.set(value);
    key.changes.push_back(std::move(value));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    std::lock_guard lock(table().mutex);
    auto found = table().keys.find(hKey);
    if (found == table().keys.end())
        return ERROR_INVALID_HANDLE;
    const OpenKey& key = *found->second;
    if (!(key.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (lpData != nullptr && lpcbData == nullptr)
        return ERROR_INVALID_PARAMETER;
    const Value* value = key.contents.find(lpValueName == nullptr ? "" : lpValueName);
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    if (lpType != nullptr)
        *lpType = value->type;
    const auto size = static_cast<DWORD>(value->data.size());
    LSTATUS result = ERROR_SUCCESS;
    if (lpData != nullptr) {
        if (*lpcbData < size)
            result = ERROR_MORE_DATA;
        else
            std::copy(value->data.begin(), value->data.end(), lpData);
    }
    if (lpcbData != nullptr)
        *lpcbData = size;
    return result;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CURRENT_USER)
        return ERROR_SUCCESS;
    std::unique_ptr<OpenKey> key;
    {
        std::lock_guard lock(table().mutex);
        auto found = table().keys.find(hKey);
        if (found == table().keys.end())
            return ERROR_INVALID_HANDLE;
        key = std::move(found->second);
        table().keys.erase(found);
        if (key->changes.empty())
            return ERROR_SUCCESS;
        // Everything set through this key lands together, over whatever the file holds now.
        const bool written = update([&](Hive& hive) {
            Key& target = hive.obtain(key->path);
            for (Value& value : key->changes)
                target.set(std::move(value));
        });
        return written ? ERROR_SUCCESS : ERROR_CANTWRITE;
    }
}

namespace platform {

std::string TakeSettingsProblem() {
    std::lock_guard lock(table().mutex);
    return std::exchange(table().problem, std::string());
}

}  // namespace platform
