// SPDX-License-Identifier: GPL-3.0-or-later
// The command line over the virtual ports: what it prints, stores, sends and returns.
#include "app/CommandLine.h"
#include "parameter_bytes.h"
#include "session/RegistryKey.h"
#include "session/SetupFiles.h"
#include "session/StoredSetup.h"
#include "temporary_config.h"
#include "virtual_midi_test.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <future>
#include <sstream>

namespace {

using virtual_midi::Bytes;

constexpr unsigned kDin = 2;

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

// An output that fails as a full disk does.
struct FullDisk : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
};

class CommandLine : public VirtualMidiTest {
  protected:
    static Outcome run(const std::vector<std::string>& arguments, const std::string& input = {}) {
        std::istringstream in(input);
        std::ostringstream out, err;
        const int code = RunCommandLine(arguments, in, out, err);
        return {code, out.str(), err.str()};
    }
    static ConverterSetup stored() {
        return ReadStoredSetup(RegistryKey::Open(kSettingsKey, false).value(), {}).setup;
    }
    static std::string storedString(const char* name) {
        return RegistryKey::Open(kSettingsKey, false).value().ReadString(name).value_or("");
    }
    TemporaryConfig config_;
};

TEST_F(CommandLine, AFileAloneOpensTheWindowAndAnythingElseIsTheCommandLine) {
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--show"},
                                                      {"song.syx", "--unknown"},
                                                      {"-show"},
                                                      {"-h"},
                                                      {"a.syx", "b.syx"},
                                                      {"-"}})
        EXPECT_TRUE(WantsCommandLine(arguments)) << arguments[0];
    EXPECT_FALSE(WantsCommandLine({"song.syx"}));
    EXPECT_FALSE(WantsCommandLine({}));
    EXPECT_EQ(WindowFileArgument({"--", "-odd.syx"}), "-odd.syx");
    EXPECT_FALSE(WantsCommandLine({"--", "-odd.syx"}));
}

TEST_F(CommandLine, BadUsageSaysWhatIsWrongAndReturnsTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"-show"}, "unknown option -show"},
        {{"a.syx", "b.syx"}, "\"a.syx\" is no option"},
        {{"--show", "--", "x.syx"}, "\"x.syx\" is no option"},
        {{"--set"}, "--set needs a value"},
        {{"--set", "channel"}, "--set needs NAME=VALUE"},
        {{"--set", "channel=17"}, "channel must be a number from 1 to 16"},
        {{"--set=channel=1x"}, "channel must be a number"},
        {{"--set", "noteref=H2"}, "noteref must be 0..127"},
        {{"--set", "pitch=linear"}, "pitch must be voct or table"},
        {{"--set", "aux=128"}, "aux controller must be a number from 0 to 127"},
        {{"--set", "aux=Nothing like it"}, "aux must be velocity"},
        {{"--set", "aux=Modulation"},
         "more than one controller's name:\n  1 Modulation Wheel (coarse)\n  33 Modulation "
         "Wheel (fine)"},
        {{"--set", "volume=3"}, "--set knows channel, noteref, pitch, aux and controller"},
        {{"--send-all", "--send", "x.syx"}, "cannot be given together"},
        {{"--output", "a", "--output=b", "--send-all"}, "--output is given twice"},
        {{"--show=yes"}, "--show takes no value"},
        {{"--save", "-", "--show"}, "--save - writes the setup to standard output"},
        {{"--midi-system", "coremidi", "--list-ports"}, "cannot be used"},
        {{"--play-note", "H2"}, "--play-note must be 0..127"},
        {{"--for", "2", "--send-all"}, "--for says how long --play-note sounds"},
        {{"--play-note", "C3", "--for", "0"}, "--for must be a number of seconds above 0"},
        {{"--play-note", "C3", "--for", "3600.5"}, "up to 3600, not \"3600.5\""},
        {{"--play-note", "C3", "--for=1s"}, "--for must be a number"},
        {{"--play-note", "C3", "--for", "nan"}, "--for must be a number"},
    };
    for (const auto& [arguments, message] : cases) {
        const Outcome result = run(arguments);
        EXPECT_EQ(result.code, kExitUsage) << message;
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(config_.hive()));
}

