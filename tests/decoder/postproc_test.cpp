// Deblocking into the display buffer: the two filter modes, what stays untouched, whose quantisers.
#include "decoder/decode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace strandel::lumaset {
namespace {

// A 32 x 16 picture (luma only is checked) with its own quantiser grid.
struct Picture {
    static constexpr int kW = 32, kH = 16, kStride = 48;
    std::unique_ptr<DecoderState> s = std::make_unique<DecoderState>();
    std::vector<uint8_t> luma = std::vector<uint8_t>(kStride * kH, 0);
    std::vector<uint8_t> chroma = std::vector<uint8_t>(kStride * kH, 128);
    std::vector<uint8_t> display = std::vector<uint8_t>(kW * kH * 3 / 2, 0);
    uint16_t quant[(kMaxMbRows + 1) * kQuantStride] = {};

    Picture(int flags, int qp)
    {
        s->width = kW;
        s->height = kH;
        s->stride = kStride;
        s->chroma_stride = kStride;
        s->display_buffer = display.data();
        s->postproc_flags = flags;
        for (int x = 0; x < 2; ++x)
            quant[kQuantStride + x + 1] = uint16_t(qp);
    }
    // Every row gets the same ten samples around the vertical edge at x = 8.
    void SetRow(const std::vector<int> &samples)
    {
        for (int y = 0; y < kH; ++y)
            for (int i = 0; i < 10; ++i)
                luma[size_t(y * kStride + 3 + i)] = uint8_t(samples[size_t(i)]);
    }
    std::vector<int> Run()
    {
        Deblock(*s, Planes{luma.data(), chroma.data(), chroma.data()}, quant);
        std::vector<int> out;
        for (int i = 0; i < 10; ++i)
            out.push_back(display[size_t(5 * kW + 3 + i)]);
        return out;
    }
};

TEST(Deblocking, DefaultModeMovesTheEdgeSamples)
{
    Picture p(1, 20);
    p.SetRow({100, 110, 100, 110, 100, 120, 110, 120, 110, 120});
    EXPECT_EQ(p.Run(), (std::vector<int>{100, 110, 100, 110, 102, 118, 110, 120, 110, 120}));
}

TEST(Deblocking, DcOffsetModeSmoothsASmallStep)
{
    Picture p(1, 10);
    p.SetRow({100, 100, 100, 100, 100, 104, 104, 104, 104, 104});
    const auto out = p.Run();
    for (int i = 1; i < 9; ++i)
        EXPECT_LE(out[size_t(i)], out[size_t(i + 1)]) << i;
    EXPECT_GT(out[4], 100);
    EXPECT_LT(out[5], 104);
}

TEST(Deblocking, RealEdgesQuantiserZeroAndFlagsOffStay)
{
    struct Case {
        const char *name;
        int flags, qp;
        std::vector<int> row;
    };
    const Case cases[] = {
        {"strong edge", 1, 10, {100, 100, 100, 100, 100, 200, 200, 200, 200, 200}},
        {"quantiser 0", 1, 0, {100, 110, 100, 110, 100, 120, 110, 120, 110, 120}},
        {"horizontal filter off", 2, 20, {100, 110, 100, 110, 100, 120, 110, 120, 110, 120}},
    };
    for (const Case &c : cases) {
        Picture p(c.flags, c.qp);
        p.SetRow(c.row);
        EXPECT_EQ(p.Run(), c.row) << c.name;
    }
}

TEST(Deblocking, PictureBordersAndTopEdgeAreNotFiltered)
{
    Picture p(3, 31);
    for (int y = 0; y < Picture::kH; ++y)
        for (int x = 0; x < Picture::kW; ++x)
            p.luma[size_t(y * Picture::kStride + x)] = uint8_t((x + y) % 2 ? 90 : 100);
    p.Run();
    for (int y = 0; y < Picture::kH; ++y) {
        EXPECT_EQ(p.display[size_t(y * Picture::kW)], (y % 2 ? 90 : 100)) << "left border, row " << y;
        EXPECT_EQ(p.display[size_t(y * Picture::kW + 31)], ((31 + y) % 2 ? 90 : 100)) << "right border, row " << y;
    }
    // The texture is too busy for either mode, so no block edge changes it either.
    for (int x = 0; x < Picture::kW; ++x) {
        EXPECT_EQ(p.display[size_t(x)], (x % 2 ? 90 : 100)) << "top row, column " << x;
    }
}

} // namespace
} // namespace strandel::lumaset
