#pragma once
// The recording store: `.dvr` files written by the viewer and the recorder's own disk, read
// sector by sector. Headers are kept as raw byte buffers and read and written field by field
// (little-endian) through the offsets below, so every layout stays byte-exact.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace strandel {

class TimedEvent;

// ---- sizes and fixed positions -------------------------------------------------------------

constexpr int kSectorSize = 512;
constexpr int kStoreTimeSize = 7;                           // one RecorderTime
constexpr int kChannelTimesSize = 17 * kStoreTimeSize;      // entry 0 = all channels, n = channel n
constexpr int kStoreChannels = 16;
constexpr int kMaxUnitsPerBlock = 60;
constexpr int kMaxRecordsPerUnit = 128;
constexpr uint32_t kMaxRecordBytes = 315040;                // record buffer; header + parts stay below
constexpr uint32_t kRecordHeaderSize = 128;
constexpr uint32_t kRecordPadSize = 96;                     // extra header bytes of an 0xD0 record
constexpr uint32_t kDiskRecordBufferSize = kMaxRecordBytes + kSectorSize;

constexpr uint32_t kFileBlockSpan = 20480000;               // bytes between two file blocks
constexpr uint32_t kFileFirstBlock = 394;
constexpr uint32_t kFileFirstRecord = 888;

constexpr uint32_t kDiskHeaderLba = 10;
constexpr uint32_t kDiskHeaderCopyLba = 11;
constexpr uint32_t kFirstReadableLba = 10;
constexpr uint32_t kEventRingLba = 20;
constexpr uint32_t kEventChunkSectors = 50;
constexpr int kEventChunks = 50;
constexpr int kEventsPerChunk = 1000;
constexpr int kEventSlots = kEventChunks * kEventsPerChunk;
constexpr uint32_t kSubBlockLba = 5020;
constexpr uint32_t kDiskBlockSectors = 40000;
constexpr uint32_t kSubBlockSectors = 400000;               // ten blocks

// Store results of the stepping readers.
enum StoreResult : int { StoreFailed = 0, StoreRecord = 1, StoreEnd = 2, StoreNothing = 3 };

// Play directions.
constexpr uint8_t kPlayForward = 31;
constexpr uint8_t kPlayBackward = 32;

// ---- layouts -------------------------------------------------------------------------------

struct DiskHeader {
    static constexpr int kSize = 394;
    static constexpr int kChannelCount = 41;
    static constexpr int kVideo = 42;
    static constexpr int kTotalSectors = 43;   // T
    static constexpr int kSubBlockLba = 47;
    static constexpr int kReservedLba = 51;
    static constexpr int kFirstBlockLba = 55;
    static constexpr int kLastBlockLba = 59;
    static constexpr int kFirstTime = 63;
    static constexpr int kLastTime = 182;
    static constexpr int kNewestSequence = 316;
    static constexpr int kStartLba = 324;       // oldest recorded block
    static constexpr int kEndLba = 328;         // newest recorded block
    static constexpr int kWrapForwardLba = 332;
    static constexpr int kWrapBackwardLba = 336;
    static constexpr int kEventRing = 362;      // seven u32 slot indices
    static constexpr int kCrc = 390;
};

// Slots of the event ring state at DiskHeader::kEventRing.
constexpr int kEventRingOldest = 0;
constexpr int kEventRingNext = 1;
constexpr int kEventRingSplit = 3;

struct BlockHeader {
    static constexpr int kSize = 494;
    static constexpr int kUnitCount = 1;
    static constexpr int kChannelMask = 2;
    static constexpr int kTimes = 131;
    static constexpr int kUnitPositions = 250;
    static constexpr int kCrc = 490;
};

struct UnitHeader {
    static constexpr int kSize = 895;
    static constexpr int kRecordCount = 1;
    static constexpr int kChannelMask = 2;
    static constexpr int kTimes = 4;
    static constexpr int kChannelPairs = 123;
    static constexpr int kRecordPositions = 379;
    static constexpr int kCrc = 891;
};

struct SubBlockHeader {
    static constexpr int kSize = 205;
    static constexpr int kChannelMask = 1;
    static constexpr int kPlayLba = 3;
    static constexpr int kStartTime = 7;
    static constexpr int kTimes = 82;
    static constexpr int kCrc = 201;
};

