#include "graphics/canvas.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace strandel {

namespace {

bool Is32(const QImage &image)
{
    return image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32;
}

// A 32-bit view of src without copying when it already is one; alpha bytes as stored.
QImage As32(const QImage &src)
{
    if (Is32(src))
        return src;
    return src.convertToFormat(QImage::Format_ARGB32);
}

// The same bytes seen as opaque RGB, so that painting onto a screen ignores alpha.
QImage OpaqueView(const QImage &src32)
{
    return QImage(src32.constBits(), src32.width(), src32.height(), src32.bytesPerLine(), QImage::Format_RGB32);
}

} // namespace

Canvas::Canvas(QImage *image) : m_device(image), m_image(image) {}
Canvas::Canvas(QPaintDevice *device) : m_device(device) {}
Canvas::~Canvas() { EndPaint(); }

QPainter &Canvas::Painter()
{
    if (!m_painter)
        m_painter = std::make_unique<QPainter>();
    if (!m_painter->isActive() && m_device)
        m_painter->begin(m_device);
    return *m_painter;
}

void Canvas::EndPaint()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

// Drawing an image onto itself hands us a second handle on our own pixels; the non-const
// accessors would then detach our image from the memory it wraps (a bitmap's pixels), and the
// write would land in a copy. Such a write goes to the shared pixels in place.
uchar *Canvas::MemoryBits(const QImage &src)
{
    const uchar *own = std::as_const(*m_image).constBits();
    if (src.constBits() == own)
        return const_cast<uchar *>(own);
    return m_image->bits();
}

bool Canvas::IsMemory32() const { return m_image && Is32(*m_image) && !m_image->isNull(); }

void Canvas::BitBlt(int dx, int dy, int w, int h, const QImage &src, int sx, int sy)
{
    if (w <= 0 || h <= 0 || src.isNull())
        return;
    const QImage s = As32(src);
    if (!IsMemory32()) {
        QPainter &p = Painter();
        p.save();
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(dx, dy), OpaqueView(s), QRect(sx, sy, w, h));
        p.restore();
        return;
    }
    // Clip to the source, then to the destination, in 64 bits.
    int64_t x0 = sx, y0 = sy, x1 = int64_t(sx) + w, y1 = int64_t(sy) + h;
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, s.width());
    y1 = std::min<int64_t>(y1, s.height());
    const int64_t ox = int64_t(dx) - sx, oy = int64_t(dy) - sy;
    int64_t dx0 = std::max<int64_t>(x0 + ox, 0), dy0 = std::max<int64_t>(y0 + oy, 0);
    int64_t dx1 = std::min<int64_t>(x1 + ox, m_image->width()), dy1 = std::min<int64_t>(y1 + oy, m_image->height());
    if (dx1 <= dx0 || dy1 <= dy0)
        return;
    EndPaint(); // pending painter work lands first
    const size_t bytes = size_t(dx1 - dx0) * 4;
    const int rows = int(dy1 - dy0);
    uchar *dst = MemoryBits(s);
    const uchar *srcBits = s.constBits();
    const auto dstRow = [&](int r) { return dst + (dy0 + r) * m_image->bytesPerLine() + dx0 * 4; };
    const auto srcRow = [&](int r) { return srcBits + (dy0 + r - oy) * s.bytesPerLine() + (dx0 - ox) * 4; };
    // Same memory moving down: copy from the bottom row up.
    const bool backwards = srcBits == dst && oy > 0;
    for (int i = 0; i < rows; ++i) {
        const int r = backwards ? rows - 1 - i : i;
        std::memmove(dstRow(r), srcRow(r), bytes);
    }
}

void Canvas::StretchBlt(const QRect &dstRect, const QImage &src, const QRect &srcRect)
{
    if (dstRect.width() <= 0 || dstRect.height() <= 0 || srcRect.width() <= 0 || srcRect.height() <= 0 ||
        src.isNull())
        return;
    const QImage s = As32(src);
    if (!IsMemory32()) {
        QPainter &p = Painter();
        p.save();
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(dstRect, OpaqueView(s), srcRect);
        p.restore();
        return;
    }
    if (dstRect.width() == srcRect.width() && dstRect.height() == srcRect.height()) {
        BitBlt(dstRect.left(), dstRect.top(), dstRect.width(), dstRect.height(), s, srcRect.left(), srcRect.top());
        return;
    }
    EndPaint();
    // Sample from a copy when source and destination share memory.
    const QImage source = s.constBits() == m_image->constBits() ? s.copy() : s;
    const int64_t dw = dstRect.width(), dh = dstRect.height(), sw = srcRect.width(), sh = srcRect.height();
    const int64_t x0 = std::max<int64_t>(dstRect.left(), 0), x1 = std::min<int64_t>(int64_t(dstRect.left()) + dw, m_image->width());
    const int64_t y0 = std::max<int64_t>(dstRect.top(), 0), y1 = std::min<int64_t>(int64_t(dstRect.top()) + dh, m_image->height());
    uchar *dst = MemoryBits(s);
    for (int64_t y = y0; y < y1; ++y) {
        const int64_t syy = srcRect.top() + (y - dstRect.top()) * sh / dh;
        if (syy < 0 || syy >= source.height())
            continue;
        const auto *sp = reinterpret_cast<const uint32_t *>(source.constScanLine(int(syy)));
        auto *dp = reinterpret_cast<uint32_t *>(dst + y * m_image->bytesPerLine());
        for (int64_t x = x0; x < x1; ++x) {
            const int64_t sxx = srcRect.left() + (x - dstRect.left()) * sw / dw;
            if (sxx >= 0 && sxx < source.width())
                dp[x] = sp[sxx];
        }
    }
}

} // namespace strandel
