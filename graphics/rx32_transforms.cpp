#include "graphics/rx32_transforms.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace strandel {

namespace {

// ---- Checks and clipping ---------------------------------------------------------------------

void CheckBitmaps(TBitmap32 *dst, TBitmap32 *src)
{
    if (!dst || dst->Empty())
        throw ETransformError("Destination bitmap is nil or empty");
    if (!src || src->Empty())
        throw ETransformError("Source bitmap is nil or empty");
}

bool CheckSrcRect(TBitmap32 *src, const TRect &r)
{
    if (IsRectEmpty(r))
        return false;
    if (r.Left < 0 || r.Right > src->Width() || r.Top < 0 || r.Bottom > src->Height())
        throw ETransformError("Source rectangle is invalid");
    return true;
}

// Rectangles in 64 bits: destination rectangles may lie far outside the bitmap.
struct Box
{
    int64_t l, t, r, b;
    int64_t W() const { return r - l; }
    int64_t H() const { return b - t; }
    bool IsEmpty() const { return r <= l || b <= t; }
};
Box ToBox(const TRect &r) { return {r.Left, r.Top, r.Right, r.Bottom}; }
Box Intersect(const Box &a, const Box &b)
{
    return {std::max(a.l, b.l), std::max(a.t, b.t), std::min(a.r, b.r), std::min(a.b, b.b)};
}
Box Bounds(const TBitmap32 *bmp) { return {0, 0, bmp->Width(), bmp->Height()}; }

// A * B / C rounded half away from zero, C > 0, on 128 bits.
int64_t MulDivWide(int64_t a, int64_t b, int64_t c)
{
    __int128 n = __int128(a) * b;
    const bool negative = n < 0;
    if (negative)
        n = -n;
    __int128 q = n / c;
    if (c - n % c <= n % c)
        ++q;
    return int64_t(negative ? -q : q);
}

inline TColor32 *Row(TBitmap32 *bmp, int64_t y) { return bmp->Bits() + y * bmp->Width(); }

// ---- Stretchers ---------------------------------------------------------------------------------

struct Stretch
{
    TBitmap32 *dst, *src;
    Box dstRect, srcRect, clip;
    int64_t SrcW() const { return srcRect.W(); }
    int64_t SrcH() const { return srcRect.H(); }
    int64_t DstW() const { return dstRect.W(); }
    int64_t DstH() const { return dstRect.H(); }
    bool SameSize() const { return SrcW() == DstW() && SrcH() == DstH(); }
};

void StretchNearestOpaque(const Stretch &s)
{
    const int64_t cw = s.clip.W(), ch = s.clip.H();
    const auto xs = NearestTable(s.srcRect.l, s.SrcW(), s.DstW(), s.clip.l - s.dstRect.l, cw);
    const auto ys = NearestTable(s.srcRect.t, s.SrcH(), s.DstH(), s.clip.t - s.dstRect.t, ch);
    const bool reuseRows = 2 * s.SrcH() < s.DstH();
    int32_t lastRow = -1;
    for (int64_t k = 0; k < ch; ++k) {
        TColor32 *d = Row(s.dst, s.clip.t + k) + s.clip.l;
        if (reuseRows && ys[size_t(k)] == lastRow) {
            MoveLongword(d - s.dst->Width(), d, int32_t(cw));
            continue;
        }
        lastRow = ys[size_t(k)];
        const TColor32 *src = Row(s.src, lastRow);
        for (int64_t i = 0; i < cw; ++i)
            d[i] = src[xs[size_t(i)]];
    }
}

void StretchNearestCombine(const Stretch &s, TDrawMode mode, const TPixelCombineEvent &cb)
{
    const TColor32 ma = s.src->MasterAlpha();
    const int64_t cw = s.clip.W(), ch = s.clip.H();
    const auto xs = NearestTable(s.srcRect.l, s.SrcW(), s.DstW(), s.clip.l - s.dstRect.l, cw);
    const auto ys = NearestTable(s.srcRect.t, s.SrcH(), s.DstH(), s.clip.t - s.dstRect.t, ch);
    for (int64_t k = 0; k < ch; ++k) {
        TColor32 *d = Row(s.dst, s.clip.t + k) + s.clip.l;
        const TColor32 *src = Row(s.src, ys[size_t(k)]);
        for (int64_t i = 0; i < cw; ++i) {
            const TColor32 c = src[xs[size_t(i)]];
            if (mode == dmCustom)
                cb(c, d[i], ma);
            else if (ma < 255)
                BlendMemEx(c, d[i], ma);
            else
                BlendMem(c, d[i]);
        }
    }
}

void StretchLinear(const Stretch &s, TDrawMode mode, const TPixelCombineEvent &cb)
{
    const TColor32 ma = s.src->MasterAlpha();
    const int64_t cw = s.clip.W(), ch = s.clip.H();
    const int64_t dx = ((s.SrcW() - 1) << 16) / s.DstW();
    const int64_t dy = ((s.SrcH() - 1) << 16) / s.DstH();
    const int64_t x0 = MulDivWide((s.clip.l - s.dstRect.l) * (s.SrcW() - 1), 65535, s.DstW());
    const int64_t y0 = MulDivWide((s.clip.t - s.dstRect.t) * (s.SrcH() - 1), 65535, s.DstH());

    std::vector<int32_t> xa(static_cast<size_t>(cw)), xb(static_cast<size_t>(cw));
    std::vector<TColor32> wx(static_cast<size_t>(cw));
    for (int64_t i = 0; i < cw; ++i) {
        const int64_t acc = x0 + i * dx;
        const int64_t x = std::min(s.srcRect.l + (acc >> 16), s.srcRect.r - 1);
        xa[size_t(i)] = int32_t(x);
        xb[size_t(i)] = int32_t(std::min(x + 1, s.srcRect.r - 1));
        wx[size_t(i)] = 255 - ((acc >> 8) & 255);
    }
    const bool rowsFirst = mode == dmBlend && ma < 255;
    std::vector<TColor32> row(static_cast<size_t>(cw));
    for (int64_t k = 0; k < ch; ++k) {
        const int64_t acc = y0 + k * dy;
        const int64_t y = std::min(s.srcRect.t + (acc >> 16), s.srcRect.b - 1);
        const TColor32 *a = Row(s.src, y);
        const TColor32 *b = Row(s.src, y < s.srcRect.b - 1 ? y + 1 : y);
        const TColor32 wy = 255 - ((acc >> 8) & 255);
        TColor32 *d = Row(s.dst, s.clip.t + k) + s.clip.l;
        CombineRow(a, b, xa.data(), xb.data(), wx.data(), wy, rowsFirst, row.data(), int32_t(cw));
        switch (mode) {
        case dmOpaque: MoveLongword(row.data(), d, int32_t(cw)); break;
        case dmBlend:
            for (int64_t i = 0; i < cw; ++i) {
                if (ma >= 255)
                    BlendMem(row[size_t(i)], d[i]);
                else
                    BlendMemEx(row[size_t(i)], d[i], ma);
            }
            break;
        default:
            for (int64_t i = 0; i < cw; ++i)
                cb(row[size_t(i)], d[i], ma);
            break;
        }
    }
}

// ---- Resampler ----------------------------------------------------------------------------------

float BoxFilter(float x) { return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f; }
float TriangleFilter(float x)
{
    if (x >= -1.0f && x < 0.0f)
        return x + 1.0f;
    if (x >= 0.0f && x < 1.0f)
        return 1.0f - x;
    return 0.0f;
}
float SplineFilter(float x)
{
    const long double t = std::fabs(x);
    if (t < 1)
        return float(0.5L * t * t * t - t * t + 2.0L / 3.0L);
    if (t < 2)
        return float((2 - t) * (2 - t) * (2 - t) / 6.0L);
    return 0.0f;
}

// Clusters first..first+count-1 of the mapping of one axis.
TMappingTable BuildMappingRange(int64_t dstSize, int32_t srcSize, int32_t srcFrom, int32_t srcTo,
                                TStretchFilter filter, int64_t first, int64_t count)
{
    TMappingTable table;
    if (srcSize <= 0 || count <= 0)
        return table;
    if (srcSize == 1) {
        table.assign(size_t(count), TCluster{{0, 255}});
        return table;
    }
    float (*kernel)(float) = TriangleFilter;
    float halfWidth = 1.001f;
    if (filter == sfNearest)
        kernel = BoxFilter;
    else if (filter == sfSpline) {
        kernel = SplineFilter;
        halfWidth = 1.5f;
    }
    table.resize(size_t(count));
    const int64_t span = int64_t(srcTo) - srcFrom;
    if (span <= 0 || dstSize < 1)
        return table;

    float scale, step;
    long double origin = srcFrom;
    if (dstSize == 1) {
        // One destination pixel stands for the whole span (mapping end to end would divide by 0).
        scale = float(1.0L / span);
        origin = srcFrom + (span - 1) / 2.0L;
    } else {
        scale = span == 1 ? 1.0f : float((long double)(dstSize - 1) / (long double)(span - 1));
    }
    step = 1.0f / scale;

    for (int64_t n = 0; n < count; ++n) {
        const int64_t i = first + n;
        const float center = float(origin + i * (long double)step);
        TCluster &cluster = table[size_t(n)];
        if (scale >= 1.0f) {
            const float half = 1.0f / halfWidth;
            const int64_t j0 = int64_t(std::floor(center - half)), j1 = int64_t(std::ceil(center + half));
            for (int64_t j = j0; j <= j1; ++j) {
                const float arg = float((long double)center - j);
                const int32_t w = int32_t(std::nearbyint(kernel(arg) * 256.0L));
                if (w != 0)
                    cluster.push_back({int32_t(std::clamp<int64_t>(j, 0, srcSize - 1)), w});
            }
            continue;
        }
        const float half = halfWidth * step;
        const int64_t j0 = int64_t(std::floor(center - half)), j1 = int64_t(std::ceil(center + half));
        float sum = 0;
        for (int64_t j = j0; j <= j1; ++j) {
            const float arg = float(((long double)center - j) * scale);
            const int32_t w = int32_t(std::nearbyint(kernel(arg) * 255.0L * scale));
            if (w != 0) {
                sum = float(sum + w / 255.0L);
                cluster.push_back({int32_t(std::clamp<int64_t>(j, 0, srcSize - 1)), w});
            }
        }
        if (sum <= 0) {
            // So steep a reduction that every weight rounds to 0: take the nearest pixel.
            const int64_t j = int64_t(std::nearbyint(center));
            cluster.assign(1, {int32_t(std::clamp<int64_t>(j, 0, srcSize - 1)), 255});
        } else if (sum != 1.0f) {
            for (TClusterEntry &e : cluster)
                e.Weight = int32_t(std::nearbyint(e.Weight * (1.0L / sum)));
        }
    }
    return table;
}

void Resample(const Stretch &s, TStretchFilter filter, TDrawMode mode, const TPixelCombineEvent &cb)
{
    const TColor32 ma = s.src->MasterAlpha();
    const TMappingTable mapX = BuildMappingRange(s.DstW(), s.src->Width(), int32_t(s.srcRect.l),
                                                 int32_t(s.srcRect.r), filter, s.clip.l - s.dstRect.l, s.clip.W());
    const TMappingTable mapY = BuildMappingRange(s.DstH(), s.src->Height(), int32_t(s.srcRect.t),
                                                 int32_t(s.srcRect.b), filter, s.clip.t - s.dstRect.t, s.clip.H());
    if (mapX.empty() || mapY.empty())
        return;
    for (int64_t k = 0; k < s.clip.H(); ++k) {
        const TCluster &cy = mapY[size_t(k)];
        TColor32 *d = Row(s.dst, s.clip.t + k) + s.clip.l;
        for (int64_t i = 0; i < s.clip.W(); ++i) {
            const TCluster &cx = mapX[size_t(i)];
            int64_t sa = 0, sr = 0, sg = 0, sb = 0;
            for (const TClusterEntry &ey : cy) {
                const TColor32 *row = Row(s.src, ey.Pos);
                for (const TClusterEntry &ex : cx) {
                    const TColor32 c = row[ex.Pos];
                    const int64_t w = int64_t(ex.Weight) * ey.Weight;
                    sa += int64_t(c >> 24) * w;
                    sr += int64_t((c >> 16) & 255) * w;
                    sg += int64_t((c >> 8) & 255) * w;
                    sb += int64_t(c & 255) * w;
                }
            }
            const auto channel = [](int64_t v) -> TColor32 {
                return v > 0xFF0000 ? 255 : v < 0 ? 0 : TColor32((v >> 16) & 255);
            };
            const TColor32 c = channel(sa) << 24 | channel(sr) << 16 | channel(sg) << 8 | channel(sb);
            switch (mode) {
            case dmOpaque: d[i] = c; break;
            case dmBlend: BlendMemEx(c, d[i], ma); break;
            default: cb(c, d[i], ma); break;
            }
        }
    }
}

} // namespace

