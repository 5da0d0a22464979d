#include "report/pages/metafile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QFont>
#include <QPainter>
#include <QPen>
#include <QRegion>

#include "platform/endian.h"

namespace strandel {

namespace {

enum RecordType : uint16_t {
    RecPen = 1, RecBrush, RecFont, RecRectangle, RecFillRect, RecEllipse, RecRoundRect, RecLine,
    RecText, RecClipRect, RecResetClip, RecImage, RecMetafile,
};

constexpr uint8_t Magic[4] = {'S', 'P', 'M', 'F'};
constexpr uint16_t Version = 1;
constexpr size_t RecordHead = 8;
// Coordinates are kept well inside 32 bits so that widths and scaling never overflow.
constexpr int32_t CoordLimit = 1 << 24;
constexpr int32_t SizeLimit = 1 << 20;
constexpr uint32_t MaxImageSide = 32768;
constexpr uint64_t MaxImagePixels = uint64_t(1) << 26;
constexpr uint32_t MaxFamily = 256;

int32_t ClampCoord(int32_t v) { return std::clamp(v, -CoordLimit, CoordLimit); }

// Bounds-checked reader over one record or header; any short read sets failed.
struct Reader {
    const uint8_t *p;
    const uint8_t *end;
    bool failed = false;

    bool Need(size_t n)
    {
        if (failed || size_t(end - p) < n) {
            failed = true;
            return false;
        }
        return true;
    }
    uint8_t U8()
    {
        if (!Need(1))
            return 0;
        return *p++;
    }
    uint16_t U16()
    {
        if (!Need(2))
            return 0;
        uint16_t v = GetLe16(p);
        p += 2;
        return v;
    }
    uint32_t U32()
    {
        if (!Need(4))
            return 0;
        uint32_t v = GetLe32(p);
        p += 4;
        return v;
    }
    int32_t I32() { return int32_t(U32()); }
    int32_t Coord()
    {
        int32_t v = I32();
        if (v < -CoordLimit || v > CoordLimit)
            failed = true;
        return v;
    }
    PgxRect Rect()
    {
        PgxRect r;
        r.left = Coord();
        r.top = Coord();
        r.right = Coord();
        r.bottom = Coord();
        return r;
    }
    QString String16(uint32_t maxUnits)
    {
        uint32_t n = U32();
        if (n > maxUnits || !Need(size_t(n) * 2)) {
            failed = true;
            return {};
        }
        QString s(qsizetype(n), Qt::Uninitialized);
        for (uint32_t i = 0; i < n; ++i)
            s[qsizetype(i)] = QChar(GetLe16(p + 2 * i));
        p += size_t(n) * 2;
        return s;
    }
    size_t Left() const { return size_t(end - p); }
};

struct Header {
    uint32_t total;
    int32_t width, height, dpiX, dpiY;
    uint32_t count;
};

bool ReadHeader(const uint8_t *data, size_t size, Header &h, QString *error)
{
    auto fail = [&](const char *why) {
        if (error)
            *error = QString::fromLatin1(why);
        return false;
    };
    if (size < TPgxMetafile::HeaderSize)
        return fail("the page is shorter than its header");
    if (!std::equal(Magic, Magic + 4, data))
        return fail("the page is not a page metafile");
    Reader r{data + 4, data + TPgxMetafile::HeaderSize};
    uint16_t version = r.U16();
    uint16_t headerSize = r.U16();
    h.total = r.U32();
    h.width = r.I32();
    h.height = r.I32();
    h.dpiX = r.I32();
    h.dpiY = r.I32();
    h.count = r.U32();
    if (version != Version || headerSize != TPgxMetafile::HeaderSize)
        return fail("the page metafile has an unknown version");
    if (h.total < TPgxMetafile::HeaderSize || h.total > 0x7fffffffu)
        return fail("the page metafile has a bad length");
    if (h.width < 0 || h.width > SizeLimit || h.height < 0 || h.height > SizeLimit || h.dpiX < 1
        || h.dpiX > 100000 || h.dpiY < 1 || h.dpiY > 100000)
        return fail("the page metafile has a bad size or resolution");
    // Every record takes at least its head.
    if (h.count > (h.total - TPgxMetafile::HeaderSize) / RecordHead)
        return fail("the page metafile has a bad record count");
    return true;
}

QImage ReadImage(Reader &r)
{
    uint32_t w = r.U32(), h = r.U32();
    if (r.failed || w < 1 || h < 1 || w > MaxImageSide || h > MaxImageSide || uint64_t(w) * h > MaxImagePixels
        || r.Left() != size_t(w) * h * 4) {
        r.failed = true;
        return {};
    }
    QImage img(int(w), int(h), QImage::Format_ARGB32);
    if (img.isNull()) {
        r.failed = true;
        return {};
    }
    for (uint32_t y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(int(y)));
        for (uint32_t x = 0; x < w; ++x)
            line[x] = GetLe32(r.p + 4 * x);
        r.p += size_t(w) * 4;
    }
    return img;
}

// Walks the records; with a canvas it plays them. Returns false at the first bad record.
bool Walk(const uint8_t *p, size_t size, uint32_t count, TPgxPageCanvas *canvas, int depth, QString *error,
          int *deepest = nullptr)
{
    if (deepest)
        *deepest = std::max(*deepest, depth);
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const uint8_t *end = p + size;
    uint32_t seen = 0;
    while (p < end) {
        if (size_t(end - p) < RecordHead)
            return fail(QStringLiteral("the page metafile ends inside a record"));
        uint16_t type = GetLe16(p);
        uint16_t reserved = GetLe16(p + 2);
        uint32_t len = GetLe32(p + 4);
        if (reserved != 0 || len < RecordHead || len > size_t(end - p))
            return fail(QStringLiteral("the page metafile has a bad record length"));
        Reader r{p + RecordHead, p + len};
        switch (type) {
        case RecPen: {
            PgxPen pen;
            pen.color = r.U32();
            pen.width = r.I32();
            uint8_t style = r.U8();
            if (pen.width < 0 || pen.width > 10000 || style > uint8_t(PgxPenStyle::Clear))
                r.failed = true;
            pen.style = PgxPenStyle(style);
            if (!r.failed && canvas)
                canvas->SetPen(pen);
            break;
        }
        case RecBrush: {
            PgxBrush brush;
            brush.color = r.U32();
            uint8_t style = r.U8();
            if (style > uint8_t(PgxBrushStyle::DiagCross))
                r.failed = true;
            brush.style = PgxBrushStyle(style);
            if (!r.failed && canvas)
                canvas->SetBrush(brush);
            break;
        }
        case RecFont: {
            PgxFont font;
            font.color = r.U32();
            font.height = r.I32();
            font.weight = r.U16();
            uint8_t flags = r.U8();
            font.family = r.String16(MaxFamily);
            if (font.height < 1 || font.height > SizeLimit || font.weight < 1 || font.weight > 1000 || flags > 7)
                r.failed = true;
            font.italic = flags & 1;
            font.underline = flags & 2;
            font.strikeOut = flags & 4;
            if (!r.failed && canvas)
                canvas->SetFont(font);
            break;
        }
        case RecRectangle:
        case RecFillRect:
        case RecEllipse:
        case RecClipRect: {
            PgxRect rc = r.Rect();
            if (!r.failed && canvas) {
                if (type == RecRectangle)
                    canvas->Rectangle(rc);
                else if (type == RecFillRect)
                    canvas->FillRect(rc);
                else if (type == RecEllipse)
                    canvas->Ellipse(rc);
                else
                    canvas->SetClipRect(rc);
            }
            break;
        }
        case RecRoundRect: {
            PgxRect rc = r.Rect();
            int32_t cw = r.Coord(), ch = r.Coord();
            if (!r.failed && canvas)
                canvas->RoundRect(rc, cw, ch);
            break;
        }
        case RecLine: {
            int32_t x1 = r.Coord(), y1 = r.Coord(), x2 = r.Coord(), y2 = r.Coord();
            if (!r.failed && canvas)
                canvas->Line(x1, y1, x2, y2);
            break;
        }
        case RecText: {
            PgxRect rc = r.Rect();
            uint32_t flags = r.U32();
            QString text = r.String16(uint32_t(len));
            if (flags & ~uint32_t(PgxTextAllFlags))
                r.failed = true;
            if (!r.failed && canvas)
                canvas->Text(rc, flags, text);
            break;
        }
        case RecResetClip:
            if (canvas)
                canvas->ResetClip();
            break;
        case RecImage: {
            PgxRect rc = r.Rect();
            QImage img = ReadImage(r);
            if (!r.failed && canvas)
                canvas->StretchDraw(rc, img);
            break;
        }
        case RecMetafile: {
            PgxRect rc = r.Rect();
            if (r.failed)
                break;
            if (depth >= TPgxMetafile::MaxNesting)
                return fail(QStringLiteral("the page metafile nests too deep"));
            // The nested metafile must fill the rest of the record exactly.
            Header h;
            if (!ReadHeader(r.p, r.Left(), h, nullptr) || h.total != r.Left()) {
                r.failed = true;
                break;
            }
            QString why;
            if (!Walk(r.p + TPgxMetafile::HeaderSize, h.total - TPgxMetafile::HeaderSize, h.count, nullptr,
                      depth + 1, &why, deepest))
                return fail(why);
            if (canvas) {
                TPgxMetafile nested;
                nested.Load(r.p, r.Left());
                canvas->DrawMetafile(rc, nested);
            }
            r.p = r.end;
            break;
        }
        default:
            return fail(QStringLiteral("the page metafile holds an unknown record (%1)").arg(type));
        }
        if (r.failed || r.p != r.end)
            return fail(QStringLiteral("the page metafile holds a bad record (%1)").arg(type));
        p += len;
        ++seen;
    }
    if (seen != count)
        return fail(QStringLiteral("the page metafile's record count does not match"));
    return true;
}

Qt::PenStyle QtPenStyle(PgxPenStyle s)
{
    switch (s) {
    case PgxPenStyle::Dash: return Qt::DashLine;
    case PgxPenStyle::Dot: return Qt::DotLine;
    case PgxPenStyle::DashDot: return Qt::DashDotLine;
    case PgxPenStyle::DashDotDot: return Qt::DashDotDotLine;
    case PgxPenStyle::Clear: return Qt::NoPen;
    default: return Qt::SolidLine;
    }
}

Qt::BrushStyle QtBrushStyle(PgxBrushStyle s)
{
    switch (s) {
    case PgxBrushStyle::Clear: return Qt::NoBrush;
    case PgxBrushStyle::Horizontal: return Qt::HorPattern;
    case PgxBrushStyle::Vertical: return Qt::VerPattern;
    case PgxBrushStyle::FDiagonal: return Qt::FDiagPattern;
    case PgxBrushStyle::BDiagonal: return Qt::BDiagPattern;
    case PgxBrushStyle::Cross: return Qt::CrossPattern;
    case PgxBrushStyle::DiagCross: return Qt::DiagCrossPattern;
    default: return Qt::SolidPattern;
    }
}

// The pixels a rectangle covers; an inverted rectangle is normalised as the device does.
QRect Area(const PgxRect &r)
{
    int l = std::min(r.left, r.right), rr = std::max(r.left, r.right);
    int t = std::min(r.top, r.bottom), b = std::max(r.top, r.bottom);
    return QRect(l, t, rr - l, b - t);
}

} // namespace

