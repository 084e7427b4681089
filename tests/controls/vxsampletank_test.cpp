// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Vxsampletank.h"
#include "controls/Int32.h"

#include <gtest/gtest.h>
#include <QTest>

#include <cstdint>
#include <memory>
#include <set>

namespace {

class Tank : public ::testing::Test {
  protected:
    void SetUp() override {
        tank_ = std::make_unique<TvxSampleTank>();
        tank_->OnChange = [this](QObject*) { ++changes_; };
        tank_->OnLocatorChange = [this](QObject*) { ++locatorChanges_; };
        tank_->OnSelectorChange = [this](QObject*) { ++selectorChanges_; };
        tank_->RenderFrame();
    }

    QRgb pixel(int x, int y) const { return tank_->FrameImage().pixel(x, y) & 0xFFFFFF; }
    static QRgb rgb(TColor color) { return ToRgb(color) & 0xFFFFFF; }

    std::unique_ptr<TvxSampleTank> tank_;
    int changes_ = 0;
    int locatorChanges_ = 0;
    int selectorChanges_ = 0;
};

TEST_F(Tank, ANewDisplayPlacesItsSamplesOnTheBottomRow) {
    EXPECT_EQ(tank_->size(), QSize(100, 80));
    EXPECT_EQ(tank_->Max(), 256);
    EXPECT_EQ(tank_->FrameImage().size(), QSize(100, 80));
    EXPECT_EQ(tank_->SamplePoints()[0], QPoint(2, 79));
    EXPECT_EQ(tank_->SamplePoints()[255], QPoint(99, 79));
    EXPECT_TRUE(tank_->GradientValid());
    EXPECT_TRUE(tank_->TabStop());
    EXPECT_EQ(tank_->HitMode(), -1);
    EXPECT_EQ(tank_->Samples(), QByteArray(256, '\0'));
}

TEST_F(Tank, TheLocatorIsGrabbedWithinFiveSamples) {
    EXPECT_TRUE(tank_->HitLocator(0));
    EXPECT_TRUE(tank_->HitLocator(1));
    EXPECT_FALSE(tank_->HitLocator(2));
    tank_->ButtonPressed(mbLeft, ssLeft, 1, 40);
    EXPECT_EQ(tank_->HitMode(), 0);
    tank_->ButtonReleased(mbLeft, 0, 1, 40);
    tank_->ButtonPressed(mbLeft, ssLeft, 2, 40);
    EXPECT_EQ(tank_->HitMode(), -1);
    EXPECT_EQ(tank_->SelectionPos(), 0);
    EXPECT_TRUE(tank_->Tracking());
}

TEST_F(Tank, ASelectionStartingLeftOfTheFirstSampleStartsAtZero) {
    tank_->setLocatorPos(100);
    tank_->setSelectionPos(40);
    tank_->ButtonPressed(mbLeft, ssLeft, 0, 40);
    EXPECT_EQ(tank_->HitMode(), -1);
    EXPECT_EQ(tank_->SelectionPos(), 0);
    EXPECT_EQ(selectorChanges_, 0);
}

TEST_F(Tank, ARightDragSetsSamplesToThePointersHeightAndWraps) {
    tank_->ButtonPressed(mbRight, ssRight, 2, 40);
    tank_->PointerMoved(ssRight, 2, 40);
    EXPECT_EQ(static_cast<std::uint8_t>(tank_->Samples()[0]), 128);
    EXPECT_EQ(changes_, 1);
    EXPECT_EQ(tank_->HitMode(), 0);
    tank_->ButtonReleased(mbRight, 0, 2, 40);  // now at its height: adds 0, still reports
    EXPECT_EQ(static_cast<std::uint8_t>(tank_->Samples()[0]), 128);
    EXPECT_EQ(changes_, 2);

    tank_->setSamples(QByteArray());
    tank_->ButtonPressed(mbRight, ssRight, 2, 0);
    tank_->ButtonReleased(mbRight, 0, 2, 0);
    EXPECT_EQ(static_cast<std::uint8_t>(tank_->Samples()[0]), 3);  // 259 wraps
    EXPECT_FALSE(tank_->Tracking());
}

TEST_F(Tank, WithoutAlwayDetectOnlyTheReleaseReports) {
    tank_->setAlwayDetect(false);
    tank_->ButtonPressed(mbRight, ssRight, 10, 40);
    tank_->PointerMoved(ssRight, 10, 40);
    tank_->PointerMoved(ssRight, 11, 30);
    EXPECT_EQ(changes_, 0);
    tank_->ButtonReleased(mbRight, 0, 11, 30);
    EXPECT_EQ(changes_, 1);
}

TEST_F(Tank, SpectrumHarmChoosesWhichSamplesMayBeEdited) {
    tank_->setMax(8);
    tank_->setSpectrumHarm(1);
    // The edit index is (x - 2) × 10 ÷ 98: x 42 is sample 4, x 52 sample 5.
    tank_->ButtonPressed(mbRight, ssRight, 42, 40);
    tank_->PointerMoved(ssRight, 42, 40);
    EXPECT_EQ(tank_->HitMode(), 4);
    EXPECT_EQ(tank_->Samples()[4], '\0');
    EXPECT_EQ(changes_, 0);
    tank_->PointerMoved(ssRight, 52, 40);
    EXPECT_EQ(tank_->HitMode(), 5);
    EXPECT_NE(tank_->Samples()[5], '\0');
    EXPECT_EQ(changes_, 1);
    tank_->setSpectrumHarm(2);
    tank_->PointerMoved(ssRight, 52, 10);
    tank_->PointerMoved(ssRight, 42, 40);
    EXPECT_NE(tank_->Samples()[4], '\0');
    EXPECT_EQ(changes_, 2);
    tank_->setSpectrumHarm(0);
    tank_->PointerMoved(ssRight, 52, 10);
    EXPECT_EQ(changes_, 2);
}

TEST_F(Tank, OutOfRangeBandCountsAreIgnoredAndZeroGivesOneBandPerPixel) {
    tank_->setGradientNbOfColors(1);
    EXPECT_EQ(tank_->GradientNbOfColors(), 64);
    tank_->setGradientNbOfColors(300);
    EXPECT_EQ(tank_->GradientNbOfColors(), 64);
    tank_->setColor(0xFFFFFF);
    tank_->setGradientType(TvxSampleTank::grxTopToBottom);
    tank_->setGradientNbOfColors(0);
    tank_->setGradientEnabled(true);
    EXPECT_EQ(tank_->GradientNbOfColors(), 0);
    std::set<QRgb> rows;
    for (int y = 0; y < 80; ++y)
        rows.insert(tank_->GradientImage().pixel(0, y));
    EXPECT_GT(rows.size(), 60u);  // 80 bands of 80 rows, a few of equal colour
}

TEST_F(Tank, TheVerticalCentreToBorderGradient) {
    tank_->setColor(0x000000);
    tank_->setGradientColor(0x800000);
    tank_->setGradientEnabled(true);
    const QImage& gradient = tank_->GradientImage();
    EXPECT_EQ(gradient.pixel(50, 0) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(gradient.pixel(50, 40) & 0xFFFFFF, qRgb(0, 0, 128) & 0xFFFFFFu);
    // 128 + MulDiv(31, -128, 32) = 4.
    EXPECT_EQ(int32::MulDiv(31, -128, 32), -124);
    EXPECT_EQ(gradient.pixel(50, 79) & 0xFFFFFF, qRgb(0, 0, 4) & 0xFFFFFFu);
    // Bands run across the whole width.
    EXPECT_EQ(gradient.pixel(0, 79), gradient.pixel(99, 79));
}

TEST_F(Tank, MulDivRoundsHalvesAwayFromZero) {
    EXPECT_EQ(int32::MulDiv(1, 1, 2), 1);
    EXPECT_EQ(int32::MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(int32::MulDiv(1, 1, 3), 0);
    EXPECT_EQ(int32::MulDiv(5, 7, -2), -18);
    EXPECT_EQ(int32::MulDiv(1, 1, 0), -1);
    EXPECT_EQ(int32::MulDiv(0x7FFFFFFF, 4, 2), -1);
    EXPECT_EQ(int32::MulDiv(0x40000000, 4, 8), 0x20000000);
}

TEST_F(Tank, AnInvertedSelectionIsTheSameEveryTimeItIsDrawn) {
    tank_->setLocatorEnabled(false);
    tank_->setSelectionPos(100);
    const QImage plain = tank_->FrameImage();
    tank_->setSelectionLen(10);
    const QImage first = tank_->FrameImage();
    tank_->RenderFrame();
    EXPECT_EQ(tank_->FrameImage(), first);
    // From 100 × 99 ÷ 258 + 2 = 40 to 110 × 99 ÷ 258 + 2 = 44, the whole height but the last row.
    EXPECT_EQ(first.pixel(40, 10) & 0xFFFFFF, ~plain.pixel(40, 10) & 0xFFFFFF);
    EXPECT_EQ(first.pixel(43, 78) & 0xFFFFFF, ~plain.pixel(43, 78) & 0xFFFFFF);
    EXPECT_EQ(first.pixel(44, 10), plain.pixel(44, 10));
    EXPECT_EQ(first.pixel(39, 10), plain.pixel(39, 10));
    EXPECT_EQ(first.pixel(40, 79), plain.pixel(40, 79));

    tank_->setSelectionStyle(1);
    EXPECT_EQ(tank_->FrameImage().pixel(40, 10) & 0xFFFFFF,
              (plain.pixel(40, 10) ^ rgb(0xFF0000)) & 0xFFFFFF);
}

TEST_F(Tank, DragsPastTheRightEdgeStopAtTheLastSample) {
    tank_->ButtonPressed(mbLeft, ssLeft, 1, 40);  // the locator
    tank_->PointerMoved(ssLeft, 500, 40);
    EXPECT_EQ(tank_->LocatorPos(), 255);
    tank_->ButtonReleased(mbLeft, 0, 500, 40);
    EXPECT_EQ(tank_->LocatorPos(), 255);
    EXPECT_EQ(locatorChanges_, 2);

    tank_->ButtonPressed(mbLeft, ssLeft, 2, 40);  // a selection from 0
    tank_->PointerMoved(ssLeft, 500, 40);
    EXPECT_EQ(tank_->SelectionPos(), 0);
    EXPECT_EQ(tank_->SelectionLen(), 255);
    EXPECT_EQ(selectorChanges_, 1);
    tank_->PointerMoved(ssLeft, -50, 40);
    EXPECT_EQ(tank_->SelectionLen(), 0);
}

TEST_F(Tank, DottedAxesShowTheControlColourInTheirGapsOverAGradient) {
    tank_->setColor(0x00FF00);
    tank_->setGradientColor(0x0000FF);
    tank_->setGradientEnabled(true);
    tank_->setLocatorEnabled(false);
    tank_->setMarkerSize(0);
    // The horizontal axis at row 39: axes colour and control colour alternate, no gradient.
    std::set<QRgb> seen;
    for (int x = 0; x < 99; ++x)
        seen.insert(pixel(x, 39));
    EXPECT_EQ(seen, (std::set<QRgb>{rgb(0x000080), rgb(0x00FF00)}));
    // The quarter lines are dotted too; the middle one is left to the axis.
    seen.clear();
    for (int x = 0; x < 99; ++x)
        seen.insert(pixel(x, 19));
    EXPECT_EQ(seen, (std::set<QRgb>{rgb(0x800080), rgb(0x00FF00)}));
    // The curve along the bottom row is unbroken.
    for (int x = 2; x < 99; ++x)
        ASSERT_EQ(pixel(x, 79), rgb(0x808000)) << x;
}

TEST_F(Tank, SpectrumBarsRiseFromTheBottomOrTheMiddle) {
    tank_->setMax(4);
    tank_->setMarkerSize(0);
    tank_->setLocatorEnabled(false);
    tank_->setAxesEnabled(false);
    tank_->setAxes2Enabled(false);
    QByteArray samples(256, '\0');
    samples[1] = static_cast<char>(200);
    tank_->setSamples(samples);
    tank_->setSpectrumMode(true);
    const QPoint top = tank_->SamplePoints()[1];
    EXPECT_EQ(top, QPoint(1 * 99 / 6 + 99 / 4 + 2, 79 - 200 * 79 / 256));
    EXPECT_EQ(pixel(top.x(), top.y()), rgb(0x808000));
    EXPECT_EQ(pixel(top.x(), 78), rgb(0x808000));
    EXPECT_EQ(pixel(top.x(), 79), rgb(0));  // the end point is left out
    tank_->setSpectrumCenter(true);
    EXPECT_EQ(pixel(top.x(), 78), rgb(0));
    EXPECT_EQ(pixel(top.x(), 30), rgb(0x808000));
    EXPECT_EQ(pixel(top.x(), 39), rgb(0));
}

TEST_F(Tank, TheControlColourAloneDoesNotRebuildTheGradient) {
    tank_->setGradientEnabled(true);
    const QImage before = tank_->GradientImage();
    tank_->setColor(0xFFFFFF);
    EXPECT_TRUE(tank_->GradientValid());
    EXPECT_EQ(tank_->GradientImage(), before);
    tank_->setGradientType(TvxSampleTank::grxLeftToRight);
    EXPECT_NE(tank_->GradientImage(), before);
}

TEST_F(Tank, AReleaseWithoutAPressMovesTheLocatorOrTheSelection) {
    tank_->ButtonReleased(mbLeft, 0, 50, 40);
    EXPECT_EQ(selectorChanges_, 1);
    EXPECT_EQ(locatorChanges_, 0);
    tank_->ButtonPressed(mbRight, ssRight, 30, 40);
    tank_->ButtonReleased(mbRight, 0, 30, 40);  // the edit leaves the sample's index in HitMode
    ASSERT_GE(tank_->HitMode(), 0);
    tank_->ButtonReleased(mbLeft, 0, 50, 40);
    EXPECT_EQ(locatorChanges_, 1);
    EXPECT_EQ(tank_->LocatorPos(), 48 * 258 / 98);
}

TEST_F(Tank, LimitsTheOwnerBreaksAreMadeSafe) {
    tank_->setMax(0);
    tank_->setMax(300);
    EXPECT_EQ(tank_->Max(), 256);
    tank_->setLocatorPos(500);
    tank_->setLocatorPos(-3);
    tank_->setSelectionStyle(7);
    tank_->setSelectionLen(10);
    EXPECT_EQ(tank_->FrameImage().size(), QSize(100, 80));
    tank_->resize(2, 2);
    tank_->RenderFrame();
    tank_->ButtonPressed(mbLeft, ssLeft, 1, 1);
    tank_->PointerMoved(ssLeft, 1, 1);
    tank_->ButtonReleased(mbLeft, 0, 1, 1);
    tank_->ButtonPressed(mbRight, ssRight, 0, 0);
    tank_->ButtonReleased(mbRight, 0, 0, 0);
    EXPECT_EQ(changes_ + locatorChanges_ + selectorChanges_, 0);
}

TEST_F(Tank, ALocatorOfAnyLengthIsDrawnAtOnceWithItsPixelsInside) {
    const int x = tank_->SamplePoints()[0].x();
    tank_->setLocatorColor(0x123456);  // a colour nothing else has
    for (const int size : {-1'000'000'000, 1'000'000'000, INT32_MIN, INT32_MAX}) {
        tank_->setLocatorSize(size);
        // From (x, size) to (x, 79 - size) in wrapping arithmetic, the end row left out.
        const std::int64_t from = size;
        const std::int64_t to = int32::sub(79, size);
        for (int y = 0; y < 80; ++y) {
            const bool inside = from < to ? from <= y && y < to : to < y && y <= from;
            EXPECT_EQ(pixel(x, y) == rgb(0x123456), inside) << size << " at row " << y;
        }
    }
}

TEST_F(Tank, AFrameLargerThanItsGradientHasTheControlColourAroundIt) {
    tank_->setGradientEnabled(true);
    const QImage gradient = tank_->GradientImage();
    tank_->setColor(0x00FF00);
    tank_->resize(200, 120);
    tank_->RenderFrame();
    ASSERT_EQ(tank_->FrameImage().size(), QSize(200, 120));
    // The old gradient is copied as it is until a gradient property changes.
    EXPECT_EQ(tank_->GradientImage().size(), QSize(100, 80));
    EXPECT_EQ(pixel(60, 10), gradient.pixel(60, 10) & 0xFFFFFF);
    for (const QPoint at : {QPoint(150, 10), QPoint(10, 100), QPoint(199, 0), QPoint(120, 85)})
        EXPECT_EQ(pixel(at.x(), at.y()), rgb(0x00FF00)) << at.x() << "," << at.y();
}

TEST_F(Tank, ExtremeSizesAndPositionsWrapInsteadOfOverflowing) {
    for (const int value : {INT32_MIN, INT32_MAX}) {
        tank_->setLocatorPos(0);
        tank_->setMarkerSize(value);
        tank_->setLocatorSize(value);
        tank_->RenderFrame();
        tank_->setLocatorPos(value);
        EXPECT_FALSE(tank_->HitLocator(50)) << value;
    }
}

TEST_F(Tank, RealMouseEventsDragTheLocator) {
    tank_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tank_.get()));
    QTest::mousePress(tank_.get(), Qt::LeftButton, {}, QPoint(1, 40));
    EXPECT_TRUE(tank_->hasFocus());
    QTest::mouseMove(tank_.get(), QPoint(50, 40));
    QTest::mouseRelease(tank_.get(), Qt::LeftButton, {}, QPoint(50, 40));
    // A top-level window may be given more than 100 pixels (Windows has a minimum width).
    EXPECT_EQ(tank_->LocatorPos(), 48 * 258 / (tank_->width() - 2));
    EXPECT_EQ(locatorChanges_, 2);
    const int x = tank_->SamplePoints()[static_cast<std::size_t>(tank_->LocatorPos())].x();
    EXPECT_EQ(tank_->grab().toImage().pixel(x, 20) & 0xFFFFFF, rgb(0x800080));
}

}  // namespace
