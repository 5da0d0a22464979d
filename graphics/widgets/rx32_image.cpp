#include "graphics/widgets/rx32_image.h"

#include <cmath>
#include <mutex>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionSizeGrip>
#include <QWindow>
#include <QPaintEvent>
#include <QStyle>

#include "graphics/rx32_system.h"

namespace strandel {

namespace {

int32_t RoundEven(double v) { return RoundSat(v); } // nearest, halves to even

// A dotted frame that stays visible on any background: every other pixel inverted.
void DrawFocusRect(TBitmap32 *dest, const TRect &r)
{
    if (!dest || dest->Empty() || IsRectEmpty(r))
        return;
    auto invert = [dest](int32_t x, int32_t y) {
        if (x >= 0 && y >= 0 && x < dest->Width() && y < dest->Height())
            dest->SetPixel(x, y, dest->GetPixel(x, y) ^ 0x00FFFFFF);
    };
    for (int32_t x = r.Left; x < r.Right; x += 2) {
        invert(x, r.Top);
        if (r.Bottom - 1 > r.Top)
            invert(x, r.Bottom - 1);
    }
    for (int32_t y = r.Top + 2; y < r.Bottom - 1; y += 2) {
        invert(r.Left, y);
        if (r.Right - 1 > r.Left)
            invert(r.Right - 1, y);
    }
}

TMouseButton ButtonOf(Qt::MouseButton b)
{
    switch (b) {
    case Qt::RightButton: return mbRight;
    case Qt::MiddleButton: return mbMiddle;
    default: return mbLeft;
    }
}

int32_t PosX(const QMouseEvent *e) { return int32_t(std::floor(e->position().x())); }
int32_t PosY(const QMouseEvent *e) { return int32_t(std::floor(e->position().y())); }

} // namespace

TShiftState ShiftStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    TShiftState s = 0;
    if (modifiers & Qt::ShiftModifier)
        s |= ssShift;
    if (modifiers & Qt::AltModifier)
        s |= ssAlt;
    if (modifiers & Qt::ControlModifier)
        s |= ssCtrl;
    if (buttons & Qt::LeftButton)
        s |= ssLeft;
    if (buttons & Qt::RightButton)
        s |= ssRight;
    if (buttons & Qt::MiddleButton)
        s |= ssMiddle;
    return s;
}

TThemeNexus *gThemeNexus = nullptr;

void InstallStyleThemeQuery()
{
    // Fusion and the classic Windows style draw without themes; the others are themed.
    SetThemeQuery([] {
        const QStyle *style = QApplication::style();
        if (!style)
            return false;
        const QString name = style->name().toLower();
        return name != QLatin1String("fusion") && name != QLatin1String("windows");
    });
    // The program's one nexus, which opens the theme handles; it goes with the application.
    gThemeNexus = new TThemeNexus;
    qAddPostRoutine([] {
        delete gThemeNexus;
        gThemeNexus = nullptr;
    });
}

TAlign ControlAlign(const QWidget *control)
{
    if (!control)
        return alNone;
    const QVariant v = control->property("strandelAlign");
    return v.isValid() ? TAlign(v.toInt()) : alNone;
}

void SetControlAlign(QWidget *control, TAlign value)
{
    if (control)
        control->setProperty("strandelAlign", int(value));
}

// ---- TCustomPaintBox32

TCustomPaintBox32::TCustomPaintBox32(QWidget *parent) : QWidget(parent)
{
    // The theme services learn from the widget style once the first control exists.
    static std::once_flag themes;
    std::call_once(themes, InstallStyleThemeQuery);
    m_buffer.BeginUpdate(); // the buffer's change notifications never fire
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    resize(192, 192);
}

TCustomPaintBox32::~TCustomPaintBox32() = default;

TThemeNexus *TCustomPaintBox32::ThemeNexus() { return gThemeNexus; }

void TCustomPaintBox32::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if ((event->type() == QEvent::StyleChange || event->type() == QEvent::ThemeChange) && gThemeNexus)
        gThemeNexus->ThemeChanged();
}

void TCustomPaintBox32::Invalidate()
{
    m_bufferValid = false;
    update();
}

TRect TCustomPaintBox32::GetBufferRect() const
{
    const TRect vp = GetViewportRect();
    if (!isVisible())
        return vp;
    const QRect seen = visibleRegion().boundingRect().intersected(QRect(vp.Left, vp.Top, vp.Width(), vp.Height()));
    if (seen.isEmpty())
        return vp;
    return {seen.left(), seen.top(), seen.left() + seen.width(), seen.top() + seen.height()};
}

