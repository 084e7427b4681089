// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "converter/ControllerNames.h"
#include "converter/ConverterSetup.h"
#include "converter/NoteName.h"
#include "midi/MidiOut.h"
#include "platform/midi_system.h"
#include "platform/win32.h"
#include "session/Interrupts.h"
#include "session/PacedSender.h"
#include "session/Ports.h"
#include "session/SetupFiles.h"
#include "session/StoredChoices.h"
#include "session/StoredSetup.h"
#include "session/TestNote.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <istream>
#include <iterator>
#include <optional>
#include <ostream>
#include <stdexcept>

namespace {

constexpr const char* kHelp = R"(Usage: rdn417-config [FILE.syx]
       rdn417-config OPTION...

Without options the window opens (and opens FILE.syx, when given). With options nothing is
shown and no display is needed; the options start from the stored setup, and what --set or
--send changes is stored as the window stores it.

  --list-ports           list the MIDI outputs and inputs of the MIDI system in use
  --midi-system NAME     use this MIDI system (host, jack, virtual; or ALSA, JACK)
  --output NAME          the converter's port: its name, or a part that only one port has;
                         by default the port the window uses
  --set channel=N        MIDI channel 1..16
  --set noteref=N        lowest note: 0..127 or a name such as C1, F#2 or Db2 (C3 is 60)
  --set pitch=voct|table
  --set aux=velocity|controller|N|NAME
                         aux CV from velocity, or from the controller (N 0..127, or NAME)
  --set controller=none|N|NAME   the aux controller alone
  --send-all             send the setup, as Send all does in the window
  --send FILE            read a setup from the file (- for standard input) and send it:
                         .syx, a Standard MIDI File (.mid) or hex text
  --save FILE            write the setup to the file (- for standard output): .syx, or a
                         Standard MIDI File when FILE ends in .mid
  --play-note NOTE       sound NOTE (0..127 or a name such as C3) on the setup's channel,
                         after what is sent, to check the pitch CV and the gate: until
                         Ctrl+C or SIGTERM, or for --for SECONDS; its Note Off follows
  --for SECONDS          how long --play-note sounds (up to 3600; 0.5 is half a second)
  --show                 print the setup
  --dry-run              print the bytes that would be sent, in hex; open no port, store
                         nothing
  -h, --help             print this and exit
  -V, --version          print the version and exit

An option's value may follow it or be joined to it with "=" (--output=UM-ONE); "--" ends the
options. Messages leave at the pace of the converter's MIDI cable. Exit codes: 0 success,
1 standard output could not be written, 2 bad usage, 3 port not found (or no MIDI system to
reach), 4 send failed, 5 bad file (also the settings file, when it cannot be read), 6 the
setup could not be stored.
)";

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

struct Options {
    bool listPorts = false;
    std::optional<std::string> system;
    std::optional<std::string> output;
    std::vector<std::string> sets;
    bool sendAll = false;
    std::optional<std::string> sendFile;
    std::optional<std::string> saveFile;
    std::optional<std::string> playNote;
    std::optional<std::string> playFor;
    bool show = false;
    bool dryRun = false;
    bool help = false;
    bool version = false;
};

// A usage error, with the text to print.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A failure with its exit code, the text already said.
struct Failure {
    int code;
};

