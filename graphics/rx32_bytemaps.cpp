#include "graphics/rx32_bytemaps.h"

#include <algorithm>

namespace strandel {

bool TByteMap::SetSize(int32_t newWidth, int32_t newHeight)
{
    // Negative sizes would make a meaningless (or huge) byte count.
    newWidth = std::max(newWidth, 0);
    newHeight = std::max(newHeight, 0);
    if (!TCustomMap::SetSize(newWidth, newHeight))
        return false;
    Bits.resize(size_t(newWidth) * size_t(newHeight));
    Changed();
    return true;
}

void TByteMap::Clear(uint8_t fillValue)
{
    std::fill(Bits.begin(), Bits.end(), fillValue);
    Changed();
}

void TByteMap::ReadFrom(const TBitmap32 &source, TConversionType conversion)
{
    BeginUpdate();
    SetSize(source.Width(), source.Height());
    if (!Empty() && !source.Empty()) {
        const TColor32 *p = source.Bits();
        for (size_t i = 0; i < Bits.size(); ++i) {
            const TColor32 c = p[i];
            switch (conversion) {
            case ctRed: Bits[i] = uint8_t(c >> 16); break;
            case ctGreen: Bits[i] = uint8_t(c >> 8); break;
            case ctBlue: Bits[i] = uint8_t(c); break;
            case ctAlpha: Bits[i] = uint8_t(c >> 24); break;
            case ctUniformRGB:
                Bits[i] = uint8_t((((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255)) / 3);
                break;
            default: Bits[i] = uint8_t(Intensity(c)); break;
            }
        }
    }
    EndUpdate();
    Changed();
}

void TByteMap::WriteTo(TBitmap32 &dest, TConversionType conversion) const
{
    dest.BeginUpdate();
    const bool resized = dest.SetSize(Width(), Height());
    if (!Empty() && !dest.Empty()) {
        TColor32 *p = dest.Bits();
        for (size_t i = 0; i < Bits.size(); ++i) {
            const TColor32 v = Bits[i];
            switch (conversion) {
            case ctRed: p[i] = (p[i] & 0xFF00FFFF) | v << 16; break;
            case ctGreen: p[i] = (p[i] & 0xFFFF00FF) | v << 8; break;
            case ctBlue: p[i] = (p[i] & 0xFFFFFF00) | v; break;
            case ctAlpha: p[i] = (p[i] & 0x00FFFFFF) | v << 24; break;
            default: p[i] = Gray32(uint8_t(v)); break;
            }
        }
    }
    dest.EndUpdate();
    dest.Changed();
    if (resized)
        dest.Resized();
}

void TByteMap::WriteTo(TBitmap32 &dest, const TPalette32 &palette) const
{
    dest.SetSize(Width(), Height());
    if (!Empty() && !dest.Empty()) {
        TColor32 *p = dest.Bits();
        for (size_t i = 0; i < Bits.size(); ++i)
            p[i] = palette[Bits[i]];
    }
    dest.Changed();
}

void TByteMap::Assign(const TPersistent *source)
{
    BeginUpdate();
    try {
        if (auto map = dynamic_cast<const TByteMap *>(source)) {
            SetSize(map->Width(), map->Height());
            Bits = map->Bits;
        } else if (auto bmp = dynamic_cast<const TBitmap32 *>(source)) {
            ReadFrom(*bmp, ctWeightedRGB);
        } else {
            TCustomMap::Assign(source);
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    Changed();
}

void TByteMap::AssignTo(TPersistent *dest) const
{
    if (auto bmp = dynamic_cast<TBitmap32 *>(dest))
        WriteTo(*bmp, ctUniformRGB);
    else
        TCustomMap::AssignTo(dest);
}

} // namespace strandel
