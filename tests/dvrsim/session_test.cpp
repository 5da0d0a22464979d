// One session in-process: requests in, the packets a recorder sends back out, byte for byte.
#include "tools/dvrsim/simcontrols.h"
#include "tools/dvrsim/simsession.h"

#include "platform/endian.h"
#include "viewer/link/crc32.h"
#include "viewer/protocol/dvrcommand.h"

#include <gtest/gtest.h>

#include <random>

using namespace strandel;
using namespace strandel::sim;

namespace {

struct Sent {
    uint8_t cmd, flag;
    std::vector<uint8_t> payload;
    FrameFault fault;
};

class FakeLink : public SimLink {
public:
    void SendPacket(uint8_t cmd, uint8_t flag, const uint8_t *data, size_t length, FrameFault fault) override
    {
        sent.push_back({cmd, flag, {data, data + length}, fault});
    }
    size_t Backlog() const override { return 0; }
    const std::string &Name() const override { return name; }
    std::vector<Sent> Take() { return std::exchange(sent, {}); }
    std::vector<Sent> sent;
    std::string name = "fake";
};

// Part 0 of every record: 5000 bytes of the channel number, then the record's number in the
// source, a record every 200 ms.
class FixedSource : public SteadySource {
public:
    FixedSource() : SteadySource(5) {}
    bool Get(int channel, uint64_t k, SimVideo &out) override
    {
        out.part0.assign(5000, uint8_t(channel));
        PutLe32(out.part0.data() + 4996, uint32_t(k));
        out.jpegLength = 5000;
        out.sizeCode = 2;
        return true;
    }
};

struct Rig {
    explicit Rig(SimOptions o = {}) : options(std::move(o)), recorder(options),
        session(recorder, source, options, link, faults, nullptr) {}
    void Request(uint8_t cmd, const std::vector<uint8_t> &payload = {}, uint8_t flag = DvrFlagNone)
    {
        PacketHeader h{cmd, flag, uint16_t(payload.size())};
        session.OnPacket(h, payload.data());
    }
    void Login(const std::string &user = "", const std::string &password = "")
    {
        Request(DvrCmdLogin, BuildLogin(user, password));
        link.Take();
    }
    void Upload(uint8_t cmd, const std::vector<uint8_t> &data)
    {
        Request(cmd, {}, DvrFlagBlockBegin);
        for (size_t at = 0; at < data.size(); at += kUploadPartSize)
            Request(cmd, {data.begin() + at, data.begin() + std::min(data.size(), at + kUploadPartSize)});
        Request(cmd, {}, DvrFlagBlockEnd);
    }

    SimOptions options;
    SimRecorder recorder;
    FixedSource source;
    FakeLink link;
    SimFaults faults{};
    SimSession session;
};

std::vector<uint8_t> Upgrade(uint8_t phase, uint32_t value, const std::vector<uint8_t> &data = {})
{
    std::vector<uint8_t> p(5 + data.size());
    p[0] = phase;
    PutLe32(p.data() + 1, value);
    std::copy(data.begin(), data.end(), p.begin() + 5);
    return p;
}

std::vector<uint8_t> FirmwareImage(size_t size, const char *tag)
{
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i)
        image[i] = uint8_t(i * 13);
    std::fill(image.end() - 20, image.end() - 4, 0);
    std::copy(tag, tag + 8, image.end() - 20);
    PutLe32(image.data() + size - 4, CrcUpdate(0, image.data(), int(size - 4)));
    return image;
}

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) { return b; }

} // namespace

