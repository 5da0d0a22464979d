// The picture integrity check, its digest, the status it leaves, and the JPEG and MPEG-1/2 paths.
#include "decoder/decode.h"
#include "decoder/integrity.h"
#include "decoder/jpegparse.h"
#include "decoder/md5.h"
#include "decoder/mpeg2parse.h"
#include "decoder/state.h"
#include "decoder/vlc.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>

namespace strandel::lumaset::test {
namespace {

std::string Hex(const uint8_t *d, int n)
{
    static const char *digits = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < n; ++i)
        s += digits[d[i] >> 4], s += digits[d[i] & 15];
    return s;
}

std::vector<uint8_t> Bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(Md5, Rfc1321Vectors)
{
    const struct {
        const char *in, *out;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &c : cases) {
        const std::string in = c.in;
        // Whole, and fed in uneven pieces across the 64-byte blocks.
        for (size_t piece : {in.size() + 1, size_t(1), size_t(7), size_t(63)}) {
            Md5 m;
            Md5Init(m);
            for (size_t i = 0; i < in.size(); i += piece)
                Md5Update(m, reinterpret_cast<const uint8_t *>(in.data()) + i, std::min(piece, in.size() - i));
            uint8_t out[16];
            Md5Final(m, out);
            EXPECT_EQ(Hex(out, 16), c.out) << '"' << in << "\" in pieces of " << piece;
        }
    }
}

TEST(Md5, HmacRfc2202Vectors)
{
    const std::vector<uint8_t> k80(80, 0xaa);
    const struct {
        std::vector<uint8_t> key, data;
        const char *out;
    } cases[] = {
        {std::vector<uint8_t>(16, 0x0b), Bytes("Hi There"), "9294727a3638bb1c13f48ef8158bfc9d"},
        {Bytes("Jefe"), Bytes("what do ya want for nothing?"), "750c783e6ab0b503eaa86e310a5db738"},
        {std::vector<uint8_t>(16, 0xaa), std::vector<uint8_t>(50, 0xdd), "56be34521d144c88dbb8c733f0e8b3f6"},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25},
         std::vector<uint8_t>(50, 0xcd), "697eaf0aca3a3aea3a75164746ffaa79"},
        {std::vector<uint8_t>(16, 0x0c), Bytes("Test With Truncation"), "56461ef2342edc00f9bab995690efd4c"},
        {k80, Bytes("Test Using Larger Than Block-Size Key - Hash Key First"), "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {k80, Bytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
         "6f630fad67cda0ee1fb1f562db3aa53e"},
    };
    for (const auto &c : cases) {
        uint8_t out[16];
        HmacMd5Raw(c.key.data(), c.key.size(), c.data.data(), c.data.size(), out);
        EXPECT_EQ(Hex(out, 16), c.out);
    }
}

TEST(Md5, CheckDigestWithTheZeroKeyBlockIsHmacWithAZeroKey)
{
    const uint8_t zero[64] = {};
    const std::vector<uint8_t> msg = Bytes("what do ya want for nothing?");
    uint8_t a[16], b[16];
    HmacMd5(zero, msg.data(), int32_t(msg.size()), a);
    HmacMd5Raw(zero, 16, msg.data(), msg.size(), b);
    EXPECT_EQ(Hex(a, 16), Hex(b, 16));
    // The empty key gives the same pad.
    HmacMd5Raw(nullptr, 0, msg.data(), msg.size(), b);
    EXPECT_EQ(Hex(a, 16), Hex(b, 16));
    uint8_t keyed[64] = {};
    for (int i = 0; i < 64; ++i)
        keyed[i] = uint8_t(i + 1);
    HmacMd5(keyed, msg.data(), int32_t(msg.size()), b);
    EXPECT_NE(Hex(a, 16), Hex(b, 16)); // the key block takes part
}

// ---- synthetic marked pictures ----

// The runs the check tests below go through (an instance keeps its own).
IntegrityState runs;
IntegrityState &Integrity() { return runs; }
void ResetIntegrity() { ResetRuns(runs); }

// The marking rules, written out again for the fixture generator.
constexpr uint8_t kLuma[33] = {63, 55, 62, 47, 61, 54, 46, 53, 38, 52, 45, 37, 44, 29, 43, 36, 28,
                               35, 20, 34, 27, 19, 26, 11, 25, 18, 10, 17, 2,  16, 9,  1,  8};
constexpr uint8_t kChroma[10] = {11, 25, 18, 17, 10, 9, 2, 16, 1, 8};
constexpr int kLumaCount[5] = {15, 20, 25, 30, 33};
constexpr int kChromaCount[5] = {5, 5, 5, 5, 10};

struct Macroblock {
    int16_t blocks[6][64];
    int16_t activity[6];
};

// Random coefficients (small values, many of them too small to be marked).
Macroblock RandomMacroblock(std::mt19937 &rng, int spread = 5)
{
    Macroblock m{};
    std::uniform_int_distribution<int> v(-spread, spread);
    for (auto &b : m.blocks)
        for (auto &c : b)
            c = int16_t(v(rng));
    return m;
}

bool IsCheckPosition(int index, int cols) { return ((index % cols + 1) % cols - 1) % 5 == 0; }

