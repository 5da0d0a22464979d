#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "graphics/rx32_bytemaps.h"
#include "graphics/rx32_filters.h"

using namespace strandel;

namespace {
void Set(TBitmap32 &b, std::vector<TColor32> pixels)
{
    b.SetSize(int32_t(pixels.size()), 1);
    for (size_t i = 0; i < pixels.size(); ++i)
        b.Bits()[i] = pixels[i];
}
std::vector<TColor32> Pixels(const TBitmap32 &b) { return {b.Bits(), b.Bits() + b.Width() * b.Height()}; }
} // namespace

TEST(ByteMap, ReadFromConversions)
{
    TBitmap32 b;
    Set(b, {0xFF010203, 0x80FF00FF});
    struct Case { TConversionType type; std::vector<uint8_t> bytes; };
    const Case cases[] = {
        {ctRed, {1, 0xFF}},        {ctGreen, {2, 0}},
        {ctBlue, {3, 0xFF}},       {ctAlpha, {0xFF, 0x80}},
        {ctUniformRGB, {2, 170}},  {ctWeightedRGB, {uint8_t(Intensity(0xFF010203)), uint8_t(Intensity(0x80FF00FF))}},
    };
    for (const Case &c : cases) {
        TByteMap m;
        m.ReadFrom(b, c.type);
        EXPECT_EQ(m.Bits, c.bytes) << int(c.type);
        EXPECT_EQ(m.Width(), 2);
    }
}

TEST(ByteMap, WriteToAndAssign)
{
    TByteMap m;
    int changes = 0;
    m.OnChange = [&](TThreadPersistent *) { ++changes; };
    m.SetSize(2, 1);
    EXPECT_EQ(changes, 1);
    m.SetValue(0, 0, 0x11);
    m.SetValue(1, 0, 0x22);

    TBitmap32 b;
    Set(b, {0xFF010203, 0x80FF00FF});
    m.WriteTo(b, ctAlpha); // only the alpha bytes change
    EXPECT_EQ(Pixels(b), (std::vector<TColor32>{0x11010203, 0x22FF00FF}));
    m.WriteTo(b, ctWeightedRGB);
    EXPECT_EQ(Pixels(b), (std::vector<TColor32>{0xFF111111, 0xFF222222}));
    TPalette32 palette{};
    palette[0x11] = 0xAABBCCDD;
    m.WriteTo(b, palette);
    EXPECT_EQ(b.Bits()[0], 0xAABBCCDDu);

    // Resize through the bitmap's own writer.
    std::string events; // declared first: the bitmap still fires as it goes
    TBitmap32 fresh;
    fresh.OnResize = [&](TThreadPersistent *) { events += 'R'; };
    fresh.OnChange = [&](TThreadPersistent *) { events += 'C'; };
    m.WriteTo(fresh, ctRed);
    EXPECT_EQ(events, "RCR");

    TByteMap copy;
    copy.Assign(&m);
    EXPECT_EQ(copy.Bits, m.Bits);
    b.Assign(&m); // bitmaps take maps as uniform gray
    EXPECT_EQ(Pixels(b), (std::vector<TColor32>{0xFF111111, 0xFF222222}));
    copy.Assign(&b);
    EXPECT_EQ(copy.Bits, (std::vector<uint8_t>{uint8_t(Intensity(0xFF111111)), uint8_t(Intensity(0xFF222222))}));
    TPersistent other;
    EXPECT_THROW(copy.Assign(&other), EConvertError);
    EXPECT_EQ(copy.UpdateCount(), 0);

    copy.SetSize(-4, -4); // no negative byte counts
    EXPECT_TRUE(copy.Empty());
    m.Clear(7);
    EXPECT_EQ(m.Bits, (std::vector<uint8_t>{7, 7}));
}

TEST(Filters, Table)
{
    uint8_t identity[256], inverse[256];
    for (int i = 0; i < 256; ++i) {
        identity[i] = uint8_t(i);
        inverse[i] = uint8_t(255 - i);
    }
    const std::vector<TColor32> src = {0x00123456, 0x80FF0000};
    using F = std::function<void(TBitmap32 *, const TBitmap32 *)>;
    struct Case { const char *name; F filter; std::vector<TColor32> result; };
    const Case cases[] = {
        {"AlphaToGrayscale", AlphaToGrayscale, {0xFF000000, 0xFF808080}},
        {"IntensityToAlpha", IntensityToAlpha, {0x00123456 | TColor32(Intensity(0x00123456)) << 24, 0x3CFF0000}},
        {"Invert", Invert, {0xFFEDCBA9, 0x7F00FFFF}},
        {"InvertRGB", InvertRGB, {0x00EDCBA9, 0x8000FFFF}},
        {"ColorToGrayscale", ColorToGrayscale, {Gray32(uint8_t(Intensity(0x123456))), 0xFF3C3C3C}},
        {"ApplyLUT identity", [&](TBitmap32 *d, const TBitmap32 *s) { ApplyLUT(d, s, identity); },
         {0xFF123456, 0xFFFF0000}},
        {"ApplyLUT inverse", [&](TBitmap32 *d, const TBitmap32 *s) { ApplyLUT(d, s, inverse); },
         {0xFFEDCBA9, 0xFF00FFFF}},
    };
    for (const Case &c : cases) {
        TBitmap32 s, d;
        Set(s, src);
        if (std::string(c.name) == "IntensityToAlpha")
            Set(d, src); // replaces the alpha of what Dst holds
        c.filter(&d, &s);
        EXPECT_EQ(Pixels(d), c.result) << c.name;
        c.filter(&s, &s); // in place
        EXPECT_EQ(Pixels(s), c.result) << c.name;
    }
    TBitmap32 b;
    try {
        Invert(&b, nullptr);
        FAIL();
    } catch (const ERx32Error &e) {
        EXPECT_STREQ(e.what(), "The source is nil");
    }
    try {
        Invert(nullptr, &b);
        FAIL();
    } catch (const ERx32Error &e) {
        EXPECT_STREQ(e.what(), "Destination is nil");
    }
}
