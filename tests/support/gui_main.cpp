// SPDX-License-Identifier: GPL-3.0-or-later
// GUI tests: real widgets on Qt's offscreen platform, MIDI through the virtual ports.
#include <gtest/gtest.h>
#include <QApplication>

#ifndef _WIN32
#include "qt_event_loop_pump.h"
#include "test_environment.h"
#endif

#include <cstdlib>

int main(int argc, char** argv) {
#ifndef _WIN32
    // Windows has its own platform and its own MIDI ports.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("RDN417_MIDI_BACKEND", "virtual", 1);
    UseOwnSettingsFolder();
#endif
    QApplication app(argc, argv);
#ifndef _WIN32
    const QtEventLoopPump pump;
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