Options parse(const std::vector<std::string>& arguments) {
    Options options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || argument.size() < 2 || argument[0] != '-')
            throw UsageError("\"" + argument +
                             "\" is no option: a setup file is sent with --send FILE, or opened "
                             "in the window when it is given alone");
        std::string name = argument;
        std::optional<std::string> joined;
        if (argument == "-h")
            name = "--help";
        else if (argument == "-V")
            name = "--version";
        else if (argument.rfind("--", 0) != 0)
            throw UsageError("unknown option " + argument);
        else if (const auto equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            joined = argument.substr(equals + 1);
        }
        const auto value = [&]() -> std::string {
            if (joined)
                return *joined;
            if (i + 1 >= arguments.size())
                throw UsageError(name + " needs a value");
            return arguments[++i];
        };
        const auto once = [&](std::optional<std::string>& option) {
            if (option)
                throw UsageError(name + " is given twice");
            option = value();
        };
        const auto flag = [&](bool& option) {
            if (joined)
                throw UsageError(name + " takes no value");
            option = true;
        };
        if (name == "--list-ports")
            flag(options.listPorts);
        else if (name == "--midi-system")
            once(options.system);
        else if (name == "--output")
            once(options.output);
        else if (name == "--set")
            options.sets.push_back(value());
        else if (name == "--send-all")
            flag(options.sendAll);
        else if (name == "--send")
            once(options.sendFile);
        else if (name == "--save")
            once(options.saveFile);
        else if (name == "--play-note")
            once(options.playNote);
        else if (name == "--for")
            once(options.playFor);
        else if (name == "--show")
            flag(options.show);
        else if (name == "--dry-run")
            flag(options.dryRun);
        else if (name == "--help")
            flag(options.help);
        else if (name == "--version")
            flag(options.version);
        else
            throw UsageError("unknown option " + name);
    }
    if (options.sendAll && options.sendFile)
        throw UsageError("--send-all and --send cannot be given together");
    if (options.playFor && !options.playNote)
        throw UsageError("--for says how long --play-note sounds, and needs it");
    const bool printsMore =
        options.show || options.listPorts ||
        (options.dryRun && (options.sendAll || options.sendFile || options.playNote));
    if (options.saveFile == "-" && printsMore)
        throw UsageError(
            "--save - writes the setup to standard output, which nothing else may "
            "print to");
    return options;
}

int parseNumber(const std::string& text, int low, int high, const std::string& what) {
    std::size_t used = 0;
    int number = 0;
    try {
        number = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || number < low || number > high)
        throw UsageError(what + " must be a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not \"" + text + "\"");
    return number;
}

// The controller (0..127) of a number, or of a name as the list shows it (any case), or of a
// part of a name that only one controller has.
int findController(const std::string& value, const std::string& what) {
    if (!value.empty() && std::all_of(value.begin(), value.end(), ::isdigit))
        return parseNumber(value, 0, 127, what + " controller");
    const std::string wanted = lower(trimmed(value));
    std::vector<int> holding;
    for (int entry = 1; entry < static_cast<int>(ControllerNames.size()) && !wanted.empty();
         ++entry) {
        const std::string name = lower(trimmed(ControllerItemText(entry)));
        if (name == wanted)
            return entry - 1;
        if (name.find(wanted) != std::string::npos)
            holding.push_back(entry - 1);
    }
    if (holding.size() == 1)
        return holding.front();
    if (holding.empty())
        throw UsageError(what + " must be " + (what == "aux" ? "velocity, " : "none, ") +
                         "a controller number 0..127 or a controller name such as \"Modulation "
                         "Wheel (coarse)\", not \"" +
                         value + "\"");
    std::string error = "\"" + value + "\" is part of more than one controller's name:";
    for (int controller : holding)
        error +=
            "\n  " + std::to_string(controller) + " " + trimmed(ControllerItemText(controller + 1));
    throw UsageError(error);
}

void applySet(ConverterSetup& setup, const std::string& assignment) {
    const auto equals = assignment.find('=');
    if (equals == std::string::npos)
        throw UsageError("--set needs NAME=VALUE, not \"" + assignment + "\"");
    const std::string name = lower(assignment.substr(0, equals));
    const std::string value = assignment.substr(equals + 1);
    if (name == "channel") {
        setup.channel = parseNumber(value, 1, 16, "channel") - 1;
    } else if (name == "noteref") {
        const auto note = ParseNote(value);
        if (!note)
            throw UsageError("noteref must be 0..127 or a note such as C1, F#2 or Db2, not \"" +
                             value + "\"");
        setup.noteRef = *note;
    } else if (name == "pitch") {
        if (lower(value) != "voct" && lower(value) != "table")
            throw UsageError("pitch must be voct or table, not \"" + value + "\"");
        setup.pitchTable = lower(value) == "table";
    } else if (name == "aux") {
        setup.auxFromController = lower(value) != "velocity";
        if (setup.auxFromController && lower(value) != "controller")
            setup.auxController = findController(value, "aux");
    } else if (name == "controller") {
        setup.auxController = lower(trimmed(value)) == "none"
                                  ? std::nullopt
                                  : std::optional(findController(value, "controller"));
    } else {
        throw UsageError("--set knows channel, noteref, pitch, aux and controller, not \"" + name +
                         "\"");
    }
}

// A note that --play-note sounds: its number, and how long (until a signal without one).
struct NotePlay {
    int note;
    std::optional<std::chrono::milliseconds> length;
};

