// The configuration record's map and codec: where every field lies and how it is encoded,
// that every byte is either a field or the recorder's own, and the wire/shown vectors.
#include <gtest/gtest.h>

#include "viewer/protocol/dvrenvrecord.h"

#include <cstring>
#include <map>
#include <string>

using namespace strandel;
using E = EnvEncoding;

namespace {

struct Expect {
    const char *name;
    int offset, count, stride, width;
    E encoding;
};

// The whole map, field by field.
const Expect kMap[] = {
    {"edtQuickSetup", 7634, 1, 1, 1, E::Index},      {"edtQuickImageSize", 7637, 1, 1, 1, E::Index},
    {"edtQuickRecordFrame", 7638, 1, 1, 1, E::Index}, {"edtQuickEvent", 7640, 1, 1, 1, E::Index},
    {"edtQuickPreTime", 7641, 1, 1, 1, E::Number},    {"edtQuickPostTime", 7642, 1, 1, 1, E::Number},
    {"edtQuickQuality", 7643, 1, 1, 1, E::Index},     {"edtQuickAudio", 7646, 1, 1, 1, E::Index},
    {"edtQuickRemoteId", 7479, 1, 1, 1, E::Index},    {"edtHorPos", 0, 1, 1, 1, E::Position},
    {"edtVerPos", 1, 1, 1, 1, E::Position},           {"edtAutoSingleCh", 25, 16, 1, 1, E::Number},
    {"edtSeqTime4A", 41, 1, 1, 1, E::Number},         {"edtSeqTime4B", 42, 1, 1, 1, E::Number},
    {"edtSeqTime4C", 43, 1, 1, 1, E::Number},         {"edtSeqTime4D", 44, 1, 1, 1, E::Number},
    {"edtSeqTime4E", 45, 1, 1, 1, E::Number},         {"edtSeqTime9A", 46, 1, 1, 1, E::Number},
    {"edtSeqTime9B", 47, 1, 1, 1, E::Number},         {"edtSeqTime16", 48, 1, 1, 1, E::Number},
    {"edtSeqTime6", 7675, 1, 1, 1, E::Number},        {"edtSeqTime7", 7676, 1, 1, 1, E::Number},
    {"edtSeqTime10", 7678, 1, 1, 1, E::Number},       {"edtSeqTime13", 7679, 1, 1, 1, E::Number},
    {"chkLossSkip", 49, 1, 1, 1, E::Flag},            {"chkAutoSingle", 50, 1, 1, 1, E::Flag},
    {"edtClockDisp", 51, 1, 1, 1, E::Index},          {"edtDateTimeMode", 52, 1, 1, 1, E::Index},
    {"edtHddFree", 53, 1, 1, 1, E::Index},            {"edtHddFreeMode", 54, 1, 1, 1, E::Index},
    {"edtRecStatus", 55, 1, 1, 1, E::Index},          {"edtTitleDisp", 56, 1, 1, 1, E::Index},
    {"edtBorderColor", 57, 1, 1, 1, E::Index},        {"edtRemoIdDisp", 58, 1, 1, 1, E::Index},
    {"edtTitleCh", 59, 16, 9, 9, E::Title},           {"edtTitleMode", 203, 1, 1, 1, E::Index},
    {"chkLive4ADisplay", 7647, 1, 1, 1, E::Flag},     {"chkLive4CDisplay", 7647, 1, 1, 1, E::Flag},
    {"chkLive6BDisplay", 7648, 1, 1, 1, E::Flag},     {"chkLive7BDisplay", 7649, 1, 1, 1, E::Flag},
    {"chkLive4EDisplay", 7647, 1, 1, 1, E::Flag},     {"chkLive6CDisplay", 7648, 1, 1, 1, E::Flag},
    {"chkLive7CDisplay", 7649, 1, 1, 1, E::Flag},     {"chkLive9BDisplay", 7650, 1, 1, 1, E::Flag},
    {"chkLive10CDisplay", 7651, 1, 1, 1, E::Flag},    {"chkLive13CDisplay", 7652, 1, 1, 1, E::Flag},
    {"edtMulti4A", 204, 4, 1, 1, E::Number},          {"edtMulti4C", 204, 4, 1, 1, E::Number},
    {"edtMulti4E", 204, 4, 1, 1, E::Number},          {"edtMulti9B", 208, 9, 1, 1, E::Number},
    {"edtMulti6B", 9536, 6, 1, 1, E::Number},         {"edtMulti6C", 9536, 6, 1, 1, E::Number},
    {"edtMulti7B", 9542, 7, 1, 1, E::Number},         {"edtMulti7C", 9542, 7, 1, 1, E::Number},
    {"edtMulti10C", 9549, 10, 1, 1, E::Number},       {"edtMulti13C", 9559, 13, 1, 1, E::Number},
    {"edtCovertCh", 217, 16, 1, 1, E::Index},         {"edtCvSelect", 377, 1, 1, 1, E::Index},
    {"edtSpotMode", 379, 1, 1, 1, E::Index},          {"edtSpotMode_4CH", 379, 1, 1, 1, E::Index},
    {"edtSpotSeqTime", 380, 1, 1, 1, E::Number},      {"edtSpotMulti", 381, 1, 1, 1, E::Index},
    {"edtSpotDisp", 7645, 1, 1, 1, E::Index},         {"edtPtzModel", 382, 16, 1, 1, E::Index},
    {"edtPtzSpeed", 9500, 16, 1, 1, E::Index},        {"edtPtzId", 398, 16, 1, 1, E::Number},
    {"edtAll", 9528, 7, 1, 1, E::Schedule},           {"edtMon", 414, 168, 1, 1, E::Schedule},
    {"edtMonMark", 582, 168, 1, 1, E::Mark},          {"edtRepeatRecord", 5729, 1, 1, 1, E::Index},
    {"edtRepeatAlarm", 5730, 1, 1, 1, E::Index},      {"edtPlayMode", 5731, 1, 1, 1, E::Index},
    {"edtBackupMode", 5732, 1, 1, 1, E::Index},       {"edtAudio", 5713, 8, 1, 1, E::Audio},
    {"RecordProgram", 752, 11, 451, 451, E::Block},   {"edtHolidayRecord", 7644, 1, 1, 1, E::Index},
    {"edtHoliMon", 9299, 40, 2, 1, E::Number},        {"edtHoliDay", 9300, 40, 2, 1, E::Number},
    {"edtEventCheck", 5798, 1, 1, 1, E::Index},       {"edtEventMessage", 5799, 1, 1, 1, E::Index},
    {"edtEventSensorMode", 5800, 1, 1, 1, E::Index},  {"edtEventMessageReset", 5801, 1, 1, 1, E::Number},
    {"edtEventBuzzer", 5802, 1, 1, 1, E::Index},      {"edtMotionCh", 5819, 16, 97, 1, E::Number},
    {"MotionMask", 5820, 16, 97, 96, E::Block},       {"edtSensorCh", 7451, 16, 1, 1, E::Index},
    {"edtRelayMotion", 7387, 16, 1, 1, E::Index},     {"edtRelayLoss", 7403, 16, 1, 1, E::Index},
    {"edtRelayAlarm", 7419, 16, 1, 1, E::Index},      {"edtRelayTime", 7467, 3, 1, 1, E::Number},
    {"edtRelay4", 9379, 1, 1, 1, E::Index},           {"edtVideo", 7674, 1, 1, 1, E::Index},
    {"edtLanguage", 7478, 1, 1, 1, E::Index},         {"edtRemoId", 7479, 1, 1, 1, E::Index},
    {"edtKeyEcho", 7480, 1, 1, 1, E::Index},          {"edtHddMode", 7472, 5, 1, 1, E::Index},
    {"edtRemovableMode", 7471, 1, 1, 1, E::Index},    {"edtExtHddMode", 9396, 40, 1, 1, E::Index},
    {"edtClock", 7481, 1, 7, 7, E::Time},             {"edtTimeServer2", 9436, 1, 64, 64, E::Text},
    {"edtInternetAdjust", 7488, 1, 1, 1, E::Index},   {"edtTimeZone", 7489, 1, 1, 1, E::Index},
    {"edtManualAdjust", 7490, 1, 1, 1, E::Index},     {"edtDayLight", 7491, 1, 1, 1, E::Index},
    {"edtDayStartMonth", 7492, 1, 1, 1, E::OneBased}, {"edtDayStartWeek", 7493, 1, 1, 1, E::OneBased},
    {"edtDayStartDay", 7494, 1, 1, 1, E::Index},      {"edtDayStartTime", 7495, 1, 1, 1, E::OneBased},
    {"edtDayEndMonth", 7496, 1, 1, 1, E::OneBased},   {"edtDayEndWeek", 7497, 1, 1, 1, E::OneBased},
    {"edtDayEndDay", 7498, 1, 1, 1, E::Index},        {"edtDayEndTime", 7499, 1, 1, 1, E::OneBased},
    {"edtMenuSetupCheck", 7516, 1, 1, 1, E::Index},   {"edtMenuCheck", 7517, 1, 1, 1, E::Index},
    {"edtPowerOffCheck", 7518, 1, 1, 1, E::Index},    {"edtRecOffCheck", 7519, 1, 1, 1, E::Index},
    {"edtRemoCheck", 7520, 1, 1, 1, E::Index},        {"MasterPassword", 7500, 1, 8, 8, E::Password},
    {"SlavePassword", 7508, 1, 8, 8, E::Password},    {"edtDhcp", 7521, 1, 1, 1, E::Index},
    {"edtIp", 7522, 1, 12, 12, E::Ip},                {"edtSubnet", 7534, 1, 12, 12, E::Ip},
    {"edtGateway", 7546, 1, 12, 12, E::Ip},           {"edtDns", 7558, 1, 12, 12, E::Ip},
    {"edtPort", 7570, 1, 4, 4, E::Digits},            {"edtDynamicSvr2", 9572, 1, 64, 64, E::Text},
    {"edtNetworkLiveImageSize", 9535, 1, 1, 1, E::Index}, {"edt232BaudRate", 7574, 1, 1, 1, E::Index},
    {"edt485BaudRate", 7575, 1, 1, 1, E::Index},      {"edt232DataBit", 7576, 1, 1, 1, E::Index},
    {"edt485DataBit", 7577, 1, 1, 1, E::Index},       {"edt232ParityBit", 7578, 1, 1, 1, E::Index},
    {"edt485ParityBit", 7579, 1, 1, 1, E::Index},     {"edt232StopBit", 7580, 1, 1, 1, E::Index},
    {"edt485StopBit", 7581, 1, 1, 1, E::Index},       {"edtSystemId", 7582, 1, 1, 1, E::Number},
    {"edtOutputMode", 7583, 1, 1, 1, E::Index},       {"edtSendEmail", 7687, 1, 1, 1, E::Index},
    {"edtSmtpServer", 7695, 1, 128, 128, E::Text},    {"edtUserId", 7823, 1, 32, 32, E::Text},
    {"edtPassword", 7855, 1, 32, 32, E::Text},        {"edtEmail", 7887, 10, 128, 128, E::Text},
    {"edtDvrEmail", 9167, 1, 128, 128, E::Text},
};

const DvrEnvField &Field(const char *name)
{
    for (const DvrEnvField &f : DvrEnvFields())
        if (std::strcmp(f.name, name) == 0)
            return f;
    ADD_FAILURE() << name;
    return DvrEnvFields().front();
}

} // namespace