TEST(SimSession, LoginAnswers)
{
    struct Case {
        int8_t configured;
        const char *needUser, *needPassword;
        const char *user, *password;
        uint8_t result;
    };
    const Case cases[] = {
        {2, nullptr, nullptr, "any", "thing", 2}, {1, nullptr, nullptr, "", "", 1},
        {3, nullptr, nullptr, "", "", 3},         {0, nullptr, nullptr, "", "", 0},
        {2, "admin", "1234", "admin", "1234", 2}, {2, "admin", "1234", "", "1234", 2},
        {2, "admin", "1234", "admin", "4321", 0}, {2, "admin", "1234", "guest", "1234", 0},
        {2, "longusername", "longpassword", "longuser", "longpass", 2},
    };
    for (const auto &c : cases) {
        SimOptions o;
        o.loginResult = c.configured;
        o.channels = 8;
        o.ntsc = true;
        o.model = 1;
        if (c.needUser) {
            o.user = c.needUser;
            o.password = c.needPassword;
            o.checkLogin = true;
        }
        Rig rig(o);
        rig.Request(DvrCmdLogin, BuildLogin(c.user, c.password));
        const auto sent = rig.link.Take();
        SCOPED_TRACE(std::string(c.user) + "/" + c.password);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent[0].cmd, DvrCmdLogin);
        EXPECT_EQ(sent[0].payload, Bytes({c.result, 8, 0x11, 0x00, 0x1C, 0x5A, 0x00, 0x00, 0x01}));
        const bool in = c.result == 1 || c.result == 2;
        EXPECT_EQ(rig.session.LoggedIn(), in);
        if (in) {
            // Channel mask and, on 8 channels, the custom layouts follow the answer.
            ASSERT_EQ(sent.size(), 3u);
            EXPECT_EQ(sent[1].payload, Bytes({0x00, 0xFF}));
            EXPECT_EQ(sent[2].cmd, DvrCmdScreenLayouts);
            EXPECT_EQ(sent[2].payload.size(), 128u);
            EXPECT_EQ(sent[2].payload[127], 0x07);
        } else {
            EXPECT_EQ(sent.size(), 1u);
        }
    }
}

