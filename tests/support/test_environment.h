// The environment of a test or benchmark program that runs the whole window.
#pragma once

// Qt's offscreen platform (unless one is chosen), the MIDI system `backend`, and settings in
// a new folder of the program's own, so that the user's are never read or touched.
void UseTestEnvironment(const char* backend);
