// SPDX-License-Identifier: GPL-3.0-or-later
#include "Vxsampletank.h"

#include "Int32.h"

#include <QPainter>

#include <algorithm>

namespace {

// The raster operation of each selection style.
constexpr TRasterOp kSelectionOps[2] = {ropDstInvert, ropPatInvert};

// The rectangle from (left, top) to (right, bottom), right and bottom edges excluded.
QRect edges(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(int32::sub(right, 1), int32::sub(bottom, 1)));
}

struct Channels {
    int red, green, blue;
};

Channels channelsOf(TColor color) {
    const QRgb rgb = ToRgb(color);
    return {qRed(rgb), qGreen(rgb), qBlue(rgb)};
}

}  // namespace

TvxSampleTank::TvxSampleTank(QWidget* parent) : QWidget(parent) {
    resize(kWidth, kHeight);
    setTabStop(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    BuildGradient(rect());
}

void TvxSampleTank::setMax(int value) {
    if (value < 1 || value > 256)
        return;
    assign(max_, value);
}

void TvxSampleTank::setGradientNbOfColors(int value) {
    if (value != 0 && (value < 2 || value > 256))
        return;
    updateGradient(gradientNbOfColors_, value);
}

QByteArray TvxSampleTank::Samples() const {
    return QByteArray(reinterpret_cast<const char*>(samples_.data()),
                      static_cast<qsizetype>(samples_.size()));
}

void TvxSampleTank::setSamples(const QByteArray& samples) {
    std::fill(samples_.begin(), samples_.end(), 0);
    std::copy_n(samples.constData(), std::min<qsizetype>(samples.size(), 256), samples_.begin());
    RenderFrame();
}

int TvxSampleTank::sampleX(int i) const {
    const int w = width() - 1;
    return int32::add(int32::div(int32::mul(i, w), max_ + 2), w / max_ + 2);
}

int TvxSampleTank::sampleY(int i) const {
    const int h = height() - 1;
    return h - samples_[static_cast<std::size_t>(i)] * h / 256;
}

int TvxSampleTank::editIndex(int x) const {
    return int32::div(int32::mul(x - 2, max_ + 2), width() - 2);
}

int TvxSampleTank::selectionIndex(int x) const {
    const int w2 = width() - 2;
    return int32::div(int32::mul(x - (w2 / max_ + 2), max_ + 2), w2);
}

void TvxSampleTank::BuildGradient(const QRect& area) {
    const bool horizontal = gradientType_ == grxLeftToRight || gradientType_ == grxRightToLeft ||
                            gradientType_ == grxHorizCenterToBorder ||
                            gradientType_ == grxHorizBorderToCenter;
    const bool mirrored = gradientType_ >= grxHorizCenterToBorder;
    // Which end the control colour takes, per the type.
    const bool controlFirst = gradientType_ == grxRightToLeft || gradientType_ == grxBottomToTop ||
                              gradientType_ == grxHorizCenterToBorder ||
                              gradientType_ == grxVertCenterToBorder;
    const Channels a = channelsOf(controlFirst ? color_ : gradientColor_);
    const Channels b = channelsOf(controlFirst ? gradientColor_ : color_);
    const Channels middle{a.red + (b.red - a.red) / 2, a.green + (b.green - a.green) / 2,
                          a.blue + (b.blue - a.blue) / 2};
    // Linear: A to the middle colour, then on to B. Mirrored: A to B, then back to A.
    const Channels firstEnd = mirrored ? b : middle;
    const Channels secondStart = mirrored ? b : middle;
    const Channels secondEnd = mirrored ? a : b;

    int bands = gradientNbOfColors_;
    if (bands == 0)
        bands = std::clamp(horizontal ? width() : height(), 2, 256);

    gradientImage_ = QImage(size(), QImage::Format_RGB32);
    gradientImage_.fill(Qt::black);
    TCanvas canvas(gradientImage_);
    const int extent = horizontal ? area.width() : area.height();
    const int start = horizontal ? area.left() : area.top();
    const int c1 = bands / 2;
    const int c2 = bands - c1;
    const int e1 = extent / 2;
    const int e2 = extent - e1;
    // Band i of a half spans MulDiv(i, span, count) to MulDiv(i + 1, span, count) and stops
    // one step short of the half's end colour.
    auto fillHalf = [&](int from, int count, int span, const Channels& begin, const Channels& end) {
        for (int i = 0; i < count; ++i) {
            const int low = from + int32::MulDiv(i, span, count);
            const int high = from + int32::MulDiv(i + 1, span, count);
            const int red = (begin.red + int32::MulDiv(i, end.red - begin.red, count)) & 0xFF;
            const int green =
                (begin.green + int32::MulDiv(i, end.green - begin.green, count)) & 0xFF;
            const int blue = (begin.blue + int32::MulDiv(i, end.blue - begin.blue, count)) & 0xFF;
            canvas.BrushColor = red | green << 8 | blue << 16;
            canvas.FillRect(horizontal ? edges(low, area.top(), high, area.bottom() + 1)
                                       : edges(area.left(), low, area.right() + 1, high));
        }
    };
    fillHalf(start, c1, e1, a, firstEnd);
    fillHalf(start + e1, c2, e2, secondStart, secondEnd);
    gradientValid_ = true;
}

void TvxSampleTank::composeFrame() {
    const int W = width();
    const int H = height();
    const int w = W - 1;
    const int h = H - 1;
    frameImage_ = QImage(std::max(W, 1), std::max(H, 1), QImage::Format_RGB32);
    TCanvas canvas(frameImage_);
    const QRect area(0, 0, W, H);

    // The control colour first: a gradient built for an older size covers only its part.
    canvas.BrushColor = color_;
    canvas.FillRect(area);
    if (gradientEnabled_) {
        if (!gradientValid_)
            BuildGradient(area);
        canvas.CopyRect(area, gradientImage_);
    }
    // Positions below divide by the size; a control this small shows its background only.
    if (W < 3 || H < 3)
        return;

    canvas.BrushColor = color_;
    canvas.PenStyle = psDot;
    if (axesEnabled_) {
        canvas.PenColor = axesColor_;
        canvas.MoveTo(w / 2, 0);
        canvas.LineTo(w / 2, h);
        canvas.MoveTo(0, h / 2);
        canvas.LineTo(w, h / 2);
    }
    if (axes2Enabled_) {
        canvas.PenColor = axes2Color_;
        for (int k = 1; k <= 3; ++k) {
            if (k == 2 && axesEnabled_)
                continue;
            canvas.MoveTo(0, k * h / 4);
            canvas.LineTo(w, k * h / 4);
        }
    }
    for (int i = 0; i < max_; ++i)
        samplePoints_[static_cast<std::size_t>(i)] = QPoint(sampleX(i), sampleY(i));

    canvas.PenColor = lineColor_;
    canvas.BrushColor = lineColor_;
    if (spectrumMode_) {
        const int base = spectrumCenter_ ? h / 2 : h;
        for (int i = 0; i < max_; ++i) {
            const QPoint& point = samplePoints_[static_cast<std::size_t>(i)];
            canvas.MoveTo(point.x(), point.y());
            canvas.LineTo(point.x(), base);
        }
    } else {
        canvas.Polyline(samplePoints_.data(), max_);
    }
    if (markerSize_ > 0) {
        canvas.BrushColor = markerColor_;
        for (int i = 0; i < max_; ++i) {
            const QPoint& point = samplePoints_[static_cast<std::size_t>(i)];
            canvas.FrameRect(
                edges(int32::sub(point.x(), markerSize_), int32::sub(point.y(), markerSize_),
                      int32::add(point.x(), markerSize_), int32::add(point.y(), markerSize_)));
        }
    }
    // A locator outside the shown samples has no place to stand.
    if (locatorEnabled_ && locatorPos_ >= 0 && locatorPos_ < max_) {
        canvas.PenStyle = psSolid;
        canvas.PenColor = locatorColor_;
        const int x = samplePoints_[static_cast<std::size_t>(locatorPos_)].x();
        canvas.MoveTo(x, locatorSize_);
        canvas.LineTo(x, int32::sub(h, locatorSize_));
    }
    // Only the two known styles have a raster operation.
    if (selectionLen_ > 0 && (selectionStyle_ == 0 || selectionStyle_ == 1)) {
        const int left =
            int32::add(int32::div(int32::mul(selectionPos_, w), max_ + 2), w / max_ + 2);
        const int right = int32::add(
            int32::div(int32::mul(int32::add(selectionPos_, selectionLen_), w), max_ + 2),
            w / max_ + 2);
        canvas.BrushColor = selectionColor_;
        canvas.Combine(edges(left, 0, right, h), kSelectionOps[selectionStyle_]);
    }
}

void TvxSampleTank::RenderFrame() {
    composeFrame();
    frameFresh_ = true;
    if (isVisible())
        repaint();
}

void TvxSampleTank::paintEvent(QPaintEvent*) {
    if (!frameFresh_ || frameImage_.size() != size())
        composeFrame();
    frameFresh_ = false;
    QPainter painter(this);
    painter.drawImage(0, 0, frameImage_);
}

bool TvxSampleTank::HitLocator(int x) const {
    const int t = int32::div(int32::mul(max_, x), width() - 2);
    return int32::sub(locatorPos_, 5) < t && t < int32::add(locatorPos_, 5);
}

void TvxSampleTank::ButtonPressed(TMouseButton button, TShiftState, int x, int) {
    setFocus(Qt::MouseFocusReason);
    if (!mouseUsable())
        return;
    if (button == mbLeft) {
        hitMode_ = HitLocator(x) ? 0 : -1;
        if (hitMode_ < 0)
            selectionPos_ = std::max(selectionIndex(x), 0);
        tracking_ = true;
    } else if (button == mbRight) {
        tracking_ = true;
    }
}

void TvxSampleTank::moveLocatorOrSelection(int x) {
    if (hitMode_ >= 0) {
        locatorPos_ = std::clamp(editIndex(x), 0, max_ - 1);
        OnLocatorChange(this);
    } else {
        selectionLen_ = std::clamp(selectionIndex(x) - selectionPos_, 0, max_ - 1);
        OnSelectorChange(this);
    }
}

bool TvxSampleTank::editSample(int x, int y) {
    const int i = std::clamp(editIndex(x), 0, max_ - 1);
    hitMode_ = i;
    const bool admitted = spectrumHarm_ == 3 || (spectrumHarm_ == 1 && i % 2 == 1) ||
                          (spectrumHarm_ == 2 && i % 2 == 0);
    if (!admitted)
        return false;
    const int step = int32::div(int32::mul(samplePoints_[static_cast<std::size_t>(i)].y() - y, 256),
                                height() - 2);
    auto& sample = samples_[static_cast<std::size_t>(i)];
    sample = static_cast<std::uint8_t>((sample + step) & 0xFF);
    return true;
}

void TvxSampleTank::PointerMoved(TShiftState shift, int x, int y) {
    if (!mouseUsable())
        return;
    if (shift & ssLeft) {
        if (!tracking_)
            return;
        moveLocatorOrSelection(x);
        RenderFrame();
    } else if ((shift & ssRight) && tracking_ && x <= width() - 2) {
        if (editSample(x, y)) {
            RenderFrame();
            if (alwayDetect_)
                OnChange(this);
        }
    }
}

void TvxSampleTank::ButtonReleased(TMouseButton button, TShiftState, int x, int y) {
    if (mouseUsable()) {
        if (button == mbLeft) {
            moveLocatorOrSelection(x);
        } else if (button == mbRight && tracking_ && x <= width() - 2 && editSample(x, y)) {
            RenderFrame();
            OnChange(this);
        }
    }
    tracking_ = false;
}

void TvxSampleTank::mousePressEvent(QMouseEvent* event) {
    ForwardButton(event, [this](TMouseButton button, TShiftState shift, int x, int y) {
        ButtonPressed(button, shift, x, y);
    });
}

void TvxSampleTank::mouseMoveEvent(QMouseEvent* event) {
    ForwardMove(event, [this](TShiftState shift, int x, int y) { PointerMoved(shift, x, y); });
}

void TvxSampleTank::mouseReleaseEvent(QMouseEvent* event) {
    ForwardButton(event, [this](TMouseButton button, TShiftState shift, int x, int y) {
        ButtonReleased(button, shift, x, y);
    });
}
