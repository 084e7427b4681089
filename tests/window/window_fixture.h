// A real main window on the offscreen platform, talking to the simulated converter.
#pragma once

#include "app/Unit1.h"
#include "message_box_catcher.h"
#include "platform/virtual_midi.h"
#include "temporary_config.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

// A parameter message as the converter receives it.
inline virtual_midi::Bytes parameter(int channel, int code, int value) {
    return {0xF0,
            0x70,
            static_cast<std::uint8_t>(channel),
            static_cast<std::uint8_t>(code),
            static_cast<std::uint8_t>(value & 0x0F),
            static_cast<std::uint8_t>(value >> 4),
            0xF7};
}

class Window : public ::testing::Test {
  protected:
    void SetUp() override {
        QApplication::setApplicationName(QStringLiteral("RDN417 Config"));
        virtual_midi::Reset();
    }
    void TearDown() override {
        form_.reset();
        virtual_midi::ReleaseCompletions();
        settle();
        virtual_midi::Reset();
    }

    TForm1& create() {
        form_ = std::make_unique<TForm1>();
        form_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        settle();
        return *form_;
    }

    // Lets every message reach the converter and every completion come back.
    static void settle() {
        for (int i = 0; i < 3; ++i) {
            virtual_midi::Flush();
            QCoreApplication::processEvents();
        }
    }

    // Parameter messages and Control Changes the converter received, oldest first.
    static std::vector<virtual_midi::Bytes> received() {
        settle();
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
