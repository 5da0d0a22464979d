#pragma once
// The library's 32-bit bitmap and its bases: update counting, change and resize
// notification, sizing, streaming, copying to and from platform images, blits, roll.
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <QFont>
#include <QImage>
#include <QString>

#include "graphics/canvas.h"
#include "graphics/rx32_blend.h"
#include "graphics/rx32_types.h"

class QIODevice;

namespace strandel {

class TPersistent
{
public:
    virtual ~TPersistent() = default;
    virtual const char *ClassName() const { return "TPersistent"; }
    // Source->AssignTo(this); no source or an unknown pair raises EConvertError.
    virtual void Assign(const TPersistent *source);

protected:
    virtual void AssignTo(TPersistent *dest) const;
    void AssignError(const TPersistent *source) const;
};

class TThreadPersistent;
using TNotifyEvent = std::function<void(TThreadPersistent *sender)>;

class TThreadPersistent : public TPersistent
{
public:
    TThreadPersistent() = default;
    const char *ClassName() const override { return "TThreadPersistent"; }

    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate(); // an unpaired call raises EAssertionFailed and changes nothing
    virtual void Changed();
    void Lock();
    void Unlock();
    int32_t LockCount() const;
    int32_t UpdateCount() const { return m_updateCount; }

    TNotifyEvent OnChange;

private:
    std::recursive_mutex m_lock;
    int32_t m_lockCount = 0;
    int32_t m_updateCount = 0;
};

class TCustomMap : public TThreadPersistent
{
public:
    const char *ClassName() const override { return "TCustomMap"; }

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    void SetWidth(int32_t w) { SetSize(w, m_height); }
    void SetHeight(int32_t h) { SetSize(m_width, h); }

    virtual void Delete() { SetSize(0, 0); }
    virtual bool Empty() const { return m_width == 0 || m_height == 0; }
    virtual void Resized();
    virtual bool SetSize(int32_t newWidth, int32_t newHeight);
    bool SetSizeFrom(const TPersistent *source);
    bool SetSizeFrom(const QImage &graphic) { return SetSize(graphic.width(), graphic.height()); }

    TNotifyEvent OnResize;

protected:
    void StoreSize(int32_t w, int32_t h) { m_width = w; m_height = h; }

private:
    int32_t m_width = 0;
    int32_t m_height = 0;
};

// The class library's font: a QFont with a colour and a change event. Sizes are points at
// 96 dots per inch, turned into pixel sizes so that text does not depend on the screen.
class TFont
{
public:
    TFont();
    const QFont &Font() const { return m_font; }
    QString Name() const { return m_font.family(); }
    void SetName(const QString &name);
    int32_t Size() const { return m_size; }
    void SetSize(int32_t points);
    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    void SetStyle(bool bold, bool italic, bool underline = false, bool strikeOut = false);
    void SetQtFont(const QFont &font); // the font as it is, pixel size included
    void Assign(const TFont &other);

    std::function<void()> OnChange;

private:
    void Changed();
    QFont m_font;
    int32_t m_size = 8;
    TColor m_color = 0;
};

enum TDrawMode : uint8_t { dmOpaque = 0, dmBlend = 1, dmCustom = 2 };
enum TStretchFilter : uint8_t { sfNearest = 0, sfLinear = 1, sfLinear2 = 2, sfSpline = 3 };

// F source colour, B destination pixel, M the source's master alpha.
using TPixelCombineEvent = std::function<void(TColor32 f, TColor32 &b, TColor32 m)>;

class TBitmap32 : public TCustomMap
{
public:
    TBitmap32();
    ~TBitmap32() override;
    const char *ClassName() const override { return "TBitmap32"; }

    bool SetSize(int32_t newWidth, int32_t newHeight) override;
    bool Empty() const override;
    void Delete() override { SetSize(0, 0); }

    // Pixel memory, row-major from the top-left, stride exactly Width pixels.
    PColor32Array Bits() const { return m_bits; }
    PColor32 PixelPtr(int32_t x, int32_t y) const { return m_bits + int64_t(y) * Width() + x; }
    // The pixels seen as a QImage without copying (null when empty). Valid until the next resize.
    const QImage &Image() const { return m_image; }
    // The bitmap's drawing surface (its device context); null when empty.
    Canvas *Handle();

    void Clear() { Clear(clBlack32); }
    void Clear(TColor32 fillColor);
    virtual void HandleChanged();

