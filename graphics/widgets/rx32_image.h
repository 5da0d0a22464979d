#pragma once
// Widgets that draw through an off-screen TBitmap32 and copy it to the screen in one block:
// the double-buffered paint box and the image control with its paint stages and layers.
#include <functional>
#include <memory>
#include <vector>

#include <QWidget>

#include "graphics/rx32.h"
#include "graphics/rx32_layers.h"
#include "graphics/widgets/rx32_rangebars.h"

class QKeyEvent;

namespace strandel {

class TThemeNexus;

class EListError : public ERx32Error
{
public:
    using ERx32Error::ERx32Error;
};

enum TPaintBoxOption : uint8_t { pboWantArrowKeys = 0, pboAutoFocus = 1 };
using TPaintBoxOptions = uint8_t; // bit (1 << TPaintBoxOption)

// Modifier and button bits of TShiftState.
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64;

// How a control is aligned in its parent. Qt layouts do the placing; the value is kept on the
// widget (any widget, so that parents carry it too) for the auto-size and size-grip rules.
enum TAlign : uint8_t { alNone = 0, alTop = 1, alBottom = 2, alLeft = 3, alRight = 4, alClient = 5 };
TAlign ControlAlign(const QWidget *control);
void SetControlAlign(QWidget *control, TAlign value);

// Platform colours the controls use (0x00BBGGRR; system colours have the top bit set).
constexpr TColor clBlackColor = 0x000000;
constexpr TColor clMaroonColor = 0x000080;
constexpr TColor clWindowColor = TColor(0x80000005);

class TCustomPaintBox32 : public QWidget
{
public:
    explicit TCustomPaintBox32(QWidget *parent = nullptr);
    ~TCustomPaintBox32() override;

    TBitmap32 &Buffer() { return m_buffer; }
    int32_t BufferOversize() const { return m_bufferOversize; }
    void SetBufferOversize(int32_t value) { m_bufferOversize = value < 0 ? 0 : value; }
    bool BufferValid() const { return m_bufferValid; }
    TPaintBoxOptions Options = 0;
    TAlign Align() const { return ControlAlign(this); }
    void SetAlign(TAlign value) { SetControlAlign(this, value); }

    // Copies the buffer to the screen now (all of it, or only r in buffer coordinates).
    void Flush();
    void Flush(const TRect &r);
    // Marks the buffer invalid and schedules a repaint.
    virtual void Invalidate();
    void ResizeBuffer();
    virtual TRect GetViewportRect() const { return {0, 0, width(), height()}; }
    // The part of the viewport the buffer holds: the part that can be seen inside the parents,
    // so a control enlarged far beyond its parent (a zoomed picture) keeps a small buffer.
    TRect GetBufferRect() const;
    // The canvas of the screen copy, valid only inside OnGDIOverlay.
    Canvas *GDICanvas() const { return m_gdiCanvas; }

    std::function<void(TCustomPaintBox32 *sender)> OnGDIOverlay;
    // Key presses the control takes; arrow keys only with pboWantArrowKeys (otherwise they go
    // on to the parent, as dialog navigation).
    std::function<void(TCustomPaintBox32 *sender, int key, TShiftState shift)> OnKeyDown;

