// SPDX-License-Identifier: GPL-3.0-or-later
// The environment of a test or benchmark program.
#pragma once

// Points XDG_CONFIG_HOME at a new folder of the program's own, removed when the program ends,
// so that neither the user's settings nor those of another test run are ever read or touched.
void UseOwnSettingsFolder();

// For a program that runs the whole window: Qt's offscreen platform (unless one is chosen), the
// MIDI system `backend`, and a settings folder of its own.
void UseTestEnvironment(const char* backend);
