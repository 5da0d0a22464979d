// Codec type 2: MPEG-1 and MPEG-2 pictures parsed down to their quantised coefficients, which go to
// the integrity check macroblock by macroblock. No pixels are made; B-pictures carry no mark.
#include "decoder/mpeg2parse.h"

#include "decoder/integrity.h"
#include "decoder/vlc.h"

#include <cstring>

namespace strandel::lumaset {
namespace {

constexpr int16_t kEob = 0x7FFE, kEscape = 0x7FFF;
constexpr int16_t kMbaStuffing = 34, kMbaEscape = 35;

struct TextCode {
    const char *bits;
    int16_t value;
};

// Coefficient codes without their sign bit: value = run * 64 + level.
constexpr int16_t RL(int run, int level) { return int16_t(run * 64 + level); }

// macroblock_address_increment
constexpr TextCode kMba[] = {
    {"1", 1}, {"011", 2}, {"010", 3}, {"0011", 4}, {"0010", 5}, {"00011", 6}, {"00010", 7}, {"0000111", 8},
    {"0000110", 9}, {"00001011", 10}, {"00001010", 11}, {"00001001", 12}, {"00001000", 13}, {"00000111", 14},
    {"00000110", 15}, {"0000010111", 16}, {"0000010110", 17}, {"0000010101", 18}, {"0000010100", 19},
    {"0000010011", 20}, {"0000010010", 21}, {"00000100011", 22}, {"00000100010", 23}, {"00000100001", 24},
    {"00000100000", 25}, {"00000011111", 26}, {"00000011110", 27}, {"00000011101", 28}, {"00000011100", 29},
    {"00000011011", 30}, {"00000011010", 31}, {"00000011001", 32}, {"00000011000", 33},
    {"00000001111", kMbaStuffing}, {"00000001000", kMbaEscape}};

// macroblock_type flags: 1 intra, 2 pattern, 4 backward, 8 forward, 16 quantiser
constexpr TextCode kTypeI[] = {{"1", 1}, {"01", 17}};
constexpr TextCode kTypeP[] = {{"1", 10}, {"01", 2}, {"001", 8}, {"00011", 1}, {"00010", 26}, {"00001", 18},
                               {"000001", 17}};

constexpr TextCode kCbp[] = {
    {"111", 60},      {"1101", 4},      {"1100", 8},      {"1011", 16},     {"1010", 32},     {"10011", 12},
    {"10010", 48},    {"10001", 20},    {"10000", 40},    {"01111", 28},    {"01110", 44},    {"01101", 52},
    {"01100", 56},    {"01011", 1},     {"01010", 61},    {"01001", 2},     {"01000", 62},    {"001111", 24},
    {"001110", 36},   {"001101", 3},    {"001100", 63},   {"0010111", 5},   {"0010110", 9},   {"0010101", 17},
    {"0010100", 33},  {"0010011", 6},   {"0010010", 10},  {"0010001", 18},  {"0010000", 34},  {"00011111", 7},
    {"00011110", 11}, {"00011101", 19}, {"00011100", 35}, {"00011011", 13}, {"00011010", 49}, {"00011001", 21},
    {"00011000", 41}, {"00010111", 14}, {"00010110", 50}, {"00010101", 22}, {"00010100", 42}, {"00010011", 15},
    {"00010010", 51}, {"00010001", 23}, {"00010000", 43}, {"00001111", 25}, {"00001110", 37}, {"00001101", 26},
    {"00001100", 38}, {"00001011", 29}, {"00001010", 45}, {"00001001", 53}, {"00001000", 57}, {"00000111", 30},
    {"00000110", 46}, {"00000101", 54}, {"00000100", 58}, {"000000111", 31}, {"000000110", 47},
    {"000000101", 55}, {"000000100", 59}, {"000000011", 27}, {"000000010", 39}, {"000000001", 0}};

// The first table (the only one of MPEG-1).
constexpr TextCode kDct0[] = {
    {"10", kEob}, {"11", RL(0, 1)}, {"011", RL(1, 1)}, {"0100", RL(0, 2)}, {"0101", RL(2, 1)},
    {"00101", RL(0, 3)}, {"00111", RL(3, 1)}, {"00110", RL(4, 1)}, {"000110", RL(1, 2)}, {"000111", RL(5, 1)},
    {"000101", RL(6, 1)}, {"000100", RL(7, 1)}, {"0000110", RL(0, 4)}, {"0000100", RL(2, 2)},
    {"0000111", RL(8, 1)}, {"0000101", RL(9, 1)}, {"000001", kEscape}, {"00100110", RL(0, 5)},
    {"00100001", RL(0, 6)}, {"00100101", RL(1, 3)}, {"00100100", RL(3, 2)}, {"00100111", RL(10, 1)},
    {"00100011", RL(11, 1)}, {"00100010", RL(12, 1)}, {"00100000", RL(13, 1)}, {"0000001010", RL(0, 7)},
    {"0000001100", RL(1, 4)}, {"0000001011", RL(2, 3)}, {"0000001111", RL(4, 2)}, {"0000001001", RL(5, 2)},
    {"0000001110", RL(14, 1)}, {"0000001101", RL(15, 1)}, {"0000001000", RL(16, 1)},
    {"000000011101", RL(0, 8)}, {"000000011000", RL(0, 9)}, {"000000010011", RL(0, 10)},
    {"000000010000", RL(0, 11)}, {"000000011011", RL(1, 5)}, {"000000010100", RL(2, 4)},
    {"000000011100", RL(3, 3)}, {"000000010010", RL(4, 3)}, {"000000011110", RL(6, 2)},
    {"000000010101", RL(7, 2)}, {"000000010001", RL(8, 2)}, {"000000011111", RL(17, 1)},
    {"000000011010", RL(18, 1)}, {"000000011001", RL(19, 1)}, {"000000010111", RL(20, 1)},
    {"000000010110", RL(21, 1)}, {"0000000011010", RL(0, 12)}, {"0000000011001", RL(0, 13)},
    {"0000000011000", RL(0, 14)}, {"0000000010111", RL(0, 15)}, {"0000000010110", RL(1, 6)},
    {"0000000010101", RL(1, 7)}, {"0000000010100", RL(2, 5)}, {"0000000010011", RL(3, 4)},
    {"0000000010010", RL(5, 3)}, {"0000000010001", RL(9, 2)}, {"0000000010000", RL(10, 2)},
    {"0000000011111", RL(22, 1)}, {"0000000011110", RL(23, 1)}, {"0000000011101", RL(24, 1)},
    {"0000000011100", RL(25, 1)}, {"0000000011011", RL(26, 1)}, {"00000000011111", RL(0, 16)},
    {"00000000011110", RL(0, 17)}, {"00000000011101", RL(0, 18)}, {"00000000011100", RL(0, 19)},
    {"00000000011011", RL(0, 20)}, {"00000000011010", RL(0, 21)}, {"00000000011001", RL(0, 22)},
    {"00000000011000", RL(0, 23)}, {"00000000010111", RL(0, 24)}, {"00000000010110", RL(0, 25)},
    {"00000000010101", RL(0, 26)}, {"00000000010100", RL(0, 27)}, {"00000000010011", RL(0, 28)},
    {"00000000010010", RL(0, 29)}, {"00000000010001", RL(0, 30)}, {"00000000010000", RL(0, 31)},
    {"000000000011000", RL(0, 32)}, {"000000000010111", RL(0, 33)}, {"000000000010110", RL(0, 34)},
    {"000000000010101", RL(0, 35)}, {"000000000010100", RL(0, 36)}, {"000000000010011", RL(0, 37)},
    {"000000000010010", RL(0, 38)}, {"000000000010001", RL(0, 39)}, {"000000000010000", RL(0, 40)},
    {"000000000011111", RL(1, 8)}, {"000000000011110", RL(1, 9)}, {"000000000011101", RL(1, 10)},
    {"000000000011100", RL(1, 11)}, {"000000000011011", RL(1, 12)}, {"000000000011010", RL(1, 13)},
    {"000000000011001", RL(1, 14)}, {"0000000000010011", RL(1, 15)}, {"0000000000010010", RL(1, 16)},
    {"0000000000010001", RL(1, 17)}, {"0000000000010000", RL(1, 18)}, {"0000000000010100", RL(6, 3)},
    {"0000000000011010", RL(11, 2)}, {"0000000000011001", RL(12, 2)}, {"0000000000011000", RL(13, 2)},
    {"0000000000010111", RL(14, 2)}, {"0000000000010110", RL(15, 2)}, {"0000000000010101", RL(16, 2)},
    {"0000000000011111", RL(27, 1)}, {"0000000000011110", RL(28, 1)}, {"0000000000011101", RL(29, 1)},
    {"0000000000011100", RL(30, 1)}, {"0000000000011011", RL(31, 1)}};

// The second table (intra blocks with intra_vlc_format): its short codes; the 12- to 16-bit codes
// of the first table serve it too, but for the values these short codes take over.
constexpr TextCode kDct1Short[] = {
    {"0110", kEob}, {"10", RL(0, 1)}, {"010", RL(1, 1)}, {"110", RL(0, 2)}, {"00101", RL(2, 1)},
    {"0111", RL(0, 3)}, {"00111", RL(3, 1)}, {"000110", RL(4, 1)}, {"00110", RL(1, 2)}, {"000111", RL(5, 1)},
    {"0000110", RL(6, 1)}, {"0000100", RL(7, 1)}, {"11100", RL(0, 4)}, {"0000111", RL(2, 2)},
    {"0000101", RL(8, 1)}, {"1111000", RL(9, 1)}, {"000001", kEscape}, {"11101", RL(0, 5)},
    {"000101", RL(0, 6)}, {"1111001", RL(1, 3)}, {"00100110", RL(3, 2)}, {"1111010", RL(10, 1)},
    {"00100001", RL(11, 1)}, {"00100101", RL(12, 1)}, {"00100100", RL(13, 1)}, {"000100", RL(0, 7)},
    {"00100111", RL(1, 4)}, {"11111100", RL(2, 3)}, {"11111101", RL(4, 2)}, {"000000100", RL(5, 2)},
    {"000000101", RL(14, 1)}, {"000000111", RL(15, 1)}, {"0000001101", RL(16, 1)}, {"1111011", RL(0, 8)},
    {"1111100", RL(0, 9)}, {"00100011", RL(0, 10)}, {"00100010", RL(0, 11)}, {"00100000", RL(1, 5)},
    {"0000001100", RL(2, 4)}, {"11111010", RL(0, 12)}, {"11111011", RL(0, 13)}, {"11111110", RL(0, 14)},
    {"11111111", RL(0, 15)}};

struct Tables {
    Vlc<128> mba;
    Vlc<8> type_i;
    Vlc<16> type_p;
    Vlc<128> cbp;
    Vlc<384> dct[2];
    bool ok;
};

template <int N>
bool BuildText(Vlc<N> &v, const TextCode *list, int count)
{
    Code codes[160];
    if (count > 160)
        return false;
    for (int i = 0; i < count; ++i) {
        uint16_t bits = 0;
        int n = 0;
        for (const char *p = list[i].bits; *p; ++p, ++n)
            bits = uint16_t(bits << 1 | (*p == '1'));
        codes[i] = Code{bits, uint8_t(n), list[i].value};
    }
    return BuildVlc(&v.max_zeros, v.width, v.offset, v.entry, N, codes, count);
}

template <int N, size_t M>
bool BuildText(Vlc<N> &v, const TextCode (&list)[M])
{
    return BuildText(v, list, int(M));
}

const Tables &T()
{
    static const Tables tables = [] {
        Tables t{};
        TextCode second[160];
        int n = 0;
        for (const TextCode &c : kDct1Short)
            second[n++] = c;
        for (const TextCode &c : kDct0) {
            bool taken = std::strlen(c.bits) < 12;
            for (const TextCode &k : kDct1Short)
                taken = taken || k.value == c.value;
            if (!taken)
                second[n++] = c;
        }
        t.ok = BuildText(t.mba, kMba) && BuildText(t.type_i, kTypeI) && BuildText(t.type_p, kTypeP) &&
               BuildText(t.cbp, kCbp) && BuildText(t.dct[0], kDct0) && BuildText(t.dct[1], second, n);
        return t;
    }();
    return tables;
}

enum MbFlag { FlagIntra = 1, FlagPattern = 2, FlagBackward = 4, FlagForward = 8, FlagQuant = 16 };

// dct_dc_size: luma 100:0 00:1 01:2 101:3 110:4, then 1110:5 ... nine 1s:11;
// chroma 00:0 01:1 10:2, then 110:3 ... ten 1s:11.
int DcSize(BitReader &r, bool chroma)
{
    if (!chroma) {
        const uint32_t v = ShowBits(r, 3);
        if (v < 4) {
            FlushBits(r, 2);
            return v < 2 ? 1 : 2;
        }
        if (v < 7) {
            FlushBits(r, 3);
            return v == 4 ? 0 : v == 5 ? 3 : 4;
        }
        FlushBits(r, 3);
        int ones = 3;
        while (ones < 9 && GetBit(r))
            ++ones;
        return ones + 2;
    }
    const uint32_t v = ShowBits(r, 2);
    FlushBits(r, 2);
    if (v < 3)
        return int(v);
    int ones = 2;
    while (ones < 10 && GetBit(r))
        ++ones;
    return ones + 1;
}

struct Parser {
    const Context &c;
    DecoderState &s;
    Mpeg12Fields &m;
    BitReader &r;
    int32_t dc[3];

