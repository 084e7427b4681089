// SPDX-License-Identifier: GPL-3.0-or-later
#include "MyMidiHdr.h"

#include "SharedBlock.h"

TMyMidiHdr::TMyMidiHdr(std::uint16_t size) {
    if (size == 0)
        return;
    header_ = static_cast<LPMIDIHDR>(AllocSharedBlock(sizeof(MIDIHDR), headerBlock_));
    data_ = static_cast<std::uint8_t*>(AllocSharedBlock(size, dataBlock_));
    if (header_ == nullptr || data_ == nullptr) {
        release();
        return;
    }
    header_->lpData = reinterpret_cast<LPSTR>(data_);
    header_->dwBufferLength = size;
}

TMyMidiHdr::~TMyMidiHdr() {
    release();
}

void TMyMidiHdr::release() {
    FreeSharedBlock(headerBlock_);
    FreeSharedBlock(dataBlock_);
    headerBlock_ = dataBlock_ = nullptr;
    header_ = nullptr;
    data_ = nullptr;
}
