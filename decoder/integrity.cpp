// The picture integrity check, run after every checked macroblock or MCU.
#include "decoder/integrity.h"

#include "decoder/md5.h"

#include <cstring>

namespace strandel::lumaset {
namespace {

constexpr uint8_t kLumaCandidates[33] = {63, 55, 62, 47, 61, 54, 46, 53, 38, 52, 45, 37, 44, 29, 43, 36, 28,
                                         35, 20, 34, 27, 19, 26, 11, 25, 18, 10, 17, 2,  16, 9,  1,  8};
constexpr uint8_t kChromaCandidates[10] = {11, 25, 18, 17, 10, 9, 2, 16, 1, 8};
// Candidates examined per block, by settings level.
constexpr int kLumaExamined[kIntegrityMaxLevel + 1] = {15, 20, 25, 30, 33};
constexpr int kChromaExamined[kIntegrityMaxLevel + 1] = {5, 5, 5, 5, 10};
constexpr int kLumaMarks = 5, kChromaMarks = 3;

void SetExpected(IntegrityState &st, const uint8_t digest[16])
{
    for (int i = 0; i < 128; ++i)
        st.expected[i] = (digest[i >> 3] >> (7 - (i & 7))) & 1;
    st.expected[128] = st.expected[129] = st.expected[0];
}

} // namespace

void ClearTamper(IntegrityState &st) { st.tamper.flagged = 0; }

void FlagTamper(IntegrityState &st, int32_t frame, int32_t macroblock)
{
    TamperRecord &t = st.tamper;
    if (t.flagged)
        return;
    t.flagged = 1;
    t.frame = frame;
    t.macroblock = macroblock;
}

void ResetRuns(IntegrityState &st)
{
    st = IntegrityState{};
    std::memset(st.gathered, kDontCare, sizeof st.gathered);
}

void HmacMd5(const uint8_t key_block[64], const uint8_t *message, int32_t length, uint8_t out[16])
{
    // The key: every fourth byte of the block, walking one byte further on in each group of four.
    uint8_t key[16];
    for (int i = 0; i < 16; ++i)
        key[i] = key_block[4 * i + (i & 3)];
    HmacMd5Raw(key, sizeof key, message, length > 0 ? size_t(length) : 0u, out);
}

bool IntegrityCheck(IntegrityState &st, int32_t stored_level, const uint8_t key_block[64], int32_t mode, int32_t mb_index,
                    int32_t column, const int16_t (*blocks)[64], const int16_t *activity, int32_t frame)
{
    int level = stored_level - 1;
    if (level < 0 || level > kIntegrityMaxLevel) // refused when set; held here all the same
        level = level < 0 ? 0 : kIntegrityMaxLevel;
    const bool checkPosition = (column - 1) % 5 == 0;
    bool flaggedNow = false;

    for (int b = 0; b < 6; ++b) {
        const int16_t *q = blocks[b];
        int16_t work[64];
        std::memcpy(work, q, sizeof work);
        if (checkPosition && b == 0)
            st.gathered_fill = 0;

        const bool luma = b < 4;
        const uint8_t *cand = luma ? kLumaCandidates : kChromaCandidates;
        const int examined = luma ? kLumaExamined[level] : kChromaExamined[level];
        const int maxMarks = luma ? kLumaMarks : kChromaMarks;
        // Marked positions as gathering keys: column by column, so the key is the transposed index.
        int keys[kLumaMarks];
        int marks = 0;
        for (int i = 0; i < examined && marks < maxMarks; ++i) {
            const int pos = cand[i];
            const int v = q[pos];
            if (v >= -1 && v <= 1)
                continue;
            int k = marks++;
            const int key = (pos & 7) * 8 + (pos >> 3);
            for (; k > 0 && keys[k - 1] > key; --k)
                keys[k] = keys[k - 1];
            keys[k] = key;
            work[pos] = int16_t(v > 0 ? (v & ~1) : (v & 1) ? v + 1 : v);
        }

        if (checkPosition && b == 0) {
            if (mb_index == 0)
                st.flagged_picture = 0;
            if ((mode != 0 || mb_index > 5) && st.history == 0 && !st.flagged_picture) {
                bool differ = false;
                for (int i = 0; i < kIntegrityBits; ++i)
                    differ = differ || (st.gathered[i] != kDontCare && st.gathered[i] != st.expected[i]);
                if (differ) {
                    st.flagged_picture = 1;
                    FlagTamper(st, frame, mb_index);
                    flaggedNow = true;
                }
            }
            uint8_t digest[16];
            HmacMd5(key_block, st.message, st.message_fill, digest);
            SetExpected(st, digest);
            std::memset(st.message, 0, sizeof st.message);
            st.message_fill = 0;
            std::memset(st.gathered, kDontCare, sizeof st.gathered);
        }

        // A run longer than five macroblocks (odd column counts, merged runs) keeps what fits.
        const int room = kIntegrityMessage - st.message_fill;
        const int bytes = room < 64 ? room : 64;
        for (int i = 0; i < bytes; ++i)
            st.message[st.message_fill + i] = uint8_t(work[i]);
        st.message_fill += bytes;

        for (int i = 0; i < marks && st.gathered_fill < kIntegrityBits; ++i) {
            const int pos = (keys[i] & 7) * 8 + (keys[i] >> 3);
            st.gathered[st.gathered_fill++] = uint8_t(q[pos] & 1);
        }
    }

    bool busy = false;
    for (int b = 0; b < 6; ++b)
        busy = busy || activity[b] > (b < 4 ? 100 : 60);
    st.history = ((st.history << 1) | (busy ? 1u : 0u)) & 0x3FF;
    return flaggedNow;
}

} // namespace strandel::lumaset
