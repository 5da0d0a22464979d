#pragma once
// Inner layout of the three caller-owned per-instance blocks.
#include "decoder/bitreader.h"
#include "decoder/integrity.h"
#include "decoder/lumaset.h"

#include <cstdint>

namespace strandel::lumaset {

constexpr int kMaxMbCols = 45; // 720 pixels
constexpr int kMaxMbRows = 36; // 576 pixels
constexpr int kMaxMbs = kMaxMbCols * kMaxMbRows;
constexpr int kModeStride = kMaxMbCols + 2;   // a border column on each side
constexpr int kQuantStride = kMaxMbCols + 1;  // a border column on the left
constexpr int kLumaDcStride = 2 * kMaxMbCols + 1;
constexpr int kLumaDcRows = 2 * kMaxMbRows + 1;
constexpr int kChromaDcStride = kMaxMbCols + 1;
constexpr int kChromaDcRows = kMaxMbRows + 1;
constexpr int kMaxWidth = 16 * kMaxMbCols;
constexpr int kMaxHeight = 16 * kMaxMbRows;

enum VopType { VopI = 0, VopP = 1, VopB = 2, VopS = 3 };

enum MbType : int8_t {
    MbSkipped = -1,
    MbInter = 0,
    MbInterQ = 1,
    MbInter4V = 2,
    MbIntra = 3,
    MbIntraQ = 4,
    MbStuffing = 7,
    // B-VOPs
    MbDirect = 6,
    MbInterpolate = 7,
    MbBackward = 8,
    MbForward = 9,
};

// Header fields in stream order; kept together so that a header is committed only once it parsed.
struct VolFields {
    int32_t video_object_layer_id, random_accessible_vol, video_object_type_indication,
        is_object_layer_identifier, video_object_layer_verid, video_object_layer_priority, aspect_ratio_info,
        vol_control_parameters, chroma_format, low_delay, vbv_parameters, first_half_bit_rate,
        latter_half_bit_rate, first_half_vbv_buffer_size, latter_half_vbv_buffer_size, first_half_vbv_occupancy,
        latter_half_vbv_occupancy, video_object_layer_shape, vop_time_increment_resolution, fixed_vop_rate,
        fixed_vop_time_increment, video_object_layer_width, video_object_layer_height, interlaced, obmc_disable,
        sprite_enable, not_8_bit, quant_precision, bits_per_pixel, quant_type, load_intra_quant_mat,
        load_nonintra_quant_mat, quarter_sample, complexity_estimation_disable, resync_marker_disable,
        data_partitioned, reversible_vlc, scalability;
    int32_t par_width, par_height, newpred_enable, reduced_resolution_vop_enable;
};

struct GovFields {
    int32_t time_code, closed_gov, broken_link;
};

struct VopFields {
    int32_t vop_coding_type, modulo_time_base, vop_time_increment, vop_coded, vop_rounding_type, vop_width,
        vop_height, vop_horizontal_mc_spatial_ref, vop_vertical_mc_spatial_ref, change_conv_ratio_disable,
        vop_constant_alpha, vop_constant_alpha_value, intra_dc_vlc_thr, vop_quant, vop_fcode_forward,
        vop_shape_coding_type, top_field_first, alternate_vertical_scan_flag, vop_fcode_backward;
};

// Origins of the three planes of one edged picture.
struct Planes {
    uint8_t *y, *u, *v;
};

struct AcStore {
    int16_t row[7]; // first row, coefficients 1..7
    int16_t col[7]; // first column, coefficients 8, 16, ..., 56
};

// What the MPEG-1/2 path keeps of the sequence and the picture (per instance).
struct Mpeg12Fields {
    int32_t horizontal_size, vertical_size, mpeg2, chroma_format;
    int32_t f_code[2][2], intra_dc_precision, picture_structure, frame_pred_frame_dct,
        concealment_motion_vectors, intra_vlc_format, alternate_scan, progressive_frame;
    int32_t temporal_reference, picture_coding_type, forward_f_code, backward_f_code;
};

struct DecoderState {
    int32_t initialised;
    int32_t codec_type;
    VolFields vol;
    GovFields gov;
    VopFields vop;

    // Geometry, fixed at initialisation.
    int32_t width, height, mb_cols, mb_rows, mb_count;
    int32_t stride, edged_rows, chroma_stride, chroma_edged_rows;
    uint8_t *frame_buffer[3];
    uint8_t *display_buffer;

    // Frame management.
    int32_t toggle, fixed_buffer, frame_counter;
    int32_t b_buffer_ready; // frame buffer 0 filled black: I/P streams never use it, so it waits
    Planes cur, fwd, bwd;
    int32_t cur_buffer, fwd_buffer; // frame buffer numbers of the current and forward pictures
    uint16_t buffer_quant[3][(kMaxMbRows + 1) * kQuantStride]; // quantisers each buffer was decoded with

