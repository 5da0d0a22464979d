#pragma once
// Layers above an image control's bitmap: the collection that owns them and routes the
// mouse, positioned and bitmap layers, and the interactive rubber band. Pure logic: the
// image control is reached through the small ILayerOwner interface.
#include <functional>
#include <vector>

#include "graphics/rx32.h"

namespace strandel {

constexpr uint32_t LayerOptVisible = 0x80000000;
constexpr uint32_t LayerOptGdiOverlay = 0x40000000;
constexpr uint32_t LayerOptMouseEvents = 0x20000000;
constexpr uint32_t LayerOptNoUpdate = 0x10000000;
constexpr uint32_t LayerOptNoCapture = 0x08000000;

enum TMouseButton : uint8_t { mbLeft = 0, mbRight = 1, mbMiddle = 2 };
enum TLayerState : uint8_t { lsMouseLeft = 0, lsMouseRight = 1, lsMouseMiddle = 2 };
using TLayerStates = uint8_t; // bit (1 << TLayerState)
using TShiftState = uint32_t; // the platform's modifier and button bits, passed through
using TCursor = int16_t;
constexpr TCursor crDefault = 0, crSizeNESW = -6, crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9;

// The bitmap-to-control mapping an image control owns.
struct TCoordTransform
{
    TFixed ScaleX = FixedOne, ScaleY = FixedOne;
    int32_t ShiftX = 0, ShiftY = 0;
    TFixed RevScaleX = FixedOne, RevScaleY = FixedOne;
};

// What the layers need of the image control that owns their collection.
class ILayerOwner
{
public:
    virtual ~ILayerOwner() = default;
    virtual bool IsControl() const { return true; }
    virtual TCursor OwnerCursor() const { return crDefault; }
    virtual void SetScreenCursor(TCursor) {}
    // Image controls only: for cropped bitmap layers.
    virtual bool IsImage() const { return false; }
    virtual TRect GetBitmapRect() const { return {}; }
    virtual bool InPaintTo() const { return false; }
    // Control position of the target's pixel (0, 0) while layers paint: a control whose
    // buffer holds only its seen part paints with that part's origin.
    virtual TPoint PaintOrigin() const { return {}; }
};

class TCustomLayer;
class TLayerCollection;

using TLayerNotifyEvent = std::function<void(TCustomLayer *sender)>;
using TLayerMouseEvent = std::function<void(TCustomLayer *sender, TMouseButton, TShiftState, int32_t x, int32_t y)>;
using TLayerMouseMoveEvent = std::function<void(TCustomLayer *sender, TShiftState, int32_t x, int32_t y)>;
using THitTestEvent = std::function<void(TCustomLayer *sender, int32_t x, int32_t y, bool &passed)>;
using TPaintLayerEvent = std::function<void(TCustomLayer *sender, TBitmap32 *buffer)>;
using TCollectionNotifyEvent = std::function<void(TLayerCollection *sender)>;

class TLayerCollection : public TPersistent
{
public:
    explicit TLayerCollection(ILayerOwner *owner = nullptr, const TCoordTransform *transform = nullptr);
    ~TLayerCollection() override;
    const char *ClassName() const override { return "TLayerCollection"; }

    template <typename T> T *Add() { return new T(this); }
    template <typename T> T *Insert(int32_t index)
    {
        T *layer = Add<T>();
        layer->SetIndex(index);
        return layer;
    }
    void Delete(int32_t index);
    void Clear();
    // Copies a collection; fails without touching this one when a layer cannot be copied.
    void Assign(const TPersistent *source) override;

    void BeginUpdate();
    void EndUpdate();
    void Changing();
    void Changed();
    void GDIUpdate();

    TCustomLayer *FindLayerAtPos(int32_t x, int32_t y, uint32_t optionsMask) const;
    TCustomLayer *MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
    TCustomLayer *MouseMove(TShiftState shift, int32_t x, int32_t y);
    TCustomLayer *MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);

