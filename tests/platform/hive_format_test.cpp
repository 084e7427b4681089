// SPDX-License-Identifier: GPL-3.0-or-later
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
    EXPECT_EQ(hive->skipped, 0u);
    ASSERT_EQ(hive->hive.keys.size(), 1u);
    const auto& key = hive->hive.keys[0];
    EXPECT_EQ(key.path, "Software\\A");
    ASSERT_EQ(key.values.size(), 3u);
    EXPECT_EQ(key.values[0].name, "");
    EXPECT_EQ(key.values[0].type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(key.values[1].type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(key.values[1].data, (std::vector<std::uint8_t>{0x61, 0, 0, 0}));
    EXPECT_EQ(key.values[2].data, (std::vector<std::uint8_t>{0xEF, 0xBE, 0xAD, 0xDE}));
    EXPECT_TRUE(ParseHive("REGEDIT4\n").has_value());
}

TEST(HiveFormat, OnlyTextWithoutTheHeaderIsRefusedWhole) {
    for (const char* text : {"", "not a header\n", "[HKEY_CURRENT_USER\\X]\n\"A\"=dword:1\n"})
        EXPECT_FALSE(ParseHive(text).has_value()) << text;
}

// The hive a text gives as "key: name=dword ..." lines, and how many lines it skipped.
std::string outline(const std::string& text) {
    const auto parsed = ParseHive(text);
    if (!parsed)
        return "refused";
    std::string out;
    for (const auto& key : parsed->hive.keys) {
        out += key.path + ":";
        for (const auto& value : key.values) {
            out += " " + value.name + "=";
            if (value.type == REG_DWORD && value.data.size() == 4)
                out += std::to_string(value.data[0] | value.data[1] << 8);
            else
                out += std::string(value.data.begin(), value.data.end() - 1);
        }
        out += "; ";
    }
    return out + "skipped " + std::to_string(parsed->skipped);
}

TEST(HiveFormat, ForgivesWhatTheRegistryEditorForgivesAndSkipsOnlyBadLines) {
    const std::string header = "Windows Registry Editor Version 5.00\n";
    const std::string key = "[HKEY_CURRENT_USER\\X]\n";
    const std::pair<std::string, std::string> cases[] = {
        {header + key + "\"A\"=dword:00000001 \t\n", "X: A=1; skipped 0"},
        {header + key + "\"A\"=dword:000000002\n", "X: A=2; skipped 0"},
        {header + key + "\"A\"=dword:123456789\n\"B\"=dword:3\n", "X: B=3; skipped 1"},
        {header + key + "\"A\"=dword:1\n\"a\"=dword:2\n", "X: a=2; skipped 0"},
        {header + key + "\"A\"=dword:1\n" + key + "\"B\"=dword:2\n", "X: A=1 B=2; skipped 0"},
        {header + key + "\"A\"=dword:1\n\"A\"=-\n", "X:; skipped 0"},
        {header + key +
             "[HKEY_CURRENT_USER\\X\\Y]\n[HKEY_CURRENT_USER\\Z]\n"
             "[-HKEY_CURRENT_USER\\X]\n",
         "Z:; skipped 0"},
        {header + key + "[-HKEY_CURRENT_USER\\X]\n" + key + "\"B\"=dword:2\n", "X: B=2; skipped 0"},
        // A deletion takes the key and those below it, whatever the case, and no neighbour.
        {header + key +
             "[HKEY_CURRENT_USER\\X\\Y]\n[HKEY_CURRENT_USER\\X\\YZ]\n[HKEY_CURRENT_USER\\X\\Y\\Z]\n"
             "[-HKEY_CURRENT_USER\\x\\y]\n[-HKEY_CURRENT_USER\\Nowhere\\Deep]\n",
         "X:; X\\YZ:; skipped 0"},
        {header + "[HKEY_CURRENT_USER\\X\\Y\\Z]\n\"A\"=dword:1\n[-HKEY_CURRENT_USER\\X\\Y]\n" +
             "[-HKEY_CURRENT_USER\\X]\n[HKEY_CURRENT_USER\\X\\Y\\Z]\n\"B\"=dword:2\n",
         "X\\Y\\Z: B=2; skipped 0"},
        {header + "\"Orphan\"=dword:1\n" + key + "\"A\"=1\n\"B\"=\"ok\"\n", "X: B=ok; skipped 2"},
        {header + "[HKEY_LOCAL_MACHINE\\Y]\n\"Z\"=dword:1\n" + key + "\"A\"=\"open\n",
         "X:; skipped 3"},
        {header + "[HKEY_CURRENT_USER\\Broken\n\"A\"=dword:1\n" + key, "X:; skipped 2"},
    };
    for (const auto& [text, shape] : cases)
        EXPECT_EQ(outline(text), shape) << text;
}

TEST(HiveFormat, ReadsTheUtf16ThatTheRegistryEditorWritesOnWindows) {
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Caf\u00e9]\r\n"
        u"\"Name\"=\"\u20ac \U0001F3B9\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    EXPECT_EQ(outline(bytes), "Caf\xC3\xA9: Name=\xE2\x82\xAC \xF0\x9F\x8E\xB9; skipped 0");
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
    EXPECT_EQ(again->skipped, 0u);
    EXPECT_EQ(again->hive, hive);
}

}  // namespace