TEST(SimSession, PushedLayoutsLeaveEveryChannelInASplit)
{
    SimOptions o;
    o.channels = 16;
    o.ntsc = true;
    Rig rig(o);
    rig.Request(DvrCmdLogin, BuildLogin("", ""));
    const auto sent = rig.link.Take();
    ASSERT_EQ(sent.size(), 3u);
    ASSERT_EQ(sent[2].cmd, DvrCmdScreenLayouts);
    const auto &info = sent[2].payload;
    using Bytes = std::decay_t<decltype(info)>;
    EXPECT_EQ(Bytes(info.begin(), info.begin() + 4), Bytes({1, 2, 3, 4}));
    // The 9-split shows the second half; the default one shows the first.
    EXPECT_EQ(Bytes(info.begin() + 17, info.begin() + 26), Bytes({8, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(Bytes(info.begin() + 36, info.begin() + 49), Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    EXPECT_EQ(info[127], 0x3F);
}

TEST(SimSession, NothingButTheLoginIsAnsweredBeforeIt)
{
    Rig rig;
    for (uint8_t cmd : {DvrCmdEnvGet, DvrCmdStatus, DvrCmdDiskMap, DvrCmdTitleGet, DvrCmdLogDownload})
        rig.Request(cmd);
    rig.Request(DvrCmdEnvSet, {}, DvrFlagBlockEnd);
    rig.session.Tick(SimSession::Clock::now() + std::chrono::seconds(5));
    EXPECT_TRUE(rig.link.sent.empty());
}

TEST(SimSession, LiveRecordGoesOutAsPartsAndHeader)
{
    Rig rig;
    rig.Login();
    rig.Request(DvrCmdChannel, BuildChannel(3));
    rig.session.Tick(SimSession::Clock::now() + std::chrono::seconds(1));
    const auto sent = rig.link.Take();
    ASSERT_EQ(sent.size(), 7u);
    const uint8_t flags[7] = {0x40, 0, 0, 0, 0, 0x20, 0x80};
    const size_t sizes[7] = {1024, 1024, 1024, 1024, 904, 5, 128};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(sent[i].cmd, DvrCmdRecord);
        EXPECT_EQ(sent[i].flag, flags[i]) << i;
        EXPECT_EQ(sent[i].payload.size(), sizes[i]) << i;
    }
    const auto h = FrameRecordHeader::Read(sent[6].payload.data());
    EXPECT_EQ(sent[5].payload, Bytes({0x88, 0x13, 0, 0, h.frameId}));
    EXPECT_EQ(h.channel, 3);
    EXPECT_EQ(h.kind, FrameKindLive);
    EXPECT_EQ(h.partSize[0], 5000u);
    EXPECT_EQ(h.liveMask, 0x0Fu);
    EXPECT_NE(h.frameId, 0xFF);
    EXPECT_EQ(h.directShow, 1); // a picture record: shown at once
}

TEST(SimSession, UploadsAreStoredOnlyWhole)
{
    Rig rig;
    rig.Login();
    std::vector<uint8_t> env(kDvrEnvRecordSize, 7);
    rig.Upload(DvrCmdEnvSet, env);
    auto sent = rig.link.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, Bytes({1}));
    EXPECT_EQ(rig.recorder.Env(), env);

    // One byte short, an end without a begin, and an oversized upload all fail.
    rig.Upload(DvrCmdEnvSet, std::vector<uint8_t>(kDvrEnvRecordSize - 1, 9));
    rig.Request(DvrCmdEnvSet, {}, DvrFlagBlockEnd);
    rig.Upload(DvrCmdTitleSet, std::vector<uint8_t>(70000, 9));
    sent = rig.link.Take();
    ASSERT_EQ(sent.size(), 3u);
    for (const auto &s : sent)
        EXPECT_EQ(s.payload, Bytes({0}));
    EXPECT_EQ(rig.recorder.Env(), env);

    const std::vector<uint8_t> titles(kTitleBitmapsSize, 0x81);
    rig.Upload(DvrCmdTitleSet, titles);
    EXPECT_EQ(rig.link.Take()[0].payload, Bytes({1}));
    rig.Request(DvrCmdTitleGet);
    sent = rig.link.Take();
    ASSERT_EQ(sent.size(), 5u); // segmented: start, three chunks, end
    EXPECT_EQ(sent[1].payload, std::vector<uint8_t>(titles.begin(), titles.begin() + 1024));
}

TEST(SimSession, AdministrationReplies)
{
    Rig rig;
    rig.Login();
    auto single = [&](uint8_t cmd, std::vector<uint8_t> payload = {}) {
        rig.Request(cmd, payload);
        auto sent = rig.link.Take();
        return sent.size() == 1 ? sent[0].payload : std::vector<uint8_t>{0xEE};
    };
    EXPECT_EQ(single(DvrCmdEnvPassword, BuildEnvPassword("11111111")), Bytes({2}));
    EXPECT_EQ(single(DvrCmdEnvPassword, BuildEnvPassword("1111111")), Bytes({0}));
    EXPECT_EQ(single(DvrCmdEnvPassword, {}), Bytes({0}));
    EXPECT_EQ(single(DvrCmdDiskMap).size(), 16u);

    const auto header = single(DvrCmdDiskIndex, BuildDiskIndex(0));
    ASSERT_EQ(header.size(), size_t(kDiskHeaderSize));
    EXPECT_TRUE(CheckCrc(header.data(), kDiskHeaderSize));
    EXPECT_EQ(TimeText(ReadRecorderTime(header.data() + 63)), "2026/12/10  09:00:00");
    EXPECT_EQ(TimeText(ReadRecorderTime(header.data() + 182)), "2026/12/10  10:00:00");
    EXPECT_TRUE(single(DvrCmdDiskIndex, BuildDiskIndex(1)).empty()); // no backup recorded

    // The status record fits one packet; the configuration record goes out segmented.
    EXPECT_EQ(single(DvrCmdStatus).size(), size_t(kDvrStatusRecordSize));
    rig.Request(DvrCmdEnvGet);
    auto sent = rig.link.Take();
    ASSERT_EQ(sent.size(), 12u);
    EXPECT_EQ(sent.front().flag, DvrFlagSegStart);
    EXPECT_EQ(sent.back().payload, Bytes({0xA6, 0x25, 0, 0}));

    // Searches answer one entry per packet, after the time, at most a page.
    const RecorderTime unset{0xFF, 0xFF, 0, 0, 0, 0, 0};
    const RecorderTime half{20, 26, 12, 10, 9, 30, 0};
    rig.Request(DvrCmdEventSearch, BuildEventSearch(0, 0, 7, unset));
    sent = rig.link.Take();
    EXPECT_EQ(sent.size(), size_t(SimRecorder::kPageSize));
    rig.Request(DvrCmdEventSearch, BuildEventSearch(0, 2, 7, half));
    sent = rig.link.Take();
    ASSERT_FALSE(sent.empty());
    for (const auto &s : sent) {
        ASSERT_EQ(s.payload.size(), size_t(kEventEntrySize));
        EXPECT_EQ(s.payload[0], 2);
        EXPECT_GT(CompareRecorderTime(ReadRecorderTime(s.payload.data() + 2), half), 0);
    }
    rig.Request(DvrCmdEventSearch, BuildEventSearch(0, 0, 0, unset));
    EXPECT_TRUE(rig.link.Take().empty());
    rig.Request(DvrCmdBlockSearch, BuildBlockSearch(3, half));
    sent = rig.link.Take();
    ASSERT_EQ(sent.size(), size_t(SimRecorder::kPageSize)); // a block every minute, from the one after 09:30
    EXPECT_EQ(TimeText(ReadRecorderTime(sent[0].payload.data() + 1)), "2026/12/10  09:31:00");

    rig.Request(DvrCmdControl, BuildControl(1));
    rig.Request(DvrCmdLogDownload);
    sent = rig.link.Take();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].payload.size() % kLogEntrySize, 0u);
    EXPECT_EQ(sent[0].payload[sent[0].payload.size() - kLogEntrySize], 6); // HDD INIT(N) came last
}