// Makes the macroblocks of `pictures` pictures carry the mark for the given level, with the zero key:
// the parities of each run's marked coefficients spell the digest of the run before.
std::vector<Macroblock> MarkedPictures(int cols, int rows, int level, int pictures, uint32_t seed)
{
    std::mt19937 rng(seed);
    const uint8_t zero[64] = {};
    std::vector<uint8_t> message;
    uint8_t expected[130] = {};
    int bit = 0;
    std::vector<Macroblock> out;
    for (int n = 0; n < cols * rows * pictures; ++n) {
        Macroblock m = RandomMacroblock(rng);
        const int index = n % (cols * rows);
        if (IsCheckPosition(index, cols)) {
            uint8_t d[16];
            HmacMd5(zero, message.data(), int32_t(message.size()), d);
            for (int i = 0; i < 128; ++i)
                expected[i] = (d[i / 8] >> (7 - i % 8)) & 1;
            expected[128] = expected[129] = expected[0];
            message.clear();
            bit = 0;
        }
        for (int b = 0; b < 6; ++b) {
            int16_t *q = m.blocks[b];
            bool marked[64] = {};
            int count = 0;
            const uint8_t *cand = b < 4 ? kLuma : kChroma;
            for (int i = 0; i < (b < 4 ? kLumaCount : kChromaCount)[level] && count < (b < 4 ? 5 : 3); ++i)
                if (std::abs(q[cand[i]]) > 1)
                    marked[cand[i]] = true, ++count;
            for (int col = 0; col < 8; ++col)
                for (int row = 0; row < 8; ++row) {
                    int16_t &v = q[8 * row + col];
                    if (!marked[8 * row + col] || bit >= 130)
                        continue;
                    if ((v & 1) != expected[bit++]) // parity set away from zero or toward it, |v| stays > 1
                        v = int16_t(v & 1 ? (v > 0 ? v - 1 : v + 1) : (v > 0 ? v + 1 : v - 1));
                }
            for (int i = 0; i < 64 && message.size() < 1920; ++i) {
                const int v = q[i];
                const bool m2 = marked[i];
                const int even = m2 ? (v > 0 ? v & ~1 : (v & 1 ? v + 1 : v)) : v;
                message.push_back(uint8_t(even));
            }
        }
        out.push_back(m);
    }
    return out;
}

// Runs the check over the macroblocks; returns the first flagged index (-1: none).
int RunCheck(const std::vector<Macroblock> &mbs, int cols, int rows, int level, int mode = 0)
{
    const uint8_t zero[64] = {};
    int flagged = -1;
    for (size_t n = 0; n < mbs.size(); ++n) {
        const int index = int(n % size_t(cols * rows));
        if (index == 0)
            ClearTamper(runs);
        const int column = (index % cols + 1) % cols;
        if (IntegrityCheck(runs, level + 1, zero, mode, index, column, mbs[n].blocks, mbs[n].activity,
                           int32_t(n / size_t(cols * rows))) &&
            flagged < 0)
            flagged = int(n);
    }
    return flagged;
}

TEST(IntegrityCheck, MarkedPicturesPassAtEveryLevelAndWidth)
{
    // 11 and 16 columns give runs of six macroblocks; 9 rows, two pictures (runs span pictures).
    for (int cols : {4, 11, 16, 22})
        for (int level = 0; level <= 4; ++level) {
            ResetIntegrity();
            const auto mbs = MarkedPictures(cols, 9, level, 2, uint32_t(cols * 10 + level));
            EXPECT_EQ(RunCheck(mbs, cols, 9, level, 1), -1) << cols << " columns, level " << level;
            EXPECT_LE(Integrity().message_fill, 1920);
            EXPECT_LE(Integrity().gathered_fill, 130);
        }
}

TEST(IntegrityCheck, ChangedCoefficientIsFlaggedWhereItsRunIsJudged)
{
    const int cols = 11, rows = 9;
    for (int level : {0, 4}) {
        auto mbs = MarkedPictures(cols, rows, level, 1, 7);
        // A marked value of macroblock 20 changes parity: its run (16..21) is judged at 22.
        int16_t *q = mbs[20].blocks[0];
        int pos = -1;
        for (int i = 0; i < kLumaCount[level] && pos < 0; ++i)
            if (std::abs(q[kLuma[i]]) > 1)
                pos = kLuma[i];
        ASSERT_GE(pos, 0);
        q[pos] = int16_t(q[pos] > 0 ? q[pos] + 1 : q[pos] - 1);
        ResetIntegrity();
        EXPECT_EQ(RunCheck(mbs, cols, rows, level), 22) << level;
        EXPECT_EQ(runs.tamper.macroblock, 22);
    }
}

TEST(IntegrityCheck, LevelChoosesTheCandidates)
{
    // Marked for level 4, checked as level 0: other positions, other bits.
    auto mbs = MarkedPictures(22, 4, 4, 1, 3);
    ResetIntegrity();
    EXPECT_GE(RunCheck(mbs, 22, 4, 0), 6);
    ResetIntegrity();
    EXPECT_EQ(RunCheck(mbs, 22, 4, 4), -1);
}

