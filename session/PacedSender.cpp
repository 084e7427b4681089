// SPDX-License-Identifier: GPL-3.0-or-later
#include "PacedSender.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr UINT kDue = WM_USER + 7;

}  // namespace

PacedSender::PacedSender(TMidiOutput& output)
    : output_(output),
      pacer_([this](const CablePacer::Bytes& message) { transmit(message); }),
      window_([this](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
          if (message == kDue)
              sendDue();
          return 0;
      }),
      timer_([this] { run(); }) {
    // The pacer learns when the port finished each long message (this output's only use of
    // the event), and what may leave then.
    output_.Onmidioutput = [this](TObject*) {
        pacer_.finished(Clock::now(), output_.PendingLongMessages());
        schedule();
    };
}

PacedSender::~PacedSender() {
    output_.Onmidioutput = nullptr;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    timer_.join();
}

bool PacedSender::open() {
    const bool opened = output_.Open();
    MIDIOUTCAPSA caps{};
    const bool synthesizer = midiOutGetDevCapsA(static_cast<UINT>(output_.DeviceID()), &caps,
                                                sizeof caps) == MMSYSERR_NOERROR &&
                             caps.wTechnology == MOD_SWSYNTH;
    pacer_.setPaced(!synthesizer);
    return opened;
}

void PacedSender::close() {
    std::exception_ptr unsent;
    try {
        pacer_.flush();
    } catch (...) {
        unsent = std::current_exception();
    }
    schedule();
    output_.Close();
    if (unsent)
        std::rethrow_exception(unsent);
}

void PacedSender::send(std::span<const std::uint8_t> message) {
    try {
        pacer_.send(CablePacer::Bytes(message.begin(), message.end()));
    } catch (...) {
        schedule();
        throw;
    }
    schedule();
}

void PacedSender::drain(std::chrono::milliseconds limit) {
    lateFailure_ = nullptr;
    const auto deadline = Clock::now() + limit;
    while (pacer_.waiting() > 0 || output_.PendingLongMessages() > 0) {
        if (Clock::now() > deadline)
            throw std::runtime_error("The port did not finish sending within " +
                                     std::to_string(limit.count() / 1000) + " s");
        platform::PumpMessages(5);
    }
    if (lateFailure_)
        std::rethrow_exception(std::exchange(lateFailure_, nullptr));
}

void PacedSender::transmit(const CablePacer::Bytes& message) {
    if (message.front() == 0xF0)
        output_.SendLongMessage(message.data(), static_cast<std::uint16_t>(message.size()));
    else
        output_.SendShortMessage(message[0], message.size() > 1 ? message[1] : 0,
                                 message.size() > 2 ? message[2] : 0);
    sent_();
}

void PacedSender::schedule() {
    {
        std::lock_guard lock(mutex_);
        due_ = pacer_.nextDue();
    }
    wake_.notify_one();
}

void PacedSender::sendDue() {
    try {
        pacer_.sendDue();
    } catch (...) {
        if (failed_)
            failed_(std::current_exception());
        else if (!lateFailure_)
            lateFailure_ = std::current_exception();
    }
    schedule();
}

void PacedSender::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!due_) {
            wake_.wait(lock);
            continue;
        }
        const auto due = *due_;
        // A new time, or the end, wakes it early.
        if (wake_.wait_until(lock, due, [&] { return stopping_ || due_ != due; }))
            continue;
        // A full mailbox: the owner is busy; the time is asked again a moment later.
        if (PostMessageA(window_.handle(), kDue, 0, 0))
            due_.reset();
        else
            due_ = Clock::now() + std::chrono::milliseconds(1);
    }
}