TEST(EnvRecordMap, EveryFieldHasItsOffsetWidthAndEncoding)
{
    ASSERT_EQ(DvrEnvFields().size(), std::size(kMap));
    for (const Expect &x : kMap) {
        SCOPED_TRACE(x.name);
        const DvrEnvField &f = Field(x.name);
        EXPECT_EQ(f.offset, x.offset);
        EXPECT_EQ(f.count, x.count);
        EXPECT_EQ(f.stride, x.stride);
        EXPECT_EQ(f.width, x.width);
        EXPECT_EQ(f.encoding, x.encoding);
        EXPECT_LE(EnvElementOffset(f, f.count - 1) + f.width, size_t(kDvrEnvRecordSize));
    }
}

TEST(EnvRecordMap, EveryByteIsAFieldOrReservedNeverBoth)
{
    // Per channel count, the bytes of the bindings that apply; the remote id is the one byte
    // two controls share.
    std::vector<int> reserved(kDvrEnvRecordSize, 0);
    for (const EnvRange &r : DvrEnvReserved())
        for (int b = r.first; b <= r.last; ++b)
            ++reserved[size_t(b)];
    for (uint8_t bit : {kEnvCh4, kEnvCh8, kEnvCh16}) {
        SCOPED_TRACE(int(bit));
        std::vector<int> used(kDvrEnvRecordSize, 0);
        for (const DvrEnvField &f : DvrEnvFields())
            if (f.channels & bit)
                for (int i = 0; i < f.count; ++i)
                    for (int k = 0; k < f.width; ++k)
                        ++used[EnvElementOffset(f, i) + size_t(k)];
        for (int b = 0; b < kDvrEnvRecordSize; ++b) {
            // Layout switches a smaller recorder lacks belong to no control there: 7648-7652 on
            // 4 channels, 7650-7652 on 8.
            const bool unbound4 = (bit == kEnvCh4 && b >= 7648 && b <= 7652) || (bit == kEnvCh8 && b >= 7650 && b <= 7652);
            const bool shared = b == 7479;
            if (unbound4) {
                EXPECT_EQ(used[size_t(b)], 0) << b;
                continue;
            }
            EXPECT_EQ(used[size_t(b)] + reserved[size_t(b)], shared ? 2 : 1) << "byte " << b;
            EXPECT_LE(reserved[size_t(b)], 1) << b;
        }
    }
    EXPECT_EQ(reserved[9636], 1);
    EXPECT_EQ(reserved[9637], 1);
}

