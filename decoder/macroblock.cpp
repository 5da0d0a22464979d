// Intra macroblocks and blocks: DC and AC prediction, coefficient events, both dequantisers.
#include "decoder/decode.h"
#include "decoder/mc.h"
#include "decoder/vlc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace strandel::lumaset {
namespace {

constexpr int16_t kDcReset = 1024;

inline int Clip12(int v) { return std::clamp(v, -2048, 2047); }
inline int Sign(int v) { return v < 0 ? -1 : 1; }

int DcScaler(int q, bool luma)
{
    if (q <= 4)
        return 8;
    if (luma)
        return q <= 8 ? 2 * q : q <= 24 ? q + 8 : 2 * q - 16;
    return q <= 24 ? (q + 13) / 2 : q - 6;
}

// Where one block's predictors live, and the quantisers of its left and upper neighbours.
struct BlockPlace {
    int16_t *dc;
    AcStore *ac;
    int index, stride;
    int left_q, above_q; // 0 outside the picture
    bool left_ok, corner_ok, above_ok; // the neighbour lies in the picture and the video packet
};

// A neighbouring macroblock can be predicted from when it lies in the picture and in the current
// video packet (macroblocks above and to the left only), and is intra: an inter or skipped one
// offers nothing (its DC counts as the reset value, its AC as zero). Its type is this picture's,
// as it comes before the current one; the current macroblock is intra.
inline bool Available(const DecoderState &s, int mx, int my)
{
    if (mx == s.mb_x && my == s.mb_y)
        return true;
    if (mx < 0 || my < 0 || my * s.mb_cols + mx < s.packet_start)
        return false;
    const int type = s.mode_grid[(my + 1) * kModeStride + mx + 1];
    return type == MbIntra || type == MbIntraQ;
}

BlockPlace Place(DecoderState &s, int b)
{
    BlockPlace p{};
    int bx, by;
    int lmx, lmy, amx, amy, cmx, cmy; // macroblocks of the left, upper and upper-left neighbours
    if (b < 4) {
        bx = 2 * s.mb_x + (b & 1);
        by = 2 * s.mb_y + (b >> 1);
        p.dc = s.dc_luma;
        p.ac = s.ac_luma;
        p.stride = kLumaDcStride;
        lmx = (bx - 1) >> 1, lmy = by >> 1;
        amx = bx >> 1, amy = (by - 1) >> 1;
        cmx = lmx, cmy = amy;
    } else {
        bx = s.mb_x;
        by = s.mb_y;
        p.dc = s.dc_chroma[b - 4];
        p.ac = s.ac_chroma[b - 4];
        p.stride = kChromaDcStride;
        lmx = bx - 1, lmy = by;
        amx = bx, amy = by - 1;
        cmx = lmx, cmy = amy;
    }
    p.left_ok = Available(s, lmx, lmy);
    p.above_ok = Available(s, amx, amy);
    p.corner_ok = Available(s, cmx, cmy);
    p.index = (by + 1) * p.stride + bx + 1;
    p.left_q = !p.left_ok ? 0 : s.quant_grid[(lmy + 1) * kQuantStride + lmx + 1];
    p.above_q = !p.above_ok ? 0 : s.quant_grid[(amy + 1) * kQuantStride + amx + 1];
    if (lmx == s.mb_x && lmy == s.mb_y)
        p.left_q = s.quant;
    if (amx == s.mb_x && amy == s.mb_y)
        p.above_q = s.quant;
    return p;
}

// A neighbour's stored coefficient rescaled to the current quantiser.
inline int Rescale(int v, int qn, int qc)
{
    if (qn == 0 || qn == qc || v == 0)
        return v;
    const int prod = v * qn;
    return (prod + Sign(prod) * (qc >> 1)) / qc;
}

// Zeroes a coefficient block; a copy of a known size becomes plain vector stores, where a
// memset of it may become a slow string instruction.
inline void ClearBlock(int16_t *block)
{
    static constexpr int16_t kZero[64] = {};
    std::memcpy(block, kZero, sizeof kZero);
}

bool Fail(DecoderState &s)
{
    s.error = 1;
    return false;
}

// One coefficient code of at most 12 bits (all of them are) from the bits that lead v; length 0
// where none starts there.
[[gnu::always_inline]] inline VlcEntry TcoefCode(const Vlc<256> &table, const VlcEntry *fast, uint32_t v)
{
    VlcEntry e = fast[v >> (16 - kTcoefFastBits)];
    if (e.length == 0) [[unlikely]] {
        const int zeros = v ? __builtin_clz(v) - 16 : 16;
        if (zeros > table.max_zeros)
            return VlcEntry{};
        const int w = table.width[zeros];
        e = table.entry[table.offset[zeros] + ((v >> (15 - zeros - w)) & ((1u << w) - 1))];
    }
    return e;
}

// One coefficient event: a table code and its sign bit, or one of the three escapes.
// Returns false on a code that is in no table.
[[gnu::always_inline]] inline bool ReadEvent(BitCache &r, const Vlc<256> &table, const VlcEntry *fast,
                                             const uint8_t (&lmax)[2][64], const uint8_t (&rmax)[2][64], int *last,
                                             int *run, int *level)
{
    r.Refill();
    // Common case: one look at the bits serves the code and the sign after it.
    const uint32_t v = r.Show(16);
    const VlcEntry e = TcoefCode(table, fast, v);
    if (e.length == 0)
        return false;
    if (e.value != kTcoefEscape) [[likely]] {
        const int sign = int(v >> (15 - e.length)) & 1;
        r.Skip(e.length + 1);
        *last = e.value >> 12, *run = (e.value >> 6) & 63;
        *level = sign ? -(e.value & 63) : e.value & 63;
        return true;
    }
    r.Skip(e.length);
    const uint32_t mode = r.Show(2);
    if (!(mode & 2)) { // level offset
        r.Skip(1);
        const VlcEntry x = TcoefCode(table, fast, r.Show(16));
        if (x.length == 0 || x.value == kTcoefEscape)
            return false;
        r.Skip(x.length);
        *last = x.value >> 12, *run = (x.value >> 6) & 63;
        const int l = (x.value & 63) + lmax[*last][*run];
        *level = r.Get(1) ? -l : l;
    } else if (!(mode & 1)) { // run offset
        r.Skip(2);
        const VlcEntry x = TcoefCode(table, fast, r.Show(16));
        if (x.length == 0 || x.value == kTcoefEscape)
            return false;
        r.Skip(x.length);
        *last = x.value >> 12;
        const int l = x.value & 63;
        *run = ((x.value >> 6) & 63) + rmax[*last][l] + 1;
        *level = r.Get(1) ? -l : l;
    } else { // fixed length: last, run, marker, level (12 bits), marker
        r.Skip(2);
        const uint32_t f = r.Get(21);
        *last = int(f >> 20);
        *run = int((f >> 14) & 63);
        int l = int((f >> 1) & 0xFFF);
        if (l & 0x800)
            l -= 0x1000;
        *level = l;
    }
    return true;
}

// The event tables, fixed for the process: looked up once, not per block.
const VlcEntry *const kIntraFast = TcoefFast(false), *const kInterFast = TcoefFast(true);
const TcoefEvent *const kIntraEvents = TcoefEvents(false), *const kInterEvents = TcoefEvents(true);

// The bits a coefficient loop keeps in the cache before each event: a table look needs
// kTcoefFastBits (ReadEvent refills for itself).
constexpr int kEventBits = kTcoefFastBits;

// Intra coefficient events from position 1 into the quantised block.
bool ReadIntraCoefficients(const Context &c, BitReader &reader, const uint8_t *scan, int16_t *q, int start)
{
    BitCache r(reader);
    const struct WriteBack {
        BitReader &to;
        const BitCache &from;
        ~WriteBack() { from.Sync(to); }
    } writeBack{reader, r};
    const DecoderTables &t = *c.t;
    uint32_t i = uint32_t(start);
    // As in the inter loop: at least kEventBits in the cache at the top of each step.
    for (;;) {
        const TcoefEvent e = kIntraEvents[r.bits >> (64 - kTcoefFastBits)];
        if (e.length) [[likely]] {
            r.Skip(e.length);
            const int sign = -(e.level & 1);
            const int level = ((e.level >> 1) ^ sign) - sign;
            i += e.run; // 64 more on the last event
            if (i > 63) [[unlikely]] {
                i -= 64;
                if (e.run < 64 || i > 63) // nothing is written for a position past the block
                    return Fail(*c.s);
                q[scan[i]] = int16_t(level);
                return true;
            }
            q[scan[i]] = int16_t(level);
            ++i;
        } else {
            int last, run, level;
            if (!ReadEvent(r, t.tcoef_intra, kIntraFast, t.lmax_intra, t.rmax_intra, &last, &run, &level))
                return Fail(*c.s);
            i += uint32_t(run);
            if (i > 63)
                return Fail(*c.s);
            q[scan[i]] = int16_t(level);
            ++i;
            if (last)
                return true;
        }
        if (r.count < kEventBits)
            r.Refill();
    }
}

// dcVlc: the DC coefficient has its own size code; else it is the first of the block's events.
bool DecodeIntraBlock(const Context &c, const Dsp &dsp, BitReader &r, int b, bool coded, bool dcVlc)
{
    DecoderState &s = *c.s;
    const DecoderTables &t = *c.t;
    int16_t *blk = c.st->block;
    ClearBlock(blk);
    const int scaler = DcScaler(s.quant, b < 4);
    s.dc_scaler = scaler;

    int diff = 0;
    if (dcVlc) {
        const int size = b < 4 ? ReadVlc(r, t.dc_luma) : ReadVlc(r, t.dc_chroma);
        if (size < 0)
            return Fail(s);
        if (size) {
            const int v = int(GetBits(r, size));
            diff = v >> (size - 1) ? v : -(v ^ ((1 << size) - 1));
            if (size > 8)
                GetBit(r);
        }
    }

    const BlockPlace p = Place(s, b);
    const int a = p.left_ok ? p.dc[p.index - 1] : kDcReset;
    const int bl = p.corner_ok ? p.dc[p.index - p.stride - 1] : kDcReset;
    const int cu = p.above_ok ? p.dc[p.index - p.stride] : kDcReset;
    const bool vertical = std::abs(a - bl) < std::abs(bl - cu);
    s.pred_direction = vertical ? 1 : 0;
    const int pred = vertical ? cu : a;

    const VopFields &vop = s.vop;
    const int scan = vop.alternate_vertical_scan_flag ? 2 : s.ac_pred_flag ? (vertical ? 1 : 2) : 0;
    if (coded && !ReadIntraCoefficients(c, r, t.scan[scan], blk, dcVlc ? 1 : 0))
        return false;
    if (!dcVlc) {
        diff = blk[0];
        blk[0] = 0;
    }
    const int qdc = (pred + Sign(pred) * (scaler >> 1)) / scaler + diff;
    const int dc = Clip12(qdc * scaler);
    p.dc[p.index] = int16_t(dc);

    AcStore &mine = p.ac[p.index];
    if (s.ac_pred_flag) {
        static constexpr AcStore kNone{};
        if (vertical) {
            const AcStore &n = p.above_ok ? p.ac[p.index - p.stride] : kNone;
            for (int k = 0; k < 7; ++k)
                blk[1 + k] = int16_t(Clip12(blk[1 + k] + Rescale(n.row[k], p.above_q, s.quant)));
        } else {
            const AcStore &n = p.left_ok ? p.ac[p.index - 1] : kNone;
            for (int k = 0; k < 7; ++k)
                blk[8 * (k + 1)] = int16_t(Clip12(blk[8 * (k + 1)] + Rescale(n.col[k], p.left_q, s.quant)));
        }
    }
    for (int k = 0; k < 7; ++k) {
        mine.row[k] = blk[1 + k];
        mine.col[k] = blk[8 * (k + 1)];
    }
    if (s.integrity_on) { // the levels as the check sees them: predicted, not yet dequantised
        std::memcpy(c.st->integrity_block[b], blk, sizeof c.st->block);
        c.st->integrity_block[b][0] = int16_t(qdc);
    }

    // Dequantise the AC coefficients; the DC is the predicted level times the DC scaler.
    const int q = s.quant;
    if (s.vol.quant_type) {
        // Truncating division as in the standard; a shift would bias negative coefficients.
        // No test on zero levels (zero stays zero): a random branch costs more than the sums.
        for (int i = 1; i < 64; ++i)
            blk[i] = int16_t(Clip12((q * blk[i] * t.intra_matrix[i]) / 8));
    } else {
        dsp.dequant_intra(blk, q);
    }
    blk[0] = int16_t(dc);
    return true;
}

// Destination of block b of the current macroblock in the current picture.
[[gnu::always_inline]] inline uint8_t *BlockDestination(const DecoderState &s, int b, ptrdiff_t *stride)
{
    if (b >= 4) {
        *stride = s.chroma_stride;
        uint8_t *plane = b == 4 ? s.cur.u : s.cur.v;
        return plane + ptrdiff_t(8 * s.mb_y) * s.chroma_stride + 8 * s.mb_x;
    }
    const int b0 = b & 1, b1 = b >> 1;
    if (s.dct_type) {
        *stride = 2 * s.stride;
        return s.cur.y + ptrdiff_t(16 * s.mb_y + b1) * s.stride + 16 * s.mb_x + 8 * b0;
    }
    *stride = s.stride;
    return s.cur.y + ptrdiff_t(16 * s.mb_y + 8 * b1) * s.stride + 16 * s.mb_x + 8 * b0;
}

void NextMacroblock(DecoderState &s, bool anchor = true)
{
    s.quant_grid[(s.mb_y + 1) * kQuantStride + s.mb_x + 1] = uint16_t(s.quant);
    if (anchor) { // what the B-VOPs after this picture read of their co-located macroblocks
        s.mode_grid[(s.mb_y + 1) * kModeStride + s.mb_x + 1] = int8_t(s.mb_type);
        s.mb_not_coded[s.mb_index] = uint8_t(s.not_coded);
        s.mb_field_pred[s.mb_index] = uint8_t(s.field_prediction);
    }
    ++s.mb_index;
    if (++s.mb_x == s.mb_cols) {
        s.mb_x = 0;
        ++s.mb_y;
    }
}

// NextMacroblock over a run of count macroblocks along the row, all alike.
void NextMacroblocks(DecoderState &s, bool anchor, int count)
{
    if (count == 1)
        return NextMacroblock(s, anchor);
    std::fill_n(s.quant_grid + (s.mb_y + 1) * kQuantStride + s.mb_x + 1, count, uint16_t(s.quant));
    if (anchor) {
        std::memset(s.mode_grid + (s.mb_y + 1) * kModeStride + s.mb_x + 1, s.mb_type, size_t(count));
        std::memset(s.mb_not_coded + s.mb_index, s.not_coded, size_t(count));
        std::memset(s.mb_field_pred + s.mb_index, s.field_prediction, size_t(count));
    }
    s.mb_index += count;
    s.mb_x += count;
    if (s.mb_x == s.mb_cols) {
        s.mb_x = 0;
        ++s.mb_y;
    }
}

// Copies count macroblocks from the current one on along its row from the forward reference with
// zero vectors (skipped macroblocks, and those of B-pictures over skipped ones), leaving out those
// whose pixels the picture's buffer holds already.
void CopyFromForward(DecoderState &s, const McTable &mc, int count)
{
    uint32_t *held = s.mb_content[s.cur_buffer] + s.mb_index;
    const uint32_t *from = s.mb_content[s.fwd_buffer] + s.mb_index;
    auto same = [&](int k) { return held[k] != 0 && held[k] == from[k]; };
    uint32_t differ = 0; // most often the whole run is there
    for (int k = 0; k < count; ++k)
        differ |= uint32_t(held[k] == 0) | (held[k] ^ from[k]);
    if (differ == 0)
        return;
    for (int k = 0; k < count;) {
        if (same(k)) {
            ++k;
            continue;
        }
        int n = 1;
        while (k + n < count && !same(k + n))
            ++n;
        if (count == 1) {
            static constexpr int16_t kZero[4][2] = {};
            PredictMacroblock(s, mc, s.fwd, kZero, false, false);
        } else {
            CopyMacroblocks(s, s.fwd, s.mb_x + k, n);
        }
        k += n;
    }
    std::copy_n(from, count, held);
}

// The current macroblock's pixels are about to change (unknown until it is done), and are done.
inline void StartPixels(DecoderState &s) { s.mb_content[s.cur_buffer][s.mb_index] = 0; }
inline void EndPixels(DecoderState &s) { s.mb_content[s.cur_buffer][s.mb_index] = s.content_serial; }

// The dequantised inter coefficients of the table levels (1..31) at quantiser q, each held to 12
// bits (-2048..2047), built once for each quantiser the macroblocks go through.
const int16_t *InterLevelValues(DecoderStream &st, int q)
{
    if (st.level_q != q) {
        const int evenAdjust = q & 1 ? 0 : 1;
        for (int a = 0; a < 32; ++a) {
            const int m = (2 * a + 1) * q - evenAdjust;
            st.level_value[2 * a] = int16_t(std::min(m, 2047));
            st.level_value[2 * a + 1] = int16_t(-std::min(m, 2048));
        }
        st.level_q = q;
    }
    return st.level_value;
}

// Inter coefficient events from position 0, dequantised as they come.
// Keep: the quantised levels also go to `keep` for the integrity check (a separate loop, so that
// the plain one carries no test for it).
template <bool Keep, bool Mpeg>
[[gnu::always_inline]] inline bool InterCoefficients(const Context &c, BitCache &r, int16_t *keep)
{
    DecoderState &s = *c.s;
    const DecoderTables &t = *c.t;
    int16_t *blk = c.st->block;
    ClearBlock(blk);
    const uint8_t *scan = t.scan[s.vop.alternate_vertical_scan_flag ? 2 : 0];
    const int q = s.quant;
    const int evenAdjust = q & 1 ? 0 : 1;
    const int16_t *values = Mpeg ? nullptr : InterLevelValues(*c.st, q);
    // The dequantised coefficient of a level of magnitude a and sign (0 or -1), held to 12 bits
    // (-2048..2047). Signs are random: kept out of branches, which would mispredict every other time.
    auto dequantise = [&](int a, int sign, int pos) {
        const int m = Mpeg ? (2 * a + 1) * t.nonintra_matrix[pos] * q / 16 : (2 * a + 1) * q - evenAdjust;
        return (std::min(m, 2047 - sign) ^ sign) - sign;
    };
    int sum = 0;
    uint32_t i = 0;
    // A table event's coefficient at position at.
    auto put = [&](uint32_t at, const TcoefEvent &e) {
        const int pos = scan[at];
        const int f = Mpeg ? dequantise(e.level >> 1, -(e.level & 1), pos) : values[e.level];
        blk[pos] = int16_t(f);
        if constexpr (Keep)
            keep[pos] = int16_t(e.level & 1 ? -(e.level >> 1) : e.level >> 1);
        if constexpr (Mpeg)
            sum += f;
    };
    // The cache holds at least kEventBits at the top of each step.
    if (r.count < kEventBits)
        r.Refill();
    for (;;) {
        const TcoefEvent e = kInterEvents[r.bits >> (64 - kTcoefFastBits)];
        if (e.length) [[likely]] { // a table code and its sign, taken apart in advance
            r.Skip(e.length);
            i += e.run; // 64 more on the last event: one test finds it and a run past the end
            if (i > 63) [[unlikely]] {
                i -= 64;
                if (e.run < 64 || i > 63) // not the last event: the run went past the end
                    return Fail(s);
                put(i, e);
                break;
            }
            put(i, e);
            ++i;
        } else {
            int last, run, level;
            if (!ReadEvent(r, t.tcoef_inter, kInterFast, t.lmax_inter, t.rmax_inter, &last, &run, &level))
                return Fail(s);
            i += uint32_t(run);
            if (i > 63)
                return Fail(s);
            const int pos = scan[i];
            const int f = level ? dequantise(std::abs(level), level >> 31, pos) : 0;
            blk[pos] = int16_t(f);
            if constexpr (Keep)
                keep[pos] = int16_t(level);
            if constexpr (Mpeg)
                sum += f;
            ++i;
            if (last)
                break;
        }
        if (r.count < kEventBits)
            r.Refill();
    }
    if (Mpeg && !(sum & 1))
        blk[63] ^= 1;
    return true;
}

template <bool Keep, bool Mpeg>
bool DecodeInterBlock(const Context &c, BitReader &reader, int16_t *keep)
{
    BitCache r(reader);
    const struct WriteBack {
        BitReader &to;
        const BitCache &from;
        ~WriteBack() { from.Sync(to); }
    } writeBack{reader, r};
    return InterCoefficients<Keep, Mpeg>(c, r, keep);
}

// One inter block, with the dequantiser of the layer; keep: see DecodeInterBlock.
bool DecodeInter(const Context &c, BitReader &r, int16_t *keep = nullptr)
{
    const bool mpeg = c.s->vol.quant_type != 0;
    if (keep)
        return mpeg ? DecodeInterBlock<true, true>(c, r, keep) : DecodeInterBlock<true, false>(c, r, keep);
    return mpeg ? DecodeInterBlock<false, true>(c, r, nullptr) : DecodeInterBlock<false, false>(c, r, nullptr);
}

// The coded inter blocks of the current macroblock (cbp, block 0 in bit 5) added onto its
// prediction, read through one cache of bits; not with the integrity check, which wants each
// block's own length.
template <bool Mpeg>
bool InterBlocks(const Context &c, const Dsp &dsp, BitReader &reader, int cbp)
{
    BitCache r(reader);
    const struct WriteBack {
        BitReader &to;
        const BitCache &from;
        ~WriteBack() { from.Sync(to); }
    } writeBack{reader, r};
    for (int b = 0; b < 6; ++b) {
        if (!((cbp >> (5 - b)) & 1))
            continue;
        if (!InterCoefficients<false, Mpeg>(c, r, nullptr))
            return false;
        ptrdiff_t stride;
        uint8_t *dst = BlockDestination(*c.s, b, &stride);
        dsp.idct_add(dst, stride, c.st->block);
    }
    return true;
}

bool DecodeInterBlocks(const Context &c, const Dsp &dsp, BitReader &reader, int cbp)
{
    return c.s->vol.quant_type ? InterBlocks<true>(c, dsp, reader, cbp) : InterBlocks<false>(c, dsp, reader, cbp);
}

// Median predictor of block b's vector from its left, upper and upper-right candidates. A
// candidate outside the picture or the video packet is not valid: one such is taken as zero, with
// two the third is the predictor, with three the predictor is zero.
void PredictVector(const DecoderState &s, int b, int *px, int *py)
{
    const int x = s.mb_x, y = s.mb_y, cols = s.mb_cols;
    // (macroblock offset x, y, block) of the three candidates for each block
    static constexpr int kCand[4][3][3] = {{{-1, 0, 1}, {0, -1, 2}, {1, -1, 2}},
                                           {{0, 0, 0}, {0, -1, 3}, {1, -1, 2}},
                                           {{-1, 0, 3}, {0, 0, 0}, {0, 0, 1}},
                                           {{0, 0, 2}, {0, 0, 0}, {0, 0, 1}}};
    auto median = [](int a, int b2, int c2) { return std::max(std::min(a, b2), std::min(std::max(a, b2), c2)); };
    if (b == 0 && x > 0 && y > 0 && x + 1 < cols && (y - 1) * cols + x >= s.packet_start) {
        // The common case: all three candidates valid.
        const int16_t *l = s.mv[0][y * cols + x - 1][1], *a = s.mv[0][(y - 1) * cols + x][2];
        const int16_t *ar = s.mv[0][(y - 1) * cols + x + 1][2];
        *px = median(l[0], a[0], ar[0]);
        *py = median(l[1], a[1], ar[1]);
        return;
    }
    int vx[3], vy[3], invalid = 0, valid = 0;
    for (int k = 0; k < 3; ++k) {
        const int cx = x + kCand[b][k][0], cy = y + kCand[b][k][1];
        if (cx < 0 || cx >= cols || cy < 0 || cy * cols + cx < s.packet_start) {
            vx[k] = vy[k] = 0;
            ++invalid;
            continue;
        }
        const int16_t *v = s.mv[0][cy * cols + cx][kCand[b][k][2]];
        vx[k] = v[0], vy[k] = v[1];
        valid = k;
    }
    if (invalid >= 2) {
        *px = invalid == 2 ? vx[valid] : 0;
        *py = invalid == 2 ? vy[valid] : 0;
        return;
    }
    *px = median(vx[0], vx[1], vx[2]);
    *py = median(vy[0], vy[1], vy[2]);
}

// One vector component: the code, the residual bits, the predictor, and the wrap into range.
template <typename Reader>
bool DecodeVector(DecoderState &s, Reader &r, const DecoderTables &t, int pred, int16_t *out, int fcode)
{
    const int rsize = fcode - 1, f = 1 << rsize;
    const int code = ReadVlc(r, t.mvd);
    if (code == kVlcInvalid)
        return Fail(s);
    int diff = code;
    if (f > 1 && diff != 0) {
        const int residual = int(GetBits(r, rsize));
        const int m = (std::abs(diff) - 1) * f + residual + 1;
        diff = diff < 0 ? -m : m;
    }
    int v = pred + diff;
    const int low = -32 * f, high = 32 * f - 1;
    if (v < low)
        v += 64 * f;
    else if (v > high)
        v -= 64 * f;
    *out = int16_t(v);
    return true;
}

// Direct mode: the co-located vectors of the newer anchor scaled by the time stamps, plus the
// macroblock's delta, in both directions; forward and backward predictions averaged.
void PredictDirect(DecoderState &s, const McTable &mc, const int16_t *delta)
{
    const int i0 = s.mb_index;
    const int16_t(*col)[2] = s.mv[0][i0];
    const bool four = s.mode_grid[(s.mb_y + 1) * kModeStride + s.mb_x + 1] == MbInter4V;
    const int trb = s.trb, trd = s.trd;
    int16_t fwd[4][2], bwd[4][2];
    // A one-vector co-located macroblock has four equal block vectors: scaled once (divisions are slow).
    for (int b = 0; b < (four ? 4 : 1); ++b)
        for (int k = 0; k < 2; ++k) {
            const int v = col[b][k], d = delta[k];
            const int f = (trd ? trb * v / trd : 0) + d;
            fwd[b][k] = int16_t(f);
            bwd[b][k] = int16_t(d == 0 ? (trd ? (trb - trd) * v / trd : 0) : f - v);
        }
    if (!four)
        for (int b = 1; b < 4; ++b)
            for (int k = 0; k < 2; ++k)
                fwd[b][k] = fwd[0][k], bwd[b][k] = bwd[0][k];
    PredictMacroblock(s, mc, s.fwd, fwd, four, false);
    PredictMacroblock(s, mc, s.bwd, bwd, four, true);
}

} // namespace

