#include "platform/debuglog.h"
#include "platform/endian.h"
#include "viewer/link/crc32.h"
#include "viewer/link/dvrframing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace strandel;

namespace {

struct Packet {
    uint8_t cmd, flag;
    std::vector<uint8_t> payload;
    bool operator==(const Packet &) const = default;
};

std::vector<uint8_t> Bytes(int n, int seed)
{
    std::vector<uint8_t> v(size_t(std::max(n, 0)));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = uint8_t(i * 7 + seed);
    return v;
}

std::vector<uint8_t> Tcp(const Packet &p)
{
    std::vector<uint8_t> f(kTcpFrameOverhead + p.payload.size());
    EXPECT_EQ(BuildTcpFrame(f.data(), p.cmd, p.flag, p.payload.data(), uint32_t(p.payload.size())), f.size());
    return f;
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<uint8_t> Text(const char *s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

struct Collector {
    std::vector<Packet> got;
    PacketSink sink()
    {
        return [this](const PacketHeader &h, const uint8_t *p) { got.push_back({h.cmd, h.flag, {p, p + h.length}}); };
    }
};

// Feeds the stream in pieces cut at the given points.
std::vector<Packet> FeedTcp(const std::vector<uint8_t> &s, std::vector<size_t> cuts = {})
{
    TcpReceiver rx;
    Collector c;
    cuts.push_back(s.size());
    size_t at = 0;
    for (size_t cut : cuts) {
        rx.Feed(s.data() + at, cut - at, c.sink());
        at = cut;
    }
    EXPECT_LE(rx.Have() + rx.Want(), size_t(kPacketBufferSize));
    return c.got;
}

const Packet kA{0x10, 0x00, Bytes(5, 1)};
const Packet kB{0x22, 0x01, Bytes(0, 0)};
const Packet kC{0x33, 0x00, Bytes(1024, 3)};
const Packet kH{0x44, 0x00, Text("xxHEADHEADyy")}; // magic inside a payload

} // namespace

TEST(TcpFrame, LayoutOfAnEmptyPacket)
{
    uint8_t f[12];
    ASSERT_EQ(BuildTcpFrame(f, 0x05, 0x00, nullptr, 0), 12u);
    EXPECT_EQ(std::memcmp(f, "HEAD\x05\x00\x00\x00", 8), 0);
    EXPECT_EQ(GetLe32(f + 8), CrcUpdate(0, f + 4, 4)); // CRC leaves out the magic
    uint8_t big[kTcpFrameOverhead + kMaxPayload + 1];
    EXPECT_EQ(BuildTcpFrame(big, 1, 0, big, kMaxPayload + 1), 0u);
}

TEST(TcpFrame, Segmentation)
{
    struct Case {
        int length;
        std::vector<std::pair<uint8_t, uint32_t>> packets; // flag, payload length
    };
    const Case cases[] = {
        {0, {{0x07, 0}}},
        {1024, {{0x07, 1024}}},
        {1025, {{DvrFlagSegStart, 4}, {DvrFlagSegData, 1024}, {DvrFlagSegData, 1}, {DvrFlagSegEnd, 4}}},
        {2048, {{DvrFlagSegStart, 4}, {DvrFlagSegData, 1024}, {DvrFlagSegData, 1024}, {DvrFlagSegEnd, 4}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        const auto data = Bytes(c.length, 9);
        std::vector<std::pair<uint8_t, uint32_t>> seen;
        std::vector<uint8_t> joined;
        EXPECT_TRUE(SendSegmented(0x31, 0x07, data.data(), c.length,
                                  [&](uint8_t cmd, uint8_t flag, const uint8_t *p, uint32_t n) {
                                      EXPECT_EQ(cmd, 0x31);
                                      seen.emplace_back(flag, n);
                                      if (flag == DvrFlagSegStart || flag == DvrFlagSegEnd)
                                          EXPECT_EQ(GetLe32(p), uint32_t(c.length));
                                      else
                                          joined.insert(joined.end(), p, p + n);
                                      return true;
                                  }));
        EXPECT_EQ(seen, c.packets);
        EXPECT_EQ(joined, data);
    }
}

TEST(TcpFrame, SegmentationStopsAtFirstRefusalAndRefusesNegativeLength)
{
    const auto data = Bytes(3000, 1);
    int calls = 0;
    auto refuseSecond = [&](uint8_t, uint8_t, const uint8_t *, uint32_t) { return ++calls < 2; };
    EXPECT_FALSE(SendSegmented(1, 0, data.data(), 3000, refuseSecond));
    EXPECT_EQ(calls, 2);
    calls = 0;
    EXPECT_FALSE(SendSegmented(1, 0, data.data(), -1, refuseSecond));
    EXPECT_FALSE(SendSegmented(1, 0, nullptr, 10, refuseSecond));
    EXPECT_EQ(calls, 0);
}

TEST(TcpReceiver, StreamsOfFrames)
{
    auto badCrc = Tcp(kA);
    badCrc.back() ^= 0xFF;
    auto longHeader = Text("HEAD\x01\x00\x04\x01"); // announces 1025 bytes
    auto truncated = Tcp(kC);
    truncated.resize(300);
    // Its announced body swallows the frames that follow; they are found again in it.
    std::vector<uint8_t> manyA;
    std::vector<Packet> wantManyA;
    for (int i = 0; i < 70; ++i) {
        manyA = Cat({manyA, Tcp(kA)});
        wantManyA.push_back(kA);
    }

    struct Case {
        const char *name;
        std::vector<uint8_t> stream;
        std::vector<Packet> want;
    };
    const std::vector<Case> cases = {
        {"one", Tcp(kA), {kA}},
        {"empty payload", Tcp(kB), {kB}},
        {"back to back", Cat({Tcp(kA), Tcp(kB), Tcp(kC), Tcp(kH)}), {kA, kB, kC, kH}},
        {"shifted by 1", Cat({Text("x"), Tcp(kA), Tcp(kB)}), {kA, kB}},
        {"shifted by 3", Cat({Text("xyz"), Tcp(kA)}), {kA}},
        {"shifted by 5", Cat({Text("12345"), Tcp(kA)}), {kA}},
        {"partial magics", Cat({Text("HEHEAHHEA"), Tcp(kA), Text("HE"), Tcp(kB)}), {kA, kB}},
        {"bad crc dropped", Cat({badCrc, Tcp(kB)}), {kB}},
        {"too long header", Cat({longHeader, Tcp(kA)}), {kA}},
        {"magic twice", Cat({Text("HEAD"), Tcp(kA)}), {kA}},
        {"truncated frame", Cat({truncated, manyA}), wantManyA},
        {"garbage only", Text("HEAD\xff\xff\xff\xff garbage HEA"), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FeedTcp(c.stream), c.want);
        for (size_t cut = 1; cut < c.stream.size(); ++cut)
            ASSERT_EQ(FeedTcp(c.stream, {cut}), c.want) << "cut at " << cut;
        std::vector<size_t> everyByte;
        for (size_t i = 1; i < c.stream.size(); ++i)
            everyByte.push_back(i);
        EXPECT_EQ(FeedTcp(c.stream, everyByte), c.want);
    }
}

TEST(TcpReceiver, CorruptingAnyByteLosesAtMostThatFrame)
{
    const auto good = Cat({Tcp(kA), Tcp(kH), Tcp(kB)});
    std::vector<uint8_t> tail;
    for (int i = 0; i < 10; ++i)
        tail = Cat({tail, Tcp(kA)});
    for (size_t i = 0; i < good.size(); ++i) {
        auto s = Cat({good, tail});
        s[i] ^= 0x5A;
        const auto got = FeedTcp(s);
        EXPECT_GE(got.size(), 12u) << "byte " << i;
        EXPECT_LE(got.size(), 13u) << "byte " << i;
        EXPECT_TRUE(std::equal(got.end() - 10, got.end(), std::vector<Packet>(10, kA).begin())) << "byte " << i;
    }
}

TEST(TcpReceiver, ReadsExactlyTheCurrentField)
{
    TcpReceiver rx;
    Collector c;
    const auto f = Tcp(kA);
    std::vector<size_t> wants;
    size_t at = 0;
    while (at < f.size()) {
        wants.push_back(rx.Want());
        std::memcpy(rx.WritePtr(), f.data() + at, rx.Want());
        at += rx.Want();
        rx.Commit(wants.back(), c.sink());
    }
    EXPECT_EQ(wants, (std::vector<size_t>{4, 4, 5 + 4}));
    EXPECT_EQ(c.got, std::vector<Packet>{kA});
    EXPECT_EQ(rx.state(), TcpReceiver::RxMagic);
}

// Read the way the link reads, one receive per Want(): a burst of garbage, of any kind, costs
// receives in proportion to its size in buffers, and the frame after it still arrives.
TEST(TcpReceiver, GarbageIsDrainedABufferAtATime)
{
    std::vector<uint8_t> noise(100000);
    uint32_t x = 12345;
    for (auto &b : noise)
        b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    std::string partial; // near-misses of the marker
    while (partial.size() < 100000)
        partial += "HEAHEHHEA";
    const std::vector<uint8_t> kinds[] = {Bytes(100000, 0), noise, Bytes(100000, 'H'), Text(partial.c_str())};
    for (const auto &garbage : kinds) {
        const auto s = Cat({Tcp(kA), garbage, Tcp(kC), Tcp(kA)});
        TcpReceiver rx;
        Collector c;
        size_t at = 0, receives = 0;
        while (at < s.size()) {
            const size_t n = std::min(rx.Want(), s.size() - at);
            std::memcpy(rx.WritePtr(), s.data() + at, n);
            rx.Commit(n, c.sink());
            at += n;
            ++receives;
        }
        EXPECT_EQ(c.got, (std::vector<Packet>{kA, kC, kA}));
        EXPECT_LT(receives, garbage.size() / 512) << receives;
    }
}

// ---- serial ----

namespace {

std::vector<uint8_t> Serial(const Packet &p)
{
    std::vector<uint8_t> f;
    EXPECT_TRUE(BuildSerialFrame(f, p.cmd, p.flag, p.payload.data(), int(p.payload.size())));
    return f;
}

struct DebugLines {
    std::vector<std::string> lines;
    DebugLines() { SetDebugSink([this](const std::string &l) { lines.push_back(l); }); }
    ~DebugLines() { SetDebugSink({}); }
};

std::vector<Packet> FeedSerial(const std::vector<uint8_t> &s)
{
    SerialReceiver rx;
    Collector c;
    rx.Feed(s.data(), s.size(), c.sink());
    return c.got;
}

} // namespace

TEST(SerialFrame, AllByteValuesRoundTrip)
{
    Packet p{0x7B, 0x7E, Bytes(256, 0)};
    for (int i = 0; i < 256; ++i)
        p.payload[size_t(i)] = uint8_t(i);
    const auto f = Serial(p);
    EXPECT_EQ(f.front(), kSerialStart);
    EXPECT_EQ(f.back(), kSerialEnd);
    for (size_t i = 1; i + 1 < f.size(); ++i) {
        ASSERT_NE(f[i], kSerialStart);
        ASSERT_NE(f[i], kSerialEnd);
        if (f[i] == kSerialEscape) {
            ASSERT_TRUE(NeedsStuffing(f[++i] ^ 0x20));
        }
    }
    EXPECT_EQ(FeedSerial(f), std::vector<Packet>{p});
}

TEST(SerialFrame, Layout)
{
    const auto f = Serial({0x02, 0x00, {}});
    const uint32_t crc = CrcUpdate(0, reinterpret_cast<const uint8_t *>("\x02\x00\x00\x00"), 4);
    std::vector<uint8_t> raw{0x02, 0, 0, 0, 0, 0, 0, 0};
    PutLe32(raw.data() + 4, crc);
    std::vector<uint8_t> stuffed(16);
    stuffed.resize(StuffBytes(raw.data(), raw.size(), stuffed.data()));
    EXPECT_EQ(f, Cat({{kSerialStart}, stuffed, {kSerialEnd}}));
    std::vector<uint8_t> out;
    EXPECT_FALSE(BuildSerialFrame(out, 1, 0, Bytes(1025, 0).data(), 1025));
    EXPECT_TRUE(out.empty());
}

TEST(SerialReceiver, StreamsOfFrames)
{
    const Packet a{0x11, 0x00, Text("{}~\x0a\x0d")};
    const Packet b{0x05, 0x80, Bytes(40, 2)};
    auto bad = Serial(a);
    bad[bad.size() - 2] ^= 1;
    std::vector<uint8_t> rawNewlines{kSerialStart};
    {
        Packet n{0x01, 0x00, {0x0A, 0x0D}};
        std::vector<uint8_t> raw{0x01, 0x00, 0x00, 0x02, 0x0A, 0x0D, 0, 0, 0, 0};
        PutLe32(raw.data() + 6, CrcUpdate(0, raw.data(), 6));
        rawNewlines.insert(rawNewlines.end(), raw.begin(), raw.end()); // 0x0A, 0x0D sent unescaped
        rawNewlines.push_back(kSerialEnd);
    }
    const std::vector<uint8_t> endless(5000, kSerialStart);
    const std::vector<uint8_t> flood(3000, 0x41);
    auto cut = Serial(b);
    cut.resize(20);

    struct Case {
        const char *name;
        std::vector<uint8_t> stream;
        std::vector<Packet> want;
    };
    const std::vector<Case> cases = {
        {"escaped specials", Serial(a), {a}},
        {"two frames", Cat({Serial(a), Serial(b)}), {a, b}},
        {"garbage before", Cat({Text("noise}}"), Serial(b)}), {b}},
        {"bad crc", Cat({bad, Serial(b)}), {b}},
        {"unescaped newlines", rawNewlines, {{0x01, 0x00, {0x0A, 0x0D}}}},
        {"endless start bytes", Cat({endless, Serial(a)}), {a}},
        {"overlong frame", Cat({{kSerialStart}, flood, {kSerialEnd}, Serial(b)}), {b}},
        {"cut frame", Cat({cut, Serial(a)}), {a}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FeedSerial(c.stream), c.want);
    }
}

TEST(SerialReceiver, LengthComesFromTheFrame)
{
    // A header stating 3 bytes with a 6-byte payload and a good CRC is delivered with 6.
    std::vector<uint8_t> raw{0x09, 0x00, 0x00, 0x03, 1, 2, 3, 4, 5, 6, 0, 0, 0, 0};
    PutLe32(raw.data() + 10, CrcUpdate(0, raw.data(), 10));
    std::vector<uint8_t> f{kSerialStart};
    f.resize(1 + 2 * raw.size());
    f.resize(1 + StuffBytes(raw.data(), raw.size(), f.data() + 1));
    f.push_back(kSerialEnd);
    EXPECT_EQ(FeedSerial(f), (std::vector<Packet>{{0x09, 0x00, {1, 2, 3, 4, 5, 6}}}));
}

TEST(SerialReceiver, RefusalsAreLogged)
{
    DebugLines log;
    SerialReceiver rx;
    Collector c;
    const auto shortFrame = Text("{1234567~");
    rx.Feed(shortFrame.data(), shortFrame.size(), c.sink());
    std::vector<uint8_t> flood(kPacketBufferSize + 2, 0x41);
    rx.Push(kSerialStart, c.sink());
    rx.Feed(flood.data(), flood.size(), c.sink());
    EXPECT_EQ(rx.Have(), size_t(kPacketBufferSize));
    rx.Push(kSerialEnd, c.sink());
    EXPECT_TRUE(c.got.empty());
    EXPECT_EQ(log.lines, (std::vector<std::string>{"DvrSerial Error = 7", "DvrSerial Length Error = 1032",
                                                    "DvrSerial Length Error = 1032", "DvrSerial Error = 1032"}));
}
