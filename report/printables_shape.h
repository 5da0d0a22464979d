#pragma once
// The shape printable: a rectangle, ellipse, rounded rectangle or lines, with a pen and a brush.
#include <cstdint>

#include "report/band.h"
#include "report/metafile.h"

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

} // namespace strandel
