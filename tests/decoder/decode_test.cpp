// Pictures decoded against ffmpeg's pictures of the same streams: every picture of a group, so
// that drift through the predicted pictures stays bounded.
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>

namespace strandel::lumaset::test {
namespace {

struct ReferenceStream {
    const char *name;
    int width, height, frames;
};

class ReferenceDecode : public ::testing::TestWithParam<ReferenceStream> {};

// Our inverse DCT is not the reference decoder's, so pictures differ by rounding only; the
// transform's error stays well below one level on average, which is above 50 dB PSNR.
constexpr double kMinPsnr = 50.0;

TEST_P(ReferenceDecode, MatchesFfmpegPictures)
{
    const ReferenceStream rs = GetParam();
    const auto frames = SplitFrames(ReadFile(DataPath(std::string(rs.name) + ".m4v")));
    ASSERT_EQ(int(frames.size()), rs.frames);
    const size_t pictureSize = size_t(rs.width) * size_t(rs.height) * 3 / 2;
    const auto reference = ReadReference(std::string(rs.name) + ".yuv.z", pictureSize * size_t(rs.frames));
    ASSERT_FALSE(reference.empty());

    Instance inst(rs.width, rs.height, OutputYv12);
    ASSERT_TRUE(inst.ok());
    std::vector<uint8_t> out(pictureSize);
    // Pictures come out one anchor late; decoding the first (intra) frame again shows the last one.
    for (int i = 0; i <= rs.frames; ++i) {
        const auto &bits = frames[size_t(i % rs.frames)];
        ASSERT_EQ(inst.Decode(bits, out.data(), rs.width), DecodeOk) << "frame " << i;
        EXPECT_EQ(inst.lastFrame().error, 0) << "frame " << i;
        if (i == 0)
            continue;
        // Our planar output holds V before U; the reference holds U before V.
        const uint8_t *ref = reference.data() + pictureSize * size_t(i - 1);
        const size_t luma = size_t(rs.width) * size_t(rs.height), chroma = luma / 4;
        std::vector<uint8_t> yuv(pictureSize);
        std::memcpy(yuv.data(), out.data(), luma);
        std::memcpy(yuv.data() + luma, out.data() + luma + chroma, chroma);
        std::memcpy(yuv.data() + luma + chroma, out.data() + luma, chroma);
        const double psnr = Psnr(yuv.data(), ref, pictureSize);
        EXPECT_GE(psnr, kMinPsnr) << rs.name << " picture " << i - 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, ReferenceDecode,
                         ::testing::Values(ReferenceStream{"i_64x48", 64, 48, 3},
                                           ReferenceStream{"iq_176x144", 176, 144, 2},
                                           ReferenceStream{"i_352x288", 352, 288, 1},
                                           ReferenceStream{"i_704x480", 704, 480, 1},
                                           ReferenceStream{"i_720x576", 720, 576, 1},
                                           ReferenceStream{"p_80x64", 80, 64, 12},
                                           ReferenceStream{"p4q_96x64", 96, 64, 24},
                                           ReferenceStream{"il_96x64", 96, 64, 12}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace strandel::lumaset::test
