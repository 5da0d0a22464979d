#include "graphics/rx32_layers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace strandel {

namespace {
TLayerStates StateOf(TMouseButton button) { return TLayerStates(1u << button); }
} // namespace

// ---- TLayerCollection ----------------------------------------------------------------------------

TLayerCollection::TLayerCollection(ILayerOwner *owner, const TCoordTransform *transform)
    : m_owner(owner), m_transform(transform)
{
}

TLayerCollection::~TLayerCollection()
{
    m_updateCount = 1; // no notices while tearing down
    while (!m_items.empty())
        delete m_items.back();
}

void TLayerCollection::InsertItem(TCustomLayer *layer)
{
    BeginUpdate();
    m_items.push_back(layer);
    EndUpdate();
}

void TLayerCollection::RemoveItem(TCustomLayer *layer)
{
    BeginUpdate();
    const int32_t i = IndexOf(layer);
    if (i >= 0)
        m_items.erase(m_items.begin() + i);
    if (m_mouseListener == layer)
        m_mouseListener = nullptr;
    EndUpdate();
}

void TLayerCollection::MoveItem(int32_t from, int32_t to)
{
    TCustomLayer *layer = m_items[size_t(from)];
    m_items.erase(m_items.begin() + from);
    m_items.insert(m_items.begin() + to, layer);
}

int32_t TLayerCollection::IndexOf(const TCustomLayer *layer) const
{
    const auto it = std::find(m_items.begin(), m_items.end(), layer);
    return it == m_items.end() ? -1 : int32_t(it - m_items.begin());
}

void TLayerCollection::Delete(int32_t index) { delete Items(index); }

void TLayerCollection::Clear()
{
    BeginUpdate();
    while (!m_items.empty())
        delete m_items.back();
    EndUpdate();
}

void TLayerCollection::Assign(const TPersistent *source)
{
    auto src = dynamic_cast<const TLayerCollection *>(source);
    if (!src) {
        TPersistent::Assign(source);
        return;
    }
    if (src == this)
        return;
    // Build the copies aside first: a layer that cannot be copied leaves this collection as it was.
    std::vector<std::unique_ptr<TCustomLayer>> copies;
    for (const TCustomLayer *layer : src->m_items) {
        copies.emplace_back(layer->CreateSame(nullptr));
        copies.back()->Assign(layer);
    }
    BeginUpdate();
    while (!m_items.empty())
        delete m_items.back();
    for (auto &copy : copies)
        copy.release()->SetLayerCollection(this);
    EndUpdate();
}

void TLayerCollection::SetItem(int32_t index, const TCustomLayer *value) { Items(index)->Assign(value); }

void TLayerCollection::BeginUpdate()
{
    if (m_updateCount == 0)
        Changing();
    ++m_updateCount;
}

void TLayerCollection::EndUpdate()
{
    if (m_updateCount <= 0)
        throw EAssertionFailed("Unpaired EndUpdate");
    if (--m_updateCount == 0)
        Changed();
}

void TLayerCollection::Changing()
{
    if (OnChanging)
        OnChanging(this);
}

void TLayerCollection::Changed()
{
    if (OnChange)
        OnChange(this);
}

void TLayerCollection::GDIUpdate()
{
    if (m_updateCount == 0 && OnGDIUpdate)
        OnGDIUpdate(this);
}

TCustomLayer *TLayerCollection::FindLayerAtPos(int32_t x, int32_t y, uint32_t optionsMask) const
{
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
        if (((*it)->LayerOptions() & optionsMask) && (*it)->HitTest(x, y))
            return *it;
    return nullptr;
}

void TLayerCollection::SetMouseListener(TCustomLayer *value)
{
    if (value == m_mouseListener)
        return;
    if (m_mouseListener)
        m_mouseListener->LayerStates = 0;
    m_mouseListener = value;
}

void TLayerCollection::SetMouseEvents(bool value)
{
    m_mouseEvents = value;
    SetMouseListener(nullptr);
}

TCustomLayer *TLayerCollection::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y)
{
    TCustomLayer *layer = m_mouseListener ? m_mouseListener : FindLayerAtPos(x, y, LayerOptMouseEvents);
    if (button == mbLeft && layer != m_mouseListener && (!layer || !(layer->LayerOptions() & LayerOptNoCapture)))
        SetMouseListener(layer);
    // A layer that does not capture still gets its press.
    if (TCustomLayer *target = m_mouseListener ? m_mouseListener : layer) {
        target->LayerStates |= StateOf(button);
        target->MouseDown(button, shift, x, y);
    }
    return layer;
}

