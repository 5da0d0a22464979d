// Frame management on hand-made streams: display order around B-pictures, skipped co-located
// macroblocks, fixed-buffer mode and not-coded VOPs.
#include "decoder/state.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace strandel::lumaset::test {
namespace {

DecoderState &StateOf(Instance &i) { return *static_cast<DecoderState *>(i.params().state); }

constexpr int kSize = 32; // 2 x 2 macroblocks

// An intra DC difference with its own size code (luma).
void PutDcDiff(BitWriter &w, int diff)
{
    static const char *kSizeCodes[] = {"011", "11", "10", "010", "001", "0001", "00001", "000001", "0000001"};
    const int mag = std::abs(diff);
    int size = 0;
    while ((1 << size) <= mag)
        ++size;
    for (const char *c = kSizeCodes[size]; *c; ++c)
        w.Put(*c == '1', 1);
    if (size)
        w.Put(uint32_t(diff > 0 ? diff : mag ^ ((1 << size) - 1)), size);
}

// Intra DC of the first block of a picture: the difference to the predictor 128 (quantiser 4).
void PutFirstDc(BitWriter &w, int value) { PutDcDiff(w, value - 128); }

// A flat intra macroblock; only the picture's first luma block carries a DC difference.
void PutIntraMb(BitWriter &w, bool pvop, int first_value, bool interlaced = false)
{
    if (pvop) {
        w.Put(0, 1);         // coded
        w.Put(0b00011, 5);   // intra, cbpc 0
    } else {
        w.Put(1, 1);         // intra, cbpc 0
    }
    w.Put(0, 1);             // ac_pred_flag
    w.Put(0b0011, 4);        // cbpy 0
    if (interlaced)
        w.Put(0, 1);         // frame DCT
    for (int b = 0; b < 6; ++b) {
        if (b == 0 && first_value >= 0)
            PutFirstDc(w, first_value);
        else if (b < 4)
            w.Put(0b011, 3); // DC size 0
        else
            w.Put(0b11, 2);
    }
}

// objectType 17 (Advanced Simple) may carry B-pictures: anchors come out one late.
std::vector<uint8_t> IntraPicture(int type, int value, bool withVol, bool interlaced = false, int objectType = 17)
{
    BitWriter w;
    if (withVol) {
        VolSpec v;
        v.width = v.height = kSize;
        v.interlaced = interlaced;
        v.objectType = objectType;
        PutVol(w, v);
    }
    PutVopHeader(w, type, 4, 5, 1, interlaced);
    for (int mb = 0; mb < 4; ++mb)
        PutIntraMb(w, type == 1, mb == 0 ? value : -1, interlaced);
    w.Stuff();
    w.StartCode(0x1B6);
    return w.bytes();
}

std::vector<uint8_t> SkippedPicture()
{
    BitWriter w;
    PutVopHeader(w, 1, 4, 5);
    w.Put(0b1111, 4); // four not-coded macroblocks
    w.Stuff();
    w.StartCode(0x1B6);
    return w.bytes();
}

// mbBits: the bits of one B-macroblock, repeated for all four.
std::vector<uint8_t> BPicture(uint32_t mbBits, int mbLength, bool interlaced = false)
{
    BitWriter w;
    PutVopHeader(w, 2, 4, 5, 1, interlaced);
    for (int mb = 0; mb < 4; ++mb)
        w.Put(mbBits, mbLength);
    w.Stuff();
    w.StartCode(0x1B6);
    return w.bytes();
}

std::vector<uint8_t> NotCodedVop()
{
    BitWriter w;
    PutVopHeader(w, 1, 4, 5, 0);
    w.Stuff();
    w.StartCode(0x1B6);
    return w.bytes();
}

class Frames : public ::testing::Test {
protected:
    // Decodes one frame and returns the luma value it shows (the picture is flat).
    int Show(Instance &inst, const std::vector<uint8_t> &bits)
    {
        std::vector<uint8_t> out(kSize * kSize * 3 / 2, 0);
        EXPECT_EQ(inst.Decode(bits, out.data(), kSize), DecodeOk);
        EXPECT_EQ(inst.lastFrame().error, 0);
        for (int i = 1; i < kSize * kSize; ++i)
            if (out[size_t(i)] != out[0])
                return -1;
        return out[0];
    }
};

TEST_F(Frames, BidirectionalPicturesComeOutInDisplayOrder)
{
    Instance inst(kSize, kSize);
    const auto i0 = IntraPicture(0, 60, true), p3 = IntraPicture(1, 180, false);
    const auto b1 = BPicture(0b1, 1);              // modb "1": direct, zero vectors, averaged
    const auto b2 = BPicture(0b01'0001'1'1, 8);    // modb "01", forward, vector (0, 0)
    const auto b3 = BPicture(0b01'001'1'1, 7);     // modb "01", backward, vector (0, 0)
    EXPECT_EQ(Show(inst, i0), 16) << "the first call shows the black start picture";
    EXPECT_EQ(Show(inst, p3), 60) << "I0";
    EXPECT_EQ(Show(inst, b1), 120) << "B1";
    EXPECT_EQ(Show(inst, b2), 60) << "B2";
    EXPECT_EQ(Show(inst, b3), 180) << "B backward";
    EXPECT_EQ(Show(inst, IntraPicture(0, 200, false)), 180) << "P3";
}

TEST_F(Frames, FieldPredictedBidirectionalMacroblocks)
{
    Instance inst(kSize, kSize);
    Show(inst, IntraPicture(0, 60, true, true));
    Show(inst, IntraPicture(1, 180, false, true));
    // modb "01", interpolate "01", field prediction, references (0, 1) forward and backward,
    // then four zero field vectors of two components each.
    const uint32_t mb = 0b01'01'1'01'01'11111111;
    EXPECT_EQ(Show(inst, BPicture(mb, 17, true)), 120);
    // Forward only: "0001", field prediction, references (0, 1), two zero field vectors.
    EXPECT_EQ(Show(inst, BPicture(0b01'0001'1'01'1111, 13, true)), 60);
}

TEST_F(Frames, QuantiserChangesStayInRange)
{
    struct Case {
        int vopQuant;
        uint32_t dquantBits;
        int expected;
    };
    const Case cases[] = {{1, 0b01, 1}, {2, 0b00, 1}, {30, 0b11, 31}, {31, 0b10, 31}, {10, 0b11, 12}};
    for (const Case &c : cases) {
        Instance inst(kSize, kSize);
        BitWriter w;
        VolSpec v;
        v.width = v.height = kSize;
        PutVol(w, v);
        PutVopHeader(w, 0, c.vopQuant, 5);
        for (int mb = 0; mb < 4; ++mb) {
            w.Put(0b0001, 4);   // intra with dquant, cbpc 0
            w.Put(0, 1);        // ac_pred_flag
            w.Put(0b0011, 4);   // cbpy 0
            w.Put(mb == 0 ? c.dquantBits : 0b10, 2); // the others step by +1
            for (int b = 0; b < 6; ++b)
                b < 4 ? w.Put(0b011, 3) : w.Put(0b11, 2);
        }
        w.Stuff();
        w.StartCode(0x1B6);
        std::vector<uint8_t> out(kSize * kSize * 3 / 2);
        ASSERT_EQ(inst.Decode(w.bytes(), out.data(), kSize), DecodeOk);
        EXPECT_EQ(inst.lastFrame().error, 0);
        EXPECT_EQ(StateOf(inst).quant_grid[kQuantStride + 1], c.expected) << c.vopQuant;
    }
}

// intra_dc_vlc_thr: from the threshold's quantiser on, an intra DC is the first coefficient
// event of its block. Each case must show what the same difference gives with its own DC code.
TEST_F(Frames, IntraDcThresholdSelectsTheDcCode)
{
    struct Case {
        int thr, quant, diff;
        bool acCode;
    };
    const Case cases[] = {{7, 4, -40, true}, {1, 13, 25, true}, {1, 12, 25, false}, {6, 22, -7, false}, {0, 31, 9, false}};
    auto picture = [](int thr, int quant, int diff, bool acCode) {
        BitWriter w;
        VolSpec v;
        v.width = v.height = kSize;
        PutVol(w, v);
        PutVopHeader(w, 0, quant, 5, 1, false, thr);
        for (int mb = 0; mb < 4; ++mb) {
            w.Put(1, 1);                                    // intra, cbpc 0
            w.Put(0, 1);                                    // ac_pred_flag
            w.Put(mb == 0 && acCode ? 0b00010 : 0b0011, mb == 0 && acCode ? 5 : 4); // cbpy 8 or 0
            for (int b = 0; b < 6; ++b) {
                if (mb == 0 && b == 0 && acCode) {
                    // escape, fixed length: last 1, run 0, the difference as a 12-bit level
                    w.Put(0b0000011, 7);
                    w.Put(0b11, 2);
                    w.Put(1, 1);
                    w.Put(0, 6);
                    w.Put(1, 1);
                    w.Put(uint32_t(diff) & 0xFFF, 12);
                    w.Put(1, 1);
                } else if (acCode) {
                    // no difference, and the block is not coded: nothing at all
                } else if (mb == 0 && b == 0) {
                    PutDcDiff(w, diff);
                } else {
                    b < 4 ? w.Put(0b011, 3) : w.Put(0b11, 2);
                }
            }
        }
        w.Stuff();
        w.StartCode(0x1B6);
        return w.bytes();
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> expected(kSize * kSize * 3 / 2), out(expected.size());
        Instance plain(kSize, kSize, OutputYv12, 1), inst(kSize, kSize, OutputYv12, 1);
        ASSERT_EQ(plain.Decode(picture(0, c.quant, c.diff, false), expected.data(), kSize), DecodeOk);
        ASSERT_EQ(inst.Decode(picture(c.thr, c.quant, c.diff, c.acCode), out.data(), kSize), DecodeOk);
        EXPECT_EQ(inst.lastFrame().error, 0) << c.thr << " " << c.quant;
        EXPECT_EQ(out, expected) << c.thr << " " << c.quant;
        EXPECT_GT(std::abs(int(out[0]) - 128), 4) << "the difference shows";
    }
}

TEST_F(Frames, SkippedColocatedMacroblocksReadNoBits)
{
    Instance inst(kSize, kSize);
    Show(inst, IntraPicture(0, 60, true));
    EXPECT_EQ(Show(inst, SkippedPicture()), 60);
    BitWriter w;
    PutVopHeader(w, 2, 4, 5); // no macroblock bits at all: the stuffing follows the header
    w.Stuff();
    w.StartCode(0x1B6);
    EXPECT_EQ(Show(inst, w.bytes()), 60);
    EXPECT_EQ(StateOf(inst).mb_index, 4);
}

TEST_F(Frames, FixedBufferModeKeepsItsReference)
{
    Instance inst(kSize, kSize, OutputYv12, 1);
    EXPECT_EQ(Show(inst, IntraPicture(0, 60, true)), 60) << "shown at once";
    EXPECT_EQ(Show(inst, SkippedPicture()), 60);
    EXPECT_EQ(Show(inst, IntraPicture(1, 180, false)), 180);
    EXPECT_EQ(Show(inst, SkippedPicture()), 60) << "P pictures never become the reference";
}

TEST_F(Frames, NotCodedVopRepeatsThePreviousPicture)
{
    Instance inst(kSize, kSize);
    Show(inst, IntraPicture(0, 60, true));
    EXPECT_EQ(Show(inst, IntraPicture(0, 100, false)), 60);
    EXPECT_EQ(Show(inst, NotCodedVop()), 60);
    EXPECT_EQ(Show(inst, IntraPicture(0, 140, false)), 100);
}

TEST_F(Frames, SimpleObjectWithoutControlParametersShowsEachPictureAtOnce)
{
    Instance inst(kSize, kSize);
    EXPECT_EQ(Show(inst, IntraPicture(0, 60, true, false, 1)), 60);
    EXPECT_EQ(Show(inst, IntraPicture(1, 100, false)), 100);
    EXPECT_EQ(Show(inst, NotCodedVop()), 100);
    EXPECT_EQ(Show(inst, IntraPicture(0, 140, false)), 140);
}

} // namespace
} // namespace strandel::lumaset::test
