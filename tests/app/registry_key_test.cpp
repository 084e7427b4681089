// SPDX-License-Identifier: GPL-3.0-or-later
// The settings' key over the registry: the real one on Windows (under Wine in CI), the
// settings file elsewhere.
#include "session/RegistryKey.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#ifndef _WIN32
#include "temporary_config.h"
#endif

namespace {

// A key of the test's own, removed again afterwards.
class RegistryKeyTest : public ::testing::Test {
  protected:
#ifdef _WIN32
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    }
#else
    TemporaryConfig config_;
#endif

    HKEY raw() {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }

    const std::string path_ =
        "Software\\Korvalen\\RDN417_tests_" + std::to_string(std::random_device{}());
};

TEST_F(RegistryKeyTest, IntegersAndFlagsRoundTripAsDwords) {
    EXPECT_FALSE(RegistryKey::Open(path_, false).has_value());
    {
        auto key = RegistryKey::Open(path_, true);
        ASSERT_TRUE(key.has_value());
        key->WriteInteger("NREF", -5);
        key->WriteBool("VOCT", true);
    }
    HKEY key = raw();
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, "NREF", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 0xFFFFFFFBu);
    RegCloseKey(key);
    auto read = RegistryKey::Open(path_, false);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->ReadInteger("NREF"), -5);
    EXPECT_TRUE(read->ReadBool("VOCT"));
}

TEST_F(RegistryKeyTest, AMissingValueOrOneOfAnotherTypeIsNotAnInteger) {
    HKEY key = raw();
    const char text[] = "16";
    RegSetValueExA(key, "CAN", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    const BYTE wide[] = {1, 0, 0, 0, 0, 0, 0, 0};
    RegSetValueExA(key, "PX", 0, REG_QWORD, wide, sizeof wide);
    RegCloseKey(key);
    auto read = RegistryKey::Open(path_, false);
    ASSERT_TRUE(read.has_value());
    for (const char* name : {"NREF", "CAN", "PX"})
        EXPECT_THROW(read->ReadInteger(name), ERegistryException) << name;
}

}  // namespace
