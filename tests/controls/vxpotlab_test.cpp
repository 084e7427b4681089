#include "controls/Vxpotlab.h"

#include <gtest/gtest.h>
#include <QTest>
#include <QWidget>

#include <memory>

namespace {

class Pot : public ::testing::Test {
  protected:
    void SetUp() override {
        host_.resize(400, 400);
        host_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host_));
    }

    // A shown pot inside the host window, as the main window places them.
    Tvxpotlab& make(int min, int max, int range, int state) {
        pot_ = std::make_unique<Tvxpotlab>(&host_);
        pot_->setAutoSize(false);
        pot_->setGeometry(100, 150, 32, 13);
        pot_->setMin(min);
        pot_->setMax(max);
        pot_->setCursorRange(range);
        pot_->setState(state);
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

TEST_F(Pot, TheChannelPotLosesOneOnAClickAndOnAMoveBackToThePressPoint) {
    make(1, 16, 32, 5);
    QTest::mouseClick(pot_.get(), Qt::LeftButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 4);
    EXPECT_EQ(caption(), "4");
    EXPECT_EQ(changes_, std::vector<int>{4});

    pot_->setState(5);
    changes_.clear();
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseMove(pot_.get(), up(5));
    QTest::mouseMove(pot_.get(), kAt);
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 4);
    EXPECT_EQ(changes_, (std::vector<int>{7, 4, 4}));
}

TEST_F(Pot, TheNotePotFollowsThePointerAndStopsAtMax) {
    make(0, 127, 150, 12);
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseMove(pot_.get(), kAt);
    EXPECT_EQ(pot_->State(), 11);
    QTest::mouseMove(pot_.get(), up(1));
    EXPECT_EQ(pot_->State(), 12);
    QTest::mouseMove(pot_.get(), up(2));
    EXPECT_EQ(pot_->State(), 13);
    EXPECT_EQ(caption(), "13");
    // Far outside the pot: the drag goes on.
    QTest::mouseMove(pot_.get(), up(150));
    EXPECT_EQ(pot_->State(), 127);
    QTest::mouseMove(pot_.get(), kAt + QPoint(0, 500));
    EXPECT_EQ(pot_->State(), 0);
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, up(150));
    EXPECT_EQ(pot_->State(), 127);
    EXPECT_EQ(changes_, (std::vector<int>{11, 12, 13, 127, 0, 127}));
}

TEST_F(Pot, WithoutAlwayDetectADragReportsOnlyAtTheRelease) {
    make(0, 127, 150, 12);
    pot_->setAlwayDetect(false);
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseMove(pot_.get(), up(10));
    QTest::mouseMove(pot_.get(), up(20));
    EXPECT_TRUE(changes_.empty());
    EXPECT_EQ(caption(), QString::number(pot_->State()));
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, up(20));
    EXPECT_EQ(changes_, std::vector<int>{pot_->State()});
}

TEST_F(Pot, ClicksStepByOneAndShiftClicksByATenthOfMax) {
    make(0, 127, 150, 50);
    QTest::mouseClick(pot_.get(), Qt::RightButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 51);
    QTest::mouseClick(pot_.get(), Qt::LeftButton, Qt::ShiftModifier, kAt);
    EXPECT_EQ(pot_->State(), 39);
    QTest::mouseClick(pot_.get(), Qt::RightButton, Qt::ShiftModifier, kAt);
    EXPECT_EQ(pot_->State(), 51);
    EXPECT_EQ(changes_, (std::vector<int>{51, 39, 51}));

    make(0, 9, 15, 5);
    QTest::mouseClick(pot_.get(), Qt::LeftButton, Qt::ShiftModifier, kAt);
    QTest::mouseClick(pot_.get(), Qt::RightButton, Qt::ShiftModifier, kAt);
    EXPECT_EQ(changes_, (std::vector<int>{5, 5}));
}

TEST_F(Pot, ClicksAtTheLimitsKeepTheValueAndStillReport) {
    make(1, 16, 32, 16);
    QTest::mouseClick(pot_.get(), Qt::RightButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 16);
    pot_->setState(1);
    QTest::mouseClick(pot_.get(), Qt::LeftButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 1);
    EXPECT_EQ(changes_, (std::vector<int>{16, 1}));
}