// ---- painter canvas

TPgxPainterCanvas::TPgxPainterCanvas(QPainter &painter) : m_p(painter)
{
    m_baseClipping = m_p.hasClipping();
    if (m_baseClipping)
        m_baseClip = std::make_unique<QRegion>(m_p.clipRegion());
    SetPen(m_pen);
    SetBrush(m_brush);
    SetFont(m_font);
}

TPgxPainterCanvas::~TPgxPainterCanvas() = default;

void TPgxPainterCanvas::DeviceScales(double &low, double &high) const
{
    const QTransform t = m_p.combinedTransform();
    const double x = std::hypot(t.m11(), t.m12()), y = std::hypot(t.m21(), t.m22());
    low = std::min(x, y);
    high = std::max(x, y);
}

void TPgxPainterCanvas::SetPen(const PgxPen &pen)
{
    m_pen = pen;
    // A pen wider than any page is as good as one as wide as the page, and far cheaper to stroke.
    double low, scale;
    DeviceScales(low, scale);
    double width = pen.width;
    if (scale > 0 && width * scale > MaxDevicePixels)
        width = MaxDevicePixels / scale;
    QPen p(QColor::fromRgba(pen.color), width, QtPenStyle(pen.style));
    m_p.setPen(p);
}

void TPgxPainterCanvas::SetBrush(const PgxBrush &brush)
{
    m_brush = brush;
    m_p.setBrush(QBrush(QColor::fromRgba(brush.color), QtBrushStyle(brush.style)));
}

