#include "viewer/dvrcommand.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/endian.h"

namespace strandel {

namespace {

void PutText(Payload &out, std::string_view text, size_t width)
{
    const size_t n = std::min(text.size(), width);
    out.insert(out.end(), text.begin(), text.begin() + n);
    out.insert(out.end(), width - n, 0);
}

void PutTime(Payload &out, const RecorderTime &t)
{
    uint8_t b[kRecorderTimeSize];
    WriteRecorderTime(b, t);
    out.insert(out.end(), b, b + kRecorderTimeSize);
}

void PutU32(Payload &out, uint32_t v)
{
    uint8_t b[4];
    PutLe32(b, v);
    out.insert(out.end(), b, b + 4);
}

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
    Payload out;
    PutText(out, user, kLoginFieldSize);
    PutText(out, password, kLoginFieldSize);
    return out;
}

Payload BuildMode(uint8_t mode) { return {mode, 0}; }
Payload BuildChannel(uint8_t channel) { return {channel, 0}; }

Payload BuildPlayControl(uint8_t play, uint8_t fast, uint8_t slow, uint8_t direction)
{
    return {PT_PLAY, play, fast, slow, direction};
}

Payload BuildPlayTime(uint8_t diskCode, uint8_t channel, const RecorderTime &time)
{
    Payload out{PLAY_TIME, diskCode, channel};
    PutTime(out, time);
    return out;
}

Payload BuildPlayEvent(const uint8_t entry[kEventEntrySize])
{
    Payload out{PLAY_EVENT};
    out.insert(out.end(), entry, entry + kEventEntrySize);
    return out;
}

Payload BuildPlayBlock(const uint8_t entry[kBlockEntrySize])
{
    Payload out{PLAY_BLOCK};
    out.insert(out.end(), entry, entry + kBlockEntrySize);
    return out;
}

Payload BuildPlayFile(std::string_view path)
{
    // The path stops at its first NUL, as the recorder reads it.
    path = path.substr(0, path.find('\0'));
    Payload out{PLAY_FILE};
    out.insert(out.end(), path.begin(), path.end());
    out.push_back(0);
    return out;
}

Payload BuildPlayPos(uint32_t base, uint32_t position)
{
    Payload out{PLAY_POS};
    PutU32(out, base);
    PutU32(out, position);
    return out;
}

Payload BuildDiskIndex(uint8_t diskCode) { return {diskCode, 0}; }

Payload BuildEventSearch(uint8_t diskCode, uint8_t channel, uint8_t eventMask, const RecorderTime &time)
{
    Payload out{diskCode, channel, eventMask};
    PutTime(out, time);
    return out;
}

Payload BuildBlockSearch(uint8_t diskCode, const RecorderTime &time)
{
    Payload out{diskCode};
    PutTime(out, time);
    return out;
}

Payload BuildLogSearch(const RecorderTime &time)
{
    Payload out;
    PutTime(out, time);
    return out;
}

Payload BuildUpgradePhase(uint8_t phase, uint32_t size)
{
    Payload out{phase};
    PutU32(out, size);
    return out;
}

Payload BuildUpgradeData(uint32_t offset, const uint8_t *data, size_t length)
{
    Payload out{1};
    PutU32(out, offset);
    out.insert(out.end(), data, data + std::min<size_t>(length, kUploadPartSize));
    return out;
}

Payload BuildCopy(uint8_t diskCode, uint8_t channel, const RecorderTime &start, const RecorderTime &end)
{
    Payload out{diskCode, channel};
    PutTime(out, start);
    PutTime(out, end);
    return out;
}

Payload BuildPtz(uint8_t channel, uint8_t action, uint8_t argument, uint8_t speed)
{
    return {channel, action, argument, speed};
}

Payload BuildRemoteKey(uint32_t keyBits)
{
    Payload out;
    PutU32(out, keyBits);
    return out;
}

Payload BuildControl(uint8_t code) { return {code, 0}; }
Payload BuildAudioSwitch(bool on) { return {uint8_t(on ? 1 : 0), 0, 0, 0}; }

Payload BuildEnvPassword(std::string_view password)
{
    Payload out;
    PutText(out, password, kLoginFieldSize);
    return out;
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
    char text[16];
    std::snprintf(text, sizeof text, "CODE %-7u", unsigned(code));
    return text;
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
                      t.month, t.day, t.hour, t.minute, t.second, LogText(e.code).c_str());
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