std::optional<NotePlay> parsePlay(const Options& options) {
    if (!options.playNote)
        return std::nullopt;
    const auto note = ParseNote(*options.playNote);
    if (!note)
        throw UsageError("--play-note must be 0..127 or a note such as C3, F#2 or Db2, not \"" +
                         *options.playNote + "\"");
    NotePlay play{*note, std::nullopt};
    if (options.playFor) {
        const std::string& text = *options.playFor;
        std::size_t used = 0;
        double seconds = -1;
        try {
            seconds = std::stod(text, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != text.size() || !std::isfinite(seconds) || seconds <= 0 ||
            seconds > 3600)
            throw UsageError("--for must be a number of seconds above 0 and up to 3600, not \"" +
                             text + "\"");
        play.length = std::chrono::milliseconds(std::llround(seconds * 1000));
    }
    return play;
}

// A port as lists show it: its listed name, and its whole name where that says more.
std::string described(const PortIdentity& port) {
    return port.name + (port.full.empty() || port.full == port.name ? "" : "  (" + port.full + ")");
}

// Why the MIDI system cannot be used now, as a line of its own; nothing when it can.
std::string trouble() {
    const std::string text = platform::MidiSystemTrouble();
    return text.empty() ? text : "rdn417-config: " + text + "\n";
}

// The one output a typed name, or else the port the window uses, stands for; says why there
// is none.
PortIdentity findOutput(const std::optional<std::string>& typed, const PortIdentity& remembered,
                        std::ostream& err) {
    const PortList ports = ListPorts(true);
    std::string error;
    std::vector<std::size_t> listed;
    if (typed) {
        const TypedPortMatch match = FindTypedPort(ports, *typed);
        if (match.found)
            return ports[*match.found];
        error = match.candidates.empty()
                    ? "No MIDI output is called \"" + *typed + "\"; the outputs are:"
                    : "\"" + *typed + "\" is part of more than one output's name:";
        listed = match.candidates;
    } else if (remembered.empty()) {
        err << "rdn417-config: No output port is chosen: give --output NAME (--list-ports lists "
               "them)\n"
            << trouble();
        throw Failure{kExitPortNotFound};
    } else if (const auto found = FindRememberedPort(ports, remembered)) {
        return ports[*found];
    } else {
        error = "The output the window uses, \"" +
                (remembered.full.empty() ? remembered.name : remembered.full) +
                "\", is not connected; the outputs are:";
    }
    if (listed.empty())
        for (std::size_t i = 0; i < ports.size(); ++i)
            listed.push_back(i);
    for (std::size_t i : listed)
        error += "\n  " + described(ports[i]);
    if (ports.empty())
        error += "\n  (none)";
    err << "rdn417-config: " << error << "\n" << trouble();
    throw Failure{kExitPortNotFound};
}

std::string hexLine(const std::vector<std::uint8_t>& bytes) {
    std::string line;
    for (std::uint8_t byte : bytes) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X", byte);
        line += (line.empty() ? "" : " ") + std::string(text);
    }
    return line;
}

bool selectSystem(const std::string& wanted) {
    for (const auto& system : platform::MidiSystems()) {
        if (lower(wanted) == system.id || lower(wanted) == lower(system.label))
            return platform::CurrentMidiSystem() == system.id ||
                   platform::SelectMidiSystem(system.id);
    }
    return false;
}

void listPorts(std::ostream& out) {
    for (const bool output : {true, false}) {
        out << (output ? "Outputs:\n" : "Inputs:\n");
        // The whole name too, where the list shows less of it.
        for (const PortIdentity& port : ListPorts(output))
            out << "  " << described(port) << "\n";
    }
}

SetupFileContents readSetup(const std::string& file, std::istream& in, const ConverterSetup& base) {
    if (file != "-")
        return ReadSetupFile(file, base);
    // One byte more than accepted tells a stream that is too large.
    std::vector<std::uint8_t> bytes;
    for (std::istreambuf_iterator<char> at(in), end;
         at != end && bytes.size() <= kMaxSetupFileBytes; ++at)
        bytes.push_back(static_cast<std::uint8_t>(*at));
    SetupFileContents contents = ParseSetupFile(bytes, base);
    if (!contents.error.empty())
        contents.error = "standard input: " + contents.error + ".";
    return contents;
}

// The settings key: the stored setup is read, changed and written while this holds every other
// copy of the program off the settings.
struct StoredSettings {
    std::optional<platform::SettingsTransaction> transaction;
    std::optional<RegistryKey> key;
    StoredSetupReading reading;
};