QFont PgxQtFont(const PgxFont &font)
{
    QFont f(font.family);
    f.setPixelSize(std::max(1, font.height));
    f.setWeight(QFont::Weight(std::clamp<int>(font.weight, 1, 1000)));
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    f.setStrikeOut(font.strikeOut);
    return f;
}

void TPgxPainterCanvas::SetFont(const PgxFont &font)
{
    m_font = font;
    m_p.setFont(PgxQtFont(font));
}

void TPgxPainterCanvas::Rectangle(const PgxRect &r)
{
    QRect a = Area(r);
    if (a.isEmpty())
        return;
    if (m_brush.style != PgxBrushStyle::Clear)
        m_p.fillRect(a, m_p.brush());
    if (m_pen.style != PgxPenStyle::Clear) {
        m_p.save();
        m_p.setBrush(Qt::NoBrush);
        m_p.drawRect(a.adjusted(0, 0, -1, -1));
        m_p.restore();
    }
}

void TPgxPainterCanvas::FillRect(const PgxRect &r)
{
    if (m_brush.style != PgxBrushStyle::Clear)
        m_p.fillRect(Area(r), m_p.brush());
}

void TPgxPainterCanvas::Ellipse(const PgxRect &r)
{
    QRect a = Area(r);
    if (!a.isEmpty())
        m_p.drawEllipse(a.adjusted(0, 0, -1, -1));
}

