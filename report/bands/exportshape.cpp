#include "report/bands/exportshape.h"

#include <mutex>

namespace strandel {

namespace {

std::mutex g_makerLock;
TPgxExportShapeMaker g_maker;

} // namespace

void RegisterExportShapeMaker(TPgxExportShapeMaker maker)
{
    std::lock_guard lock(g_makerLock);
    g_maker = std::move(maker);
}

std::unique_ptr<TPgxPrintable> PgxMakeExportShape(const PgxFrameShape &shape)
{
    TPgxExportShapeMaker maker;
    {
        std::lock_guard lock(g_makerLock);
        maker = g_maker;
    }
    if (maker)
        if (std::unique_ptr<TPgxPrintable> p = maker(shape))
            return p;
    return std::make_unique<TPgxExportShape>(shape);
}

} // namespace strandel