TCustomLayer *TLayerCollection::MouseMove(TShiftState shift, int32_t x, int32_t y)
{
    TCustomLayer *layer = m_mouseListener ? m_mouseListener : FindLayerAtPos(x, y, LayerOptMouseEvents);
    if (layer)
        layer->MouseMove(shift, x, y);
    else if (m_owner && m_owner->IsControl())
        m_owner->SetScreenCursor(m_owner->OwnerCursor());
    return layer;
}

TCustomLayer *TLayerCollection::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y)
{
    TCustomLayer *layer = m_mouseListener ? m_mouseListener : FindLayerAtPos(x, y, LayerOptMouseEvents);
    if (layer) {
        layer->LayerStates &= TLayerStates(~StateOf(button));
        layer->MouseUp(button, shift, x, y);
    }
    if (m_mouseListener && m_mouseListener->LayerStates == 0)
        SetMouseListener(nullptr);
    return layer;
}

// ---- TCustomLayer ------------------------------------------------------------------------------

TCustomLayer::TCustomLayer(TLayerCollection *collection) { SetLayerCollection(collection); }

void TCustomLayer::BeforeDestruction()
{
    if (m_destroyNoticed)
        return;
    m_destroyNoticed = true;
    if (OnDestroy)
        OnDestroy(this);
}

TCustomLayer::~TCustomLayer()
{
    BeforeDestruction();
    // Tell the layers that asked, and drop this layer from their lists as well, so that
    // nobody keeps a pointer to it.
    while (!m_notifyList.empty()) {
        TCustomLayer *other = m_notifyList.back();
        m_notifyList.pop_back();
        other->Notification(this);
        other->RemoveNotification(this);
    }
    SetLayerCollection(nullptr);
}

bool TCustomLayer::HitTest(int32_t x, int32_t y)
{
    bool passed = DoHitTest(x, y);
    if (OnHitTest)
        OnHitTest(this, x, y, passed);
    return passed;
}

void TCustomLayer::DoPaint(TBitmap32 *buffer)
{
    Paint(buffer);
    if (OnPaint)
        OnPaint(this, buffer);
}

void TCustomLayer::SetScreenCursor(TCursor cursor) const
{
    if (m_collection && m_collection->GetOwner())
        m_collection->GetOwner()->SetScreenCursor(cursor);
}