    // The program's theme nexus, made with the first control; null before.
    static TThemeNexus *ThemeNexus();

protected:
    virtual void DoPaintBuffer() { m_bufferValid = true; }
    virtual void DoPaintGDIOverlay();
    void InvalidateBuffer() { m_bufferValid = false; }

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    TBitmap32 m_buffer;
    int32_t m_bufferOversize = 40;
    bool m_bufferValid = false;
    TPoint m_bufferOrigin;
    Canvas *m_gdiCanvas = nullptr;
};

class TPaintBox32 : public TCustomPaintBox32
{
public:
    using TCustomPaintBox32::TCustomPaintBox32;
    std::function<void(TPaintBox32 *sender)> OnPaintBuffer;

protected:
    // Does not mark the buffer valid: the event paints on every screen update.
    void DoPaintBuffer() override
    {
        if (OnPaintBuffer)
            OnPaintBuffer(this);
    }
};

enum TPaintStageCode : uint32_t {
    StageCustom = 1,
    StageClearBuffer = 2,
    StageClearBackground = 3,
    StageDrawBitmap = 4,
    StageDrawLayers = 5,
    StageControlFrame = 6,
    StageBitmapFrame = 7,
};

struct TPaintStage
{
    bool AtDesignTime = false;
    bool AtRunTime = true;
    uint32_t StageCode = 0;
    uint32_t StageParam = 0;
};
using PPaintStage = TPaintStage *;

class TPaintStages
{
public:
    PPaintStage Add();
    PPaintStage Insert(int32_t index);
    void Delete(int32_t index); // EListError "Invalid stage index" outside 0..Count-1
    void Clear() { m_items.clear(); }
    int32_t Count() const { return int32_t(m_items.size()); }
    PPaintStage Items(int32_t index) { return &m_items[size_t(index)]; }

private:
    std::vector<TPaintStage> m_items;
};

enum TBitmapAlign : uint8_t { baTopLeft = 0, baCenter = 1, baTile = 2, baCustom = 3 };
enum TScaleMode : uint8_t { smNormal = 0, smStretch = 1, smScale = 2, smResize = 3 };

struct TSize
{
    int32_t cx = 0, cy = 0;
    bool operator==(const TSize &) const = default;
};

class TCustomImage32;
using TImageNotifyEvent = std::function<void(TCustomImage32 *sender)>;
using TPaintStageEvent = std::function<void(TCustomImage32 *sender, TBitmap32 *buffer, uint32_t stageNum)>;
using TImgMouseEvent = std::function<void(TCustomImage32 *sender, TMouseButton, TShiftState, int32_t x, int32_t y, TCustomLayer *layer)>;
using TImgMouseMoveEvent = std::function<void(TCustomImage32 *sender, TShiftState, int32_t x, int32_t y, TCustomLayer *layer)>;

class TCustomImage32 : public TCustomPaintBox32, public ILayerOwner
{
public:
    explicit TCustomImage32(QWidget *parent = nullptr);
    ~TCustomImage32() override;

    TBitmap32 &Bitmap() { return m_bitmap; }
    void SetBitmap(const TBitmap32 &value);
    TLayerCollection &Layers() { return m_layers; }
    void SetLayers(const TLayerCollection &value) { m_layers.Assign(&value); }
    TPaintStages &PaintStages() { return m_paintStages; }

    TBitmapAlign BitmapAlign() const { return m_bitmapAlign; }
    void SetBitmapAlign(TBitmapAlign value);
    float OffsetHorz() const { return m_offsetHorz; }
    void SetOffsetHorz(float value);
    float OffsetVert() const { return m_offsetVert; }
    void SetOffsetVert(float value);
    float Scale() const { return m_scale; }
    void SetScale(float value);
    TScaleMode ScaleMode() const { return m_scaleMode; }
    void SetScaleMode(TScaleMode value);
    TColor Color() const { return m_color; }
    void SetColor(TColor value);
    bool AutoSize() const { return m_autoSize; }
    // Switching it on sizes the control to the bitmap at once (through CanAutoSize).
    void SetAutoSize(bool value);
    // The size auto-sizing asks for: the bitmap's (scaled under smScale) along the sides the
    // alignment leaves free. An empty bitmap keeps the control's size.
    virtual bool CanAutoSize(int32_t &newWidth, int32_t &newHeight);
    // The control is never designed here; tests may switch the design-time stages on.
    bool DesignMode = false;

    virtual void BeginUpdate() { ++m_updateCount; }
    virtual void EndUpdate();
    virtual void Changed();
    void Invalidate() override;