TEST(IntegrityCheck, UnmarkedFlaggedAfterMacroblockFiveUnlessBusyOrNothingQualifies)
{
    std::mt19937 rng(11);
    std::vector<Macroblock> mbs;
    for (int i = 0; i < 44; ++i)
        mbs.push_back(RandomMacroblock(rng));
    ResetIntegrity();
    EXPECT_EQ(RunCheck(mbs, 22, 2, 0, 0), 10); // positions 0, 5, 10: the first after five
    ResetIntegrity();
    EXPECT_EQ(RunCheck(mbs, 22, 2, 0, 1), 5); // a non-zero mode judges the first six as well

    // A busy macroblock within the last ten keeps the run from being judged.
    auto busy = mbs;
    busy[3].activity[0] = 101;
    ResetIntegrity();
    EXPECT_EQ(RunCheck(busy, 22, 2, 0, 0), 15);
    busy = mbs;
    busy[7].activity[5] = 61; // chroma limit
    ResetIntegrity();
    EXPECT_EQ(RunCheck(busy, 22, 2, 0, 0), 20);

    // Nothing above one in magnitude: every slot stays don't-care.
    std::vector<Macroblock> flat;
    for (int i = 0; i < 44; ++i)
        flat.push_back(RandomMacroblock(rng, 1));
    ResetIntegrity();
    EXPECT_EQ(RunCheck(flat, 22, 2, 0, 1), -1);
}

TEST(IntegrityCheck, LongRunsStayInsideTheirBuffers)
{
    // Every candidate qualifies and two pictures of 11 columns make six-macroblock runs.
    std::mt19937 rng(5);
    std::vector<Macroblock> mbs;
    for (int i = 0; i < 44; ++i) {
        Macroblock m = RandomMacroblock(rng);
        for (auto &b : m.blocks)
            for (auto &c : b)
                c = int16_t(c < 0 ? c - 2 : c + 2);
        mbs.push_back(m);
    }
    ResetIntegrity();
    RunCheck(mbs, 11, 4, 4, 1);
    // After macroblock 43 (column 10) the run 38..43 holds six macroblocks' worth.
    EXPECT_EQ(Integrity().message_fill, 1920);
    EXPECT_EQ(Integrity().gathered_fill, 130);
}

// ---- through the decoder entry ----

DecoderState &StateOf(Instance &i) { return *static_cast<DecoderState *>(i.params().state); }

// Fresh runs and a fresh tamper record for the instance.
void Reset(Instance &i) { ResetRuns(StateOf(i).integrity); }

int32_t Select(Instance &inst, int32_t flags, int32_t level)
{
    IntegrityParams ip{};
    ip.flags = flags;
    ip.level = level;
    return Instance::Call(DecOptSelectInstance, &inst.params(), &ip);
}

int32_t Status(int32_t *frame, int32_t *mb) { return Instance::Call(DecOptIntegrityStatus, frame, mb); }

TEST(IntegrityEntry, LevelOutsideTheRangeIsRefused)
{
    Instance inst(64, 48);
    ASSERT_TRUE(inst.ok());
    ASSERT_EQ(Select(inst, 3, 2), DecodeOk);
    for (int32_t bad : {-1, 5, 1000})
        EXPECT_EQ(Select(inst, 1, bad), DecodeBadArgument) << bad;
    EXPECT_EQ(StateOf(inst).integrity_level, 3);
    EXPECT_EQ(StateOf(inst).integrity_on, 1);
    EXPECT_EQ(StateOf(inst).integrity_mode, 1);
}

TEST(IntegrityEntry, StatusBeforeAndAfterAFlaggedMacroblock)
{
    int32_t frame = -1, mb = -1;
    EXPECT_EQ(Status(&frame, &mb), DecodeIntegrityClean);
    EXPECT_EQ(frame, 0);
    EXPECT_EQ(mb, 0);

    // An unmarked I-picture with the zero key: flagged at the first check position after five.
    Instance inst(352, 288);
    ASSERT_TRUE(inst.ok());
    const auto frames = SplitFrames(ReadFile(DataPath("i_352x288.m4v")));
    ASSERT_FALSE(frames.empty());
    std::vector<uint8_t> out(352 * 288 * 3 / 2);
    ASSERT_EQ(inst.Decode(frames[0], out.data(), 352), DecodeOk); // checking off: nothing recorded
    EXPECT_EQ(Status(&frame, &mb), DecodeIntegrityClean);

    ASSERT_EQ(Select(inst, 1, 0), DecodeOk);
    const int32_t counter = StateOf(inst).frame_counter;
    ASSERT_EQ(inst.Decode(frames[0], out.data(), 352), DecodeOk);
    EXPECT_EQ(inst.lastFrame().error, 0);
    EXPECT_EQ(Status(&frame, &mb), DecodeIntegrityTampered);
    EXPECT_EQ(frame, counter);
    EXPECT_EQ(mb, 10); // 22 columns: check positions 0, 5, 10, ...

    // A damaged picture is flagged where the damage stopped its macroblocks.
    std::vector<uint8_t> cut(frames[0].begin(), frames[0].begin() + long(frames[0].size() / 3));
    Reset(inst);
    inst.Decode(cut, out.data(), 352);
    EXPECT_EQ(inst.lastFrame().error != 0, true);
    EXPECT_EQ(Status(&frame, &mb), DecodeIntegrityTampered);
    EXPECT_GT(mb, 0);
    EXPECT_LT(mb, 22 * 18);
}

