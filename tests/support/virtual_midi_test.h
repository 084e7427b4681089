// SPDX-License-Identifier: GPL-3.0-or-later
// The base of every test case that uses the virtual MIDI ports: it starts with the default
// ports and ends with every record, fault, held completion and pending notice cleared,
// whatever the case left behind.
#pragma once

#include "platform/testing.h"
#include "platform/virtual_midi.h"
#include "pump.h"

#include <gtest/gtest.h>

class VirtualMidiTest : public ::testing::Test {
  protected:
    void SetUp() override { virtual_midi::Reset(); }
    void TearDown() override {
        virtual_midi::ReleaseCompletions();
        Settle();
        closePorts();
        virtual_midi::Reset();
        platform::testing::FailGlobalAllocAfter(-1);
    }
    // Closes what the case left open, before the ports are reset.
    virtual void closePorts() {}
};