// Opens the settings for what the options do; says and throws what keeps them from it.
void openSettings(StoredSettings& settings, bool changes, bool usesSetup, std::ostream& err) {
    if (changes) {
        settings.transaction.emplace();
        if (!settings.transaction->held()) {
            err << "rdn417-config: the setup cannot be stored: " << settings.transaction->problem()
                << "\n";
            throw Failure{kExitNotStored};
        }
    }
    LSTATUS status = ERROR_SUCCESS;
    try {
        if (auto opened = RegistryKey::Open(kSettingsKey, false, &status))
            settings.key.emplace(std::move(*opened));
    } catch (const std::exception&) {
    }
    // Stored settings that could not be read are never replaced by the defaults: what would
    // use them stops here, and nothing is sent or changed.
    std::string problem = platform::TakeSettingsProblem();
    if (problem.empty() && RegistryKey::Unreadable(status))
        problem = "The settings in " + platform::SettingsLocation() + " cannot be read.";
    if (!problem.empty()) {
        err << "rdn417-config: " << problem << "\n";
        if (usesSetup)
            throw Failure{kExitBadFile};
    }
    settings.reading = settings.key ? ReadStoredSetup(*settings.key, {}) : NothingStored({});
    if (const std::string bad = DescribeBadValues(settings.reading); !bad.empty() && usesSetup)
        err << "rdn417-config: " << bad << "\n";
}

// Stores the setup as the window stores it: the values it changed, and those missing.
void store(StoredSettings& settings, const ConverterSetup& setup, std::ostream& err) {
    try {
        if (!settings.key) {
            auto created = RegistryKey::Open(kSettingsKey, true);
            if (!created)
                throw std::runtime_error(platform::TakeSettingsProblem());
            settings.key.emplace(std::move(*created));
        }
        WriteStoredSetup(*settings.key, setup, &settings.reading);
        settings.key->Close();
        // Other copies and the window may use the settings again while this one sends.
        settings.transaction.reset();
    } catch (const std::exception& error) {
        const std::string reason = error.what();
        err << "rdn417-config: the setup could not be stored"
            << (reason.empty() ? std::string(" in ") + platform::SettingsLocation() : ": " + reason)
            << "\n";
        throw Failure{kExitNotStored};
    }
}

