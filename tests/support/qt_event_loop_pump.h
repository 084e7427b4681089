// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the window wait as the program does: in Qt's event loop.
#pragma once

#include "pump.h"

#include <QCoreApplication>
#include <QTest>

#include <functional>

// While it lives, Pump, PumpUntil and Settle run Qt's event loop, which dispatches the posted
// messages through the window's guarded pump.
class QtEventLoopPump {
  public:
    QtEventLoopPump()
        : previous_(SetPump([](int waitMs) {
              if (waitMs > 0)
                  QTest::qWait(waitMs);
              else
                  QCoreApplication::processEvents();
          })) {}
    ~QtEventLoopPump() { SetPump(std::move(previous_)); }
    QtEventLoopPump(const QtEventLoopPump&) = delete;
    QtEventLoopPump& operator=(const QtEventLoopPump&) = delete;

  private:
    std::function<void(int)> previous_;
};
