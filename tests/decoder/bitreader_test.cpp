// The bit reader, the stream headers and the size probe.
#include "decoder/headers.h"
#include "decoder/vlc.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace strandel::lumaset::test {
namespace {

TEST(BitReader, ReadsBigEndianAcrossBytesAndZeroPastTheEnd)
{
    // Exactly-sized heap copy: the address sanitizer flags any read past it.
    const uint8_t bytes[] = {0xA5, 0x0F, 0xF0};
    auto data = std::make_unique<uint8_t[]>(3);
    std::copy(bytes, bytes + 3, data.get());
    BitReader r;
    SetInput(r, data.get(), 3);
    EXPECT_EQ(GetBits(r, 3), 0b101u);
    EXPECT_EQ(ShowBits(r, 9), 0b001010000u);
    EXPECT_EQ(GetBits(r, 13), 0b0010100001111u);
    EXPECT_EQ(ShowBits(r, 32), 0xF0000000u);
    EXPECT_FALSE(r.overrun);
    FlushBits(r, 8);
    EXPECT_TRUE(AtEnd(r));
    EXPECT_FALSE(r.overrun);
    EXPECT_EQ(GetBits(r, 25), 0u);
    EXPECT_TRUE(r.overrun);
    EXPECT_EQ(r.pos, 3u);
}

TEST(BitReader, ByteAlignedShowSkipsStuffing)
{
    const uint8_t aligned[] = {0x7F, 0x00, 0x00, 0x01, 0xB6};
    BitReader r;
    SetInput(r, aligned, sizeof aligned);
    EXPECT_EQ(ShowBitsByteAligned(r, 23), 0u);
    const uint8_t partial[] = {0x0F, 0x00, 0x00, 0x01};
    SetInput(r, partial, sizeof partial);
    FlushBits(r, 3);
    EXPECT_EQ(ShowBitsByteAligned(r, 23), 0u);
    // Bits up to the boundary that are no stuffing belong to a macroblock: the picture goes on.
    const uint8_t data1[] = {0x1F, 0x00, 0x00, 0x01};
    SetInput(r, data1, sizeof data1);
    FlushBits(r, 3);
    EXPECT_NE(ShowBitsByteAligned(r, 23), 0u);
    const uint8_t data[] = {0x12, 0x80, 0x00, 0x00};
    SetInput(r, data, sizeof data);
    EXPECT_EQ(ShowBitsByteAligned(r, 23), 0x12800000u >> 9); // aligned, no stuffing byte: the bits as they are
}

TEST(Headers, TimeIncrementBits)
{
    const std::pair<int, int> cases[] = {{0, 1}, {1, 1}, {2, 1}, {3, 2}, {15, 4}, {16, 4}, {25, 5}, {30000, 15}};
    for (auto [resolution, bits] : cases)
        EXPECT_EQ(TimeIncrementBits(resolution), bits) << resolution;
}

struct Parsed {
    bool vol, vop;
    int32_t reason; // of a refused layer
    DecoderState s;
    DecoderTables t;
};

std::unique_ptr<Parsed> Parse(const std::vector<uint8_t> &bytes)
{
    auto p = std::make_unique<Parsed>();
    std::memset(&p->s, 0, sizeof p->s);
    EXPECT_TRUE(BuildTables(p->t));
    p->s.vol.video_object_layer_width = 11; // a marker of the fields before the parse
    p->s.width = 352; // the instance's picture, that of VolSpec
    p->s.height = 288;
    p->s.vol.complexity_estimation_disable = 1;
    p->s.vol.quant_precision = 5;
    p->s.vol.vop_time_increment_resolution = 15;
    BitReader r;
    SetInput(r, bytes.data(), uint32_t(bytes.size()));
    p->reason = FindFrameStart(r) ? VolHeader(r, p->s, p->t) : DecodeErrorSyntax;
    p->vol = p->reason == DecodeErrorNone;
    p->vop = false;
    if (p->vol) {
        GovHeader(r, p->s);
        p->vop = VopHeader(r, p->s);
    }
    return p;
}

TEST(Headers, LayerHeadersAcceptedAndRefused)
{
    struct Case {
        const char *name;
        VolSpec vol;
        bool volOk, vopOk;
        int32_t reason = DecodeErrorNone; // why a layer is refused
    };
    auto with = [](auto change) {
        VolSpec v;
        change(v);
        return v;
    };
    const Case cases[] = {
        {"plain", VolSpec{}, true, true},
        {"verid 2", with([](VolSpec &v) { v.verid = 2; }), true, true},
        {"fixed rate, resolution 1", with([](VolSpec &v) { v.fixedRate = 1, v.resolution = 1; }), true, true},
        {"user data after the layer", with([](VolSpec &v) { v.userData = true; }), true, true},
        {"extended pixel aspect ratio", with([](VolSpec &v) { v.aspectRatio = 15; }), true, true},
        {"verid 2, extended pixel aspect ratio", with([](VolSpec &v) { v.verid = 2, v.aspectRatio = 15; }), true,
         true},
        {"data partitioned", with([](VolSpec &v) { v.dataPartitioned = 1; }), false, false,
         DecodeErrorDataPartitioned},
        {"scalable", with([](VolSpec &v) { v.scalability = 1; }), false, false, DecodeErrorScalability},
        {"grayscale shape", with([](VolSpec &v) { v.shape = 3; }), false, false, DecodeErrorShape},
        {"binary shape", with([](VolSpec &v) { v.shape = 1; }), false, false, DecodeErrorShape},
        {"complexity estimation", with([](VolSpec &v) { v.complexityDisable = 0; }), false, false,
         DecodeErrorComplexityEstimation},
        {"quarter pel", with([](VolSpec &v) { v.verid = 2, v.quarterSample = 1; }), false, false,
         DecodeErrorQuarterPel},
        {"static sprite", with([](VolSpec &v) { v.spriteEnable = 1; }), false, false, DecodeErrorSprite},
        {"global motion", with([](VolSpec &v) { v.verid = 2, v.spriteEnable = 2; }), false, false,
         DecodeErrorSprite},
        {"newpred", with([](VolSpec &v) { v.verid = 2, v.newpred = 1; }), false, false, DecodeErrorNewpred},
        {"reduced resolution", with([](VolSpec &v) { v.verid = 2, v.reducedResolution = 1; }), false, false,
         DecodeErrorReducedResolution},
        {"overlapped motion", with([](VolSpec &v) { v.obmcDisable = 0; }), false, false,
         DecodeErrorOverlappedMotion},
        {"12-bit samples", with([](VolSpec &v) { v.bitsPerPixel = 12; }), false, false, DecodeErrorBitDepth},
        {"NTSC layer, PAL instance", with([](VolSpec &v) { v.height = 240; }), false, false,
         DecodeErrorPictureSize},
        {"wider layer", with([](VolSpec &v) { v.width = 368; }), false, false, DecodeErrorPictureSize},
    };
    for (const Case &c : cases) {
        BitWriter w;
        PutVol(w, c.vol);
        PutVopHeader(w, 0, 4, TimeIncrementBits(c.vol.resolution));
        w.Put(0, 32);
        const auto p = Parse(w.bytes());
        EXPECT_EQ(p->vol, c.volOk) << c.name;
        EXPECT_EQ(p->vop, c.vopOk) << c.name;
        EXPECT_EQ(p->reason, c.volOk ? DecodeErrorNone : c.reason == DecodeErrorNone ? DecodeErrorSyntax : c.reason)
            << c.name;
        if (c.volOk) {
            EXPECT_EQ(p->s.vol.video_object_layer_width, 352) << c.name;
            EXPECT_EQ(p->s.vol.video_object_layer_height, 288) << c.name;
        } else {
            EXPECT_EQ(p->s.vol.video_object_layer_width, 11) << c.name << ": fields committed by a failed header";
        }
    }
}

TEST(Headers, ObjectStartWithoutLayerFails)
{
    BitWriter w;
    w.StartCode(0x100);
    w.StartCode(0x1B6);
    EXPECT_FALSE(Parse(w.bytes())->vol);
}

TEST(Headers, VopWithoutLayerUsesTheLastOne)
{
    BitWriter w;
    PutVopHeader(w, 0, 7, 4); // resolution 15 from initialisation: 4 bits
    w.Put(0, 32);
    const auto p = Parse(w.bytes());
    EXPECT_TRUE(p->vop);
    EXPECT_EQ(p->s.vop.vop_quant, 7);
}

TEST(Headers, RefusedVops)
{
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
    };
    BitWriter userData, zeroQuant, notCoded;
    PutVol(userData, VolSpec{});
    userData.StartCode(0x1B3);
    userData.Put(0, 20);
    userData.Stuff();
    userData.StartCode(0x1B2);
    userData.Put(0, 8);
    PutVopHeader(userData, 0, 4, 5);
    PutVopHeader(zeroQuant, 0, 0, 4);
    zeroQuant.Put(0, 32);
    EXPECT_FALSE(Parse(userData.bytes())->vop) << "user data between the group header and the VOP";
    EXPECT_FALSE(Parse(zeroQuant.bytes())->vop) << "quantiser 0";
    PutVopHeader(notCoded, 1, 4, 4, 0);
    notCoded.Put(0, 32);
    const auto p = Parse(notCoded.bytes());
    EXPECT_TRUE(p->vop);
    EXPECT_EQ(p->s.vop.vop_coded, 0);
}