    int32_t Count() const { return int32_t(m_items.size()); }
    TCustomLayer *Items(int32_t index) const { return m_items.at(size_t(index)); }
    void SetItem(int32_t index, const TCustomLayer *value); // copies into the layer
    TCustomLayer *MouseListener() const { return m_mouseListener; }
    void SetMouseListener(TCustomLayer *value);
    bool MouseEvents() const { return m_mouseEvents; }
    void SetMouseEvents(bool value);
    ILayerOwner *GetOwner() const { return m_owner; }
    const TCoordTransform *Transform() const { return m_transform; }
    void SetTransform(const TCoordTransform *transform) { m_transform = transform; }
    int32_t UpdateCount() const { return m_updateCount; }

    TCollectionNotifyEvent OnChanging, OnChange, OnGDIUpdate;

private:
    friend class TCustomLayer;
    void InsertItem(TCustomLayer *layer);
    void RemoveItem(TCustomLayer *layer);
    void MoveItem(int32_t from, int32_t to);
    int32_t IndexOf(const TCustomLayer *layer) const;

    ILayerOwner *m_owner;
    const TCoordTransform *m_transform;
    std::vector<TCustomLayer *> m_items;
    bool m_mouseEvents = true;
    TCustomLayer *m_mouseListener = nullptr;
    int32_t m_updateCount = 0;
};

class TCustomLayer : public TPersistent
{
public:
    explicit TCustomLayer(TLayerCollection *collection);
    ~TCustomLayer() override;
    const char *ClassName() const override { return "TCustomLayer"; }
    // A new layer of the same class in the given collection.
    virtual TCustomLayer *CreateSame(TLayerCollection *collection) const { return new TCustomLayer(collection); }

    bool HitTest(int32_t x, int32_t y);
    void DoPaint(TBitmap32 *buffer);
    virtual void PaintGDI(Canvas &) {}
    void BringToFront();
    void SendToBack();
    int32_t Index() const;
    void SetIndex(int32_t value);
    void SetAsMouseListener();
    void AddNotification(TCustomLayer *layer);
    void RemoveNotification(TCustomLayer *layer);
    void Changing();
    void Changed();

    TLayerCollection *LayerCollection() const { return m_collection; }
    void SetLayerCollection(TLayerCollection *value);
    uint32_t LayerOptions() const { return m_options; }
    void SetLayerOptions(uint32_t value);
    bool Visible() const { return m_options & LayerOptVisible; }
    void SetVisible(bool value);
    bool MouseEvents() const { return m_options & LayerOptMouseEvents; }
    void SetMouseEvents(bool value);
    TCursor Cursor() const { return m_cursor; }
    void SetCursor(TCursor value);
    TLayerStates LayerStates = 0;

    virtual void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
    virtual void MouseMove(TShiftState shift, int32_t x, int32_t y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);

    THitTestEvent OnHitTest;
    TLayerMouseEvent OnMouseDown, OnMouseUp;
    TLayerMouseMoveEvent OnMouseMove;
    TPaintLayerEvent OnPaint;
    TLayerNotifyEvent OnDestroy;

protected:
    virtual bool DoHitTest(int32_t, int32_t) { return true; }
    virtual void Notification(TCustomLayer *) {}
    virtual void Paint(TBitmap32 *) {}
    // Runs OnDestroy once; the most derived destructor calls it while the layer is whole.
    void BeforeDestruction();
    void SetScreenCursor(TCursor cursor) const;
    void StoreOptions(uint32_t value) { m_options = value; }

private:
    TLayerCollection *m_collection = nullptr;
    std::vector<TCustomLayer *> m_notifyList;
    uint32_t m_options = LayerOptVisible;
    TCursor m_cursor = crDefault;
    bool m_destroyNoticed = false;
};

class TPositionedLayer : public TCustomLayer
{
public:
    explicit TPositionedLayer(TLayerCollection *collection);
    ~TPositionedLayer() override { BeforeDestruction(); }
    const char *ClassName() const override { return "TPositionedLayer"; }
    TCustomLayer *CreateSame(TLayerCollection *collection) const override { return new TPositionedLayer(collection); }

