// SPDX-License-Identifier: GPL-3.0-or-later
// A text label holding one integer that the user turns like a knob: a left drag sets it from
// the pointer's travel, a left click lowers it a step, a right click raises it, Shift makes the
// step coarse. With KeyboardControl on (off by default) it also takes the focus and steps with
// the arrow keys, Page Up/Down (ten steps), Home/End (the limits) and the wheel. Every change
// by the user raises OnChange; setting State from code never does. Screen readers find it as a
// slider named after its accessible name (or its hint) whose value is the text it shows, and a
// value a screen reader sets is a change by the user.
#pragma once

#include "ShiftState.h"

#include <QColor>
#include <QLabel>

#include <cstdint>
#include <functional>

class Tvxpotlab : public QLabel {
    Q_OBJECT
    // Label behaviours a Qt label lacks; as the base label's, they come before the pot's own.
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE setAutoSize)
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(bool Transparent READ Transparent WRITE setTransparent)
    // The pot's own properties, in the order a form applies them: State before Min and Max.
    // RESET gives each property's declared stored default.
    Q_PROPERTY(int State READ State WRITE setState RESET ResetState)
    Q_PROPERTY(int Min READ Min WRITE setMin RESET ResetMin)
    Q_PROPERTY(int Max READ Max WRITE setMax RESET ResetMax)
    Q_PROPERTY(int CursorRange READ CursorRange WRITE setCursorRange RESET ResetCursorRange)
    Q_PROPERTY(bool AlwayDetect READ AlwayDetect WRITE setAlwayDetect RESET ResetAlwayDetect)
    Q_PROPERTY(tOrientation Mouvement READ Mouvement WRITE setMouvement RESET ResetMouvement)
    Q_PROPERTY(bool KeyboardControl READ KeyboardControl WRITE setKeyboardControl RESET
                   ResetKeyboardControl)

  public:
    enum tOrientation { posVertical, posHorizontal };
    Q_ENUM(tOrientation)

    using TChangeEvent = std::function<void(QObject* sender)>;
    using TValueText = std::function<QString(std::int32_t value)>;

    explicit Tvxpotlab(QWidget* parent = nullptr);

    std::int32_t State() const { return state_; }
    // Limits the value to Min..Max and shows it; does nothing when the value is unchanged.
    void setState(std::int32_t value);
    std::int32_t Min() const { return min_; }
    void setMin(std::int32_t value) { min_ = value; }
    std::int32_t Max() const { return max_; }
    void setMax(std::int32_t value) { max_ = value; }
    std::int32_t CursorRange() const { return cursorRange_; }
    void setCursorRange(std::int32_t value) { cursorRange_ = value; }
    bool AlwayDetect() const { return alwayDetect_; }
    void setAlwayDetect(bool value) { alwayDetect_ = value; }
    tOrientation Mouvement() const { return mouvement_; }
    void setMouvement(tOrientation value) { mouvement_ = value; }

    void ResetState() { setState(0); }
    void ResetMin() { setMin(0); }
    void ResetMax() { setMax(100); }
    void ResetCursorRange() { setCursorRange(15); }
    void ResetAlwayDetect() { setAlwayDetect(false); }
    void ResetMouvement() { setMouvement(posVertical); }
    bool KeyboardControl() const { return keyboardControl_; }
    void setKeyboardControl(bool value);
    void ResetKeyboardControl() { setKeyboardControl(false); }

    bool AutoSize() const { return autoSize_; }
    void setAutoSize(bool value);
    QColor Color() const;
    void setColor(const QColor& color);
    bool Transparent() const { return !autoFillBackground(); }
    void setTransparent(bool value) { setAutoFillBackground(!value); }

    // Raised with the pot as sender after each change the user makes.
    TChangeEvent OnChange = [](QObject*) {};
    // How State is shown, whatever set it: the number unless told otherwise.
    void setValueText(TValueText valueText);
    // A change the user makes (a key, the wheel, a screen reader): limited, shown, and
    // reported through OnChange when it changes State.
    void ChangeByUser(std::int64_t value);

    // The reactions to the mouse, in the pot's own coordinates.
    void ButtonPressed(TMouseButton button, TShiftState shift, int x, int y);
    void PointerMoved(TShiftState shift, int x, int y);
    void ButtonReleased(TMouseButton button, TShiftState shift, int x, int y);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    int coordinate(int x, int y) const { return mouvement_ == posVertical ? y : x; }
    // False when Max equals Min or CursorRange is 0: the pointer cannot set the value then.
    bool canTrackPointer() const { return max_ != min_ && cursorRange_ != 0; }
    std::int32_t valueAt(int c) const;
    std::int32_t limited(std::int32_t value) const;
    // Shows State and draws the pot at once.
    void showState();
    // Sets the text from State.
    void showText();

    std::int32_t state_ = 0;
    std::int32_t min_ = 0;
    std::int32_t max_ = 100;
    std::int32_t cursorRange_ = 15;
    bool alwayDetect_ = true;
    tOrientation mouvement_ = posVertical;
    bool autoSize_ = true;
    bool keyboardControl_ = false;
    int wheelTurn_ = 0;
    TValueText valueText_;

    bool dragging_ = false;
    bool moved_ = false;
    std::int32_t dragAnchor_ = 0;
    bool rightPressed_ = false;
};

using tOrientation = Tvxpotlab::tOrientation;
constexpr tOrientation posVertical = Tvxpotlab::posVertical;
constexpr tOrientation posHorizontal = Tvxpotlab::posHorizontal;
