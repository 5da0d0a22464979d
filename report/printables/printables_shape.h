#pragma once
// The shape printable: a rectangle, ellipse, rounded rectangle or lines, with a pen and a brush.
#include <cstdint>
#include <memory>

#include "report/bands/band.h"
#include "report/pages/frame.h"
#include "report/pages/metafile.h"

namespace strandel {

enum class TPgxShapeType : uint8_t {
    pgxsRectangle = 0, pgxsCircle = 1, pgxsVertLine = 2, pgxsHorLine = 3, pgxsTopAndBottom = 4,
    pgxsRightAndLeft = 5, pgxsRoundRect = 6
};

class TPgxShape : public TPgxPrintable
{
public:
    TPgxShape();

    TPgxShapeType Shape = TPgxShapeType::pgxsRectangle;
    PgxBrush Brush;
    PgxPen Pen;
    // Corner size of a rounded rectangle as a fraction of its width.
    float RoundFactor = 0;
    int32_t VertAdjust = 0; // kept for the stored form only

    // Draws the figure (no frame); an export filter is offered it even when disabled.
    void Print(int32_t ofsX, int32_t ofsY) override;
};

// A band's background or a frame line as the shape printable an export filter is handed: its
// place and size come back from the export page's pixels (the screen's) to tenths of a millimetre.
std::unique_ptr<TPgxShape> PgxShapeFromFrameShape(const PgxFrameShape &shape);
// From now on export filters receive such shapes instead of the engine's plain ones; the program
// calls it once at start.
void PgxRegisterShapeExports();

} // namespace strandel