    // Post-processing and output.
    int32_t postproc_on, postproc_flags;
    int32_t output_format, direction;

    int32_t error;
    int32_t refused; // DecodeError of the last layer header the decoder could not serve

    // Video packets and time stamps.
    int32_t packet_start;   // first macroblock of the current video packet
    int32_t first_coded;    // no macroblock of the packet coded yet (intra DC code choice)
    int32_t gov_pending, gov_seconds;
    int32_t bwd_buffer;
    int64_t anchor_seconds[2], anchor_time[2]; // older, newer anchor
    int32_t trb, trd;
    int32_t unserved; // DecodeError of a tool met inside the picture (the macroblocks concealed)

    // Integrity settings.
    int32_t integrity_on, integrity_mode, integrity_level;
    uint8_t key_block[64];
    IntegrityState integrity;

    // Current macroblock.
    int32_t mb_index, mb_x, mb_y;
    int32_t mcbpc, mb_type, cbpc, ac_pred_flag, cbpy, dquant, cbp, dct_type, field_prediction;
    int32_t field_ref[4];
    int32_t modb, not_coded, quant, dc_scaler, pred_direction;

    int8_t mode_grid[(kMaxMbRows + 1) * kModeStride];
    uint16_t quant_grid[(kMaxMbRows + 1) * kQuantStride]; // up to 511 with a 9-bit quant_precision
    uint8_t mb_not_coded[kMaxMbs];
    uint8_t mb_field_pred[kMaxMbs];
    int16_t mv[2][kMaxMbs][4][2]; // forward, backward; four luma blocks; x, y
    int16_t b_pred[2][2][2];      // B-VOP running predictors: direction, frame/bottom field, x/y
    int16_t field_mv[kMaxMbs][2][2]; // P-VOP field vectors: top, bottom field; x, y (frame units)
    // What each frame buffer's macroblocks hold: decoded ones the number of their picture
    // (content_serial), copies with zero vectors what they were copied from, 0 unknown. A copy
    // between two macroblocks of the same number is left out: the pixels are there already.
    uint32_t content_serial;
    uint32_t mb_content[3][kMaxMbs];

    int16_t dc_luma[kLumaDcRows * kLumaDcStride];
    int16_t dc_chroma[2][kChromaDcRows * kChromaDcStride];
    AcStore ac_luma[kLumaDcRows * kLumaDcStride];
    AcStore ac_chroma[2][kChromaDcRows * kChromaDcStride];

    Mpeg12Fields mpeg12;

    uint8_t clip_pixel[1024];  // -384..639 to 0..255
    int16_t clip_diff[1024];   // -512..511 to -256..255
};

struct VlcEntry {
    int16_t value;
    uint8_t length; // 0: no such code
    uint8_t unused;
};

// Lookup form of one code table, keyed by the number of leading zeros and the bits after the first 1.
template <int N>
struct Vlc {
    uint8_t max_zeros;
    uint8_t width[15];
    uint16_t offset[15];
    VlcEntry entry[N];
};

constexpr int16_t kTcoefEscape = 0x1BFF;

struct DecoderTables {
    uint8_t scan[3][64]; // zigzag, alternate horizontal, alternate vertical
    uint8_t intra_matrix[64];
    uint8_t nonintra_matrix[64];
    uint8_t chroma_round[16];
    Vlc<32> mcbpc_i;
    Vlc<64> mcbpc_p;
    Vlc<32> cbpy;
    Vlc<32> dc_luma;
    Vlc<32> dc_chroma;
    Vlc<128> mvd;
    Vlc<256> tcoef_intra;
    Vlc<256> tcoef_inter;
    uint8_t lmax_intra[2][64], lmax_inter[2][64];
    uint8_t rmax_intra[2][64], rmax_inter[2][64];
};

struct DecoderStream {
    BitReader reader;
    int16_t block[64];
    int16_t integrity_block[6][64];
    int16_t activity[6];
    // Inter coefficients of the table codes dequantised at quantiser level_q (second method), by
    // level and sign: value[2 * level + 1] is the negative one. Rebuilt when the quantiser changes.
    int32_t level_q;
    int16_t level_value[64];
};

static_assert(sizeof(DecoderState) <= LUMASET_STATE_SIZE);
static_assert(sizeof(DecoderTables) <= LUMASET_TABLES_SIZE);
static_assert(sizeof(DecoderStream) <= LUMASET_STREAM_SIZE);
static_assert(alignof(DecoderState) <= 8 && alignof(DecoderTables) <= 8 && alignof(DecoderStream) <= 8);

// The working set of one call: the current instance's three blocks.
struct Context {
    DecoderState *s;
    DecoderTables *t;
    DecoderStream *st;
};

} // namespace strandel::lumaset
