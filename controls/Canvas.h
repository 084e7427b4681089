// SPDX-License-Identifier: GPL-3.0-or-later
// A drawing surface that follows the desktop platform's pixel rules, on which the waveform
// display composes its frames: lines leave out their end point, dotted pens show the brush
// colour in their gaps, rectangles include their left and top edges only, frames are drawn in
// the brush colour, and two raster operations combine a rectangle with what is there.
#pragma once

#include <QImage>

#include <cstdint>

// 0x00BBGGRR, red in the low byte; negative values 0x800000nn name system colours.
using TColor = std::int32_t;

// The RGB value of a colour, system colours looked up in the application's palette.
QRgb ToRgb(TColor color);

enum TPenStyle { psSolid, psDot };

// The two raster operations of the selection.
enum TRasterOp : std::uint32_t {
    ropDstInvert = 0x00550009,  // every bit of the destination flipped
    ropPatInvert = 0x005A0049,  // destination exclusive-or the brush
};

class TCanvas {
  public:
    explicit TCanvas(QImage& image) : image_(image) {}

    TColor PenColor = 0;
    TPenStyle PenStyle = psSolid;
    TColor BrushColor = 0xFFFFFF;

    void MoveTo(int x, int y);
    // From the current position to (x, y), without the end point, which becomes current.
    void LineTo(int x, int y);
    void Polyline(const QPoint* points, int count);
    void FillRect(const QRect& rect);
    // A 1-pixel frame just inside the rectangle, in the brush colour.
    void FrameRect(const QRect& rect);
    void CopyRect(const QRect& rect, const QImage& source);
    void Combine(const QRect& rect, TRasterOp operation);

  private:
    void plot(int x, int y, bool on);

    QImage& image_;
    QPoint current_;
    // Pixels since MoveTo, as far as the dotted pen's phase needs them.
    std::uint64_t styleStep_ = 0;
};