void TCustomLayer::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y)
{
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TCustomLayer::MouseMove(TShiftState shift, int32_t x, int32_t y)
{
    SetScreenCursor(m_cursor);
    if (OnMouseMove)
        OnMouseMove(this, shift, x, y);
}

void TCustomLayer::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y)
{
    SetScreenCursor(crDefault);
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TCustomLayer::Changing()
{
    if (Visible() && m_collection && !(m_options & LayerOptNoUpdate))
        m_collection->Changing();
}

void TCustomLayer::Changed()
{
    if (!m_collection || (m_options & LayerOptNoUpdate))
        return;
    if (Visible())
        m_collection->Changed();
    else if (m_options & LayerOptGdiOverlay)
        m_collection->GDIUpdate();
}

void TCustomLayer::SetLayerOptions(uint32_t value)
{
    Changing();
    m_options = value;
    Changed();
}

void TCustomLayer::SetVisible(bool value)
{
    SetLayerOptions(value ? m_options | LayerOptVisible : m_options & ~LayerOptVisible);
}

void TCustomLayer::SetMouseEvents(bool value)
{
    SetLayerOptions(value ? m_options | LayerOptMouseEvents : m_options & ~LayerOptMouseEvents);
}

int32_t TCustomLayer::Index() const { return m_collection ? m_collection->IndexOf(this) : -1; }

void TCustomLayer::SetIndex(int32_t value)
{
    if (!m_collection)
        return;
    const int32_t current = Index();
    if (value == current)
        return;
    value = Constrain(value, 0, m_collection->Count() - 1);
    if (value == current)
        return;
    const bool visible = Visible();
    if (visible)
        m_collection->BeginUpdate();
    m_collection->MoveItem(current, value);
    if (visible)
        m_collection->EndUpdate();
}

void TCustomLayer::BringToFront()
{
    if (m_collection)
        SetIndex(m_collection->Count());
}

void TCustomLayer::SendToBack() { SetIndex(0); }

void TCustomLayer::SetLayerCollection(TLayerCollection *value)
{
    if (value == m_collection)
        return;
    if (m_collection) {
        if (m_collection->MouseListener() == this)
            m_collection->SetMouseListener(nullptr);
        m_collection->RemoveItem(this);
    }
    m_collection = value;
    if (m_collection)
        m_collection->InsertItem(this);
}

void TCustomLayer::SetCursor(TCursor value)
{
    if (value == m_cursor)
        return;
    m_cursor = value;
    if (m_collection && m_collection->MouseListener() == this)
        SetScreenCursor(value);
}

void TCustomLayer::SetAsMouseListener()
{
    if (!m_collection)
        return;
    m_collection->SetMouseListener(this);
    SetScreenCursor(m_cursor);
}

void TCustomLayer::AddNotification(TCustomLayer *layer)
{
    if (layer && std::find(m_notifyList.begin(), m_notifyList.end(), layer) == m_notifyList.end())
        m_notifyList.push_back(layer);
}

void TCustomLayer::RemoveNotification(TCustomLayer *layer)
{
    const auto it = std::find(m_notifyList.begin(), m_notifyList.end(), layer);
    if (it != m_notifyList.end())
        m_notifyList.erase(it);
}

// ---- TPositionedLayer --------------------------------------------------------------------------

TPositionedLayer::TPositionedLayer(TLayerCollection *collection) : TCustomLayer(collection)
{
    StoreOptions(LayerOptVisible | LayerOptMouseEvents);
}

TFloatRect TPositionedLayer::GetAdjustedLocation() const
{
    TFloatRect r = m_location;
    const TCoordTransform *t = LayerCollection() ? LayerCollection()->Transform() : nullptr;
    if (m_scaled && t) {
        const double sx = t->ScaleX / 65536.0, sy = t->ScaleY / 65536.0;
        r.Left = float(r.Left * sx + t->ShiftX);
        r.Right = float(r.Right * sx + t->ShiftX);
        r.Top = float(r.Top * sy + t->ShiftY);
        r.Bottom = float(r.Bottom * sy + t->ShiftY);
    }
    return r;
}

TRect TPositionedLayer::PaintRect() const
{
    TRect r = MakeRect(GetAdjustedLocation());
    ILayerOwner *owner = LayerCollection() ? LayerCollection()->GetOwner() : nullptr;
    if (owner) {
        const TPoint o = owner->PaintOrigin();
        OffsetRect(r, -o.X, -o.Y);
    }
    return r;
}

bool TPositionedLayer::DoHitTest(int32_t x, int32_t y)
{
    const TFloatRect r = GetAdjustedLocation();
    return r.Left <= x && x < r.Right && r.Top <= y && y < r.Bottom;
}

void TPositionedLayer::SetLocation(const TFloatRect &value)
{
    Changing();
    DoSetLocation(value);
    Changed();
}

void TPositionedLayer::SetScaled(bool value)
{
    if (value == m_scaled)
        return;
    Changing();
    m_scaled = value;
    Changed();
}

// ---- TBitmapLayer --------------------------------------------------------------------------------

TBitmapLayer::TBitmapLayer(TLayerCollection *collection) : TPositionedLayer(collection)
{
    m_bitmap.OnChange = [this](TThreadPersistent *) { Changed(); };
}

TBitmapLayer::~TBitmapLayer()
{
    BeforeDestruction();
    m_bitmap.OnChange = nullptr;
}

void TBitmapLayer::SetCropped(bool value)
{
    if (value == m_cropped)
        return;
    m_cropped = value;
    Changed();
}

bool TBitmapLayer::DoHitTest(int32_t x, int32_t y)
{
    if (!TPositionedLayer::DoHitTest(x, y))
        return false;
    if (!AlphaHitTest)
        return true;
    const TFloatRect r = GetAdjustedLocation();
    const int32_t w = RoundSat(double(r.Right) - r.Left), h = RoundSat(double(r.Bottom) - r.Top);
    if (w < 1 || h < 1)
        return false;
    const int32_t bx = RoundSat((double(x) - r.Left) * m_bitmap.Width() / w);
    const int32_t by = RoundSat((double(y) - r.Top) * m_bitmap.Height() / h);
    return (m_bitmap.GetPixelS(bx, by) >> 24) != 0;
}

void TBitmapLayer::Paint(TBitmap32 *buffer)
{
    TRect dst = PaintRect();
    TRect src = MakeRect(0, 0, m_bitmap.Width(), m_bitmap.Height());
    ILayerOwner *owner = LayerCollection() ? LayerCollection()->GetOwner() : nullptr;
    if (m_cropped && owner && owner->IsImage() && !owner->InPaintTo()) {
        TRect bitmapRect = owner->GetBitmapRect();
        const TPoint o = owner->PaintOrigin();
        OffsetRect(bitmapRect, -o.X, -o.Y);
        const int64_t lw = int64_t(dst.Right) - dst.Left, lh = int64_t(dst.Bottom) - dst.Top;
        if (lw < 1 || lh < 1)
            return;
        TRect c;
        IntersectRect(c, dst, bitmapRect);
        const auto scale = [](int64_t offset, int64_t size, int64_t span) {
            return RoundSat(double(offset * size) / double(span));
        };
        src.Left = scale(int64_t(c.Left) - dst.Left, m_bitmap.Width(), lw);
        src.Right = scale(int64_t(c.Right) - dst.Left, m_bitmap.Width(), lw);
        src.Top = scale(int64_t(c.Top) - dst.Top, m_bitmap.Height(), lh);
        src.Bottom = scale(int64_t(c.Bottom) - dst.Top, m_bitmap.Height(), lh);
        dst = c;
    }
    m_bitmap.DrawTo(buffer, dst, src);
}

// ---- TRubberbandLayer --------------------------------------------------------------------------

TRubberbandLayer::TRubberbandLayer(TLayerCollection *collection) : TPositionedLayer(collection) {}

void TRubberbandLayer::HandleChanged()
{
    if (LayerCollection())
        LayerCollection()->GDIUpdate();
}

void TRubberbandLayer::SetHandleFrame(TColor32 value)
{
    if (value != m_handleFrame) {
        m_handleFrame = value;
        HandleChanged();
    }
}

void TRubberbandLayer::SetHandleFill(TColor32 value)
{
    if (value != m_handleFill) {
        m_handleFill = value;
        HandleChanged();
    }
}

void TRubberbandLayer::SetHandles(TRBHandles value)
{
    if (value != m_handles) {
        m_handles = value;
        HandleChanged();
    }
}

void TRubberbandLayer::SetHandleSize(int32_t value)
{
    value = std::max(value, 1);
    if (value != m_handleSize) {
        m_handleSize = value;
        HandleChanged();
    }
}

void TRubberbandLayer::UpdateNoUpdateOption()
{
    StoreOptions(m_child ? LayerOptions() | LayerOptNoUpdate : LayerOptions() & ~LayerOptNoUpdate);
}

void TRubberbandLayer::SetChildLayer(TPositionedLayer *value)
{
    if (m_child) {
        RemoveNotification(m_child);
        m_child->RemoveNotification(this);
    }
    m_child = value;
    if (m_child) {
        SetLocation(m_child->Location());
        SetScaled(m_child->Scaled());
        AddNotification(m_child);
        // The child tells the band when it goes, so the band never keeps a freed child.
        m_child->AddNotification(this);
    }
    UpdateNoUpdateOption();
}

void TRubberbandLayer::Notification(TCustomLayer *layer)
{
    if (layer == m_child)
        m_child = nullptr;
    UpdateNoUpdateOption();
}

void TRubberbandLayer::DoSetLocation(const TFloatRect &value)
{
    TPositionedLayer::DoSetLocation(value);
    if (m_child)
        m_child->SetLocation(value);
}

TDragState TRubberbandLayer::GetDragState(int32_t x, int32_t y) const
{
    const int64_t d = int64_t(m_handleSize) + 1;
    TRect r = MakeRect(GetAdjustedLocation());
    const int64_t left = r.Left, top = r.Top, right = int64_t(r.Right) - 1, bottom = int64_t(r.Bottom) - 1;
    const auto near = [d](int64_t a, int64_t b) { return std::llabs(a - b) <= d; };
    const bool l = near(left, x), rt = near(right, x), cx = near((left + right) / 2, x);
    const bool t = near(top, y), b = near(bottom, y), cy = near((top + bottom) / 2, y);
    if (m_handles & (1u << rhCorners)) {
        if (rt && b) return dsSizeBR;
        if (l && b) return dsSizeBL;
        if (rt && t) return dsSizeTR;
        if (l && t) return dsSizeTL;
    }
    if (m_handles & (1u << rhSides)) {
        if (rt && cy) return dsSizeR;
        if (b && cx) return dsSizeB;
        if (l && cy) return dsSizeL;
        if (t && cx) return dsSizeT;
    }
    if ((m_handles & (1u << rhCenter)) && x >= left && x <= right && y >= top && y <= bottom)
        return dsMove;
    return dsNone;
}

void TRubberbandLayer::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y)
{
    if (!m_dragging) {
        m_dragState = GetDragState(x, y);
        m_dragging = m_dragState != dsNone;
        if (m_dragging) {
            m_oldLocation = Location();
            const TFloatRect a = GetAdjustedLocation();
            m_mouseShift = m_dragState == dsMove ? TFloatPoint{x - a.Left, y - a.Top} : TFloatPoint{};
        }
    }
    TPositionedLayer::MouseDown(button, shift, x, y);
}