void TPgxPainterCanvas::RoundRect(const PgxRect &r, int32_t cornerWidth, int32_t cornerHeight)
{
    QRect a = Area(r);
    if (!a.isEmpty())
        m_p.drawRoundedRect(a.adjusted(0, 0, -1, -1), std::abs(cornerWidth) / 2.0, std::abs(cornerHeight) / 2.0);
}

void TPgxPainterCanvas::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    m_p.drawLine(x1, y1, x2, y2);
}

void TPgxPainterCanvas::Text(const PgxRect &r, uint32_t flags, const QString &text)
{
    // Glyphs larger than any page, squeezed below a pixel or stretched far out of shape are not
    // drawn: the font engine cannot rasterise them safely, and nobody could read them. Under an
    // uneven scale the engine rasterises at the font's own size before scaling, so that size is
    // bounded too.
    double low, high;
    DeviceScales(low, high);
    if (m_font.height > MaxDevicePixels || m_font.height * high > MaxDevicePixels || m_font.height * low < 1
        || high > MaxTextStretch * low)
        return;
    int qf = 0;
    qf |= flags & PgxTextRight ? Qt::AlignRight : flags & PgxTextHCenter ? Qt::AlignHCenter : Qt::AlignLeft;
    qf |= flags & PgxTextBottom ? Qt::AlignBottom : flags & PgxTextVCenter ? Qt::AlignVCenter : Qt::AlignTop;
    if (flags & PgxTextWordWrap)
        qf |= Qt::TextWordWrap;
    if (flags & PgxTextNoClip)
        qf |= Qt::TextDontClip;
    m_p.save();
    m_p.setPen(QColor::fromRgba(m_font.color));
    m_p.drawText(Area(r), qf, text);
    m_p.restore();
}

