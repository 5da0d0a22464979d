// Codec type 0: PES join, markers and baseline Huffman decoding with the typical tables; the
// quantised coefficients of each MCU go to the integrity check. No pixels are made.
#include "decoder/jpegparse.h"

#include "decoder/integrity.h"

#include <cstring>

namespace strandel::lumaset {
namespace {

constexpr uint8_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The typical Huffman tables: code counts per length 1..16, then the symbols in code order.
constexpr uint8_t kDcLumaBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kDcChromaBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
constexpr uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr uint8_t kAcLumaBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr uint8_t kAcLumaValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
    0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
    0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
    0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
    0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
    0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
    0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
constexpr uint8_t kAcChromaBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr uint8_t kAcChromaValues[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22,
    0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1,
    0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36,
    0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
    0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a,
    0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba,
    0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
    0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

// Canonical decoding form: the largest code of each length and where its symbols start.
struct Huffman {
    int32_t maxcode[17]; // -1: no code of that length
    int32_t first[17];   // smallest code of the length
    int32_t index[17];   // position of that code's symbol
    const uint8_t *values;
    int32_t count;
};

Huffman Build(const uint8_t (&bits)[16], const uint8_t *values)
{
    Huffman h{};
    h.values = values;
    int code = 0, k = 0;
    for (int l = 1; l <= 16; ++l) {
        h.first[l] = code;
        h.index[l] = k;
        code += bits[l - 1];
        k += bits[l - 1];
        h.maxcode[l] = bits[l - 1] ? code - 1 : -1;
        code <<= 1;
    }
    h.count = k;
    return h;
}

const Huffman &Table(int n)
{
    static const Huffman tables[4] = {Build(kDcLumaBits, kDcValues), Build(kDcChromaBits, kDcValues),
                                      Build(kAcLumaBits, kAcLumaValues), Build(kAcChromaBits, kAcChromaValues)};
    return tables[n];
}

// One symbol, or -1 when the bits are no code of the table.
int ReadSymbol(BitReader &r, const Huffman &h)
{
    const uint32_t v = ShowBits(r, 16);
    for (int l = 1; l <= 16; ++l) {
        const int code = int(v >> (16 - l));
        if (code <= h.maxcode[l]) {
            FlushBits(r, l);
            return h.values[h.index[l] + code - h.first[l]];
        }
    }
    return -1;
}

// A value of `size` bits as T.81 extends it: a leading 0 bit makes it negative.
int Extend(BitReader &r, int size)
{
    if (size == 0)
        return 0;
    const int v = int(GetBits(r, size));
    return v >> (size - 1) ? v : v - (1 << size) + 1;
}

struct Input {
    const uint8_t *data;
    uint32_t length;
};

// Joins the PES payloads (at most four) of the caller's buffer into `out`, dropping the 00 that
// stuffs an FF byte once the scan has started; the caller's buffer stays as it was.
// Returns the joined length, or -1 when a packet does not fit the buffer or the copy its room.
int64_t Join(const Input &in, uint8_t *out, uint32_t room)
{
    constexpr int kMaxPackets = 4;
    Input parts[kMaxPackets];
    int count = 0;
    auto pesStart = [&](uint32_t i) {
        return i + 3 < in.length && in.data[i] == 0 && in.data[i + 1] == 0 && in.data[i + 2] == 1 &&
               (in.data[i + 3] & 0xF0) == 0xD0;
    };
    if (!pesStart(0)) {
        parts[count++] = in;
    } else {
        uint32_t i = 0;
        while (i < in.length && count < kMaxPackets) {
            if (!pesStart(i)) {
                ++i;
                continue;
            }
            if (uint64_t(i) + 9 > in.length)
                return -1;
            const uint32_t packetLength = uint32_t(in.data[i + 4]) << 8 | in.data[i + 5];
            const uint32_t headerLength = in.data[i + 8];
            const uint64_t payload = uint64_t(i) + 9 + headerLength;
            if (packetLength < headerLength + 3 || uint64_t(i) + 6 + packetLength > in.length)
                return -1;
            parts[count++] = Input{in.data + payload, packetLength - headerLength - 3};
            i += 6 + packetLength;
        }
    }
    uint32_t n = 0;
    bool scan = false;
    uint8_t previous = 0;
    for (int p = 0; p < count; ++p)
        for (uint32_t i = 0; i < parts[p].length; ++i) {
            const uint8_t b = parts[p].data[i];
            const bool stuffing = scan && b == 0 && previous == 0xFF;
            previous = stuffing ? 0 : b;
            if (stuffing)
                continue;
            if (n == room)
                return -1;
            out[n++] = b;
            if (n >= 2 && out[n - 2] == 0xFF && b == 0xDA)
                scan = true;
        }
    return n;
}

struct Bytes {
    const uint8_t *data;
    uint32_t length, pos;
    bool ok = true;
    uint32_t U8()
    {
        if (pos >= length) {
            ok = false;
            return 0;
        }
        return data[pos++];
    }
    uint32_t U16()
    {
        const uint32_t hi = U8();
        return hi << 8 | U8();
    }
    // Skips what is left of a segment of the given length; false when it runs past the data.
    bool Skip(uint32_t segmentLength, uint32_t read)
    {
        if (segmentLength < 2 || segmentLength < read || uint64_t(pos) + (segmentLength - read) > length)
            return ok = false;
        pos += segmentLength - read;
        return true;
    }
};

enum class Parsed { Failed, Scan };

// Markers up to the start of scan. Fails on anything a baseline 4:2:0 picture of the instance's
// size with the typical tables does not carry.
Parsed Markers(DecoderState &s, Bytes &in, int32_t *restartInterval)
{
    bool frame = false;
    for (;;) {
        const uint32_t marker = in.U16();
        if (!in.ok || marker < 0xFF00 || marker > 0xFFE0)
            return Parsed::Failed;
        switch (marker) {
        case 0xFF00:
            break;
        case 0xFFD8:
            *restartInterval = 0;
            break;
        case 0xFFC0: {
            const uint32_t length = in.U16(), precision = in.U8(), height = in.U16(), width = in.U16(),
                           components = in.U8();
            if (!in.ok || length != 8 + 3 * 3 || precision != 8 || components != 3 ||
                int32_t(width) != s.width || int32_t(height) != s.height)
                return Parsed::Failed;
            static constexpr uint8_t kSampling[3] = {0x22, 0x11, 0x11};
            for (int i = 0; i < 3; ++i) {
                in.U8();
                const uint32_t sampling = in.U8();
                in.U8();
                if (sampling != kSampling[i])
                    return Parsed::Failed;
            }
            if (!in.ok)
                return Parsed::Failed;
            frame = true;
            break;
        }
        case 0xFFC4: // the typical tables are assumed; whatever the picture defines is passed over
        case 0xFFE0: {
            const uint32_t length = in.U16();
            if (!in.ok || !in.Skip(length, 2))
                return Parsed::Failed;
            break;
        }
        case 0xFFDB: {
            const uint32_t length = in.U16();
            if (!in.ok || length < 2 || uint64_t(in.pos) + length - 2 > in.length)
                return Parsed::Failed;
            const uint32_t end = in.pos + length - 2;
            while (in.pos < end) { // each table: precision and number, then 64 or 128 bytes
                const uint32_t size = (in.data[in.pos] >> 4) ? 129 : 65;
                if (end - in.pos < size)
                    return Parsed::Failed;
                in.pos += size;
            }
            break;
        }
        case 0xFFDD: {
            const uint32_t length = in.U16(), interval = in.U16();
            if (!in.ok || length != 4)
                return Parsed::Failed;
            *restartInterval = int32_t(interval);
            break;
        }
        case 0xFFDA: {
            const uint32_t length = in.U16(), components = in.U8();
            if (!in.ok || !frame || components != 3 || length != 6 + 2 * components)
                return Parsed::Failed;
            in.pos += length - 3; // selectors and spectral bytes (the typical tables are used)
            if (in.pos > in.length)
                return Parsed::Failed;
            return Parsed::Scan;
        }
        default:
            return Parsed::Failed;
        }
    }
}

// One 8 x 8 block into natural order; false on a code outside the table or a run past the block.
bool DecodeBlock(BitReader &r, int16_t *block, bool chroma, int32_t &predictor)
{
    const int size = ReadSymbol(r, Table(chroma ? 1 : 0));
    if (size < 0 || size > 11)
        return false;
    predictor += Extend(r, size);
    block[0] = int16_t(predictor);
    const Huffman &ac = Table(chroma ? 3 : 2);
    for (int k = 1; k < 64;) {
        const int rs = ReadSymbol(r, ac);
        if (rs < 0)
            return false;
        const int run = rs >> 4, size2 = rs & 15;
        if (size2 == 0) {
            if (run != 15)
                return true; // end of block
            k += 16;
            if (k > 64)
                return false;
            continue;
        }
        k += run;
        if (k > 63)
            return false;
        block[kZigzag[k++]] = int16_t(Extend(r, size2));
    }
    return true;
}

} // namespace

JpegCode JpegStandardCode(int table, int symbol)
{
    if (table < 0 || table > 3)
        return {};
    const Huffman &h = Table(table);
    for (int l = 1; l <= 16; ++l)
        for (int code = h.first[l]; code <= h.maxcode[l]; ++code)
            if (h.values[h.index[l] + code - h.first[l]] == symbol)
                return JpegCode{uint16_t(code), uint8_t(l)};
    return {};
}

bool DecodeJpegFrame(const Context &c, const DecoderFrame &f)
{
    DecoderState &s = *c.s;
    DecoderStream &st = *c.st;
    if (!f.bitstream || f.length <= 0)
        return false;
    // The joined copy lives in the first frame buffer, which this path uses for nothing else.
    const uint32_t room =
        uint32_t((s.width + 64) * (s.height + 64) + 2 * ((s.width >> 1) + 64) * ((s.height >> 1) + 64));
    const int64_t joined = Join(Input{f.bitstream, uint32_t(f.length)}, s.frame_buffer[0], room);
    if (joined < 0)
        return false;
    Bytes in{s.frame_buffer[0], uint32_t(joined), 0};
    while (in.pos < 128 && !(uint64_t(in.pos) + 3 <= in.length && in.data[in.pos] == 0xFF &&
                             in.data[in.pos + 1] == 0xD8 && in.data[in.pos + 2] == 0xFF))
        ++in.pos;
    if (in.pos >= 128 || uint64_t(in.pos) + 3 > in.length)
        return false;
    s.error = 0;
    int32_t interval = 0;
    if (Markers(s, in, &interval) == Parsed::Failed)
        return false;

    BitReader &r = st.reader;
    SetInput(r, in.data + in.pos, in.length - in.pos);
    int32_t predictor[3] = {0, 0, 0}; // every scan starts from zero
    s.mb_index = s.mb_x = s.mb_y = 0;
    ClearTamper(s.integrity);
    for (int32_t mcu = 0; mcu < s.mb_count; ++mcu) {
        if (interval > 0 && mcu > 0 && mcu % interval == 0) {
            ByteAlign(r);
            const uint32_t marker = ShowBits(r, 16);
            if (marker < 0xFFD0 || marker > 0xFFD7)
                s.error = 1;
            else
                FlushBits(r, 16);
            predictor[0] = predictor[1] = predictor[2] = 0;
        }
        std::memset(st.integrity_block, 0, sizeof st.integrity_block);
        for (int b = 0; b < 6 && !s.error; ++b) {
            const uint32_t start = r.pos;
            const int component = b < 4 ? 0 : b - 3;
            if (!DecodeBlock(r, st.integrity_block[b], b >= 4, predictor[component]))
                s.error = 1;
            st.activity[b] = int16_t(r.pos - start);
        }
        if (r.overrun)
            s.error = 1;
        const int32_t index = s.mb_index;
        ++s.mb_index;
        if (++s.mb_x == s.mb_cols) {
            s.mb_x = 0;
            ++s.mb_y;
        }
        if (s.error) {
            FlagTamper(s.integrity, s.frame_counter, index);
            break;
        }
        IntegrityCheck(s.integrity, s.integrity_level, s.key_block, s.integrity_mode, index, s.mb_x, st.integrity_block,
                       st.activity, s.frame_counter);
    }
    ++s.frame_counter;
    return true;
}

} // namespace strandel::lumaset