// Each view's decoder has its own integrity status, also while the views decode side by side.
TEST(IntegrityEntry, InstancesOnTheirOwnThreadsKeepTheirOwnStatus)
{
    const auto flagged = SplitFrames(ReadFile(DataPath("i_352x288.m4v")));
    const auto small = SplitFrames(ReadFile(DataPath("i_64x48.m4v")));
    std::atomic<int> step{0};
    int32_t viewStatus = -1, viewMb = -1;
    std::thread view([&] {
        Instance inst(352, 288);
        Select(inst, 1, 0);
        std::vector<uint8_t> out(352 * 288 * 3 / 2);
        inst.Decode(flagged[0], out.data(), 352); // an unmarked picture: flagged at macroblock 10
        step = 1;
        while (step != 2)
            std::this_thread::yield();
        for (int i = 0; i < 10; ++i) // beside the other view's checked pictures
            inst.Decode(flagged[0], out.data(), 352);
        int32_t frame = -1;
        viewStatus = Status(&frame, &viewMb);
        step = 3;
    });
    Instance mine(64, 48);
    std::vector<uint8_t> out(64 * 48 * 3 / 2);
    ASSERT_EQ(mine.Decode(small[0], out.data(), 64), DecodeOk); // checking off: nothing flagged
    while (step != 1)
        std::this_thread::yield();
    int32_t frame = -1, mb = -1;
    EXPECT_EQ(Status(&frame, &mb), DecodeIntegrityClean) << "the other view's status";
    ASSERT_EQ(Select(mine, 1, 0), DecodeOk);
    step = 2;
    while (step != 3)
        mine.Decode(small[0], out.data(), 64);
    view.join();
    EXPECT_EQ(viewStatus, DecodeIntegrityTampered);
    EXPECT_EQ(viewMb, 10);
}

TEST(IntegrityEntry, CheckingChangesNoPicture)
{
    for (const char *name : {"p_80x64.m4v", "vp_128x96.m4v", "il_96x64.m4v"}) {
        const auto frames = SplitFrames(ReadFile(DataPath(name)));
        const int w = std::atoi(std::strchr(name, '_') + 1), h = std::atoi(std::strchr(name, 'x') + 1);
        Instance plain(w, h), checked(w, h);
        ASSERT_EQ(Select(checked, 1, 4), DecodeOk);
        std::vector<uint8_t> a(size_t(w * h * 3 / 2)), b(a.size());
        int checkedRuns = 0;
        for (size_t i = 0; i < frames.size(); ++i) {
            ASSERT_EQ(plain.Decode(frames[i], a.data(), w), DecodeOk);
            ASSERT_EQ(checked.Decode(frames[i], b.data(), w), DecodeOk);
            EXPECT_EQ(a, b) << name << " frame " << i;
            EXPECT_EQ(checked.lastFrame().error, 0) << name << " frame " << i;
            checkedRuns += StateOf(checked).integrity.message_fill > 0;
        }
        EXPECT_GT(checkedRuns, 0) << name;
    }
}

// ---- JPEG ----

// An instance of the given codec type with checking on.
struct Checked {
    Instance inst;
    std::vector<uint8_t> out;
    Checked(int w, int h, int32_t codec, int32_t flags = 1) : inst(w, h), out(size_t(w * h * 3 / 2), 0x5A)
    {
        inst.params().codec_type = codec;
        int32_t fixed = 0;
        Instance::Call(DecOptInit, &inst.params(), &fixed);
        Select(inst, flags, 0);
    }
    int32_t Decode(const std::vector<uint8_t> &bits) { return inst.Decode(bits, out.data(), inst.params().width); }
    int32_t error() const { return inst.lastFrame().error; }
    bool OutputUntouched() const
    {
        return std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0x5A; });
    }
};

// PES packets of stream id 0xD0 around pieces of the data, with the given header-data lengths.
std::vector<uint8_t> Pes(const std::vector<uint8_t> &data, std::initializer_list<int> headerLengths)
{
    std::vector<uint8_t> out;
    const size_t pieces = headerLengths.size();
    size_t from = 0, k = 0;
    for (int h : headerLengths) {
        const size_t to = ++k == pieces ? data.size() : data.size() * k / pieces;
        const size_t length = (to - from) + size_t(h) + 3;
        const uint8_t head[] = {0, 0, 1, 0xD0, uint8_t(length >> 8), uint8_t(length), 0x81, 0x80, uint8_t(h)};
        out.insert(out.end(), head, head + 9);
        out.insert(out.end(), size_t(h), 0xFF);
        out.insert(out.end(), data.begin() + long(from), data.begin() + long(to));
        from = to;
    }
    return out;
}

struct Snapshot {
    std::vector<uint8_t> message, gathered, expected;
    TamperRecord tamper;
    bool operator==(const Snapshot &o) const
    {
        return message == o.message && gathered == o.gathered && expected == o.expected &&
               tamper.flagged == o.tamper.flagged && tamper.macroblock == o.tamper.macroblock;
    }
};

Snapshot Take(Instance &inst)
{
    const IntegrityState &s = StateOf(inst).integrity;
    return {std::vector<uint8_t>(s.message, s.message + s.message_fill),
            std::vector<uint8_t>(s.gathered, s.gathered + 130), std::vector<uint8_t>(s.expected, s.expected + 130),
            s.tamper};
}

