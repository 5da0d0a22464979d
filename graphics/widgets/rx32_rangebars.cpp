#include "graphics/widgets/rx32_rangebars.h"

#include <algorithm>
#include <cmath>

#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QWheelEvent>

#include "graphics/rx32_system.h"

namespace strandel {

namespace {

constexpr int32_t kFirstDelay = 600, kRepeatDelay = 100, kHoverDelay = 150;

int32_t RoundEven(double v) { return RoundSat(v); }

QColor Q(TColor c)
{
    const TColor rgb = ColorToRGB(c);
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

QRect QR(const TRect &r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

void Fill(QPainter &p, const TRect &r, const QColor &c)
{
    if (!IsRectEmpty(r))
        p.fillRect(QR(r), c);
}

// Axis-aligned line from (x1, y1) to (x2, y2), the end point excluded (as the platform draws).
void LineTo(QPainter &p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const QColor &c)
{
    if (y1 == y2 && x1 != x2) {
        const int32_t l = x1 < x2 ? x1 : x2 + 1, r = x1 < x2 ? x2 : x1 + 1;
        p.fillRect(QRect(l, y1, r - l, 1), c);
    } else if (x1 == x2 && y1 != y2) {
        const int32_t t = y1 < y2 ? y1 : y2 + 1, b = y1 < y2 ? y2 : y1 + 1;
        p.fillRect(QRect(x1, t, 1, b - t), c);
    }
}

// Sides: bit per direction (left, up, right, down); each drawn side moves that edge inwards.
void DrawSides(QPainter &p, TRect &r, TRBDirections sides, const QColor &c)
{
    if (!sides)
        return;
    if (sides & (1 << drUp)) {
        LineTo(p, r.Left, r.Top, r.Right, r.Top, c);
        ++r.Top;
    }
    if (sides & (1 << drDown)) {
        LineTo(p, r.Left, r.Bottom - 1, r.Right, r.Bottom - 1, c);
        --r.Bottom;
    }
    if (sides & (1 << drLeft)) {
        LineTo(p, r.Left, r.Top, r.Left, r.Bottom, c);
        ++r.Left;
    }
    if (sides & (1 << drRight)) {
        LineTo(p, r.Right - 1, r.Top, r.Right - 1, r.Bottom, c);
        --r.Right;
    }
}

void DrawBevelFrame(QPainter &p, TRect &r, const QColor &c1, bool shrink, const QColor &c2)
{
    const TRect saved = r;
    --r.Right;
    --r.Bottom;
    LineTo(p, r.Left, r.Bottom, r.Left, r.Top, c1);
    LineTo(p, r.Left, r.Top, r.Right, r.Top, c1);
    LineTo(p, r.Right, r.Top, r.Right, r.Bottom, c2);
    LineTo(p, r.Right, r.Bottom, r.Left, r.Bottom, c2);
    r = shrink ? TRect{saved.Left + 1, saved.Top + 1, saved.Right - 1, saved.Bottom - 1} : saved;
}

// A two-pixel edge: outer colours first, then the inner ones; r loses two pixels on each side.
void DrawEdge(QPainter &p, TRect &r, const QColor &outerTL, const QColor &outerBR, const QColor &innerTL,
              const QColor &innerBR)
{
    DrawBevelFrame(p, r, outerTL, true, outerBR);
    DrawBevelFrame(p, r, innerTL, true, innerBR);
}

// The platform's two-colour pattern brush: a checker of single pixels.
void FillPatternRect(QPainter &p, const TRect &r, TColor c1, TColor c2)
{
    if (IsRectEmpty(r))
        return;
    if (c1 == c2) {
        Fill(p, r, Q(c1));
        return;
    }
    QImage pattern(8, 8, QImage::Format_RGB32);
    const QRgb a = Q(c1).rgb(), b = Q(c2).rgb();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            pattern.setPixel(x, y, ((x + y) & 1) ? b : a);
    p.save();
    p.setBrushOrigin(0, 0);
    p.fillRect(QR(r), QBrush(pattern));
    p.restore();
}

void PaintArrow(QPainter &p, const TRect &r, TRBDirection direction, const QColor &c)
{
    int32_t cx = (r.Left + r.Right - 1) / 2, cy = (r.Top + r.Bottom - 1) / 2;
    int32_t s = (std::min(cx - r.Left, cy - r.Top) * 3) / 4 - 1;
    if (s == 0)
        s = 1;
    const int32_t o = (direction == drLeft || direction == drUp) ? (s + 1) / 3 : s / 3;
    QPoint pts[3];
    switch (direction) {
    case drLeft:
        cx += o;
        pts[0] = {cx, cy + s}, pts[1] = {cx - s, cy}, pts[2] = {cx, cy - s};
        break;
    case drUp:
        cy += o;
        pts[0] = {cx + s, cy}, pts[1] = {cx, cy - s}, pts[2] = {cx - s, cy};
        break;
    case drRight:
        cx -= o;
        pts[0] = {cx, cy + s}, pts[1] = {cx + s, cy}, pts[2] = {cx, cy - s};
        break;
    case drDown:
        cy -= o;
        pts[0] = {cx + s, cy}, pts[1] = {cx, cy + s}, pts[2] = {cx - s, cy};
        break;
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(c);
    p.setBrush(c);
    p.drawPolygon(pts, 3);
    p.restore();
}

void DrawMacHandle(QPainter &p, TRect r, TColor handleColor, bool horizontal, bool grip, bool pushed)
{
    const QColor hi = Q(ShiftColor(handleColor, 24)), lo = Q(ShiftColor(handleColor, -24));
    DrawSides(p, r, 0x0F, Q(clWindowFrame));
    if (pushed)
        DrawBevelFrame(p, r, lo, true, Q(handleColor));
    else
        DrawBevelFrame(p, r, hi, true, Q(MixColors(clWindowFrame, handleColor, 96)));
    Fill(p, r, Q(handleColor));
    if (!grip)
        return;
    if (pushed)
        OffsetRect(r, 1, 1);
    const int32_t length = horizontal ? r.Width() : r.Height();
    const int32_t centre = horizontal ? (r.Left + r.Right) / 2 : (r.Top + r.Bottom) / 2;
    for (int32_t offset : {-5, -2, 1, 4}) {
        if ((offset == -5 || offset == 4) && length <= 10)
            continue;
        TRect mark = horizontal ? TRect{centre + offset, r.Top + 1, centre + offset + 2, r.Bottom - 1}
                                : TRect{r.Left + 1, centre + offset, r.Right - 1, centre + offset + 2};
        DrawBevelFrame(p, mark, hi, false, lo);
    }
}

QStyleOptionSlider ThemeOption(const QWidget *w, bool horizontal, const TRect &r, bool enabled, bool pushed,
                               bool hot)
{
    QStyleOptionSlider opt;
    opt.initFrom(w);
    opt.orientation = horizontal ? Qt::Horizontal : Qt::Vertical;
    opt.rect = QR(r);
    opt.state = QStyle::State_None;
    if (horizontal)
        opt.state |= QStyle::State_Horizontal;
    if (enabled)
        opt.state |= QStyle::State_Enabled;
    if (pushed)
        opt.state |= QStyle::State_Sunken;
    if (hot)
        opt.state |= QStyle::State_MouseOver;
    opt.minimum = 0;
    opt.maximum = 0;
    return opt;
}

} // namespace

TColor ShiftColor(TColor c, int32_t amount)
{
    const TColor rgb = ColorToRGB(c);
    auto ch = [&](int shift) { return Clamp(((rgb >> shift) & 0xFF) + amount) << shift; };
    return ch(0) | ch(8) | ch(16);
}

TColor MixColors(TColor c1, TColor c2, int32_t w)
{
    if (w < 0 || w >= 256)
        throw EAssertionFailed("Assertion failure");
    const uint32_t a = uint32_t(ColorToRGB(c1)), b = uint32_t(ColorToRGB(c2));
    const uint32_t rb = (((a & 0xFF00FF) * uint32_t(w) + (b & 0xFF00FF) * uint32_t(255 - w)) >> 8) & 0xFF00FF;
    const uint32_t g = (((a & 0xFF00) * uint32_t(w) + (b & 0xFF00) * uint32_t(255 - w)) >> 8) & 0xFF00;
    return TColor(rb | g);
}

// ---- TArrowBar

TArrowBar::TArrowBar(QWidget *parent) : QWidget(parent)
{
    resize(100, 16);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, [this] { TimerHandler(); });
}

TArrowBar::~TArrowBar() = default;

void TArrowBar::SetBackgnd(TRBBackgnd value)
{
    if (value != m_backgnd) {
        m_backgnd = value;
        update();
    }
}

void TArrowBar::SetBorderStyle(TBorderStyle value)
{
    if (value != m_borderStyle) {
        m_borderStyle = value;
        update();
    }
}

void TArrowBar::SetButtonSize(int32_t value)
{
    if (value != m_buttonSize) {
        m_buttonSize = value;
        update();
    }
}

void TArrowBar::SetHandleColor(TColor value)
{
    if (value != m_handleColor) {
        m_handleColor = value;
        update();
    }
}

void TArrowBar::SetKind(TScrollBarKind value)
{
    if (value != m_kind) {
        m_kind = value;
        update();
    }
}

void TArrowBar::SetShowArrows(bool value)
{
    if (value != m_showArrows) {
        m_showArrows = value;
        update();
    }
}

void TArrowBar::SetShowHandleGrip(bool value)
{
    if (value != m_showHandleGrip) {
        m_showHandleGrip = value;
        update();
    }
}

void TArrowBar::SetStyle(TRBStyle value)
{
    m_style = value;
    update();
}

void TArrowBar::SetColor(TColor value)
{
    if (value != m_color) {
        m_color = value;
        update();
    }
}

TRect TArrowBar::ClientRect() const
{
    const int32_t b = GetBorderSize();
    return {0, 0, std::max(0, width() - 2 * b), std::max(0, height() - 2 * b)};
}

int32_t TArrowBar::ClientLength() const
{
    const TRect c = ClientRect();
    return Horizontal() ? c.Width() : c.Height();
}

int32_t TArrowBar::GetButtonSize() const
{
    if (!m_showArrows)
        return 0;
    const TRect c = ClientRect();
    const int32_t length = Horizontal() ? c.Width() : c.Height();
    const int32_t thickness = Horizontal() ? c.Height() : c.Width();
    int32_t b = m_buttonSize != 0 ? m_buttonSize : std::min(thickness, 32);
    if (2 * b >= length)
        b = length / 2;
    if (m_style == rbsMac)
        --b;
    return b < 2 ? 0 : b;
}

TRect TArrowBar::GetTrackBoundary() const
{
    TRect r = ClientRect();
    const int32_t b = GetButtonSize();
    if (Horizontal()) {
        r.Left += b;
        r.Right -= b;
    } else {
        r.Top += b;
        r.Bottom -= b;
    }
    return r;
}

TRBZone TArrowBar::GetZone(int32_t x, int32_t y) const
{
    const TRect c = ClientRect();
    if (!PtInRect(c, {x, y}))
        return zNone;
    const int32_t b = GetButtonSize();
    const int32_t length = Horizontal() ? c.Width() : c.Height();
    const int32_t along = Horizontal() ? x : y;
    if (along < b)
        return zBtnPrev;
    if (along >= length - b)
        return zBtnNext;
    const TRect h = GetHandleRect();
    if (PtInRect(h, {x, y}))
        return zHandle;
    const int32_t start = Horizontal() ? h.Left : h.Top, end = Horizontal() ? h.Right : h.Bottom;
    if (0 < along && along < start)
        return zTrackPrev;
    if (end <= along && along < length - 1)
        return zTrackNext;
    return zNone;
}

TRect TArrowBar::GetZoneRect(TRBZone zone) const
{
    const TRect c = ClientRect();
    const int32_t b = GetButtonSize();
    switch (zone) {
    case zNone: return {};
    case zBtnPrev: return Horizontal() ? TRect{c.Left, c.Top, c.Left + b, c.Bottom} : TRect{c.Left, c.Top, c.Right, c.Top + b};
    case zBtnNext: return Horizontal() ? TRect{c.Right - b, c.Top, c.Right, c.Bottom} : TRect{c.Left, c.Bottom - b, c.Right, c.Bottom};
    default: break;
    }
    const TRect t = GetTrackBoundary();
    TRect h = GetHandleRect();
    if (!DrawEnabled() || IsRectEmpty(h)) {
        const int32_t mx = (t.Left + t.Right) / 2, my = (t.Top + t.Bottom) / 2;
        h = {mx, my, mx, my};
    }
    if (zone == zHandle)
        return h;
    if (Horizontal())
        return zone == zTrackPrev ? TRect{t.Left, t.Top, h.Left, t.Bottom} : TRect{h.Right, t.Top, t.Right, t.Bottom};
    return zone == zTrackPrev ? TRect{t.Left, t.Top, t.Right, h.Top} : TRect{t.Left, h.Bottom, t.Right, t.Bottom};
}

void TArrowBar::DoChange()
{
    if (OnChange)
        OnChange(this);
    if (OnUserChange && m_userChanging)
        OnUserChange(this);
}

void TArrowBar::DrawNCArea(QPainter &p)
{
    if (m_borderStyle != bsSingle)
        return;
    TRect r{0, 0, width(), height()};
    DrawBevelFrame(p, r, Q(clBtnShadow), false, Q(clBtnHighlight)); // sunken outer edge
}

void TArrowBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    DrawNCArea(p);
    const int32_t border = GetBorderSize();
    p.translate(border, border);
    const TRect c = ClientRect();
    p.setClipRect(QR(c));
    const bool horizontal = Horizontal();
    const bool e = DrawEnabled();
    if (m_showArrows) {
        DoDrawButton(p, GetZoneRect(zBtnPrev), horizontal ? drLeft : drUp, m_pressedZone == zBtnPrev, e,
                     m_hoverZone == zBtnPrev);
        DoDrawButton(p, GetZoneRect(zBtnNext), horizontal ? drRight : drDown, m_pressedZone == zBtnNext, e,
                     m_hoverZone == zBtnNext);
    }
    const TRect handle = e ? GetHandleRect() : TRect{};
    DoDrawTrack(p, GetZoneRect(zTrackPrev), horizontal ? drLeft : drUp, m_pressedZone == zTrackPrev, e,
                m_hoverZone == zTrackPrev);
    DoDrawTrack(p, GetZoneRect(zTrackNext), horizontal ? drRight : drDown, m_pressedZone == zTrackNext, e,
                m_hoverZone == zTrackNext);
    if (!IsRectEmpty(handle))
        DoDrawHandle(p, handle, horizontal, m_pressedZone == zHandle, m_hoverZone == zHandle);
}

void TArrowBar::DoDrawButton(QPainter &p, TRect r, TRBDirection direction, bool pushed, bool enabled, bool hot)
{
    if (IsRectEmpty(r))
        return;
    if (m_style == rbsDefault && USE_THEMES) {
        const QStyleOptionSlider opt = ThemeOption(this, Horizontal(), r, enabled, pushed, hot);
        const bool prev = direction == drLeft || direction == drUp;
        style()->drawControl(prev ? QStyle::CE_ScrollBarSubLine : QStyle::CE_ScrollBarAddLine, &opt, &p, this);
        return;
    }
    if (m_style == rbsDefault) {
        // The classic scroll arrow: a raised button, or a flat pushed one with the glyph moved.
        Fill(p, r, Q(clBtnFace));
        if (pushed) {
            TRect f = r;
            DrawSides(p, f, 0x0F, Q(clBtnShadow));
            OffsetRect(r, 1, 1);
        } else {
            TRect f = r;
            DrawEdge(p, f, Q(cl3DLight), Q(cl3DDkShadow), Q(clBtnHighlight), Q(clBtnShadow));
        }
        if (DrawEnabled()) {
            PaintArrow(p, r, direction, Q(clBtnText));
        } else {
            TRect moved = r;
            OffsetRect(moved, 1, 1);
            PaintArrow(p, moved, direction, Q(clBtnHighlight));
            PaintArrow(p, r, direction, Q(clBtnShadow));
        }
        return;
    }
    // The flat look: every side but the one facing the track.
    const TRBDirection facing = TRBDirection((direction + 2) % 4);
    const TRBDirections sides = TRBDirections(0x0F & ~(1 << facing));
    if (!DrawEnabled()) {
        DrawSides(p, r, sides, Q(clBtnShadow));
        Fill(p, r, Q(clBtnFace));
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
        TRect moved = r;
        OffsetRect(moved, 1, 1);
        PaintArrow(p, moved, direction, Q(clBtnHighlight));
        PaintArrow(p, r, direction, Q(clBtnShadow));
        return;
    }
    DrawSides(p, r, sides, Q(clWindowFrame));
    if (!pushed) {
        DrawBevelFrame(p, r, Q(clBtnHighlight), true, Q(clBtnShadow));
        Fill(p, r, Q(clBtnFace));
    } else {
        Fill(p, r, Q(clBtnFace));
        OffsetRect(r, 1, 1);
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
    PaintArrow(p, r, direction, Q(clBtnText));
}

void TArrowBar::DoDrawTrack(QPainter &p, TRect r, TRBDirection direction, bool pushed, bool enabled, bool hot)
{
    if (IsRectEmpty(r))
        return;
    if (m_style == rbsDefault && USE_THEMES) {
        QStyleOptionSlider opt = ThemeOption(this, Horizontal(), r, enabled, pushed, hot);
        const bool prev = direction == drLeft || direction == drUp;
        style()->drawControl(prev ? QStyle::CE_ScrollBarSubPage : QStyle::CE_ScrollBarAddPage, &opt, &p, this);
        return;
    }
    if (m_style == rbsDefault) {
        if (pushed)
            Fill(p, r, Q(clWindowFrame));
        else
            FillPatternRect(p, r, clBtnHighlight, m_color);
        return;
    }
    // The flat look: sides except the one facing the handle.
    const TRBDirections sides = TRBDirections(0x0F & ~(1 << TRBDirection((direction + 2) % 4)));
    const bool e = DrawEnabled();
    DrawSides(p, r, sides, Q(e ? clWindowFrame : clBtnShadow));
    if (pushed) {
        Fill(p, r, Q(clWindowFrame));
        return;
    }
    if (IsRectEmpty(r))
        return;
    if (!e) {
        Fill(p, r, Q(clBtnFace));
        return;
    }
    const QColor shadow = Q(MixColors(clWindowFrame, MixColors(clBtnHighlight, m_color, 127), 32));
    switch (direction) {
    case drLeft:
    case drUp:
        LineTo(p, r.Left, r.Bottom - 1, r.Left, r.Top, shadow);
        LineTo(p, r.Left, r.Top, r.Right, r.Top, shadow);
        ++r.Top;
        ++r.Left;
        break;
    case drRight:
        LineTo(p, r.Left, r.Top, r.Right, r.Top, shadow);
        ++r.Top;
        break;
    case drDown:
        LineTo(p, r.Left, r.Top, r.Left, r.Bottom, shadow);
        ++r.Left;
        break;
    }
    if (m_backgnd == bgPattern)
        FillPatternRect(p, r, clBtnHighlight, m_color);
    else
        Fill(p, r, Q(m_color));
}

void TArrowBar::DoDrawHandle(QPainter &p, TRect r, bool horizontal, bool pushed, bool hot)
{
    if (IsRectEmpty(r))
        return;
    if (m_style == rbsDefault && USE_THEMES) {
        QStyleOptionSlider opt = ThemeOption(this, horizontal, r, isEnabled(), pushed, hot);
        style()->drawControl(QStyle::CE_ScrollBarSlider, &opt, &p, this);
        return;
    }
    if (m_style == rbsDefault) {
        TRect f = r;
        DrawEdge(p, f, Q(cl3DLight), Q(cl3DDkShadow), Q(clBtnHighlight), Q(clBtnShadow));
        Fill(p, f, Q(clBtnFace));
        return;
    }
    DrawMacHandle(p, r, m_handleColor, horizontal, m_showHandleGrip, pushed);
}

QPoint TArrowBar::CursorClientPos() const
{
    const int32_t b = GetBorderSize();
    return mapFromGlobal(QCursor::pos()) - QPoint(b, b);
}

QPoint TArrowBar::ClampedCursorPos() const
{
    const TRect c = ClientRect();
    const QPoint p = CursorClientPos();
    return {std::clamp(p.x(), 0, std::max(0, c.Width() - 1)), std::clamp(p.y(), 0, std::max(0, c.Height() - 1))};
}

void TArrowBar::StartDragTracking()
{
    m_timer->setInterval(kFirstDelay);
    m_timerState = 2;
    TimerHandler(); // the first step comes with the press
    // A first step that could not move still arms the first delay.
    m_timer->setInterval(kFirstDelay);
    m_timerState = 1;
    m_timer->start();
}

void TArrowBar::StopDragTracking() { StartHotTracking(); }

void TArrowBar::StartHotTracking()
{
    m_timer->setInterval(kHoverDelay);
    m_timerState = 3;
    m_timer->start();
}

void TArrowBar::StopHotTracking()
{
    m_timer->stop();
    m_timerState = 0;
    m_hoverZone = zNone;
    update();
}

void TArrowBar::TimerHandler()
{
    switch (m_timerState) {
    case 1:
        m_timer->setInterval(kRepeatDelay);
        m_timerState = 2;
        break;
    case 3: {
        const QPoint p = CursorClientPos();
        if (!PtInRect(ClientRect(), {p.x(), p.y()})) {
            StopHotTracking();
            update();
        }
        return;
    }
    default: break;
    }
    if (m_timerState == 2)
        AsUser([this] { StepPressedZone(); });
}

void TArrowBar::MouseLeft() { StopHotTracking(); }

void TArrowBar::MouseDown(Qt::MouseButton button, int32_t x, int32_t y)
{
    if (button != Qt::LeftButton)
        return;
    m_pressedZone = GetZone(x, y);
    update();
    m_dragStartX = x;
    m_dragStartY = y;
    StartDragTracking();
}

void TArrowBar::MouseMove(int32_t x, int32_t y)
{
    if (m_pressedZone == zNone && DrawEnabled()) {
        const TRBZone z = GetZone(x, y);
        if (z != m_hoverZone) {
            m_hoverZone = z;
            if (z != zNone)
                StartHotTracking();
            update();
        }
    }
}

void TArrowBar::MouseUp(int32_t, int32_t)
{
    m_pressedZone = zNone;
    update();
    StopDragTracking();
}

void TArrowBar::mousePressEvent(QMouseEvent *event)
{
    const int32_t b = GetBorderSize();
    MouseDown(event->button(), int32_t(std::floor(event->position().x())) - b,
              int32_t(std::floor(event->position().y())) - b);
}

void TArrowBar::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
    const int32_t b = GetBorderSize();
    MouseMove(int32_t(std::floor(event->position().x())) - b, int32_t(std::floor(event->position().y())) - b);
}

void TArrowBar::mouseReleaseEvent(QMouseEvent *event)
{
    QWidget::mouseReleaseEvent(event);
    const int32_t b = GetBorderSize();
    MouseUp(int32_t(std::floor(event->position().x())) - b, int32_t(std::floor(event->position().y())) - b);
}

void TArrowBar::wheelEvent(QWheelEvent *event)
{
    const QPoint d = event->angleDelta();
    const int32_t delta = d.y() != 0 ? d.y() : d.x();
    if (delta != 0)
        MouseWheel(delta);
    event->accept();
}

void TArrowBar::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    MouseLeft();
}

void TArrowBar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        update();
}

