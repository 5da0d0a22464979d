#pragma once
// The recorder's command protocol: command numbers, flags, sub-codes and the payloads the
// viewer builds and reads. Every reader checks the length it needs and returns nothing for a
// short payload, so a hostile packet is dropped instead of read past its end.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/link/dvrframing.h"
#include "viewer/base/global.h"

namespace strandel {

// A request and its reply carry the same number; numbers above kDvrCmdLast are ignored.
// DvrCmdBye (2), sent only by the serial link as it disconnects, is defined with the links.
enum DvrCommand : uint8_t {
    DvrCmdAlive = 0,
    DvrCmdLogin = 1,
    DvrCmdRecord = 3,
    DvrCmdAudio = 4,
    DvrCmdMode = 5,
    DvrCmdChannel = 6,
    DvrCmdPlay = 7,
    DvrCmdPlayInfo = 9,
    DvrCmdChannelMask = 10,
    DvrCmdEnvGet = 11,
    DvrCmdEnvSet = 12,
    DvrCmdStatus = 13,
    DvrCmdDiskIndex = 14,
    DvrCmdEventSearch = 15,
    DvrCmdBlockSearch = 16,
    DvrCmdLogSearch = 17,
    DvrCmdUpgrade = 19,
    DvrCmdDiskMap = 21,
    DvrCmdCopy = 22,
    DvrCmdCopyEnd = 23,
    DvrCmdPtz = 24,
    DvrCmdRemoteKey = 25,
    DvrCmdControl = 28,
    DvrCmdAudioSend = 29,
    DvrCmdAudioReceive = 30,
    DvrCmdTitleSet = 31,
    DvrCmdTitleGet = 32,
    DvrCmdLogDownload = 33,
    DvrCmdEnvGetEx = 35,
    DvrCmdScreenLayouts = 36,
    DvrCmdEnvPassword = 37,
};
constexpr uint8_t kDvrCmdLast = 38;

// Packet flags beside DvrFlagNone and the TCP segmentation flags of the framing.
enum DvrFlag : uint8_t {
    // Upload framing of large records sent by the viewer (commands 12 and 31).
    DvrFlagBlockBegin = 0x80,
    DvrFlagBlockEnd = 0x40,
    // Video record parts: OR-ed with the part number 0..2.
    DvrFlagPartFirst = 0x40,
    DvrFlagPart = 0x00,
    DvrFlagPartEnd = 0x20,
    // The FrameRecordHeader that closes a record.
    DvrFlagRecordHeader = 0x80,
};

constexpr int kUploadPartSize = 1000;

// Records that travel whole; their fields belong to the dialogs.
constexpr int kDvrEnvRecordSize = 9638;
constexpr int kDvrStatusRecordSize = 927;
constexpr int kDiskHeaderSize = 394;
constexpr int kEventEntrySize = 20;
constexpr int kBlockEntrySize = 18;
constexpr int kLogEntrySize = 9;
constexpr int kHddMapSize = 16;
constexpr int kTitleBitmapSize = 144;
constexpr int kTitleBitmapCount = 16;
constexpr int kTitleBitmapsSize = kTitleBitmapSize * kTitleBitmapCount; // 2304
constexpr int kLoginAnswerSize = 9;
constexpr int kScreenLayoutInfoSize = 128;
constexpr int kLoginFieldSize = 8;
constexpr int kAudioBlockSize = 256;

// DvrCmdPlay sub-codes (payload byte 0).
enum PlayCode : uint8_t {
    PLAY_NODATA = 1,
    PLAY_TIME = 2,
    PLAY_EVENT = 3,
    PLAY_BLOCK = 4,
    PLAY_FILE = 7,
    PLAY_POS = 8,
    PLAY_END = 9,
    PT_PLAY = 30,
};
enum PlayDirection : uint8_t {
    PlayDirForward = 31,
    PlayDirBackward = 32,
};
// DvrCmdPlayInfo sub-codes.
enum PlayInfoCode : uint8_t {
    INFO_RECTIME = 0,
    INFO_PLAYPOS = 1,
};

enum DvrLoginResult : int8_t {
    DvrLoginDenied = 0, // and below
    DvrLoginSlave = 1,
    DvrLoginMaster = 2,
    DvrLoginMasterBusy = 3,
};

enum DvrMode : uint8_t {
    DvrModeLive = 0,
    DvrModePlayback = 1,
};

// Reply of DvrCmdLogin.
struct LoginAnswer {
    int8_t result = 0;
    int8_t channelCount = 0;
    uint8_t video = 0; // low nibble non-zero = NTSC; high nibble = model code
    uint8_t mac[6] = {};
    bool Ntsc() const { return (video & 0x0F) != 0; }
    uint8_t Model() const { return uint8_t(video >> 4); }
};

// Reply of PT_PLAY; the local players append three zero bytes.
struct PlayStatus {
    uint8_t state = 0; // 1 playing, 0 paused
    uint16_t fast = 0;
    uint16_t slow = 0;
    uint8_t direction = PlayDirForward;
};

struct PlayRecTime {
    uint32_t base = 0;
    uint32_t count = 0;
    RecorderTime start{};
    RecorderTime end{};
};

struct PlayPosition {
    uint32_t base = 0;
    uint32_t position = 0;
};

// Custom split layouts pushed by the recorder: channel lists (0 = empty cell) and feature bits.
struct ScreenLayoutInfo {
    uint8_t cells4[4] = {};
    uint8_t cells6[6] = {};
    uint8_t cells7[7] = {};
    uint8_t cells9[9] = {};
    uint8_t cells10[10] = {};
    uint8_t cells13[13] = {};
    uint8_t features = 0; // bit 0 4-cell .. bit 5 13-cell
};

struct LogEntry {
    uint8_t code = 0;
    RecorderTime time{};
    uint8_t disk = 0; // signed: the disk of a disk error or failure
};

using Payload = std::vector<uint8_t>;

// Request builders.
// User and password, each cut to 8 bytes or NUL-padded to 8.
Payload BuildLogin(std::string_view user, std::string_view password);
Payload BuildMode(uint8_t mode);
Payload BuildChannel(uint8_t channel);
Payload BuildPlayControl(uint8_t play, uint8_t fast, uint8_t slow, uint8_t direction);
Payload BuildPlayTime(uint8_t diskCode, uint8_t channel, const RecorderTime &time);
Payload BuildPlayEvent(const uint8_t entry[kEventEntrySize]);
Payload BuildPlayBlock(const uint8_t entry[kBlockEntrySize]);
Payload BuildPlayFile(std::string_view path);
Payload BuildPlayPos(uint32_t base, uint32_t position);
Payload BuildDiskIndex(uint8_t diskCode);
Payload BuildEventSearch(uint8_t diskCode, uint8_t channel, uint8_t eventMask, const RecorderTime &time);
Payload BuildBlockSearch(uint8_t diskCode, const RecorderTime &time);
Payload BuildLogSearch(const RecorderTime &time);
// Phase 0 start or 2 flash, with the file size.
Payload BuildUpgradePhase(uint8_t phase, uint32_t size);
// Phase 1: one part of the file (at most kUploadPartSize bytes are taken).
Payload BuildUpgradeData(uint32_t offset, const uint8_t *data, size_t length);
Payload BuildCopy(uint8_t diskCode, uint8_t channel, const RecorderTime &start, const RecorderTime &end);
Payload BuildPtz(uint8_t channel, uint8_t action, uint8_t argument, uint8_t speed);
Payload BuildRemoteKey(uint32_t keyBits);
Payload BuildControl(uint8_t code);
Payload BuildAudioSwitch(bool on);
Payload BuildEnvPassword(std::string_view password);

// Reply readers: nothing when the payload is shorter than the record.
std::optional<LoginAnswer> ReadLoginAnswer(const uint8_t *p, size_t length);
std::optional<uint16_t> ReadChannelMask(const uint8_t *p, size_t length);
std::optional<PlayStatus> ReadPlayStatus(const uint8_t *p, size_t length);
std::optional<PlayRecTime> ReadPlayRecTime(const uint8_t *p, size_t length);
std::optional<PlayPosition> ReadPlayPosition(const uint8_t *p, size_t length);
// Exactly kScreenLayoutInfoSize bytes.
std::optional<ScreenLayoutInfo> ReadScreenLayoutInfo(const uint8_t *p, size_t length);
std::optional<uint32_t> ReadSegmentTotal(const uint8_t *p, size_t length);
std::optional<uint8_t> ReadResultByte(const uint8_t *p, size_t length);
std::optional<LogEntry> ReadLogEntry(const uint8_t *p, size_t length);

// The 12-character text of a log code; empty for a code without one.
std::string LogText(uint8_t code);
// The kind text of a log entry: its code's text, or the disk for disk errors and failures.
std::string LogKindText(uint8_t code, uint8_t disk);
// The log text file, each line as the log search lists it: entries last-first, numbered from 1, each line ending CR LF.
std::string FormatLogFile(const uint8_t *p, size_t length);

// The play-state panel text after a PT_PLAY reply.
std::string PlayStateText(uint8_t mode, const PlayStatus &status);

} // namespace strandel
