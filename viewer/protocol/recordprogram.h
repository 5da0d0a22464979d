#pragma once
// The sums and rules of a record program: how many pictures per second the channels ask for
// against the recorder's budget, and how half-size channels pair up. Plain values in, plain
// answers out, so the editor's pages and the tests share one version.
#include <array>
#include <cstdint>

namespace strandel {

// Block offsets inside one 451-byte record program.
namespace prg {
constexpr int kType = 0;
constexpr int kSize = 1;        // + ch
constexpr int kPair = 17;       // + ch
constexpr int kSingleEvent = 65; // + 2 ch
constexpr int kNormal = 97;      // + 2 ch
constexpr int kComplex = 129;    // + 2 ch
constexpr int kInterval = 161;
constexpr int kQualityNormal = 162; // + ch
constexpr int kQualityEvent = 178;  // + ch
constexpr int kPreTime = 194;       // one byte for every channel
constexpr int kPostTime = 195;      // + ch
constexpr int kAlarm = 211, kLoss = 227, kMotion = 243; // + ch
constexpr int kChSel = 387;         // + 4 ch
} // namespace prg

constexpr int kSizeFull = 1;  // 720x480 / 720x576: counts four times
constexpr int kSizeHalf = 2;  // 360x240 / 360x288: pairs with another channel
constexpr int kGroupLimit = 120; // a variant page group's fixed budget

// The set-up pages know recorders of 4, 8 and 16 channels; any other count shows as 16.
constexpr int PageSetChannels(int channels) { return channels == 4 || channels == 8 ? channels : 16; }
// Variant 1, and variant 2 on a recorder of sixteen channels, keep their programs on the variant
// pages; a recorder of another count edits its own channels on the default pages.
constexpr bool UsesVariantPages(int variant, int channels) { return variant == 1 || (variant == 2 && channels == 16); }

// Pictures per second the counted channels ask for: a full-frame channel counts four times,
// any other twice.
int FrameSum(const int *rates, const int *sizes, const bool *counted, int channels);
// The budget of one interval: interval x budget. The interval is brought into 1..60 first, so
// a stored 0 (or any byte a recorder left there) cannot make every program over budget.
int FrameLimit(int interval, int budget);
int ClampInterval(int interval);
// A variant page group: the shown values, x4 when the leader's size is full frame, else x2.
int GroupSum(const int *rates, const bool *shown, int count, int leaderSize);
inline bool GroupOver(int sum) { return sum > kGroupLimit; }

// Automatic pairing: every half-size channel gets pair 0, then of each two half-size channels
// in turn the first gets the second (1-based channel number).
std::array<int, 16> AutoPairs(const int *sizes, int channels);
// Bits of the channels named as a partner by a half-size channel (k > 0, not its own number).
uint32_t PartnerSet(const int *sizes, const int *pairs, int channels);
// The send check: every half-size channel whose rate is shown names a partner other than
// itself, no partner twice, and every channel whose rate is hidden is somebody's partner.
bool PairsValid(const int *sizes, const int *pairs, const bool *rateShown, int channels);

} // namespace strandel
