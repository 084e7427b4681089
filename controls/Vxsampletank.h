// SPDX-License-Identifier: GPL-3.0-or-later
// A waveform and spectrum display of up to 256 unsigned 8-bit samples over a plain or
// gradient background, with axes, quarter lines, markers, a locator and a selection. A left
// drag moves the locator or stretches the selection; a right drag redraws samples. Every
// frame is composed off-screen and shown in one operation.
#pragma once

#include "Canvas.h"
#include "ShiftState.h"

#include <QByteArray>
#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class TvxSampleTank : public QWidget {
    Q_OBJECT
    // In published order. RESET gives each property's declared stored default.
    Q_PROPERTY(int Max READ Max WRITE setMax RESET ResetMax)
    Q_PROPERTY(int LineColor READ LineColor WRITE setLineColor)
    Q_PROPERTY(int AxesColor READ AxesColor WRITE setAxesColor)
    Q_PROPERTY(int Axes2Color READ Axes2Color WRITE setAxes2Color)
    Q_PROPERTY(int LocatorColor READ LocatorColor WRITE setLocatorColor)
    Q_PROPERTY(int LocatorPos READ LocatorPos WRITE setLocatorPos RESET ResetLocatorPos)
    Q_PROPERTY(int LocatorSize READ LocatorSize WRITE setLocatorSize)
    Q_PROPERTY(
        bool LocatorEnabled READ LocatorEnabled WRITE setLocatorEnabled RESET ResetLocatorEnabled)
    Q_PROPERTY(int SelectionColor READ SelectionColor WRITE setSelectionColor)
    Q_PROPERTY(int SelectionStyle READ SelectionStyle WRITE setSelectionStyle)
    Q_PROPERTY(int SelectionPos READ SelectionPos WRITE setSelectionPos)
    Q_PROPERTY(int SelectionLen READ SelectionLen WRITE setSelectionLen)
    Q_PROPERTY(bool AlwayDetect READ AlwayDetect WRITE setAlwayDetect RESET ResetAlwayDetect)
    Q_PROPERTY(int GradientColor READ GradientColor WRITE setGradientColor)
    Q_PROPERTY(bool GradientEnabled READ GradientEnabled WRITE setGradientEnabled)
    Q_PROPERTY(int GradientNbOfColors READ GradientNbOfColors WRITE setGradientNbOfColors RESET
                   ResetGradientNbOfColors)
    Q_PROPERTY(
        tGradientTypex GradientType READ GradientType WRITE setGradientType RESET ResetGradientType)
    Q_PROPERTY(int MarkerSize READ MarkerSize WRITE setMarkerSize)
    Q_PROPERTY(int MarkerColor READ MarkerColor WRITE setMarkerColor RESET ResetMarkerColor)
    Q_PROPERTY(bool AxesEnabled READ AxesEnabled WRITE setAxesEnabled RESET ResetAxesEnabled)
    Q_PROPERTY(bool Axes2Enabled READ Axes2Enabled WRITE setAxes2Enabled RESET ResetAxes2Enabled)
    Q_PROPERTY(bool SpectrumMode READ SpectrumMode WRITE setSpectrumMode)
    Q_PROPERTY(bool SpectrumCenter READ SpectrumCenter WRITE setSpectrumCenter)
    Q_PROPERTY(int SpectrumHarm READ SpectrumHarm WRITE setSpectrumHarm)
    Q_PROPERTY(bool TabStop READ TabStop WRITE setTabStop)
    Q_PROPERTY(int Color READ Color WRITE setColor)
    Q_PROPERTY(QByteArray Samples READ Samples WRITE setSamples)

  public:
    enum tGradientTypex {
        grxLeftToRight,
        grxRightToLeft,
        grxTopToBottom,
        grxBottomToTop,
        grxHorizCenterToBorder,
        grxHorizBorderToCenter,
        grxVertCenterToBorder,
        grxVertBorderToCenter,
    };
    Q_ENUM(tGradientTypex)

    using TChangeEvent = std::function<void(QObject* sender)>;

    explicit TvxSampleTank(QWidget* parent = nullptr);
    // The size it is made with, and placed at by a layout or by Qt Designer.
    QSize sizeHint() const override { return {kWidth, kHeight}; }
    static constexpr int kWidth = 100;
    static constexpr int kHeight = 80;

    int Max() const { return max_; }
    // 1..256; other values are ignored, as they would reach past the sample arrays.
    void setMax(int value);
    int LineColor() const { return lineColor_; }
    void setLineColor(int value) { assign(lineColor_, value); }
    int AxesColor() const { return axesColor_; }
    void setAxesColor(int value) { assign(axesColor_, value); }
    int Axes2Color() const { return axes2Color_; }
    void setAxes2Color(int value) { assign(axes2Color_, value); }
    int LocatorColor() const { return locatorColor_; }
    void setLocatorColor(int value) { assign(locatorColor_, value); }
    int LocatorPos() const { return locatorPos_; }
    void setLocatorPos(int value) { assign(locatorPos_, value); }
    int LocatorSize() const { return locatorSize_; }
    void setLocatorSize(int value) { assign(locatorSize_, value); }
    bool LocatorEnabled() const { return locatorEnabled_; }
    void setLocatorEnabled(bool value) { assign(locatorEnabled_, value); }
    int SelectionColor() const { return selectionColor_; }
    void setSelectionColor(int value) { assign(selectionColor_, value); }
    int SelectionStyle() const { return selectionStyle_; }
    void setSelectionStyle(int value) { assign(selectionStyle_, value); }
    int SelectionPos() const { return selectionPos_; }
    void setSelectionPos(int value) { assign(selectionPos_, value); }
    int SelectionLen() const { return selectionLen_; }
    void setSelectionLen(int value) { assign(selectionLen_, value); }
    bool AlwayDetect() const { return alwayDetect_; }
    void setAlwayDetect(bool value) { alwayDetect_ = value; }
    int GradientColor() const { return gradientColor_; }
    void setGradientColor(int value) { updateGradient(gradientColor_, value); }
    bool GradientEnabled() const { return gradientEnabled_; }
    void setGradientEnabled(bool value) { updateGradient(gradientEnabled_, value); }
    int GradientNbOfColors() const { return gradientNbOfColors_; }
    // 0 (one band per pixel) or 2..256; other values are ignored.
    void setGradientNbOfColors(int value);
    tGradientTypex GradientType() const { return gradientType_; }
    void setGradientType(tGradientTypex value) { updateGradient(gradientType_, value); }
    int MarkerSize() const { return markerSize_; }
    void setMarkerSize(int value) { assign(markerSize_, value); }
    int MarkerColor() const { return markerColor_; }
    void setMarkerColor(int value) { assign(markerColor_, value); }
    bool AxesEnabled() const { return axesEnabled_; }
    void setAxesEnabled(bool value) { assign(axesEnabled_, value); }
    bool Axes2Enabled() const { return axes2Enabled_; }
    void setAxes2Enabled(bool value) { assign(axes2Enabled_, value); }
    bool SpectrumMode() const { return spectrumMode_; }
    void setSpectrumMode(bool value) { assign(spectrumMode_, value); }
    bool SpectrumCenter() const { return spectrumCenter_; }
    void setSpectrumCenter(bool value) { assign(spectrumCenter_, value); }
    int SpectrumHarm() const { return spectrumHarm_; }
    void setSpectrumHarm(int value) { spectrumHarm_ = value; }
    bool TabStop() const { return focusPolicy() & Qt::TabFocus; }
    void setTabStop(bool value) { setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus); }
    // The control colour, background of the plain display and one end of the gradient.
    int Color() const { return color_; }
    void setColor(int value) { assign(color_, value); }

    void ResetMax() { setMax(1); }
    void ResetLocatorPos() { setLocatorPos(25); }
    void ResetLocatorEnabled() { setLocatorEnabled(false); }
    void ResetAlwayDetect() { setAlwayDetect(false); }
    void ResetGradientNbOfColors() { setGradientNbOfColors(16); }
    void ResetGradientType() { setGradientType(grxLeftToRight); }
    void ResetMarkerColor() { setMarkerColor(0x808000); }
    void ResetAxesEnabled() { setAxesEnabled(false); }
    void ResetAxes2Enabled() { setAxes2Enabled(false); }

    // The owner's access to the samples: all 256, of which the first Max are shown.
    QByteArray Samples() const;
    void setSamples(const QByteArray& samples);

    TChangeEvent OnChange = [](QObject*) {};
    TChangeEvent OnLocatorChange = [](QObject*) {};
    TChangeEvent OnSelectorChange = [](QObject*) {};

    // Composes the frame and shows it at once.
    void RenderFrame();
    void BuildGradient(const QRect& area);
    bool HitLocator(int x) const;
    void ButtonPressed(TMouseButton button, TShiftState shift, int x, int y);
    void PointerMoved(TShiftState shift, int x, int y);
    void ButtonReleased(TMouseButton button, TShiftState shift, int x, int y);

    const QImage& FrameImage() const { return frameImage_; }
    const QImage& GradientImage() const { return gradientImage_; }
    bool GradientValid() const { return gradientValid_; }
    const std::array<QPoint, 256>& SamplePoints() const { return samplePoints_; }
    bool Tracking() const { return tracking_; }
    int HitMode() const { return hitMode_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    template <typename T>
    void assign(T& field, T value) {
        if (field == value)
            return;
        field = value;
        RenderFrame();
    }
    template <typename T>
    void updateGradient(T& field, T value) {
        if (field == value)
            return;
        field = value;
        gradientValid_ = false;
        RenderFrame();
    }
    void composeFrame();
    int sampleX(int i) const;
    int sampleY(int i) const;
    // The pointer's sample for editing and the locator, and for the selection.
    int editIndex(int x) const;
    int selectionIndex(int x) const;
    // False for a control too small for the mouse arithmetic (it divides by width - 2).
    bool mouseUsable() const { return width() >= 3 && height() >= 3; }
    void moveLocatorOrSelection(int x);
    // True when it edited a sample.
    bool editSample(int x, int y);

    int max_ = 256;
    TColor lineColor_ = 0x808000;
    TColor axesColor_ = 0x000080;
    TColor axes2Color_ = 0x800080;
    TColor locatorColor_ = 0x800080;
    int locatorPos_ = 0;
    int locatorSize_ = 3;
    bool locatorEnabled_ = true;
    TColor selectionColor_ = 0xFF0000;
    int selectionStyle_ = 0;
    int selectionPos_ = 0;
    int selectionLen_ = 0;
    bool alwayDetect_ = true;
    TColor gradientColor_ = 0x800000;
    bool gradientEnabled_ = false;
    int gradientNbOfColors_ = 64;
    tGradientTypex gradientType_ = grxVertCenterToBorder;
    int markerSize_ = 1;
    TColor markerColor_ = 0xFFFF00;
    bool axesEnabled_ = true;
    bool axes2Enabled_ = true;
    bool spectrumMode_ = false;
    bool spectrumCenter_ = false;
    int spectrumHarm_ = 3;
    TColor color_ = 0;

    std::array<std::uint8_t, 256> samples_{};
    std::array<QPoint, 256> samplePoints_{};
    QImage frameImage_;
    QImage gradientImage_;
    bool gradientValid_ = false;
    bool frameFresh_ = false;
    bool tracking_ = false;
    int hitMode_ = -1;
};

using tGradientTypex = TvxSampleTank::tGradientTypex;