// ---- TCustomRangeBar

TCustomRangeBar::TCustomRangeBar(QWidget *parent) : TArrowBar(parent) { UpdateEffectiveWindow(); }

void TCustomRangeBar::UpdateEffectiveWindow()
{
    m_effectiveWindow = m_window > 0 ? m_window : (Horizontal() ? width() : height());
}

void TCustomRangeBar::AdjustPosition()
{
    if (m_position > float(m_range - m_effectiveWindow))
        m_position = float(m_range - m_effectiveWindow);
    if (m_position < 0)
        m_position = 0;
}

bool TCustomRangeBar::DrawEnabled() const { return isEnabled() && m_range > m_effectiveWindow; }

void TCustomRangeBar::SetParams(int32_t newRange, int32_t newWindow)
{
    newRange = std::max(newRange, 0);
    newWindow = std::max(newWindow, 0);
    if (newRange == m_range && newWindow == m_effectiveWindow)
        return;
    const int32_t w0 = m_effectiveWindow, r0 = m_range;
    m_range = newRange;
    m_window = newWindow;
    UpdateEffectiveWindow();
    if (KeepCenter && m_effectiveWindow < m_range) {
        const float c = w0 < r0 ? (float(w0) * 0.5f + m_position) / float(r0) : 0.5f;
        m_position = float(m_range) * c - float(m_effectiveWindow) * 0.5f;
    }
    AdjustPosition();
    update();
}

