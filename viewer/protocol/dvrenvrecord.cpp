#include "viewer/protocol/dvrenvrecord.h"

#include <algorithm>
#include <cstring>

namespace strandel {

namespace {

using E = EnvEncoding;

// Builders: one value, an array of one-byte elements, an index over a list of n items.
DvrEnvField One(const char *name, int offset, E e, int min = 0, int max = 255, uint8_t ch = kEnvChAll)
{
    return {name, uint16_t(offset), 1, 1, 1, e, int16_t(min), int16_t(max), 0, ch};
}
DvrEnvField Arr(const char *name, int offset, int count, E e, int min = 0, int max = 255, int stride = 1,
                uint8_t ch = kEnvChAll)
{
    return {name, uint16_t(offset), uint16_t(count), uint16_t(stride), 1, e, int16_t(min), int16_t(max), 0, ch};
}
DvrEnvField Idx(const char *name, int offset, int items, int count = 1, uint8_t ch = kEnvChAll)
{
    return {name, uint16_t(offset), uint16_t(count), 1, 1, E::Index, 0, int16_t(items - 1), 0, ch};
}
DvrEnvField Txt(const char *name, int offset, int width, int textMax, int count = 1)
{
    return {name, uint16_t(offset), uint16_t(count), uint16_t(width), uint16_t(width), E::Text, 0, 0, uint8_t(textMax), kEnvChAll};
}
DvrEnvField Wide(const char *name, int offset, int width, E e, int count = 1, int stride = 0)
{
    return {name, uint16_t(offset), uint16_t(count), uint16_t(stride ? stride : width), uint16_t(width), e, 0, 0, 0, kEnvChAll};
}

std::vector<DvrEnvField> BuildFields()
{
    std::vector<DvrEnvField> f;
    const auto add = [&f](DvrEnvField x) { f.push_back(x); };
    // Quick set-up.
    add(Idx("edtQuickSetup", 7634, 2));
    add(Idx("edtQuickImageSize", kEnvQuickImageSize, 3));
    add(Idx("edtQuickRecordFrame", kEnvQuickRecordFrame, 6));
    add(Idx("edtQuickEvent", 7640, 8));
    add(One("edtQuickPreTime", 7641, E::Number, 0, 5));
    add(One("edtQuickPostTime", 7642, E::Number, 0, 60));
    add(Idx("edtQuickQuality", 7643, 3));
    add(Idx("edtQuickAudio", 7646, 2));
    add(Idx("edtQuickRemoteId", 7479, 17));
    // Screen: positions, sequences, display, titles.
    add(One("edtHorPos", 0, E::Position, -4, 4));
    add(One("edtVerPos", 1, E::Position, -4, 4));
    add(Arr("edtAutoSingleCh", 25, 16, E::Number, 0, 60));
    static const char *kSeq4[] = {"edtSeqTime4A", "edtSeqTime4B", "edtSeqTime4C", "edtSeqTime4D", "edtSeqTime4E"};
    for (int i = 0; i < 5; ++i)
        add(One(kSeq4[i], 41 + i, E::Number, 0, 60));
    add(One("edtSeqTime9A", 46, E::Number, 0, 60));
    add(One("edtSeqTime9B", 47, E::Number, 0, 60));
    add(One("edtSeqTime16", 48, E::Number, 0, 60));
    add(One("edtSeqTime6", 7675, E::Number, 0, 60));
    add(One("edtSeqTime7", 7676, E::Number, 0, 60));
    add(One("edtSeqTime10", 7678, E::Number, 0, 60));
    add(One("edtSeqTime13", 7679, E::Number, 0, 60));
    add(One("chkLossSkip", 49, E::Flag, 0, 1));
    add(One("chkAutoSingle", 50, E::Flag, 0, 1));
    add(Idx("edtClockDisp", 51, 2));
    add(Idx("edtDateTimeMode", 52, 2));
    add(Idx("edtHddFree", 53, 2));
    add(Idx("edtHddFreeMode", 54, 2));
    add(Idx("edtRecStatus", 55, 2));
    add(Idx("edtTitleDisp", 56, 2));
    add(Idx("edtBorderColor", 57, 2));
    add(Idx("edtRemoIdDisp", 58, 2));
    add(Wide("edtTitleCh", kEnvTitleOffset, kEnvTitleWidth, E::Title, 16));
    add(Idx("edtTitleMode", 203, 2));
    // Layout display switches and cells, by channel count.
    add(One("chkLive4ADisplay", 7647, E::Flag, 0, 1, kEnvCh4));
    static const char *kLive8[] = {"chkLive4CDisplay", "chkLive6BDisplay", "chkLive7BDisplay"};
    for (int i = 0; i < 3; ++i)
        add(One(kLive8[i], 7647 + i, E::Flag, 0, 1, kEnvCh8));
    static const char *kLive16[] = {"chkLive4EDisplay", "chkLive6CDisplay", "chkLive7CDisplay",
                                    "chkLive9BDisplay", "chkLive10CDisplay", "chkLive13CDisplay"};
    for (int i = 0; i < 6; ++i)
        add(One(kLive16[i], 7647 + i, E::Flag, 0, 1, kEnvCh16));
    add(Arr("edtMulti4A", 204, 4, E::Number, 1, 16, 1, kEnvCh4));
    add(Arr("edtMulti4C", 204, 4, E::Number, 1, 16, 1, kEnvCh8));
    add(Arr("edtMulti4E", 204, 4, E::Number, 1, 16, 1, kEnvCh16));
    add(Arr("edtMulti9B", 208, 9, E::Number, 1, 16));
    add(Arr("edtMulti6B", 9536, 6, E::Number, 1, 16, 1, kEnvCh8));
    add(Arr("edtMulti6C", 9536, 6, E::Number, 1, 16, 1, kEnvCh4 | kEnvCh16));
    add(Arr("edtMulti7B", 9542, 7, E::Number, 1, 16, 1, kEnvCh8));
    add(Arr("edtMulti7C", 9542, 7, E::Number, 1, 16, 1, kEnvCh4 | kEnvCh16));
    add(Arr("edtMulti10C", 9549, 10, E::Number, 1, 16));
    add(Arr("edtMulti13C", 9559, 13, E::Number, 1, 16));
    // Covert and spot.
    add(Idx("edtCovertCh", 217, 2, 16));
    add(Idx("edtCvSelect", 377, 7));
    add(Idx("edtSpotMode", 379, 3, 1, kEnvCh8 | kEnvCh16));
    add(Idx("edtSpotMode_4CH", 379, 2, 1, kEnvCh4));
    add(One("edtSpotSeqTime", 380, E::Number, 1, 60));
    add(Idx("edtSpotMulti", 381, 2));
    add(Idx("edtSpotDisp", 7645, 2));
    // Pan/tilt.
    add(Idx("edtPtzModel", 382, 14, 16));
    add(Idx("edtPtzSpeed", 9500, 8, 16));
    add(Arr("edtPtzId", 398, 16, E::Number, 0, 255));
    // Schedule and all-day switches; the marks follow the schedule.
    add(Arr("edtAll", kEnvAllDayOffset, 7, E::Schedule, 0, 1));
    add(Arr("edtMon", kEnvScheduleOffset, 168, E::Schedule, 0, 1));
    add(Arr("edtMonMark", kEnvMarkOffset, 168, E::Mark, 0, 1));
    // Recording.
    add(Idx("edtRepeatRecord", 5729, 2));
    add(Idx("edtRepeatAlarm", 5730, 6));
    add(Idx("edtPlayMode", 5731, 3));
    add(Idx("edtBackupMode", 5732, 3));
    {
        DvrEnvField a = Arr("edtAudio", kEnvAudioOffset, 8, E::Audio, 0, 1);
        add(a); // edtAudio1 .. 8: EnvControlName counts these from 1
    }
    add(Wide("RecordProgram", kEnvProgramOffset, kEnvProgramSize, E::Block, kEnvProgramCount));
    add(Idx("edtHolidayRecord", 7644, 2));
    add(Arr("edtHoliMon", 9299, 40, E::Number, 1, 12, 2));
    add(Arr("edtHoliDay", 9300, 40, E::Number, 1, 31, 2));
    // Events, motion, sensors, relays.
    add(Idx("edtEventCheck", 5798, 2));
    add(Idx("edtEventMessage", 5799, 2));
    add(Idx("edtEventSensorMode", 5800, 3));
    add(One("edtEventMessageReset", 5801, E::Number, 1, 30));
    add(Idx("edtEventBuzzer", 5802, 2));
    add(Arr("edtMotionCh", kEnvMotionOffset, 16, E::Number, 1, 5, kEnvMotionStride));
    add(Wide("MotionMask", kEnvMotionOffset + 1, 96, E::Block, 16, kEnvMotionStride));
    add(Idx("edtSensorCh", 7451, 3, 16));
    add(Idx("edtRelayMotion", 7387, 4, 16));
    add(Idx("edtRelayLoss", 7403, 4, 16));
    add(Idx("edtRelayAlarm", 7419, 4, 16));
    add(Arr("edtRelayTime", 7467, 3, E::Number, 1, 30));
    add(Idx("edtRelay4", 9379, 4));
    // System.
    add(Idx("edtVideo", 7674, 3));
    add(Idx("edtLanguage", 7478, 8));
    add(Idx("edtRemoId", 7479, 17)); // after edtQuickRemoteId: written last
    add(Idx("edtKeyEcho", 7480, 2));
    add(Idx("edtHddMode", 7472, 2, 5));
    add(Idx("edtRemovableMode", 7471, 2));
    add(Idx("edtExtHddMode", 9396, 2, 40));
    add(Wide("edtClock", kEnvClockOffset, 7, E::Time));
    add(Txt("edtTimeServer2", 9436, 64, 63));
    add(Idx("edtInternetAdjust", 7488, 2));
    add(Idx("edtTimeZone", 7489, 24));
    add(Idx("edtManualAdjust", 7490, 2));
    add(Idx("edtDayLight", 7491, 2));
    add(One("edtDayStartMonth", 7492, E::OneBased, 0, 11));
    add(One("edtDayStartWeek", 7493, E::OneBased, 0, 4));
    add(Idx("edtDayStartDay", 7494, 7));
    add(One("edtDayStartTime", 7495, E::OneBased, 0, 11));
    add(One("edtDayEndMonth", 7496, E::OneBased, 0, 11));
    add(One("edtDayEndWeek", 7497, E::OneBased, 0, 4));
    add(Idx("edtDayEndDay", 7498, 7));
    add(One("edtDayEndTime", 7499, E::OneBased, 0, 11));
    add(Idx("edtMenuSetupCheck", 7516, 2));
    add(Idx("edtMenuCheck", 7517, 2));
    add(Idx("edtPowerOffCheck", 7518, 2));
    add(Idx("edtRecOffCheck", 7519, 2));
    add(Idx("edtRemoCheck", 7520, 2));
    add(Wide("MasterPassword", kEnvMasterPassword, 8, E::Password));
    add(Wide("SlavePassword", kEnvSlavePassword, 8, E::Password));
    // Network, serial lines, e-mail.
    add(Idx("edtDhcp", 7521, 2));
    add(Wide("edtIp", 7522, 12, E::Ip));
    add(Wide("edtSubnet", 7534, 12, E::Ip));
    add(Wide("edtGateway", 7546, 12, E::Ip));
    add(Wide("edtDns", 7558, 12, E::Ip));
    {
        DvrEnvField port = Wide("edtPort", kEnvPortOffset, 4, E::Digits);
        port.min = 5400;
        port.max = 5499;
        add(port);
    }
    add(Txt("edtDynamicSvr2", 9572, 64, 63));
    add(Idx("edtNetworkLiveImageSize", 9535, 2));
    add(Idx("edt232BaudRate", 7574, 8));
    add(Idx("edt485BaudRate", 7575, 8));
    add(Idx("edt232DataBit", 7576, 3));
    add(Idx("edt485DataBit", 7577, 3));
    add(Idx("edt232ParityBit", 7578, 3));
    add(Idx("edt485ParityBit", 7579, 3));
    add(Idx("edt232StopBit", 7580, 2));
    add(Idx("edt485StopBit", 7581, 2));
    add(One("edtSystemId", 7582, E::Number, 0, 255));
    add(Idx("edtOutputMode", 7583, 2));
    add(Idx("edtSendEmail", 7687, 2));
    add(Txt("edtSmtpServer", 7695, 128, 63));
    add(Txt("edtUserId", 7823, 32, 32));
    add(Txt("edtPassword", 7855, 32, 32));
    add(Txt("edtEmail", 7887, 128, 63, 10)); // edtEmail1 .. 10
    add(Txt("edtDvrEmail", 9167, 128, 63));
    return f;
}

} // namespace

const std::vector<DvrEnvField> &DvrEnvFields()
{
    static const std::vector<DvrEnvField> fields = BuildFields();
    return fields;
}

const std::vector<EnvRange> &DvrEnvReserved()
{
    // 9636 lies in no field either: the recorder's, like the rest.
    static const std::vector<EnvRange> r = {
        {2, 24},       {233, 376},   {378, 378},   {750, 751},   {5721, 5728}, {5733, 5797}, {5803, 5818},
        {7371, 7386},  {7435, 7450}, {7470, 7470}, {7477, 7477}, {7584, 7633}, {7635, 7636}, {7639, 7639},
        {7653, 7673},  {7677, 7677}, {7680, 7686}, {7688, 7694}, {9295, 9298}, {9380, 9395}, {9516, 9527},
        {9636, 9637},
    };
    return r;
}

uint8_t EnvChannelBit(int channels) { return channels == 4 ? kEnvCh4 : channels == 8 ? kEnvCh8 : kEnvCh16; }

std::string EnvControlName(const DvrEnvField &f, int i)
{
    if (f.count == 1)
        return f.name;
    // The audio switches and e-mail addresses are counted from 1 in their names.
    const bool fromOne = f.encoding == E::Audio || std::strcmp(f.name, "edtEmail") == 0;
    return f.name + std::to_string(fromOne ? i + 1 : i);
}

const DvrEnvField *FindEnvField(const std::string &controlName, int *element)
{
    for (const DvrEnvField &f : DvrEnvFields())
        for (int i = 0; i < f.count; ++i)
            if (EnvControlName(f, i) == controlName) {
                if (element)
                    *element = i;
                return &f;
            }
    return nullptr;
}

bool EnvEncodingNormalises(EnvEncoding e)
{
    return e == E::Flag || e == E::Schedule || e == E::Mark || e == E::Audio || e == E::Title;
}

uint32_t DigitsToNumber(const uint8_t *bytes, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 10 + bytes[i];
    return v;
}

void NumberToDigits(uint8_t *bytes, uint32_t value, int n)
{
    for (int i = n - 1; i >= 0; --i) {
        bytes[i] = uint8_t(value % 10);
        value /= 10;
    }
}

bool DigitsValid(const uint8_t *bytes, int n)
{
    return std::all_of(bytes, bytes + n, [](uint8_t b) { return b <= 9; });
}

std::optional<int> DecodeEnvValue(const DvrEnvField &f, const uint8_t *p)
{
    const int b = p[0];
    switch (f.encoding) {
    case E::Index:
        return b <= f.max ? std::optional<int>(b) : std::nullopt;
    case E::Number:
        return b >= f.min && b <= f.max ? std::optional<int>(b) : std::nullopt;
    case E::Position:
        return b <= 8 ? std::optional<int>(b - 4) : std::nullopt;
    case E::OneBased:
        return b >= 1 && b - 1 <= f.max ? std::optional<int>(b - 1) : std::nullopt;
    case E::Audio:
        if (b == 99 || b == 0)
            return 0;
        return b == 1 ? std::optional<int>(1) : std::nullopt;
    case E::Flag:
    case E::Mark:
        return b != 0 ? 1 : 0;
    case E::Schedule:
        return b == 2 ? 0 : 1;
    case E::Digits: {
        if (!DigitsValid(p, f.width))
            return std::nullopt;
        const int v = int(DigitsToNumber(p, f.width));
        return v >= f.min && v <= f.max ? std::optional<int>(v) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

bool EncodeEnvValue(const DvrEnvField &f, int v, uint8_t *p)
{
    switch (f.encoding) {
    case E::Index:
    case E::Number:
        if (v < f.min || v > f.max)
            return false;
        p[0] = uint8_t(v);
        return true;
    case E::Position:
        if (v < -4 || v > 4)
            return false;
        p[0] = uint8_t(v + 4);
        return true;
    case E::OneBased:
        if (v < 0 || v > f.max)
            return false;
        p[0] = uint8_t(v + 1);
        return true;
    case E::Audio:
        if (v != 0 && v != 1)
            return false;
        p[0] = v ? 1 : 99;
        return true;
    case E::Flag:
    case E::Mark:
        p[0] = v ? 1 : 0;
        return true;
    case E::Schedule:
        if (v != 0 && v != 1)
            return false;
        p[0] = v == 0 ? 2 : 6;
        return true;
    case E::Digits:
        if (v < f.min || v > f.max)
            return false;
        NumberToDigits(p, uint32_t(v), f.width);
        return true;
    default:
        return false;
    }
}

std::optional<int> DecodeEnvOctet(const uint8_t *element, int k)
{
    const uint8_t *d = element + 3 * k;
    if (!DigitsValid(d, 3))
        return std::nullopt;
    const int v = int(DigitsToNumber(d, 3));
    return v <= 255 ? std::optional<int>(v) : std::nullopt;
}

void EncodeEnvOctet(uint8_t *element, int k, int value)
{
    NumberToDigits(element + 3 * k, uint32_t(std::clamp(value, 0, 255)), 3);
}

std::string DecodeEnvText(const DvrEnvField &f, const uint8_t *p)
{
    const size_t limit = f.encoding == E::Title ? 8 : std::min<size_t>(f.width, f.textMax);
    const void *nul = std::memchr(p, 0, limit);
    const size_t n = nul ? size_t(static_cast<const uint8_t *>(nul) - p) : limit;
    return std::string(reinterpret_cast<const char *>(p), n);
}

void EncodeEnvText(const DvrEnvField &f, const std::string &text, uint8_t *p)
{
    if (f.encoding == E::Title) {
        const size_t n = std::min<size_t>(text.size(), 8);
        std::memcpy(p, text.data(), n);
        std::memset(p + n, ' ', 8 - n);
        p[8] = 0;
        return;
    }
    const size_t n = std::min<size_t>({text.size(), f.textMax, f.width});
    std::memcpy(p, text.data(), n);
    if (n < f.width)
        p[n] = 0;
}

} // namespace strandel