    TDrawMode DrawMode() const { return m_drawMode; }
    void SetDrawMode(TDrawMode value);
    uint32_t MasterAlpha() const { return m_masterAlpha; }
    void SetMasterAlpha(uint32_t value); // clamped to 0..255
    TStretchFilter StretchFilter() const { return m_stretchFilter; }
    void SetStretchFilter(TStretchFilter value);
    TColor32 OuterColor = 0;
    TColor32 PenColor = clWhite32;
    float StippleCounter = 0;
    TArrayOfColor32 StipplePattern;
    float StippleStep = 1.0f;
    TPoint RasterPos;
    TFixedPoint RasterPosX;

    void Assign(const TPersistent *source) override;
    // From a platform image: a 32-bit one keeps its alpha bytes, others become opaque.
    void Assign(const QImage &image);
    void AssignTo(QImage &dest) const; // 32-bit copy, alpha bytes unchanged
    void AssignFromClipboard();
    void AssignToClipboard() const;
    bool Equal(const TBitmap32 *b) const;

    // The "Data" form: int32 width, int32 height, then the pixels as B, G, R, A bytes.
    void ReadData(QIODevice &stream);
    void WriteData(QIODevice &stream) const;
    // Whether "Data" is written for this ancestor (null: no ancestor).
    bool DataStored(const TPersistent *ancestor) const;

    // Platform bitmap files: saving writes a 32-bit device-independent bitmap.
    void LoadFromStream(QIODevice &stream);
    void SaveToStream(QIODevice &stream) const;
    bool LoadFromFile(const QString &fileName);
    bool SaveToFile(const QString &fileName) const;

    // Between bitmaps (this is the source) and with other surfaces.
    void DrawTo(TBitmap32 *dst);
    void DrawTo(TBitmap32 *dst, int32_t dstX, int32_t dstY);
    void DrawTo(TBitmap32 *dst, const TRect &dstRect);
    void DrawTo(TBitmap32 *dst, const TRect &dstRect, const TRect &srcRect);
    void DrawTo(Canvas &hDst, int32_t dstX, int32_t dstY);
    void DrawTo(Canvas &hDst, const TRect &dstRect, const TRect &srcRect);
    void Draw(int32_t x, int32_t y, TBitmap32 *src);
    void Draw(const TRect &dstRect, const TRect &srcRect, TBitmap32 *src);
    void Draw(const TRect &dstRect, const TRect &srcRect, const QImage &hSrc);

    // ---- Pixels (no suffix: unchecked; S: checked; T: blended; X/F: fixed/float, antialiased)
    TColor32 GetPixel(int32_t x, int32_t y) const { return *PixelPtr(x, y); }
    TColor32 GetPixelS(int32_t x, int32_t y) const;
    TColor32 GetPixelB(int32_t x, int32_t y) const;
    PColor32 GetPixelPtr(int32_t x, int32_t y) const { return PixelPtr(x, y); }
    PColor32Array GetScanLine(int32_t y) const { return PixelPtr(0, y); }
    void SetPixel(int32_t x, int32_t y, TColor32 c) { *PixelPtr(x, y) = c; }
    void SetPixelS(int32_t x, int32_t y, TColor32 c);
    void SetPixelT(int32_t x, int32_t y, TColor32 c);
    void SetPixelT(PColor32 &ptr, TColor32 c);
    void SetPixelTS(int32_t x, int32_t y, TColor32 c);
    void SET_T256(int32_t x, int32_t y, TColor32 c);  // 24.8 position, all four pixels inside
    void SET_TS256(int32_t x, int32_t y, TColor32 c); // clipped per pixel
    void SetPixelX(TFixed x, TFixed y, TColor32 c);
    void SetPixelXS(TFixed x, TFixed y, TColor32 c);
    void SetPixelF(float x, float y, TColor32 c);
    void SetPixelFS(float x, float y, TColor32 c);

    // ---- Stipple
    void SetStipple(const TArrayOfColor32 &pattern);
    void AdvanceStippleCounter(float lengthPixels);
    TColor32 GetStippleColor();