void TCustomRangeBar::SetPosition(float value)
{
    if (value == m_position)
        return;
    const float old = m_position;
    m_position = value;
    AdjustPosition();
    if (m_position != old) {
        update();
        DoChange();
    }
}

TRect TCustomRangeBar::GetHandleRect() const
{
    const TRect t = GetTrackBoundary();
    const int32_t l = Horizontal() ? t.Width() : t.Height();
    if (l < 18)
        return {};
    int32_t size = l, offset = 0;
    if (m_range > m_effectiveWindow) {
        size = RoundEven(double(l) * m_effectiveWindow / m_range);
        offset = RoundEven(double(l) * m_position / m_range);
        if (size < 17) {
            size = 17;
            offset = RoundEven(double(l - 17) * m_position / (m_range - m_effectiveWindow));
        }
    }
    if (Horizontal())
        return {t.Left + offset, t.Top, t.Left + offset + size, t.Bottom};
    return {t.Left, t.Top + offset, t.Right, t.Top + offset + size};
}

void TCustomRangeBar::StepPressedZone()
{
    const float old = m_position;
    const TRBZone cursorZone = [this] {
        const QPoint p = ClampedCursorPos();
        return GetZone(p.x(), p.y());
    }();
    switch (m_pressedZone) {
    case zBtnPrev:
        SetPosition(m_position - float(m_increment));
        if (m_position == old)
            StopDragTracking();
        break;
    case zTrackPrev:
        if (cursorZone == zBtnPrev || cursorZone == zTrackPrev)
            SetPosition(m_position - float(m_effectiveWindow));
        break;
    case zTrackNext:
        if (cursorZone == zTrackNext || cursorZone == zBtnNext)
            SetPosition(m_position + float(m_effectiveWindow));
        break;
    case zBtnNext:
        SetPosition(m_position + float(m_increment));
        if (m_position == old)
            StopDragTracking();
        break;
    default: break;
    }
}