void TCustomPaintBox32::ResizeBuffer()
{
    const TRect vp = GetBufferRect();
    if (vp.Left != m_bufferOrigin.X || vp.Top != m_bufferOrigin.Y) {
        m_bufferOrigin = {vp.Left, vp.Top};
        m_bufferValid = false;
    }
    const int32_t nw = std::max(0, vp.Width()), nh = std::max(0, vp.Height());
    const int32_t w = m_buffer.Width(), h = m_buffer.Height();
    auto target = [this](int32_t n, int32_t cur) {
        int32_t t = cur;
        if (n > cur)
            t = n + m_bufferOversize;
        else if (cur - m_bufferOversize > n)
            t = n;
        return std::max(t, 1);
    };
    if (target(nw, w) == w && target(nh, h) == h)
        return;
    m_buffer.Lock();
    m_buffer.SetSize(nw, nh);
    m_buffer.Unlock();
    m_bufferValid = false;
}

void TCustomPaintBox32::Flush() { repaint(); }

void TCustomPaintBox32::Flush(const TRect &r)
{
    const TRect vp = GetBufferRect();
    repaint(QRect(r.Left + vp.Left, r.Top + vp.Top, r.Width(), r.Height()));
}

void TCustomPaintBox32::paintEvent(QPaintEvent *)
{
    ResizeBuffer();
    if (!m_bufferValid)
        DoPaintBuffer();
    Canvas canvas(this);
    const TRect vp = GetBufferRect();
    m_buffer.Lock();
    if (!m_buffer.Empty())
        canvas.BitBlt(vp.Left, vp.Top, vp.Width(), vp.Height(), m_buffer.Image(), 0, 0);
    m_buffer.Unlock();
    m_gdiCanvas = &canvas;
    DoPaintGDIOverlay();
    m_gdiCanvas = nullptr;
}

void TCustomPaintBox32::DoPaintGDIOverlay()
{
    if (OnGDIOverlay)
        OnGDIOverlay(this);
}

void TCustomPaintBox32::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // A hidden control sizes its buffer at its first paint, when it knows what is seen of it.
    if (isVisible())
        ResizeBuffer();
    m_bufferValid = false;
}

void TCustomPaintBox32::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    m_bufferValid = false;
}

void TCustomPaintBox32::mousePressEvent(QMouseEvent *event)
{
    if ((Options & (1 << pboAutoFocus)) && isEnabled() && isVisible())
        setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}

namespace {
bool IsArrowKey(int key) { return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down; }
} // namespace

