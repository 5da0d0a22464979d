#pragma once
// Shapes made for one export call and freed after it: a band's background and the lines of a
// frame reach an export filter as graphics, like a shape printable would.
#include <functional>
#include <memory>

#include "report/bands/band.h"

namespace strandel {

class TPgxExportShape : public TPgxPrintable
{
public:
    explicit TPgxExportShape(const PgxFrameShape &shape) : Shape(shape) {}
    // Device pixels of the page, as the filter receives the shape's position.
    PgxFrameShape Shape;
};

// The shape printable's unit registers a maker so that filters receive its own class; without
// one they receive a TPgxExportShape.
using TPgxExportShapeMaker = std::function<std::unique_ptr<TPgxPrintable>(const PgxFrameShape &)>;
void RegisterExportShapeMaker(TPgxExportShapeMaker maker);
std::unique_ptr<TPgxPrintable> PgxMakeExportShape(const PgxFrameShape &shape);

} // namespace strandel
