// Frame management: instance set-up, picture selection, the macroblock loop, padding and output.
#include "decoder/decode.h"
#include "decoder/headers.h"
#include "decoder/mc.h"
#include "decoder/vlc.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace strandel::lumaset {
namespace {

void ResetPredictors(DecoderState &s)
{
    std::fill(std::begin(s.dc_luma), std::end(s.dc_luma), int16_t(1024));
    std::fill(std::begin(s.dc_chroma[0]), std::end(s.dc_chroma[0]), int16_t(1024));
    std::fill(std::begin(s.dc_chroma[1]), std::end(s.dc_chroma[1]), int16_t(1024));
    std::memset(s.ac_luma, 0, sizeof s.ac_luma);
    std::memset(s.ac_chroma, 0, sizeof s.ac_chroma);
    std::fill(std::begin(s.mode_grid), std::end(s.mode_grid), int8_t(MbIntra));
    std::memset(s.quant_grid, 0, sizeof s.quant_grid);
}

Planes PlanesOf(const DecoderState &s, uint8_t *buffer)
{
    const size_t luma = size_t(s.stride) * size_t(s.edged_rows);
    const size_t chroma = size_t(s.chroma_stride) * size_t(s.chroma_edged_rows);
    Planes p;
    p.y = buffer + size_t(s.stride + 1) * 32;
    p.u = buffer + luma + size_t(s.chroma_stride + 1) * 16;
    p.v = buffer + luma + chroma + size_t(s.chroma_stride + 1) * 16;
    return p;
}

void FillBlack(const DecoderState &s, uint8_t *buffer)
{
    const size_t luma = size_t(s.stride) * size_t(s.edged_rows);
    const size_t chroma = size_t(s.chroma_stride) * size_t(s.chroma_edged_rows);
    std::memset(buffer, 16, luma);
    std::memset(buffer + luma, 128, 2 * chroma);
}

void SelectPictures(DecoderState &s, int type)
{
    int cur, fwd, bwd;
    // Buffer 0 only ever takes the picture being decoded; it is filled on first use, so that a
    // stream without B-pictures never touches its memory.
    if (!s.b_buffer_ready && (s.fixed_buffer ? type != VopI : type == VopB)) {
        FillBlack(s, s.frame_buffer[0]);
        s.b_buffer_ready = 1;
    }
    if (s.fixed_buffer) {
        fwd = 1, bwd = 2, cur = type == VopI ? 1 : 0;
    } else if (type == VopB) {
        cur = 0;
        bwd = s.toggle == 0 ? 1 : 2;
        fwd = s.toggle == 0 ? 2 : 1;
    } else {
        cur = s.toggle == 1 ? 1 : 2;
        fwd = s.toggle == 1 ? 2 : 1;
        bwd = cur;
        s.toggle = s.toggle == 1 ? 0 : 1;
    }
    s.cur = PlanesOf(s, s.frame_buffer[cur]);
    s.fwd = PlanesOf(s, s.frame_buffer[fwd]);
    s.bwd = PlanesOf(s, s.frame_buffer[bwd]);
    s.cur_buffer = cur;
    s.fwd_buffer = fwd;
    s.bwd_buffer = bwd;
}

void PadPicture(const DecoderState &s, const Planes &p)
{
    Pad(p.y, s.stride, s.width, s.height, 32);
    Pad(p.u, s.chroma_stride, s.width / 2, s.height / 2, 16);
    Pad(p.v, s.chroma_stride, s.width / 2, s.height / 2, 16);
}

void OutputPicture(const DecoderState &s, const Planes &shown, int buffer, const DecoderFrame &f)
{
    if (!f.render)
        return;
    if (s.postproc_on && s.display_buffer) {
        Deblock(s, shown, s.buffer_quant[buffer]);
        const uint8_t *y = s.display_buffer, *u = y + size_t(s.width) * size_t(s.height);
        const uint8_t *v = u + size_t(s.width / 2) * size_t(s.height / 2);
        Convert(s, y, s.width, u, v, s.width / 2, f.output, f.output_pitch);
        return;
    }
    Convert(s, shown.y, s.stride, shown.u, shown.v, s.chroma_stride, f.output, f.output_pitch);
}

// Shows the picture each call should show: at once for low-delay layers and fixed-buffer mode,
// else one anchor late so that pictures come out in display order around B-pictures.
void OutputAnchor(const DecoderState &s, const DecoderFrame &f)
{
    if (s.fixed_buffer)
        OutputPicture(s, s.cur, s.cur_buffer, f);
    else if (s.vol.low_delay)
        OutputPicture(s, s.bwd, s.bwd_buffer, f);
    else
        OutputPicture(s, s.fwd, s.fwd_buffer, f);
}

// Macroblocks [from, to) take the co-located macroblocks of the forward reference.
void Conceal(const Context &c, const McTable &mc, int from, int to)
{
    DecoderState &s = *c.s;
    to = std::min(to, s.mb_count);
    for (int i = std::max(from, 0); i < to; ++i) {
        s.mb_index = i;
        s.mb_x = i % s.mb_cols;
        s.mb_y = i / s.mb_cols;
        ConcealMacroblock(c, mc);
    }
    s.mb_index = to;
    s.mb_x = to % s.mb_cols;
    s.mb_y = to / s.mb_cols;
}

// Byte position of the next resync marker or start code from byte pos on. Neither can occur
// inside valid macroblock data, so it bounds the packet that starts before it.
uint32_t NextMarker(const BitReader &r, uint32_t pos)
{
    const uint8_t *d = r.data;
    uint32_t i = pos;
    while (i + 2 < r.length) {
        const void *zero = std::memchr(d + i, 0, r.length - 2 - i);
        if (!zero)
            break;
        i = uint32_t(static_cast<const uint8_t *>(zero) - d);
        if (d[i + 1] == 0 && d[i + 2] != 0) // 16 zeros and a 1 within the next 8 bits
            return i;
        ++i;
    }
    return r.length;
}

// After damage: the next video packet header of this picture, searched on byte boundaries.
bool FindNextPacket(const DecoderState &s, BitReader &r, int after, int32_t *mb_number, int32_t *quant)
{
    ByteAlign(r);
    for (;;) {
        const uint32_t at = NextMarker(r, r.pos);
        if (at + 3 > r.length)
            return false;
        r.pos = at;
        r.bit = 0;
        if (ShowBits(r, 24) == 1)
            return false; // a start code: the picture ends here
        BitReader t = r;
        if (VideoPacketHeaderAligned(t, s, mb_number, quant) && *mb_number > after) {
            r = t;
            return true;
        }
        FlushBits(r, 8);
    }
}

void DecodeVop(const Context &c, const DecoderFrame &f)
{
    DecoderState &s = *c.s;
    BitReader &r = c.st->reader;
    const Dsp &dsp = DspBest();
    const McTable &mc = McBest();
    s.mb_index = s.mb_x = s.mb_y = 0;
    s.error = 0;
    s.quant = std::clamp<int32_t>(s.vop.vop_quant, 1, QuantMax(s));
    s.packet_start = 0;
    s.first_coded = 1;
    s.unserved = 0;
    if (++s.content_serial == 0) { // numbers ran out: what the buffers hold is unknown again
        std::memset(s.mb_content, 0, sizeof s.mb_content);
        s.content_serial = 1;
    }
    const bool bvop = s.vop.vop_coding_type == VopB;
    const bool packets = !s.vol.resync_marker_disable;
    const bool check = s.integrity_on && !bvop;
    if (check)
        ClearTamper(s.integrity);
    // A B-macroblock over a not-coded one reads no bits, so it follows even where the data ends.
    auto more = [&] {
        return ShowBitsByteAligned(r, 23) != 0 || (bvop && s.mb_index < s.mb_count && s.mb_not_coded[s.mb_index]);
    };
    // Where the current packet's data must end; a packet that reads past it was damaged.
    uint32_t packetEnd = packets ? NextMarker(r, r.pos) : r.length;
    auto startPacket = [&](int32_t number, int32_t quant) {
        if (number > s.mb_index) // macroblocks the stream left out
            Conceal(c, mc, s.mb_index, number);
        s.mb_index = number;
        s.mb_x = number % s.mb_cols;
        s.mb_y = number / s.mb_cols;
        s.packet_start = number;
        s.first_coded = 1;
        s.quant = std::clamp<int32_t>(quant, 1, QuantMax(s));
        packetEnd = NextMarker(r, r.pos);
    };
    for (;;) {
        if (bvop) {
            DecodeMacroblockB(c, dsp, mc);
        } else if (!check) {
            DecodeMacroblockIP(c, dsp, mc);
        } else {
            std::memset(c.st->integrity_block, 0, sizeof c.st->integrity_block);
            std::memset(c.st->activity, 0, sizeof c.st->activity);
            const int32_t index = s.mb_index;
            DecodeMacroblockIP(c, dsp, mc);
            if (!s.error)
                IntegrityCheck(s.integrity, s.integrity_level, s.key_block, s.integrity_mode, index, s.mb_x,
                               c.st->integrity_block, c.st->activity, s.frame_counter);
        }
        if (!s.error && packets && r.pos >= packetEnd && packetEnd < r.length)
            s.error = DecodeErrorSyntax;
        if (s.error) {
            if (check) // a damaged picture counts as tampered from where the damage was seen
                FlagTamper(s.integrity, s.frame_counter, s.mb_index);
            // The damaged packet is lost from its start (the damage may lie before where it was
            // seen); the picture goes on at the next packet.
            const int from = packets ? s.packet_start : s.mb_index;
            int32_t number, quant;
            if (packets) { // the search goes on from the packet's end, wherever the reading stopped
                r.pos = packetEnd;
                r.bit = 0;
            }
            if (packets && FindNextPacket(s, r, s.packet_start, &number, &quant)) {
                Conceal(c, mc, from, number);
                startPacket(number, quant);
                continue;
            }
            Conceal(c, mc, from, s.mb_count);
            break;
        }
        if (s.mb_index >= s.mb_count)
            break;
        if (packets && ResyncMarkerNext(r)) {
            int32_t number, quant;
            if (VideoPacketHeader(r, s, &number, &quant) && number >= s.mb_index) {
                startPacket(number, quant);
                continue;
            }
            s.error = DecodeErrorSyntax;
            const int from = s.mb_index;
            if (check)
                FlagTamper(s.integrity, s.frame_counter, from);
            if (FindNextPacket(s, r, s.mb_index, &number, &quant)) {
                Conceal(c, mc, from, number);
                startPacket(number, quant);
                continue;
            }
            Conceal(c, mc, from, s.mb_count);
            break;
        }
        if (!more()) {
            // The picture ended early: what is missing shows the reference.
            s.error = DecodeErrorSyntax;
            if (check)
                FlagTamper(s.integrity, s.frame_counter, s.mb_index);
            Conceal(c, mc, s.mb_index, s.mb_count);
            break;
        }
    }
    if (!s.error)
        s.error = s.unserved;
    std::memcpy(s.buffer_quant[s.cur_buffer], s.quant_grid, sizeof s.quant_grid);
    if (bvop) {
        OutputPicture(s, s.cur, s.cur_buffer, f); // not a reference: shown at once, never padded
        return;
    }
    // The picture just decoded is the next reference; in fixed-buffer mode that is not buffer 2.
    PadPicture(s, s.cur);
    OutputAnchor(s, f);
}

// Time stamps of the anchors, for the scaled vectors of direct-mode B-macroblocks. An anchor
// counts its seconds from the anchor before it (or the group's time code); a B-picture from the
// older of the two anchors around it.
void UpdateTimes(DecoderState &s)
{
    const int64_t resolution = s.vol.vop_time_increment_resolution > 0 ? s.vol.vop_time_increment_resolution : 1;
    if (s.vop.vop_coding_type != VopB) {
        s.anchor_seconds[0] = s.anchor_seconds[1];
        s.anchor_time[0] = s.anchor_time[1];
        const int64_t base = s.gov_pending ? s.gov_seconds : s.anchor_seconds[1];
        s.gov_pending = 0;
        s.anchor_seconds[1] = base + s.vop.modulo_time_base;
        s.anchor_time[1] = s.anchor_seconds[1] * resolution + s.vop.vop_time_increment;
        return;
    }
    const int64_t t = (s.anchor_seconds[0] + s.vop.modulo_time_base) * resolution + s.vop.vop_time_increment;
    const int64_t trd = s.anchor_time[1] - s.anchor_time[0], trb = t - s.anchor_time[0];
    // Out-of-order or absurd stamps would scale the vectors beyond any reference.
    if (trd <= 0 || trd > 0x7FFF || trb < 0 || trb > trd) {
        s.trd = 0;
        s.trb = 0;
        return;
    }
    s.trd = int32_t(trd);
    s.trb = int32_t(trb);
}

} // namespace