bool TCustomPaintBox32::event(QEvent *event)
{
    // A control that wants the arrow keys keeps them from shortcuts too.
    if (event->type() == QEvent::ShortcutOverride && (Options & (1 << pboWantArrowKeys)) &&
        IsArrowKey(static_cast<QKeyEvent *>(event)->key())) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void TCustomPaintBox32::keyPressEvent(QKeyEvent *event)
{
    if (IsArrowKey(event->key()) && !(Options & (1 << pboWantArrowKeys))) {
        event->ignore(); // on to the parent
        return;
    }
    if (!OnKeyDown) {
        QWidget::keyPressEvent(event);
        return;
    }
    OnKeyDown(this, event->key(), ShiftStateOf(QGuiApplication::mouseButtons(), event->modifiers()));
    event->accept();
}

// ---- TPaintStages

PPaintStage TPaintStages::Add()
{
    m_items.emplace_back();
    return &m_items.back();
}

PPaintStage TPaintStages::Insert(int32_t index)
{
    index = std::clamp(index, 0, Count());
    auto it = m_items.insert(m_items.begin() + index, TPaintStage{});
    return &*it;
}

void TPaintStages::Delete(int32_t index)
{
    if (index < 0 || index >= Count())
        throw EListError("Invalid stage index");
    m_items.erase(m_items.begin() + index);
}

// ---- TCustomImage32

TCustomImage32::TCustomImage32(QWidget *parent) : TCustomPaintBox32(parent), m_layers(this, &m_cachedXForm)
{
    setMouseTracking(true);
    m_bitmap.OnChange = [this](TThreadPersistent *) { Changed(); };
    m_bitmap.OnResize = [this](TThreadPersistent *) { BitmapResized(); };
    m_layers.OnChange = [this](TLayerCollection *) { Changed(); };
    m_layers.OnGDIUpdate = [this](TLayerCollection *) { update(); };
    InitDefaultStages();
}

TCustomImage32::~TCustomImage32()
{
    BeginUpdate();
    m_bitmap.OnChange = nullptr;
    m_bitmap.OnResize = nullptr;
    m_layers.OnChange = nullptr;
    m_layers.OnGDIUpdate = nullptr;
    m_layers.Clear();
}

void TCustomImage32::InitDefaultStages()
{
    auto add = [this](uint32_t code, bool design, bool run, uint32_t param = 0) {
        PPaintStage s = m_paintStages.Add();
        s->StageCode = code;
        s->AtDesignTime = design;
        s->AtRunTime = run;
        s->StageParam = param;
    };
    add(StageClearBackground, true, true);
    add(StageControlFrame, true, false);
    add(StageDrawBitmap, true, true);
    add(StageBitmapFrame, true, false);
    add(StageDrawLayers, true, true, LayerOptVisible);
}

void TCustomImage32::Loaded()
{
    Invalidate();
    DoInitStages();
}

void TCustomImage32::DoInitStages()
{
    if (OnInitStages)
        OnInitStages(this);
}

void TCustomImage32::SetBitmap(const TBitmap32 &value)
{
    InvalidateCache();
    m_bitmap.Assign(&value);
}

void TCustomImage32::SetBitmapAlign(TBitmapAlign value)
{
    InvalidateCache();
    m_bitmapAlign = value;
    Changed();
}

void TCustomImage32::SetOffsetHorz(float value)
{
    if (value == m_offsetHorz)
        return;
    InvalidateCache();
    m_offsetHorz = value;
    Changed();
}

void TCustomImage32::SetOffsetVert(float value)
{
    if (value == m_offsetVert)
        return;
    InvalidateCache();
    m_offsetVert = value;
    Changed();
}

void TCustomImage32::SetScale(float value)
{
    if (!(value >= 0.001f))
        value = 0.001f;
    if (value == m_scale)
        return;
    InvalidateCache();
    m_scale = value;
    DoScaleChange();
    Changed();
}

void TCustomImage32::SetScaleMode(TScaleMode value)
{
    if (value == m_scaleMode)
        return;
    InvalidateCache();
    m_scaleMode = value;
    Changed();
}

void TCustomImage32::SetColor(TColor value)
{
    if (value == m_color)
        return;
    m_color = value;
    Invalidate();
}

void TCustomImage32::EndUpdate()
{
    // An unpaired call is reported but leaves the count at 0, so changes still repaint.
    if (m_updateCount <= 0) {
        m_updateCount = 0;
        throw EAssertionFailed("Unpaired EndUpdate call");
    }
    --m_updateCount;
}

void TCustomImage32::Changed()
{
    if (m_updateCount != 0)
        return;
    Invalidate();
    if (OnChange)
        OnChange(this);
}

void TCustomImage32::Invalidate()
{
    InvalidateBuffer();
    InvalidateCache();
    update();
}

void TCustomImage32::SetOnPixelCombine(TPixelCombineEvent value)
{
    m_bitmap.OnPixelCombine = std::move(value);
    Changed();
}

TSize TCustomImage32::GetBitmapSize() const
{
    const int32_t bw = m_bitmap.Width(), bh = m_bitmap.Height();
    if (m_bitmap.Empty() || width() == 0 || height() == 0)
        return {};
    TSize s;
    switch (m_scaleMode) {
    case smNormal: s = {bw, bh}; break;
    case smStretch: s = {width(), height()}; break;
    case smResize: {
        const float sx = float(width()) / float(bw);
        const float sy = float(height()) / float(bh);
        if (sx >= sy)
            s = {RoundEven(double(float(bw) * sy)), height()};
        else
            s = {width(), RoundEven(double(float(bh) * sx))};
        break;
    }
    case smScale:
        s = {RoundEven(double(float(bw) * m_scale)), RoundEven(double(float(bh) * m_scale))};
        break;
    }
    if (s.cx < 1)
        s.cx = 0;
    if (s.cy < 1)
        s.cy = 0;
    return s;
}

TRect TCustomImage32::GetBitmapRect() const
{
    if (m_bitmap.Empty())
        return {};
    const TSize s = GetBitmapSize();
    TRect r{0, 0, s.cx, s.cy};
    if (m_bitmapAlign == baCenter)
        OffsetRect(r, (width() - s.cx) / 2, (height() - s.cy) / 2);
    else if (m_bitmapAlign == baCustom)
        OffsetRect(r, RoundEven(m_offsetHorz), RoundEven(m_offsetVert));
    return r;
}

namespace {

// A rectangle of no area (a control of size 0) maps with the identity rather than failing.
TCoordTransform TransformFor(const TRect &r, int32_t bw, int32_t bh)
{
    TCoordTransform t;
    if (r.Width() <= 0 || r.Height() <= 0 || bw <= 0 || bh <= 0)
        return t;
    t.ShiftX = r.Left;
    t.ShiftY = r.Top;
    t.ScaleX = MulDiv(r.Width(), 65536, bw);
    t.ScaleY = MulDiv(r.Height(), 65536, bh);
    t.RevScaleX = MulDiv(bw, 65536, r.Width());
    t.RevScaleY = MulDiv(bh, 65536, r.Height());
    return t;
}

int32_t Narrow(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

} // namespace

void TCustomImage32::UpdateCache()
{
    if (m_cacheValid)
        return;
    m_cachedBitmapRect = GetBitmapRect();
    m_cachedXForm = m_bitmap.Empty() ? TCoordTransform{}
                                     : TransformFor(m_cachedBitmapRect, m_bitmap.Width(), m_bitmap.Height());
    m_cacheValid = true;
}

TPoint TCustomImage32::BitmapToControl(const TPoint &p)
{
    UpdateCache();
    const TCoordTransform &t = m_cachedXForm;
    return {Narrow(int64_t(p.X) * t.ScaleX / 65536 + t.ShiftX), Narrow(int64_t(p.Y) * t.ScaleY / 65536 + t.ShiftY)};
}

TPoint TCustomImage32::ControlToBitmap(const TPoint &p)
{
    UpdateCache();
    const TCoordTransform &t = m_cachedXForm;
    return {Narrow((int64_t(p.X) - t.ShiftX) * t.RevScaleX / 65536),
            Narrow((int64_t(p.Y) - t.ShiftY) * t.RevScaleY / 65536)};
}

void TCustomImage32::PaintTo(TBitmap32 *dest, const TRect &destRect)
{
    if (!dest)
        return;
    m_cachedBitmapRect = destRect;
    m_cachedXForm = m_bitmap.Empty() ? TCoordTransform{}
                                     : TransformFor(destRect, m_bitmap.Width(), m_bitmap.Height());
    m_cacheValid = true;
    m_paintToMode = true;
    m_extentW = width();
    m_extentH = height();
    for (int32_t i = 0; i < m_paintStages.Count(); ++i)
        if (m_paintStages.Items(i)->AtRunTime)
            ExecStage(dest, i);
    m_paintToMode = false;
    m_cacheValid = false;
}

void TCustomImage32::SetupBitmap(bool doClear, TColor32 clearColor)
{
    const TRect vp = GetViewportRect();
    m_bitmap.BeginUpdate();
    m_bitmap.SetSize(std::max(0, vp.Width()), std::max(0, vp.Height()));
    if (doClear)
        m_bitmap.Clear(clearColor);
    m_bitmap.EndUpdate();
    InvalidateCache();
    Changed();
}

void TCustomImage32::DoPaintBuffer()
{
    UpdateCache();
    // The buffer may hold only the seen part of the control: the stages draw in its
    // coordinates, while the transform stays in the control's, as hit testing uses it.
    const TRect part = GetBufferRect();
    const TRect savedRect = m_cachedBitmapRect;
    OffsetRect(m_cachedBitmapRect, -part.Left, -part.Top);
    m_extentW = width() - part.Left;
    m_extentH = height() - part.Top;
    m_paintOrigin = {part.Left, part.Top};
    for (int32_t i = 0; i < m_paintStages.Count(); ++i) {
        const TPaintStage *s = m_paintStages.Items(i);
        if ((DesignMode && s->AtDesignTime) || (!DesignMode && s->AtRunTime))
            ExecStage(&Buffer(), i);
    }
    m_cachedBitmapRect = savedRect;
    m_paintOrigin = {};
    TCustomPaintBox32::DoPaintBuffer();
}

void TCustomImage32::ExecStage(TBitmap32 *dest, int32_t index)
{
    switch (m_paintStages.Items(index)->StageCode) {
    case StageCustom: ExecCustom(dest, index); break;
    case StageClearBuffer: ExecClearBuffer(dest, index); break;
    case StageClearBackground: ExecClearBackgnd(dest, index); break;
    case StageDrawBitmap: ExecDrawBitmap(dest, index); break;
    case StageDrawLayers: ExecDrawLayers(dest, index); break;
    case StageControlFrame: ExecControlFrame(dest, index); break;
    case StageBitmapFrame: ExecBitmapFrame(dest, index); break;
    default: break;
    }
}

void TCustomImage32::ExecClearBuffer(TBitmap32 *dest, int32_t) { dest->Clear(Color32(m_color)); }

void TCustomImage32::ExecClearBackgnd(TBitmap32 *dest, int32_t)
{
    const TColor32 c = Color32(m_color);
    if (m_bitmap.Empty() || m_bitmap.DrawMode() != dmOpaque) {
        dest->Clear(c);
        return;
    }
    const TRect &r = m_cachedBitmapRect;
    const int32_t w = m_extentW, h = m_extentH;
    if (r.Left <= 0 && r.Right >= w && r.Top <= 0 && (r.Bottom >= h || m_bitmapAlign == baTile))
        return;
    dest->FillRectS(0, 0, w, r.Top, c);
    dest->FillRectS(0, r.Bottom, w, h, c);
    dest->FillRectS(0, r.Top, r.Left, r.Bottom, c);
    dest->FillRectS(r.Right, r.Top, w, r.Bottom, c);
}

void TCustomImage32::ExecDrawBitmap(TBitmap32 *dest, int32_t)
{
    const TRect &r = m_cachedBitmapRect;
    if (m_bitmap.Empty() || IsRectEmpty(r))
        return;
    m_bitmap.Lock();
    if (m_bitmapAlign == baTile) {
        // Tiles from the bitmap's place until the target is covered (the buffer may start
        // inside the control, so the first tiles can lie left of or above it).
        const int32_t sx = r.Width(), sy = r.Height();
        const int32_t x0 = r.Left < 0 ? r.Left + (-r.Left / sx) * sx : r.Left;
        const int32_t y0 = r.Top < 0 ? r.Top + (-r.Top / sy) * sy : r.Top;
        for (int32_t y = y0; y < dest->Height(); y += sy)
            for (int32_t x = x0; x < dest->Width(); x += sx)
                m_bitmap.DrawTo(dest, TRect{x, y, x + sx, y + sy});
    } else {
        m_bitmap.DrawTo(dest, r);
    }
    m_bitmap.Unlock();
}

void TCustomImage32::ExecDrawLayers(TBitmap32 *dest, int32_t stageNum)
{
    const uint32_t mask = m_paintStages.Items(stageNum)->StageParam;
    for (int32_t i = 0; i < m_layers.Count(); ++i) {
        TCustomLayer *layer = m_layers.Items(i);
        if (layer->LayerOptions() & mask)
            layer->DoPaint(dest);
    }
}

void TCustomImage32::ExecControlFrame(TBitmap32 *dest, int32_t)
{
    TRect r{0, 0, width(), height()};
    OffsetRect(r, -m_paintOrigin.X, -m_paintOrigin.Y);
    DrawFocusRect(dest, r);
}

void TCustomImage32::ExecBitmapFrame(TBitmap32 *dest, int32_t) { DrawFocusRect(dest, m_cachedBitmapRect); }

void TCustomImage32::ExecCustom(TBitmap32 *dest, int32_t stageNum)
{
    if (OnPaintStage)
        OnPaintStage(this, dest, uint32_t(stageNum));
}

void TCustomImage32::DoPaintGDIOverlay()
{
    if (Canvas *canvas = GDICanvas())
        for (int32_t i = 0; i < m_layers.Count(); ++i) {
            TCustomLayer *layer = m_layers.Items(i);
            if (layer->LayerOptions() & LayerOptGdiOverlay)
                layer->PaintGDI(*canvas);
        }
    TCustomPaintBox32::DoPaintGDIOverlay();
}

TSize TCustomImage32::AutoSizeExtent() const
{
    int32_t w = m_bitmap.Width(), h = m_bitmap.Height();
    if (m_scaleMode == smScale) {
        w = RoundEven(double(float(w) * m_scale));
        h = RoundEven(double(float(h) * m_scale));
    }
    return {w, h};
}

void TCustomImage32::SetAutoSize(bool value)
{
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    if (!value)
        return;
    int32_t w = width(), h = height();
    if (CanAutoSize(w, h) && (w != width() || h != height()))
        resize(w, h);
}

bool TCustomImage32::CanAutoSize(int32_t &newWidth, int32_t &newHeight)
{
    InvalidateCache();
    const TSize s = AutoSizeExtent();
    // An empty bitmap has no size to give: the control keeps its own.
    if (s.cx <= 0 || s.cy <= 0)
        return true;
    const TAlign align = Align();
    if (align == alNone || align == alLeft || align == alRight)
        newWidth = s.cx;
    if (align == alNone || align == alTop || align == alBottom)
        newHeight = s.cy;
    return true;
}

void TCustomImage32::BitmapResized()
{
    if (m_autoSize) {
        const TSize s = AutoSizeExtent();
        if (s.cx > 0 && s.cy > 0)
            setGeometry(x(), y(), s.cx, s.cy);
    }
    if (m_updateCount != 0 && OnBitmapResize)
        OnBitmapResize(this);
    InvalidateCache();
    Invalidate();
}

void TCustomImage32::resizeEvent(QResizeEvent *event)
{
    InvalidateCache();
    TCustomPaintBox32::resizeEvent(event);
    if (OnResize)
        OnResize(this);
}

void TCustomImage32::SetScreenCursor(TCursor cursor)
{
    switch (cursor) {
    case crSizeNESW: setCursor(Qt::SizeBDiagCursor); break;
    case crSizeNS: setCursor(Qt::SizeVerCursor); break;
    case crSizeNWSE: setCursor(Qt::SizeFDiagCursor); break;
    case crSizeWE: setCursor(Qt::SizeHorCursor); break;
    default: unsetCursor(); break;
    }
}

void TCustomImage32::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y)
{
    TCustomLayer *layer = m_layers.MouseEvents() ? m_layers.MouseDown(button, shift, x, y) : nullptr;
    // Qt grabs the mouse for the pressed widget by itself; nothing to capture here.
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y, layer);
}

