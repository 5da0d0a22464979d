#include "viewer/protocol/dvrcommand.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "platform/endian.h"

namespace strandel {

namespace {

// Builds a payload of known size front to back (sized up front: no growing inserts).
class PayloadWriter {
public:
    explicit PayloadWriter(size_t size) : out_(size) {}
    PayloadWriter &U8(uint8_t v)
    {
        out_.at(at_++) = v;
        return *this;
    }
    PayloadWriter &U32(uint32_t v)
    {
        PutLe32(Room(4), v);
        return *this;
    }
    PayloadWriter &Bytes(const void *data, size_t n)
    {
        if (n)
            std::memcpy(Room(n), data, n);
        return *this;
    }
    PayloadWriter &Text(std::string_view text, size_t width)
    {
        const size_t n = std::min(text.size(), width);
        Bytes(text.data(), n);
        std::memset(Room(width - n), 0, width - n);
        return *this;
    }
    PayloadWriter &Time(const RecorderTime &t)
    {
        WriteRecorderTime(Room(kRecorderTimeSize), t);
        return *this;
    }
    Payload Take() { return std::move(out_); }

private:
    uint8_t *Room(size_t n)
    {
        if (n > out_.size() - at_)
            throw std::length_error("payload");
        uint8_t *p = out_.data() + at_;
        at_ += n;
        return p;
    }
    Payload out_;
    size_t at_ = 0;
};

// 21 texts for codes 0..20, blank-padded to 12 characters.
constexpr const char *kLogTextTable[] = {
    "POWER OFF   ", "RECORD START", "RECORD STOP ", "MENU CHANGED", "POWER FAIL  ", "POWER ON    ",
    "HDD INIT(N) ", "HDD INIT(B) ", "DVR INIT    ", "TIME CHANGED", "HDD ERROR   ", "HDD FAIL    ",
    "NET CONNECT ", "NET DISCONN ", "BATTERY LOW ", "OVERHEATED  ", "INT FAN ERR ", "BAY1 FAN ERR",
    "BAY2 FAN ERR", "BAY3 FAN ERR", "BAY4 FAN ERR",
};
constexpr size_t kLogTextCount = sizeof(kLogTextTable) / sizeof(kLogTextTable[0]);

} // namespace

Payload BuildLogin(std::string_view user, std::string_view password)
{
    return PayloadWriter(2 * kLoginFieldSize).Text(user, kLoginFieldSize).Text(password, kLoginFieldSize).Take();
}

Payload BuildMode(uint8_t mode) { return PayloadWriter(2).U8(mode).U8(0).Take(); }
Payload BuildChannel(uint8_t channel) { return PayloadWriter(2).U8(channel).U8(0).Take(); }

Payload BuildPlayControl(uint8_t play, uint8_t fast, uint8_t slow, uint8_t direction)
{
    return PayloadWriter(5).U8(PT_PLAY).U8(play).U8(fast).U8(slow).U8(direction).Take();
}

Payload BuildPlayTime(uint8_t diskCode, uint8_t channel, const RecorderTime &time)
{
    return PayloadWriter(10).U8(PLAY_TIME).U8(diskCode).U8(channel).Time(time).Take();
}

Payload BuildPlayEvent(const uint8_t entry[kEventEntrySize])
{
    return PayloadWriter(1 + kEventEntrySize).U8(PLAY_EVENT).Bytes(entry, kEventEntrySize).Take();
}

Payload BuildPlayBlock(const uint8_t entry[kBlockEntrySize])
{
    return PayloadWriter(1 + kBlockEntrySize).U8(PLAY_BLOCK).Bytes(entry, kBlockEntrySize).Take();
}

Payload BuildPlayFile(std::string_view path)
{
    // The path stops at its first NUL, as the recorder reads it.
    path = path.substr(0, path.find('\0'));
    return PayloadWriter(path.size() + 2).U8(PLAY_FILE).Bytes(path.data(), path.size()).U8(0).Take();
}

Payload BuildPlayPos(uint32_t base, uint32_t position)
{
    return PayloadWriter(9).U8(PLAY_POS).U32(base).U32(position).Take();
}

Payload BuildDiskIndex(uint8_t diskCode) { return PayloadWriter(2).U8(diskCode).U8(0).Take(); }

Payload BuildEventSearch(uint8_t diskCode, uint8_t channel, uint8_t eventMask, const RecorderTime &time)
{
    return PayloadWriter(10).U8(diskCode).U8(channel).U8(eventMask).Time(time).Take();
}

Payload BuildBlockSearch(uint8_t diskCode, const RecorderTime &time)
{
    return PayloadWriter(8).U8(diskCode).Time(time).Take();
}

Payload BuildLogSearch(const RecorderTime &time) { return PayloadWriter(7).Time(time).Take(); }

Payload BuildUpgradePhase(uint8_t phase, uint32_t size) { return PayloadWriter(5).U8(phase).U32(size).Take(); }

Payload BuildUpgradeData(uint32_t offset, const uint8_t *data, size_t length)
{
    const size_t n = data ? std::min<size_t>(length, kUploadPartSize) : 0;
    return PayloadWriter(5 + n).U8(1).U32(offset).Bytes(data, n).Take();
}

Payload BuildCopy(uint8_t diskCode, uint8_t channel, const RecorderTime &start, const RecorderTime &end)
{
    return PayloadWriter(16).U8(diskCode).U8(channel).Time(start).Time(end).Take();
}

Payload BuildPtz(uint8_t channel, uint8_t action, uint8_t argument, uint8_t speed)
{
    return PayloadWriter(4).U8(channel).U8(action).U8(argument).U8(speed).Take();
}

Payload BuildRemoteKey(uint32_t keyBits) { return PayloadWriter(4).U32(keyBits).Take(); }
Payload BuildControl(uint8_t code) { return PayloadWriter(2).U8(code).U8(0).Take(); }
Payload BuildAudioSwitch(bool on) { return PayloadWriter(4).U8(on ? 1 : 0).U8(0).U8(0).U8(0).Take(); }

Payload BuildEnvPassword(std::string_view password)
{
    return PayloadWriter(kLoginFieldSize).Text(password, kLoginFieldSize).Take();
}

std::optional<LoginAnswer> ReadLoginAnswer(const uint8_t *p, size_t length)
{
    if (!p || length < size_t(kLoginAnswerSize))
        return std::nullopt;
    LoginAnswer a;
    a.result = int8_t(p[0]);
    a.channelCount = int8_t(p[1]);
    a.video = p[2];
    std::memcpy(a.mac, p + 3, 6);
    return a;
}

std::optional<uint16_t> ReadChannelMask(const uint8_t *p, size_t length)
{
    if (!p || length < 2)
        return std::nullopt;
    return GetBe16(p);
}

std::optional<PlayStatus> ReadPlayStatus(const uint8_t *p, size_t length)
{
    if (!p || length < 5)
        return std::nullopt;
    PlayStatus s;
    s.state = p[1];
    s.fast = p[2];
    s.slow = p[3];
    s.direction = p[4];
    return s;
}

std::optional<PlayRecTime> ReadPlayRecTime(const uint8_t *p, size_t length)
{
    if (!p || length < 23)
        return std::nullopt;
    PlayRecTime r;
    r.base = GetLe32(p + 1);
    r.count = GetLe32(p + 5);
    r.start = ReadRecorderTime(p + 9);
    r.end = ReadRecorderTime(p + 16);
    return r;
}

std::optional<PlayPosition> ReadPlayPosition(const uint8_t *p, size_t length)
{
    if (!p || length < 9)
        return std::nullopt;
    return PlayPosition{GetLe32(p + 1), GetLe32(p + 5)};
}

std::optional<ScreenLayoutInfo> ReadScreenLayoutInfo(const uint8_t *p, size_t length)
{
    if (!p || length != size_t(kScreenLayoutInfoSize))
        return std::nullopt;
    ScreenLayoutInfo s;
    std::memcpy(s.cells4, p + 0, 4);
    std::memcpy(s.cells6, p + 4, 6);
    std::memcpy(s.cells7, p + 10, 7);
    std::memcpy(s.cells9, p + 17, 9);
    std::memcpy(s.cells10, p + 26, 10);
    std::memcpy(s.cells13, p + 36, 13);
    s.features = p[127];
    return s;
}

std::optional<uint32_t> ReadSegmentTotal(const uint8_t *p, size_t length)
{
    if (!p || length < 4)
        return std::nullopt;
    return GetLe32(p);
}

std::optional<uint8_t> ReadResultByte(const uint8_t *p, size_t length)
{
    if (!p || length < 1)
        return std::nullopt;
    return p[0];
}

std::optional<LogEntry> ReadLogEntry(const uint8_t *p, size_t length)
{
    if (!p || length < size_t(kLogEntrySize))
        return std::nullopt;
    return LogEntry{p[0], ReadRecorderTime(p + 1), p[8]};
}

std::string LogText(uint8_t code)
{
    if (code < kLogTextCount)
        return kLogTextTable[code];
    return {};
}

std::string LogKindText(uint8_t code, uint8_t disk)
{
    const int c = int8_t(code), d = int8_t(disk);
    char text[32];
    if (c == 10 || c == 11) {
        const char *what = c == 10 ? (d < 5 ? "HDD ERROR" : "BAY ERROR") : (d < 5 ? "HDD FAIL" : "BAY FAIL");
        std::snprintf(text, sizeof text, "%s-%2d", what, d);
        return text;
    }
    if (c >= 0 && c <= 20)
        return LogText(uint8_t(c));
    return {};
}

std::string FormatLogFile(const uint8_t *p, size_t length)
{
    std::string out;
    if (!p)
        return out;
    const size_t n = length / kLogEntrySize;
    char line[96];
    for (size_t i = n; i-- > 0;) {
        const LogEntry e = *ReadLogEntry(p + i * kLogEntrySize, kLogEntrySize);
        const RecorderTime &t = e.time;
        std::snprintf(line, sizeof line, "%zu %02d%02d/%02d/%02d %02d:%02d:%02d %s\r\n", n - i, t.century, t.year,
                      t.month, t.day, t.hour, t.minute, t.second, LogKindText(e.code, e.disk).c_str());
        out += line;
    }
    return out;
}

std::string PlayStateText(uint8_t mode, const PlayStatus &s)
{
    if (mode == DvrModeLive)
        return s.state == 1 ? ">" : "||";
    const bool back = s.direction == PlayDirBackward;
    if (s.state == 0)
        return back ? "<||" : "||>";
    if (s.fast > 1)
        return (back ? "<<" : ">>") + std::to_string(s.fast);
    if (s.slow > 1)
        return (back ? "<|" : "|>") + std::to_string(s.slow);
    if (s.state == 1)
        return back ? "<" : ">";
    return back ? "<||" : "||>";
}

} // namespace strandel
