#include "decoder/headers.h"

#include <algorithm>
#include <cstring>

namespace strandel::lumaset {
namespace {

bool IsVideoObjectStart(const BitReader &r) { return ShowBits(r, 27) == 0x8; } // 0x100..0x11F
bool IsLayerStart(const BitReader &r) { return ShowBits(r, 28) == 0x12; }       // 0x120..0x12F

// Byte-aligns over next_start_code() stuffing: a whole 0x7F byte when the stuffing falls on a
// byte boundary in front of a start code.
void AlignToStartCode(BitReader &r)
{
    if (r.bit)
        ByteAlign(r);
    else if (ShowBits(r, 32) == 0x7F000001)
        FlushBits(r, 8);
}

void SkipToNextStartCode(BitReader &r)
{
    while (!AtEnd(r) && ShowBits(r, 24) != 1)
        FlushBits(r, 8);
}

// Up to 64 values in zigzag order; 0 ends the list and repeats the last value to the end.
bool ReadMatrix(BitReader &r, const uint8_t *zigzag, uint8_t *matrix)
{
    int last = 0;
    for (int i = 0; i < 64; ++i) {
        const int v = int(GetBits(r, 8));
        if (v == 0) {
            if (last == 0)
                return false; // an empty matrix would zero every coefficient
            for (int j = i; j < 64; ++j)
                matrix[zigzag[j]] = uint8_t(last);
            return true;
        }
        matrix[zigzag[i]] = uint8_t(v);
        last = v;
    }
    return true;
}

} // namespace

int TimeIncrementBits(int32_t resolution)
{
    int bits = 0;
    while (bits < 16 && (int64_t(1) << bits) < resolution)
        ++bits;
    return bits < 1 ? 1 : bits;
}

bool FindFrameStart(BitReader &r)
{
    while (r.pos + 4 <= r.length) {
        const uint32_t code = ShowBits(r, 32);
        if (code == 0x100 || code == kVopStartCode)
            return true;
        FlushBits(r, 8);
    }
    return false;
}

int32_t VolHeader(BitReader &r, DecoderState &s, DecoderTables &t)
{
    if (!IsVideoObjectStart(r))
        return DecodeErrorNone;
    FlushBits(r, 32);
    if (!IsLayerStart(r))
        return DecodeErrorSyntax;
    FlushBits(r, 28); // the start code's last four bits are the layer id

    // A header cut short reads zeros, which could pass for a tool: that is damage, not a refusal.
    auto refuse = [&r](int32_t reason) { return r.overrun ? int32_t(DecodeErrorSyntax) : reason; };
    VolFields v = s.vol;
    uint8_t intra[64], nonintra[64];
    std::memcpy(intra, t.intra_matrix, 64);
    std::memcpy(nonintra, t.nonintra_matrix, 64);

    v.video_object_layer_id = int32_t(GetBits(r, 4));
    v.random_accessible_vol = int32_t(GetBit(r));
    v.video_object_type_indication = int32_t(GetBits(r, 8));
    v.is_object_layer_identifier = int32_t(GetBit(r));
    if (v.is_object_layer_identifier) {
        v.video_object_layer_verid = int32_t(GetBits(r, 4));
        v.video_object_layer_priority = int32_t(GetBits(r, 3));
    } else {
        v.video_object_layer_verid = 1;
        v.video_object_layer_priority = 1;
    }
    const bool v1 = v.video_object_layer_verid == 1;
    v.aspect_ratio_info = int32_t(GetBits(r, 4));
    if (v.aspect_ratio_info == 15) { // extended pixel aspect ratio
        v.par_width = int32_t(GetBits(r, 8));
        v.par_height = int32_t(GetBits(r, 8));
    }
    v.vol_control_parameters = int32_t(GetBit(r));
    v.chroma_format = 1;
    // Without the flag, a Simple object (type 1) has no B-pictures and shows each picture at
    // once; other objects may have B-pictures, which hold the anchors back.
    v.low_delay = v.video_object_type_indication == 1 ? 1 : 0;
    if (v.vol_control_parameters) {
        v.chroma_format = int32_t(GetBits(r, 2));
        v.low_delay = int32_t(GetBit(r));
        v.vbv_parameters = int32_t(GetBit(r));
        if (v.vbv_parameters) {
            v.first_half_bit_rate = int32_t(GetBits(r, 15));
            GetBit(r);
            v.latter_half_bit_rate = int32_t(GetBits(r, 15));
            GetBit(r);
            v.first_half_vbv_buffer_size = int32_t(GetBits(r, 15));
            GetBit(r);
            v.latter_half_vbv_buffer_size = int32_t(GetBits(r, 3));
            v.first_half_vbv_occupancy = int32_t(GetBits(r, 11));
            GetBit(r);
            v.latter_half_vbv_occupancy = int32_t(GetBits(r, 15));
            GetBit(r);
        }
    }
    v.video_object_layer_shape = int32_t(GetBits(r, 2));
    if (v.video_object_layer_shape != 0)
        return refuse(DecodeErrorShape); // only rectangular pictures are decoded
    GetBit(r);
    v.vop_time_increment_resolution = int32_t(GetBits(r, 16));
    GetBit(r);
    v.fixed_vop_rate = int32_t(GetBit(r));
    if (v.fixed_vop_rate)
        v.fixed_vop_time_increment = int32_t(GetBits(r, TimeIncrementBits(v.vop_time_increment_resolution)));

    GetBit(r);
    v.video_object_layer_width = int32_t(GetBits(r, 13));
    GetBit(r);
    v.video_object_layer_height = int32_t(GetBits(r, 13));
    GetBit(r);
    // The macroblock grid and the buffers are the instance's: another size would be decoded into
    // the wrong grid.
    if (v.video_object_layer_width != s.width || v.video_object_layer_height != s.height)
        return refuse(DecodeErrorPictureSize);
    v.interlaced = int32_t(GetBit(r));
    v.obmc_disable = int32_t(GetBit(r));
    if (!v.obmc_disable)
        return refuse(DecodeErrorOverlappedMotion);
    v.sprite_enable = int32_t(GetBits(r, v1 ? 1 : 2));
    if (v.sprite_enable)
        return refuse(DecodeErrorSprite);
    v.not_8_bit = int32_t(GetBit(r));
    if (v.not_8_bit) {
        v.quant_precision = int32_t(GetBits(r, 4));
        v.bits_per_pixel = int32_t(GetBits(r, 4));
        if (v.bits_per_pixel != 8 || v.quant_precision < 3 || v.quant_precision > 9)
            return refuse(DecodeErrorBitDepth);
    } else {
        v.quant_precision = 5;
        v.bits_per_pixel = 8;
    }
    v.quant_type = int32_t(GetBit(r));
    if (v.quant_type) {
        v.load_intra_quant_mat = int32_t(GetBit(r));
        if (v.load_intra_quant_mat && !ReadMatrix(r, t.scan[0], intra))
            return DecodeErrorSyntax;
        v.load_nonintra_quant_mat = int32_t(GetBit(r));
        if (v.load_nonintra_quant_mat && !ReadMatrix(r, t.scan[0], nonintra))
            return DecodeErrorSyntax;
    }
    v.quarter_sample = v1 ? 0 : int32_t(GetBit(r));
    if (v.quarter_sample)
        return refuse(DecodeErrorQuarterPel);
    v.complexity_estimation_disable = int32_t(GetBit(r));
    if (!v.complexity_estimation_disable)
        return refuse(DecodeErrorComplexityEstimation);
    v.resync_marker_disable = int32_t(GetBit(r));
    v.data_partitioned = int32_t(GetBit(r));
    v.reversible_vlc = 0;
    if (v.data_partitioned)
        return refuse(DecodeErrorDataPartitioned); // reversible VLC only exists inside partitions
    if (!v1) {
        v.newpred_enable = int32_t(GetBit(r));
        if (v.newpred_enable)
            return refuse(DecodeErrorNewpred);
        v.reduced_resolution_vop_enable = int32_t(GetBit(r));
        if (v.reduced_resolution_vop_enable)
            return refuse(DecodeErrorReducedResolution);
    } else {
        v.newpred_enable = v.reduced_resolution_vop_enable = 0;
    }
    v.scalability = int32_t(GetBit(r));
    if (v.scalability)
        return refuse(DecodeErrorScalability);
    if (r.overrun)
        return DecodeErrorSyntax;
    // User data after the layer header is skipped; it carries nothing the decoder needs.
    BitReader ahead = r;
    AlignToStartCode(ahead);
    if (ShowBits(ahead, 32) == kUserDataStartCode) {
        while (ShowBits(ahead, 32) == kUserDataStartCode) {
            FlushBits(ahead, 32);
            SkipToNextStartCode(ahead);
        }
        r = ahead;
    }
    s.vol = v;
    s.refused = DecodeErrorNone;
    std::memcpy(t.intra_matrix, intra, 64);
    std::memcpy(t.nonintra_matrix, nonintra, 64);
    return DecodeErrorNone;
}

bool GovHeader(BitReader &r, DecoderState &s)
{
    BitReader ahead = r;
    AlignToStartCode(ahead);
    if (ShowBits(ahead, 32) != kGovStartCode)
        return false;
    FlushBits(ahead, 32);
    s.gov.time_code = int32_t(GetBits(ahead, 18));
    s.gov.closed_gov = int32_t(GetBit(ahead));
    s.gov.broken_link = int32_t(GetBit(ahead));
    r = ahead;
    // hours (5), minutes (6), marker, seconds (6): the time base of the next anchor
    const int32_t tc = s.gov.time_code;
    s.gov_seconds = (tc >> 13) * 3600 + ((tc >> 7) & 63) * 60 + (tc & 63);
    s.gov_pending = 1;
    return true;
}

bool VopHeader(BitReader &r, DecoderState &s)
{
    AlignToStartCode(r);
    if (GetBits(r, 32) != kVopStartCode)
        return false;
    const VolFields &vol = s.vol;
    VopFields v = s.vop;
    v.vop_coding_type = int32_t(GetBits(r, 2));
    if (v.vop_coding_type == VopS)
        return false; // sprites are outside what the decoder serves
    v.modulo_time_base = 0;
    while (GetBit(r))
        ++v.modulo_time_base;
    GetBit(r);
    v.vop_time_increment = int32_t(GetBits(r, TimeIncrementBits(vol.vop_time_increment_resolution)));
    GetBit(r);
    v.vop_coded = int32_t(GetBit(r));
    if (!v.vop_coded) {
        ByteAlign(r);
        s.vop = v;
        return true;
    }
    v.vop_rounding_type =
        v.vop_coding_type == VopP && vol.video_object_layer_shape != 2 ? int32_t(GetBit(r)) : 0;
    if (vol.video_object_layer_shape != 0) {
        if (!(vol.sprite_enable == 1 && v.vop_coding_type == VopI)) {
            v.vop_width = int32_t(GetBits(r, 13));
            GetBit(r);
            v.vop_height = int32_t(GetBits(r, 13));
            GetBit(r);
            v.vop_horizontal_mc_spatial_ref = int32_t(GetBits(r, 13));
            GetBit(r);
            v.vop_vertical_mc_spatial_ref = int32_t(GetBits(r, 13));
            GetBit(r);
        }
        v.change_conv_ratio_disable = int32_t(GetBit(r));
        v.vop_constant_alpha = int32_t(GetBit(r));
        if (v.vop_constant_alpha)
            v.vop_constant_alpha_value = int32_t(GetBits(r, 8));
    }
    if (!vol.complexity_estimation_disable)
        return false;
    if (vol.video_object_layer_shape != 2) {
        v.intra_dc_vlc_thr = int32_t(GetBits(r, 3));
        if (vol.interlaced) {
            v.top_field_first = int32_t(GetBit(r));
            v.alternate_vertical_scan_flag = int32_t(GetBit(r));
        } else {
            v.top_field_first = 1;
            v.alternate_vertical_scan_flag = 0;
        }
        const int precision = vol.quant_precision >= 1 && vol.quant_precision <= 16 ? vol.quant_precision : 5;
        v.vop_quant = int32_t(GetBits(r, precision));
        if (v.vop_quant == 0)
            return false; // a zero quantiser is forbidden and would divide by zero
        if (v.vop_coding_type != VopI) {
            v.vop_fcode_forward = int32_t(GetBits(r, 3));
            if (v.vop_fcode_forward == 0)
                return false;
        }
        if (v.vop_coding_type == VopB) {
            v.vop_fcode_backward = int32_t(GetBits(r, 3));
            if (v.vop_fcode_backward == 0)
                return false;
        }
        if (!vol.scalability && vol.video_object_layer_shape != 0 && v.vop_coding_type != VopI)
            v.vop_shape_coding_type = int32_t(GetBit(r));
    }
    if (vol.video_object_layer_shape != 0) {
        s.vol.video_object_layer_width = v.vop_width;
        s.vol.video_object_layer_height = v.vop_height;
    }
    s.vop = v;
    return true;
}

int MacroblockNumberBits(int32_t mb_count)
{
    int bits = 1;
    while (bits < 16 && (int32_t(1) << bits) < mb_count)
        ++bits;
    return bits;
}

bool ResyncMarkerNext(const BitReader &r)
{
    BitReader t = r;
    const int pad = t.bit ? 8 - int(t.bit) : 8;
    if (ShowBits(t, pad) != (1u << (pad - 1)) - 1)
        return false;
    FlushBits(t, pad);
    // At least 16 zeros and a 1; 23 zeros would be a start code.
    const uint32_t bits = ShowBits(t, 24);
    const int zeros = bits ? __builtin_clz(bits) - 8 : 24;
    return zeros >= 16 && zeros < 23;
}

bool VideoPacketHeader(BitReader &r, const DecoderState &s, int32_t *mb_number, int32_t *quant)
{
    const int pad = r.bit ? 8 - int(r.bit) : 8;
    FlushBits(r, pad);
    return VideoPacketHeaderAligned(r, s, mb_number, quant);
}

int ResyncMarkerZeros(const VopFields &vop)
{
    if (vop.vop_coding_type == VopI)
        return 16;
    if (vop.vop_coding_type == VopB)
        return 15 + std::max({vop.vop_fcode_forward, vop.vop_fcode_backward, 2});
    return 15 + vop.vop_fcode_forward;
}

bool VideoPacketHeaderAligned(BitReader &r, const DecoderState &s, int32_t *mb_number, int32_t *quant)
{
    const VolFields &vol = s.vol;
    const VopFields &vop = s.vop;
    const uint32_t bits = ShowBits(r, 24);
    const int zeros = bits ? __builtin_clz(bits) - 8 : 24;
    // The marker's length follows from the picture's f_codes: any other is damage.
    if (zeros != ResyncMarkerZeros(vop))
        return false;
    FlushBits(r, zeros + 1);
    *mb_number = int32_t(GetBits(r, MacroblockNumberBits(s.mb_count)));
    *quant = int32_t(GetBits(r, vol.quant_precision));
    if (GetBit(r)) {
        // Header extension: a copy of the VOP header's time and codes. A copy that differs is
        // damage, and the packet's codes cannot be trusted.
        int32_t modulo = 0;
        while (GetBit(r) && !r.overrun)
            ++modulo;
        GetBit(r);
        const int32_t increment = int32_t(GetBits(r, TimeIncrementBits(vol.vop_time_increment_resolution)));
        GetBit(r);
        const int32_t type = int32_t(GetBits(r, 2));
        const int32_t thr = int32_t(GetBits(r, 3));
        const int32_t forward = type != VopI ? int32_t(GetBits(r, 3)) : vop.vop_fcode_forward;
        const int32_t backward = type == VopB ? int32_t(GetBits(r, 3)) : vop.vop_fcode_backward;
        if (modulo != vop.modulo_time_base || increment != vop.vop_time_increment || type != vop.vop_coding_type ||
            thr != vop.intra_dc_vlc_thr || forward != vop.vop_fcode_forward || backward != vop.vop_fcode_backward)
            return false;
    }
    return !r.overrun && *mb_number < s.mb_count && *quant > 0;
}

bool ProbeSize(const uint8_t *data, uint32_t length, int32_t *width, int32_t *height)
{
    BitReader r;
    SetInput(r, data, length < 256 ? length : 256);
    // Streams may open with a visual object sequence header; the size sits in the layer after it.
    while (r.pos + 4 <= r.length && !IsVideoObjectStart(r))
        FlushBits(r, 8);
    if (!IsVideoObjectStart(r))
        return false;
    FlushBits(r, 32);
    if (!IsLayerStart(r))
        return false;
    FlushBits(r, 28); // the start code's last four bits are the layer id
    FlushBits(r, 13);
    if (GetBit(r))
        FlushBits(r, 7);
    if (GetBits(r, 4) == 15) // extended pixel aspect ratio
        FlushBits(r, 16);
    if (GetBit(r)) {
        FlushBits(r, 3);
        if (GetBit(r)) {
            FlushBits(r, 16);
            FlushBits(r, 16);
            FlushBits(r, 16);
            FlushBits(r, 3);
            FlushBits(r, 12);
            FlushBits(r, 16);
        }
    }
    const uint32_t shape = GetBits(r, 2);
    GetBit(r);
    const int32_t resolution = int32_t(GetBits(r, 16));
    GetBit(r);
    if (GetBit(r))
        FlushBits(r, TimeIncrementBits(resolution));
    if (shape != 0)
        return false;
    GetBit(r);
    *width = int32_t(GetBits(r, 13));
    GetBit(r);
    *height = int32_t(GetBits(r, 13));
    return !r.overrun;
}

} // namespace strandel::lumaset
