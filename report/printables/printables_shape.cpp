#include "report/printables/printables_shape.h"

#include <cmath>

#include "report/bands/exportshape.h"
#include "report/bands/pagorra.h"
#include "report/output/exportfilter.h"
#include "report/output/printer.h"

namespace strandel {

TPgxShape::TPgxShape()
{
    // A new shape is 65 pixels square on the screen.
    Width = Height = 65 * 254.0 / PgxScreenPpi();
}

void TPgxShape::Print(int32_t ofsX, int32_t ofsY)
{
    PrintFinished = true;
    PrintProgress = true;
    TCustomPagorra *report = ParentReport();
    TPgxPrinter *p = Printer();
    if (!report || !p)
        return;
    const double l = ofsX + Left, t = ofsY + Top, w = Width, h = Height;
    if (report->Exporting())
        report->ExportFilter()->AcceptGraphic(p->XPos(l), p->YPos(t), this);
    TPgxPageCanvas *c = p->Canvas();
    if (!report->CanvasOutput() || !Enabled || !c)
        return;
    c->SetBrush(Brush);
    c->SetPen(Pen);
    const PgxRect box{p->XPos(l), p->YPos(t), p->XPos(l + w), p->YPos(t + h)};
    switch (Shape) {
    case TPgxShapeType::pgxsRectangle:
        c->Rectangle(box);
        break;
    case TPgxShapeType::pgxsCircle:
        c->Ellipse(box);
        break;
    case TPgxShapeType::pgxsVertLine:
        c->Line(p->XPos(l + w / 2), box.top, p->XPos(l + w / 2), box.bottom);
        break;
    case TPgxShapeType::pgxsHorLine:
        c->Line(box.left, p->YPos(t + h / 2), box.right, p->YPos(t + h / 2));
        break;
    case TPgxShapeType::pgxsTopAndBottom:
        c->Line(box.left, box.top, box.right, box.top);
        c->Line(box.left, box.bottom, box.right, box.bottom);
        break;
    case TPgxShapeType::pgxsRightAndLeft:
        c->Line(box.left, box.top, box.left, box.bottom);
        c->Line(box.right, box.top, box.right, box.bottom);
        break;
    case TPgxShapeType::pgxsRoundRect: {
        // The corner is a share of the width on paper, in the printer's pixels in each direction.
        const double corner = std::isfinite(RoundFactor) ? w * double(RoundFactor) : 0.0;
        c->RoundRect(box, p->XSize(corner), p->YSize(corner));
        break;
    }
    }
}

std::unique_ptr<TPgxShape> PgxShapeFromFrameShape(const PgxFrameShape &shape)
{
    auto s = std::make_unique<TPgxShape>();
    switch (shape.kind) {
    case PgxFrameShapeKind::Rectangle: s->Shape = TPgxShapeType::pgxsRectangle; break;
    case PgxFrameShapeKind::HorLine: s->Shape = TPgxShapeType::pgxsHorLine; break;
    case PgxFrameShapeKind::VertLine: s->Shape = TPgxShapeType::pgxsVertLine; break;
    }
    s->Brush = shape.brush;
    s->Pen = shape.pen;
    const double k = 254.0 / PgxScreenPpi();
    s->Left = shape.left * k;
    s->Top = shape.top * k;
    s->Width = shape.width * k;
    s->Height = shape.height * k;
    return s;
}

void PgxRegisterShapeExports()
{
    RegisterExportShapeMaker([](const PgxFrameShape &shape) -> std::unique_ptr<TPgxPrintable> {
        return PgxShapeFromFrameShape(shape);
    });
}

} // namespace strandel
