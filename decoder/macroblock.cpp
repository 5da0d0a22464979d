// Intra macroblocks and blocks: DC and AC prediction, coefficient events, both dequantisers.
#include "decoder/decode.h"
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
};

BlockPlace Place(DecoderState &s, int b)
{
    BlockPlace p{};
    int bx, by;
    int lmx, lmy, amx, amy; // macroblocks of the left and upper neighbours
    if (b < 4) {
        bx = 2 * s.mb_x + (b & 1);
        by = 2 * s.mb_y + (b >> 1);
        p.dc = s.dc_luma;
        p.ac = s.ac_luma;
        p.stride = kLumaDcStride;
        lmx = (bx - 1) >> 1, lmy = by >> 1;
        amx = bx >> 1, amy = (by - 1) >> 1;
    } else {
        bx = s.mb_x;
        by = s.mb_y;
        p.dc = s.dc_chroma[b - 4];
        p.ac = s.ac_chroma[b - 4];
        p.stride = kChromaDcStride;
        lmx = bx - 1, lmy = by;
        amx = bx, amy = by - 1;
    }
    p.index = (by + 1) * p.stride + bx + 1;
    p.left_q = lmx < 0 ? 0 : s.quant_grid[(lmy + 1) * kQuantStride + lmx + 1];
    p.above_q = amy < 0 ? 0 : s.quant_grid[(amy + 1) * kQuantStride + amx + 1];
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

bool Fail(DecoderState &s)
{
    s.error = 1;
    return false;
}

// Intra coefficient events from position 1 into the quantised block.
bool ReadIntraCoefficients(const Context &c, BitReader &r, const uint8_t *scan, int16_t *q)
{
    const DecoderTables &t = *c.t;
    int i = 1;
    for (;;) {
        int e = ReadVlc(r, t.tcoef_intra);
        if (e < 0)
            return Fail(*c.s);
        int last, run, level;
        if (e == kTcoefEscape) {
            if (!GetBit(r)) { // level offset
                e = ReadVlc(r, t.tcoef_intra);
                if (e < 0 || e == kTcoefEscape)
                    return Fail(*c.s);
                last = e >> 12, run = (e >> 6) & 63;
                level = (e & 63) + t.lmax_intra[last][run];
                if (GetBit(r))
                    level = -level;
            } else if (!GetBit(r)) { // run offset
                e = ReadVlc(r, t.tcoef_intra);
                if (e < 0 || e == kTcoefEscape)
                    return Fail(*c.s);
                last = e >> 12, level = e & 63;
                run = ((e >> 6) & 63) + t.rmax_intra[last][level] + 1;
                if (GetBit(r))
                    level = -level;
            } else { // fixed length
                last = int(GetBit(r));
                run = int(GetBits(r, 6));
                GetBit(r);
                level = int(GetBits(r, 12));
                if (level & 0x800)
                    level -= 0x1000;
                GetBit(r);
            }
        } else {
            last = e >> 12, run = (e >> 6) & 63, level = e & 63;
            if (GetBit(r))
                level = -level;
        }
        i += run;
        if (i > 63)
            return Fail(*c.s); // nothing is written for a position past the block
        q[scan[i]] = int16_t(level);
        ++i;
        if (last)
            return true;
    }
}

bool DecodeIntraBlock(const Context &c, BitReader &r, int b, bool coded)
{
    DecoderState &s = *c.s;
    const DecoderTables &t = *c.t;
    int16_t *blk = c.st->block;
    std::memset(blk, 0, sizeof c.st->block);
    const int scaler = DcScaler(s.quant, b < 4);
    s.dc_scaler = scaler;

    const int size = b < 4 ? ReadVlc(r, t.dc_luma) : ReadVlc(r, t.dc_chroma);
    if (size < 0)
        return Fail(s);
    int diff = 0;
    if (size) {
        const int v = int(GetBits(r, size));
        diff = v >> (size - 1) ? v : -(v ^ ((1 << size) - 1));
        if (size > 8)
            GetBit(r);
    }

    const BlockPlace p = Place(s, b);
    const int a = p.dc[p.index - 1], bl = p.dc[p.index - p.stride - 1], cu = p.dc[p.index - p.stride];
    const bool vertical = std::abs(a - bl) < std::abs(bl - cu);
    s.pred_direction = vertical ? 1 : 0;
    const int pred = vertical ? cu : a;
    const int qdc = (pred + Sign(pred) * (scaler >> 1)) / scaler + diff;
    const int dc = Clip12(qdc * scaler);
    p.dc[p.index] = int16_t(dc);

    const VopFields &vop = s.vop;
    const int scan = vop.alternate_vertical_scan_flag ? 2 : s.ac_pred_flag ? (vertical ? 1 : 2) : 0;
    if (coded && !ReadIntraCoefficients(c, r, t.scan[scan], blk))
        return false;

    AcStore &mine = p.ac[p.index];
    if (s.ac_pred_flag) {
        if (vertical) {
            const AcStore &n = p.ac[p.index - p.stride];
            for (int k = 0; k < 7; ++k)
                blk[1 + k] = int16_t(Clip12(blk[1 + k] + Rescale(n.row[k], p.above_q, s.quant)));
        } else {
            const AcStore &n = p.ac[p.index - 1];
            for (int k = 0; k < 7; ++k)
                blk[8 * (k + 1)] = int16_t(Clip12(blk[8 * (k + 1)] + Rescale(n.col[k], p.left_q, s.quant)));
        }
    }
    for (int k = 0; k < 7; ++k) {
        mine.row[k] = blk[1 + k];
        mine.col[k] = blk[8 * (k + 1)];
    }

    // Dequantise the AC coefficients; the DC is the predicted level times the DC scaler.
    const int q = s.quant;
    if (s.vol.quant_type) {
        // Truncating division as in the standard; a shift would bias negative coefficients.
        for (int i = 1; i < 64; ++i)
            if (blk[i])
                blk[i] = int16_t(Clip12((q * blk[i] * t.intra_matrix[i]) / 8));
    } else {
        const int bias = q & 1 ? q : q - 1;
        for (int i = 1; i < 64; ++i)
            if (const int l = blk[i])
                blk[i] = int16_t(Clip12(l > 0 ? 2 * q * l + bias : 2 * q * l - bias));
    }
    blk[0] = int16_t(dc);
    return true;
}

// Destination of block b of the current macroblock in the current picture.
uint8_t *BlockDestination(const DecoderState &s, int b, ptrdiff_t *stride)
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

void NextMacroblock(DecoderState &s)
{
    s.quant_grid[(s.mb_y + 1) * kQuantStride + s.mb_x + 1] = uint8_t(s.quant);
    s.mode_grid[(s.mb_y + 1) * kModeStride + s.mb_x + 1] = int8_t(s.mb_type);
    s.mb_not_coded[s.mb_index] = uint8_t(s.not_coded);
    s.mb_field_pred[s.mb_index] = uint8_t(s.field_prediction);
    ++s.mb_index;
    if (++s.mb_x == s.mb_cols) {
        s.mb_x = 0;
        ++s.mb_y;
    }
}

} // namespace