    TPoint BitmapToControl(const TPoint &p);
    TPoint ControlToBitmap(const TPoint &p);
    TRect GetBitmapRect() const override;
    virtual TSize GetBitmapSize() const;
    void PaintTo(TBitmap32 *dest, const TRect &destRect);
    void SetupBitmap(bool doClear = false, TColor32 clearColor = 0xFF000000);
    void InvalidateCache() { m_cacheValid = false; }
    void UpdateCache();
    const TCoordTransform &CachedTransform() const { return m_cachedXForm; }
    const TRect &CachedBitmapRect() const { return m_cachedBitmapRect; }
    void SetOnPixelCombine(TPixelCombineEvent value);
    // Runs the stage initialisation hook (what loading a form does).
    virtual void Loaded();

    TImageNotifyEvent OnBitmapResize, OnChange, OnInitStages, OnMouseEnter, OnMouseLeave, OnDblClick, OnResize;
    TImgMouseEvent OnMouseDown, OnMouseUp;
    TImgMouseMoveEvent OnMouseMove;
    TPaintStageEvent OnPaintStage;

    // ILayerOwner
    bool IsImage() const override { return true; }
    bool InPaintTo() const override { return m_paintToMode; }
    TPoint PaintOrigin() const override { return m_paintOrigin; }
    void SetScreenCursor(TCursor cursor) override;

protected:
    virtual void BitmapResized();
    virtual void DoInitStages();
    virtual void DoScaleChange() {}
    // Runs the image's own mouse-down handling (layers, OnMouseDown).
    void ImageMouseDown(QMouseEvent *event);
    virtual void InitDefaultStages();
    virtual void ExecBitmapFrame(TBitmap32 *dest, int32_t stageNum);
    virtual void ExecClearBuffer(TBitmap32 *dest, int32_t stageNum);
    virtual void ExecClearBackgnd(TBitmap32 *dest, int32_t stageNum);
    virtual void ExecControlFrame(TBitmap32 *dest, int32_t stageNum);
    virtual void ExecCustom(TBitmap32 *dest, int32_t stageNum);
    virtual void ExecDrawBitmap(TBitmap32 *dest, int32_t stageNum);
    virtual void ExecDrawLayers(TBitmap32 *dest, int32_t stageNum);
    void DoPaintBuffer() override;
    void DoPaintGDIOverlay() override;

    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void ExecStage(TBitmap32 *dest, int32_t index);
    // Width and height the background stages cover.
    int32_t m_extentW = 0, m_extentH = 0;
    TPoint m_paintOrigin;
    TSize AutoSizeExtent() const;
    void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);

    TBitmap32 m_bitmap;
    TCoordTransform m_cachedXForm;
    TLayerCollection m_layers;
    TPaintStages m_paintStages;
    TBitmapAlign m_bitmapAlign = baTopLeft;
    float m_offsetHorz = 0, m_offsetVert = 0;
    float m_scale = 1.0f;
    TScaleMode m_scaleMode = smNormal;
    TColor m_color = clWindowColor;
    bool m_autoSize = false;
    int32_t m_updateCount = 0;
    TRect m_cachedBitmapRect;
    bool m_cacheValid = false;
    bool m_paintToMode = false;
};

class TImage32 : public TCustomImage32
{
public:
    using TCustomImage32::TCustomImage32;
};

enum TSizeGripStyle : uint8_t { sgAuto = 0, sgNone = 1, sgAlways = 2 };

class TCustomImgView32;

// The look and step of an image view's two bars as one property: the horizontal bar is the
// primary, the vertical one the secondary.
class TIVScrollProperties : public TArrowBarAccess
{
public:
    TCustomImgView32 *View = nullptr;
    int32_t Increment() const;
    void SetIncrement(int32_t value); // the low 16 bits, to both bars
    int32_t Size() const;
    void SetSize(int32_t value); // 0: the system's scroll-bar size
    void Assign(const TIVScrollProperties &source);
};

