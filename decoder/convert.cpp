// Conversion of a 4:2:0 picture into the caller's output formats.
#include "decoder/decode.h"

#include <algorithm>
#include <cstring>

namespace strandel::lumaset {
namespace {

void ConvertRgb(const DecoderState &s, const uint8_t *ysrc, int ystride, const uint8_t *usrc, const uint8_t *vsrc,
                int cstride, uint8_t *out)
{
    const int w = s.width, h = s.height;
    const int bpp = s.output_format == 4 ? 4 : s.output_format == 5 ? 3 : 2;
    const size_t rowBytes = size_t(w) * size_t(bpp);
    const RgbRow row = DspBest().rgb_row;
    for (int r = 0; r < h; ++r) {
        const int sy = s.direction < 0 ? h - 1 - r : r;
        row(out + rowBytes * size_t(r), ysrc + ptrdiff_t(sy) * ystride, usrc + ptrdiff_t(sy >> 1) * cstride,
            vsrc + ptrdiff_t(sy >> 1) * cstride, w, s.output_format);
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