TEST(Jpeg, TypicalTablesHaveTheirCharacteristicCodes)
{
    EXPECT_EQ(JpegStandardCode(2, 0xF0).code, 0x7F9);
    EXPECT_EQ(JpegStandardCode(2, 0xF0).length, 11);
    EXPECT_EQ(JpegStandardCode(3, 0xF0).code, 0x3FA);
    EXPECT_EQ(JpegStandardCode(3, 0xF0).length, 10);
    EXPECT_EQ(JpegStandardCode(2, 0x00).length, 4);
    EXPECT_EQ(JpegStandardCode(3, 0x00).length, 2);
    EXPECT_EQ(JpegStandardCode(0, 11).length, 9);
    EXPECT_EQ(JpegStandardCode(1, 11).length, 11);
    EXPECT_EQ(JpegStandardCode(2, 0xFA).code, 0xFFFE);
    EXPECT_EQ(JpegStandardCode(3, 0xFA).code, 0xFFFE);
}

TEST(Jpeg, BaselinePicturesParseClean)
{
    for (const char *name : {"j_176x144.jpg", "jr_176x144.jpg"}) {
        const std::vector<uint8_t> jpg = ReadFile(DataPath(name));
        ASSERT_FALSE(jpg.empty()) << name;
        Checked c(176, 144, CodecJpeg);
        const std::vector<uint8_t> copy = jpg;
        Reset(c.inst);
        EXPECT_EQ(c.Decode(jpg), DecodeOk) << name;
        EXPECT_EQ(c.error(), 0) << name;
        EXPECT_EQ(jpg, copy) << name;
        EXPECT_TRUE(c.OutputUntouched()) << name;
        EXPECT_EQ(StateOf(c.inst).mb_index, 99) << name;
    }
    // The restart intervals change nothing of what the check sees.
    Checked c(176, 144, CodecJpeg);
    Reset(c.inst);
    c.Decode(ReadFile(DataPath("j_176x144.jpg")));
    const Snapshot plain = Take(c.inst);
    Reset(c.inst);
    c.Decode(ReadFile(DataPath("jr_176x144.jpg")));
    EXPECT_TRUE(Take(c.inst) == plain);
}

TEST(Jpeg, InstancesKeepTheirRunsApart)
{
    const std::vector<uint8_t> jpg = ReadFile(DataPath("j_176x144.jpg"));
    Checked a(176, 144, CodecJpeg), b(64, 48, CodecJpeg);
    Reset(a.inst);
    a.Decode(jpg);
    a.Decode(jpg);
    const Snapshot alone = Take(a.inst);
    Reset(a.inst);
    a.Decode(jpg);
    EXPECT_EQ(b.Decode(ReadFile(DataPath("j_64x48.jpg"))), DecodeOk);
    a.Decode(jpg);
    EXPECT_TRUE(Take(a.inst) == alone);
}

TEST(Jpeg, PesPacketsJoinIntoOnePicture)
{
    const std::vector<uint8_t> jpg = ReadFile(DataPath("j_176x144.jpg"));
    Checked c(176, 144, CodecJpeg);
    Reset(c.inst);
    ASSERT_EQ(c.Decode(jpg), DecodeOk);
    const Snapshot plain = Take(c.inst);
    for (auto pes : {Pes(jpg, {0, 5}), Pes(jpg, {3, 0, 8}), Pes(jpg, {1, 2, 3, 4})}) {
        const std::vector<uint8_t> copy = pes;
        Reset(c.inst);
        EXPECT_EQ(c.Decode(pes), DecodeOk);
        EXPECT_EQ(c.error(), 0);
        EXPECT_TRUE(Take(c.inst) == plain);
        EXPECT_EQ(pes, copy); // the caller's buffer is left as it was
        // A packet that claims more than the buffer holds fails the call.
        pes.resize(pes.size() - 1);
        EXPECT_EQ(c.Decode(pes), DecodeFailed);
    }
    EXPECT_TRUE(c.OutputUntouched());
}

TEST(Jpeg, RefusedPictures)
{
    const std::vector<uint8_t> jpg = ReadFile(DataPath("j_176x144.jpg"));
    Checked c(176, 144, CodecJpeg);
    // An APP1 segment before the scan.
    std::vector<uint8_t> app1 = jpg;
    const uint8_t seg[] = {0xFF, 0xE1, 0x00, 0x06, 'E', 'x', 'i', 'f'};
    app1.insert(app1.begin() + 2, seg, seg + sizeof seg);
    EXPECT_EQ(c.Decode(app1), DecodeFailed);
    // Another size than the instance's, and checking off.
    Checked other(64, 48, CodecJpeg);
    EXPECT_EQ(other.Decode(jpg), DecodeFailed);
    Checked off(176, 144, CodecJpeg, 0);
    EXPECT_EQ(off.Decode(jpg), DecodeFailed);
    // Segment lengths below two or past the end.
    for (size_t at = 2; at + 4 < 200; ++at)
        if (jpg[at] == 0xFF && jpg[at + 1] == 0xE0) {
            for (uint8_t low : {0, 1}) {
                std::vector<uint8_t> bad = jpg;
                bad[at + 2] = 0, bad[at + 3] = low;
                EXPECT_EQ(c.Decode(bad), DecodeFailed);
            }
            std::vector<uint8_t> bad(jpg.begin(), jpg.begin() + long(at + 6));
            bad[at + 2] = 0x7F;
            EXPECT_EQ(c.Decode(bad), DecodeFailed);
        }
    EXPECT_TRUE(c.OutputUntouched());
}

