// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "CablePacer.h"
#include "ControllerNames.h"
#include "ConverterSetup.h"
#include "SetupFile.h"
#include "StoredSetup.h"
#include "midi/MidiOut.h"
#include "midi/PortSearch.h"
#include "platform/midi_system.h"
#include "platform/win32.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <thread>

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
  --set noteref=N        lowest note: 0..127 or a name such as C1 or F#2 (C3 is 60)
  --set pitch=voct|table
  --set aux=velocity|N|NAME   aux CV from velocity, or from controller N (0..127) or NAME
  --send-all             send the setup, as Send all does in the window
  --send FILE.syx        read a setup from the file and send it
  --save FILE.syx        write the setup to the file
  --show                 print the setup
  --dry-run              print the bytes that would be sent, in hex; open no port
  --help                 print this and exit
  --version              print the version and exit

Messages leave at the pace of the converter's MIDI cable. Exit codes: 0 success, 2 bad usage,
3 port not found, 4 send failed, 5 bad file (also the settings file, when it cannot be read).
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
    bool show = false;
    bool dryRun = false;
    bool help = false;
    bool version = false;
};

// A usage error, with the text to print.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Options parse(const std::vector<std::string>& arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= arguments.size())
                throw UsageError(argument + " needs a value");
            return arguments[++i];
        };
        if (argument == "--list-ports")
            options.listPorts = true;
        else if (argument == "--midi-system")
            options.system = value();
        else if (argument == "--output")
            options.output = value();
        else if (argument == "--set")
            options.sets.push_back(value());
        else if (argument == "--send-all")
            options.sendAll = true;
        else if (argument == "--send")
            options.sendFile = value();
        else if (argument == "--save")
            options.saveFile = value();
        else if (argument == "--show")
            options.show = true;
        else if (argument == "--dry-run")
            options.dryRun = true;
        else if (argument == "--help")
            options.help = true;
        else if (argument == "--version")
            options.version = true;
        else
            throw UsageError("unknown option " + argument);
    }
    if (options.sendAll && options.sendFile)
        throw UsageError("--send-all and --send cannot be given together");
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
            throw UsageError("noteref must be 0..127 or a note such as C1 or F#2, not \"" + value +
                             "\"");
        setup.noteRef = *note;
    } else if (name == "pitch") {
        if (lower(value) != "voct" && lower(value) != "table")
            throw UsageError("pitch must be voct or table, not \"" + value + "\"");
        setup.pitchTable = lower(value) == "table";
    } else if (name == "aux") {
        if (lower(value) == "velocity") {
            setup.auxFromController = false;
            return;
        }
        int controller = -1;
        if (!value.empty() && std::all_of(value.begin(), value.end(), ::isdigit)) {
            controller = parseNumber(value, 0, 127, "aux controller");
        } else {
            for (int entry = 1; entry < static_cast<int>(ControllerNames.size()); ++entry) {
                if (!value.empty() &&
                    lower(trimmed(ControllerNames[entry])) == lower(trimmed(value)))
                    controller = entry - 1;
            }
        }
        if (controller < 0)
            throw UsageError(
                "aux must be velocity, a controller number 0..127 or a controller "
                "name such as \"Modulation Wheel (coarse)\", not \"" +
                value + "\"");
        setup.auxFromController = true;
        setup.auxController = controller;
    } else {
        throw UsageError("--set knows channel, noteref, pitch and aux, not \"" + name + "\"");
    }
}

std::vector<std::string> outputNames() {
    return PortNames<MIDIOUTCAPSA>(midiOutGetNumDevs(), &midiOutGetDevCapsA);
}

// The one output the name stands for, or an error that lists the candidates. The name may be
// the listed one or the host's whole name, of which the list shows 31 bytes.
std::string findOutput(const std::string& wanted, std::string& error) {
    const std::vector<std::string> names = outputNames();
    std::vector<std::string> fulls = platform::MidiPortFullNames(true);
    fulls.resize(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == wanted || fulls[i] == wanted)
            return names[i];
    }
    std::vector<std::string> matches;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (lower(fulls[i]).find(lower(wanted)) != std::string::npos ||
            lower(names[i]).find(lower(wanted)) != std::string::npos)
            matches.push_back(names[i]);
    }
    if (matches.size() == 1)
        return matches.front();
    error = matches.empty() ? "No MIDI output is called \"" + wanted + "\"; the outputs are:"
                            : "\"" + wanted + "\" is part of more than one output's name:";
    for (const std::string& name : matches.empty() ? names : matches)
        error += "\n  " + name;
    if (names.empty())
        error += "\n  (none)";
    return {};
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

// Sends the messages through the output paced to the cable and waits until the port has
// finished each; throws what the port reports.
void sendPaced(TMidiOutput& output, const std::vector<std::vector<std::uint8_t>>& messages) {
    CablePacer pacer([&](const CablePacer::Bytes& message) {
        output.SendLongMessage(message.data(), static_cast<std::uint16_t>(message.size()));
    });
    for (const auto& message : messages)
        pacer.send(message);
    while (const auto due = pacer.nextDue()) {
        std::this_thread::sleep_until(*due);
        pacer.sendDue();
    }
    // A long message's completion comes back through a posted message.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (output.PendingLongMessages() > 0) {
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("The port did not finish sending within 5 s");
        platform::PumpMessages(5);
    }
}

}  // namespace

