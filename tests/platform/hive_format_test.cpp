#include "posix/registry/hive.h"

#include <gtest/gtest.h>

namespace {

using platform::registry::FormatHive;
using platform::registry::Hive;
using platform::registry::ParseHive;

TEST(HiveFormat, ReadsWhatTheRegistryEditorExports) {
    auto hive = ParseHive(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\A]\r\n"
        "@=\"default\"\r\n"
        "\"Multi\"=hex(7):61,00,00,\\\r\n"
        "  00\r\n"
        "\"Word\"=dword:DEADBEEF\r\n");
    ASSERT_TRUE(hive.has_value());
    ASSERT_EQ(hive->keys.size(), 1u);
    const auto& key = hive->keys[0];
    EXPECT_EQ(key.path, "Software\\A");
    ASSERT_EQ(key.values.size(), 3u);
    EXPECT_EQ(key.values[0].name, "");
    EXPECT_EQ(key.values[0].type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(key.values[1].type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(key.values[1].data, (std::vector<std::uint8_t>{0x61, 0, 0, 0}));
    EXPECT_EQ(key.values[2].data, (std::vector<std::uint8_t>{0xEF, 0xBE, 0xAD, 0xDE}));
    EXPECT_TRUE(ParseHive("REGEDIT4\n").has_value());
}

TEST(HiveFormat, RefusesWhatItCannotReadBackExactly) {
    for (const char* text : {
             "",
             "not a header\n",
             "Windows Registry Editor Version 5.00\n\"Orphan\"=dword:1\n",
             "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\X]\n",
             "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X\n",
             "Windows Registry Editor Version "
             "5.00\n[HKEY_CURRENT_USER\\X]\n\"A\"=dword:123456789\n",
             "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"A\"=hex:1,2\n",
             "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"A\"=\"open\n",
             "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"A\"=1\n\"a\"=2\n",
             "Windows Registry Editor Version "
             "5.00\n[HKEY_CURRENT_USER\\X]\n[HKEY_CURRENT_USER\\x]\n",
             "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"A\"=-\n",
         }) {
        EXPECT_FALSE(ParseHive(text).has_value()) << text;
    }
}

TEST(HiveFormat, WritesEveryValueSoThatItReadsBackTheSame) {
    Hive hive;
    auto& key = hive.obtain("Software\\Mixed");
    key.set({"plain", REG_SZ, {'a', '\\', '"', 0}});
    key.set({"no terminator", REG_SZ, {'a', 'b'}});
    key.set({"line\\break", REG_SZ, {'a', '\n', 'b', 0}});
    key.set({"short dword", REG_DWORD, {1, 2}});
    key.set({"", REG_NONE, {}});
    key.set({"big", 0x12345, {9}});
    hive.obtain("Software\\Empty");
    const std::string text = FormatHive(hive);
    auto again = ParseHive(text);
    ASSERT_TRUE(again.has_value()) << text;
    EXPECT_EQ(*again, hive);
}

}  // namespace