TEST(Jpeg, PictureWithItsOwnTables)
{
    // The scan is read with the typical tables whatever the picture defines: a picture coded
    // with tables of its own still parses, but the coefficients the check sees are not its own
    // (the two files hold the same picture, with the same quantiser tables).
    Checked c(64, 48, CodecJpeg);
    Reset(c.inst);
    EXPECT_EQ(c.Decode(ReadFile(DataPath("jo_64x48.jpg"))), DecodeOk);
    const Snapshot own = Take(c.inst);
    Reset(c.inst);
    EXPECT_EQ(c.Decode(ReadFile(DataPath("j_64x48.jpg"))), DecodeOk);
    EXPECT_EQ(c.error(), 0);
    EXPECT_FALSE(Take(c.inst) == own);
}

// Bits, MSB first, for handmade scans.
struct BitWriter {
    std::vector<uint8_t> bytes;
    int used = 8;
    void Put(uint32_t v, int n)
    {
        for (int i = n - 1; i >= 0; --i) {
            if (used == 8)
                bytes.push_back(0), used = 0;
            bytes.back() |= uint8_t(((v >> i) & 1) << (7 - used++));
        }
    }
    void Code(int table, int symbol)
    {
        const JpegCode c = JpegStandardCode(table, symbol);
        Put(c.code, c.length);
    }
    std::vector<uint8_t> Finish()
    {
        while (used != 8)
            Put(1, 1);
        std::vector<uint8_t> out;
        for (uint8_t b : bytes) {
            out.push_back(b);
            if (b == 0xFF)
                out.push_back(0);
        }
        return out;
    }
};

// A 16 x 16 picture around the given scan data.
std::vector<uint8_t> Picture16(const std::vector<uint8_t> &scan)
{
    std::vector<uint8_t> p = {0xFF, 0xD8, 0xFF, 0xC0, 0, 17, 8, 0, 16, 0, 16, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1,
                              0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0x11, 3, 0x11, 0, 63, 0};
    p.insert(p.end(), scan.begin(), scan.end());
    p.push_back(0xFF), p.push_back(0xD9);
    return p;
}

TEST(Jpeg, PositionsPastTheBlockSetTheErrorFlag)
{
    Checked c(16, 16, CodecJpeg);
    auto mcu = [](BitWriter &w, auto firstBlock) {
        firstBlock(w);
        for (int b = 1; b < 6; ++b) {
            w.Code(b < 4 ? 0 : 1, 0);
            w.Code(b < 4 ? 2 : 3, 0);
        }
    };
    const struct {
        const char *what;
        int error;
        void (*block)(BitWriter &);
    } cases[] = {
        {"EOB", 0, [](BitWriter &w) { w.Code(0, 3), w.Put(5, 3), w.Code(2, 0x00); }},
        {"three ZRL then EOB", 0, [](BitWriter &w) { w.Code(0, 0); for (int i = 0; i < 3; ++i) w.Code(2, 0xF0); w.Code(2, 0); }},
        {"ZRL up to 63 exactly", 0, [](BitWriter &w) { w.Code(0, 0); w.Code(2, 0xE1), w.Put(1, 1); for (int i = 0; i < 3; ++i) w.Code(2, 0xF0); }},
        {"four ZRL", 1, [](BitWriter &w) { w.Code(0, 0); for (int i = 0; i < 4; ++i) w.Code(2, 0xF0); }},
        {"run past 63", 1, [](BitWriter &w) { w.Code(0, 0); for (int i = 0; i < 3; ++i) w.Code(2, 0xF0); w.Code(2, 0xF1), w.Put(1, 1); }},
    };
    for (const auto &k : cases) {
        BitWriter w;
        mcu(w, k.block);
        Reset(c.inst);
        EXPECT_EQ(c.Decode(Picture16(w.Finish())), DecodeOk) << k.what;
        EXPECT_EQ(c.error(), k.error) << k.what;
        EXPECT_EQ(StateOf(c.inst).integrity.tamper.flagged, k.error) << k.what;
    }
}

TEST(Jpeg, DamagedPicturesNeverCrashAndReportTheirDamage)
{
    const std::vector<uint8_t> jpg = ReadFile(DataPath("jr_176x144.jpg"));
    Checked c(176, 144, CodecJpeg);
    std::mt19937 rng(9);
    for (int i = 0; i < 400; ++i) {
        std::vector<uint8_t> bad = jpg;
        const int flips = 1 + int(rng() % 4);
        for (int k = 0; k < flips; ++k)
            bad[rng() % bad.size()] ^= uint8_t(1 + rng() % 255);
        if (i % 3 == 0)
            bad.resize(rng() % bad.size());
        const int32_t result = c.Decode(bad);
        ASSERT_TRUE(result == DecodeOk || result == DecodeFailed);
        if (result == DecodeOk && c.error()) {
            EXPECT_EQ(StateOf(c.inst).integrity.tamper.flagged, 1);
        }
    }
    EXPECT_TRUE(c.OutputUntouched());
}

// ---- MPEG-1/2 ----

// Cuts an elementary stream into calls: each holds one picture with the headers before it.
std::vector<std::vector<uint8_t>> SplitPictures(const std::vector<uint8_t> &s)
{
    std::vector<std::vector<uint8_t>> out;
    size_t begin = 0;
    bool picture = false;
    for (size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] || s[i + 1] || s[i + 2] != 1)
            continue;
        const uint8_t code = s[i + 3];
        if ((code == 0x00 || code == 0xB3 || code == 0xB8) && picture) {
            out.emplace_back(s.begin() + long(begin), s.begin() + long(i));
            begin = i;
            picture = false;
        }
        picture = picture || code == 0x00;
        i += 3;
    }
    out.emplace_back(s.begin() + long(begin), s.end());
    return out;
}