TEST(EnvRecordMap, ControlNamesFindTheirFields)
{
    struct Case {
        const char *control;
        const char *field;
        int element;
    } cases[] = {
        {"edtAudio1", "edtAudio", 0},   {"edtAudio8", "edtAudio", 7},   {"edtEmail10", "edtEmail", 9},
        {"edtTitleCh15", "edtTitleCh", 15}, {"edtMon167", "edtMon", 167}, {"edtSeqTime4C", "edtSeqTime4C", 0},
        {"edtHoliDay39", "edtHoliDay", 39},
    };
    for (const Case &c : cases) {
        int element = -1;
        const DvrEnvField *f = FindEnvField(c.control, &element);
        ASSERT_NE(f, nullptr) << c.control;
        EXPECT_STREQ(f->name, c.field);
        EXPECT_EQ(element, c.element);
    }
    EXPECT_EQ(FindEnvField("edtAudio0"), nullptr);
    EXPECT_EQ(EnvElementOffset(Field("edtHoliDay"), 39), 9300u + 78u);
    EXPECT_EQ(EnvElementOffset(Field("edtMotionCh"), 15), 5819u + 97u * 15u);
}

TEST(EnvRecordCodec, WireAndShownValues)
{
    struct Case {
        const char *field;
        uint8_t wire;
        std::optional<int> shown;
        int writeBack; // -1: same as wire
    } cases[] = {
        {"edtVerPos", 2, -2, -1},        {"edtHorPos", 0, -4, -1},        {"edtHorPos", 8, 4, -1},
        {"edtHorPos", 9, std::nullopt, 0}, {"edtAudio", 99, 0, -1},       {"edtAudio", 1, 1, -1},
        {"edtAudio", 0, 0, 99},          {"edtAudio", 5, std::nullopt, 0}, {"edtDayStartMonth", 1, 0, -1},
        {"edtDayEndMonth", 12, 11, -1},  {"edtDayStartMonth", 0, std::nullopt, 0},
        {"edtDayStartMonth", 13, std::nullopt, 0}, {"edtDayStartTime", 12, 11, -1},
        {"edtDayStartWeek", 6, std::nullopt, 0}, {"chkLossSkip", 7, 1, 1},  {"chkLossSkip", 0, 0, -1},
        {"edtMon", 2, 0, -1},            {"edtMon", 6, 1, -1},            {"edtMon", 5, 1, 6},
        {"edtClockDisp", 1, 1, -1},      {"edtClockDisp", 255, std::nullopt, 0},
        {"edtClockDisp", 2, std::nullopt, 0}, {"edtMotionCh", 3, 3, -1}, {"edtMotionCh", 0, std::nullopt, 0},
        {"edtSeqTime16", 61, std::nullopt, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + std::to_string(c.wire));
        const DvrEnvField &f = Field(c.field);
        const uint8_t in[1] = {c.wire};
        const auto shown = DecodeEnvValue(f, in);
        EXPECT_EQ(shown, c.shown);
        if (shown) {
            uint8_t out[1] = {0xEE};
            ASSERT_TRUE(EncodeEnvValue(f, *shown, out));
            EXPECT_EQ(out[0], c.writeBack < 0 ? c.wire : c.writeBack);
        }
    }
    uint8_t b[1] = {0xEE};
    EXPECT_FALSE(EncodeEnvValue(Field("edtHorPos"), 5, b));
    EXPECT_FALSE(EncodeEnvValue(Field("edtRelayTime"), 31, b));
    EXPECT_EQ(b[0], 0xEE);
}

