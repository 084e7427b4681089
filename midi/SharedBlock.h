// SPDX-License-Identifier: GPL-3.0-or-later
// Memory that the platform or the driver callback touches lives in blocks of its own from the
// platform's global allocator, locked for their whole life, never inside a component object.
#pragma once

#include "platform/win32.h"

#include <cstdint>

// A zero-filled, locked block of `size` bytes and its handle; null (and a null handle) on
// failure.
void* AllocSharedBlock(std::uint16_t size, HGLOBAL& handle);
// Unlocks and frees the block; nothing for a null handle.
void FreeSharedBlock(HGLOBAL handle);
