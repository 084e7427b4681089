// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Vxpotlab.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace {

// What a pot is made with: Min, Max, CursorRange and State.
struct Limits {
    int min, max, range, state;
};

class Pot : public ::testing::Test {
  protected:
    void SetUp() override {
        host_.resize(400, 400);
        host_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host_));
    }

    // A shown pot inside the host window, as the main window places them.
    Tvxpotlab& make(const Limits& limits) {
        pot_ = std::make_unique<Tvxpotlab>(&host_);
        pot_->setAutoSize(false);
        pot_->setGeometry(100, 150, 32, 13);
        pot_->setMin(limits.min);
        pot_->setMax(limits.max);
        pot_->setCursorRange(limits.range);
        pot_->setState(limits.state);
        pot_->show();
        changes_.clear();
        pot_->OnChange = [this](QObject* sender) {
            EXPECT_EQ(sender, pot_.get());
            changes_.push_back(pot_->State());
        };
        return *pot_;
    }

    QString caption() const { return pot_->text(); }

    QWidget host_;
    std::unique_ptr<Tvxpotlab> pot_;
    std::vector<int> changes_;
};

const QPoint kAt{10, 6};

QPoint up(int pixels) {
    return kAt - QPoint(0, pixels);
}

TEST_F(Pot, ANewPotAndItsDeclaredDefaults) {
    Tvxpotlab pot;
    EXPECT_EQ(pot.State(), 0);
    EXPECT_EQ(pot.Min(), 0);
    EXPECT_EQ(pot.Max(), 100);
    EXPECT_EQ(pot.CursorRange(), 15);
    EXPECT_TRUE(pot.AlwayDetect());
    EXPECT_EQ(pot.Mouvement(), posVertical);
    EXPECT_EQ(pot.text(), "0");
    EXPECT_TRUE(pot.AutoSize());
    EXPECT_FALSE(pot.Transparent());
    // Auto-size fits the new pot's 30 x 30 to its caption.
    EXPECT_EQ(pot.size(), pot.sizeHint());
    pot.ResetAlwayDetect();
    EXPECT_FALSE(pot.AlwayDetect());
    pot.setMax(5);
    pot.ResetMax();
    EXPECT_EQ(pot.Max(), 100);
}

// A gesture on a pot made with these limits, with AlwayDetect on: what it reports, in order;
// its State at the end is the last value reported.
struct Step {
    enum Kind { Press, Release, Move, Click, DoubleClick } kind;
    Qt::MouseButton button = Qt::NoButton;
    QPoint at = kAt;
    Qt::KeyboardModifiers modifiers = {};
};
struct Gesture {
    const char* name;
    Limits limits;
    std::vector<Step> steps;
    std::vector<int> changes;
    Tvxpotlab::tOrientation mouvement = Tvxpotlab::posVertical;
};

Step press(Qt::MouseButton button) {
    return {Step::Press, button};
}
Step release(Qt::MouseButton button, QPoint at = kAt) {
    return {Step::Release, button, at};
}
Step move(QPoint at) {
    return {Step::Move, Qt::NoButton, at};
}
Step click(Qt::MouseButton button, Qt::KeyboardModifiers modifiers = {}) {
    return {Step::Click, button, kAt, modifiers};
}

const Qt::MouseButton L = Qt::LeftButton;
const Qt::MouseButton R = Qt::RightButton;
const Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
const QPoint kLeft20 = kAt - QPoint(20, 0);
const Limits kChannel{1, 16, 32, 8};
const Limits kNote{0, 127, 150, 12};