TMappingTable BuildMapping(int32_t dstSize, int32_t srcSize, int32_t srcFrom, int32_t srcTo, TStretchFilter filter)
{
    return BuildMappingRange(dstSize, srcSize, srcFrom, srcTo, filter, 0, dstSize);
}

void BlockTransfer(TBitmap32 *dst, int32_t dstX, int32_t dstY, TBitmap32 *src, TRect srcRect, TDrawMode combineOp,
                   const TPixelCombineEvent &combineCallBack)
{
    CheckBitmaps(dst, src);
    if (combineOp == dmCustom && !combineCallBack)
        combineOp = dmOpaque;
    const TColor32 ma = src->MasterAlpha();
    if (combineOp == dmBlend && ma == 0)
        return;

    // Only what lies inside both bitmaps changes; a rectangle outside the source is clipped.
    const int64_t ox = int64_t(dstX) - srcRect.Left, oy = int64_t(dstY) - srcRect.Top;
    Box r = Intersect(ToBox(srcRect), Bounds(src));
    if (r.IsEmpty())
        return;
    r = Intersect({r.l + ox, r.t + oy, r.r + ox, r.b + oy}, Bounds(dst));
    if (r.IsEmpty())
        return;
    const int64_t w = r.W();
    const auto srcPixel = [&](int64_t y) { return Row(src, y - oy) + (r.l - ox); };
    const auto dstPixel = [&](int64_t y) { return Row(dst, y) + r.l; };

    if (combineOp == dmOpaque) {
        // Within one bitmap a move downwards copies from the bottom row up.
        const bool backwards = src == dst && oy > 0;
        for (int64_t n = 0; n < r.H(); ++n) {
            const int64_t y = backwards ? r.b - 1 - n : r.t + n;
            MoveLongword(srcPixel(y), dstPixel(y), int32_t(w));
        }
        return;
    }
    for (int64_t y = r.t; y < r.b; ++y) {
        const TColor32 *ps = srcPixel(y);
        TColor32 *pd = dstPixel(y);
        if (combineOp == dmBlend) {
            if (ma >= 255)
                BlendLine(ps, pd, int32_t(w));
            else
                BlendLineEx(ps, pd, int32_t(w), ma);
        } else {
            for (int64_t i = 0; i < w; ++i)
                combineCallBack(ps[i], pd[i], ma);
        }
    }
    EMMS();
}