// Sounds the note until a signal or its length, then its Note Off, also after a failure.
void playNote(PacedSender& sender, int channel, const NotePlay& play, std::ostream& err) {
    constexpr auto kDrainLimit = std::chrono::seconds(5);
    // Taken before the Note On, so that no signal can come between it and its Note Off.
    std::optional<Interrupts> interrupts(std::in_place);
    TestNote note([&](std::span<const std::uint8_t> message) { sender.send(message); });
    note.sound(TestNote::Note{channel, play.note});
    std::exception_ptr failure;
    try {
        sender.drain(kDrainLimit);
        err << "rdn417-config: playing " << trimmed(NoteName(play.note, 0, true)) << " ("
            << play.note << ") on channel " << channel + 1 << (play.length ? "" : " until Ctrl+C")
            << "\n"
            << std::flush;
        interrupts->wait(play.length);
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        note.release();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    // A second Ctrl+C while the Note Off drains ends the program at once.
    interrupts.reset();
    if (failure)
        std::rethrow_exception(failure);
}

void send(const PortIdentity& port, const std::vector<std::vector<std::uint8_t>>& messages,
          const std::optional<NotePlay>& play, int channel, std::ostream& err) {
    TMidiOutput output(nullptr);
    try {
        output.SetProductName(port.name);
        PacedSender sender(output);
        if (!sender.open())
            throw std::runtime_error(output.ErrorText(output.LastResult()));
        for (const auto& message : messages)
            sender.send(message);
        if (play)
            playNote(sender, channel, *play, err);
        sender.drain(std::chrono::seconds(5));
        sender.close();
    } catch (const std::exception& failure) {
        err << "rdn417-config: sending to \"" << port.name << "\" failed: " << failure.what()
            << "\n"
            << trouble();
        throw Failure{kExitSendFailed};
    }
}

int run(const Options& options, std::istream& in, std::ostream& out, std::ostream& err) {
    if (options.help) {
        out << kHelp;
        return kExitSuccess;
    }
    if (options.version) {
        out << "rdn417-config " << RDN417_VERSION << "\n";
        return kExitSuccess;
    }
    // Every --set is checked before anything is opened.
    for (const std::string& assignment : options.sets) {
        ConverterSetup scratch;
        applySet(scratch, assignment);
    }
    const std::optional<NotePlay> play = parsePlay(options);
    const bool sendsSetup = options.sendAll || options.sendFile;
    const bool sends = sendsSetup || play;
    const bool changes = (!options.sets.empty() || options.sendFile) && !options.dryRun;
    const bool usesSetup = sends || changes || options.show || options.saveFile;
    StoredSettings settings;
    openSettings(settings, changes, usesSetup, err);
    if (settings.key)
        RestoreMidiSystem(*settings.key);
    if (options.system && !selectSystem(*options.system)) {
        err << "rdn417-config: the MIDI system \"" << *options.system << "\" cannot be used"
            << (platform::MidiSystemFromEnvironment() ? " (RDN417_MIDI_BACKEND chooses it)" : "")
            << "\n";
        return kExitUsage;
    }
    if (options.listPorts) {
        try {
            listPorts(out);
        } catch (const std::exception& error) {
            err << "rdn417-config: " << error.what() << "\n";
            return kExitPortNotFound;
        }
    }
    ConverterSetup setup = settings.reading.setup;
    if (options.sendFile) {
        const SetupFileContents contents = readSetup(*options.sendFile, in, setup);
        if (!contents.error.empty()) {
            err << "rdn417-config: " << contents.error << "\n";
            return kExitBadFile;
        }
        if (contents.skipped > 0)
            err << "rdn417-config: " << contents.skipped << " message"
                << (contents.skipped == 1 ? "" : "s") << " for other devices skipped\n";
        setup = contents.setup;
    }
    for (const std::string& assignment : options.sets)
        applySet(setup, assignment);
    if (changes)
        store(settings, setup, err);
    if (options.show)
        out << setup.describe();
    if (options.saveFile == "-") {
        const std::vector<std::uint8_t> bytes = SetupFileBytes(setup);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    } else if (options.saveFile) {
        if (const std::string error = WriteSetupFile(*options.saveFile, setup); !error.empty()) {
            err << "rdn417-config: " << error << "\n";
            return kExitBadFile;
        }
    }
    if (!sends)
        return kExitSuccess;
    std::vector<std::vector<std::uint8_t>> messages;
    if (sendsSetup)
        for (const auto& message : setup.messages())
            messages.emplace_back(message.begin(), message.end());
    if (options.dryRun) {
        for (const auto& message : messages)
            out << hexLine(message) << "\n";
        if (play) {
            TestNote note([&](std::span<const std::uint8_t> message) {
                out << hexLine({message.begin(), message.end()}) << "\n";
            });
            note.sound(TestNote::Note{setup.channel, play->note});
            note.release();
        }
        return kExitSuccess;
    }
    const PortIdentity remembered = settings.key ? StoredPort(*settings.key, true) : PortIdentity{};
    PortIdentity port;
    try {
        port = findOutput(options.output, remembered, err);
    } catch (const std::exception& failure) {
        err << "rdn417-config: " << failure.what() << "\n";
        return kExitPortNotFound;
    }
    send(port, messages, play, setup.channel, err);
    return kExitSuccess;
}

}  // namespace

bool WantsCommandLine(const std::vector<std::string>& arguments) {
    return !arguments.empty() && WindowFileArgument(arguments).empty();
}

std::string WindowFileArgument(const std::vector<std::string>& arguments) {
    if (arguments.size() == 1 && !arguments[0].empty() && arguments[0][0] != '-')
        return arguments[0];
    if (arguments.size() == 2 && arguments[0] == "--" && !arguments[1].empty())
        return arguments[1];
    return {};
}

int RunCommandLine(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
                   std::ostream& err) {
    int code = kExitSuccess;
    try {
        code = run(parse(arguments), in, out, err);
    } catch (const UsageError& error) {
        err << "rdn417-config: " << error.what() << "\nTry rdn417-config --help.\n";
        code = kExitUsage;
    } catch (const Failure& failure) {
        code = failure.code;
    }
    // What was printed must have arrived: a full disk or a closed pipe is no success.
    out.flush();
    if (!out && code == kExitSuccess) {
        err << "rdn417-config: the output could not be written\n";
        code = kExitOutputFailed;
    }
    return code;
}
