// SPDX-License-Identifier: GPL-3.0-or-later
// The two rules that find a port: a remembered one by its own whole name, a typed one by a
// part that only one port has.
#include "session/Ports.h"

#include <gtest/gtest.h>

namespace {

const PortList kPorts = {{"UM-ONE MK2", "UM-ONE MK2"},
                         {"Scarlett 2i4 USB MIDI 1", "Scarlett 2i4 USB:Scarlett 2i4 USB MIDI 1"},
                         {"Twin", "Twin"},
                         {"Twin 2", "Twin"}};

TEST(Ports, ARememberedPortIsItsOwnWholeNameAndNeverAnotherThatResemblesIt) {
    const std::vector<std::pair<PortIdentity, std::optional<std::size_t>>> cases = {
        {{"UM-ONE", "UM-ONE"}, std::nullopt},  // unplugged: its MK2 is another device
        {{"UM-ONE", ""}, std::nullopt},
        {{"UM-ONE MK2", ""}, 0},
        {{"Scarlett 2i4 USB MIDI 1", "Scarlett 2i4 USB:Scarlett 2i4 USB MIDI 1"}, 1},
        {{"Scarlett 2i4 USB MIDI 1", "Scarlett 2i4 USB:Scarlett 2i4 USB MIDI 2"}, std::nullopt},
        {{"Twin 2", "Twin"}, 3},  // of two devices of one whole name, the same listed name
        {{"Twin 3", "Twin"}, 2},
        {{"", ""}, std::nullopt},
    };
    for (const auto& [remembered, found] : cases)
        EXPECT_EQ(FindRememberedPort(kPorts, remembered), found) << remembered.name;
}

TEST(Ports, ATypedNameIsAWholeOrListedNameOrAPartThatOnlyOnePortHas) {
    const std::vector<std::tuple<std::string, std::optional<std::size_t>, std::size_t>> cases = {
        {"Twin", 2, 0},
        {"scarlett", 1, 0},
        {"USB:Scarlett", 1, 0},
        {"um-one", 0, 0},
        {"tw", std::nullopt, 2},  // the candidates, for the user to choose from
        {"Launchpad", std::nullopt, 0},
        {"", std::nullopt, 0},
    };
    for (const auto& [typed, found, candidates] : cases) {
        const TypedPortMatch match = FindTypedPort(kPorts, typed);
        EXPECT_EQ(match.found, found) << typed;
        EXPECT_EQ(match.candidates.size(), candidates) << typed;
    }
}

}  // namespace
