#include "graphics/rx32_blend.h"

#include <algorithm>

#include "graphics/rx32_blend_ref.h"
#include "graphics/rx32_system.h"

namespace strandel {

using namespace blend_detail;

namespace {

// ---- Plain set: two rounded products per channel -------------------------------------
inline uint32_t PlainMix(uint32_t x, uint32_t y, uint32_t w)
{
    return ((x * w + 128) >> 8) + ((y * (255 - w) + 128) >> 8);
}
inline TColor32 PlainRGB(TColor32 x, TColor32 y, uint32_t w)
{
    return PlainMix((x >> 16) & 0xFF, (y >> 16) & 0xFF, w) << 16 |
           PlainMix((x >> 8) & 0xFF, (y >> 8) & 0xFF, w) << 8 | PlainMix(x & 0xFF, y & 0xFF, w);
}
inline TColor32 PlainARGB(TColor32 x, TColor32 y, uint32_t w)
{
    return PlainMix(x >> 24, y >> 24, w) << 24 | PlainRGB(x, y, w);
}

TColor32 PlainCombineReg(TColor32 x, TColor32 y, TColor32 w)
{
    if ((w & 0xFFFF) == 0)
        return y;
    if (w == 255)
        return x;
    return PlainARGB(x, y, Wt(w));
}
void PlainCombineMem(TColor32 f, TColor32 &b, TColor32 w)
{
    if ((w & 0xFFFF) == 0)
        return;
    b = w == 255 ? f : PlainRGB(f, b, Wt(w));
}
TColor32 PlainBlendReg(TColor32 f, TColor32 b)
{
    const uint32_t a = f >> 24;
    if (a == 255)
        return f;
    if (a == 0)
        return b;
    return PlainARGB(f, b, a);
}
void PlainBlendMem(TColor32 f, TColor32 &b) { b = PlainBlendReg(f, b); }
TColor32 PlainBlendRegEx(TColor32 f, TColor32 b, TColor32 m)
{
    const uint32_t a = f >> 24;
    if (a == 0)
        return b;
    const uint32_t w = ((Wt(m) + 1) * a) >> 8;
    if (w == 0)
        return b;
    return PlainRGB(f, b, w);
}
void PlainBlendMemEx(TColor32 f, TColor32 &b, TColor32 m) { b = PlainBlendRegEx(f, b, m); }
void PlainBlendLine(const TColor32 *src, TColor32 *dst, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        dst[i] = PlainBlendReg(src[i], dst[i]);
}
void PlainBlendLineEx(const TColor32 *src, TColor32 *dst, int32_t count, TColor32 m)
{
    for (int32_t i = 0; i < count; ++i)
        PlainBlendMemEx(src[i], dst[i], m);
}

// ---- Vector set, plain C reference ---------------------------------------------------
TColor32 RefCombineReg(TColor32 x, TColor32 y, TColor32 w) { return Vec4(x, y, Wt(w)); }
void RefCombineMem(TColor32 f, TColor32 &b, TColor32 w)
{
    if ((w & 0xFFFF) == 0)
        return;
    b = w == 255 ? f : Vec4(f, b, Wt(w));
}
TColor32 RefBlendReg(TColor32 f, TColor32 b) { return Vec4(f, b, f >> 24); }
void RefBlendMem(TColor32 f, TColor32 &b) { VecBlendMem(f, b); }
TColor32 RefBlendRegEx(TColor32 f, TColor32 b, TColor32 m)
{
    const uint32_t w = ((Wt(m) + 1) * (f >> 24)) >> 8;
    return w == 0 ? b : Vec4(f, b, w);
}
void RefBlendMemEx(TColor32 f, TColor32 &b, TColor32 m)
{
    const uint32_t a = f >> 24;
    if (a == 0)
        return;
    const uint32_t w = ((Wt(m) + 1) * a) >> 8;
    if (w != 0)
        b = Vec4(f, b, w);
}
void RefBlendLine(const TColor32 *src, TColor32 *dst, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        VecBlendMem(src[i], dst[i]);
}
void RefBlendLineEx(const TColor32 *src, TColor32 *dst, int32_t count, TColor32 m)
{
    const uint32_t mm = Wt(m);
    for (int32_t i = 0; i < count; ++i)
        VecBlendLineExPixel(src[i], dst[i], mm);
}

void PlainCombineRow(const TColor32 *a, const TColor32 *b, const int32_t *xa, const int32_t *xb, const TColor32 *wx,
                     TColor32 wy, bool rowsFirst, TColor32 *out, int32_t count)
{
    CombineRowWith(PlainCombineReg, a, b, xa, xb, wx, wy, rowsFirst, out, count);
}
void RefCombineRow(const TColor32 *a, const TColor32 *b, const int32_t *xa, const int32_t *xb, const TColor32 *wx,
                   TColor32 wy, bool rowsFirst, TColor32 *out, int32_t count)
{
    CombineRowWith(RefCombineReg, a, b, xa, xb, wx, wy, rowsFirst, out, count);
}

const BlendSet kPlainSet{PlainCombineReg,  PlainCombineMem, PlainBlendReg,    PlainBlendMem,  PlainBlendRegEx,
                         PlainBlendMemEx, PlainBlendLine,  PlainBlendLineEx, PlainCombineRow};
const BlendSet kRefSet{RefCombineReg,  RefCombineMem, RefBlendReg,    RefBlendMem,  RefBlendRegEx,
                       RefBlendMemEx, RefBlendLine,  RefBlendLineEx, RefCombineRow};

} // namespace

const BlendSet *GetBlendSet(BlendKind kind)
{
    switch (kind) {
    case BlendKind::Plain: return &kPlainSet;
    case BlendKind::VectorRef: return &kRefSet;
    case BlendKind::Sse2: return HasMMX() ? blend_detail::Sse2Set() : nullptr;
    case BlendKind::Avx2: return HasMMX() ? blend_detail::Avx2Set() : nullptr;
    }
    return nullptr;
}

bool BlendKindAvailable(BlendKind kind) { return GetBlendSet(kind) != nullptr; }

BlendKind DefaultBlendKind()
{
    if (!HasMMX())
        return BlendKind::Plain;
    if (BlendKindAvailable(BlendKind::Avx2))
        return BlendKind::Avx2;
    if (BlendKindAvailable(BlendKind::Sse2))
        return BlendKind::Sse2;
    return BlendKind::VectorRef;
}

bool MMX_ACTIVE = false;
TCombineReg CombineReg = PlainCombineReg;
TCombineMem CombineMem = PlainCombineMem;
TBlendReg BlendReg = PlainBlendReg;
TBlendMem BlendMem = PlainBlendMem;
TBlendRegEx BlendRegEx = PlainBlendRegEx;
TBlendMemEx BlendMemEx = PlainBlendMemEx;
TBlendLine BlendLine = PlainBlendLine;
TBlendLineEx BlendLineEx = PlainBlendLineEx;
TCombineRow CombineRow = PlainCombineRow;

void BindBlendSet(BlendKind kind)
{
    const BlendSet *set = GetBlendSet(kind);
    if (!set) {
        kind = BlendKind::Plain;
        set = &kPlainSet;
    }
    MMX_ACTIVE = kind != BlendKind::Plain;
    CombineReg = set->CombineReg;
    CombineMem = set->CombineMem;
    BlendReg = set->BlendReg;
    BlendMem = set->BlendMem;
    BlendRegEx = set->BlendRegEx;
    BlendMemEx = set->BlendMemEx;
    BlendLine = set->BlendLine;
    BlendLineEx = set->BlendLineEx;
    CombineRow = set->CombineRow;
}

namespace {
struct BlendStart
{
    BlendStart() { BindBlendSet(DefaultBlendKind()); }
} blendStart;
} // namespace

// ---- Per-channel colour arithmetic -----------------------------------------------------
namespace {
template <typename Op> TColor32 PerChannel(TColor32 c1, TColor32 c2, Op op)
{
    TColor32 r = 0;
    for (int shift = 0; shift < 32; shift += 8)
        r |= TColor32(op(int32_t((c1 >> shift) & 0xFF), int32_t((c2 >> shift) & 0xFF))) << shift;
    return r;
}
} // namespace

TColor32 ColorAdd(TColor32 c1, TColor32 c2)
{
    return PerChannel(c1, c2, [](int32_t a, int32_t b) { return std::min(a + b, 255); });
}
TColor32 ColorSub(TColor32 c1, TColor32 c2)
{
    return PerChannel(c1, c2, [](int32_t a, int32_t b) { return std::max(a - b, 0); });
}
TColor32 ColorModulate(TColor32 c1, TColor32 c2)
{
    return PerChannel(c1, c2, [](int32_t a, int32_t b) { return (a * b) >> 8; });
}
TColor32 ColorMax(TColor32 c1, TColor32 c2)
{
    return PerChannel(c1, c2, [](int32_t a, int32_t b) { return std::max(a, b); });
}
TColor32 ColorMin(TColor32 c1, TColor32 c2)
{
    return PerChannel(c1, c2, [](int32_t a, int32_t b) { return std::min(a, b); });
}
TColor32 Lighten(TColor32 c, int32_t amount)
{
    const auto ch = [&](int shift) {
        const int64_t v = int64_t((c >> shift) & 0xFF) + amount;
        return TColor32(v < 0 ? 0 : (v > 255 ? 255 : v)) << shift;
    };
    return (c & 0xFF000000) | ch(16) | ch(8) | ch(0);
}

} // namespace strandel