    // To the next byte-aligned start code; false at the end of the input.
    bool NextStartCode()
    {
        ByteAlign(r);
        while (r.pos + 3 <= r.length) {
            if (ShowBits(r, 24) == 1)
                return true;
            FlushBits(r, 8);
        }
        r.pos = r.length;
        r.bit = 0;
        return false;
    }

    void ResetDc() { dc[0] = dc[1] = dc[2] = 128 << m.intra_dc_precision; }

    void SequenceHeader()
    {
        m.horizontal_size = int32_t(GetBits(r, 12));
        m.vertical_size = int32_t(GetBits(r, 12));
        GetBits(r, 8);                                        // aspect ratio, frame rate
        GetBits(r, 18), GetBit(r), GetBits(r, 10), GetBit(r); // bit rate, marker, vbv, constrained
        for (int k = 0; k < 2; ++k)                           // quantiser matrices: the levels stay quantised
            if (GetBit(r))
                for (int i = 0; i < 64; ++i)
                    GetBits(r, 8);
        m.mpeg2 = 0; // until a sequence extension follows
        m.chroma_format = 1;
    }

    // false: an extension this path does not know.
    bool Extension()
    {
        const uint32_t id = GetBits(r, 4);
        if (id == 1) {
            GetBits(r, 8), GetBit(r); // profile and level, progressive sequence
            m.chroma_format = int32_t(GetBits(r, 2));
            GetBits(r, 4), GetBits(r, 12), GetBit(r), GetBits(r, 8), GetBit(r), GetBits(r, 7);
            m.mpeg2 = 1;
            return true;
        }
        if (id == 8) {
            for (int i = 0; i < 2; ++i)
                for (int j = 0; j < 2; ++j)
                    m.f_code[i][j] = int32_t(GetBits(r, 4));
            m.intra_dc_precision = int32_t(GetBits(r, 2));
            m.picture_structure = int32_t(GetBits(r, 2));
            GetBit(r); // top field first
            m.frame_pred_frame_dct = int32_t(GetBit(r));
            m.concealment_motion_vectors = int32_t(GetBit(r));
            GetBit(r); // q_scale_type: the levels stay quantised
            m.intra_vlc_format = int32_t(GetBit(r));
            m.alternate_scan = int32_t(GetBit(r));
            GetBit(r), GetBit(r); // repeat first field, chroma 4:2:0 type
            m.progressive_frame = int32_t(GetBit(r));
            if (GetBit(r)) // composite display
                GetBits(r, 20);
            return true;
        }
        return false;
    }