void TCustomImage32::mousePressEvent(QMouseEvent *event) { ImageMouseDown(event); }

void TCustomImage32::ImageMouseDown(QMouseEvent *event)
{
    TCustomPaintBox32::mousePressEvent(event);
    MouseDown(ButtonOf(event->button()), ShiftStateOf(event->buttons(), event->modifiers()), PosX(event),
              PosY(event));
}

void TCustomImage32::mouseDoubleClickEvent(QMouseEvent *event)
{
    // As the second press of a double click: the double-click event first, then a mouse-down.
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick(this);
    TCustomPaintBox32::mousePressEvent(event);
    MouseDown(ButtonOf(event->button()), ShiftStateOf(event->buttons(), event->modifiers()) | ssDouble,
              PosX(event), PosY(event));
}

void TCustomImage32::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
    const TShiftState shift = ShiftStateOf(event->buttons(), event->modifiers());
    TCustomLayer *layer = m_layers.MouseEvents() ? m_layers.MouseMove(shift, PosX(event), PosY(event)) : nullptr;
    if (OnMouseMove)
        OnMouseMove(this, shift, PosX(event), PosY(event), layer);
}

void TCustomImage32::mouseReleaseEvent(QMouseEvent *event)
{
    const TMouseButton button = ButtonOf(event->button());
    const TShiftState shift = ShiftStateOf(event->buttons(), event->modifiers());
    TCustomLayer *layer =
        m_layers.MouseEvents() ? m_layers.MouseUp(button, shift, PosX(event), PosY(event)) : nullptr;
    if (OnMouseUp)
        OnMouseUp(this, button, shift, PosX(event), PosY(event), layer);
    QWidget::mouseReleaseEvent(event);
}