void TPgxPainterCanvas::SetClipRect(const PgxRect &r)
{
    if (m_baseClipping) {
        m_p.setClipRegion(*m_baseClip);
        m_p.setClipRect(Area(r), Qt::IntersectClip);
    } else {
        m_p.setClipRect(Area(r));
    }
}

void TPgxPainterCanvas::ResetClip()
{
    if (m_baseClipping)
        m_p.setClipRegion(*m_baseClip);
    else
        m_p.setClipping(false);
}

void TPgxPainterCanvas::StretchDraw(const PgxRect &r, const QImage &image)
{
    m_p.drawImage(Area(r), image);
}

void TPgxPainterCanvas::DrawMetafile(const PgxRect &r, const TPgxMetafile &mf)
{
    QRect a = Area(r);
    mf.Replay(m_p, QRectF(a));
    // The nested page leaves the painter as it found it; our state is still in force.
}

// ---- metafile

TPgxMetafile::TPgxMetafile(int32_t width, int32_t height, int32_t dpiX, int32_t dpiY)
    : m_width(std::clamp(width, 0, SizeLimit)), m_height(std::clamp(height, 0, SizeLimit)),
      m_dpiX(std::clamp(dpiX, 1, 100000)), m_dpiY(std::clamp(dpiY, 1, 100000))
{
}

std::vector<uint8_t> TPgxMetafile::Save() const
{
    std::vector<uint8_t> out(SavedSize());
    uint8_t *h = out.data();
    std::copy(Magic, Magic + 4, h);
    PutLe16(h + 4, Version);
    PutLe16(h + 6, uint16_t(HeaderSize));
    PutLe32(h + 8, uint32_t(SavedSize()));
    PutLe32(h + 12, uint32_t(m_width));
    PutLe32(h + 16, uint32_t(m_height));
    PutLe32(h + 20, uint32_t(m_dpiX));
    PutLe32(h + 24, uint32_t(m_dpiY));
    PutLe32(h + 28, m_count);
    if (!m_records.empty())
        std::memcpy(h + HeaderSize, m_records.data(), m_records.size());
    return out;
}

size_t TPgxMetafile::SavedLength(const uint8_t *header, size_t size)
{
    Header h;
    if (!ReadHeader(header, size, h, nullptr))
        return 0;
    return h.total;
}

bool TPgxMetafile::Load(const uint8_t *data, size_t size, QString *error)
{
    Header h;
    if (!ReadHeader(data, size, h, error))
        return false;
    if (h.total > size) {
        if (error)
            *error = QStringLiteral("the page metafile is cut short");
        return false;
    }
    int deepest = 0;
    if (!Walk(data + HeaderSize, h.total - HeaderSize, h.count, nullptr, 0, error, &deepest))
        return false;
    m_depth = deepest;
    m_width = h.width;
    m_height = h.height;
    m_dpiX = h.dpiX;
    m_dpiY = h.dpiY;
    m_count = h.count;
    m_records.assign(data + HeaderSize, data + h.total);
    return true;
}

void TPgxMetafile::Play(TPgxPageCanvas &canvas) const
{
    // The records were checked when they were recorded or loaded.
    Walk(m_records.data(), m_records.size(), m_count, &canvas, 0, nullptr);
}