void DecodeMacroblockIP(const Context &c, const Dsp &dsp, const McTable &mc)
{
    DecoderState &s = *c.s;
    const DecoderTables &t = *c.t;
    BitReader &r = c.st->reader;
    const bool pvop = s.vop.vop_coding_type == VopP;
    s.dct_type = 0;
    s.field_prediction = 0;
    s.not_coded = pvop ? int32_t(GetBit(r)) : 0;

    int16_t(*mv)[2] = s.mv[0][s.mb_index];
    if (s.not_coded) {
        // The not_coded bits of the macroblocks after it along the row: a run of them is copied
        // row by row in one go. Not with video packets (a packet may start inside the run) nor
        // with the integrity check (which sees each macroblock).
        int run = 1;
        if (s.vol.resync_marker_disable && !s.integrity_on) {
            const int most = std::min(s.mb_cols - s.mb_x - 1, 24);
            const uint32_t ones = most ? ~ShowBits(r, most) << (32 - most) : 0; // zeros where bits are 1
            const int more = ones ? __builtin_clz(ones) : most;
            FlushBits(r, more);
            run += more;
        }
        s.mb_type = MbSkipped;
        std::memset(mv, 0, sizeof s.mv[0][0] * size_t(run));
        CopyFromForward(s, mc, run);
        NextMacroblocks(s, true, run);
        return;
    }

    StartPixels(s);
    int mcbpc;
    do {
        mcbpc = pvop ? ReadVlc(r, t.mcbpc_p) : ReadVlc(r, t.mcbpc_i);
        if (mcbpc < 0) {
            s.error = 1;
            return;
        }
    } while ((mcbpc & 7) == MbStuffing); // stuffing carries nothing
    s.mcbpc = mcbpc;
    s.mb_type = mcbpc & 7;
    s.cbpc = (mcbpc >> 4) & 3;
    const bool intra = s.mb_type == MbIntra || s.mb_type == MbIntraQ;
    s.ac_pred_flag = intra ? int32_t(GetBit(r)) : 0;
    const int cbpy = ReadVlc(r, t.cbpy);
    if (cbpy < 0) {
        s.error = 1;
        return;
    }
    s.cbpy = intra ? cbpy : 15 - cbpy;
    s.cbp = s.cbpc | s.cbpy << 2;
    const int previousQuant = s.quant;
    if (s.mb_type == MbIntraQ || s.mb_type == MbInterQ) {
        static constexpr int kDquant[4] = {-1, -2, 1, 2};
        s.dquant = kDquant[GetBits(r, 2)];
        s.quant = std::clamp(s.quant + s.dquant, 1, QuantMax(s));
    }
    if (s.vol.interlaced) {
        if (intra || s.cbp)
            s.dct_type = int32_t(GetBit(r));
        if (!intra && s.mb_type != MbInter4V) {
            s.field_prediction = int32_t(GetBit(r));
            if (s.field_prediction) {
                s.field_ref[0] = int32_t(GetBit(r));
                s.field_ref[1] = int32_t(GetBit(r));
            }
        }
    }

    // The DC code depends on the quantiser of the macroblock before (this one's for the first
    // coded macroblock of a packet).
    const int runningQuant = s.first_coded ? s.quant : previousQuant;
    const int thr = s.vop.intra_dc_vlc_thr;
    const bool dcVlc = thr == 0 || (thr < 7 && runningQuant < 11 + 2 * thr);
    s.first_coded = 0;

    if (intra) {
        std::memset(mv, 0, sizeof s.mv[0][0]);
        for (int b = 0; b < 6; ++b) {
            const uint32_t start = r.pos;
            if (!DecodeIntraBlock(c, dsp, r, b, (s.cbp >> (5 - b)) & 1, dcVlc))
                return;
            c.st->activity[b] = int16_t(r.pos - start);
            ptrdiff_t stride;
            uint8_t *dst = BlockDestination(s, b, &stride);
            dsp.idct_put(dst, stride, c.st->block);
        }
        EndPixels(s);
        NextMacroblock(s);
        return;
    }

    const bool four = s.mb_type == MbInter4V;
    if (s.field_prediction) {
        // Two field vectors; the vertical predictor in field units, the result back in frame units.
        int px, py;
        PredictVector(s, 0, &px, &py);
        int16_t(*fv)[2] = s.field_mv[s.mb_index];
        for (int f = 0; f < 2; ++f) {
            int16_t vy;
            if (!DecodeVector(s, r, t, px, &fv[f][0], s.vop.vop_fcode_forward) ||
                !DecodeVector(s, r, t, py / 2, &vy, s.vop.vop_fcode_forward))
                return;
            fv[f][1] = int16_t(2 * vy);
        }
        // Neighbours see the mean of the two field vectors.
        auto mean = [](int a, int b) { const int sum = a + b; return int16_t((sum >> 1) | (sum & 1)); };
        for (int b = 0; b < 4; ++b)
            mv[b][0] = mean(fv[0][0], fv[1][0]), mv[b][1] = mean(fv[0][1], fv[1][1]);
        PredictMacroblockFields(s, mc, s.fwd, fv, s.field_ref, false);
    }
    for (int b = 0; b < (four ? 4 : (s.field_prediction ? 0 : 1)); ++b) {
        int px, py;
        PredictVector(s, b, &px, &py);
        if (!DecodeVector(s, r, t, px, &mv[b][0], s.vop.vop_fcode_forward) ||
            !DecodeVector(s, r, t, py, &mv[b][1], s.vop.vop_fcode_forward))
            return;
    }
    if (!s.field_prediction) {
        if (!four)
            for (int b = 1; b < 4; ++b)
                mv[b][0] = mv[0][0], mv[b][1] = mv[0][1];
        PredictMacroblock(s, mc, s.fwd, mv, four, false);
    }
    if (!s.integrity_on) {
        if (!DecodeInterBlocks(c, dsp, r, s.cbp))
            return;
    } else {
        for (int b = 0; b < 6; ++b) {
            if (!((s.cbp >> (5 - b)) & 1))
                continue;
            const uint32_t start = r.pos;
            if (!DecodeInter(c, r, c.st->integrity_block[b]))
                return;
            c.st->activity[b] = int16_t(r.pos - start);
            ptrdiff_t stride;
            uint8_t *dst = BlockDestination(s, b, &stride);
            dsp.idct_add(dst, stride, c.st->block);
        }
    }
    EndPixels(s);
    NextMacroblock(s);
}