void TCustomImage32::enterEvent(QEnterEvent *event)
{
    if (OnMouseEnter)
        OnMouseEnter(this);
    QWidget::enterEvent(event);
}

void TCustomImage32::leaveEvent(QEvent *event)
{
    if (m_layers.MouseEvents() && !m_layers.MouseListener())
        unsetCursor();
    if (OnMouseLeave)
        OnMouseLeave(this);
    QWidget::leaveEvent(event);
}

// ---- TIVScrollProperties

int32_t TIVScrollProperties::Increment() const { return static_cast<TCustomRangeBar *>(Primary)->Increment(); }

void TIVScrollProperties::SetIncrement(int32_t value)
{
    const int32_t low = value & 0xFFFF;
    Both([low](TArrowBar *b) { static_cast<TCustomRangeBar *>(b)->SetIncrement(low); });
}

int32_t TIVScrollProperties::Size() const { return View->StoredScrollBarSize(); }

void TIVScrollProperties::SetSize(int32_t value)
{
    View->SetStoredScrollBarSize(value);
    View->AlignAll();
}

void TIVScrollProperties::Assign(const TIVScrollProperties &source)
{
    if (&source == this)
        return;
    SetColor(source.Color());
    SetBackgnd(source.Backgnd());
    SetButtonSize(source.ButtonSize());
    SetHandleColor(source.HandleColor());
    SetShowArrows(source.ShowArrows());
    SetShowHandleGrip(source.ShowHandleGrip());
    SetStyle(source.Style());
    SetIncrement(source.Increment());
    SetSize(source.Size());
}