void InitInstance(const Context &c, const DecoderParams &p, int32_t fixed_buffer)
{
    DecoderState &s = *c.s;
    std::memset(&s, 0, sizeof s);
    std::memset(c.st, 0, sizeof *c.st);
    s.initialised = kInitialisedMagic;
    s.postproc_on = 0;
    s.vol.video_object_layer_width = p.width;
    s.vol.video_object_layer_height = p.height;
    s.vol.quant_precision = 5;
    s.vol.bits_per_pixel = 8;
    s.vol.quant_type = 0;
    s.vol.video_object_layer_verid = 1;
    // Every fresh instance starts from this resolution until its first layer header.
    s.vol.vop_time_increment_resolution = 15;
    s.vol.complexity_estimation_disable = 1;
    s.frame_counter = 0;
    s.width = p.width;
    s.height = p.height;
    s.mb_cols = p.width / 16;
    s.mb_rows = p.height / 16;
    s.mb_count = s.mb_cols * s.mb_rows;
    s.stride = p.width + 64;
    s.edged_rows = p.height + 64;
    s.chroma_stride = s.stride / 2;
    s.chroma_edged_rows = s.edged_rows / 2;
    BuildTables(*c.t);
    for (int i = 0; i < 3; ++i) {
        s.frame_buffer[i] = p.frame_buffer[i];
        if (i > 0)
            FillBlack(s, p.frame_buffer[i]);
    }
    s.b_buffer_ready = 0;
    s.display_buffer = p.display_buffer;
    for (int i = 0; i < 1024; ++i) {
        s.clip_pixel[i] = uint8_t(std::clamp(i - 384, 0, 255));
        s.clip_diff[i] = int16_t(std::clamp(i - 512, -256, 255));
    }
    s.toggle = 1;
    ResetPredictors(s);
    s.cur = s.bwd = PlanesOf(s, p.frame_buffer[1]);
    s.fwd = PlanesOf(s, p.frame_buffer[2]);
    s.cur_buffer = 1;
    s.fwd_buffer = 2;
    s.bwd_buffer = 1;
    s.output_format = 0;
    SelectConverter(s, p.output_format);
    s.integrity_on = 0;
    ResetRuns(s.integrity);
    s.fixed_buffer = fixed_buffer;
    s.codec_type = p.codec_type;
}