TEST(SimSession, FirmwareUpgrade)
{
    Rig rig;
    rig.Login();
    auto states = [&] {
        std::vector<uint8_t> s;
        for (const auto &p : rig.link.Take())
            s.push_back(p.payload[0]);
        return s;
    };
    auto send = [&](const std::vector<uint8_t> &image) {
        rig.Request(DvrCmdUpgrade, Upgrade(0, uint32_t(image.size())));
        for (size_t at = 0; at < image.size(); at += 1000)
            rig.Request(DvrCmdUpgrade, Upgrade(1, uint32_t(at),
                                               {image.begin() + at, image.begin() + std::min(image.size(), at + 1000)}));
    };
    const auto good = FirmwareImage(2500, "kxt52030");
    send(good);
    EXPECT_EQ(states(), Bytes({0, 2}));
    rig.Request(DvrCmdUpgrade, Upgrade(2, 2500));
    EXPECT_EQ(states(), Bytes({1, 1, 3}));
    EXPECT_EQ(rig.recorder.Firmware(), good);

    auto badCrc = good;
    badCrc[100] ^= 1;
    send(badCrc);
    EXPECT_EQ(states(), Bytes({0, 4}));
    send(FirmwareImage(2500, "kxt52070")); // built for the other model
    EXPECT_EQ(states(), Bytes({0, 4}));
    // Parts out of order, past the end, flashing unchecked or before any start all fail.
    rig.Request(DvrCmdUpgrade, Upgrade(0, 2500));
    rig.Request(DvrCmdUpgrade, Upgrade(1, 1000, std::vector<uint8_t>(10)));
    rig.Request(DvrCmdUpgrade, Upgrade(0, 10));
    rig.Request(DvrCmdUpgrade, Upgrade(1, 0, std::vector<uint8_t>(11)));
    rig.Request(DvrCmdUpgrade, Upgrade(2, 10));
    rig.Request(DvrCmdUpgrade, Upgrade(1, 0, std::vector<uint8_t>(1)));
    rig.Request(DvrCmdUpgrade, Upgrade(0, 3));
    EXPECT_EQ(states(), Bytes({0, 4, 0, 4, 4, 4, 4}));
    EXPECT_EQ(rig.recorder.FlashCount(), 1);
}

TEST(SimSession, PauseWhilePausedStepsOneRecord)
{
    Rig rig;
    rig.Login();
    rig.Request(DvrCmdPlay, BuildPlayTime(0, 1, {20, 26, 12, 10, 9, 10, 0}));
    rig.Request(DvrCmdPlay, BuildPlayControl(0, 0, 0, PlayDirForward));
    auto sent = rig.link.Take();
    EXPECT_EQ(sent.back().payload, Bytes({PT_PLAY, 0, 0, 0, PlayDirForward}));
    rig.Request(DvrCmdPlay, BuildPlayControl(0, 0, 0, PlayDirForward));
    EXPECT_EQ(rig.link.Take().back().payload, Bytes({PT_PLAY, 1, 0, 0, PlayDirForward}));
    rig.session.Tick(SimSession::Clock::now() + std::chrono::seconds(1));
    rig.session.Tick(SimSession::Clock::now() + std::chrono::seconds(2));
    sent = rig.link.Take();
    size_t headers = 0;
    for (const auto &s : sent)
        headers += s.cmd == DvrCmdRecord && s.flag == DvrFlagRecordHeader;
    EXPECT_EQ(headers, 1u);
    EXPECT_EQ(sent.back().payload, Bytes({PT_PLAY, 0, 0, 0, PlayDirForward}));

    // Play with another direction while paused only turns; a time outside the span has no data.
    rig.Request(DvrCmdPlay, BuildPlayControl(1, 0, 0, PlayDirBackward));
    EXPECT_EQ(rig.link.Take().back().payload, Bytes({PT_PLAY, 0, 0, 0, PlayDirBackward}));
    rig.Request(DvrCmdPlay, BuildPlayTime(0, 0, {20, 26, 12, 11, 0, 0, 0}));
    EXPECT_EQ(rig.link.Take().back().payload, Bytes({PLAY_NODATA}));
}