std::vector<int32_t> NearestTable(int64_t from, int64_t srcW, int64_t dstW, int64_t clipOffset, int64_t count)
{
    const int64_t step = (srcW << 16) / dstW;
    const int64_t start = MulDivWide(clipOffset * srcW, 65535, dstW);
    std::vector<int32_t> table(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i)
        table[size_t(i)] = int32_t(from + std::min((start + i * step) >> 16, srcW - 1));
    return table;
}

void StretchTransfer(TBitmap32 *dst, TRect dstRect, TBitmap32 *src, TRect srcRect, TStretchFilter stretchFilter,
                     TDrawMode combineOp, const TPixelCombineEvent &combineCallBack)
{
    if (combineOp == dmCustom && !combineCallBack)
        combineOp = dmOpaque;
    CheckBitmaps(dst, src);
    if (!CheckSrcRect(src, srcRect))
        return;
    Stretch s{dst, src, ToBox(dstRect), ToBox(srcRect), {}};
    if (s.dstRect.IsEmpty())
        return;
    s.clip = Intersect(s.dstRect, Bounds(dst));
    if (s.clip.IsEmpty())
        return;
    const TColor32 ma = src->MasterAlpha();
    const auto block = [&](TDrawMode mode, const TPixelCombineEvent &cb) {
        BlockTransfer(dst, dstRect.Left, dstRect.Top, src, srcRect, mode, cb);
    };

    if (stretchFilter == sfNearest || stretchFilter > sfSpline) {
        if (combineOp == dmOpaque) {
            if (s.SameSize())
                block(dmOpaque, {});
            else
                StretchNearestOpaque(s);
            return;
        }
        if (ma == 0)
            return;
        if (s.SameSize())
            block(combineOp, combineCallBack);
        else
            StretchNearestCombine(s, combineOp, combineCallBack);
        return;
    }
    if (stretchFilter == sfLinear) {
        if (ma == 0)
            return;
        if (s.SameSize())
            block(combineOp, combineCallBack);
        else
            StretchLinear(s, combineOp, combineCallBack);
        return;
    }
    if (combineOp == dmBlend && ma == 0)
        return;
    if (s.SameSize())
        block(combineOp, combineCallBack);
    else
        Resample(s, stretchFilter, combineOp, combineCallBack);
    EMMS();
}

} // namespace strandel
