#include "simenv.h"

#include "viewer/protocol/dvrenvrecord.h"
#include "viewer/protocol/recordprogram.h"

#include <algorithm>
#include <utility>
#include <string>

namespace strandel::sim {

namespace {

// Program p's rates: the page set's budget shared out evenly; program 6, the one outside the
// schedule, keeps one picture a second for normal recording.
void FillProgram(uint8_t *b, int p, const RecorderKind &kind)
{
    const int fpsLimit = kind.ntsc ? 30 : 25;
    int normal = 0, single = fpsLimit, complex = 0;
    if (UsesVariantPages(kind.variant, kind.channels)) {
        const int group = kind.variant == 1 ? 4 : 8;
        normal = complex = kGroupLimit / (2 * group); // half-width pictures count twice
    } else if (kind.variant == 4 && kind.channels == 4) {
        normal = complex = 10; // rates of the fixed lists: 1, 2, 5, 10, 30
        single = 30;
    } else {
        const int budget = kind.ntsc ? 120 : 100;
        normal = complex = std::min(fpsLimit, budget / (2 * kind.channels));
    }
    if (p == 6)
        normal = 1;
    b[prg::kType] = 0;      // SINGLE
    b[prg::kInterval] = 1;
    b[prg::kPreTime] = 2;
    for (int ch = 0; ch < kind.channels; ++ch) {
        b[prg::kSize + ch] = 0; // 720 x 240 / 288
        b[prg::kNormal + 2 * ch] = uint8_t(normal);
        b[prg::kSingleEvent + 2 * ch] = uint8_t(single);
        b[prg::kComplex + 2 * ch] = uint8_t(complex);
        b[prg::kQualityNormal + ch] = 1; // FINE
        b[prg::kQualityEvent + ch] = 2;  // SUPERFINE
        b[prg::kPostTime + ch] = 10;
        b[prg::kAlarm + ch] = 1;
        b[prg::kMotion + ch] = 1;
        if (UsesVariantPages(kind.variant, kind.channels))
            b[prg::kChSel + 4 * ch] = uint8_t(ch + 1);
    }
}

} // namespace

uint8_t DefaultLayoutCell(int cells, int index, int channels)
{
    const int first = cells == 9 && channels > 9 ? channels - 8 : 1;
    return uint8_t(first + index <= channels ? first + index : 0);
}

std::vector<uint8_t> BuildRecorderEnv(const RecorderKind &kind)
{
    std::vector<uint8_t> env(kDvrEnvRecordSize, 0);
    uint8_t *e = env.data();
    const int n = kind.channels;
    e[0] = 4; // picture positions centred
    e[1] = 4;

    // Screen: three seconds a view in the sequences, the overlays on, titles as text.
    for (int ch = 0; ch < 16; ++ch)
        e[25 + ch] = 3;
    std::fill(e + 41, e + 49, uint8_t(3));
    e[49] = 1;                                // skip lost channels
    e[51] = e[53] = e[55] = e[56] = 1;        // clock, free space, record status, titles
    for (int ch = 0; ch < 16; ++ch) {
        uint8_t *t = e + kEnvTitleOffset + kEnvTitleWidth * ch;
        const std::string title = "CAMERA" + std::string(ch < 9 ? "0" : "") + std::to_string(ch + 1);
        std::fill(t, t + 8, uint8_t(' '));
        std::copy(title.begin(), title.end(), t);
        t[8] = 0;
        e[398 + ch] = uint8_t(ch);            // pan/tilt id
        e[9500 + ch] = 3;                     // pan/tilt line at 9600 baud
    }
    // Layout cells past the channel count repeat the channels: the editor shows no empty cell.
    const auto cell = [n](int cells, int i) {
        const uint8_t c = DefaultLayoutCell(cells, i, n);
        return c ? c : uint8_t(i % n + 1);
    };
    const std::pair<int, int> lists[] = {{204, 4}, {208, 9}, {9536, 6}, {9542, 7}, {9549, 10}, {9559, 13}};
    for (const auto &[at, cells] : lists)
        for (int i = 0; i < cells; ++i)
            e[at + i] = cell(cells, i);
    // The custom layouts shown: live 4 on 4 channels; 4C, 6B, 7B on 8; 4E, 6C, 7C, 9B, 10C,
    // 13C on 16. The six-cell layout exists for every variant but 0.
    const int layouts = n == 4 ? 1 : n == 8 ? 3 : n == 16 ? 6 : 0;
    for (int i = 0; i < layouts; ++i)
        e[7647 + i] = uint8_t(i == 1 && kind.variant == 0 ? 0 : 1);
    e[380] = 3;                               // spot sequence
    e[7675] = e[7676] = e[7678] = e[7679] = 3;

    // Recording around the clock, overwriting the oldest.
    for (int i = 0; i < 168; ++i) {
        e[kEnvScheduleOffset + i] = 2;
        e[kEnvMarkOffset + i] = 1;
    }
    for (int d = 0; d < 7; ++d)
        e[kEnvAllDayOffset + d] = 2;
    for (int p = 0; p < kEnvProgramCount; ++p)
        FillProgram(e + kEnvProgramOffset + kEnvProgramSize * p, p, kind);
    for (int a = 0; a < 8; ++a)
        e[kEnvAudioOffset + a] = 99;
    e[5729] = 1;                              // repeat record
    for (int k = 0; k < 40; ++k)
        e[9299 + 2 * k] = e[9300 + 2 * k] = 1; // holidays, all unused on 1 January

    // Events: checked, with a message for five seconds; every cell of every picture watched.
    e[5798] = e[5799] = 1;
    e[5801] = 5;
    for (int ch = 0; ch < 16; ++ch) {
        uint8_t *m = e + kEnvMotionOffset + kEnvMotionStride * ch;
        m[0] = 3;
        for (int row = 0; row < 24; ++row) {
            m[1 + 4 * row] = 0xFF;
            m[2 + 4 * row] = 0xFF;
            m[3 + 4 * row] = 0xFF;
            m[4 + 4 * row] = 0x3F;
        }
    }
    e[7467] = e[7468] = e[7469] = 5;          // relay output times

    // System: daylight saving from the last Sunday of March, 2 AM, to the last of October, 3 AM.
    const uint8_t daylight[8] = {3, 5, 0, 2, 10, 5, 0, 3};
    std::copy(daylight, daylight + 8, e + 7492);
    e[7674] = kind.ntsc ? 1 : 0;
    NumberToDigits(e + kEnvMasterPassword, 11111111, 8);
    NumberToDigits(e + kEnvSlavePassword, 22222222, 8);

    // Link: the loopback address, the port, both serial lines at their usual settings.
    const unsigned ip[4] = {127, 0, 0, 1}, mask[4] = {255, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        NumberToDigits(e + 7522 + 3 * i, ip[i], 3);
        NumberToDigits(e + 7534 + 3 * i, mask[i], 3);
        NumberToDigits(e + 7546 + 3 * i, ip[i], 3);
        NumberToDigits(e + 7558 + 3 * i, ip[i], 3);
    }
    NumberToDigits(e + kEnvPortOffset, kind.port >= 5400 && kind.port <= 5499 ? kind.port : 5400, 4);
    e[7574] = 7;                              // RS-232 at 115200
    e[7575] = 3;                              // RS-485 at 9600
    e[7576] = e[7577] = 2;                    // 8 data bits
    e[7582] = 1;                              // system id
    e[7643] = 1;                              // quick set-up quality FINE
    return env;
}

int ScheduledProgram(const std::vector<uint8_t> &env, int variant, int channels, int weekday, int hour)
{
    const bool on = env.size() >= size_t(kDvrEnvRecordSize) && weekday >= 0 && weekday < 7 && hour >= 0 &&
                    hour < 24 && env[size_t(kEnvScheduleOffset + weekday * 24 + hour)] == 2;
    if (!on)
        return 6;
    return UsesVariantPages(variant, channels) ? 0 : 2;
}

} // namespace strandel::sim
