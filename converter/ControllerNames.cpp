// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerNames.h"

// Trailing blanks are part of the names.
const std::array<const char*, 129> ControllerNames = {
    "----- none-------",
    "Bank Select",                        // 0
    "Modulation Wheel (coarse)",          // 1
    "Breath controller (coarse)",         // 2
    "",                                   // 3
    "Foot Pedal (coarse)",                // 4
    "Portamento Time (coarse)",           // 5
    "Data Entry (coarse)",                // 6
    "Volume (coarse)",                    // 7
    "Balance (coarse)",                   // 8
    "",                                   // 9
    "Pan position (coarse)",              // 10
    "Expression (coarse)",                // 11
    "Effect Control 1 (coarse)",          // 12
    "Effect Control 2 (coarse)",          // 13
    "",                                   // 14
    "",                                   // 15
    "General Purpose Slider 1",           // 16
    "General Purpose Slider 2",           // 17
    "General Purpose Slider 3",           // 18
    "General Purpose Slider 4",           // 19
    "",                                   // 20
    "",                                   // 21
    "",                                   // 22
    "",                                   // 23
    "",                                   // 24
    "",                                   // 25
    "",                                   // 26
    "",                                   // 27
    "",                                   // 28
    "",                                   // 29
    "",                                   // 30
    "",                                   // 31
    "Bank Select (fine)",                 // 32
    "Modulation Wheel (fine)",            // 33
    "Breath controller (fine)",           // 34
    "",                                   // 35
    "Foot Pedal (fine)",                  // 36
    "Portamento Time (fine)",             // 37
    "Data Entry (fine)",                  // 38
    "Volume (fine)",                      // 39
    "Balance (fine)",                     // 40
    "",                                   // 41
    "Pan position (fine)",                // 42
    "Expression (fine)",                  // 43
    "Effect Control 1 (fine)",            // 44
    "Effect Control 2 (fine)",            // 45
    "",                                   // 46
    "",                                   // 47
    "",                                   // 48
    "",                                   // 49
    "",                                   // 50
    "",                                   // 51
    "",                                   // 52
    "",                                   // 53
    "",                                   // 54
    "",                                   // 55
    "",                                   // 56
    "",                                   // 57
    "",                                   // 58
    "",                                   // 59
    "",                                   // 60
    "",                                   // 61
    "",                                   // 62
    "",                                   // 63
    "Hold Pedal (on/off)  ",              // 64
    "Portamento (on/off)  ",              // 65
    "Sustenuto Pedal (on/off)",           // 66
    "Soft Pedal (on/off)  ",              // 67
    "Legato Pedal (on/off)",              // 68
    "Hold 2 Pedal (on/off)",              // 69
    "Sound Variation    ",                // 70
    "Sound Timbre       ",                // 71
    "Sound Release Time ",                // 72
    "Sound Attack Time",                  // 73
    "Sound Brightness ",                  // 74
    "Sound Control 6  ",                  // 75
    "Sound Control 7  ",                  // 76
    "Sound Control 8  ",                  // 77
    "Sound Control 9  ",                  // 78
    "Sound Control 10 ",                  // 79
    "General Purpose Button 1 (on/off)",  // 80
    "General Purpose Button 2 (on/off)",  // 81
    "General Purpose Button 3 (on/off)",  // 82
    "General Purpose Button 4 (on/off)",  // 83
    "",                                   // 84
    "",                                   // 85
    "",                                   // 86
    "",                                   // 87
    "",                                   // 88
    "",                                   // 89
    "",                                   // 90
    "Effects Level",                      // 91
    "Tremulo Level",                      // 92
    "Chorus Level",                       // 93
    "Celeste Level",                      // 94
    "Phaser Level ",                      // 95
    "Data Button increment",              // 96
    "Data Button decrement ",             // 97
    "Non-registered Parameter (fine)",    // 98
    "Non-registered Parameter (coarse)",  // 99
    "Registered Parameter (fine)",        // 100
    "Registered Parameter (coarse)",      // 101
    "",                                   // 102
    "",                                   // 103
    "",                                   // 104
    "",                                   // 105
    "",                                   // 106
    "",                                   // 107
    "",                                   // 108
    "",                                   // 109
    "",                                   // 110
    "",                                   // 111
    "",                                   // 112
    "",                                   // 113
    "",                                   // 114
    "",                                   // 115
    "",                                   // 116
    "",                                   // 117
    "",                                   // 118
    "",                                   // 119
    "All Sound Off ",                     // 120
    "All Controllers Off",                // 121
    "Local Keyboard (on/off)",            // 122
    "All Notes Off ",                     // 123
    "Omni Mode Off",                      // 124
    "Omni Mode On",                       // 125
    "Mono Operation",                     // 126
    "Poly Operation",                     // 127
};

namespace {

// The degree sign in the platform's ANSI code page.
#ifdef _WIN32
constexpr const char* kDegree = "\xB0";
#else
constexpr const char* kDegree = "\xC2\xB0";
#endif

}  // namespace

std::string ControllerItemText(int index) {
    const char* name = ControllerNames.at(static_cast<std::size_t>(index));
    if (*name != '\0')
        return name;
    return std::string("Controler n") + kDegree + " " + std::to_string(index - 1);
}
