// SPDX-License-Identifier: GPL-3.0-or-later
#include "converter/ConverterSetup.h"
#include "converter/ParameterMessage.h"
#include "session/SetupFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Join(const std::vector<Bytes>& messages) {
    Bytes all;
    for (const Bytes& message : messages)
        all.insert(all.end(), message.begin(), message.end());
    return all;
}

Bytes Message(int channel, int code, int value) {
    const ParameterMessageBytes message = ParameterMessage(channel, code, value);
    return {message.begin(), message.end()};
}

const ConverterSetup kSetup{5, 54, true, true, 74};

Bytes Text(const std::string& text) {
    return {text.begin(), text.end()};
}

// A Standard MIDI File, made by hand as the format describes it: events with their delta time
// (one byte here), tracks, and the header.
Bytes Event(std::uint8_t delta, const Bytes& event) {
    return Join({{delta}, event});
}
Bytes Sysex(const Bytes& message, std::uint8_t delta = 0) {
    // F0, the length of the rest, the rest (F7 included).
    return Event(delta, Join({{0xF0, static_cast<std::uint8_t>(message.size() - 1)},
                              Bytes(message.begin() + 1, message.end())}));
}
Bytes Track(const std::vector<Bytes>& events) {
    const Bytes body = Join({Join(events), Event(0, {0xFF, 0x2F, 0x00})});
    const auto size = static_cast<std::uint16_t>(body.size());
    return Join(
        {Text("MTrk"),
         {0, 0, static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size & 0xFF)},
         body});
}
Bytes MidiFile(std::uint8_t format, const std::vector<Bytes>& tracks) {
    return Join({Text("MThd"),
                 {0, 0, 0, 6, 0, format, 0, static_cast<std::uint8_t>(tracks.size()), 0x01, 0xE0},
                 Join(tracks)});
}
Bytes Cut(Bytes bytes, std::size_t count) {
    bytes.erase(bytes.end() - static_cast<std::ptrdiff_t>(count), bytes.end());
    return bytes;
}
// The text in UTF-16 with its byte-order mark.
Bytes Utf16(const std::string& text, bool little) {
    Bytes bytes = little ? Bytes{0xFF, 0xFE} : Bytes{0xFE, 0xFF};
    for (const char c : text) {
        const std::uint8_t unit[] = {static_cast<std::uint8_t>(c), 0};
        bytes.push_back(unit[little ? 0 : 1]);
        bytes.push_back(unit[little ? 1 : 0]);
    }
    return bytes;
}

TEST(ConverterSetup, SendsTheModeFlagsTheControllerWhenChosenAndNoteRef) {
    EXPECT_EQ(kSetup.messages(),
              (std::vector<Bytes>{Message(5, pcModeFlags, 0x60), Message(5, pcAuxController, 74),
                                  Message(5, pcNoteRef, 54)}));
    const ConverterSetup plain;
    EXPECT_EQ(plain.messages(),
              (std::vector<Bytes>{Message(0, pcModeFlags, 0x40), Message(0, pcNoteRef, 12)}));
}

TEST(ConverterSetup, NotesAreReadAsTheWindowNamesThem) {
    const std::vector<std::pair<std::string, std::optional<int>>> cases = {
        {"0", 0},
        {"127", 127},
        {"C3", 60},
        {"C 3", 60},
        {"c3", 60},
        {"F#2", 54},
        {"C#-1", 13},
        {"C-2", 0},
        {"G8", 127},
        {"G#8", std::nullopt},
        {"128", std::nullopt},
        {"-1", std::nullopt},
        {"E#2", std::nullopt},
        {"Db2", 49},
        {"bb-2", 10},
        {"Cb3", std::nullopt},
        {"H2", std::nullopt},
        {"C", std::nullopt},
        {"", std::nullopt},
        {"C3x", std::nullopt},
        {"C99999999999", std::nullopt},
        {"C2147483646", std::nullopt},
        {"B-2147483648", std::nullopt}};
    for (const auto& [text, note] : cases)
        EXPECT_EQ(ParseNote(text), note) << text;
}