void TCustomRangeBar::MouseDown(Qt::MouseButton button, int32_t x, int32_t y)
{
    if (m_range <= m_effectiveWindow) {
        m_pressedZone = zNone;
        return;
    }
    TArrowBar::MouseDown(button, x, y);
    if (m_pressedZone == zHandle) {
        StopDragTracking();
        m_positionBeforeDrag = m_position;
    }
}

void TCustomRangeBar::MouseMove(int32_t x, int32_t y)
{
    TArrowBar::MouseMove(x, y);
    if (m_pressedZone != zHandle || m_range <= m_effectiveWindow)
        return;
    const int32_t d = Horizontal() ? x - m_dragStartX : y - m_dragStartY;
    // The same track length as the handle's rectangle, so the handle follows the mouse.
    const TRect t = GetTrackBoundary();
    const int32_t l = Horizontal() ? t.Width() : t.Height();
    double move = 0;
    if (RoundEven(double(l) * m_effectiveWindow / m_range) < 17) {
        if (l - 17 > 0)
            move = RoundEven(double(m_range - m_effectiveWindow) * d / (l - 17));
    } else if (l > 0) {
        move = double(m_range) * d / l;
    }
    AsUser([&] { SetPosition(float(m_positionBeforeDrag + move)); });
}

void TCustomRangeBar::MouseWheel(int32_t wheelDelta)
{
    // A wheel turn is the user's doing: OnUserChange sees it too.
    AsUser([&] { SetPosition(m_position + float(m_increment) * float(wheelDelta) / 120.0f); });
}

