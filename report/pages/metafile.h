#pragma once
// The page metafile: a recorded list of canvas operations in integer device pixels at a stated
// resolution. It saves to and loads from a deterministic, self-delimiting byte form (the same
// operations always give the same bytes), replays onto any QPainter at any scale, and lets its
// text be enumerated for search.
//
// Rectangles are left, top, right, bottom with right and bottom exclusive, as the report code
// computes them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QImage>
#include <QRectF>
#include <QRgb>
#include <QString>

class QFont;
class QPainter;

namespace strandel {

struct PgxRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const PgxRect &) const = default;
};

enum class PgxPenStyle : uint8_t { Solid, Dash, Dot, DashDot, DashDotDot, Clear };
enum class PgxBrushStyle : uint8_t { Solid, Clear, Horizontal, Vertical, FDiagonal, BDiagonal, Cross, DiagCross };

struct PgxPen {
    QRgb color = 0xff000000;
    int32_t width = 1; // 0 draws one device pixel at any scale
    PgxPenStyle style = PgxPenStyle::Solid;
};

struct PgxBrush {
    QRgb color = 0xffffffff;
    PgxBrushStyle style = PgxBrushStyle::Solid;
};

struct PgxFont {
    QString family = QStringLiteral("Arial");
    int32_t height = 13; // pixels of the metafile's resolution, at least 1
    uint16_t weight = 400; // 100..900, 700 is bold
    bool italic = false, underline = false, strikeOut = false;
    QRgb color = 0xff000000;
};

// The Qt font a page's font stands for (its height as a pixel size).
QFont PgxQtFont(const PgxFont &font);

// Text placement inside its rectangle; a text placed at a point has an empty rectangle there
// and PgxTextNoClip.
enum PgxTextFlags : uint32_t {
    PgxTextLeft = 0, PgxTextRight = 1, PgxTextHCenter = 2,
    PgxTextTop = 0, PgxTextBottom = 4, PgxTextVCenter = 8,
    PgxTextWordWrap = 16, PgxTextNoClip = 32,
    PgxTextAllFlags = 63,
};

class TPgxMetafile;

// What report code draws on. A painter canvas draws at once; a metafile canvas records.
class TPgxPageCanvas
{
public:
    virtual ~TPgxPageCanvas() = default;
    virtual void SetPen(const PgxPen &pen) = 0;
    virtual void SetBrush(const PgxBrush &brush) = 0;
    virtual void SetFont(const PgxFont &font) = 0;
    virtual void Rectangle(const PgxRect &r) = 0;  // brush inside, pen outline
    virtual void FillRect(const PgxRect &r) = 0;   // brush only
    virtual void Ellipse(const PgxRect &r) = 0;
    virtual void RoundRect(const PgxRect &r, int32_t cornerWidth, int32_t cornerHeight) = 0;
    virtual void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
    virtual void Text(const PgxRect &r, uint32_t flags, const QString &text) = 0;
    virtual void SetClipRect(const PgxRect &r) = 0;
    virtual void ResetClip() = 0;
    virtual void StretchDraw(const PgxRect &r, const QImage &image) = 0;
    virtual void DrawMetafile(const PgxRect &r, const TPgxMetafile &mf) = 0;

    void TextOut(int32_t x, int32_t y, const QString &text) { Text({x, y, x, y}, PgxTextNoClip, text); }
};

