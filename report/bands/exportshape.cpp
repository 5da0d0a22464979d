#include "report/bands/exportshape.h"

#include "report/base/hook.h"

namespace strandel {

namespace {

TPgxHook<TPgxExportShapeMaker> g_maker;

} // namespace

void RegisterExportShapeMaker(TPgxExportShapeMaker maker)
{
    g_maker.Set(std::move(maker));
}

std::unique_ptr<TPgxPrintable> PgxMakeExportShape(const PgxFrameShape &shape)
{
    const TPgxExportShapeMaker maker = g_maker.Get();
    if (maker)
        if (std::unique_ptr<TPgxPrintable> p = maker(shape))
            return p;
    return std::make_unique<TPgxExportShape>(shape);
}

} // namespace strandel
