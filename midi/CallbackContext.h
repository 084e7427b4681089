// SPDX-License-Identifier: GPL-3.0-or-later
// The block each MIDI component hands the platform as its callback's instance value, and the
// one driver callback of both components. The callback runs on a platform thread: it touches
// only this block and the input queue, allocates nothing, and hands everything else to the
// component's notification window by posting.
#pragma once

#include "platform/win32.h"

#include <atomic>
#include <cstdint>

class MidiEventQueue;

struct CallbackContext {
    HGLOBAL ownHandle = nullptr;             // so the block can be freed from itself
    MidiEventQueue* queue = nullptr;         // the input component's queue; null for output
    HWND window = nullptr;                   // where notifications are posted
    std::atomic<std::uint8_t> sysexOnly{0};  // the input component's SysexOnly; read any time
    // Input that never reached the queue: it was full, or the port had no buffer for it.
    std::atomic<std::uint32_t> dropped{0};
    // The input's open session, carried in every input notice so that notices of an earlier
    // session are known as such. Set before the port opens.
    WPARAM session = 0;
    // An input notice is waiting in the mailbox: a flood of input posts one at a time, so that
    // it cannot crowd out the output's completions.
    std::atomic<bool> dataNoticePending{false};
    std::atomic<bool> overflowNoticePending{false};
    // Output completions whose notice could not be posted (the mailbox was full), and the
    // failure of the latest of them that had one.
    std::atomic<std::uint32_t> lostCompletions{0};
    std::atomic<DWORD> lostFailure{0};
    // The same for the failure of a short message, which has no header to free.
    std::atomic<DWORD> lostShortFailure{0};
};

// Creates a context in a shared block of its own, or returns null when there is no memory.
CallbackContext* AllocCallbackContext();
// Destroys and frees the block; nothing for null.
void FreeCallbackContext(CallbackContext* context);

void CALLBACK MidiDriverCallback(HDRVR handle, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                 DWORD_PTR param2);
