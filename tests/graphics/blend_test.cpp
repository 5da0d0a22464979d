#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "graphics/rx32_blend.h"

using namespace strandel;

namespace {
const BlendSet &Plain() { return *GetBlendSet(BlendKind::Plain); }
const BlendSet &Vec() { return *GetBlendSet(BlendKind::VectorRef); }
} // namespace

TEST(Blend, CombineRegBothSets)
{
    struct Case { TColor32 x, y, w, plain, vec; };
    const Case cases[] = {
        {0xFFFFFFFF, 0x00000000, 128, 0x80808080, 0x80808080},
        {0x00000000, 0xFFFFFFFF, 1, 0xFDFDFDFD, 0xFEFEFEFE},
        {0xFFFFFFFF, 0x00000000, 255, 0xFFFFFFFF, 0xFEFEFEFE},
        {0x12345678, 0x9ABCDEF0, 0, 0x9ABCDEF0, 0x9ABCDEF0},
    };
    EXPECT_EQ(Plain().CombineReg(0x12345678, 0x9ABCDEF0, 0x10000), 0x9ABCDEF0u); // low 16 bits 0
    for (const Case &c : cases) {
        EXPECT_EQ(Plain().CombineReg(c.x, c.y, c.w), c.plain) << std::hex << c.x << " " << c.w;
        EXPECT_EQ(Vec().CombineReg(c.x, c.y, c.w), c.vec) << std::hex << c.x << " " << c.w;
    }
}

TEST(Blend, AlphaOfMemAndExForms)
{
    // The plain set leaves alpha 0 where the vector set computes it.
    TColor32 b = 0xFF000000;
    Plain().CombineMem(0xFFFFFFFF, b, 128);
    EXPECT_EQ(b, 0x00808080u);
    b = 0xFF000000;
    Vec().CombineMem(0xFFFFFFFF, b, 128);
    EXPECT_EQ(b, 0xFF808080u);
    EXPECT_EQ(Plain().BlendRegEx(0x80FFFFFF, 0xFF000000, 255) >> 24, 0u);
    EXPECT_NE(Vec().BlendRegEx(0x80FFFFFF, 0xFF000000, 255) >> 24, 0u);
    b = 0xFF000000;
    Plain().BlendMemEx(0x80FFFFFF, b, 255);
    EXPECT_EQ(b >> 24, 0u);
    // No w = 255 shortcut in the plain RegEx form: 255 over 0 gives 254.
    EXPECT_EQ(Plain().BlendRegEx(0xFFFFFFFF, 0xFF000000, 255), 0x00FEFEFEu);
}

TEST(Blend, ShortcutsAndZeroWeights)
{
    for (const BlendSet *set : {&Plain(), &Vec()}) {
        EXPECT_EQ(set->BlendRegEx(0x00FFFFFF, 0x12345678, 255), 0x12345678u);
        EXPECT_EQ(set->BlendRegEx(0xFFFFFFFF, 0x12345678, 0), 0x12345678u);
        TColor32 b = 0x12345678;
        set->BlendMem(0x00FFFFFF, b);
        EXPECT_EQ(b, 0x12345678u);
        set->CombineMem(0xFFFFFFFF, b, 0);
        EXPECT_EQ(b, 0x12345678u);
        set->CombineMem(0xAABBCCDD, b, 255);
        EXPECT_EQ(b, 0xAABBCCDDu);

        TColor32 src[2] = {0xFFFFFFFF, 0xFFFFFFFF}, dst[2] = {1, 2};
        set->BlendLine(src, dst, 0);
        set->BlendLine(src, dst, -5);
        set->BlendLineEx(src, dst, 0, 255);
        set->BlendLineEx(src, dst, -1, 255);
        EXPECT_EQ(dst[0], 1u);
        EXPECT_EQ(dst[1], 2u);
    }
    // Only the plain register form has an opaque shortcut.
    EXPECT_EQ(Plain().BlendReg(0xFF123456, 0xFFFFFFFF), 0xFF123456u);
    EXPECT_EQ(Vec().BlendReg(0xFFFFFFFF, 0xFF000000), 0xFFFEFEFEu);
    // The vector line form weighs (Fa + 1) * M, not (M + 1) * Fa.
    TColor32 lineDst = 0xFF000000, memDst = 0xFF000000;
    const TColor32 f = 0x80FFFFFF;
    Vec().BlendLineEx(&f, &lineDst, 1, 1);
    Vec().BlendMemEx(f, memDst, 1);
    EXPECT_EQ(lineDst, 0xFF000000u);
    EXPECT_NE(memDst, 0xFF000000u);
}

TEST(Blend, ColourArithmetic)
{
    EXPECT_EQ(ColorModulate(0xFFFFFFFF, 0xFFFFFFFF), 0xFEFEFEFEu);
    EXPECT_EQ(ColorSub(0x10203040, 0x20202020), 0x00001020u);
    EXPECT_EQ(ColorAdd(0xF0F0F0F0, 0x20202020), 0xFFFFFFFFu);
    EXPECT_EQ(ColorMax(0x10FF2030, 0x20104000), 0x20FF4030u);
    EXPECT_EQ(ColorMin(0x10FF2030, 0x20104000), 0x10102000u);
    EXPECT_EQ(Lighten(0x80102030, -32), 0x80000010u);
    EXPECT_EQ(Lighten(0x80102030, INT32_MAX), 0x80FFFFFFu);
}