TEST(SetupFile, ReadsWhatSendAllSendsAndSkipsOtherDevices) {
    const Bytes roland = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
    Bytes file = Join(kSetup.messages());
    file.insert(file.begin(), roland.begin(), roland.end());
    file.insert(file.end(), {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
    const SetupFileContents read = ParseSetupFile(file, ConverterSetup{});
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.setup, kSetup);
    EXPECT_EQ(read.skipped, 2);
    // What the file does not set stays as it was.
    const ConverterSetup base{0, 30, false, false, 3};
    const SetupFileContents partial = ParseSetupFile(Message(9, pcNoteRef, 100), base);
    EXPECT_EQ(partial.setup, (ConverterSetup{9, 100, false, false, 3}));
}

TEST(SetupFile, ReadsTheFormsMusiciansKeepASetupIn) {
    const Bytes roland = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
    const std::vector<Bytes> messages = kSetup.messages();
    const std::string hex =
        "F0 70 05 7C 00 06 F7\r\nf0 70 05 7d 0a 04 f7\r\n"
        "0xF0,0x70,0x05,0x7E,0x06,0x03,0xF7\r\n";
    // A capture: clock and active sensing inside and between the messages, a line end after.
    Bytes capture = Join({{0xF8}, messages[0], {0xFE}, messages[1], messages[2], {'\r', '\n'}});
    capture.insert(capture.begin() + 10, 0xF8);
    // A message split into packets, the way some DAWs store a long one.
    const Bytes split = {0x00, 0xF0, 0x03, 0x70, 0x05, 0x7E, 0x00, 0xF7, 0x03, 0x06, 0x03, 0xF7};
    const std::vector<std::pair<const char*, Bytes>> forms = {
        {"hex text", Text(hex)},
        {"hex text in one word", Text("F070057C0006F7F070057D0A04F7F070057E0603F7")},
        {"UTF-8 hex text with its mark", Join({{0xEF, 0xBB, 0xBF}, Text(hex)})},
        {"UTF-16LE hex text", Utf16(hex, true)},
        {"UTF-16BE hex text", Utf16(hex, false)},
        {"a capture with real-time bytes", capture},
        {"a capture that begins with a reset and active sensing", Join({{0xFF, 0xFE}, capture})},
        {"a MIDI file of format 0 with other events",
         MidiFile(
             0, {Track({Event(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}), Sysex(roland),
                        Sysex(messages[0]), Sysex(messages[1], 3), Event(0, {0x90, 0x40, 0x7F}),
                        Event(0, {0x40, 0x00}), Event(0, {0xC0, 0x05}), Sysex(messages[2], 3)})})},
        {"a MIDI file of format 1, messages over two tracks, one in packets",
         MidiFile(1, {Track({Sysex(messages[0]), Sysex(roland)}),
                      Track({Sysex(messages[1]), Bytes(split.begin(), split.end())})})},
    };
    for (const auto& [form, bytes] : forms) {
        const SetupFileContents read = ParseSetupFile(bytes, ConverterSetup{});
        EXPECT_EQ(read.error, "") << form;
        EXPECT_EQ(read.setup, kSetup) << form;
    }
}

TEST(SetupFile, AMidiFileHoldsTheSetupAtTheCablesPaceAndReadsBack) {
    const Bytes file = SetupFileBytes(kSetup, true);
    // Format 0, one track, 480 ticks a beat; the tempo (120 a minute) said first.
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 14),
              (Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0}));
    EXPECT_EQ(Bytes(file.begin() + 22, file.begin() + 29),
              (Bytes{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}));
    // Each message 3 ticks (3.1 ms) after the one before, which the cable takes 2.24 ms for.
    const std::vector<Bytes> messages = kSetup.messages();
    const Bytes second =
        Join({{0x03, 0xF0, 0x06}, Bytes(messages[1].begin() + 1, messages[1].end())});
    EXPECT_NE(std::search(file.begin(), file.end(), second.begin(), second.end()), file.end());
    EXPECT_EQ(ParseSetupFile(file, ConverterSetup{}).setup, kSetup);
    for (const auto& [name, midi] :
         std::vector<std::pair<std::string, bool>>{{"song.mid", true},
                                                   {"SONG.MID", true},
                                                   {"a.midi", true},
                                                   {"song.syx", false},
                                                   {"mid", false},
                                                   {"a.mid/b.syx", false}})
        EXPECT_EQ(IsMidiFileName(name), midi) << name;
}