    // To the next start code that is no extension or user data; false at the end of the input, or
    // on an extension this path does not know (error flag set).
    bool SkipExtensions()
    {
        for (;;) {
            if (!NextStartCode())
                return false;
            const uint32_t code = ShowBits(r, 32);
            if (code == 0x1B2) {
                FlushBits(r, 32);
                continue;
            }
            if (code != 0x1B5)
                return true;
            FlushBits(r, 32);
            if (!Extension()) {
                s.error = 1;
                return false;
            }
        }
    }

    // One motion vector (both components); false on a bad code.
    bool Vector(int direction, bool dualPrime)
    {
        for (int k = 0; k < 2; ++k) {
            const int fcode = m.mpeg2 ? m.f_code[direction][k] : direction ? m.backward_f_code : m.forward_f_code;
            const int code = ReadVlc(r, c.t->mvd);
            if (code == kVlcInvalid || code < -16 || code > 16)
                return false;
            if (fcode > 1 && code)
                GetBits(r, fcode - 1);
            if (dualPrime && GetBit(r))
                GetBit(r);
        }
        return true;
    }

    // The vectors of one direction; they are parsed, never applied.
    bool Vectors(int direction, int motionType)
    {
        if (!m.mpeg2)
            return Vector(direction, false);
        const bool frame = m.picture_structure == 3;
        const int count = frame ? (motionType == 1 ? 2 : 1) : (motionType == 2 ? 2 : 1);
        const bool select = frame ? motionType == 1 : motionType != 3;
        for (int i = 0; i < count; ++i) {
            if (select)
                GetBit(r);
            if (!Vector(direction, motionType == 3))
                return false;
        }
        return true;
    }

