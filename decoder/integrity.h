#pragma once
// The picture integrity check: marked coefficient parities of each run of macroblocks carry a
// keyed digest of the coefficients of the run before it.
#include <cstdint>

namespace strandel::lumaset {

// The last flagged macroblock (integrity status) of an instance.
struct TamperRecord {
    int32_t flagged;
    int32_t frame;
    int32_t macroblock;
};

constexpr int kIntegrityMaxLevel = 4; // settings level; the state stores level + 1
constexpr int kIntegrityBits = 130;
constexpr int kIntegrityMessage = 1920;
constexpr uint8_t kDontCare = 'X';

// The runs of the check and its status: one per instance, so that streams decoded side by side,
// on threads of their own, keep apart.
struct IntegrityState {
    uint8_t gathered[kIntegrityBits];
    int32_t gathered_fill;
    uint8_t expected[kIntegrityBits];
    uint8_t message[kIntegrityMessage];
    int32_t message_fill;
    uint32_t history;     // activity bits of the last ten macroblocks
    int32_t flagged_picture;
    TamperRecord tamper;
};
// A fresh state: nothing gathered, every slot don't-care, nothing flagged.
void ResetRuns(IntegrityState &st);

// Cleared at the first macroblock of each checked picture.
void ClearTamper(IntegrityState &st);
// The first flagged macroblock of a picture wins; later ones leave the record as it is.
void FlagTamper(IntegrityState &st, int32_t frame, int32_t macroblock);

// The digest of the check: HMAC-MD5 with a 16-byte key taken from the 64-byte key block.
void HmacMd5(const uint8_t key_block[64], const uint8_t *message, int32_t length, uint8_t out[16]);

// One macroblock (or MCU). stored_level is the settings level + 1; column is the macroblock
// column after the advance (0 after the last of a row); blocks are the quantised coefficients in
// natural order, activity the bytes each block's data took. Returns true when this call flagged it.
bool IntegrityCheck(IntegrityState &st, int32_t stored_level, const uint8_t key_block[64], int32_t mode, int32_t mb_index,
                    int32_t column, const int16_t (*blocks)[64], const int16_t *activity, int32_t frame);

} // namespace strandel::lumaset