TEST(SimSession, TransportButtonsChangeSpeedAndDirection)
{
    // Each row: the request {play, fast, slow, direction} and the PlayStatus that answers it.
    struct Step {
        uint8_t play, fast, slow, dir;
        std::vector<uint8_t> status;
    };
    const Step steps[] = {
        {1, 1, 0, 31, {30, 1, 2, 0, 31}},  // FastPlay doubles the fast factor
        {1, 1, 0, 31, {30, 1, 4, 0, 31}},
        {1, 0, 1, 31, {30, 1, 0, 2, 31}},  // SlowPlay: slow factor, fast cleared
        {1, 0, 1, 32, {30, 1, 0, 2, 32}},  // SlowBack first turns only
        {1, 0, 1, 32, {30, 1, 0, 4, 32}},
        {1, 0, 0, 31, {30, 1, 0, 0, 31}},  // Play turns at normal speed
        {1, 1, 0, 31, {30, 1, 2, 0, 31}},
        {1, 0, 0, 32, {30, 1, 0, 0, 32}},  // and so does Back
        {0, 0, 0, 31, {30, 0, 0, 0, 31}},  // Pause
    };
    Rig rig;
    rig.Login();
    rig.Request(DvrCmdPlay, BuildPlayTime(0, 0, {20, 26, 12, 10, 9, 0, 5}));
    rig.link.Take();
    for (const auto &s : steps) {
        rig.Request(DvrCmdPlay, BuildPlayControl(s.play, s.fast, s.slow, s.dir));
        const auto sent = rig.link.Take();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].payload, s.status);
    }
    // Backward from five seconds in reaches the start: status, then the end of the data.
    rig.Request(DvrCmdPlay, BuildPlayControl(1, 0, 0, PlayDirBackward));
    rig.Request(DvrCmdPlay, BuildPlayControl(1, 0, 0, PlayDirBackward));
    rig.link.Take();
    auto t = SimSession::Clock::now();
    std::vector<uint8_t> last;
    for (int i = 0; i < 100 && last != Bytes({PLAY_END}); ++i) {
        t += std::chrono::seconds(1);
        rig.session.Tick(t);
        for (const auto &p : rig.link.Take())
            if (p.cmd == DvrCmdPlay)
                last = p.payload;
    }
    EXPECT_EQ(last, Bytes({PLAY_END}));
}