TEST(SetupFile, ABadFileSaysWhyAndChangesNothing) {
    const Bytes good = Join(kSetup.messages());
    Bytes highByte = good;
    highByte[4] = 0x85;
    Bytes truncated(good.begin(), good.end() - 1);
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {{}, "The file is empty"},
        {{0x90, 0x40, 0x7F}, "not a System Exclusive (.syx) file"},
        {truncated, "truncated"},
        {highByte, "holds the byte 0x85"},
        {Join({Message(0, pcNoteRef, 12), {0x90}}), "outside any System Exclusive message"},
        {{0xF0, 0x70, 0x00, 0x7E, 0x00, 0xF7}, "6 bytes long instead of 7"},
        {{0xF0, 0x70, 0x10, 0x7E, 0x00, 0x00, 0xF7}, "channel or value out of range"},
        {{0xF0, 0x70, 0x00, 0x7E, 0x10, 0x00, 0xF7}, "channel or value out of range"},
        {Message(0, pcNoteRef, 128), "parameter 126 to 128"},
        {Message(0, pcModeFlags, 0x01), "parameter 124 to 1"},
        {Join({Message(0, pcNoteRef, 1), Message(0, 0x11, 1)}),
         "Message 2: unknown parameter code 0x11"},
        {Join({Message(0, pcNoteRef, 1), Message(1, pcModeFlags, 0)}),
         "more than one MIDI channel"},
        {{0xF0, 0x41, 0x00, 0xF7}, "no RDN417 parameter message (1 message for other devices)"},
        {Join({{0xF0, 0x41, 0x00, 0xF7}, {0xF0, 0x42, 0xF7}}), "(2 messages for other devices)"},
        {Text("F0 70 00 7E 00 0G F7"),
         "This is text that is not hex: it holds a character that is not a hex digit (\"0G\" "
         "on line 1)"},
        {Text("F0 70 00\n7E 0 0C F7"), "one hex digit instead of two (\"0\" on line 2)"},
        {Text("hello"), "This is text that is not hex"},
        {Join({Utf16("F0 70", true), {0x41}}), "not hex: it ends in half a UTF-16 character"},
        {MidiFile(0, {Track({Event(0, {0x90, 0x40, 0x7F})})}),
         "This is a Standard MIDI File without the converter's messages (no System Exclusive"},
        {MidiFile(1, {Track({Sysex({0xF0, 0x41, 0x00, 0xF7})})}),
         "Standard MIDI File without the converter's messages (1 message for other devices)"},
        {MidiFile(2, {Track({Sysex(Message(0, pcNoteRef, 1))})}), "of format 2"},
        {Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}, "Standard MIDI File, but its header is cut"},
        {Cut(MidiFile(0, {Track({Sysex(Message(0, pcNoteRef, 1))})}), 3), "cut short"},
        {Bytes(kMaxSetupFileBytes + 1, 0xF0), "larger than 1 MB"},
    };
    for (const auto& [bytes, reason] : cases) {
        const SetupFileContents read = ParseSetupFile(bytes, kSetup);
        EXPECT_NE(read.error.find(reason), std::string::npos) << reason << ": " << read.error;
        EXPECT_EQ(read.setup, kSetup) << reason;
        EXPECT_EQ(read.skipped, 0) << reason;
    }
}

// A folder of the test's own.
class SetupFiles : public ::testing::Test {
  protected:
    const std::filesystem::path folder_ = std::filesystem::temp_directory_path() /
                                          ("rdn417-syx-" + std::to_string(std::random_device()()));
    std::filesystem::path path(const char* name) const { return folder_ / name; }
    void SetUp() override { std::filesystem::create_directories(folder_); }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(folder_ / "kept.syx", std::filesystem::perms::owner_all,
                                     ignored);
        std::filesystem::remove_all(folder_, ignored);
    }
};

TEST_F(SetupFiles, ASavedFileHoldsExactlyWhatSendAllSendsAndReadsBack) {
    const auto file = path("song.syx");
    ASSERT_EQ(WriteSetupFile(file.string(), kSetup), "");
    {
        // Closed before the file is replaced: Windows replaces no file that is open.
        std::ifstream in(file, std::ios::binary);
        const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes, Join(kSetup.messages()));
    }
    EXPECT_EQ(ReadSetupFile(file.string(), {}).setup, kSetup);
    // Saving again replaces it whole, and leaves nothing else beside it.
    ASSERT_EQ(WriteSetupFile(file.string(), ConverterSetup{}), "");
    // Without a controller chosen there is none in the file: the one before stays.
    EXPECT_EQ(ReadSetupFile(file.string(), kSetup).setup, (ConverterSetup{0, 12, false, true, 74}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1);
}

TEST_F(SetupFiles, FilesThatCannotBeReadOrWrittenAreNamedWithTheReason) {
    const auto folder = path("a folder.syx");
    std::filesystem::create_directories(folder);
    EXPECT_EQ(ReadSetupFile(folder.string(), kSetup).error,
              folder.string() + ": It is a folder, not a file.");
    EXPECT_NE(ReadSetupFile(path("missing.syx").string(), kSetup).error.find("cannot be read"),
              std::string::npos);
    // A save that cannot finish leaves the old file as it was and no temporary file.
    const auto kept = path("kept.syx");
    ASSERT_EQ(WriteSetupFile(kept.string(), kSetup), "");
    EXPECT_NE(WriteSetupFile((folder / "missing" / "x.syx").string(), kSetup), "");
    EXPECT_EQ(WriteSetupFile(folder.string(), ConverterSetup{}),
              folder.string() + ": It cannot be saved: it is a folder; nothing was written.");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 2);
    EXPECT_EQ(ReadSetupFile(kept.string(), {}).setup, kSetup);
}

TEST_F(SetupFiles, AFileThatMayNotBeReadIsNamedWithTheReason) {
    const auto kept = path("kept.syx");
    ASSERT_EQ(WriteSetupFile(kept.string(), kSetup), "");
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no permission bits to take away";
#else
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file: no permission to test";
    std::filesystem::permissions(kept, std::filesystem::perms::none);
    EXPECT_NE(ReadSetupFile(kept.string(), {}).error.find("Permission denied"), std::string::npos);
#endif
}

}  // namespace