    TFloatRect GetAdjustedLocation() const;
    // The adjusted location made integer and moved into the target being painted.
    TRect PaintRect() const;
    const TFloatRect &Location() const { return m_location; }
    void SetLocation(const TFloatRect &value);
    bool Scaled() const { return m_scaled; }
    void SetScaled(bool value);

protected:
    bool DoHitTest(int32_t x, int32_t y) override;
    virtual void DoSetLocation(const TFloatRect &value) { m_location = value; }

private:
    TFloatRect m_location{0, 0, 64, 64};
    bool m_scaled = false;
};

class TBitmapLayer : public TPositionedLayer
{
public:
    explicit TBitmapLayer(TLayerCollection *collection);
    ~TBitmapLayer() override;
    const char *ClassName() const override { return "TBitmapLayer"; }
    TCustomLayer *CreateSame(TLayerCollection *collection) const override { return new TBitmapLayer(collection); }

    TBitmap32 &Bitmap() { return m_bitmap; }
    void SetBitmap(const TBitmap32 &value) { m_bitmap.Assign(&value); }
    bool AlphaHitTest = false;
    bool Cropped() const { return m_cropped; }
    void SetCropped(bool value);

protected:
    bool DoHitTest(int32_t x, int32_t y) override;
    void Paint(TBitmap32 *buffer) override;

private:
    TBitmap32 m_bitmap;
    bool m_cropped = false;
};

enum TDragState : uint8_t {
    dsNone = 0, dsMove, dsSizeL, dsSizeT, dsSizeR, dsSizeB, dsSizeTL, dsSizeTR, dsSizeBL, dsSizeBR
};
enum TRBHandle : uint8_t { rhCenter = 0, rhSides = 1, rhCorners = 2, rhFrame = 3 };
using TRBHandles = uint8_t; // bit (1 << TRBHandle)
constexpr TRBHandles AllRBHandles = 0x0F;
using TRBResizingEvent = std::function<void(TCustomLayer *sender, const TFloatRect &oldLocation,
                                            TFloatRect &newLocation, TDragState dragState, TShiftState shift)>;

class TRubberbandLayer : public TPositionedLayer
{
public:
    explicit TRubberbandLayer(TLayerCollection *collection);
    ~TRubberbandLayer() override { BeforeDestruction(); }
    const char *ClassName() const override { return "TRubberbandLayer"; }
    TCustomLayer *CreateSame(TLayerCollection *collection) const override { return new TRubberbandLayer(collection); }

    TPositionedLayer *ChildLayer() const { return m_child; }
    void SetChildLayer(TPositionedLayer *value);
    TColor32 HandleFrame() const { return m_handleFrame; }
    void SetHandleFrame(TColor32 value);
    TColor32 HandleFill() const { return m_handleFill; }
    void SetHandleFill(TColor32 value);
    TRBHandles Handles() const { return m_handles; }
    void SetHandles(TRBHandles value);
    int32_t HandleSize() const { return m_handleSize; }
    void SetHandleSize(int32_t value);
    float MinWidth = 10, MinHeight = 10, MaxWidth = 0, MaxHeight = 0;
    bool Dragging() const { return m_dragging; }
    TDragState DragState() const { return m_dragState; }

    virtual TDragState GetDragState(int32_t x, int32_t y) const;
    void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
    void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;

    TLayerNotifyEvent OnUserChange;
    TRBResizingEvent OnResizing;

protected:
    bool DoHitTest(int32_t x, int32_t y) override { return GetDragState(x, y) != dsNone; }
    void Notification(TCustomLayer *layer) override;
    void Paint(TBitmap32 *buffer) override;
    void DoSetLocation(const TFloatRect &value) override;
    virtual void DoResizing(const TFloatRect &oldLocation, TFloatRect &newLocation, TDragState dragState,
                            TShiftState shift);

private:
    void UpdateNoUpdateOption();
    void HandleChanged();

    TPositionedLayer *m_child = nullptr;
    TColor32 m_handleFrame = 0x00000000;
    TColor32 m_handleFill = 0x00FFFFFF;
    TRBHandles m_handles = AllRBHandles;
    int32_t m_handleSize = 3;
    bool m_dragging = false;
    TDragState m_dragState = dsNone;
    TFloatRect m_oldLocation;
    TFloatPoint m_mouseShift;
};

} // namespace strandel