namespace {
void LowEdge(float &lo, float hi, float delta, float min, float max)
{
    lo += delta;
    if (hi - lo < min)
        lo = hi - min;
    if (max > min && hi - lo > max)
        lo = hi - max;
}
void HighEdge(float lo, float &hi, float delta, float min, float max)
{
    hi += delta;
    if (hi - lo < min)
        hi = lo + min;
    if (max > min && hi - lo > max)
        hi = lo + max;
}
} // namespace

void TRubberbandLayer::MouseMove(TShiftState shift, int32_t x, int32_t y)
{
    if (!m_dragging) {
        m_dragState = GetDragState(x, y);
        TCursor cursor = crDefault;
        switch (m_dragState) {
        case dsMove: cursor = Cursor(); break;
        case dsSizeL: case dsSizeR: cursor = crSizeWE; break;
        case dsSizeT: case dsSizeB: cursor = crSizeNS; break;
        case dsSizeTL: case dsSizeBR: cursor = crSizeNWSE; break;
        case dsSizeTR: case dsSizeBL: cursor = crSizeNESW; break;
        default: break;
        }
        SetScreenCursor(cursor);
        return;
    }
    float mx = x - m_mouseShift.X, my = y - m_mouseShift.Y;
    if (Scaled()) {
        const TFloatRect a = GetAdjustedLocation(), l = Location();
        if (IsRectEmptyF(a))
            return;
        mx = (mx - a.Left) / (a.Right - a.Left) * (l.Right - l.Left) + l.Left;
        my = (my - a.Top) / (a.Bottom - a.Top) * (l.Bottom - l.Top) + l.Top;
    }
    TFloatRect n = m_oldLocation;
    if (m_dragState == dsMove) {
        const float w = n.Right - n.Left, h = n.Bottom - n.Top;
        n = {mx, my, mx + w, my + h};
    } else {
        const TDragState s = m_dragState;
        if (s == dsSizeL || s == dsSizeTL || s == dsSizeBL)
            LowEdge(n.Left, n.Right, mx - n.Left, MinWidth, MaxWidth);
        if (s == dsSizeR || s == dsSizeTR || s == dsSizeBR)
            HighEdge(n.Left, n.Right, mx - n.Right, MinWidth, MaxWidth);
        if (s == dsSizeT || s == dsSizeTL || s == dsSizeTR)
            LowEdge(n.Top, n.Bottom, my - n.Top, MinHeight, MaxHeight);
        if (s == dsSizeB || s == dsSizeBL || s == dsSizeBR)
            HighEdge(n.Top, n.Bottom, my - n.Bottom, MinHeight, MaxHeight);
    }
    DoResizing(m_oldLocation, n, m_dragState, shift);
    if (!(n == Location())) {
        SetLocation(n);
        if (OnUserChange)
            OnUserChange(this);
    }
}

