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
    // Bresenham from the current position; the end point is left for the next line.
    int x0 = current_.x();
    int y0 = current_.y();
    const int dx = std::abs(x - x0);
    const int dy = -std::abs(y - y0);
    const int sx = x0 < x ? 1 : -1;
    const int sy = y0 < y ? 1 : -1;
    int error = dx + dy;
    while (x0 != x || y0 != y) {
        const bool on = PenStyle == psSolid || (styleStep_ / kDotRun) % 2 == 0;
        plot(x0, y0, on);
        ++styleStep_;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
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
    FillRect(QRect(rect.left(), rect.top(), rect.width(), 1));
    FillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1));
    FillRect(QRect(rect.left(), rect.top(), 1, rect.height()));
    FillRect(QRect(rect.right(), rect.top(), 1, rect.height()));
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
