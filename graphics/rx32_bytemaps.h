#pragma once
// An 8-bit single-channel map of the same shape as a TBitmap32.
#include <vector>

#include "graphics/rx32.h"

namespace strandel {

enum TConversionType : uint8_t { ctRed = 0, ctGreen, ctBlue, ctAlpha, ctUniformRGB, ctWeightedRGB };

class TByteMap : public TCustomMap
{
public:
    const char *ClassName() const override { return "TByteMap"; }

    std::vector<uint8_t> Bits; // row after row, index y * Width + x

    bool SetSize(int32_t newWidth, int32_t newHeight) override;
    bool Empty() const override { return Bits.empty(); }
    void Assign(const TPersistent *source) override;
    void Clear(uint8_t fillValue);
    // Unchecked, as the pixel members of TBitmap32.
    uint8_t *GetValPtr(int32_t x, int32_t y) { return Bits.data() + int64_t(y) * Width() + x; }
    uint8_t GetValue(int32_t x, int32_t y) const { return Bits[size_t(int64_t(y) * Width() + x)]; }
    void SetValue(int32_t x, int32_t y, uint8_t value) { *GetValPtr(x, y) = value; }
    void ReadFrom(const TBitmap32 &source, TConversionType conversion);
    void WriteTo(TBitmap32 &dest, TConversionType conversion) const;
    void WriteTo(TBitmap32 &dest, const TPalette32 &palette) const;

protected:
    void AssignTo(TPersistent *dest) const override;
};

} // namespace strandel
