#include "platform/jpeg.h"

#include <gtest/gtest.h>

using namespace strandel;

namespace {

std::vector<uint8_t> EncodeGradient(int w, int h)
{
    std::vector<uint32_t> px(size_t(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[size_t(y * w + x)] = 0xFF000000u | uint32_t(x * 255 / w) << 16 | uint32_t(y * 255 / h) << 8 | 0x40u;
    std::vector<uint8_t> jpeg;
    EXPECT_TRUE(JpegEncode(px.data(), w, h, w, 95, jpeg));
    return jpeg;
}

} // namespace

TEST(Jpeg, EncodeThenDecodeKeepsSizeAndColours)
{
    auto jpeg = EncodeGradient(64, 48);
    int w = 0, h = 0;
    ASSERT_TRUE(JpegReadSize(jpeg.data(), jpeg.size(), &w, &h));
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);
    JpegImage img;
    ASSERT_TRUE(JpegDecode(jpeg.data(), jpeg.size(), img));
    ASSERT_EQ(img.pixels.size(), 64u * 48u);
    const uint32_t p = img.pixels[size_t(24 * 64 + 32)];
    EXPECT_EQ(p >> 24, 0xFFu);
    EXPECT_NEAR(int((p >> 16) & 0xFF), 32 * 255 / 64, 6);
    EXPECT_NEAR(int((p >> 8) & 0xFF), 24 * 255 / 48, 6);
    EXPECT_NEAR(int(p & 0xFF), 0x40, 6);
}

TEST(Jpeg, BrokenDataFailsWithAReasonAndLeavesTheOutputAlone)
{
    auto jpeg = EncodeGradient(16, 16);
    JpegImage img;
    img.width = 3;
    std::string why;
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + 20);
    EXPECT_FALSE(JpegDecode(cut.data(), cut.size(), img, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(img.width, 3);
    const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_FALSE(JpegDecode(junk, sizeof junk, img, &why));
    EXPECT_FALSE(JpegDecode(nullptr, 0, img, &why));
}

TEST(Jpeg, ReducedDecodeGivesTheFractionOfThePicture)
{
    // Odd sides round up; each reduced pixel is near the full picture's average over its box.
    const int w = 70, h = 45;
    auto jpeg = EncodeGradient(w, h);
    JpegImage full;
    ASSERT_TRUE(JpegDecode(jpeg.data(), jpeg.size(), full));
    for (int r : {1, 2, 4, 8, 3}) {
        const int f = r == 3 ? 1 : r; // a reduction libjpeg cannot do decodes at full size
        std::vector<uint32_t> px;
        int gotW = 0, gotH = 0;
        ASSERT_TRUE(JpegDecodeInto(
            jpeg.data(), jpeg.size(),
            [&](int cw, int ch, size_t *stride) {
                gotW = cw, gotH = ch;
                px.assign(size_t(cw) * size_t(ch), 0);
                *stride = size_t(cw);
                return px.data();
            },
            nullptr, r));
        EXPECT_EQ(gotW, (w + f - 1) / f) << "reduction " << r;
        EXPECT_EQ(gotH, (h + f - 1) / f) << "reduction " << r;
        for (int y = 0; y < gotH - 1; ++y)
            for (int x = 0; x < gotW - 1; ++x)
                for (int shift : {16, 8, 0}) {
                    int sum = 0;
                    for (int dy = 0; dy < f; ++dy)
                        for (int dx = 0; dx < f; ++dx)
                            sum += int(full.pixels[size_t((y * f + dy) * w + x * f + dx)] >> shift & 0xFF);
                    ASSERT_NEAR(int(px[size_t(y * gotW + x)] >> shift & 0xFF), sum / (f * f), 8)
                        << "reduction " << r << " at " << x << "," << y;
                }
    }
}
