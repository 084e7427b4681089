// SPDX-License-Identifier: GPL-3.0-or-later
#include "Canvas.h"

#include <QApplication>
#include <QPalette>

#include <algorithm>
#include <cstdlib>

namespace {

// A dotted cosmetic pen: three pixels on, three off.
constexpr int kDotRun = 3;

QPalette::ColorRole systemRole(int index) {
    switch (index) {
        case 5:
            return QPalette::Base;  // window
        case 8:
            return QPalette::WindowText;  // window text
        case 13:
            return QPalette::Highlight;
        case 14:
            return QPalette::HighlightedText;
        case 15:
            return QPalette::Button;  // button face
        case 18:
            return QPalette::ButtonText;
        default:
            return QPalette::Window;
    }
}

}  // namespace

QRgb ToRgb(TColor color) {
    const auto bits = static_cast<std::uint32_t>(color);
    if ((bits & 0xFF000000u) == 0x80000000u)
        return QApplication::palette().color(systemRole(static_cast<int>(bits & 0xFF))).rgb();
    return qRgb(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                static_cast<int>((bits >> 16) & 0xFF));
}

void TCanvas::plot(int x, int y, bool on) {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return;
    reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = ToRgb(on ? PenColor : BrushColor);
}

void TCanvas::MoveTo(int x, int y) {
    current_ = {x, y};
    styleStep_ = 0;
}

void TCanvas::LineTo(int x, int y) {
    // The pixels of an error-term walk from the current position, the end point left out:
    // the t-th pixel is t steps along the longer axis, and (shorter · t + longer / 2) / longer
    // steps along the other, rounded down. Only the steps whose pixel lies within the image
    // are taken, so a line of any length costs at most the image's size, and no term
    // overflows: the products stay below 2^64.
    const std::int64_t x0 = current_.x();
    const std::int64_t y0 = current_.y();
    const std::uint64_t a = static_cast<std::uint64_t>(std::abs(x - x0));
    const std::uint64_t b = static_cast<std::uint64_t>(std::abs(y - y0));
    const int sx = x0 < x ? 1 : -1;
    const int sy = y0 < y ? 1 : -1;
    const bool xMajor = a >= b;
    const std::uint64_t steps = xMajor ? a : b;
    const std::uint64_t across = xMajor ? b : a;
    const std::int64_t start = xMajor ? x0 : y0;
    const int direction = xMajor ? sx : sy;
    const std::int64_t extent = xMajor ? image_.width() : image_.height();
    // The steps whose coordinate along the longer axis is within the image.
    const std::int64_t entry = direction > 0 ? -start : start - (extent - 1);
    const std::int64_t exit = direction > 0 ? extent - 1 - start : start;
    const std::uint64_t first = static_cast<std::uint64_t>(std::max<std::int64_t>(entry, 0));
    const std::int64_t last = std::min<std::int64_t>(exit, static_cast<std::int64_t>(steps) - 1);
    for (std::uint64_t t = first; static_cast<std::int64_t>(t) <= last; ++t) {
        const auto moved = static_cast<std::int64_t>((across * t + steps / 2) / steps);
        const std::int64_t along = start + direction * static_cast<std::int64_t>(t);
        const std::int64_t px = xMajor ? along : x0 + sx * moved;
        const std::int64_t py = xMajor ? y0 + sy * moved : along;
        if (px < 0 || py < 0 || px >= image_.width() || py >= image_.height())
            continue;
        const bool on = PenStyle == psSolid || ((styleStep_ + t) / kDotRun) % 2 == 0;
        plot(static_cast<int>(px), static_cast<int>(py), on);
    }
    // The dotted pen's phase goes on from where this line ends.
    styleStep_ = (styleStep_ + steps) % (2 * kDotRun);
    current_ = {x, y};
}

void TCanvas::Polyline(const QPoint* points, int count) {
    if (count <= 0)
        return;
    MoveTo(points[0].x(), points[0].y());
    for (int i = 1; i < count; ++i)
        LineTo(points[i].x(), points[i].y());
}

void TCanvas::FillRect(const QRect& rect) {
    const QRect clipped = rect.intersected(image_.rect());
    const QRgb colour = ToRgb(BrushColor);
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
        std::fill(row + clipped.left(), row + clipped.right() + 1, colour);
    }
}

void TCanvas::FrameRect(const QRect& rect) {
    if (rect.isEmpty())
        return;
    // By the corners: the width of a rectangle wider than 2^31 pixels does not fit an int.
    const QPoint topLeft = rect.topLeft();
    const QPoint bottomRight = rect.bottomRight();
    FillRect(QRect(topLeft, QPoint(bottomRight.x(), topLeft.y())));
    FillRect(QRect(QPoint(topLeft.x(), bottomRight.y()), bottomRight));
    FillRect(QRect(topLeft, QPoint(topLeft.x(), bottomRight.y())));
    FillRect(QRect(QPoint(bottomRight.x(), topLeft.y()), bottomRight));
}

void TCanvas::CopyRect(const QRect& rect, const QImage& source) {
    const QRect clipped = rect.intersected(image_.rect()).intersected(source.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        const QRgb* from = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        QRgb* to = reinterpret_cast<QRgb*>(image_.scanLine(y));
        std::copy(from + clipped.left(), from + clipped.right() + 1, to + clipped.left());
    }
}

void TCanvas::Combine(const QRect& rect, TRasterOp operation) {
    const QRect clipped = rect.intersected(image_.rect());
    const QRgb mask = operation == ropDstInvert ? 0x00FFFFFFu : (ToRgb(BrushColor) & 0x00FFFFFFu);
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            row[x] ^= mask;
    }
}