    // ---- Lines (L: draw the last pixel too)
    void HorzLine(int32_t x1, int32_t y, int32_t x2, TColor32 c);
    void HorzLineS(int32_t x1, int32_t y, int32_t x2, TColor32 c);
    void HorzLineT(int32_t x1, int32_t y, int32_t x2, TColor32 c);
    void HorzLineTS(int32_t x1, int32_t y, int32_t x2, TColor32 c);
    void HorzLineTSP(int32_t x1, int32_t y, int32_t x2);
    void VertLine(int32_t x, int32_t y1, int32_t y2, TColor32 c);
    void VertLineS(int32_t x, int32_t y1, int32_t y2, TColor32 c);
    void VertLineT(int32_t x, int32_t y1, int32_t y2, TColor32 c);
    void VertLineTS(int32_t x, int32_t y1, int32_t y2, TColor32 c);
    void VertLineTSP(int32_t x, int32_t y1, int32_t y2);
    void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l = false);
    void LineS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l = false);
    void LineT(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l = false);
    void LineTS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l = false);
    void LineA(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l = false);
    void LineAS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l = false);
    void LineX(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 c, bool l = false);
    void LineF(float x1, float y1, float x2, float y2, TColor32 c, bool l = false);
    void LineXS(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 c, bool l = false);
    void LineFS(float x1, float y1, float x2, float y2, TColor32 c, bool l = false);
    void LineXP(TFixed x1, TFixed y1, TFixed x2, TFixed y2, bool l = false);
    void LineFP(float x1, float y1, float x2, float y2, bool l = false);
    void LineXSP(TFixed x1, TFixed y1, TFixed x2, TFixed y2, bool l = false);
    void LineFSP(float x1, float y1, float x2, float y2, bool l = false);

    // ---- Pen position
    void MoveTo(int32_t x, int32_t y) { RasterPos = {x, y}; }
    void LineToS(int32_t x, int32_t y);
    void LineToTS(int32_t x, int32_t y);
    void LineToAS(int32_t x, int32_t y);
    void MoveToX(TFixed x, TFixed y) { RasterPosX = {x, y}; }
    void MoveToF(float x, float y) { RasterPosX = {Fixed(x), Fixed(y)}; }
    void LineToXS(TFixed x, TFixed y);
    void LineToFS(float x, float y) { LineToXS(Fixed(x), Fixed(y)); }
    void LineToXSP(TFixed x, TFixed y);
    void LineToFSP(float x, float y) { LineToXSP(Fixed(x), Fixed(y)); }

    // ---- Rectangles (right and bottom exclusive)
    void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c);
    void FillRectS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c);
    void FillRectS(const TRect &r, TColor32 c) { FillRectS(r.Left, r.Top, r.Right, r.Bottom, c); }
    void FillRectT(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c);
    void FillRectTS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c);
    void FillRectTS(const TRect &r, TColor32 c) { FillRectTS(r.Left, r.Top, r.Right, r.Bottom, c); }
    void FrameRectS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c);
    void FrameRectS(const TRect &r, TColor32 c) { FrameRectS(r.Left, r.Top, r.Right, r.Bottom, c); }
    void FrameRectTS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c);
    void FrameRectTS(const TRect &r, TColor32 c) { FrameRectTS(r.Left, r.Top, r.Right, r.Bottom, c); }
    void FrameRectTSP(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void RaiseRectTS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t contrast);
    void RaiseRectTS(const TRect &r, int32_t contrast) { RaiseRectTS(r.Left, r.Top, r.Right, r.Bottom, contrast); }

    // ---- Text (drawn into the pixels; alpha bytes are left as they were)
    TFont &Font() { return m_fontObject; }
    const TFont &Font() const { return m_fontObject; }
    void SetFont(const TFont &value);
    void FontChanged();
    void Textout(int32_t x, int32_t y, const QString &text);
    void Textout(int32_t x, int32_t y, const TRect &clipRect, const QString &text);
    void Textout(const TRect &dstRect, int flags, const QString &text); // flags: Qt alignment and text flags
    TPoint TextExtent(const QString &text) const;                     // X width, Y height
    int32_t TextWidth(const QString &text) const { return TextExtent(text).X; }
    int32_t TextHeight(const QString &text) const { return TextExtent(text).Y; }
    void RenderText(int32_t x, int32_t y, const QString &text, int32_t aaLevel, TColor32 color);

    void ResetAlpha();
    void Roll(int32_t dx, int32_t dy, bool fillBack, TColor32 fillColor);

    TNotifyEvent OnHandleChanged;
    TPixelCombineEvent OnPixelCombine;

protected:
    void AssignTo(TPersistent *dest) const override;

private:
    void FreeSection();
    void UpdateFont();
    void DrawTextMask(const QRect &area, const std::function<void(QPainter &)> &draw);
    bool RectVisible(int32_t x1, int32_t y1, int32_t x2, int32_t y2) const;
    void LineAImpl(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c, bool l, bool checked);
    template <typename ColorOf>
    bool LineXImpl(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool l, bool checked, ColorOf colorOf);
    void StippleLineX(TFixed x1, TFixed y1, TFixed x2, TFixed y2, bool l);

    struct FreeDeleter
    {
        void operator()(TColor32 *p) const;
    };
    std::unique_ptr<TColor32, FreeDeleter> m_memory;
    PColor32Array m_bits = nullptr;
    QImage m_image;
    std::unique_ptr<Canvas> m_canvas;
    TDrawMode m_drawMode = dmOpaque;
    uint32_t m_masterAlpha = 255;
    TStretchFilter m_stretchFilter = sfNearest;
    TFont m_fontObject;
    bool m_fontSelected = false;
};

} // namespace strandel