struct EventEntry {
    static constexpr int kSize = 20;
    static constexpr int kChannel = 0;
    static constexpr int kEvents = 1;
    static constexpr int kTime = 2;
    static constexpr int kUnitIndex = 10;
    static constexpr int kRecordIndex = 11;
    static constexpr int kBlockLba = 12;
    static constexpr int kBlockSequence = 16;
};

struct BlockEntry {
    static constexpr int kSize = 18;
    static constexpr int kStartTime = 1;
    static constexpr int kChannelMask = 8;
    static constexpr int kPlayLba = 10;
};

using DiskHeaderBuffer = std::array<uint8_t, DiskHeader::kSize>;
using BlockHeaderBuffer = std::array<uint8_t, BlockHeader::kSize>;
using UnitHeaderBuffer = std::array<uint8_t, UnitHeader::kSize>;
using SubBlockHeaderBuffer = std::array<uint8_t, SubBlockHeader::kSize>;

// Counts as stored, cut to what the header can hold, so files of other writers still read.
int BlockUnitCount(const uint8_t *block);
int UnitRecordCount(const uint8_t *unit);
uint32_t BlockUnitPosition(const uint8_t *block, int unit);
uint32_t UnitRecordPosition(const uint8_t *unit, int record);
// Entry `channel` (0..16) of a ChannelTimes table.
inline const uint8_t *ChannelTime(const uint8_t *times, int channel) { return times + channel * kStoreTimeSize; }
// Times order as 7-byte strings.
int CompareStoreTime(const uint8_t *a, const uint8_t *b);

// ---- recorder disk arithmetic --------------------------------------------------------------

// Fills offsets 43..59 of a disk header from the total sector count T.
void StoreComputeLayout(uint8_t *diskHeader, uint32_t totalSectors);
// A disk that holds recorded blocks: start and end non-zero and every block pointer on the
// block grid of its area.
bool StoreIsValidDisk(const uint8_t *diskHeader);
bool StoreDiskWrapped(const uint8_t *diskHeader);
// Number of recorded blocks in the ring (0 for a disk that is not valid).
int64_t CalcBlkCnt(const uint8_t *diskHeader);
// Oldest block sequence number whose video is still on the disk.
int64_t StoreHeadSequence(const uint8_t *diskHeader);
// LBA of the sub-block header that indexes the block at `blockLba`.
uint32_t StoreSubBlockLba(const uint8_t *diskHeader, uint32_t blockLba);

// ---- state ---------------------------------------------------------------------------------

// One open writer or reader. Header buffers live here; a player reaches them through it.
struct DvrStoreContext {
    DvrStoreContext() = default;
    ~DvrStoreContext();
    DvrStoreContext(const DvrStoreContext &) = delete;
    DvrStoreContext &operator=(const DvrStoreContext &) = delete;

    std::FILE *stream = nullptr;  // `.dvr` file, writer or reader
    int disk = -1;                // recorder disk handle; -1 for files (not owned)

    // writer
    uint32_t byteCount = 0;       // file length so far
    uint8_t channelCount = 0;
    uint8_t videoStandard = 0;
    std::array<uint8_t, kStoreTimeSize> firstTime{};
    std::array<uint8_t, kStoreTimeSize> lastTime{};
    uint32_t blockPos = 0;        // file: byte offset of the block header; disk: block LBA

    // reader
    uint8_t running = 0;
    uint8_t direction = 0;
    uint8_t fastFactor = 0;
    uint8_t slowFactor = 0;
    uint8_t recordIndex = 0;
    uint8_t unitIndex = 0;
    int candidateDisk = -1;       // disk time search: best range seen so far
    uint32_t candidateFirst = 0;
    uint32_t candidateLast = 0;
    uint8_t playState = 0;        // 0 paused, 1 playing
    uint8_t singleStep = 0;
    std::array<int32_t, kStoreChannels + 1> skip{};

    UnitHeaderBuffer unitHdr{};
    BlockHeaderBuffer blkHdr{};
    SubBlockHeaderBuffer sblkHdr{};
    DiskHeaderBuffer diskHdr{};   // disk header, or the file header of a `.dvr` file
    // Disk play stepped over the wrap point: the recorder may have moved on, so the header is
    // read again before the next step. diskHdr itself stays as answered until then.
    bool diskHdrStale = false;
};

// Clears the whole state except the handles.
void StoreResetState(DvrStoreContext *ctx);

