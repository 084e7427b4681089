// Pumps posted messages on this thread until a condition holds or a generous limit passes.
#pragma once

#include "platform/win32.h"

template <typename Condition>
bool PumpUntil(Condition done, int limitMs = 5000) {
    for (int waited = 0; !done() && waited < limitMs; waited += 5)
        platform::PumpMessages(5);
    return done();
}