TEST(SimSession, AtEitherEndPlaybackPausesAndTheNextButtonPlaysOn)
{
    // Each row: where play starts (a second of the hour, or the end), the button that runs into
    // an end, then the button pressed there and which way the position must move.
    struct Case {
        const char *name;
        bool fromEnd;
        std::array<uint8_t, 4> toEnd, after;
        int way;
    };
    const Case cases[] = {
        {"start, play", false, {1, 0, 0, 32}, {1, 0, 0, 31}, 1},
        {"start, fast", false, {1, 0, 0, 32}, {1, 1, 0, 31}, 1},
        {"end, back", true, {1, 0, 0, 31}, {1, 0, 0, 32}, -1},
        {"end, fast back", true, {1, 0, 0, 31}, {1, 1, 0, 32}, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.Login();
        rig.Request(DvrCmdPlay, BuildPlayTime(0, 1, {20, 26, 12, 10, 9, 0, 3}));
        if (c.fromEnd) {
            std::vector<uint8_t> pos(9, 0);
            pos[0] = PLAY_POS;
            PutLe32(pos.data() + 5, 0xFFFFFFFFu); // clamped to the last second
            rig.Request(DvrCmdPlay, pos);
        }
        rig.Request(DvrCmdPlay, BuildPlayControl(c.toEnd[0], c.toEnd[1], c.toEnd[2], c.toEnd[3]));
        rig.link.Take();
        // Runs ticks until the data ends; gives the positions sent and the records pushed.
        auto t = SimSession::Clock::now();
        auto run = [&](int ticks, bool untilEnd) {
            std::vector<int64_t> positions;
            int records = 0;
            bool ended = false;
            for (int i = 0; i < ticks && !(untilEnd && ended); ++i) {
                t += std::chrono::seconds(1);
                rig.session.Tick(t);
                for (const auto &p : rig.link.Take()) {
                    records += p.cmd == DvrCmdRecord && p.flag == DvrFlagRecordHeader;
                    if (p.cmd == DvrCmdPlay && p.payload == Bytes({PLAY_END}))
                        ended = true;
                    if (p.cmd == DvrCmdPlayInfo && p.payload[0] == INFO_PLAYPOS)
                        positions.push_back(GetLe32(p.payload.data() + 5));
                }
            }
            EXPECT_TRUE(!untilEnd || ended);
            return std::pair(positions, records);
        };
        const int64_t end = run(400, true).first.back();
        // Paused at the end: nothing more until a button.
        EXPECT_EQ(run(3, false).second, 0);
        // Paused, a button that turns the way only turns; the second press plays.
        for (int press = 0; press < 2; ++press)
            rig.Request(DvrCmdPlay, BuildPlayControl(c.after[0], c.after[1], c.after[2], c.after[3]));
        const auto [positions, records] = run(60, false);
        EXPECT_GT(records, 0);
        ASSERT_FALSE(positions.empty());
        EXPECT_EQ((positions.back() - end) * c.way > 0, true) << end << " to " << positions.back();
    }
}

TEST(SimSession, PlaybackRunsThePicturesTheWayAndAtTheRateAsked)
{
    // Each row: the buttons pressed after playing from 09:30:00 on channel 1, then, of the
    // eight records that follow, how the source's record number moves from one to the next and
    // how far the record time falls over them (the source has a record every 200 ms).
    struct Case {
        const char *name;
        std::vector<std::array<uint8_t, 4>> presses; // play, fast, slow, direction
        int64_t step;
        int secondsMoved;
    };
    const Case cases[] = {
        {"play", {}, 1, 1},                                                   // 09:30:01.4
        {"back", {{1, 0, 0, 32}}, -1, -2},                                    // 09:29:58.6
        {"fast back x4", {{1, 0, 0, 32}, {1, 1, 0, 32}, {1, 1, 0, 32}}, -4, -6}, // 09:29:54.4
        {"fast play x2", {{1, 1, 0, 31}}, 2, 2},                              // 09:30:02.8
        {"back after fast play", {{1, 1, 0, 31}, {1, 0, 0, 32}}, -1, -2},     // 09:29:58.6
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.Login();
        rig.Request(DvrCmdPlay, BuildPlayTime(0, 1, {20, 26, 12, 10, 9, 30, 0}));
        for (const auto &p : c.presses)
            rig.Request(DvrCmdPlay, BuildPlayControl(p[0], p[1], p[2], p[3]));
        rig.link.Take();
        std::vector<uint32_t> numbers;
        std::vector<int> seconds;
        std::vector<uint8_t> part0;
        auto t = SimSession::Clock::now();
        for (int i = 0; i < 50 && numbers.size() < 8; ++i) {
            t += std::chrono::milliseconds(200);
            rig.session.Tick(t);
            for (const auto &p : rig.link.Take()) {
                if (p.cmd != DvrCmdRecord)
                    continue;
                if (p.flag == DvrFlagRecordHeader) {
                    const auto h = FrameRecordHeader::Read(p.payload.data());
                    EXPECT_EQ(h.channel, 1);
                    EXPECT_EQ(h.kind, FrameKindPlayback);
                    ASSERT_EQ(part0.size(), 5000u);
                    numbers.push_back(GetLe32(part0.data() + 4996));
                    seconds.push_back(h.time.minute * 60 + h.time.second);
                    part0.clear();
                } else if (!(p.flag & DvrFlagPartEnd)) {
                    part0.insert(part0.end(), p.payload.begin(), p.payload.end());
                }
            }
        }
        ASSERT_EQ(numbers.size(), 8u);
        for (size_t i = 1; i < numbers.size(); ++i)
            EXPECT_EQ(int64_t(numbers[i]) - int64_t(numbers[i - 1]), c.step) << i;
        EXPECT_EQ(seconds.back() - seconds.front(), c.secondsMoved);
    }
}

TEST(SimSession, SilentOrTimedConnectionsAreDropped)
{
    SimOptions o;
    o.aliveTimeout = 5;
    Rig silent(o);
    const auto start = SimSession::Clock::now();
    EXPECT_FALSE(silent.session.DropDue(start + std::chrono::seconds(60))); // not logged in
    silent.Login();
    EXPECT_FALSE(silent.session.DropDue(start + std::chrono::seconds(4)));
    EXPECT_TRUE(silent.session.DropDue(SimSession::Clock::now() + std::chrono::seconds(5)));
    // Keep-alives are counted and keep the timer fresh.
    silent.Request(DvrCmdAlive);
    EXPECT_EQ(silent.session.AliveCount(), 1);
    EXPECT_FALSE(silent.session.DropDue(start + std::chrono::seconds(4)));

    o.aliveTimeout = 0;
    o.dropAfter = 2;
    Rig timed(o);
    timed.Login();
    timed.Request(DvrCmdAlive);
    EXPECT_FALSE(timed.session.DropDue(start + std::chrono::seconds(1)));
    EXPECT_TRUE(timed.session.DropDue(SimSession::Clock::now() + std::chrono::seconds(2)));
}

TEST(SimSession, FaultsWaitForTheLoginAndHitOnce)
{
    Rig rig;
    rig.faults[size_t(FaultKind::BadCrc)] = 1;
    rig.faults[size_t(FaultKind::WrongFrameId)] = 1;
    rig.faults[size_t(FaultKind::LostSegment)] = 1;
    rig.Request(DvrCmdLogin, BuildLogin("", ""));
    auto sent = rig.link.Take();
    EXPECT_EQ(sent[0].fault, FrameFault::None); // the login answer stays intact
    EXPECT_EQ(sent[1].fault, FrameFault::BadCrc);

    // A live record loses a chunk of its part, while its end mark names the whole size; its
    // header names another frame.
    rig.Request(DvrCmdChannel, BuildChannel(1));
    rig.session.Tick(SimSession::Clock::now() + std::chrono::seconds(1));
    sent = rig.link.Take();
    ASSERT_EQ(sent.size(), 6u); // the first chunk, three of the other four, end mark, header
    size_t bytes = 0;
    for (size_t i = 0; i + 2 < sent.size(); ++i)
        bytes += sent[i].payload.size();
    EXPECT_EQ(bytes, 5000u - 1024u);
    EXPECT_EQ(GetLe32(sent[4].payload.data()), 5000u);
    const auto h = FrameRecordHeader::Read(sent.back().payload.data());
    EXPECT_NE(h.frameId, sent[sent.size() - 2].payload[4]);

    // Each fault hit once: the long reply after them comes whole.
    rig.Request(DvrCmdEnvGet);
    EXPECT_EQ(rig.link.Take().size(), 12u);
    // Without live pictures to hit, a lost segment takes a piece of a long reply.
    rig.Request(DvrCmdMode, BuildMode(DvrModePlayback));
    rig.faults[size_t(FaultKind::LostSegment)] = 1;
    rig.session.Tick(SimSession::Clock::now() + std::chrono::seconds(2));
    rig.Request(DvrCmdEnvGet);
    EXPECT_EQ(rig.link.Take().size(), 11u); // start, nine of the ten chunks, end
}

TEST(SimSession, ControlWordsAreReadWhole)
{
    Rig rig;
    rig.Login();
    auto inits = [&] {
        const auto log = rig.recorder.LogDownload();
        int n = 0;
        for (size_t i = 0; i + kLogEntrySize <= log.size(); i += kLogEntrySize)
            n += log[i] == 8 ? 1 : 0; // DVR INIT
        return n;
    };
    // 256 and 100 are no initialise, whatever their low byte; 0 is.
    rig.Request(DvrCmdControl, Bytes({0, 1}));
    rig.Request(DvrCmdControl, Bytes({100, 0}));
    EXPECT_EQ(inits(), 0);
    rig.Request(DvrCmdControl, Bytes({0, 0}));
    EXPECT_EQ(inits(), 1);
}

TEST(SimControls, WhatTheViewerAskedForInWords)
{
    const std::pair<std::array<uint8_t, 4>, const char *> ptz[] = {
        {{2, 1, 3, 1}, "ptz channel 3 up speed 2X"},
        {{2, 0x63, 0, 1}, "ptz channel 3 stop speed 2X"},
        {{0, 1, 4, 0}, "ptz channel 1 zoom in speed 1X"},
        {{15, 2, 4, 2}, "ptz channel 16 store preset 5 speed 4X"},
        {{0, 3, 15, 0}, "ptz channel 1 go to preset 16 speed 1X"},
        {{0, 4, 0, 0}, "ptz channel 1 auto focus speed 1X"},
        {{0, 9, 7, 5}, "ptz channel 1 action 9 argument 7 speed 5"},
    };
    for (const auto &[payload, text] : ptz)
        EXPECT_EQ(DescribePtz(payload.data()), text);
    const std::pair<uint32_t, const char *> keys[] = {
        {0x2000, "key Menu"}, {0x10000000, "key ALM"}, {1, "key 1"}, {0x200 | 0x800, "key 0+Multi"},
        {0, "key none"}, {0x80000000u, "key bit 31"},
    };
    for (const auto &[bits, text] : keys)
        EXPECT_EQ(DescribeKey(bits), text);
    const std::pair<uint16_t, const char *> words[] = {
        {0, "control 0 initialise recorder"}, {1, "control 1 initialise fixed disks"},
        {2, "control 2 initialise backup disks"}, {11, "control 11 relay on"}, {12, "control 12 relay off"},
        {100, "control 100 unassigned"}, {256, "control 256 unknown"},
    };
    for (const auto &[word, text] : words)
        EXPECT_EQ(DescribeControl(word), text);
}

// What a recorder keeps whatever a client sends: its record, titles, firmware and recordings.
std::vector<uint8_t> Kept(const SimRecorder &r)
{
    std::vector<uint8_t> out = r.Env();
    const auto add = [&out](const std::vector<uint8_t> &b) { out.insert(out.end(), b.begin(), b.end()); };
    add(r.Titles());
    add(r.Firmware());
    add({uint8_t(r.FlashCount())});
    add(r.DiskMap());
    const RecorderTime first{0xFF, 0, 0, 0, 0, 0, 0};
    for (int code = 0; code < 256; ++code) {
        add(r.DiskIndex(uint8_t(code)));
        for (const auto &e : r.EventSearch(uint8_t(code), 0, 0xFF, first))
            add(e);
        for (const auto &b : r.BlockSearch(uint8_t(code), first))
            add(b);
    }
    return out;
}

TEST(SimSession, HostilePacketsAreSurvived)
{
    // Every command number with random flags and payloads, logged in and not.
    std::mt19937 rng(4);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Rig rig;
        const std::vector<uint8_t> before = Kept(rig.recorder);
        if (round == 1)
            rig.Login();
        for (int i = 0; i < 20000; ++i) {
            std::vector<uint8_t> payload(rng() % 40 == 0 ? rng() % 1025 : rng() % 32);
            for (auto &b : payload)
                b = uint8_t(rng());
            const uint8_t cmd = uint8_t(rng() % 40);
            const uint8_t flags[] = {0, 0x80, 0x40, 0xC0, 0xA0, uint8_t(rng())};
            rig.Request(cmd, payload, flags[rng() % 6]);
            if (i % 100 == 0)
                rig.session.Tick(SimSession::Clock::now() + std::chrono::seconds(i));
            rig.link.sent.clear();
        }
        EXPECT_TRUE(Kept(rig.recorder) == before);
        // The session still answers a login as it did before.
        rig.Request(DvrCmdLogin, BuildLogin("", ""));
        const auto sent = rig.link.Take();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent[0].cmd, DvrCmdLogin);
        ASSERT_EQ(sent[0].payload.size(), 9u);
        EXPECT_EQ(sent[0].payload[0], DvrLoginMaster);
        EXPECT_TRUE(rig.session.LoggedIn());
    }
}