int PictureType(const std::vector<uint8_t> &call)
{
    for (size_t i = 0; i + 5 < call.size(); ++i)
        if (!call[i] && !call[i + 1] && call[i + 2] == 1 && call[i + 3] == 0)
            return (call[i + 5] >> 3) & 7;
    return 0;
}

TEST(Mpeg12, TablesReadTheStandardsCodes)
{
    // Codes of the MPEG-1/2 tables (macroblock address increment, macroblock types of I and P
    // pictures, coded block pattern, the two DCT coefficient tables) with their values.
    using M = Mpeg12Table;
    const auto rl = [](int run, int level) { return run * 64 + level; };
    const int eob = 0x7FFE, escape = 0x7FFF;
    const struct {
        M table;
        const char *code;
        int value;
    } cases[] = {
        {M::AddressIncrement, "1", 1},
        {M::AddressIncrement, "010", 3},
        {M::AddressIncrement, "00000111", 14},
        {M::AddressIncrement, "0000010111", 16},
        {M::AddressIncrement, "00000011000", 33},
        {M::AddressIncrement, "00000001111", 34}, // stuffing
        {M::AddressIncrement, "00000001000", 35}, // escape
        {M::TypeI, "1", 1},
        {M::TypeI, "01", 17},
        {M::TypeP, "1", 10},
        {M::TypeP, "01", 2},
        {M::TypeP, "001", 8},
        {M::TypeP, "00011", 1},
        {M::TypeP, "00010", 26},
        {M::TypeP, "00001", 18},
        {M::TypeP, "000001", 17},
        {M::Pattern, "111", 60},
        {M::Pattern, "01011", 1},
        {M::Pattern, "0010100", 33},
        {M::Pattern, "000000001", 0},
        {M::Coefficients0, "10", eob},
        {M::Coefficients0, "011", rl(1, 1)},
        {M::Coefficients0, "0101", rl(2, 1)},
        {M::Coefficients0, "000001", escape},
        {M::Coefficients0, "00100110", rl(0, 5)},
        {M::Coefficients0, "0000000000011111", rl(27, 1)},
        {M::Coefficients1, "0110", eob},
        {M::Coefficients1, "10", rl(0, 1)},
        {M::Coefficients1, "010", rl(1, 1)},
        {M::Coefficients1, "110", rl(0, 2)},
        {M::Coefficients1, "11100", rl(0, 4)},
        {M::Coefficients1, "000001", escape},
        {M::Coefficients1, "0000000000010011", rl(1, 15)}, // shared with the first table
    };
    for (const auto &c : cases) {
        // Whatever follows the code does not change it.
        for (const bool pad : {false, true}) {
            uint8_t bits[4];
            std::memset(bits, pad ? 0xFF : 0x00, sizeof bits);
            const int n = int(std::strlen(c.code));
            for (int i = 0; i < n; ++i) {
                const uint8_t mask = uint8_t(0x80 >> (i % 8));
                bits[i / 8] = c.code[i] == '1' ? uint8_t(bits[i / 8] | mask) : uint8_t(bits[i / 8] & ~mask);
            }
            int length = -1;
            EXPECT_EQ(Mpeg12ReadCode(c.table, bits, sizeof bits, &length), c.value) << c.code << " pad " << pad;
            EXPECT_EQ(length, n) << c.code;
        }
    }
    // Sixteen zeros start no code.
    const uint8_t zeros[4] = {};
    int length = -1;
    for (const M table : {M::AddressIncrement, M::TypeP, M::Pattern, M::Coefficients0, M::Coefficients1})
        EXPECT_EQ(Mpeg12ReadCode(table, zeros, sizeof zeros, &length), kVlcInvalid) << int(table);
}

TEST(Mpeg12, StreamsParseWithoutError)
{
    const struct {
        const char *name;
        int w, h;
    } cases[] = {{"m1_176x144.m1v", 176, 144}, {"m1q1_176x144.m1v", 176, 144}, {"m2_176x144.m2v", 176, 144}, {"m2i_352x288.m2v", 352, 288}};
    for (const auto &k : cases) {
        const auto calls = SplitPictures(ReadFile(DataPath(k.name)));
        ASSERT_GE(calls.size(), 3u) << k.name;
        Checked c(k.w, k.h, CodecMpeg2);
        int anchors = 0;
        for (size_t i = 0; i < calls.size(); ++i) {
            const std::vector<uint8_t> copy = calls[i];
            EXPECT_EQ(c.Decode(calls[i]), DecodeOk) << k.name << " picture " << i;
            EXPECT_EQ(c.error(), 0) << k.name << " picture " << i;
            EXPECT_EQ(calls[i], copy);
            const int type = PictureType(calls[i]);
            if (type == 1 || type == 2) { // every macroblock reached (the last of a slice is never skipped)
                EXPECT_EQ(StateOf(c.inst).mb_index, (k.w / 16) * (k.h / 16)) << k.name << " picture " << i;
                ++anchors;
            } else {
                EXPECT_EQ(StateOf(c.inst).mb_index, 0) << k.name << " picture " << i; // B: nothing read
            }
        }
        EXPECT_GE(anchors, 2) << k.name;
        EXPECT_EQ(StateOf(c.inst).mpeg12.mpeg2, k.name[1] == '2' ? 1 : 0);
        EXPECT_TRUE(c.OutputUntouched());
    }
}