// ---- TCustomImgView32

TCustomImgView32::TCustomImgView32(QWidget *parent) : TCustomImage32(parent)
{
    auto makeBar = [this](TScrollBarKind kind) {
        auto *bar = new TCustomRangeBar(this);
        bar->SetBorderStyle(bsNone);
        bar->SetKind(kind);
        bar->KeepCenter = true;
        bar->OnUserChange = [this](TArrowBar *sender) { ScrollHandler(sender); };
        return bar;
    };
    m_hScroll = makeBar(sbHorizontal);
    m_vScroll = makeBar(sbVertical);
    SetScaleMode(smScale);
    SetBitmapAlign(baCustom);
    m_scrollBars.View = this;
    m_scrollBars.Primary = m_hScroll;
    m_scrollBars.Secondary = m_vScroll;
    AlignAll();
}

TCustomImgView32::~TCustomImgView32()
{
    m_hScroll->OnUserChange = nullptr;
    m_vScroll->OnUserChange = nullptr;
}

int32_t TCustomImgView32::GetScrollBarSize() const
{
    if (m_scrollBarSize != 0)
        return m_scrollBarSize;
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

TRect TCustomImgView32::GetViewportRect() const
{
    const int32_t size = GetScrollBarSize();
    return {0, 0, width() - size, height() - size}; // room for both bars is always kept
}

void TCustomImgView32::AlignAll()
{
    const TRect v = GetViewportRect();
    m_hScroll->setGeometry(v.Left, v.Bottom, std::max(0, v.Width()), std::max(0, height() - v.Bottom));
    m_vScroll->setGeometry(v.Right, v.Top, std::max(0, width() - v.Right), std::max(0, v.Height()));
    m_hScroll->update();
    m_vScroll->update();
}

TRect TCustomImgView32::GetSizeGripRect() const
{
    const int32_t size = GetScrollBarSize();
    return {width() - size, height() - size, width(), height()};
}

bool TCustomImgView32::IsSizeGripVisible() const
{
    switch (m_sizeGrip) {
    case sgAlways: return true;
    case sgNone: return false;
    case sgAuto: break;
    }
    // Only a view that fills its form, through client-aligned parents all the way up.
    if (ControlAlign(this) != alClient)
        return false;
    for (const QWidget *p = parentWidget();; p = p->parentWidget()) {
        if (!p)
            return false;
        if (p->isWindow())
            return true;
        if (ControlAlign(p) != alClient)
            return false;
    }
}

void TCustomImgView32::DoDrawSizeGrip(QPainter &p, const TRect &r)
{
    const QRect q(r.Left, r.Top, r.Width(), r.Height());
    p.fillRect(q, QColor::fromRgb(Color32(clBtnFace) & 0xFFFFFF));
    QStyleOptionSizeGrip opt;
    opt.initFrom(this);
    opt.rect = q;
    opt.corner = Qt::BottomRightCorner;
    style()->drawControl(QStyle::CE_SizeGrip, &opt, &p, this);
}

void TCustomImgView32::PaintGrip()
{
    QPainter p(this);
    const TRect r = GetSizeGripRect();
    if (IsSizeGripVisible())
        DoDrawSizeGrip(p, r);
    else
        p.fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), QColor::fromRgb(Color32(clBtnFace) & 0xFFFFFF));
}