void DecodeMacroblockB(const Context &c, const Dsp &dsp, const McTable &mc)
{
    DecoderState &s = *c.s;
    const DecoderTables &t = *c.t;
    if (s.mb_x == 0 || s.mb_index == s.packet_start)
        std::memset(s.b_pred, 0, sizeof s.b_pred);
    s.dct_type = 0;
    s.field_prediction = 0;
    // The anchor's vectors stay for the direct-mode macroblocks after this one.
    int16_t fwd[4][2] = {}, bwd[4][2] = {};

    // The co-located macroblock of the newer anchor was not coded: a copy, and no bits.
    if (s.mb_not_coded[s.mb_index]) {
        // A run of them along the row goes as one copy of each row. Not with video packets,
        // where a packet may start inside the run.
        int run = 1;
        if (s.vol.resync_marker_disable)
            while (s.mb_x + run < s.mb_cols && s.mb_not_coded[s.mb_index + run])
                ++run;
        s.mb_type = MbSkipped;
        CopyFromForward(s, mc, run);
        NextMacroblocks(s, false, run);
        return;
    }

    StartPixels(s);
    HeaderBits header(c.st->reader);
    BitCache &r = header.bits;
    s.modb = GetBit(r) ? 0 : GetBit(r) ? 1 : 2;
    int type = MbDirect, cbpb = 0;
    if (s.modb) {
        if (GetBit(r))
            type = MbDirect;
        else if (GetBit(r))
            type = MbInterpolate;
        else if (GetBit(r))
            type = MbBackward;
        else if (GetBit(r))
            type = MbForward;
        else {
            s.error = 1;
            return;
        }
        if (s.modb == 2)
            cbpb = int(GetBits(r, 6));
    }
    s.mb_type = type;
    s.cbp = cbpb;
    if (type != MbDirect && cbpb) {
        const int dbquant = GetBit(r) ? (GetBit(r) ? 2 : -2) : 0;
        s.quant = std::clamp(s.quant + dbquant, 1, QuantMax(s));
    }
    const bool useFwd = type == MbForward || type == MbInterpolate;
    const bool useBwd = type == MbBackward || type == MbInterpolate;
    int32_t refs[2][2] = {{0, 1}, {0, 1}}; // field reference flags per direction
    if (s.vol.interlaced) {
        if (cbpb)
            s.dct_type = int32_t(GetBit(r));
        if (type != MbDirect) {
            s.field_prediction = int32_t(GetBit(r));
            if (s.field_prediction) {
                if (type != MbBackward)
                    refs[0][0] = int32_t(GetBit(r)), refs[0][1] = int32_t(GetBit(r));
                if (type != MbForward)
                    refs[1][0] = int32_t(GetBit(r)), refs[1][1] = int32_t(GetBit(r));
            }
        }
    }
    // Vectors from the running predictors (frame, bottom field), which the decoded vectors replace.
    int16_t fields[2][2][2] = {}; // direction, top/bottom field, x/y in frame units
    auto vector = [&](int dir, int fcode, int16_t(*out)[2]) {
        if (!s.field_prediction) {
            int16_t *pred = s.b_pred[dir][0];
            if (!DecodeVector(s, r, t, pred[0], &out[0][0], fcode) ||
                !DecodeVector(s, r, t, pred[1], &out[0][1], fcode))
                return false;
            // A frame vector predicts both field vectors of the next macroblock.
            pred[0] = out[0][0], pred[1] = out[0][1];
            s.b_pred[dir][1][0] = out[0][0], s.b_pred[dir][1][1] = out[0][1];
            return true;
        }
        for (int f = 0; f < 2; ++f) {
            int16_t *pred = s.b_pred[dir][f];
            int16_t vy;
            if (!DecodeVector(s, r, t, pred[0], &fields[dir][f][0], fcode) ||
                !DecodeVector(s, r, t, pred[1] / 2, &vy, fcode))
                return false;
            fields[dir][f][1] = int16_t(2 * vy);
            pred[0] = fields[dir][f][0], pred[1] = fields[dir][f][1];
        }
        return true;
    };
    bool fieldDirect = false;
    if (useFwd && !vector(0, s.vop.vop_fcode_forward, fwd))
        return;
    if (useBwd && !vector(1, s.vop.vop_fcode_backward, bwd))
        return;
    if (type == MbDirect) {
        // One delta for the macroblock, absent when modb is "1".
        int16_t delta[2] = {0, 0};
        if (s.modb && (!DecodeVector(s, r, t, 0, &delta[0], 1) || !DecodeVector(s, r, t, 0, &delta[1], 1)))
            return;
        // Over a field-predicted co-located macroblock the vectors would be scaled per field:
        // not served, the macroblock shows the forward reference once its data is read.
        fieldDirect = s.vol.interlaced && s.mb_field_pred[s.mb_index];
        PredictDirect(s, mc, delta);
    } else if (s.field_prediction) {
        if (useFwd)
            PredictMacroblockFields(s, mc, s.fwd, fields[0], refs[0], false);
        if (useBwd)
            PredictMacroblockFields(s, mc, s.bwd, fields[1], refs[1], useFwd);
    } else {
        if (type != MbBackward)
            PredictMacroblock(s, mc, s.fwd, fwd, false, false);
        if (type != MbForward)
            PredictMacroblock(s, mc, s.bwd, bwd, false, type == MbInterpolate);
    }
    if (!DecodeInterBlocks(c, dsp, header.Hand(), cbpb))
        return;
    if (fieldDirect) {
        static constexpr int16_t kZero[4][2] = {};
        PredictMacroblock(s, mc, s.fwd, kZero, false, false);
        s.unserved = DecodeErrorFieldDirect;
    }
    EndPixels(s);
    NextMacroblock(s, false);
}

void ConcealMacroblock(const Context &c, const McTable &mc)
{
    DecoderState &s = *c.s;
    static constexpr int16_t kZero[4][2] = {};
    PredictMacroblock(s, mc, s.fwd, kZero, false, false);
    s.mb_content[s.cur_buffer][s.mb_index] = s.mb_content[s.fwd_buffer][s.mb_index];
    s.mb_type = MbSkipped;
    s.not_coded = 0;
    s.field_prediction = 0;
    const bool anchor = s.vop.vop_coding_type != VopB;
    if (anchor) {
        std::memset(s.mv[0][s.mb_index], 0, sizeof s.mv[0][0]);
    }
    NextMacroblock(s, anchor);
}

} // namespace strandel::lumaset
