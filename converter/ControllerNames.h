// SPDX-License-Identifier: GPL-3.0-or-later
// The controller list of the aux CV: entry 0 stands for no controller, entry i (1..128) for
// MIDI controller i - 1. Unnamed controllers have an empty entry.
#pragma once

#include <array>
#include <string>

extern const std::array<const char*, 129> ControllerNames;

// The text the list shows for entry `index`: its name, or "Controler n° " and the controller
// number for an unnamed one. In the platform's ANSI code page (Windows-1252 on Windows, UTF-8
// elsewhere), like every std::string of the program.
std::string ControllerItemText(int index);
