// SPDX-License-Identifier: GPL-3.0-or-later
// One platform long-message header and its data buffer, both shared blocks. Whoever hands the
// header to the platform stores the object's address in the header's dwUser, so the object can
// be found again from the header alone.
#pragma once

#include "Component.h"
#include "platform/win32.h"

#include <cstdint>

class TMyMidiHdr : public TObject {
  public:
    // Allocates a header and `size` data bytes, zero-filled, unless size is 0. When either block
    // cannot be allocated, Header() is null and nothing stays allocated.
    explicit TMyMidiHdr(std::uint16_t size);
    ~TMyMidiHdr() override;
    TMyMidiHdr(const TMyMidiHdr&) = delete;
    TMyMidiHdr& operator=(const TMyMidiHdr&) = delete;

    LPMIDIHDR Header() const { return header_; }
    std::uint8_t* Data() const { return data_; }

  private:
    void release();

    HGLOBAL headerBlock_ = nullptr;
    LPMIDIHDR header_ = nullptr;
    HGLOBAL dataBlock_ = nullptr;
    std::uint8_t* data_ = nullptr;
};