void TCustomRangeBar::resizeEvent(QResizeEvent *event)
{
    if (KeepCenter) {
        const int32_t w0 = m_effectiveWindow;
        UpdateEffectiveWindow();
        if (m_effectiveWindow < m_range) {
            const float c = w0 < m_range ? (float(w0) * 0.5f + m_position) / float(m_range) : 0.5f;
            m_position = float(m_range) * c - float(m_effectiveWindow) * 0.5f;
        }
    }
    AdjustPosition();
    TArrowBar::resizeEvent(event);
}

// ---- TCustomGaugeBar

TCustomGaugeBar::TCustomGaugeBar(QWidget *parent) : TArrowBar(parent) {}

void TCustomGaugeBar::SetHandleSize(int32_t value)
{
    value = std::max(value, 0);
    if (value != m_handleSize) {
        m_handleSize = value;
        update();
    }
}

void TCustomGaugeBar::SetMax(int32_t value)
{
    if (value <= m_min && !m_loading)
        value = m_min + 1;
    if (value != m_max) {
        m_max = value;
        AdjustPosition();
        update();
    }
}

void TCustomGaugeBar::SetMin(int32_t value)
{
    if (value >= m_max && !m_loading)
        value = m_max - 1;
    if (value != m_min) {
        m_min = value;
        AdjustPosition();
        update();
    }
}

