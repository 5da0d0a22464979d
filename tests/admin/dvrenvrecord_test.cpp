// The configuration record's map and codec: where fields lie and how they are encoded,
// that every byte is either a field or the recorder's own, and the wire/shown vectors.
#include <gtest/gtest.h>

#include "viewer/protocol/dvrenvrecord.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace strandel;

namespace {

const DvrEnvField &Field(const char *name)
{
    for (const DvrEnvField &f : DvrEnvFields())
        if (std::strcmp(f.name, name) == 0)
            return f;
    ADD_FAILURE() << name;
    return DvrEnvFields().front();
}

} // namespace

TEST(EnvRecordMap, FieldsReadAndWriteWhereTheLayoutPutsThem)
{
    // A sample of the layout, one row per control element: where its bytes lie in the record, what
    // they hold there, what the editor shows for them and what it writes back for that.
    using Bytes = std::vector<uint8_t>;
    struct Case {
        const char *control;
        int offset;
        Bytes wire;
        std::optional<int> shown; // nothing: a text, compared as text
        Bytes back;               // empty: the wire bytes again
        const char *text = nullptr;
    } cases[] = {
        {"edtHorPos", 0, {3}, -1, {}},
        {"edtVerPos", 1, {8}, 4, {}},
        {"edtAutoSingleCh5", 30, {17}, 17, {}},
        {"edtSeqTime9B", 47, {12}, 12, {}},
        {"chkLossSkip", 49, {7}, 1, {1}},
        {"edtTitleMode", 203, {1}, 1, {}},
        {"edtMulti9B3", 211, {7}, 7, {}},
        {"edtCovertCh15", 232, {1}, 1, {}},
        {"edtPtzId2", 400, {200}, 200, {}},
        {"edtMon30", 444, {2}, 0, {}},
        {"edtMon167", 581, {5}, 1, {6}},
        {"edtAudio3", 5715, {99}, 0, {}},
        {"edtAudio8", 5720, {1}, 1, {}},
        {"edtMotionCh7", 6498, {3}, 3, {}},
        {"edtRelayTime2", 7469, {30}, 30, {}},
        {"edtRemoId", 7479, {16}, 16, {}},
        {"edtRemoId", 7479, {255}, std::nullopt, {}, nullptr},
        {"edtDayStartMonth", 7492, {1}, 0, {}},
        {"edtDayEndMonth", 7496, {12}, 11, {}},
        {"edtDayEndDay", 7498, {6}, 6, {}},
        {"edtDayEndTime", 7499, {12}, 11, {}},
        {"edtPort", 7570, {5, 4, 3, 2}, 5432, {}},
        {"edtSystemId", 7582, {255}, 255, {}},
        {"edtQuickPreTime", 7641, {5}, 5, {}},
        {"edtHoliMon0", 9299, {12}, 12, {}},
        {"edtHoliDay39", 9378, {25}, 25, {}},
        {"edtExtHddMode39", 9435, {1}, 1, {}},
        {"edtPtzSpeed15", 9515, {7}, 7, {}},
        {"edtNetworkLiveImageSize", 9535, {1}, 1, {}},
        {"edtMulti13C12", 9571, {16}, 16, {}},
        {"edtTitleCh3", 86, {'F', 'R', 'O', 'N', 'T', 'C', 'A', 'M', 0}, std::nullopt, {}, "FRONTCAM"},
        {"edtUserId", 7823, {'s', 'm', 't', 'p', 0}, std::nullopt, {}, "smtp"},
        {"edtEmail10", 9039, {'a', '@', 'b', 0}, std::nullopt, {}, "a@b"},
        {"edtTimeServer2", 9436, {'n', 't', 'p', 0}, std::nullopt, {}, "ntp"},
        {"edtDynamicSvr2", 9572, {'d', 'n', 's', 0}, std::nullopt, {}, "dns"},
    };
    const uint8_t kFill = 0xA5; // no field reads this as a value of its own here
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.control) + " @" + std::to_string(c.offset));
        int element = -1;
        const DvrEnvField *f = FindEnvField(c.control, &element);
        ASSERT_NE(f, nullptr);
        Bytes record(kDvrEnvRecordSize, kFill);
        std::copy(c.wire.begin(), c.wire.end(), record.begin() + c.offset);
        uint8_t *at = record.data() + EnvElementOffset(*f, element);
        if (c.text)
            EXPECT_EQ(DecodeEnvText(*f, at), c.text);
        else
            EXPECT_EQ(DecodeEnvValue(*f, at), c.shown);
        if (!c.text && !c.shown)
            continue;
        // Written into a record of filler: those bytes at that offset, nothing else.
        std::fill(record.begin(), record.end(), kFill);
        if (c.text)
            EncodeEnvText(*f, c.text, at);
        else
            ASSERT_TRUE(EncodeEnvValue(*f, *c.shown, at));
        Bytes expect(kDvrEnvRecordSize, kFill);
        const Bytes &back = c.back.empty() ? c.wire : c.back;
        std::copy(back.begin(), back.end(), expect.begin() + c.offset);
        for (size_t i = 0; i < record.size(); ++i)
            ASSERT_EQ(record[i], expect[i]) << "byte " << i;
    }
    // No field reaches past the record.
    for (const DvrEnvField &f : DvrEnvFields())
        EXPECT_LE(EnvElementOffset(f, f.count - 1) + f.width, size_t(kDvrEnvRecordSize)) << f.name;
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