// The lock every `.dvr` writer of the process is used under ("RecEvent"); callers hold it
// around open, append and close.
TimedEvent &StoreRecEvent();

// ---- writer --------------------------------------------------------------------------------

// Creates the file, emptying one that exists; exclusive refuses an existing file instead.
bool StoreCreateFile(DvrStoreContext *ctx, const std::string &path, bool exclusive = false);
// `header`: 128-byte record header (its sector count is filled in); `data`: the three parts
// back to back, or null. Records of more than 314,752 bytes, which no reader takes, are refused.
bool StoreAppendRecord(DvrStoreContext *ctx, uint8_t *header, const uint8_t *data);
bool StoreCloseFile(DvrStoreContext *ctx);
enum StoreHeaderMode : int { StoreUnitHeader = 0, StoreBlockHeader = 1, StoreFileHeader = 3 };
bool WriteHdrFile(DvrStoreContext *ctx, int mode);
bool StoreWriteBytes(DvrStoreContext *ctx, const uint8_t *p, uint32_t n, bool counted);
bool StoreWriteZeros(DvrStoreContext *ctx, uint32_t n);

// ---- `.dvr` reader -------------------------------------------------------------------------

// Opens for reading and reads the file header; closes the file again when that fails.
bool StoreOpenFile(DvrStoreContext *ctx, const std::string &path);
void StoreCloseStream(DvrStoreContext *ctx);
bool StoreReadFileHeader(DvrStoreContext *ctx);
bool StoreReadHeader(DvrStoreContext *ctx, int mode);
bool StoreReadBytes(DvrStoreContext *ctx, uint8_t *p, uint32_t n);
bool StoreSeekTime(DvrStoreContext *ctx, uint8_t channel, const uint8_t *time);
bool StoreSeekBlock(DvrStoreContext *ctx, uint8_t channel, const uint8_t *time);
bool StoreSeekUnit(DvrStoreContext *ctx, uint8_t channel, const uint8_t *time);
bool StoreSeekImage(DvrStoreContext *ctx, uint8_t channel, const uint8_t *time);
// `header`: 128 bytes; `data`: kMaxRecordBytes bytes or null. Returns a StoreResult; the
// buffers hold a record for StoreRecord and may for StoreEnd (see the recordRead flag).
int StoreNextRecord(DvrStoreContext *ctx, uint8_t *header, uint8_t *data, bool *recordRead = nullptr);

// ---- recorder disk -------------------------------------------------------------------------

// Device path of physical drive n (0..19): the setting "HddDrives" (paths separated by ';')
// when set, else /dev/sda../dev/sdp, then /dev/nvme0n1../dev/nvme3n1.
std::string PhysicalDiskPath(int n);
int OpenPhysicalDisk(int n);           // read-only; -1 when it cannot be opened
int OpenDiskImage(const std::string &path);
void ClosePhysicalDisk(int handle);
// Whole sectors from `lba` (never below 10); copies `bytes` to dst only when all were read.
uint32_t ReadSectors(int handle, uint64_t lba, uint8_t *dst, uint32_t bytes);

bool ReadHddHdr(int handle, uint8_t *diskHeader);
bool ReadBlkHdr(int handle, uint32_t lba, uint8_t *blockHeader);
bool ReadUnitHdr(int handle, uint32_t lba, uint8_t *unitHeader);
bool ReadSblkHdr(int handle, uint32_t lba, uint8_t *subBlockHeader);

bool StoreOpenDisk(DvrStoreContext *ctx);
// `record`: kDiskRecordBufferSize bytes; receives header and data contiguously.
int StorePlayStep(DvrStoreContext *ctx, uint8_t *record, bool *recordRead = nullptr);
bool StoreTimeSearch(DvrStoreContext *ctx, int handle, uint8_t channel, const uint8_t *time);
// Newest first; `out` holds max × 20 bytes.
int GetEventData(int handle, uint8_t channel, uint8_t mask, const uint8_t *time, uint8_t *out, int max);
// `out` holds max × 18 bytes.
int GetBlockData(int handle, const uint8_t *time, uint8_t *out, int max);

// ---- play control (both readers) ----------------------------------------------------------

bool JpegPlayControl(DvrStoreContext *ctx, uint8_t fast, uint8_t slow, uint8_t direction);
void JpegPlayAt(DvrStoreContext *ctx, int handle, uint32_t block, uint8_t unit, uint8_t record);

} // namespace strandel