void TCustomGaugeBar::Loaded()
{
    m_loading = false;
    AdjustPosition();
    update();
}

void TCustomGaugeBar::SetPosition(int32_t value)
{
    // Min first: while loading Max may lie below Min, and then Min wins.
    if (value > m_max)
        value = m_max;
    if (value < m_min)
        value = m_min;
    if (value != m_position) {
        m_position = value;
        update();
        DoChange();
    }
}

void TCustomGaugeBar::AdjustPosition()
{
    if (m_position < m_min)
        SetPosition(m_min);
    else if (m_position > m_max)
        SetPosition(m_max);
}

int32_t TCustomGaugeBar::GetHandleSize() const
{
    const TRect t = GetTrackBoundary();
    const int32_t l = Horizontal() ? t.Width() : t.Height();
    const TRect c = ClientRect();
    int32_t s = m_handleSize != 0 ? m_handleSize : (Horizontal() ? c.Height() : c.Width());
    s = std::min(s, l - 1);
    return std::max(s, 0);
}

TRect TCustomGaugeBar::GetHandleRect() const
{
    const TRect t = GetTrackBoundary();
    const int32_t l = Horizontal() ? t.Width() : t.Height();
    const int32_t size = GetHandleSize();
    // No span (Max at or below Min while loading) puts the handle at the start.
    const int32_t offset =
        m_max > m_min ? RoundEven(double(l - size) * (double(m_position) - m_min) / (double(m_max) - m_min)) : 0;
    if (Horizontal())
        return {t.Left + offset, t.Top, t.Left + offset + size, t.Bottom};
    return {t.Left, t.Top + offset, t.Right, t.Top + offset + size};
}