    // One block's quantised levels in natural order; false on a bad code or a position past 63.
    bool Block(int b, bool intra, int16_t *q)
    {
        const uint8_t *scan = c.t->scan[m.alternate_scan ? 2 : 0];
        int i = 0;
        if (intra) {
            const int size = DcSize(r, b >= 4);
            int diff = 0;
            if (size) {
                const int v = int(GetBits(r, size));
                diff = v >> (size - 1) ? v : v - (1 << size) + 1;
            }
            const int comp = b < 4 ? 0 : b - 3;
            dc[comp] += diff;
            q[0] = int16_t(dc[comp]);
            i = 1;
        } else if (ShowBits(r, 1)) { // a non-intra block's first coefficient: 1s is run 0, level 1
            FlushBits(r, 1);
            q[scan[0]] = int16_t(GetBit(r) ? -1 : 1);
            i = 1;
        }
        const Vlc<384> &table = T().dct[intra && m.intra_vlc_format ? 1 : 0];
        for (;;) {
            const int v = ReadVlc(r, table);
            if (v == kVlcInvalid || r.overrun)
                return false;
            if (v == kEob)
                return true;
            int run, level;
            if (v == kEscape) {
                run = int(GetBits(r, 6));
                if (m.mpeg2) {
                    level = int(GetBits(r, 12));
                    if (level & 0x800)
                        level -= 0x1000;
                    if (level == 0 || level == -2048)
                        return false; // forbidden values
                } else { // 8 bits, or 16 where the first byte is 0 or 128
                    level = int(GetBits(r, 8));
                    if (level == 0)
                        level = int(GetBits(r, 8));
                    else if (level == 128)
                        level = int(GetBits(r, 8)) - 256;
                    else if (level > 128)
                        level -= 256;
                    if (level == 0)
                        return false;
                }
            } else {
                run = v >> 6;
                level = GetBit(r) ? -(v & 63) : v & 63;
            }
            i += run;
            if (i > 63)
                return false; // nothing is written past the block
            q[scan[i++]] = int16_t(level);
        }
    }

