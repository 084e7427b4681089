// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Lets Qt's event loop deliver the platform's posted messages (MIDI completions and input
// notices) to the components' notification windows. Windows' own message loop does this
// there; elsewhere the posted-message descriptor is watched. Once per application.
void InstallPostedMessagePump();
