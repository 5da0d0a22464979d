#pragma once
// Scroll-bar-like controls drawn by the library itself: the arrow bar base, the range bar
// (a float position over a range of which a window is visible) and the gauge bar (an integer
// position between Min and Max), in a classic, a themed and a flat look.
#include <functional>

#include <QWidget>

#include "graphics/rx32_types.h"

class QTimer;

namespace strandel {

enum TRBDirection : uint8_t { drLeft = 0, drUp = 1, drRight = 2, drDown = 3 };
using TRBDirections = uint8_t; // bit (1 << TRBDirection)
enum TRBZone : uint8_t { zNone = 0, zBtnPrev = 1, zTrackPrev = 2, zHandle = 3, zTrackNext = 4, zBtnNext = 5 };
enum TRBStyle : uint8_t { rbsDefault = 0, rbsMac = 1 };
enum TRBBackgnd : uint8_t { bgPattern = 0, bgSolid = 1 };
enum TBorderStyle : uint8_t { bsNone = 0, bsSingle = 1 };
enum TScrollBarKind : uint8_t { sbHorizontal = 0, sbVertical = 1 };
using TRBIncrement = int32_t; // 1..32768
using TRBGetSizeEvent = std::function<void(QObject *sender, int32_t &size)>;

// System colours the bars draw with (0x80000000 + the colour index).
constexpr TColor clScrollBar = TColor(0x80000000);
constexpr TColor clWindowFrame = TColor(0x80000006);
constexpr TColor clBtnFace = TColor(0x8000000F);
constexpr TColor clBtnShadow = TColor(0x80000010);
constexpr TColor clBtnText = TColor(0x80000012);
constexpr TColor clBtnHighlight = TColor(0x80000014);
constexpr TColor cl3DDkShadow = TColor(0x80000015);
constexpr TColor cl3DLight = TColor(0x80000016);

class TArrowBar;
using TRBNotifyEvent = std::function<void(TArrowBar *sender)>;

class TArrowBar : public QWidget
{
public:
    explicit TArrowBar(QWidget *parent = nullptr);
    ~TArrowBar() override;

    TRBBackgnd Backgnd() const { return m_backgnd; }
    void SetBackgnd(TRBBackgnd value);
    TBorderStyle BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(TBorderStyle value);
    int32_t ButtonSize() const { return m_buttonSize; }
    void SetButtonSize(int32_t value);
    TColor HandleColor() const { return m_handleColor; }
    void SetHandleColor(TColor value);
    TScrollBarKind Kind() const { return m_kind; }
    void SetKind(TScrollBarKind value);
    bool ShowArrows() const { return m_showArrows; }
    void SetShowArrows(bool value);
    bool ShowHandleGrip() const { return m_showHandleGrip; }
    void SetShowHandleGrip(bool value);
    TRBStyle Style() const { return m_style; }
    void SetStyle(TRBStyle value);
    TColor Color() const { return m_color; }
    void SetColor(TColor value);

    TRBNotifyEvent OnChange;     // every position change
    TRBNotifyEvent OnUserChange; // position changes made by the user

    bool UserChanging() const { return m_userChanging; }
    TRBZone PressedZone() const { return m_pressedZone; }
    TRBZone HoverZone() const { return m_hoverZone; }
    int32_t TimerState() const { return m_timerState; }
    const QTimer *Timer() const { return m_timer; }

    // Geometry in client coordinates (the client area lies inside the border).
    int32_t GetBorderSize() const { return m_borderStyle == bsSingle ? 1 : 0; }
    TRect ClientRect() const;
    int32_t GetButtonSize() const;
    TRect GetTrackBoundary() const;
    virtual TRect GetHandleRect() const { return {}; }
    TRBZone GetZone(int32_t x, int32_t y) const;
    TRect GetZoneRect(TRBZone zone) const;
    virtual bool DrawEnabled() const { return isEnabled(); }

protected:
    bool Horizontal() const { return m_kind == sbHorizontal; }
    int32_t ClientLength() const; // along the bar
    virtual void DoChange();
    virtual void DoDrawButton(QPainter &p, TRect r, TRBDirection direction, bool pushed, bool enabled, bool hot);
    virtual void DoDrawHandle(QPainter &p, TRect r, bool horizontal, bool pushed, bool hot);
    virtual void DoDrawTrack(QPainter &p, TRect r, TRBDirection direction, bool pushed, bool enabled, bool hot);
    virtual void MouseLeft();
    virtual void TimerHandler();
    // One auto-repeat step of the pressed zone (run with UserChanging set).
    virtual void StepPressedZone() {}
    virtual void MouseDown(Qt::MouseButton button, int32_t x, int32_t y);
    virtual void MouseMove(int32_t x, int32_t y);
    virtual void MouseUp(int32_t x, int32_t y);
    virtual void MouseWheel(int32_t wheelDelta) { (void)wheelDelta; }

    void StartDragTracking();
    void StopDragTracking();
    void StartHotTracking();
    void StopHotTracking();
    // The mouse cursor in client coordinates; tests may stand in for the screen cursor.
    virtual QPoint CursorClientPos() const;
    QPoint ClampedCursorPos() const;
    // Runs f with UserChanging set.
    template <typename F> void AsUser(F f)
    {
        const bool was = m_userChanging;
        m_userChanging = true;
        f();
        m_userChanging = was;
    }
    void DrawNCArea(QPainter &p);

    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

