// SPDX-License-Identifier: GPL-3.0-or-later
// The native core's answers over a table of inputs, one line each, for the web test to compare
// with what the WebAssembly core answers over the same table (tests/web/core_table.mjs).
#include "converter/ControllerNames.h"
#include "converter/ConverterSetup.h"
#include "converter/NoteName.h"
#include "converter/ParameterMessage.h"
#include "converter/SetupFile.h"
#include "converter/StoredValues.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::uint8_t byte : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, "%02X", byte);
        text += (text.empty() ? "" : " ") + std::string(two);
    }
    return text;
}

std::string Describe(const ConverterSetup& s) {
    return std::to_string(s.channel) + "/" + std::to_string(s.noteRef) + "/" +
           std::to_string(s.pitchTable) + "/" + std::to_string(s.auxFromController) + "/" +
           std::to_string(s.auxController.value_or(-1));
}

}  // namespace

// Arguments: the setup files to read.
int main(int argc, char** argv) {
    for (int channel : {0, 15}) {
        for (int value = 0; value < 128; ++value) {
            for (int code : {pcModeFlags, pcAuxController, pcNoteRef}) {
                const auto message = ParameterMessage(channel, code, value);
                std::cout << "parameter " << channel << " " << code << " " << value << ": "
                          << Hex({message.begin(), message.end()}) << "\n";
            }
            const ShortMessage change = ControlChangeMessage(channel, value, 127 - value);
            std::cout << "control " << channel << " " << value << ": "
                      << Hex({change.status, change.data1, change.data2}) << "\n";
        }
        for (int mode = 0; mode < 4; ++mode) {
            for (int controller : {-1, 0, 74, 127}) {
                ConverterSetup setup{channel, 12 + 3 * mode, (mode & 1) != 0, (mode & 2) != 0,
                                     std::nullopt};
                if (controller >= 0)
                    setup.auxController = controller;
                std::string messages;
                for (const auto& message : setup.messages())
                    messages += Hex(message) + "; ";
                std::cout << "setup " << Describe(setup) << ": " << messages << "\n"
                          << "syx " << Describe(setup) << ": " << Hex(SetupFileBytes(setup)) << "\n"
                          << "mid " << Describe(setup) << ": " << Hex(SetupFileBytes(setup, true))
                          << "\n";
                std::string stored;
                for (const StoredSetupValue& value : kStoredSetupValues)
                    stored +=
                        std::string(value.name) + "=" + std::to_string(value.written(setup)) + " ";
                std::cout << "stored " << Describe(setup) << ": " << stored << "\n";
            }
        }
    }
    for (int note = 0; note < 128; ++note)
        std::cout << "note " << note << ": " << NoteName(note, 0, true) << "\n";
    for (int entry = 0; entry < static_cast<int>(ControllerNames.size()); ++entry)
        std::cout << "controller " << entry << ": " << ControllerItemText(entry) << "\n";
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        const std::string name = std::filesystem::path(argv[i]).filename().string();
        const SetupFileContents contents = ParseSetupFile(bytes, ConverterSetup{});
        std::cout << "file " << name << ": "
                  << (contents.error.empty() ? "" : NamedFileError(name, contents.error)) << " | "
                  << SkippedMessagesNote(name, contents.skipped) << " | "
                  << Describe(contents.setup) << "\n";
    }
}