    // The macroblock layer; false on a bad code.
    bool Macroblock()
    {
        const int type = m.picture_coding_type == 2 ? ReadVlc(r, T().type_p) : ReadVlc(r, T().type_i);
        if (type == kVlcInvalid)
            return false;
        const bool intra = type & FlagIntra;
        const bool frame = m.picture_structure == 3;
        int motionType = frame ? 2 : 1; // frame prediction, or field prediction in a field picture
        if (m.mpeg2 && (type & (FlagForward | FlagBackward)) && (!frame || !m.frame_pred_frame_dct))
            motionType = int(GetBits(r, 2));
        if (m.mpeg2 && frame && !m.frame_pred_frame_dct && (type & (FlagIntra | FlagPattern)))
            GetBit(r); // dct_type
        if (type & FlagQuant)
            GetBits(r, 5);
        if (type & FlagForward) {
            if (!Vectors(0, motionType))
                return false;
        } else if (intra && m.concealment_motion_vectors) {
            if (!Vectors(0, frame ? 2 : 1))
                return false;
            GetBit(r); // marker
        }
        if ((type & FlagBackward) && !Vectors(1, motionType))
            return false;
        int cbp = intra ? 63 : 0;
        if (type & FlagPattern) {
            cbp = ReadVlc(r, T().cbp);
            if (cbp == kVlcInvalid)
                return false;
        }
        if (!intra)
            ResetDc();
        DecoderStream &st = *c.st;
        for (int b = 0; b < 6; ++b) {
            if (!((cbp >> (5 - b)) & 1))
                continue;
            const uint32_t start = r.pos;
            if (!Block(b, intra, st.integrity_block[b]))
                return false;
            st.activity[b] = int16_t(r.pos - start);
        }
        return !r.overrun;
    }

