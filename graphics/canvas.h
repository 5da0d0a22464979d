#pragma once
// Our stand-in for a platform device context: a drawing surface over QPainter.
// A memory surface wraps a 32-bit QImage; blits into it copy all four bytes of each
// pixel. Any other surface (a widget, a printer) is screen-like: blits to it ignore
// alpha, as a device blit does.
#include <memory>

#include <QImage>
#include <QPainter>
#include <QRect>

namespace strandel {

class Canvas
{
public:
    explicit Canvas(QImage *image);
    explicit Canvas(QPaintDevice *device);
    ~Canvas();
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;

    QPaintDevice *Device() const { return m_device; }
    // The memory image behind the surface; null for screen-like surfaces.
    QImage *Image() const { return m_image; }

    // The painter, begun on first use; EndPaint ends it (before the memory goes away).
    QPainter &Painter();
    bool IsPainting() const { return m_painter && m_painter->isActive(); }
    void EndPaint();

    // Source copy of w x h pixels from (sx, sy) of src to (dx, dy); clipped to both.
    void BitBlt(int dx, int dy, int w, int h, const QImage &src, int sx, int sy);
    // Nearest-neighbour source copy of srcRect of src into dstRect.
    void StretchBlt(const QRect &dstRect, const QImage &src, const QRect &srcRect);

private:
    bool IsMemory32() const;
    uchar *MemoryBits(const QImage &src);

    QPaintDevice *m_device = nullptr;
    QImage *m_image = nullptr;
    std::unique_ptr<QPainter> m_painter;
};

} // namespace strandel