const Gesture kGestures[] = {
    Gesture("TheChannelPotLosesOneOnAClick", {1, 16, 32, 5}, {click(L)}, {4}),
    Gesture("AMoveBackToThePressPointLosesOne", {1, 16, 32, 5},
            {press(L), move(up(5)), move(kAt), release(L)}, {7, 4, 4}),
    // Far outside the pot the drag goes on, up to Max and down to Min.
    Gesture("TheNotePotFollowsThePointerAndStopsAtTheLimits", kNote,
            {press(L), move(kAt), move(up(1)), move(up(2)), move(up(150)),
             move(kAt + QPoint(0, 500)), release(L, up(150))},
            {11, 12, 13, 127, 0, 127}),
    Gesture("ClicksStepByOneAndShiftClicksByATenthOfMax", {0, 127, 150, 50},
            {click(R), click(L, kShift), click(R, kShift)}, {51, 39, 51}),
    Gesture("ATenthOfASmallMaxIsNothing", {0, 9, 15, 5}, {click(L, kShift), click(R, kShift)},
            {5, 5}),
    Gesture("AClickAtMaxKeepsItAndStillReports", {1, 16, 32, 16}, {click(R)}, {16}),
    Gesture("AClickAtMinKeepsItAndStillReports", {1, 16, 32, 1}, {click(L)}, {1}),
    Gesture("HoldLeftAndClickRightThenReleaseLeftGivesMin", kChannel,
            {press(L), press(R), release(R), release(L)}, {9, 1}),
    Gesture("HoldRightAndClickLeftThenReleaseRightGivesMax", kChannel,
            {press(R), press(L), release(L), release(R)}, {7, 16}),
    // What a window system delivers: press, release, double-click press, release.
    Gesture("ALeftDoubleClickLowersTwice", kNote, {click(L), {Step::DoubleClick, L}, release(L)},
            {11, 10}),
    // After the middle button, moves with the left button held change nothing, and the
    // release is a click.
    Gesture("TheMiddleButtonOnlyEndsADrag", kNote,
            {press(L), click(Qt::MiddleButton), move(up(40)), release(L, up(40))}, {11}),
    Gesture("AZeroSpanDisablesDraggingButNotClicks", {5, 5, 32, 5},
            {press(L), move(up(30)), release(L, up(30))}, {5}),
    Gesture("AZeroTravelDisablesDraggingButNotClicks", {0, 127, 0, 12},
            {press(L), move(up(30)), release(L, up(30))}, {11}),
    // Vertical travel means nothing then.
    Gesture("AHorizontalPotGrowsToTheLeft", kNote,
            {press(L), move(kAt + QPoint(20, 0)), move(kLeft20), move(kLeft20 - QPoint(0, 100)),
             release(L, kLeft20)},
            {0, 28, 28, 28}, Tvxpotlab::posHorizontal),
};

class PotGesture : public Pot, public ::testing::WithParamInterface<Gesture> {};

TEST_P(PotGesture, ReportsEachValueAndEndsOnTheLast) {
    const Gesture& gesture = GetParam();
    make(gesture.limits);
    pot_->setMouvement(gesture.mouvement);
    for (const Step& step : gesture.steps) {
        switch (step.kind) {
            case Step::Press:
                QTest::mousePress(pot_.get(), step.button, step.modifiers, step.at);
                break;
            case Step::Release:
                QTest::mouseRelease(pot_.get(), step.button, step.modifiers, step.at);
                break;
            case Step::Move:
                QTest::mouseMove(pot_.get(), step.at);
                break;
            case Step::Click:
                QTest::mouseClick(pot_.get(), step.button, step.modifiers, step.at);
                break;
            case Step::DoubleClick:
                QTest::mouseDClick(pot_.get(), step.button, step.modifiers, step.at);
                break;
        }
    }
    EXPECT_EQ(changes_, gesture.changes);
    EXPECT_EQ(pot_->State(), gesture.changes.back());
    EXPECT_EQ(caption(), QString::number(gesture.changes.back()));
}

INSTANTIATE_TEST_SUITE_P(Pot, PotGesture, ::testing::ValuesIn(kGestures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pot, WithoutAlwayDetectADragReportsOnlyAtTheRelease) {
    make(kNote);
    pot_->setAlwayDetect(false);
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseMove(pot_.get(), up(10));
    QTest::mouseMove(pot_.get(), up(20));
    EXPECT_TRUE(changes_.empty());
    EXPECT_EQ(caption(), QString::number(pot_->State()));
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, up(20));
    EXPECT_EQ(changes_, std::vector<int>{pot_->State()});
}

TEST_F(Pot, TheRightPathAppliesOnlyTheUpperLimit) {
    make({0, 20, 15, 5});
    pot_->setMin(10);  // leaves State below the new Min
    QTest::mouseClick(pot_.get(), Qt::RightButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 6);
    QTest::mouseClick(pot_.get(), Qt::LeftButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 10);
}

TEST_F(Pot, SettingStateFromCodeNeverReports) {
    make({0, 127, 150, 60});
    pot_->setText("C 3");
    pot_->setState(60);
    EXPECT_EQ(caption(), "C 3");
    pot_->setState(200);
    EXPECT_EQ(pot_->State(), 127);
    EXPECT_EQ(caption(), "127");
    pot_->setState(-4);
    EXPECT_EQ(pot_->State(), 0);
    pot_->setMax(50);
    EXPECT_EQ(pot_->State(), 0);
    pot_->setState(100);
    pot_->setMax(20);
    EXPECT_EQ(pot_->State(), 50);
    EXPECT_EQ(caption(), "50");
    EXPECT_TRUE(changes_.empty());
}

