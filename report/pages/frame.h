#pragma once
// The lines around a band, a report or a printable, drawn as filled strips so that a line keeps
// its width in points on every device.
#include <cstdint>

#include "report/pages/metafile.h"

namespace strandel {

// What a frame's owner does when the frame changes.
class TPgxFrameParent
{
public:
    virtual ~TPgxFrameParent() = default;
    virtual void Repaint() = 0;
};

// A frame handed to an export filter as shapes, each placed at its own top-left corner.
enum class PgxFrameShapeKind : uint8_t { Rectangle, HorLine, VertLine };
struct PgxFrameShape {
    PgxFrameShapeKind kind = PgxFrameShapeKind::Rectangle;
    int32_t left = 0, top = 0, width = 0, height = 0;
    PgxBrush brush;
    PgxPen pen;
};
class TPgxFrameShapeSink
{
public:
    virtual ~TPgxFrameShapeSink() = default;
    virtual void AcceptShape(const PgxFrameShape &shape) = 0;
};

class TPgxFrame
{
public:
    explicit TPgxFrame(TPgxFrameParent *parent = nullptr) : m_parent(parent) {}

    // Takes another frame's look; the parent stays.
    void Assign(const TPgxFrame &o)
    {
        TPgxFrameParent *parent = m_parent;
        *this = o;
        m_parent = parent;
        Changed();
    }

    QRgb Color() const { return m_color; }
    void SetColor(QRgb c) { m_color = c; Changed(); }
    bool DrawTop() const { return m_top; }
    bool DrawBottom() const { return m_bottom; }
    bool DrawLeft() const { return m_left; }
    bool DrawRight() const { return m_right; }
    // 0 top, 1 bottom, 2 left, 3 right.
    void SetValue(int index, bool value);
    PgxPenStyle Style() const { return m_style; }
    void SetStyle(PgxPenStyle s) { m_style = s; Changed(); }
    int Width() const { return m_width; } // points; -1 is one device pixel
    void SetWidth(int w) { m_width = w; Changed(); }

    bool AnyFrame() const { return m_top || m_bottom || m_left || m_right; }
    PgxPen Pen() const { return {m_color, 1, m_style}; }

    // Line thickness in device pixels for factors in pixels per 0.1 mm.
    int32_t ThicknessX(double xFactor) const { return Thickness(xFactor); }
    int32_t ThicknessY(double yFactor) const { return Thickness(yFactor); }

    // Draws into r. With an export sink the frame also goes there as shapes; fill is the colour
    // of a printable that is not transparent (drawn first as a background rectangle).
    void PaintIt(TPgxPageCanvas &canvas, const PgxRect &r, double xFactor, double yFactor,
                 TPgxFrameShapeSink *exportTo = nullptr, const QRgb *fill = nullptr) const;

private:
    int32_t Thickness(double factor) const;
    void Changed() { if (m_parent) m_parent->Repaint(); }

    TPgxFrameParent *m_parent;
    QRgb m_color = 0xff000000;
    bool m_top = false, m_bottom = false, m_left = false, m_right = false;
    PgxPenStyle m_style = PgxPenStyle::Solid;
    int m_width = 1;
};

} // namespace strandel
