#include "app/RegistryKey.h"
#include "temporary_config.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kPath = "Software\\Korvalen\\RDN417_V28";

TEST(RegistryKey, WritesAndReadsIntegersAndFlags) {
    TemporaryConfig config;
    EXPECT_FALSE(RegistryKey::Open(kPath, false).has_value());
    {
        auto key = RegistryKey::Open(kPath, true);
        ASSERT_TRUE(key.has_value());
        key->WriteInteger("NREF", -5);
        key->WriteBool("VOCT", true);
    }
    auto key = RegistryKey::Open(kPath, false);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->ReadInteger("NREF"), -5);
    EXPECT_TRUE(key->ReadBool("VOCT"));
    EXPECT_THROW(key->ReadInteger("CAN"), ERegistryException);
}

TEST(RegistryKey, AValueOfAnotherTypeIsNotAnInteger) {
    TemporaryConfig config;
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &raw, nullptr),
              ERROR_SUCCESS);
    const char text[] = "16";
    RegSetValueExA(raw, "CAN", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    const BYTE wide[] = {1, 0, 0, 0, 0, 0, 0, 0};
    RegSetValueExA(raw, "PX", 0, REG_QWORD, wide, sizeof wide);
    RegCloseKey(raw);
    auto key = RegistryKey::Open(kPath, false);
    ASSERT_TRUE(key.has_value());
    EXPECT_THROW(key->ReadInteger("CAN"), ERegistryException);
    EXPECT_THROW(key->ReadInteger("PX"), ERegistryException);
}

}  // namespace