void TCustomGaugeBar::StepPressedZone()
{
    const int32_t old = m_position;
    const QPoint p = ClampedCursorPos();
    const TRBZone cursorZone = GetZone(p.x(), p.y());
    switch (m_pressedZone) {
    case zBtnPrev:
        SetPosition(m_position - m_smallChange);
        if (m_position == old)
            StopDragTracking();
        break;
    case zTrackPrev:
        if (cursorZone == zBtnPrev || cursorZone == zTrackPrev)
            SetPosition(m_position - m_largeChange);
        break;
    case zTrackNext:
        if (cursorZone == zTrackNext || cursorZone == zBtnNext)
            SetPosition(m_position + m_largeChange);
        break;
    case zBtnNext:
        SetPosition(m_position + m_smallChange);
        if (m_position == old)
            StopDragTracking();
        break;
    default: break;
    }
}

void TCustomGaugeBar::MouseDown(Qt::MouseButton button, int32_t x, int32_t y)
{
    TArrowBar::MouseDown(button, x, y);
    if (m_pressedZone == zHandle) {
        StopDragTracking();
        m_positionBeforeDrag = float(m_position);
    }
}

void TCustomGaugeBar::MouseMove(int32_t x, int32_t y)
{
    TArrowBar::MouseMove(x, y);
    if (m_pressedZone != zHandle)
        return;
    const int32_t d = Horizontal() ? x - m_dragStartX : y - m_dragStartY;
    const TRect t = GetTrackBoundary();
    const int32_t span = (Horizontal() ? t.Width() : t.Height()) - GetHandleSize();
    if (span <= 0)
        return; // a track no longer than its handle cannot be dragged along
    const double move = (double(m_max) - m_min) * d / span;
    AsUser([&] { SetPosition(RoundSat(double(m_positionBeforeDrag) + move)); });
}

void TCustomGaugeBar::MouseWheel(int32_t wheelDelta)
{
    const int64_t target = int64_t(m_position) + (int64_t(m_smallChange) * wheelDelta) / 120;
    AsUser([&] { SetPosition(int32_t(std::clamp<int64_t>(target, INT32_MIN, INT32_MAX))); });
}

} // namespace strandel