void TRubberbandLayer::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y)
{
    m_dragging = false;
    TPositionedLayer::MouseUp(button, shift, x, y);
}

void TRubberbandLayer::DoResizing(const TFloatRect &oldLocation, TFloatRect &newLocation, TDragState dragState,
                                  TShiftState shift)
{
    if (OnResizing)
        OnResizing(this, oldLocation, newLocation, dragState, shift);
}

void TRubberbandLayer::Paint(TBitmap32 *buffer)
{
    const TRect r = PaintRect();
    if (m_handles & (1u << rhFrame)) {
        buffer->SetStipple({0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFF000000});
        buffer->StippleCounter = 0;
        buffer->StippleStep = 1.0f;
        buffer->FrameRectTSP(r.Left, r.Top, r.Right, r.Bottom);
    }
    const auto handle = [&](int32_t x, int32_t y) {
        const int64_t s = m_handleSize;
        const auto c = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
        const TRect h = MakeRect(c(x - s), c(y - s), c(x + s), c(y + s));
        buffer->FillRectS(h, m_handleFill);
        buffer->FrameRectS(h, m_handleFrame);
    };
    if (m_handles & (1u << rhCorners)) {
        handle(r.Left, r.Top);
        handle(r.Right, r.Top);
        handle(r.Left, r.Bottom);
        handle(r.Right, r.Bottom);
    }
    if (m_handles & (1u << rhSides)) {
        const int32_t cx = int32_t((int64_t(r.Left) + r.Right) / 2), cy = int32_t((int64_t(r.Top) + r.Bottom) / 2);
        handle(cx, r.Top);
        handle(r.Left, cy);
        handle(r.Right, cy);
        handle(cx, r.Bottom);
    }
}

} // namespace strandel