    void Advance()
    {
        ++s.mb_index;
        if (++s.mb_x == s.mb_cols) {
            s.mb_x = 0;
            ++s.mb_y;
        }
    }

    // macroblock_address_increment with its escapes and stuffing; 0 on a bad code.
    int Increment()
    {
        int increment = 0;
        for (;;) {
            const int v = ReadVlc(r, T().mba);
            if (v == kVlcInvalid || r.overrun)
                return 0;
            if (v == kMbaStuffing)
                continue;
            if (v != kMbaEscape)
                return increment + v;
            increment += 33;
            if (increment > kMaxMbs)
                return 0;
        }
    }

    // One slice, its start code read: false when the picture ends here (error or last macroblock).
    bool Slice(int row)
    {
        GetBits(r, 5); // quantiser_scale_code
        if (GetBit(r)) {
            s.error = 1; // extra slice information is not served
            return false;
        }
        ResetDc(); // every slice predicts its DC afresh
        bool first = true;
        for (;;) {
            const int increment = Increment();
            if (increment == 0) {
                s.error = 1;
                return false;
            }
            if (first) { // the slice places its first macroblock by its row
                if (row < 0 || row >= s.mb_rows || increment > s.mb_cols) {
                    s.error = 1;
                    return false;
                }
                s.mb_x = increment - 1;
                s.mb_y = row;
                s.mb_index = row * s.mb_cols + s.mb_x;
                first = false;
            } else if (increment > 1) { // skipped macroblocks: counted without data, not checked
                for (int k = 1; k < increment && s.mb_index < s.mb_count; ++k)
                    Advance();
                ResetDc();
            }
            if (s.mb_index >= s.mb_count) {
                s.error = 1;
                return false;
            }
            std::memset(c.st->integrity_block, 0, sizeof c.st->integrity_block);
            std::memset(c.st->activity, 0, sizeof c.st->activity);
            if (!Macroblock()) {
                s.error = 1;
                return false;
            }
            const int32_t index = s.mb_index;
            Advance();
            IntegrityCheck(s.integrity, s.integrity_level, s.key_block, s.integrity_mode, index, s.mb_x, c.st->integrity_block,
                           c.st->activity, s.frame_counter);
            if (s.mb_index >= s.mb_count)
                return false;
            if (ShowBits(r, 23) == 0 || AtEnd(r))
                return true; // a start code follows: the slice is over
        }
    }