void SetPostProcessing(DecoderState &s, uint32_t level)
{
    if (level == 0) {
        s.postproc_on = 0;
        return;
    }
    s.postproc_on = 1;
    s.postproc_flags = level < 10 ? 1 : level < 20 ? 3 : level < 30 ? 19 : level < 40 ? 23 : level < 50 ? 31 : 63;
}

void SelectConverter(DecoderState &s, int32_t format)
{
    s.direction = 1;
    if (format < 1 || format > 11)
        return;
    if (format >= 8) {
        s.output_format = format - 4;
    } else {
        s.output_format = format;
        if (format >= 4)
            s.direction = -1;
    }
}

void Pad(uint8_t *origin, int stride, int width, int height, int edge)
{
    for (int y = 0; y < height; ++y) {
        uint8_t *row = origin + ptrdiff_t(y) * stride;
        std::memset(row - edge, row[0], size_t(edge));
        std::memset(row + width, row[width - 1], size_t(edge));
    }
    const uint8_t *first = origin - edge;
    const uint8_t *last = origin + ptrdiff_t(height - 1) * stride - edge;
    for (int y = 1; y <= edge; ++y) {
        std::memcpy(origin - ptrdiff_t(y) * stride - edge, first, size_t(width + 2 * edge));
        std::memcpy(origin + ptrdiff_t(height - 1 + y) * stride - edge, last, size_t(width + 2 * edge));
    }
}

bool DecodeMpeg4Frame(const Context &c, const DecoderFrame &f)
{
    DecoderState &s = *c.s;
    BitReader &r = c.st->reader;
    SetInput(r, f.bitstream, f.length > 0 ? uint32_t(f.length) : 0u);
    if (!FindFrameStart(r))
        return false;
    if (const int32_t reason = VolHeader(r, s, *c.t)) {
        // A layer the decoder cannot serve: refuse it and every picture of it, with the reason.
        // A damaged one leaves the instance with the layer it had.
        if (reason != DecodeErrorSyntax) {
            s.refused = reason;
            s.error = reason;
        }
        return false;
    }
    if (s.refused) {
        s.error = s.refused;
        return false;
    }
    GovHeader(r, s);
    if (!VopHeader(r, s))
        return false;
    UpdateTimes(s);
    if (!s.vop.vop_coded) {
        // Nothing changed: show again what the last call showed.
        OutputAnchor(s, f);
        ++s.frame_counter;
        return true;
    }
    SelectPictures(s, s.vop.vop_coding_type);
    DecodeVop(c, f);
    ++s.frame_counter;
    return true;
}

} // namespace strandel::lumaset
