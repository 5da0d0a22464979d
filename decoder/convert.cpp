// Conversion of a 4:2:0 picture into the caller's output formats.
#include "decoder/decode.h"

#include <algorithm>
#include <cstring>

namespace strandel::lumaset {
namespace {

// 16-bit multipliers on values pre-multiplied by 8, keeping the high half of each product.
constexpr int kLuma = 9576, kUToG = -3218, kUToB = 16591, kVToR = 13123, kVToG = -6686;

inline int MulHi(int a, int b) { return (a * b) >> 16; }
inline uint8_t Clamp8(int v) { return uint8_t(std::clamp(v, 0, 255)); }

struct Rgb {
    uint8_t r, g, b;
};

inline Rgb ToRgb(int Y, int ug, int vr, int vg, int ub)
{
    const int y = std::max(Y - 16, 0);
    const int yc = MulHi(8 * y, kLuma);
    return Rgb{Clamp8(yc + vr), Clamp8(yc + ug + vg), Clamp8(yc + ub)};
}

void ConvertRgb(const DecoderState &s, const uint8_t *ysrc, int ystride, const uint8_t *usrc, const uint8_t *vsrc,
                int cstride, uint8_t *out)
{
    const int w = s.width, h = s.height;
    const int bpp = s.output_format == 4 ? 4 : s.output_format == 5 ? 3 : 2;
    const size_t rowBytes = size_t(w) * size_t(bpp);
    for (int row = 0; row < h; ++row) {
        const int sy = s.direction < 0 ? h - 1 - row : row;
        const uint8_t *yr = ysrc + ptrdiff_t(sy) * ystride;
        const uint8_t *ur = usrc + ptrdiff_t(sy >> 1) * cstride;
        const uint8_t *vr = vsrc + ptrdiff_t(sy >> 1) * cstride;
        uint8_t *o = out + rowBytes * size_t(row);
        for (int x = 0; x < w; ++x) {
            const int u = 8 * (ur[x >> 1] - 128), v = 8 * (vr[x >> 1] - 128);
            const Rgb c = ToRgb(yr[x], MulHi(u, kUToG), MulHi(v, kVToR), MulHi(v, kVToG), MulHi(u, kUToB));
            switch (s.output_format) {
            case 4:
                o[0] = c.b, o[1] = c.g, o[2] = c.r, o[3] = 0;
                o += 4;
                break;
            case 5:
                o[0] = c.b, o[1] = c.g, o[2] = c.r;
                o += 3;
                break;
            case 6: {
                const unsigned p = unsigned(c.r >> 3) << 10 | unsigned(c.g >> 3) << 5 | unsigned(c.b >> 3);
                o[0] = uint8_t(p), o[1] = uint8_t(p >> 8);
                o += 2;
                break;
            }
            default: {
                const unsigned p = unsigned(c.r >> 3) << 11 | unsigned(c.g >> 2) << 5 | unsigned(c.b >> 3);
                o[0] = uint8_t(p), o[1] = uint8_t(p >> 8);
                o += 2;
                break;
            }
            }
        }
    }
}

void ConvertPlanar(const DecoderState &s, const uint8_t *ysrc, int ystride, const uint8_t *usrc,
                   const uint8_t *vsrc, int cstride, uint8_t *out, int32_t pitch)
{
    const int w = s.width, h = s.height;
    for (int y = 0; y < h; ++y)
        std::memcpy(out + ptrdiff_t(y) * pitch, ysrc + ptrdiff_t(y) * ystride, size_t(w));
    uint8_t *vout = out + ptrdiff_t(pitch) * h;
    uint8_t *uout = out + ptrdiff_t(pitch) * h * 5 / 4;
    for (int y = 0; y < h / 2; ++y) {
        std::memcpy(vout + ptrdiff_t(y) * (pitch / 2), vsrc + ptrdiff_t(y) * cstride, size_t(w / 2));
        std::memcpy(uout + ptrdiff_t(y) * (pitch / 2), usrc + ptrdiff_t(y) * cstride, size_t(w / 2));
    }
}

void ConvertPacked(const DecoderState &s, const uint8_t *ysrc, int ystride, const uint8_t *usrc,
                   const uint8_t *vsrc, int cstride, uint8_t *out, int32_t pitch)
{
    const int w = s.width, h = s.height;
    const bool yuy2 = s.output_format == 1;
    for (int y = 0; y < h; ++y) {
        const uint8_t *yr = ysrc + ptrdiff_t(y) * ystride;
        const uint8_t *ur = usrc + ptrdiff_t(y >> 1) * cstride;
        const uint8_t *vr = vsrc + ptrdiff_t(y >> 1) * cstride;
        uint8_t *o = out + ptrdiff_t(y) * pitch * 2;
        for (int x = 0; x < w; x += 2, o += 4) {
            if (yuy2)
                o[0] = yr[x], o[1] = ur[x >> 1], o[2] = yr[x + 1], o[3] = vr[x >> 1];
            else
                o[0] = ur[x >> 1], o[1] = yr[x], o[2] = vr[x >> 1], o[3] = yr[x + 1];
        }
    }
}

} // namespace

void Convert(const DecoderState &s, const uint8_t *y, int ystride, const uint8_t *u, const uint8_t *v, int cstride,
             uint8_t *out, int32_t pitch)
{
    if (!out)
        return;
    switch (s.output_format) {
    case 1:
    case 2:
        ConvertPacked(s, y, ystride, u, v, cstride, out, pitch);
        break;
    case 3:
        ConvertPlanar(s, y, ystride, u, v, cstride, out, pitch);
        break;
    case 4:
    case 5:
    case 6:
    case 7:
        ConvertRgb(s, y, ystride, u, v, cstride, out);
        break;
    default:
        break; // no converter selected yet
    }
}

} // namespace strandel::lumaset