    void Slices()
    {
        while (NextStartCode()) {
            const uint32_t code = ShowBits(r, 32);
            if (code < 0x101 || code > 0x1AF)
                return;
            FlushBits(r, 32);
            if (!Slice(int(code & 0xFF) - 1)) {
                if (s.error)
                    FlagTamper(s.integrity, s.frame_counter, s.mb_index < s.mb_count ? s.mb_index : s.mb_count - 1);
                return;
            }
        }
    }
};

} // namespace

int Mpeg12ReadCode(Mpeg12Table table, const uint8_t *bits, uint32_t size, int *length)
{
    const Tables &t = T();
    BitReader r{};
    SetInput(r, bits, size);
    int v = kVlcInvalid;
    if (t.ok) {
        switch (table) {
        case Mpeg12Table::AddressIncrement: v = ReadVlc(r, t.mba); break;
        case Mpeg12Table::TypeI: v = ReadVlc(r, t.type_i); break;
        case Mpeg12Table::TypeP: v = ReadVlc(r, t.type_p); break;
        case Mpeg12Table::Pattern: v = ReadVlc(r, t.cbp); break;
        case Mpeg12Table::Coefficients0: v = ReadVlc(r, t.dct[0]); break;
        case Mpeg12Table::Coefficients1: v = ReadVlc(r, t.dct[1]); break;
        }
    }
    *length = int(r.pos * 8 + r.bit);
    return v;
}

bool DecodeMpeg12Frame(const Context &c, const DecoderFrame &f)
{
    DecoderState &s = *c.s;
    if (!f.bitstream || f.length <= 0 || !T().ok)
        return false;
    BitReader &r = c.st->reader;
    SetInput(r, f.bitstream, uint32_t(f.length));
    Mpeg12Fields &m = s.mpeg12;
    Parser p{c, s, m, r, {}};
    uint32_t at = 0;
    while (at < 128 && Load32(r, at) != 0x1B3 && Load32(r, at) != 0x100)
        ++at;
    if (at == 128)
        return false;
    r.pos = at;
    s.error = 0;
    for (;;) {
        if (!p.SkipExtensions())
            return false;
        const uint32_t code = GetBits(r, 32);
        if (code == 0x1B3) {
            p.SequenceHeader();
            continue;
        }
        if (code == 0x1B8) { // group of pictures: time code, closed, broken link
            GetBits(r, 27);
            continue;
        }
        if (code != 0x100) { // a sequence end, or a start code out of place
            if (code != 0x1B7)
                s.error = 1;
            return false;
        }
        m.temporal_reference = int32_t(GetBits(r, 10));
        m.picture_coding_type = int32_t(GetBits(r, 3));
        GetBits(r, 16); // vbv_delay
        if (m.picture_coding_type == 2 || m.picture_coding_type == 3) {
            GetBit(r);
            m.forward_f_code = int32_t(GetBits(r, 3));
        }
        if (m.picture_coding_type == 3) {
            GetBit(r);
            m.backward_f_code = int32_t(GetBits(r, 3));
        }
        // Without a picture coding extension the picture is coded the MPEG-1 way.
        m.intra_dc_precision = 0;
        m.picture_structure = 3;
        m.frame_pred_frame_dct = 1;
        m.concealment_motion_vectors = 0;
        m.intra_vlc_format = 0;
        m.alternate_scan = 0;
        const bool slices = p.SkipExtensions();
        if (s.error)
            return false;
        // Only 4:2:0 pictures of the instance's size are verified.
        if (m.chroma_format != 1 || (m.horizontal_size + 15) / 16 != s.mb_cols ||
            (m.vertical_size + 15) / 16 != s.mb_rows)
            return false;
        s.mb_index = s.mb_x = s.mb_y = 0;
        ClearTamper(s.integrity);
        if (m.picture_coding_type == 1 || m.picture_coding_type == 2) {
            if (slices)
                p.Slices();
        } else if (m.picture_coding_type != 3) { // D-pictures and reserved types
            s.error = 1;
            FlagTamper(s.integrity, s.frame_counter, 0);
        }
        ++s.frame_counter;
        return true;
    }
}

} // namespace strandel::lumaset