TEST(Mpeg12, SlicesArePlacedByTheirRow)
{
    // The second row's slice is lost: the third row still lands on the third row.
    const auto calls = SplitPictures(ReadFile(DataPath("m2_176x144.m2v")));
    std::vector<size_t> slices;
    const std::vector<uint8_t> &first = calls[0];
    for (size_t i = 0; i + 3 < first.size(); ++i)
        if (!first[i] && !first[i + 1] && first[i + 2] == 1 && first[i + 3] >= 1 && first[i + 3] <= 0xAF)
            slices.push_back(i);
    ASSERT_EQ(slices.size(), 9u);
    std::vector<uint8_t> lost(first.begin(), first.begin() + long(slices[1]));
    lost.insert(lost.end(), first.begin() + long(slices[2]), first.end());
    Checked c(176, 144, CodecMpeg2);
    EXPECT_EQ(c.Decode(lost), DecodeOk);
    EXPECT_EQ(c.error(), 0);
    EXPECT_EQ(StateOf(c.inst).mb_index, 99);
    // A slice below the picture is damage.
    std::vector<uint8_t> below = first;
    below[slices[2] + 3] = 0x20;
    EXPECT_EQ(c.Decode(below), DecodeOk);
    EXPECT_EQ(c.error(), 1);
    EXPECT_EQ(StateOf(c.inst).integrity.tamper.flagged, 1);
}

TEST(Mpeg12, SequenceValuesBelongToTheInstance)
{
    const auto one = SplitPictures(ReadFile(DataPath("m1_176x144.m1v")));
    const auto two = SplitPictures(ReadFile(DataPath("m2i_352x288.m2v")));
    Checked a(176, 144, CodecMpeg2), b(352, 288, CodecMpeg2);
    for (size_t i = 0; i < std::min(one.size(), two.size()); ++i) {
        EXPECT_EQ(a.Decode(one[i]), DecodeOk);
        EXPECT_EQ(a.error(), 0) << i;
        EXPECT_EQ(b.Decode(two[i]), DecodeOk);
        EXPECT_EQ(b.error(), 0) << i;
    }
}

TEST(Mpeg12, SequenceEndAndRefusals)
{
    const auto calls = SplitPictures(ReadFile(DataPath("m2_176x144.m2v")));
    Checked c(176, 144, CodecMpeg2);
    std::vector<uint8_t> ended = calls[0];
    for (uint8_t b : {0, 0, 1, 0xB7})
        ended.push_back(b);
    EXPECT_EQ(c.Decode(ended), DecodeOk);
    EXPECT_EQ(c.Decode({0, 0, 1, 0xB7}), DecodeFailed);
    EXPECT_EQ(c.Decode(std::vector<uint8_t>(300, 0)), DecodeFailed);
    // 4:2:2 in the sequence extension.
    std::vector<uint8_t> chroma = calls[0];
    for (size_t i = 0; i + 5 < chroma.size(); ++i)
        if (!chroma[i] && !chroma[i + 1] && chroma[i + 2] == 1 && chroma[i + 3] == 0xB5 && chroma[i + 4] >> 4 == 1) {
            chroma[i + 5] = uint8_t((chroma[i + 5] & ~0x06) | 2 << 1);
            break;
        }
    EXPECT_EQ(c.Decode(chroma), DecodeFailed);
    // Another size than the instance's; checking off.
    Checked other(352, 288, CodecMpeg2), off(176, 144, CodecMpeg2, 0);
    EXPECT_EQ(other.Decode(calls[0]), DecodeFailed);
    EXPECT_EQ(off.Decode(calls[0]), DecodeFailed);
    EXPECT_TRUE(c.OutputUntouched());
}

TEST(Mpeg12, DamagedPicturesSetTheErrorFlagWithoutCrashing)
{
    for (const char *name : {"m1_176x144.m1v", "m2i_352x288.m2v"}) {
        const auto calls = SplitPictures(ReadFile(DataPath(name)));
        const int w = name[1] == '1' ? 176 : 352, h = w == 176 ? 144 : 288;
        Checked c(w, h, CodecMpeg2);
        std::mt19937 rng(17);
        int flagged = 0;
        for (int i = 0; i < 300; ++i) {
            std::vector<uint8_t> bad = calls[size_t(i) % calls.size()];
            if (PictureType(bad) == 3)
                continue;
            // Damage the slice data, past the headers.
            for (int k = 0; k < 3; ++k)
                bad[bad.size() / 4 + rng() % (bad.size() * 3 / 4)] ^= uint8_t(1 + rng() % 255);
            if (i % 4 == 0)
                bad.resize(bad.size() / 2 + rng() % (bad.size() / 2));
            const int32_t result = c.Decode(bad);
            ASSERT_TRUE(result == DecodeOk || result == DecodeFailed);
            if (result == DecodeOk && c.error()) {
                EXPECT_EQ(StateOf(c.inst).integrity.tamper.flagged, 1);
                EXPECT_LT(StateOf(c.inst).integrity.tamper.macroblock, (w / 16) * (h / 16));
                ++flagged;
            }
            EXPECT_LE(StateOf(c.inst).mb_index, (w / 16) * (h / 16));
        }
        EXPECT_GT(flagged, 20) << name;
        EXPECT_TRUE(c.OutputUntouched());
    }
}

} // namespace
} // namespace strandel::lumaset::test
