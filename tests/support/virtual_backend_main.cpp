// SPDX-License-Identifier: GPL-3.0-or-later
// The platform tests run against the built-in virtual MIDI ports.
#include "test_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("RDN417_MIDI_BACKEND", "virtual", 1);
    UseOwnSettingsFolder();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