bool WantsCommandLine(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const std::string& argument) { return argument.rfind("--", 0) == 0; });
}

int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                   std::ostream& err) {
    Options options;
    try {
        options = parse(arguments);
    } catch (const UsageError& error) {
        err << "rdn417-config: " << error.what() << "\nTry rdn417-config --help.\n";
        return kExitUsage;
    }
    if (options.help) {
        out << kHelp;
        return kExitSuccess;
    }
    if (options.version) {
        out << "rdn417-config " << RDN417_VERSION << "\n";
        return kExitSuccess;
    }
    std::optional<RegistryKey> key;
    const auto openKey = [&key](bool create) {
        try {
            if (auto opened = RegistryKey::Open(kSettingsKey, create))
                key.emplace(std::move(*opened));
        } catch (const std::exception&) {
        }
    };
    openKey(false);
    // Stored settings that could not be read are not replaced by the defaults: what would use
    // them stops here.
    if (const std::string problem = platform::TakeSettingsProblem(); !problem.empty()) {
        err << "rdn417-config: " << problem << "\n";
        if (options.sendAll || options.show || options.saveFile || !options.sets.empty())
            return kExitBadFile;
    }
    if (!platform::MidiSystemFromEnvironment() && key) {
        if (const auto stored = key->ReadString("midiSystem"))
            platform::SelectMidiSystem(*stored);
    }
    if (options.system && !selectSystem(*options.system)) {
        err << "rdn417-config: the MIDI system \"" << *options.system << "\" cannot be used"
            << (platform::MidiSystemFromEnvironment() ? " (RDN417_MIDI_BACKEND chooses it)" : "")
            << "\n";
        return kExitUsage;
    }
    if (options.listPorts) {
        try {
            const auto outputs = outputNames();
            const auto inputs = PortNames<MIDIINCAPSA>(midiInGetNumDevs(), &midiInGetDevCapsA);
            out << "Outputs:\n";
            for (const std::string& name : outputs)
                out << "  " << name << "\n";
            out << "Inputs:\n";
            for (const std::string& name : inputs)
                out << "  " << name << "\n";
        } catch (const std::exception& error) {
            err << "rdn417-config: " << error.what() << "\n";
            return kExitPortNotFound;
        }
    }
    ConverterSetup setup = key ? ReadStoredSetup(*key, {}) : ConverterSetup{};
    const ConverterSetup stored = setup;
    if (options.sendFile) {
        const SetupFileContents contents = ReadSetupFile(*options.sendFile, setup);
        if (!contents.error.empty()) {
            err << "rdn417-config: " << contents.error << "\n";
            return kExitBadFile;
        }
        if (contents.skipped > 0)
            err << "rdn417-config: " << contents.skipped << " messages for other devices skipped\n";
        setup = contents.setup;
    }
    try {
        for (const std::string& assignment : options.sets)
            applySet(setup, assignment);
    } catch (const UsageError& error) {
        err << "rdn417-config: " << error.what() << "\n";
        return kExitUsage;
    }
    if (setup != stored && !options.dryRun) {
        try {
            if (!key)
                openKey(true);
            if (!key)
                throw std::runtime_error("the settings cannot be opened");
            WriteStoredSetup(*key, setup);
        } catch (const std::exception& error) {
            err << "rdn417-config: the setup could not be stored: " << error.what() << "\n";
        }
    }
    if (options.show)
        out << setup.describe();
    if (options.saveFile) {
        const std::string error = WriteSetupFile(*options.saveFile, setup);
        if (!error.empty()) {
            err << "rdn417-config: " << error << "\n";
            return kExitBadFile;
        }
    }
    if (!options.sendAll && !options.sendFile)
        return kExitSuccess;
    if (options.dryRun) {
        for (const auto& message : setup.messages())
            out << hexLine(message) << "\n";
        return kExitSuccess;
    }
    // The window's port: by the host's whole name where stored, which tells apart devices whose
    // listed names agree.
    std::string windowPort = key ? key->ReadString("midiOUTPort").value_or("") : std::string();
    if (windowPort.empty() && key)
        windowPort = key->ReadString("midiOUTName").value_or("");
    std::string port = options.output.value_or(windowPort);
    std::string error;
    if (port.empty())
        error = "No output port is chosen: give --output NAME (--list-ports lists them)";
    else
        try {
            port = findOutput(port, error);
        } catch (const std::exception& failure) {
            error = failure.what();
        }
    if (!error.empty()) {
        err << "rdn417-config: " << error << "\n";
        return kExitPortNotFound;
    }
    TMidiOutput output(nullptr);
    try {
        output.SetProductName(port);
        if (!output.Open())
            throw std::runtime_error(output.ErrorText(output.LastResult()));
        sendPaced(output, setup.messages());
        output.Close();
    } catch (const std::exception& failure) {
        err << "rdn417-config: sending to \"" << port << "\" failed: " << failure.what() << "\n";
        return kExitSendFailed;
    }
    return kExitSuccess;
}
