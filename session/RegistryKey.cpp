// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegistryKey.h"

#include <algorithm>
#include <cstring>

std::optional<RegistryKey> RegistryKey::Open(const std::string& path, bool create,
                                             LSTATUS* result) {
    HKEY key = nullptr;
    const LSTATUS status =
        create ? RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr)
               : RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (result != nullptr)
        *result = status;
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryKey(key);
}

RegistryKey::~RegistryKey() {
    if (key_ != nullptr)
        RegCloseKey(key_);
}

void RegistryKey::Close() {
    const LSTATUS status = RegCloseKey(std::exchange(key_, nullptr));
    if (status == ERROR_SUCCESS)
        return;
    const std::string problem = platform::TakeSettingsProblem();
    throw ERegistryException(problem.empty() ? "The settings could not be saved to " +
                                                   platform::SettingsLocation() + "."
                                             : problem);
}

std::int32_t RegistryKey::ReadInteger(const std::string& name) const {
    if (const auto value = FindInteger(name))
        return *value;
    throw ERegistryException("Invalid data type for '" + name + "'");
}

std::optional<std::int32_t> RegistryKey::FindInteger(const std::string& name,
                                                     bool* otherType) const {
    DWORD type = REG_NONE;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    const LSTATUS status = RegQueryValueExA(key_, name.c_str(), nullptr, &type, data, &size);
    const bool found = status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
    if (otherType != nullptr)
        *otherType = found && (type != REG_DWORD || size != sizeof data);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        return std::nullopt;
    std::int32_t value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

void RegistryKey::WriteInteger(const std::string& name, std::int32_t value) {
    BYTE data[4];
    std::memcpy(data, &value, sizeof data);
    if (RegSetValueExA(key_, name.c_str(), 0, REG_DWORD, data, sizeof data) != ERROR_SUCCESS)
        throw ERegistryException("Failed to set data for '" + name + "'");
}

std::optional<std::string> RegistryKey::ReadString(const std::string& name) const {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::string data(size, '\0');
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(data.data()),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    // Up to the first NUL: the stored terminator, or one the size left out.
    data.resize(std::min<std::size_t>(size, data.size()));
    return data.substr(0, data.find('\0'));
}

void RegistryKey::WriteString(const std::string& name, const std::string& value) {
    if (RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
        throw ERegistryException("Failed to set data for '" + name + "'");
}