// Draws onto a painter that is already active. The state starts as the defaults above.
class TPgxPainterCanvas : public TPgxPageCanvas
{
public:
    explicit TPgxPainterCanvas(QPainter &painter);
    ~TPgxPainterCanvas() override;
    void SetPen(const PgxPen &pen) override;
    void SetBrush(const PgxBrush &brush) override;
    void SetFont(const PgxFont &font) override;
    void Rectangle(const PgxRect &r) override;
    void FillRect(const PgxRect &r) override;
    void Ellipse(const PgxRect &r) override;
    void RoundRect(const PgxRect &r, int32_t cornerWidth, int32_t cornerHeight) override;
    void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
    void Text(const PgxRect &r, uint32_t flags, const QString &text) override;
    void SetClipRect(const PgxRect &r) override;
    void ResetClip() override;
    void StretchDraw(const PgxRect &r, const QImage &image) override;
    void DrawMetafile(const PgxRect &r, const TPgxMetafile &mf) override;

private:
    // Beyond this many device pixels a glyph or a pen width is more than any page needs.
    static constexpr double MaxDevicePixels = 4096;
    static constexpr double MaxTextStretch = 8;
    void DeviceScales(double &low, double &high) const;

    QPainter &m_p;
    PgxPen m_pen;
    PgxBrush m_brush;
    PgxFont m_font;
    bool m_baseClipping;
    std::unique_ptr<class QRegion> m_baseClip;
};

class TPgxMetafile
{
public:
    static constexpr size_t HeaderSize = 32;
    static constexpr int MaxNesting = 8;

    TPgxMetafile() = default;
    TPgxMetafile(int32_t width, int32_t height, int32_t dpiX, int32_t dpiY);

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    int32_t DpiX() const { return m_dpiX; }
    int32_t DpiY() const { return m_dpiY; }
    uint32_t RecordCount() const { return m_count; }

    // The saved form; its header gives its whole length.
    std::vector<uint8_t> Save() const;
    size_t SavedSize() const { return HeaderSize + m_records.size(); }
    // Loads one metafile from the front of data; trailing bytes are left alone. On failure the
    // object is unchanged and error says why.
    bool Load(const uint8_t *data, size_t size, QString *error = nullptr);
    // The length a saved metafile announces in its first HeaderSize bytes; 0 when they are not
    // a metafile header.
    static size_t SavedLength(const uint8_t *header, size_t size);

    // Plays the records onto a canvas in the metafile's own pixels.
    void Play(TPgxPageCanvas &canvas) const;
    // Plays the whole page stretched over target, in the painter's coordinates.
    void Replay(QPainter &painter, const QRectF &target) const;

    // Calls f with every text, nested metafiles included, until f returns false.
    void ForEachText(const std::function<bool(const QString &)> &f) const;
    bool ContainsText(const QString &text, bool caseSensitive) const;

    bool operator==(const TPgxMetafile &o) const;

private:
    friend class TPgxMetafileCanvas;
    int32_t m_width = 0, m_height = 0, m_dpiX = 96, m_dpiY = 96;
    uint32_t m_count = 0;
    int m_depth = 0; // how deep metafiles nest inside this one
    std::vector<uint8_t> m_records;
};

// Records into a metafile (which it does not own and must outlive it).
class TPgxMetafileCanvas : public TPgxPageCanvas
{
public:
    explicit TPgxMetafileCanvas(TPgxMetafile &mf) : m_mf(mf) {}
    void SetPen(const PgxPen &pen) override;
    void SetBrush(const PgxBrush &brush) override;
    void SetFont(const PgxFont &font) override;
    void Rectangle(const PgxRect &r) override;
    void FillRect(const PgxRect &r) override;
    void Ellipse(const PgxRect &r) override;
    void RoundRect(const PgxRect &r, int32_t cornerWidth, int32_t cornerHeight) override;
    void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
    void Text(const PgxRect &r, uint32_t flags, const QString &text) override;
    void SetClipRect(const PgxRect &r) override;
    void ResetClip() override;
    void StretchDraw(const PgxRect &r, const QImage &image) override;
    void DrawMetafile(const PgxRect &r, const TPgxMetafile &mf) override;

private:
    size_t Begin(uint16_t type);
    void End(size_t start);
    void PutRect(const PgxRect &r);
    void Put32(uint32_t v);
    void Put16(uint16_t v);
    void Put8(uint8_t v);
    void PutString16(const QString &s);
    TPgxMetafile &m_mf;
};

} // namespace strandel
