// SPDX-License-Identifier: GPL-3.0-or-later
#include "NoteName.h"

namespace {

constexpr char kLetters[] = "CCDDEFFGGAAB";
constexpr bool kSharp[12] = {false, true,  false, true,  false, false,
                             true,  false, true,  false, true,  false};

}  // namespace

std::string NoteName(int note, int offset, bool withOctave) {
    const int n = note + offset;
    // Floor division keeps notes below 0 inside the letter table.
    int octave = n / 12;
    int pitchClass = n % 12;
    if (pitchClass < 0) {
        pitchClass += 12;
        --octave;
    }
    std::string name{kLetters[pitchClass], kSharp[pitchClass] ? '#' : ' '};
    if (withOctave)
        name += std::to_string(octave - 2);
    return name;
}