TEST(Headers, MatrixListEndsWithZero)
{
    VolSpec v;
    v.quantType = 1;
    v.intraMatrix = {8, 16, 0};
    BitWriter w;
    PutVol(w, v);
    PutVopHeader(w, 0, 4, 5);
    w.Put(0, 32);
    const auto p = Parse(w.bytes());
    ASSERT_TRUE(p->vol);
    EXPECT_EQ(p->t.intra_matrix[0], 8);
    for (int i = 1; i < 64; ++i)
        EXPECT_EQ(p->t.intra_matrix[p->t.scan[0][i]], 16) << i;
}

int32_t Probe(const std::vector<uint8_t> &bytes, int32_t length)
{
    int32_t io = length;
    const int32_t result = Instance::Call(DecOptProbe, bytes.data(), &io);
    return result == DecodeOk ? io : -result;
}

TEST(Probe, SizeWordAndFailures)
{
    BitWriter cif;
    PutVol(cif, VolSpec{});
    EXPECT_EQ(Probe(cif.bytes(), int32_t(cif.bytes().size())), 1442080);
    // A leading visual object sequence header is stepped over.
    BitWriter vos;
    vos.StartCode(0x1B0);
    vos.Put(1, 8);
    PutVol(vos, VolSpec{});
    EXPECT_EQ(Probe(vos.bytes(), int32_t(vos.bytes().size())), 1442080);
    // The probe reads only what it is given.
    EXPECT_EQ(Probe(cif.bytes(), 12), -DecodeFailed);
    EXPECT_EQ(Probe(cif.bytes(), 0), -DecodeFailed);
    VolSpec binary;
    binary.shape = 1;
    BitWriter shaped;
    PutVol(shaped, binary);
    EXPECT_EQ(Probe(shaped.bytes(), int32_t(shaped.bytes().size())), -DecodeFailed);
    const auto stream = ReadFile(DataPath("i_352x288.m4v"));
    EXPECT_EQ(Probe(stream, int32_t(stream.size())), 288 | 352 << 12);
    // An extended pixel aspect ratio carries 16 more bits before the size.
    const auto par = ReadFile(DataPath("par_80x64.m4v"));
    EXPECT_EQ(Probe(par, int32_t(par.size())), 64 | 80 << 12);
    VolSpec extended;
    extended.aspectRatio = 15;
    BitWriter wide;
    PutVol(wide, extended);
    EXPECT_EQ(Probe(wide.bytes(), int32_t(wide.bytes().size())), 1442080);
}

} // namespace
} // namespace strandel::lumaset::test
