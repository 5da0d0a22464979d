#include "viewer/protocol/recordprogram.h"

#include <algorithm>

namespace strandel {

int FrameSum(const int *rates, const int *sizes, const bool *counted, int channels)
{
    int sum = 0;
    for (int ch = 0; ch < channels; ++ch)
        if (counted[ch])
            sum += rates[ch] * (sizes[ch] == kSizeFull ? 4 : 2);
    return sum;
}

int ClampInterval(int interval) { return std::clamp(interval, 1, 60); }

int FrameLimit(int interval, int budget) { return ClampInterval(interval) * budget; }

int GroupSum(const int *rates, const bool *shown, int count, int leaderSize)
{
    int sum = 0;
    for (int i = 0; i < count; ++i)
        if (shown[i])
            sum += rates[i];
    return sum * (leaderSize == kSizeFull ? 4 : 2);
}

std::array<int, 16> AutoPairs(const int *sizes, int channels)
{
    std::array<int, 16> pairs{};
    int open = -1;
    for (int ch = 0; ch < channels && ch < 16; ++ch) {
        if (sizes[ch] != kSizeHalf)
            continue;
        if (open < 0) {
            open = ch;
        } else {
            pairs[size_t(open)] = ch + 1;
            open = -1;
        }
    }
    return pairs;
}

uint32_t PartnerSet(const int *sizes, const int *pairs, int channels)
{
    uint32_t set = 0;
    for (int ch = 0; ch < channels && ch < 16; ++ch)
        if (sizes[ch] == kSizeHalf && pairs[ch] > 0 && pairs[ch] <= 16 && pairs[ch] != ch + 1)
            set |= 1u << (pairs[ch] - 1);
    return set;
}

bool PairsValid(const int *sizes, const int *pairs, const bool *rateShown, int channels)
{
    uint32_t used = 0;
    for (int ch = 0; ch < channels && ch < 16; ++ch) {
        if (!rateShown[ch] || sizes[ch] != kSizeHalf)
            continue;
        const int k = pairs[ch];
        if (k <= 0 || k > 16 || k == ch + 1)
            return false;
        const uint32_t bit = 1u << (k - 1);
        if (used & bit)
            return false;
        used |= bit;
    }
    for (int ch = 0; ch < channels && ch < 16; ++ch)
        if (!(used & (1u << ch)) && !rateShown[ch])
            return false;
    return true;
}

} // namespace strandel
