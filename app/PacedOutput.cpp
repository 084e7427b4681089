// SPDX-License-Identifier: GPL-3.0-or-later
#include "PacedOutput.h"

#include "ExceptionDisplay.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

PacedOutput::PacedOutput(TMidiOutput& output, QObject* parent)
    : QObject(parent), output_(output), pacer_([this](const CablePacer::Bytes& message) {
          if (message.front() == 0xF0)
              output_.SendLongMessage(message.data(), static_cast<std::uint16_t>(message.size()));
          else
              output_.SendShortMessage(message[0], message.size() > 1 ? message[1] : 0,
                                       message.size() > 2 ? message[2] : 0);
          sent_();
      }) {
    // The pacer learns when the port finished each long message (this output's only use of
    // the event), and what may leave then.
    output_.Onmidioutput = [this](TObject*) {
        pacer_.finished(CablePacer::Clock::now(), output_.PendingLongMessages());
        schedule();
    };
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    // The timer wakes up to a millisecond early; the rest is slept, so that a message leaves
    // the moment the cable is free and the last value of a drag is never a tick late.
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (const auto due = pacer_.nextDue())
            std::this_thread::sleep_until(*due);
        Guarded([this] { pacer_.sendDue(); });
        schedule();
    });
}

PacedOutput::~PacedOutput() {
    output_.Onmidioutput = nullptr;
}

bool PacedOutput::open() {
    const bool opened = output_.Open();
    MIDIOUTCAPSA caps{};
    const bool synthesizer = midiOutGetDevCapsA(static_cast<UINT>(output_.DeviceID()), &caps,
                                                sizeof caps) == MMSYSERR_NOERROR &&
                             caps.wTechnology == MOD_SWSYNTH;
    pacer_.setPaced(!synthesizer);
    return opened;
}

void PacedOutput::send(std::span<const std::uint8_t> message) {
    try {
        pacer_.send(CablePacer::Bytes(message.begin(), message.end()));
    } catch (...) {
        schedule();
        throw;
    }
    schedule();
}

void PacedOutput::close() {
    timer_.stop();
    std::exception_ptr unsent;
    try {
        pacer_.flush();
    } catch (...) {
        unsent = std::current_exception();
    }
    output_.Close();
    if (unsent)
        std::rethrow_exception(unsent);
}

void PacedOutput::schedule() {
    const auto due = pacer_.nextDue();
    if (!due) {
        timer_.stop();
        return;
    }
    // Started again each time: what the port finished may have moved the time on.
    const auto wait =
        std::chrono::floor<std::chrono::milliseconds>(*due - CablePacer::Clock::now());
    timer_.start(std::max(wait, std::chrono::milliseconds(0)));
}
