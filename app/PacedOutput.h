// SPDX-License-Identifier: GPL-3.0-or-later
// The converter's MIDI output as the window uses it: every message goes through the cable
// pacer, and a timer sends what waits once the cable has room for it.
#pragma once

#include "CablePacer.h"
#include "midi/MidiOut.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <span>

class PacedOutput : public QObject {
  public:
    explicit PacedOutput(TMidiOutput& output, QObject* parent = nullptr);
    // The output may outlive it, and finish messages after.
    ~PacedOutput() override;

    // Opens the output (as TMidiOutput::Open) and paces it unless the port is a synthesizer
    // inside the host, which has no cable.
    bool open();
    // What waits leaves first, then the output closes; throws the first failure of either.
    void close();
    // Throws what the output throws for a message that leaves now; a waiting message that fails
    // later is shown as any failed send.
    void send(std::span<const std::uint8_t> message);
    // Called after each message the port has taken, now or when its time came.
    void setOnSent(std::function<void()> sent) { sent_ = std::move(sent); }

  private:
    void schedule();

    TMidiOutput& output_;
    CablePacer pacer_;
    QTimer timer_;
    std::function<void()> sent_ = [] {};
};