TEST_F(Pot, HoldLeftAndClickRightThenReleaseLeftGivesMin) {
    make(1, 16, 32, 8);
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mousePress(pot_.get(), Qt::RightButton, {}, kAt);
    QTest::mouseRelease(pot_.get(), Qt::RightButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 9);
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 1);
    EXPECT_EQ(changes_, (std::vector<int>{9, 1}));
}

TEST_F(Pot, HoldRightAndClickLeftThenReleaseRightGivesMax) {
    make(1, 16, 32, 8);
    QTest::mousePress(pot_.get(), Qt::RightButton, {}, kAt);
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 7);
    QTest::mouseRelease(pot_.get(), Qt::RightButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 16);
    EXPECT_EQ(changes_, (std::vector<int>{7, 16}));
}

TEST_F(Pot, TheRightPathAppliesOnlyTheUpperLimit) {
    make(0, 20, 15, 5);
    pot_->setMin(10);  // leaves State below the new Min
    QTest::mouseClick(pot_.get(), Qt::RightButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 6);
    QTest::mouseClick(pot_.get(), Qt::LeftButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 10);
}

TEST_F(Pot, SettingStateFromCodeNeverReports) {
    make(0, 127, 150, 60);
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
    make(10, 5, 15, 7);
    const std::pair<int, int> cases[] = {{3, 10}, {7, 5}, {20, 5}};
    for (const auto& [given, state] : cases) {
        pot_->setState(given);
        EXPECT_EQ(pot_->State(), state) << given;
    }
}

TEST_F(Pot, AHorizontalPotGrowsToTheLeft) {
    make(0, 127, 150, 12);
    pot_->setMouvement(posHorizontal);
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseMove(pot_.get(), kAt + QPoint(20, 0));
    EXPECT_EQ(pot_->State(), 0);
    QTest::mouseMove(pot_.get(), kAt - QPoint(20, 0));
    EXPECT_EQ(pot_->State(), 28);
    // Vertical travel means nothing now.
    QTest::mouseMove(pot_.get(), kAt - QPoint(20, 100));
    EXPECT_EQ(pot_->State(), 28);
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, kAt - QPoint(20, 0));
    EXPECT_EQ(pot_->State(), 28);
}

TEST_F(Pot, ALeftDoubleClickLowersTwice) {
    make(0, 127, 150, 12);
    // What a window system delivers: press, release, double-click press, release.
    QTest::mouseClick(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseDClick(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, kAt);
    EXPECT_EQ(pot_->State(), 10);
    EXPECT_EQ(changes_, (std::vector<int>{11, 10}));
}

TEST_F(Pot, TheMiddleButtonOnlyEndsADrag) {
    make(0, 127, 150, 12);
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseClick(pot_.get(), Qt::MiddleButton, {}, kAt);
    EXPECT_TRUE(changes_.empty());
    // The drag has ended: moves with the left button held change nothing.
    QTest::mouseMove(pot_.get(), up(40));
    EXPECT_EQ(pot_->State(), 12);
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, up(40));
    EXPECT_EQ(pot_->State(), 11);  // a click, since the drag was over
}

TEST_F(Pot, AZeroSpanOrTravelDisablesDraggingButNotClicks) {
    make(5, 5, 32, 5);
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseMove(pot_.get(), up(30));
    EXPECT_EQ(pot_->State(), 5);
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, up(30));
    EXPECT_EQ(pot_->State(), 5);
    EXPECT_EQ(changes_, std::vector<int>{5});

    make(0, 127, 0, 12);
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseMove(pot_.get(), up(30));
    EXPECT_EQ(pot_->State(), 12);
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, up(30));
    EXPECT_EQ(pot_->State(), 11);
    EXPECT_EQ(changes_, std::vector<int>{11});
}

TEST_F(Pot, ExtremeValuesWrapInsteadOfOverflowing) {
    make(-2147483647 - 1, 2147483647, 1, 2147483647);
    QTest::mousePress(pot_.get(), Qt::LeftButton, {}, kAt);
    QTest::mouseMove(pot_.get(), up(3));
    QTest::mouseRelease(pot_.get(), Qt::LeftButton, {}, up(3));
    EXPECT_EQ(changes_.size(), 2u);
}

}  // namespace
