// SPDX-License-Identifier: GPL-3.0-or-later
// A real main window on the offscreen platform, talking to the simulated converter.
#pragma once

#include "app/Unit1.h"
#include "message_box_catcher.h"
#include "parameter_bytes.h"
#include "temporary_config.h"
#include "virtual_midi_test.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QTest>

#include <memory>
#include <vector>

class Window : public VirtualMidiTest {
  protected:
    void SetUp() override {
        QApplication::setApplicationName(QStringLiteral("RDN417 Config"));
        VirtualMidiTest::SetUp();
    }
    void closePorts() override { form_.reset(); }

    TForm1& create() {
        form_ = std::make_unique<TForm1>();
        form_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        Settle();
        return *form_;
    }

    // Parameter messages and Control Changes the converter received, oldest first.
    static std::vector<virtual_midi::Bytes> received() {
        Settle();
        return virtual_midi::Received(0);
    }

    // Drags a pot with the left button: presses at its centre, moves up by each offset in
    // turn, releases at the last one.
    static void drag(QWidget* pot, const std::vector<int>& upBy) {
        const QPoint at = pot->rect().center();
        QTest::mousePress(pot, Qt::LeftButton, {}, at);
        for (int up : upBy)
            QTest::mouseMove(pot, at - QPoint(0, up));
        QTest::mouseRelease(pot, Qt::LeftButton, {}, at - QPoint(0, upBy.back()));
    }

    // Every window reads and writes its settings in a folder of its own.
    TemporaryConfig config_;
    std::unique_ptr<TForm1> form_;
};