void TPgxMetafile::Replay(QPainter &painter, const QRectF &target) const
{
    if (m_width <= 0 || m_height <= 0 || target.isEmpty())
        return;
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / m_width, target.height() / m_height);
    {
        TPgxPainterCanvas canvas(painter);
        Play(canvas);
    }
    painter.restore();
}

namespace {

// Collects texts only; the walk stops early through the callback's answer.
class TextCanvas : public TPgxPageCanvas
{
public:
    explicit TextCanvas(const std::function<bool(const QString &)> &f) : m_f(f) {}
    bool stopped = false;
    void SetPen(const PgxPen &) override {}
    void SetBrush(const PgxBrush &) override {}
    void SetFont(const PgxFont &) override {}
    void Rectangle(const PgxRect &) override {}
    void FillRect(const PgxRect &) override {}
    void Ellipse(const PgxRect &) override {}
    void RoundRect(const PgxRect &, int32_t, int32_t) override {}
    void Line(int32_t, int32_t, int32_t, int32_t) override {}
    void Text(const PgxRect &, uint32_t, const QString &text) override
    {
        if (!stopped && !m_f(text))
            stopped = true;
    }
    void SetClipRect(const PgxRect &) override {}
    void ResetClip() override {}
    void StretchDraw(const PgxRect &, const QImage &) override {}
    void DrawMetafile(const PgxRect &, const TPgxMetafile &mf) override
    {
        if (!stopped)
            mf.Play(*this);
    }

private:
    const std::function<bool(const QString &)> &m_f;
};

} // namespace

void TPgxMetafile::ForEachText(const std::function<bool(const QString &)> &f) const
{
    TextCanvas c(f);
    Play(c);
}

bool TPgxMetafile::ContainsText(const QString &text, bool caseSensitive) const
{
    bool found = false;
    Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    ForEachText([&](const QString &t) {
        found = t.contains(text, cs);
        return !found;
    });
    return found;
}

bool TPgxMetafile::operator==(const TPgxMetafile &o) const
{
    return m_width == o.m_width && m_depth == o.m_depth && m_height == o.m_height && m_dpiX == o.m_dpiX && m_dpiY == o.m_dpiY
           && m_count == o.m_count && m_records == o.m_records;
}

// ---- metafile canvas

size_t TPgxMetafileCanvas::Begin(uint16_t type)
{
    size_t start = m_mf.m_records.size();
    Put16(type);
    Put16(0);
    Put32(0);
    return start;
}

void TPgxMetafileCanvas::End(size_t start)
{
    PutLe32(m_mf.m_records.data() + start + 4, uint32_t(m_mf.m_records.size() - start));
    ++m_mf.m_count;
}

void TPgxMetafileCanvas::Put8(uint8_t v) { m_mf.m_records.push_back(v); }
void TPgxMetafileCanvas::Put16(uint16_t v)
{
    uint8_t b[2];
    PutLe16(b, v);
    m_mf.m_records.insert(m_mf.m_records.end(), b, b + 2);
}
void TPgxMetafileCanvas::Put32(uint32_t v)
{
    uint8_t b[4];
    PutLe32(b, v);
    m_mf.m_records.insert(m_mf.m_records.end(), b, b + 4);
}
void TPgxMetafileCanvas::PutRect(const PgxRect &r)
{
    Put32(uint32_t(ClampCoord(r.left)));
    Put32(uint32_t(ClampCoord(r.top)));
    Put32(uint32_t(ClampCoord(r.right)));
    Put32(uint32_t(ClampCoord(r.bottom)));
}
void TPgxMetafileCanvas::PutString16(const QString &s)
{
    Put32(uint32_t(s.size()));
    for (QChar c : s)
        Put16(c.unicode());
}

void TPgxMetafileCanvas::SetPen(const PgxPen &pen)
{
    size_t s = Begin(RecPen);
    Put32(pen.color);
    Put32(uint32_t(std::clamp(pen.width, 0, 10000)));
    Put8(uint8_t(pen.style));
    End(s);
}

