#include "RegistryKey.h"

#include <cstring>

std::optional<RegistryKey> RegistryKey::Open(const std::string& path, bool create) {
    HKEY key = nullptr;
    const LSTATUS status =
        create ? RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr)
               : RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryKey(key);
}

RegistryKey::~RegistryKey() {
    if (key_ != nullptr)
        RegCloseKey(key_);
}

std::int32_t RegistryKey::ReadInteger(const std::string& name) const {
    DWORD type = REG_NONE;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    const LSTATUS status = RegQueryValueExA(key_, name.c_str(), nullptr, &type, data, &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        throw ERegistryException("Invalid data type for '" + name + "'");
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