void DecodeMacroblockI(const Context &c, const Dsp &dsp)
{
    DecoderState &s = *c.s;
    const DecoderTables &t = *c.t;
    BitReader &r = c.st->reader;
    s.dct_type = 0;
    s.field_prediction = 0;
    s.not_coded = 0;

    int mcbpc;
    do {
        mcbpc = ReadVlc(r, t.mcbpc_i);
        if (mcbpc < 0) {
            s.error = 1;
            return;
        }
    } while ((mcbpc & 7) == MbStuffing); // stuffing carries nothing
    s.mcbpc = mcbpc;
    s.mb_type = mcbpc & 7;
    s.cbpc = (mcbpc >> 4) & 3;
    s.ac_pred_flag = int32_t(GetBit(r));
    const int cbpy = ReadVlc(r, t.cbpy);
    if (cbpy < 0) {
        s.error = 1;
        return;
    }
    s.cbpy = cbpy;
    s.cbp = s.cbpc | cbpy << 2;
    if (s.mb_type == MbIntraQ) {
        static constexpr int kDquant[4] = {-1, -2, 1, 2};
        s.dquant = kDquant[GetBits(r, 2)];
        s.quant = std::clamp(s.quant + s.dquant, 1, 31);
    }
    if (s.vol.interlaced)
        s.dct_type = int32_t(GetBit(r));

    for (int b = 0; b < 6; ++b) {
        if (!DecodeIntraBlock(c, r, b, (s.cbp >> (5 - b)) & 1))
            return;
        dsp.idct(c.st->block);
        ptrdiff_t stride;
        uint8_t *dst = BlockDestination(s, b, &stride);
        dsp.put(dst, stride, c.st->block);
    }
    NextMacroblock(s);
}

} // namespace strandel::lumaset