void TPgxMetafileCanvas::SetBrush(const PgxBrush &brush)
{
    size_t s = Begin(RecBrush);
    Put32(brush.color);
    Put8(uint8_t(brush.style));
    End(s);
}

void TPgxMetafileCanvas::SetFont(const PgxFont &font)
{
    size_t s = Begin(RecFont);
    Put32(font.color);
    Put32(uint32_t(std::clamp(font.height, 1, SizeLimit)));
    Put16(std::clamp<uint16_t>(font.weight, 1, 1000));
    Put8(uint8_t((font.italic ? 1 : 0) | (font.underline ? 2 : 0) | (font.strikeOut ? 4 : 0)));
    PutString16(font.family.left(MaxFamily));
    End(s);
}

void TPgxMetafileCanvas::Rectangle(const PgxRect &r)
{
    size_t s = Begin(RecRectangle);
    PutRect(r);
    End(s);
}

void TPgxMetafileCanvas::FillRect(const PgxRect &r)
{
    size_t s = Begin(RecFillRect);
    PutRect(r);
    End(s);
}

void TPgxMetafileCanvas::Ellipse(const PgxRect &r)
{
    size_t s = Begin(RecEllipse);
    PutRect(r);
    End(s);
}

void TPgxMetafileCanvas::RoundRect(const PgxRect &r, int32_t cornerWidth, int32_t cornerHeight)
{
    size_t s = Begin(RecRoundRect);
    PutRect(r);
    Put32(uint32_t(ClampCoord(cornerWidth)));
    Put32(uint32_t(ClampCoord(cornerHeight)));
    End(s);
}

void TPgxMetafileCanvas::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    size_t s = Begin(RecLine);
    Put32(uint32_t(ClampCoord(x1)));
    Put32(uint32_t(ClampCoord(y1)));
    Put32(uint32_t(ClampCoord(x2)));
    Put32(uint32_t(ClampCoord(y2)));
    End(s);
}

void TPgxMetafileCanvas::Text(const PgxRect &r, uint32_t flags, const QString &text)
{
    size_t s = Begin(RecText);
    PutRect(r);
    Put32(flags & PgxTextAllFlags);
    PutString16(text);
    End(s);
}

void TPgxMetafileCanvas::SetClipRect(const PgxRect &r)
{
    size_t s = Begin(RecClipRect);
    PutRect(r);
    End(s);
}

void TPgxMetafileCanvas::ResetClip()
{
    End(Begin(RecResetClip));
}

void TPgxMetafileCanvas::StretchDraw(const PgxRect &r, const QImage &image)
{
    if (image.isNull() || uint32_t(image.width()) > MaxImageSide || uint32_t(image.height()) > MaxImageSide
        || uint64_t(image.width()) * uint64_t(image.height()) > MaxImagePixels)
        return;
    QImage img = image.convertToFormat(QImage::Format_ARGB32);
    size_t s = Begin(RecImage);
    PutRect(r);
    Put32(uint32_t(img.width()));
    Put32(uint32_t(img.height()));
    auto &rec = m_mf.m_records;
    size_t at = rec.size();
    rec.resize(at + size_t(img.width()) * size_t(img.height()) * 4);
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x, at += 4)
            PutLe32(rec.data() + at, line[x]);
    }
    End(s);
}

void TPgxMetafileCanvas::DrawMetafile(const PgxRect &r, const TPgxMetafile &mf)
{
    // Deeper nesting than a loader accepts is not recorded.
    if (&mf == &m_mf || mf.m_depth + 1 > TPgxMetafile::MaxNesting)
        return;
    m_mf.m_depth = std::max(m_mf.m_depth, mf.m_depth + 1);
    size_t s = Begin(RecMetafile);
    PutRect(r);
    std::vector<uint8_t> bytes = mf.Save();
    m_mf.m_records.insert(m_mf.m_records.end(), bytes.begin(), bytes.end());
    End(s);
}

} // namespace strandel
