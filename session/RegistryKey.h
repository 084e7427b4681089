// SPDX-License-Identifier: GPL-3.0-or-later
// One open key of the per-user registry, closed when the object goes. Reading or writing a
// value that fails raises ERegistryException.
#pragma once

#include "midi/Exception.h"
#include "platform/win32.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

class ERegistryException : public Exception {
  public:
    using Exception::Exception;
};

class RegistryKey {
  public:
    // The key below HKEY_CURRENT_USER with full access; nothing when it cannot be opened, or,
    // unless `create` is set, when it does not exist. `status`, when given, says why.
    static std::optional<RegistryKey> Open(const std::string& path, bool create,
                                           LSTATUS* status = nullptr);
    // True for a status of Open that means the settings exist but cannot be read.
    static bool Unreadable(LSTATUS status) {
        return status == ERROR_CANTREAD || status == ERROR_BADDB;
    }

    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey& operator=(RegistryKey&&) = delete;
    RegistryKey(const RegistryKey&) = delete;
    ~RegistryKey();

    // A 32-bit integer (REG_DWORD); a missing value or one of another type raises.
    std::int32_t ReadInteger(const std::string& name) const;
    // The same, or nothing; `otherType`, when given, says whether a value of another type
    // stands under the name.
    std::optional<std::int32_t> FindInteger(const std::string& name,
                                            bool* otherType = nullptr) const;
    bool ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }
    // A string (REG_SZ); nothing when the value is missing or of another type.
    std::optional<std::string> ReadString(const std::string& name) const;
    void WriteString(const std::string& name, const std::string& value);

    // Closes the key now, which is when the settings are written; raises ERegistryException,
    // with the reason where the platform gives one, when they could not be.
    void Close();

  private:
    explicit RegistryKey(HKEY key) : key_(key) {}

    HKEY key_;
};