TEST(Blend, BindingFollowsTheSwitch)
{
    const BlendKind start = DefaultBlendKind();
#if defined(__x86_64__)
    EXPECT_NE(start, BlendKind::Plain);
#endif
    BindBlendSet(BlendKind::Plain);
    EXPECT_FALSE(MMX_ACTIVE);
    EXPECT_EQ(CombineReg(0, 0xFFFFFFFF, 1), 0xFDFDFDFDu);
    BindBlendSet(BlendKind::VectorRef);
    EXPECT_TRUE(MMX_ACTIVE);
    EXPECT_EQ(CombineReg(0, 0xFFFFFFFF, 1), 0xFEFEFEFEu);
    BindBlendSet(start);
}

// Every fast routine gives the same bits as the reference of its set.
TEST(BlendTwins, SimdMatchesReference)
{
    std::mt19937 rng(2024);
    // Pixels with the alphas that take the shortcuts as often as the general path.
    const auto pixel = [&]() -> TColor32 {
        const TColor32 rgb = rng() & 0xFFFFFF;
        switch (rng() % 4) {
        case 0: return rgb;
        case 1: return rgb | 0xFF000000;
        default: return rgb | (rng() << 24);
        }
    };
    const auto weight = [&] {
        switch (rng() % 6) {
        case 0: return TColor32(0);
        case 1: return TColor32(255);
        case 2: return TColor32(256 + rng() % 100); // out of range: limited the same way
        case 3: return TColor32(0x10000);
        default: return TColor32(rng() % 256);
        }
    };
    const BlendSet &ref = Vec();
    int compared = 0;
    for (BlendKind kind : {BlendKind::Sse2, BlendKind::Avx2}) {
        const BlendSet *fast = GetBlendSet(kind);
        if (!fast)
            continue;
        ++compared;
        for (int i = 0; i < 20000; ++i) {
            const TColor32 f = pixel(), b = pixel(), w = weight();
            ASSERT_EQ(fast->CombineReg(f, b, w), ref.CombineReg(f, b, w));
            ASSERT_EQ(fast->BlendReg(f, b), ref.BlendReg(f, b));
            ASSERT_EQ(fast->BlendRegEx(f, b, w), ref.BlendRegEx(f, b, w));
            TColor32 m1 = b, m2 = b;
            fast->CombineMem(f, m1, w);
            ref.CombineMem(f, m2, w);
            ASSERT_EQ(m1, m2);
            m1 = m2 = b;
            fast->BlendMem(f, m1);
            ref.BlendMem(f, m2);
            ASSERT_EQ(m1, m2);
            m1 = m2 = b;
            fast->BlendMemEx(f, m1, w);
            ref.BlendMemEx(f, m2, w);
            ASSERT_EQ(m1, m2);
        }
        for (int len = 0; len < 70; ++len) {
            for (int offset = 0; offset < 3; ++offset) {
                std::vector<TColor32> src(size_t(len + offset)), d1(src.size()), d2;
                for (auto &p : src)
                    p = pixel();
                for (auto &p : d1)
                    p = pixel();
                d2 = d1;
                fast->BlendLine(src.data() + offset, d1.data() + offset, len);
                ref.BlendLine(src.data() + offset, d2.data() + offset, len);
                ASSERT_EQ(d1, d2) << len;
                const TColor32 m = weight();
                fast->BlendLineEx(src.data() + offset, d1.data() + offset, len, m);
                ref.BlendLineEx(src.data() + offset, d2.data() + offset, len, m);
                ASSERT_EQ(d1, d2) << len << " m " << m;

                // The stretcher's row: random taps into two source rows.
                const size_t n = size_t(len);
                std::vector<TColor32> a(n + 2), b(n + 2), wx(n), o1(n), o2;
                std::vector<int32_t> xa(n), xb(n);
                for (auto &p : a)
                    p = pixel();
                for (auto &p : b)
                    p = pixel();
                for (int i = 0; i < len; ++i) {
                    xa[size_t(i)] = int32_t(rng() % a.size());
                    // Mostly the neighbouring column, as the stretcher asks; sometimes any.
                    const bool next = rng() % 4 != 0 && size_t(xa[size_t(i)]) + 1 < a.size();
                    xb[size_t(i)] = next ? xa[size_t(i)] + 1 : int32_t(rng() % a.size());
                    wx[size_t(i)] = weight() & 0x1FF;
                }
                o2 = o1;
                const TColor32 wy = weight() & 0x1FF;
                for (bool rowsFirst : {false, true}) {
                    fast->CombineRow(a.data(), b.data(), xa.data(), xb.data(), wx.data(), wy, rowsFirst, o1.data(), len);
                    ref.CombineRow(a.data(), b.data(), xa.data(), xb.data(), wx.data(), wy, rowsFirst, o2.data(), len);
                    ASSERT_EQ(o1, o2) << len;
                }
            }
        }
    }
#if defined(__x86_64__)
    EXPECT_GE(compared, 1);
#endif
}
