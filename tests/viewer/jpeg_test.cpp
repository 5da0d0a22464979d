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