TEST(EnvRecordCodec, DigitsPortAndAddresses)
{
    const DvrEnvField &port = Field("edtPort");
    uint8_t p[4] = {};
    ASSERT_TRUE(EncodeEnvValue(port, 5432, p));
    EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{5, 4, 3, 2}));
    EXPECT_EQ(DecodeEnvValue(port, p), 5432);
    // Outside the port range or with a digit above 9 there is nothing to show.
    const uint8_t other[4] = {5, 3, 0, 0}, wide[4] = {5, 4, 12, 0};
    EXPECT_EQ(DecodeEnvValue(port, other), std::nullopt);
    EXPECT_EQ(DecodeEnvValue(port, wide), std::nullopt);
    EXPECT_FALSE(EncodeEnvValue(port, 5500, p));

    uint8_t ip[12] = {};
    const int octets[4] = {10, 0, 0, 1};
    for (int k = 0; k < 4; ++k)
        EncodeEnvOctet(ip, k, octets[k]);
    EXPECT_EQ(std::vector<uint8_t>(ip, ip + 12), (std::vector<uint8_t>{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(DecodeEnvOctet(ip, k), octets[k]);
    const uint8_t bad[12] = {2, 5, 6, 1, 9, 2, 0, 10, 0, 0, 0, 1};
    EXPECT_EQ(DecodeEnvOctet(bad, 0), std::nullopt); // 256
    EXPECT_EQ(DecodeEnvOctet(bad, 1), 192);
    EXPECT_EQ(DecodeEnvOctet(bad, 2), std::nullopt); // digit 10
    EXPECT_EQ(DigitsToNumber(bad + 6, 3), 100u);
}

TEST(EnvRecordCodec, TextsStayInsideTheirFields)
{
    // A title is eight characters blank-padded and a NUL.
    const DvrEnvField &title = Field("edtTitleCh");
    uint8_t t[9];
    std::memset(t, 'x', sizeof t);
    EncodeEnvText(title, "ABC", t);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(t), 9), std::string("ABC     \0", 9));
    EncodeEnvText(title, "ABCDEFGHIJ", t);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(t), 9), std::string("ABCDEFGH\0", 9));
    const uint8_t full[9] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I'};
    EXPECT_EQ(DecodeEnvText(title, full), "ABCDEFGH");

    // A 32-character user id fills its field with no NUL and reads back whole, never past it.
    const DvrEnvField &user = Field("edtUserId");
    uint8_t record[40];
    std::memset(record, 'Z', sizeof record);
    const std::string id(32, 'u');
    EncodeEnvText(user, id, record);
    EXPECT_EQ(record[32], 'Z');
    EXPECT_EQ(DecodeEnvText(user, record), id);
    EncodeEnvText(user, id + "vvv", record);
    EXPECT_EQ(record[32], 'Z');
    // A shorter text ends in a NUL; the bytes after it stay as they were.
    EncodeEnvText(user, "ab", record);
    EXPECT_EQ(record[2], 0);
    EXPECT_EQ(record[3], 'u');
    EXPECT_EQ(DecodeEnvText(user, record), "ab");
    // Servers hold at most 63 characters in a 128-byte field.
    const DvrEnvField &smtp = Field("edtSmtpServer");
    std::vector<uint8_t> s(128, 'q');
    EXPECT_EQ(DecodeEnvText(smtp, s.data()).size(), 63u);
    EncodeEnvText(smtp, std::string(100, 'r'), s.data());
    EXPECT_EQ(s[62], 'r');
    EXPECT_EQ(s[63], 0);
}
