// SPDX-License-Identifier: GPL-3.0-or-later
// The command line over the virtual ports: what it prints, stores, sends and returns.
#include "app/CommandLine.h"
#include "app/RegistryKey.h"
#include "app/SetupFile.h"
#include "app/StoredSetup.h"
#include "parameter_bytes.h"
#include "temporary_config.h"
#include "virtual_midi_test.h"

#include <sstream>

namespace {

using virtual_midi::Bytes;

constexpr unsigned kDin = 2;

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

class CommandLine : public VirtualMidiTest {
  protected:
    static Outcome run(const std::vector<std::string>& arguments) {
        std::ostringstream out, err;
        const int code = RunCommandLine(arguments, out, err);
        return {code, out.str(), err.str()};
    }
    TemporaryConfig config_;
};

TEST_F(CommandLine, OnlyOptionsChooseIt) {
    EXPECT_TRUE(WantsCommandLine({"--show"}));
    EXPECT_TRUE(WantsCommandLine({"song.syx", "--unknown"}));
    EXPECT_FALSE(WantsCommandLine({"song.syx"}));
    EXPECT_FALSE(WantsCommandLine({}));
}

TEST_F(CommandLine, BadUsageSaysWhatIsWrongAndReturnsTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--set"}, "--set needs a value"},
        {{"--set", "channel"}, "--set needs NAME=VALUE"},
        {{"--set", "channel=17"}, "channel must be a number from 1 to 16"},
        {{"--set", "channel=1x"}, "channel must be a number"},
        {{"--set", "noteref=H2"}, "noteref must be 0..127"},
        {{"--set", "pitch=linear"}, "pitch must be voct or table"},
        {{"--set", "aux=128"}, "aux controller must be a number from 0 to 127"},
        {{"--set", "aux=Nothing like it"}, "aux must be velocity"},
        {{"--set", "volume=3"}, "--set knows channel, noteref, pitch and aux"},
        {{"--send-all", "--send", "x.syx"}, "cannot be given together"},
        {{"--midi-system", "coremidi", "--list-ports"}, "cannot be used"},
    };
    for (const auto& [arguments, message] : cases) {
        const Outcome result = run(arguments);
        EXPECT_EQ(result.code, kExitUsage) << message;
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(config_.hive()));
}

TEST_F(CommandLine, SetStoresAsTheWindowDoesAndShowPrintsIt) {
    EXPECT_EQ(run({"--set", "channel=3", "--set", "noteref=F#2", "--set", "pitch=table", "--set",
                   "aux=modulation wheel (coarse)"})
                  .code,
              kExitSuccess);
    const auto key = RegistryKey::Open(kSettingsKey, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(ReadStoredSetup(*key, {}), (ConverterSetup{2, 54, true, true, 1}));
    EXPECT_EQ(key->ReadInteger("CREF"), 2);
    const Outcome shown = run({"--set", "aux=velocity", "--show"});
    EXPECT_EQ(shown.out,
              "channel: 3\nnoteref: 54 (F#2)\npitch: table\naux: velocity\n"
              "controller: 1 (Modulation Wheel (coarse))\n");
    // A dry run changes nothing.
    EXPECT_EQ(run({"--set", "channel=9", "--dry-run"}).code, kExitSuccess);
    EXPECT_EQ(ReadStoredSetup(*RegistryKey::Open(kSettingsKey, false), {}).channel, 2);
}

TEST_F(CommandLine, SendAllReachesTheConverterAndDryRunOnlyPrints) {
    const Outcome dry = run({"--set", "noteref=C3", "--send-all", "--dry-run"});
    EXPECT_EQ(dry.out, "F0 70 00 7C 00 04 F7\nF0 70 00 7E 0C 03 F7\n");
    EXPECT_TRUE(virtual_midi::Received(kDin).empty());
    const Outcome sent = run({"--set", "noteref=C3", "--send-all", "--output", "(DIN)"});
    ASSERT_EQ(sent.code, kExitSuccess) << sent.err;
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Received(kDin),
              (std::vector<Bytes>{Parameter(0, 124, 0x40), Parameter(0, 126, 60)}));
    EXPECT_EQ(virtual_midi::Converter(kDin).noteRef, 60);
}

TEST_F(CommandLine, PortsAreListedAndFoundByAPartOfTheirNameOnly) {
    EXPECT_EQ(run({"--list-ports"}).out,
              "Outputs:\n  RDN417 Simulator\n  Virtual Loopback Out\n  RDN417 Simulator (DIN)\n"
              "Inputs:\n  Virtual Loopback In\n");
    const Outcome ambiguous = run({"--send-all", "--output", "simulator"});
    EXPECT_EQ(ambiguous.code, kExitPortNotFound);
    EXPECT_NE(ambiguous.err.find("more than one output's name:\n  RDN417 Simulator\n  RDN417 "
                                 "Simulator (DIN)"),
              std::string::npos);
    const Outcome missing = run({"--send-all", "--output", "Scarlett"});
    EXPECT_EQ(missing.code, kExitPortNotFound);
    EXPECT_NE(missing.err.find("No MIDI output is called \"Scarlett\"; the outputs are:"),
              std::string::npos);
    EXPECT_EQ(run({"--send-all"}).code, kExitPortNotFound);
    // The port the window uses is the default.
    RegistryKey::Open(kSettingsKey, true)->WriteString("midiOUTName", "Virtual Loopback Out");
    EXPECT_EQ(run({"--send-all"}).code, kExitSuccess);
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Received(1).size(), 2u);
}

TEST_F(CommandLine, AFailedSendAndABadFileHaveTheirOwnCodes) {
    virtual_midi::FailNext(platform::midi::Operation::OutLongMsg, MIDIERR_NODEVICE, 1);
    const Outcome failed = run({"--send-all", "--output", "RDN417 Simulator"});
    EXPECT_EQ(failed.code, kExitSendFailed);
    EXPECT_NE(failed.err.find("sending to \"RDN417 Simulator\" failed"), std::string::npos);
    const auto file = config_.folder() / "other.syx";
    std::filesystem::create_directories(config_.folder());
    std::ofstream(file, std::ios::binary) << "\x90\x40\x7F";
    const Outcome bad = run({"--send", file.string(), "--output", "RDN417 Simulator"});
    EXPECT_EQ(bad.code, kExitBadFile);
    EXPECT_NE(bad.err.find("not a System Exclusive"), std::string::npos);
    // A good file is sent, stored and can be saved again.
    ASSERT_EQ(WriteSetupFile(file.string(), ConverterSetup{4, 40, false, true, 7}), "");
    const auto saved = config_.folder() / "saved.syx";
    EXPECT_EQ(
        run({"--send", file.string(), "--output", "RDN417 Simulator", "--save", saved.string()})
            .code,
        kExitSuccess);
    EXPECT_EQ(ReadSetupFile(saved.string(), {}).setup, (ConverterSetup{4, 40, false, true, 7}));
    EXPECT_EQ(virtual_midi::Converter(0).auxController, 7);
}

TEST_F(CommandLine, StoredSettingsThatCannotBeReadAreNotReplacedByTheDefaults) {
    std::filesystem::create_directories(config_.folder());
    std::filesystem::create_symlink("/dev/zero", config_.hive());
    const Outcome shown = run({"--show"});
    EXPECT_EQ(shown.code, kExitBadFile);
    EXPECT_NE(shown.err.find("could not be read"), std::string::npos) << shown.err;
    EXPECT_EQ(shown.out, "");
    // What needs no stored value still works.
    EXPECT_EQ(run({"--list-ports"}).code, kExitSuccess);
}

}  // namespace
