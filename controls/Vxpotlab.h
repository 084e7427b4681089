// A text label holding one integer that the user turns like a knob: a left drag sets it from
// the pointer's travel, a left click lowers it a step, a right click raises it, Shift makes the
// step coarse. Every change by the user raises OnChange; setting State from code never does.
#pragma once

#include "ShiftState.h"

#include <QColor>
#include <QLabel>

#include <cstdint>
#include <functional>

class Tvxpotlab : public QLabel {
    Q_OBJECT
    // The pot's own properties, in the order a form applies them: State before Min and Max.
    // RESET gives each property's declared stored default.
    Q_PROPERTY(int State READ State WRITE SetState RESET ResetState)
    Q_PROPERTY(int Min READ Min WRITE SetMin RESET ResetMin)
    Q_PROPERTY(int Max READ Max WRITE SetMax RESET ResetMax)
    Q_PROPERTY(int CursorRange READ CursorRange WRITE SetCursorRange RESET ResetCursorRange)
    Q_PROPERTY(bool AlwayDetect READ AlwayDetect WRITE SetAlwayDetect RESET ResetAlwayDetect)
    Q_PROPERTY(tOrientation Mouvement READ Mouvement WRITE SetMouvement RESET ResetMouvement)
    // Label behaviours a Qt label lacks.
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)

  public:
    enum tOrientation { posVertical, posHorizontal };
    Q_ENUM(tOrientation)

    using TChangeEvent = std::function<void(QObject* sender)>;

    explicit Tvxpotlab(QWidget* parent = nullptr);

    std::int32_t State() const { return state_; }
    // Limits the value to Min..Max and shows it; does nothing when the value is unchanged.
    void SetState(std::int32_t value);
    std::int32_t Min() const { return min_; }
    void SetMin(std::int32_t value) { min_ = value; }
    std::int32_t Max() const { return max_; }
    void SetMax(std::int32_t value) { max_ = value; }
    std::int32_t CursorRange() const { return cursorRange_; }
    void SetCursorRange(std::int32_t value) { cursorRange_ = value; }
    bool AlwayDetect() const { return alwayDetect_; }
    void SetAlwayDetect(bool value) { alwayDetect_ = value; }
    tOrientation Mouvement() const { return mouvement_; }
    void SetMouvement(tOrientation value) { mouvement_ = value; }

    void ResetState() { SetState(0); }
    void ResetMin() { SetMin(0); }
    void ResetMax() { SetMax(100); }
    void ResetCursorRange() { SetCursorRange(15); }
    void ResetAlwayDetect() { SetAlwayDetect(false); }
    void ResetMouvement() { SetMouvement(posVertical); }

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    QColor Color() const;
    void SetColor(const QColor& color);
    bool Transparent() const { return !autoFillBackground(); }
    void SetTransparent(bool value) { setAutoFillBackground(!value); }

    // Raised with the pot as sender after each change the user makes.
    TChangeEvent OnChange = [](QObject*) {};

    // The reactions to the mouse, in the pot's own coordinates.
    void ButtonPressed(TMouseButton button, TShiftState shift, int x, int y);
    void PointerMoved(TShiftState shift, int x, int y);
    void ButtonReleased(TMouseButton button, TShiftState shift, int x, int y);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    int coordinate(int x, int y) const { return mouvement_ == posVertical ? y : x; }
    // False when Max equals Min or CursorRange is 0: the pointer cannot set the value then.
    bool canTrackPointer() const { return max_ != min_ && cursorRange_ != 0; }
    std::int32_t valueAt(int c) const;
    std::int32_t limited(std::int32_t value) const;
    // Shows State and draws the pot at once.
    void showState();

    std::int32_t state_ = 0;
    std::int32_t min_ = 0;
    std::int32_t max_ = 100;
    std::int32_t cursorRange_ = 15;
    bool alwayDetect_ = true;
    tOrientation mouvement_ = posVertical;
    bool autoSize_ = true;

    bool dragging_ = false;
    bool moved_ = false;
    std::int32_t dragAnchor_ = 0;
    bool rightPressed_ = false;
};

using tOrientation = Tvxpotlab::tOrientation;
constexpr tOrientation posVertical = Tvxpotlab::posVertical;
constexpr tOrientation posHorizontal = Tvxpotlab::posHorizontal;