TEST_F(CommandLine, ShortFormsJoinedValuesAndTheEndOfOptions) {
    EXPECT_NE(run({"-h"}).out.find("Usage:"), std::string::npos);
    EXPECT_EQ(run({"-V"}).out.rfind("rdn417-config ", 0), 0u);
    EXPECT_EQ(run({"--set=noteref=Db2", "--output=(DIN)", "--send-all", "--"}).code, kExitSuccess);
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Converter(kDin).noteRef, 49);
}

TEST_F(CommandLine, SetStoresAsTheWindowDoesAndShowPrintsWhatSetTakesBack) {
    EXPECT_EQ(run({"--set", "channel=3", "--set", "noteref=F#2", "--set", "pitch=table", "--set",
                   "aux=modulation wheel (coarse)"})
                  .code,
              kExitSuccess);
    EXPECT_EQ(stored(), (ConverterSetup{2, 54, true, true, 1}));
    // All five values, so that the window opens on this setup.
    for (const char* name : {"CAN", "NREF", "CREF", "VOCT", "VELO"})
        EXPECT_TRUE(RegistryKey::Open(kSettingsKey, false)->FindInteger(name)) << name;
    const Outcome shown = run({"--set", "aux=velocity", "--set", "controller=3", "--show"});
    EXPECT_EQ(shown.out,
              "channel: 3\nnoteref: 54 (F#2)\npitch: table\naux: velocity\n"
              "controller: 3 (Controler n\xC2\xB0 3)\n");
    // Every line's value goes back through --set, the name in brackets too.
    EXPECT_EQ(run({"--set", "controller=Controler n\xC2\xB0 3", "--set", "aux=controller"}).code,
              kExitSuccess);
    EXPECT_EQ(stored(), (ConverterSetup{2, 54, true, true, 3}));
    // A dry run changes nothing.
    EXPECT_EQ(run({"--set", "channel=9", "--dry-run"}).code, kExitSuccess);
    EXPECT_EQ(stored().channel, 2);
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

TEST_F(CommandLine, PlayNoteSoundsAfterTheSetupAndItsNoteOffEndsItAtTheEndOrOnASignal) {
    const Bytes on{0x9F, 60, 100}, off{0x8F, 60, 0};
    EXPECT_EQ(run({"--set", "channel=16", "--send-all", "--play-note", "C3", "--dry-run"}).out,
              "F0 70 0F 7C 00 04 F7\nF0 70 0F 7E 0C 00 F7\n9F 3C 64\n8F 3C 00\n");
    ASSERT_EQ(run({"--set", "channel=16"}).code, kExitSuccess);
    const Outcome timed = run({"--play-note", "60", "--for", "0.05", "--output", "(DIN)"});
    ASSERT_EQ(timed.code, kExitSuccess) << timed.err;
    EXPECT_NE(timed.err.find("playing C 3 (60) on channel 16"), std::string::npos) << timed.err;
    virtual_midi::Flush();
    EXPECT_EQ(virtual_midi::Received(kDin), (std::vector<Bytes>{on, off}));
    EXPECT_EQ(virtual_midi::Converter(kDin).note, 60);
    EXPECT_EQ(virtual_midi::Converter(kDin).notesHeld, 0);

    // Without --for the note sounds until a signal, which ends it as the time does; a port gone
    // meanwhile fails its Note Off, and that is said.
    struct Ending {
        int signal;
        bool portGone;
        int code;
    };
    for (const Ending ending :
         {Ending{SIGINT, false, kExitSuccess}, Ending{SIGTERM, false, kExitSuccess},
          Ending{SIGTERM, true, kExitSendFailed}}) {
        virtual_midi::Reset();
        auto playing = std::async(std::launch::async, [] {
            return run({"--play-note", "C3", "--output", "(DIN)"});
        });
        ASSERT_TRUE(PumpUntil([] { return virtual_midi::Converter(kDin).gate; }));
        if (ending.portGone)
            virtual_midi::SetPorts({virtual_midi::kConverterPort}, {});
        kill(getpid(), ending.signal);
        const Outcome played = playing.get();
        EXPECT_EQ(played.code, ending.code) << played.err;
        EXPECT_NE(played.err.find("playing C 3 (60) on channel 16 until Ctrl+C"),
                  std::string::npos);
        if (ending.portGone) {
            EXPECT_NE(played.err.find("sending to \"RDN417 Simulator (DIN)\" failed"),
                      std::string::npos)
                << played.err;
            continue;
        }
        virtual_midi::Flush();
        EXPECT_EQ(virtual_midi::Received(kDin), (std::vector<Bytes>{on, off})) << ending.signal;
        EXPECT_EQ(virtual_midi::Converter(kDin).notesHeld, 0);
    }
}

TEST_F(CommandLine, ATypedNameMayBeAPartAndARememberedPortMustBeTheSame) {
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
    // The window's port, found only by its own name: a port whose name holds it is another
    // device, and a boot script waits for the right one.
    RegistryKey::Open(kSettingsKey, true)->WriteString("midiOUTName", "Loopback");
    const Outcome absent = run({"--send-all"});
    EXPECT_EQ(absent.code, kExitPortNotFound);
    EXPECT_NE(absent.err.find("The output the window uses, \"Loopback\", is not connected"),
              std::string::npos);
    virtual_midi::SetPorts({virtual_midi::kDinConverterPort}, {});
    RegistryKey::Open(kSettingsKey, true)->WriteString("midiOUTName", "RDN417 Simulator");
    EXPECT_EQ(run({"--send-all"}).code, kExitPortNotFound);
    virtual_midi::Flush();
    EXPECT_TRUE(virtual_midi::Received(0).empty());
    virtual_midi::Reset();
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

TEST_F(CommandLine, StandardInputAndOutputStandForAFileAndAWriteErrorFails) {
    std::string file;
    for (const auto& message : ConverterSetup{5, 30, true, false, 9}.messages())
        file.append(message.begin(), message.end());
    const Outcome sent = run({"--send", "-", "--output", "RDN417 Simulator"}, file);
    ASSERT_EQ(sent.code, kExitSuccess) << sent.err;
    EXPECT_EQ(run({"--save", "-"}).out, file);
    EXPECT_EQ(run({"--send", "-", "--dry-run"}, "junk").code, kExitBadFile);
    FullDisk full;
    std::ostream out(&full);
    std::ostringstream err;
    std::istringstream in;
    EXPECT_EQ(RunCommandLine({"--show"}, in, out, err), kExitOutputFailed);
    EXPECT_NE(err.str().find("the output could not be written"), std::string::npos);
}

TEST_F(CommandLine, ASetupThatWasNotStoredIsNeverSuccess) {
    ASSERT_EQ(run({"--set", "channel=2"}).code, kExitSuccess);
    const std::string before = config_.read();
    chmod(config_.hive().c_str(), 0444);
    const Outcome readOnly = run({"--set", "channel=5"});
    EXPECT_EQ(readOnly.code, kExitNotStored);
    EXPECT_NE(readOnly.err.find("the setup could not be stored"), std::string::npos);
    EXPECT_NE(readOnly.err.find("read-only"), std::string::npos) << readOnly.err;
    chmod(config_.hive().c_str(), 0644);
    // Each reason is said once a run: the next failure is a new user's.
    TemporaryConfig other;
    ASSERT_EQ(run({"--set", "channel=2"}).code, kExitSuccess);
    platform::testing::FailFileWrite(platform::testing::FileWriteStep::Flush);
    const Outcome full = run({"--set", "channel=5", "--send-all", "--output", "(DIN)"});
    EXPECT_EQ(full.code, kExitNotStored);
    EXPECT_NE(full.err.find("flushed to the disk (Input/output error)"), std::string::npos)
        << full.err;
    EXPECT_EQ(other.read(), before);
    virtual_midi::Flush();
    EXPECT_TRUE(virtual_midi::Received(kDin).empty());  // nothing sent after the failure
}

TEST_F(CommandLine, CopiesRunAtOnceNeverLoseOneAnothersChanges) {
    const std::vector<std::string> sets = {"channel=9", "noteref=40", "pitch=table", "aux=7"};
    for (int round = 0; round < 8; ++round) {
        std::filesystem::remove(config_.hive());
        ASSERT_EQ(run({"--set", "channel=1", "--set", "noteref=12", "--set", "pitch=voct", "--set",
                       "aux=velocity"})
                      .code,
                  kExitSuccess);
        std::vector<pid_t> children;
        for (const std::string& set : sets) {
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0)
                _exit(run({"--set", set}).code);
            children.push_back(child);
        }
        for (pid_t child : children) {
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        EXPECT_EQ(stored(), (ConverterSetup{8, 40, true, true, 7})) << "round " << round;
    }
}

TEST_F(CommandLine, ABadStoredValueCostsThatValueAloneAndIsNamed) {
    config_.write(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Korvalen\\RDN417_V28]\n"
        "\"CAN\"=dword:00000004\n\"NREF\"=\"garbage\"\n\"CREF\"=dword:00000003\n"
        "\"VOCT\"=dword:00000000\n\"VELO\"=dword:00000000\n");
    const Outcome shown = run({"--show"});
    EXPECT_EQ(shown.code, kExitSuccess);
    EXPECT_EQ(shown.out,
              "channel: 4\nnoteref: 12 (C -1)\npitch: table\naux: controller\n"
              "controller: 2 (Breath controller (coarse))\n");
    EXPECT_NE(shown.err.find("The stored NoteRef (\"NREF\") is not a number"), std::string::npos);
    ASSERT_EQ(run({"--set", "channel=7"}).code, kExitSuccess);
    EXPECT_NE(config_.read().find("\"NREF\"=\"garbage\""), std::string::npos);
    EXPECT_EQ(stored(), (ConverterSetup{6, 12, true, true, 2}));
}

TEST_F(CommandLine, SettingsThatCannotBeUsedStopEverythingAndChangeNoFile) {
    std::filesystem::create_directories(config_.folder());
    const auto file = config_.folder() / "song.syx";
    ASSERT_EQ(WriteSetupFile(file.string(), ConverterSetup{}), "");
    const std::string typo =
        "Windows Registry Editor Version 5.01\n\n"
        "[HKEY_CURRENT_USER\\Software\\Korvalen\\RDN417_V28]\n"
        "\"CAN\"=dword:00000004\n";
    config_.write(typo);
    // Said in full the first time in a run.
    EXPECT_NE(run({"--show"})
                  .err.find(config_.hive().string() + " cannot be used: it is not a settings file"),
              std::string::npos);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--show"},
          {"--send-all", "--output", "(DIN)"},
          {"--send", file.string(), "--output", "(DIN)"},
          {"--set", "channel=3"}}) {
        const Outcome result = run(arguments);
        EXPECT_EQ(result.code, kExitBadFile) << arguments[0];
        EXPECT_NE(result.err.find(config_.hive().string() + " cannot be"), std::string::npos)
            << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(config_.read(), typo);
    EXPECT_TRUE(config_.keptAside().empty());
    virtual_midi::Flush();
    EXPECT_TRUE(virtual_midi::Received(kDin).empty());
    std::filesystem::remove(config_.hive());
    std::filesystem::create_symlink("/dev/zero", config_.hive());
    const Outcome unreadable = run({"--show"});
    EXPECT_EQ(unreadable.code, kExitBadFile);
    EXPECT_NE(unreadable.err.find("be read"), std::string::npos) << unreadable.err;
    // What needs no stored value still works.
    EXPECT_EQ(run({"--list-ports"}).code, kExitSuccess);
}

}  // namespace