void TCustomImgView32::paintEvent(QPaintEvent *event)
{
    TCustomImage32::paintEvent(event);
    PaintGrip();
}

void TCustomImgView32::UpdateScrollBars()
{
    const TSize s = GetBitmapSize();
    m_hScroll->SetRange(s.cx);
    m_vScroll->SetRange(s.cy);
}

void TCustomImgView32::UpdateImage()
{
    const TSize s = GetBitmapSize();
    const TRect v = GetViewportRect();
    const int32_t w = v.Width(), h = v.Height();
    BeginUpdate();
    if (!m_centered) {
        SetOffsetHorz(-m_hScroll->Position());
        SetOffsetVert(-m_vScroll->Position());
    } else {
        SetOffsetHorz(w > s.cx ? float(w - s.cx) / 2 : -m_hScroll->Position());
        SetOffsetVert(h > s.cy ? float(h - s.cy) / 2 : -m_vScroll->Position());
    }
    InvalidateCache();
    EndUpdate();
    Changed();
}

void TCustomImgView32::ScrollToCenter(int32_t x, int32_t y)
{
    m_scrollLock = true;
    AlignAll();
    const TRect v = GetViewportRect();
    m_hScroll->SetPosition(float(x) * Scale() - float(v.Width()) / 2);
    m_vScroll->SetPosition(float(y) * Scale() - float(v.Height()) / 2);
    m_scrollLock = false;
    UpdateImage();
}