TEST_F(Pot, TheStateSetterTestsBothLimitsOnTheValueGiven) {
    // Min above Max: below Min gives Min, even though Min is above Max.
    make({10, 5, 15, 7});
    const std::pair<int, int> cases[] = {{3, 10}, {7, 5}, {20, 5}};
    for (const auto& [given, state] : cases) {
        pot_->setState(given);
        EXPECT_EQ(pot_->State(), state) << given;
    }
}

TEST_F(Pot, ExtremeValuesWrapInsteadOfOverflowing) {
    make({-2147483647 - 1, 2147483647, 1, 2147483647});
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseMove(pot_.get(), up(3));
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, up(3));
    EXPECT_EQ(changes_.size(), 2u);
}

}  // namespace

// A wheel turn over the pot, in eighths of a degree (a notch is 120).
void Wheel(QWidget* widget, int delta) {
    QWheelEvent wheel(QPointF(kAt), QPointF(widget->mapToGlobal(kAt)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

TEST_F(Pot, KeysAndTheWheelDoNothingUntilKeyboardControlIsOn) {
    make({0, 127, 150, 60});
    EXPECT_FALSE(pot_->KeyboardControl());
    EXPECT_EQ(pot_->focusPolicy(), Qt::NoFocus);
    QTest::keyClick(pot_.get(), Qt::Key_Up);
    Wheel(pot_.get(), 120);
    EXPECT_EQ(pot_->State(), 60);
    EXPECT_TRUE(changes_.empty());
}

TEST_F(Pot, KeysAndTheWheelStepReportingEachChangeWithinTheLimits) {
    struct Step {
        std::function<void(Tvxpotlab*)> input;
        int from, state;
    };
    const auto key = [](Qt::Key k) { return [k](Tvxpotlab* pot) { QTest::keyClick(pot, k); }; };
    const auto wheel = [](int delta) { return [delta](Tvxpotlab* pot) { Wheel(pot, delta); }; };
    const Step steps[] = {
        {key(Qt::Key_Up), 60, 61},
        {key(Qt::Key_Right), 60, 61},
        {key(Qt::Key_Down), 60, 59},
        {key(Qt::Key_Left), 60, 59},
        {key(Qt::Key_PageUp), 60, 70},
        {key(Qt::Key_PageDown), 60, 50},
        {key(Qt::Key_PageUp), 120, 127},
        {key(Qt::Key_PageDown), 4, 0},
        {key(Qt::Key_Home), 60, 0},
        {key(Qt::Key_End), 60, 127},
        {wheel(120), 60, 61},
        {wheel(-240), 60, 58},
    };
    for (const auto& step : steps) {
        make({0, 127, 150, step.from});
        pot_->setKeyboardControl(true);
        step.input(pot_.get());
        EXPECT_EQ(pot_->State(), step.state) << step.from;
        EXPECT_EQ(caption(), QString::number(step.state));
        EXPECT_EQ(changes_, std::vector<int>{step.state}) << step.from;
    }
    // At a limit nothing changes and nothing is reported; half notches add up to a step.
    make({0, 127, 150, 127});
    pot_->setKeyboardControl(true);
    QTest::keyClick(pot_.get(), Qt::Key_End);
    QTest::keyClick(pot_.get(), Qt::Key_Up);
    Wheel(pot_.get(), -60);
    EXPECT_TRUE(changes_.empty());
    Wheel(pot_.get(), -60);
    EXPECT_EQ(changes_, std::vector<int>{126});
    EXPECT_EQ(pot_->focusPolicy(), Qt::StrongFocus);
}

TEST_F(Pot, AScreenReaderFindsASliderNamedByItsHintWithTheShownValue) {
    make({0, 127, 150, 52});
    pot_->setToolTip("Lowest MIDI Note");
    pot_->setText("E 3");
    QAccessibleInterface* pot = QAccessible::queryAccessibleInterface(pot_.get());
    ASSERT_NE(pot, nullptr);
    EXPECT_EQ(pot->role(), QAccessible::Slider);
    EXPECT_EQ(pot->text(QAccessible::Name), "Lowest MIDI Note");
    EXPECT_EQ(pot->text(QAccessible::Value), "E 3");
    ASSERT_NE(pot->valueInterface(), nullptr);
    EXPECT_EQ(pot->valueInterface()->currentValue().toInt(), 52);
    EXPECT_EQ(pot->valueInterface()->maximumValue().toInt(), 127);
    pot_->setAccessibleName("NoteRef");
    EXPECT_EQ(pot->text(QAccessible::Name), "NoteRef");
}
