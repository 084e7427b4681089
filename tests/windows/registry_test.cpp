#include "app/RegistryKey.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A key of the test's own, removed again afterwards.
class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = "Software\\Korvalen\\RDN417_tests_" + std::to_string(GetCurrentProcessId());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str()); }
    std::string path_;
};

TEST_F(Registry, IntegersRoundTripAsDwords) {
    EXPECT_FALSE(RegistryKey::Open(path_, false).has_value());
    {
        auto key = RegistryKey::Open(path_, true);
        ASSERT_TRUE(key.has_value());
        key->WriteInteger("NREF", -5);
        key->WriteBool("VOCT", false);
    }
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &raw), ERROR_SUCCESS);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(raw, "NREF", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 0xFFFFFFFBu);
    RegCloseKey(raw);
    auto key = RegistryKey::Open(path_, false);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->ReadInteger("NREF"), -5);
    EXPECT_FALSE(key->ReadBool("VOCT"));
}

TEST_F(Registry, AMissingValueOrOneOfAnotherTypeRaises) {
    auto key = RegistryKey::Open(path_, true);
    ASSERT_TRUE(key.has_value());
    EXPECT_THROW(key->ReadInteger("CAN"), ERegistryException);
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_ALL_ACCESS, &raw),
              ERROR_SUCCESS);
    const char text[] = "16";
    RegSetValueExA(raw, "CAN", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(raw);
    EXPECT_THROW(key->ReadInteger("CAN"), ERegistryException);
}

}  // namespace