void TCustomImgView32::Scroll(int32_t dx, int32_t dy)
{
    m_scrollLock = true;
    m_hScroll->SetPosition(m_hScroll->Position() + float(dx));
    m_vScroll->SetPosition(m_vScroll->Position() + float(dy));
    m_scrollLock = false;
    UpdateImage();
}

void TCustomImgView32::ScrollHandler(TArrowBar *sender)
{
    if (m_scrollLock)
        return;
    if (sender)
        sender->update();
    UpdateImage();
    DoScroll();
    update();
}

void TCustomImgView32::DoScroll()
{
    if (OnScroll)
        OnScroll(this);
}

void TCustomImgView32::BitmapResized()
{
    TCustomImage32::BitmapResized();
    UpdateScrollBars();
    if (m_centered) {
        ScrollToCenter(Bitmap().Width() / 2, Bitmap().Height() / 2);
    } else {
        m_hScroll->SetPosition(0);
        m_vScroll->SetPosition(0);
        UpdateImage();
    }
}

void TCustomImgView32::DoScaleChange()
{
    InvalidateCache();
    UpdateScrollBars();
    UpdateImage();
    Invalidate();
}

void TCustomImgView32::SetCentered(bool value)
{
    InvalidateCache();
    m_centered = value;
    m_hScroll->KeepCenter = value;
    m_vScroll->KeepCenter = value;
    UpdateScrollBars();
    UpdateImage();
    if (value)
        ScrollToCenter(Bitmap().Width() / 2, Bitmap().Height() / 2);
    else
        ScrollToCenter(0, 0);
}

void TCustomImgView32::SetSizeGrip(TSizeGripStyle value)
{
    if (value != m_sizeGrip) {
        m_sizeGrip = value;
        Invalidate();
    }
}

void TCustomImgView32::resizeEvent(QResizeEvent *event)
{
    AlignAll();
    InvalidateCache();
    UpdateScrollBars();
    UpdateImage();
    Invalidate();
    TCustomImage32::resizeEvent(event);
}

void TCustomImgView32::Loaded()
{
    AlignAll();
    Invalidate();
    UpdateScrollBars();
    if (m_centered)
        ScrollToCenter(Bitmap().Width() / 2, Bitmap().Height() / 2);
    TCustomImage32::Loaded();
}

void TCustomImgView32::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const TRect grip = GetSizeGripRect();
    if (event->button() == Qt::LeftButton && IsSizeGripVisible() && PtInRect(grip, {pos.x(), pos.y()})) {
        // The window system moves the form's bottom-right corner from here on.
        QCoreApplication::processEvents();
        if (QWindow *w = window()->windowHandle())
            w->startSystemResize(Qt::BottomEdge | Qt::RightEdge);
        return;
    }
    ImageMouseDown(event);
}

void TCustomImgView32::mouseMoveEvent(QMouseEvent *event)
{
    TCustomImage32::mouseMoveEvent(event);
    const QPoint pos = event->position().toPoint();
    if (IsSizeGripVisible() && PtInRect(GetSizeGripRect(), {pos.x(), pos.y()}))
        setCursor(Qt::SizeFDiagCursor);
}

// ---- TBitmap32Collection

TBitmap32Item *TBitmap32Collection::Add()
{
    m_items.push_back(std::make_unique<TBitmap32Item>());
    return m_items.back().get();
}

void TBitmap32Collection::Assign(const TBitmap32Collection &source)
{
    if (&source == this)
        return;
    m_items.clear();
    for (const auto &item : source.m_items)
        Add()->SetBitmap(item->Bitmap());
}

} // namespace strandel