// An image with range bars along its right and bottom edges and an optional size grip: the
// bars scroll a bitmap larger than the view; a smaller one can be centred.
class TCustomImgView32 : public TCustomImage32
{
public:
    explicit TCustomImgView32(QWidget *parent = nullptr);
    ~TCustomImgView32() override;

    bool Centered() const { return m_centered; }
    void SetCentered(bool value);
    TIVScrollProperties &ScrollBars() { return m_scrollBars; }
    void SetScrollBars(const TIVScrollProperties &value) { m_scrollBars.Assign(value); }
    TSizeGripStyle SizeGrip() const { return m_sizeGrip; }
    void SetSizeGrip(TSizeGripStyle value);
    TCustomRangeBar *HScroll() const { return m_hScroll; }
    TCustomRangeBar *VScroll() const { return m_vScroll; }

    void AlignAll();
    int32_t GetScrollBarSize() const;
    int32_t StoredScrollBarSize() const { return m_scrollBarSize; }
    void SetStoredScrollBarSize(int32_t value) { m_scrollBarSize = value; }
    TRect GetSizeGripRect() const;
    bool IsSizeGripVisible() const;
    TRect GetViewportRect() const override;
    void Scroll(int32_t dx, int32_t dy);
    void ScrollToCenter(int32_t x, int32_t y); // bitmap pixels
    void UpdateImage();
    void UpdateScrollBars();
    void Loaded() override;

    std::function<void(TCustomImgView32 *sender)> OnScroll;

protected:
    virtual void DoScroll();
    virtual void ScrollHandler(TArrowBar *sender);
    virtual void DoDrawSizeGrip(QPainter &p, const TRect &r);
    void BitmapResized() override;
    void DoScaleChange() override;

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void PaintGrip();
    bool m_centered = true;
    int32_t m_scrollBarSize = 0;
    TIVScrollProperties m_scrollBars;
    TSizeGripStyle m_sizeGrip = sgAuto;
    bool m_scrollLock = false;
    TCustomRangeBar *m_hScroll = nullptr;
    TCustomRangeBar *m_vScroll = nullptr;
};

class TImgView32 : public TCustomImgView32
{
public:
    using TCustomImgView32::TCustomImgView32;
};

// A kept collection of bitmaps; setting an item's bitmap copies it.
class TBitmap32Item
{
public:
    TBitmap32 &Bitmap() { return m_bitmap; }
    void SetBitmap(const TBitmap32 &value) { m_bitmap.Assign(&value); }

private:
    TBitmap32 m_bitmap;
};

class TBitmap32Collection
{
public:
    explicit TBitmap32Collection(void *owner = nullptr) : m_owner(owner) {}
    TBitmap32Item *Add();
    int32_t Count() const { return int32_t(m_items.size()); }
    TBitmap32Item *Items(int32_t index) const { return m_items.at(size_t(index)).get(); }
    void SetItem(int32_t index, TBitmap32Item *value) { Items(index)->SetBitmap(value->Bitmap()); }
    void Assign(const TBitmap32Collection &source);
    void *GetOwner() const { return m_owner; }

private:
    void *m_owner;
    std::vector<std::unique_ptr<TBitmap32Item>> m_items;
};

class TBitmap32List
{
public:
    TBitmap32Collection &Bitmaps() { return m_bitmaps; }
    void SetBitmaps(const TBitmap32Collection &value) { m_bitmaps.Assign(value); }
    TBitmap32 &Bitmap(int32_t index) { return m_bitmaps.Items(index)->Bitmap(); }
    void SetBitmap(int32_t index, const TBitmap32 &value) { m_bitmaps.Items(index)->SetBitmap(value); }

private:
    TBitmap32Collection m_bitmaps{this};
};

// Translates Qt's mouse buttons and modifiers into the library's shift bits.
TShiftState ShiftStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

// Tells the theme services whether the application's style is a themed one.
void InstallStyleThemeQuery();

} // namespace strandel
