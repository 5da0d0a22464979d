// Pictures decoded against ffmpeg's pictures of the same streams: every picture of a group, so
// that drift through the predicted pictures stays bounded.
#include "testutil.h"

#include "decoder/headers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace strandel::lumaset::test {
namespace {

struct ReferenceStream {
    const char *name;
    int width, height, frames;
    bool lowDelay; // pictures shown at once; else one anchor late, in display order around B-pictures
};

class ReferenceDecode : public ::testing::TestWithParam<ReferenceStream> {};

// Our inverse DCT is not the reference decoder's, so pictures differ by rounding only; the
// transform's error stays well below one level on average, which is above 50 dB PSNR.
constexpr double kMinPsnr = 50.0;

// Our planar output holds V before U; the reference holds U before V.
std::vector<uint8_t> AsI420(const std::vector<uint8_t> &out, int width, int height)
{
    const size_t luma = size_t(width) * size_t(height), chroma = luma / 4;
    std::vector<uint8_t> yuv(luma + 2 * chroma);
    std::memcpy(yuv.data(), out.data(), luma);
    std::memcpy(yuv.data() + luma, out.data() + luma + chroma, chroma);
    std::memcpy(yuv.data() + luma + chroma, out.data() + luma, chroma);
    return yuv;
}

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
    // A delayed stream shows its last anchor when the first (intra) frame is decoded again.
    const int calls = rs.lowDelay ? rs.frames : rs.frames + 1;
    for (int i = 0; i < calls; ++i) {
        const auto &bits = frames[size_t(i % rs.frames)];
        ASSERT_EQ(inst.Decode(bits, out.data(), rs.width), DecodeOk) << "frame " << i;
        EXPECT_EQ(inst.lastFrame().error, 0) << "frame " << i;
        const int shown = rs.lowDelay ? i : i - 1;
        if (shown < 0)
            continue;
        const uint8_t *ref = reference.data() + pictureSize * size_t(shown);
        const double psnr = Psnr(AsI420(out, rs.width, rs.height).data(), ref, pictureSize);
        EXPECT_GE(psnr, kMinPsnr) << rs.name << " picture " << shown;
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, ReferenceDecode,
                         ::testing::Values(ReferenceStream{"i_64x48", 64, 48, 3, true},
                                           ReferenceStream{"iq_176x144", 176, 144, 2, true},
                                           ReferenceStream{"i_352x288", 352, 288, 1, true},
                                           ReferenceStream{"i_704x480", 704, 480, 1, true},
                                           ReferenceStream{"i_720x576", 720, 576, 1, true},
                                           ReferenceStream{"p_80x64", 80, 64, 12, true},
                                           ReferenceStream{"p4q_96x64", 96, 64, 24, true},
                                           ReferenceStream{"il_96x64", 96, 64, 12, true},
                                           // video packets from slice threads
                                           ReferenceStream{"vp_128x96", 128, 96, 8, true},
                                           ReferenceStream{"vpb_128x96", 128, 96, 7, false},
                                           // B-pictures in direct mode; version-2 layer headers
                                           ReferenceStream{"b_96x64", 96, 64, 10, false},
                                           ReferenceStream{"b4v_96x64", 96, 64, 10, false},
                                           // extended pixel aspect ratio
                                           ReferenceStream{"par_80x64", 80, 64, 3, true},
                                           // a 6-bit quant_precision, quantisers 33 to 63
                                           ReferenceStream{"qp6_64x48", 64, 48, 3, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// A fixture stream cut into frames, with ffmpeg's pictures of it (empty when they do not load).
struct Fixture {
    std::vector<std::vector<uint8_t>> frames;
    size_t pictureSize;
    std::vector<uint8_t> reference;
    const uint8_t *Picture(int n) const { return reference.data() + pictureSize * size_t(n); }
};

Fixture LoadFixture(const std::string &name, int width, int height, int frames)
{
    Fixture f{SplitFrames(ReadFile(DataPath(name + ".m4v"))), size_t(width) * size_t(height) * 3 / 2, {}};
    f.reference = ReadReference(name + ".yuv.z", f.pictureSize * size_t(frames));
    return f;
}

// Video packets: one packet of a predicted picture damaged. Only that packet's macroblocks lose
// their content (they show the picture before), and the next intra picture matches again.
TEST(VideoPackets, DamageStaysInsideItsPacket)
{
    constexpr int kW = 128, kH = 96, kFrames = 8;
    const Fixture fixture = LoadFixture("vp_128x96", kW, kH, kFrames);
    auto frames = fixture.frames;
    ASSERT_EQ(int(frames.size()), kFrames);
    ASSERT_FALSE(fixture.reference.empty());
    const size_t pictureSize = fixture.pictureSize;

    // Frame 1 is a P-picture of three packets, two macroblock rows each; garble the second.
    std::vector<uint8_t> &damaged = frames[1];
    std::vector<size_t> markers;
    for (size_t i = 4; i + 2 < damaged.size(); ++i)
        if (damaged[i] == 0 && damaged[i + 1] == 0 && damaged[i + 2] >= 0x80)
            markers.push_back(i);
    ASSERT_EQ(markers.size(), 2u);
    for (size_t i = markers[0] + 6; i + 2 < markers[1]; i += 2)
        damaged[i] ^= 0x5A;

    Instance inst(kW, kH, OutputYv12);
    std::vector<uint8_t> previous(pictureSize), out(pictureSize);
    for (int n = 0; n < kFrames; ++n) {
        ASSERT_EQ(inst.Decode(frames[size_t(n)], out.data(), kW), DecodeOk) << n;
        const uint8_t *ref = fixture.Picture(n);
        const auto yuv = AsI420(out, kW, kH);
        if (n == 1) {
            EXPECT_EQ(inst.lastFrame().error, DecodeErrorSyntax);
            for (int y = 0; y < kH; ++y) {
                const bool lost = y >= 32 && y < 64; // macroblock rows 2 and 3
                for (int x = 0; x < kW; ++x) {
                    const size_t i = size_t(y) * kW + size_t(x);
                    if (lost)
                        ASSERT_EQ(out[i], previous[i]) << "concealed from the forward reference at " << x << "," << y;
                    else
                        ASSERT_LE(std::abs(int(yuv[i]) - int(ref[i])), 3) << x << "," << y;
                }
            }
        } else if (n == 0 || n >= 4) { // frames 2 and 3 predict from the damage; frame 4 is intra
            EXPECT_EQ(inst.lastFrame().error, 0) << n;
            EXPECT_GE(Psnr(yuv.data(), ref, pictureSize), kMinPsnr) << n;
        }
        previous = out;
    }
}

// Bits of a stream, one per byte, for edits that do not keep byte boundaries.
std::vector<uint8_t> ToBits(const std::vector<uint8_t> &bytes)
{
    std::vector<uint8_t> bits;
    for (uint8_t b : bytes)
        for (int i = 7; i >= 0; --i)
            bits.push_back(uint8_t((b >> i) & 1));
    return bits;
}

std::vector<uint8_t> ToBytes(const std::vector<uint8_t> &bits)
{
    std::vector<uint8_t> bytes((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        bytes[i / 8] |= uint8_t(bits[i] << (7 - i % 8));
    return bytes;
}

void PutBits(std::vector<uint8_t> &bits, uint32_t value, int n)
{
    for (int i = n - 1; i >= 0; --i)
        bits.push_back(uint8_t((value >> i) & 1));
}

// Replaces `removed` bits at bit position `at` of the packet that ends at byte `end` (where the
// next marker starts) with `insert`, and stuffs the packet's end anew so that the next marker
// stays byte-aligned.
std::vector<uint8_t> EditPacket(const std::vector<uint8_t> &frame, size_t at, size_t removed,
                                const std::vector<uint8_t> &insert, size_t end)
{
    const std::vector<uint8_t> bits = ToBits(frame);
    size_t stuffing = 1; // a 0 and then up to seven 1s before the boundary
    while (stuffing < 8 && bits[8 * end - stuffing] == 1)
        ++stuffing;
    std::vector<uint8_t> out(bits.begin(), bits.begin() + std::ptrdiff_t(at));
    out.insert(out.end(), insert.begin(), insert.end());
    out.insert(out.end(), bits.begin() + std::ptrdiff_t(at + removed), bits.begin() + std::ptrdiff_t(8 * end - stuffing));
    out.push_back(0);
    while (out.size() % 8)
        out.push_back(1);
    out.insert(out.end(), bits.begin() + std::ptrdiff_t(8 * end), bits.end());
    return ToBytes(out);
}

// A resync marker of the wrong length, and a header extension that differs from the picture's
// header, both in the second of three packets of a predicted picture: that packet is concealed
// (its macroblocks show the picture before), the others decode, and the next intra picture
// matches again. A header extension that agrees with the picture decodes clean.
TEST(VideoPackets, MarkerLengthAndHeaderExtensionAreChecked)
{
    constexpr int kW = 128, kH = 96, kFrames = 8;
    const Fixture fixture = LoadFixture("vp_128x96", kW, kH, kFrames);
    const auto &frames = fixture.frames;
    ASSERT_EQ(int(frames.size()), kFrames);
    ASSERT_FALSE(fixture.reference.empty());
    const size_t pictureSize = fixture.pictureSize;

    // The predicted picture's header, as the decoder read it.
    Instance probe(kW, kH, OutputYv12);
    std::vector<uint8_t> out(pictureSize), previous(pictureSize);
    ASSERT_EQ(probe.Decode(frames[0], out.data(), kW), DecodeOk);
    ASSERT_EQ(probe.Decode(frames[1], out.data(), kW), DecodeOk);
    const DecoderState &state = *static_cast<const DecoderState *>(probe.params().state);
    const VopFields vop = state.vop;
    ASSERT_EQ(vop.vop_coding_type, VopP);
    const int zeros = ResyncMarkerZeros(vop);
    EXPECT_EQ(zeros, 15 + vop.vop_fcode_forward);

    const std::vector<uint8_t> &original = frames[1];
    std::vector<size_t> markers;
    for (size_t i = 4; i + 2 < original.size(); ++i)
        if (original[i] == 0 && original[i + 1] == 0 && original[i + 2] >= 0x80)
            markers.push_back(i);
    ASSERT_EQ(markers.size(), 2u);
    // The second packet's header: marker, macroblock number, quantiser, header extension flag.
    const size_t marker = 8 * markers[0];
    const size_t extensionFlag = marker + size_t(zeros) + 1 + size_t(MacroblockNumberBits(state.mb_count)) + 5;
    ASSERT_EQ(ToBits(original)[extensionFlag], 0) << "the encoder wrote no header extension";
    auto withExtension = [&](int32_t increment, int32_t type, int32_t fcode) {
        std::vector<uint8_t> ext;
        PutBits(ext, 1, 1); // the flag, then the fields
        for (int i = 0; i < vop.modulo_time_base; ++i)
            PutBits(ext, 1, 1);
        PutBits(ext, 0, 1);
        PutBits(ext, 1, 1);
        PutBits(ext, uint32_t(increment), TimeIncrementBits(state.vol.vop_time_increment_resolution));
        PutBits(ext, 1, 1);
        PutBits(ext, uint32_t(type), 2);
        PutBits(ext, uint32_t(vop.intra_dc_vlc_thr), 3);
        PutBits(ext, uint32_t(fcode), 3);
        return EditPacket(original, extensionFlag, 1, ext, markers[1]);
    };

    struct Case {
        const char *name;
        std::vector<uint8_t> frame;
        bool concealed;
    };
    const Case cases[] = {
        {"marker one zero too long", EditPacket(original, marker, 0, {0}, markers[1]), true},
        {"header extension as the picture's", withExtension(vop.vop_time_increment, VopP, vop.vop_fcode_forward),
         false},
        {"header extension with another f_code", withExtension(vop.vop_time_increment, VopP, vop.vop_fcode_forward + 1),
         true},
        {"header extension with another time", withExtension(vop.vop_time_increment ^ 1, VopP, vop.vop_fcode_forward),
         true},
    };
    for (const Case &c : cases) {
        Instance inst(kW, kH, OutputYv12);
        for (int n = 0; n < kFrames; ++n) {
            ASSERT_EQ(inst.Decode(n == 1 ? c.frame : frames[size_t(n)], out.data(), kW), DecodeOk) << c.name << n;
            const uint8_t *ref = fixture.Picture(n);
            const auto yuv = AsI420(out, kW, kH);
            if (n == 1 && c.concealed) {
                EXPECT_EQ(inst.lastFrame().error, DecodeErrorSyntax) << c.name;
                int wrong = 0;
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x) {
                        const size_t i = size_t(y) * kW + size_t(x);
                        const bool lost = y >= 32 && y < 64; // the second packet's macroblock rows
                        wrong += lost ? out[i] != previous[i] : std::abs(int(yuv[i]) - int(ref[i])) > 3;
                    }
                EXPECT_EQ(wrong, 0) << c.name;
            } else if (n <= 1 || n >= 4) { // frames 2 and 3 predict from a concealed packet
                EXPECT_EQ(inst.lastFrame().error, 0) << c.name << n;
                EXPECT_GE(Psnr(yuv.data(), ref, pictureSize), kMinPsnr) << c.name << n;
            }
            previous = out;
        }
    }
}

// Interlaced B-pictures: direct mode over a field-predicted co-located macroblock is not served.
// Those pictures say so in their error word, and such macroblocks show the forward reference;
// every other macroblock matches.
TEST(Refused, FieldDirectMacroblocksAreFlagged)
{
    constexpr int kW = 96, kH = 64, kFrames = 10;
    const Fixture fixture = LoadFixture("ilb_96x64", kW, kH, kFrames);
    const auto &frames = fixture.frames;
    ASSERT_EQ(int(frames.size()), kFrames);
    ASSERT_FALSE(fixture.reference.empty());
    const size_t pictureSize = fixture.pictureSize;
    Instance inst(kW, kH, OutputYv12);
    std::vector<uint8_t> out(pictureSize), anchor(pictureSize);
    int flagged = 0;
    for (int i = 0; i <= kFrames; ++i) {
        const auto &bits = frames[size_t(i % kFrames)];
        ASSERT_EQ(inst.Decode(bits, out.data(), kW), DecodeOk) << i;
        const int32_t error = inst.lastFrame().error;
        if (i == 0)
            continue;
        const uint8_t *ref = fixture.Picture(i - 1);
        const uint8_t vop[] = {0, 0, 1, 0xB6};
        const auto at = std::search(bits.begin(), bits.end(), std::begin(vop), std::end(vop));
        ASSERT_LT(at + 4, bits.end());
        const bool bPicture = (at[4] >> 6) == 2;
        if (!bPicture)
            anchor = out; // an anchor call shows the anchor before, the B-pictures' forward reference
        if (error != DecodeErrorFieldDirect) {
            EXPECT_EQ(error, 0) << i;
            EXPECT_GE(Psnr(AsI420(out, kW, kH).data(), ref, pictureSize), kMinPsnr) << i;
            continue;
        }
        ++flagged;
        EXPECT_TRUE(bPicture) << i;
        for (int my = 0; my < kH / 16; ++my)
            for (int mx = 0; mx < kW / 16; ++mx) {
                bool concealed = true;
                int worst = 0;
                for (int y = 16 * my; y < 16 * my + 16; ++y)
                    for (int x = 16 * mx; x < 16 * mx + 16; ++x) {
                        const size_t k = size_t(y) * kW + size_t(x);
                        concealed = concealed && out[k] == anchor[k];
                        worst = std::max(worst, std::abs(int(out[k]) - int(ref[k])));
                    }
                if (!concealed) {
                    EXPECT_LE(worst, 3) << "picture " << i - 1 << ", macroblock " << mx << "," << my;
                }
            }
    }
    EXPECT_GT(flagged, 0);
}

TEST(Refused, QuarterPelStreams)
{
    const auto frames = SplitFrames(ReadFile(DataPath("qpel_32x32.m4v")));
    ASSERT_EQ(frames.size(), 2u);
    Instance inst(32, 32, OutputYv12);
    std::vector<uint8_t> out(32 * 32 * 3 / 2, 0x55);
    for (const auto &f : frames) {
        EXPECT_EQ(inst.Decode(f, out.data(), 32), DecodeFailed);
        EXPECT_EQ(inst.lastFrame().error, DecodeErrorQuarterPel);
    }
    EXPECT_EQ(std::count(out.begin(), out.end(), 0x55), long(out.size())) << "nothing is shown";
}

// A PAL layer given to an NTSC instance would be decoded into the wrong macroblock grid: it is
// refused with its reason, and the probe reads the size to initialise at.
TEST(Refused, LayerOfAnotherSize)
{
    const auto frames = SplitFrames(ReadFile(DataPath("i_352x288.m4v")));
    ASSERT_EQ(frames.size(), 1u);
    Instance ntsc(352, 240, OutputYv12);
    std::vector<uint8_t> out(352 * 288 * 3 / 2, 0x55);
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(ntsc.Decode(frames[0], out.data(), 352), DecodeFailed) << call;
        EXPECT_EQ(ntsc.lastFrame().error, DecodeErrorPictureSize) << call;
    }
    EXPECT_EQ(std::count(out.begin(), out.end(), 0x55), long(out.size())) << "nothing is shown";

    int32_t size = int32_t(frames[0].size());
    ASSERT_EQ(Instance::Call(DecOptProbe, frames[0].data(), &size), DecodeOk);
    EXPECT_EQ(size, 288 | 352 << 12);
    Instance pal(352, 288, OutputYv12);
    const auto reference = ReadReference("i_352x288.yuv.z", out.size());
    ASSERT_EQ(pal.Decode(frames[0], out.data(), 352), DecodeOk);
    EXPECT_EQ(pal.lastFrame().error, 0);
    EXPECT_GE(Psnr(AsI420(out, 352, 288).data(), reference.data(), out.size()), kMinPsnr);
}

} // namespace
} // namespace strandel::lumaset::test