    TRBZone m_pressedZone = zNone;
    TRBZone m_hoverZone = zNone;
    int32_t m_dragStartX = 0, m_dragStartY = 0;
    float m_positionBeforeDrag = 0;

private:
    TRBBackgnd m_backgnd = bgPattern;
    TBorderStyle m_borderStyle = bsSingle;
    int32_t m_buttonSize = 0;
    TColor m_handleColor = clBtnShadow;
    TScrollBarKind m_kind = sbHorizontal;
    bool m_showArrows = true;
    bool m_showHandleGrip = true;
    TRBStyle m_style = rbsDefault;
    TColor m_color = clScrollBar;
    bool m_userChanging = false;
    QTimer *m_timer = nullptr;
    int32_t m_timerState = 0;
};

class TCustomRangeBar : public TArrowBar
{
public:
    explicit TCustomRangeBar(QWidget *parent = nullptr);

    bool KeepCenter = false;
    int32_t EffectiveWindow() const { return m_effectiveWindow; }
    TRBIncrement Increment() const { return m_increment; }
    void SetIncrement(TRBIncrement value) { m_increment = value; }
    float Position() const { return m_position; }
    void SetPosition(float value);
    int32_t Range() const { return m_range; }
    void SetRange(int32_t value) { SetParams(value, m_window); }
    int32_t Window() const { return m_window; }
    void SetWindow(int32_t value) { SetParams(m_range, value); }
    void SetParams(int32_t newRange, int32_t newWindow);

    bool DrawEnabled() const override;
    TRect GetHandleRect() const override;

protected:
    void UpdateEffectiveWindow();
    void AdjustPosition();
    void StepPressedZone() override;
    void MouseDown(Qt::MouseButton button, int32_t x, int32_t y) override;
    void MouseMove(int32_t x, int32_t y) override;
    void MouseWheel(int32_t wheelDelta) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int32_t m_effectiveWindow = 0;
    TRBIncrement m_increment = 8;
    float m_position = 0;
    int32_t m_range = 0;
    int32_t m_window = 0;
};

class TCustomGaugeBar : public TArrowBar
{
public:
    explicit TCustomGaugeBar(QWidget *parent = nullptr);

    int32_t HandleSize() const { return m_handleSize; }
    void SetHandleSize(int32_t value);
    int32_t LargeChange() const { return m_largeChange; }
    void SetLargeChange(int32_t value) { m_largeChange = value < 1 ? 1 : value; }
    int32_t Max() const { return m_max; }
    void SetMax(int32_t value);
    int32_t Min() const { return m_min; }
    void SetMin(int32_t value);
    int32_t Position() const { return m_position; }
    void SetPosition(int32_t value);
    int32_t SmallChange() const { return m_smallChange; }
    void SetSmallChange(int32_t value) { m_smallChange = value < 1 ? 1 : value; }

    // While a form loads, Min and Max are taken as they come; Loaded ends that.
    void BeginLoading() { m_loading = true; }
    void Loaded();

    int32_t GetHandleSize() const;
    TRect GetHandleRect() const override;

protected:
    void AdjustPosition();
    void StepPressedZone() override;
    void MouseDown(Qt::MouseButton button, int32_t x, int32_t y) override;
    void MouseMove(int32_t x, int32_t y) override;
    void MouseWheel(int32_t wheelDelta) override;

private:
    int32_t m_handleSize = 0;
    int32_t m_largeChange = 1;
    int32_t m_max = 100;
    int32_t m_min = 0;
    int32_t m_position = 0;
    int32_t m_smallChange = 1;
    bool m_loading = false;
};

class TRangeBar : public TCustomRangeBar
{
public:
    using TCustomRangeBar::TCustomRangeBar;
};

class TGaugeBar : public TCustomGaugeBar
{
public:
    using TCustomGaugeBar::TCustomGaugeBar;
};

// Reads the look of one bar and writes it to one or two.
class TArrowBarAccess
{
public:
    virtual ~TArrowBarAccess() = default;
    TArrowBar *Primary = nullptr;
    TArrowBar *Secondary = nullptr;

    TColor Color() const { return Primary->Color(); }
    void SetColor(TColor v) { Both([v](TArrowBar *b) { b->SetColor(v); }); }
    TRBBackgnd Backgnd() const { return Primary->Backgnd(); }
    void SetBackgnd(TRBBackgnd v) { Both([v](TArrowBar *b) { b->SetBackgnd(v); }); }
    int32_t ButtonSize() const { return Primary->ButtonSize(); }
    void SetButtonSize(int32_t v) { Both([v](TArrowBar *b) { b->SetButtonSize(v); }); }
    TColor HandleColor() const { return Primary->HandleColor(); }
    void SetHandleColor(TColor v) { Both([v](TArrowBar *b) { b->SetHandleColor(v); }); }
    bool ShowArrows() const { return Primary->ShowArrows(); }
    void SetShowArrows(bool v) { Both([v](TArrowBar *b) { b->SetShowArrows(v); }); }
    bool ShowHandleGrip() const { return Primary->ShowHandleGrip(); }
    void SetShowHandleGrip(bool v) { Both([v](TArrowBar *b) { b->SetShowHandleGrip(v); }); }
    TRBStyle Style() const { return Primary->Style(); }
    void SetStyle(TRBStyle v) { Both([v](TArrowBar *b) { b->SetStyle(v); }); }

protected:
    template <typename F> void Both(F f)
    {
        f(Primary);
        if (Secondary)
            f(Secondary);
    }
};

// Drawing helpers of the flat look, open for tests.
TColor ShiftColor(TColor c, int32_t amount);
TColor MixColors(TColor c1, TColor c2, int32_t w); // w below 256, else EAssertionFailed

} // namespace strandel
