#include "viewer/dvrlocal.h"

#include "platform/debuglog.h"
#include "platform/endian.h"
#include "viewer/framerecord.h"
#include "viewer/global.h"

#include <algorithm>
#include <cstring>

namespace strandel {

namespace {

// Command numbers and play sub-codes the players answer.
constexpr uint8_t kCmdLogin = 1;
constexpr uint8_t kCmdRecord = 3;
constexpr uint8_t kCmdMode = 5;
constexpr uint8_t kCmdPlay = 7;
constexpr uint8_t kCmdChannelMask = 10;
constexpr uint8_t kCmdDiskIndex = 14;
constexpr uint8_t kCmdEventSearch = 15;
constexpr uint8_t kCmdBlockSearch = 16;
constexpr uint8_t kPlayTime = 2;
constexpr uint8_t kPlayEvent = 3;
constexpr uint8_t kPlayBlock = 4;
constexpr uint8_t kPlayFile = 7;
constexpr uint8_t kPlayPos = 8;
constexpr uint8_t kPlayEnd = 9;
constexpr uint8_t kPtPlay = 30;

constexpr int kLoginAnswerSize = 9;
constexpr int kLockTimeoutMs = 5000;
constexpr int kFileTickMs = 20;
constexpr int kMpegTickMs = 1;
constexpr int kDiskStartMs = 5;
constexpr int kSearchMax = 1000;
constexpr int kPhysicalDrives = 20;

bool IsMpegVideo(const uint8_t *data, uint64_t size)
{
    return size >= 4 && (GetLe32(data) & 0xF0FFFFFFu) == 0xE0010000u;
}

} // namespace

// ---- CDvrLocal ---------------------------------------------------------------------------

CDvrLocal::CDvrLocal(DvrViewLink *owner) : CDvrBase(owner, true)
{
    queueTimer_.setInterval(1);
    QObject::connect(&queueTimer_, &QTimer::timeout, [this] { OnQueueTimer(); });
    QObject::connect(&playTimer_, &QTimer::timeout, [this] { OnPlayTimer(); });
}

CDvrLocal::~CDvrLocal()
{
    queueTimer_.stop();
    playTimer_.stop();
}

bool CDvrLocal::Init(DvrListRecord *record)
{
    record_ = record;
    StoreResetState(&store_);
    return Open();
}

bool CDvrLocal::Connect()
{
    if (owner_)
        owner_->OnConnected();
    return true;
}

void CDvrLocal::Close()
{
    EventGuard guard(lock_, kLockTimeoutMs);
    playTimer_.stop();
    Stop();
}

bool CDvrLocal::Disconnect() { return true; }

bool CDvrLocal::Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length)
{
    PacketHeader header;
    header.cmd = cmd;
    header.flag = flag;
    header.length = uint16_t(data ? std::clamp(length, 0, 0xFFFF) : 0);
    QueueCommand(header, data);
    return true;
}

void CDvrLocal::HandleCommand(const PacketHeader &, const uint8_t *) {}
bool CDvrLocal::Open() { return true; }
void CDvrLocal::Stop() {}

void CDvrLocal::QueueCommand(const PacketHeader &header, const uint8_t *data)
{
    Queued q{header, {}};
    if (data && header.length > 0)
        q.data.assign(data, data + header.length);
    else
        q.header.length = 0;
    queue_.push_back(std::move(q));
    queueTimer_.start();
}

void CDvrLocal::OnQueueTimer()
{
    queueTimer_.stop();
    size_t count = queue_.size(); // commands queued while answering wait for the next tick
    EventGuard guard(lock_, kLockTimeoutMs);
    while (count-- > 0 && !queue_.empty()) {
        Queued q = std::move(queue_.front());
        queue_.pop_front();
        HandleCommand(q.header, q.data.data());
    }
}

void CDvrLocal::SendAnswer(uint8_t cmd, uint8_t flag, const uint8_t *data, int length)
{
    if (!owner_)
        return;
    PacketHeader header;
    header.cmd = cmd;
    header.flag = flag;
    header.length = uint16_t(length);
    static const uint8_t none = 0;
    owner_->OnPacket(header, data ? data : &none);
}

void CDvrLocal::SendRecord(const uint8_t *header, const uint8_t *part0, const uint8_t *part1, const uint8_t *part2)
{
    const FrameRecordHeader h = FrameRecordHeader::Read(header);
    const uint8_t *parts[kFramePartCount] = {part0, part1, part2};
    for (int p = 0; p < kFramePartCount; ++p) {
        const uint32_t size = h.partSize[p];
        if (size == 0)
            continue;
        for (uint32_t at = 0; at < size; at += 1024) {
            const uint8_t flag = uint8_t(at == 0 ? 0x40 | p : p);
            SendAnswer(kCmdRecord, flag, parts[p] + at, int(std::min<uint32_t>(1024, size - at)));
        }
        uint8_t end[5];
        PutLe32(end, size);
        end[4] = h.frameId;
        SendAnswer(kCmdRecord, uint8_t(0x20 | p), end, sizeof end);
    }
    SendAnswer(kCmdRecord, 0x80, header, kFrameRecordHeaderSize);
}

void CDvrLocal::AnswerPlayStatus()
{
    const uint8_t status[8] = {kPtPlay, store_.playState, store_.fastFactor, store_.slowFactor, store_.direction, 0, 0, 0};
    SendAnswer(kCmdPlay, 0, status, sizeof status);
}

void CDvrLocal::AnswerPlayEnd()
{
    const uint8_t status[8] = {kPlayEnd, store_.playState, store_.fastFactor, store_.slowFactor, store_.direction, 0, 0, 0};
    SendAnswer(kCmdPlay, 0, status, sizeof status);
}

bool CDvrLocal::PlayRequest(const uint8_t *args, int length)
{
    if (length < 4)
        return false;
    const uint8_t play = args[0], fast = args[1], slow = args[2], direction = args[3];
    if (play == 0 && store_.playState == 0) {
        store_.singleStep = 1; // the next tick plays one record and pauses again
        store_.playState = 1;
    } else if (play == 1 && store_.playState == 0 && direction != store_.direction) {
        JpegPlayControl(&store_, 0, 0, direction);
    } else {
        store_.playState = play;
        JpegPlayControl(&store_, fast, slow, direction);
    }
    return true;
}

void CDvrLocal::StartPlay(int intervalMs)
{
    store_.playState = 1;
    store_.singleStep = 0;
    store_.running = 1;
    store_.fastFactor = 1;
    store_.slowFactor = 1;
    store_.direction = kPlayForward;
    playTimer_.setInterval(intervalMs);
}

void CDvrLocal::SetPlayTimer(bool on)
{
    if (on)
        playTimer_.start();
    else
        playTimer_.stop();
}

bool CDvrLocal::PushRecord(const uint8_t *header, const uint8_t *data)
{
    // Data that begin with eight zeros carry the 96 extra header bytes first.
    static const uint8_t zeros[8] = {};
    if (std::memcmp(data, zeros, sizeof zeros) == 0)
        data += kRecordPadSize;
    const FrameRecordHeader h = FrameRecordHeader::Read(header);
    const uint8_t *part1 = data + h.partSize[0];
    SendRecord(header, data, part1, part1 + h.partSize[1]);
    return IsMpegVideo(data, h.partSize[0]);
}

// ---- CDvrFile ----------------------------------------------------------------------------

CDvrFile::CDvrFile(DvrViewLink *owner) : CDvrLocal(owner), header_(128), data_(kMaxRecordBytes) {}

bool CDvrFile::Open() { return true; }

void CDvrFile::Stop() { StoreCloseStream(&store_); }

void CDvrFile::HandleCommand(const PacketHeader &header, const uint8_t *data)
{
    if (header.cmd == kCmdLogin) {
        // Logged in; the channel count and video byte come with the file.
        const uint8_t answer[kLoginAnswerSize] = {1};
        SendAnswer(kCmdLogin, 0, answer, sizeof answer);
    } else if (header.cmd == kCmdPlay && header.length >= 1) {
        PlayControl(data[0], data + 1, header.length - 1);
    }
}

void CDvrFile::PlayControl(uint8_t sub, const uint8_t *args, int length)
{
    switch (sub) {
    case kPlayTime:
        if (length >= 9 && FileOpen()) {
            if (StoreSeekTime(&store_, args[1], args + 2))
                StartPlay(kFileTickMs);
            else
                StoreCloseStream(&store_);
        }
        break;
    case kPlayFile: {
        const auto *end = static_cast<const uint8_t *>(std::memchr(args, 0, size_t(length)));
        const std::string path(reinterpret_cast<const char *>(args), end ? size_t(end - args) : size_t(length));
        StoreCloseStream(&store_);
        StoreResetState(&store_);
        if (StoreOpenFile(&store_, path) && hooks_.setVideoFormat)
            hooks_.setVideoFormat(store_.channelCount, store_.videoStandard);
        break;
    }
    case kPtPlay:
        PlayRequest(args, length);
        break;
    default:
        break;
    }
    SetPlayTimer(store_.playState == 1);
    AnswerPlayStatus();
}

void CDvrFile::OnPlayTimer()
{
    if (hooks_.isPlayBufferHigh && hooks_.isPlayBufferHigh())
        return;
    EventGuard guard(lock_, kLockTimeoutMs);
    bool read = false;
    const int r = StoreNextRecord(&store_, header_.data(), data_.data(), &read);
    int base = kFileTickMs;
    if (r < StoreNothing) {
        if (read && PushRecord(header_.data(), data_.data()))
            base = kMpegTickMs;
        if (r == StoreFailed || r == StoreEnd) {
            DebugPrint("Play End ...%d\n", r);
            store_.playState = 0;
            playTimer_.stop();
            AnswerPlayStatus();
            AnswerPlayEnd();
        }
        if (store_.singleStep) {
            store_.singleStep = 0;
            store_.playState = 0;
            playTimer_.stop();
            AnswerPlayStatus();
        }
    }
    playTimer_.setInterval(store_.slowFactor >= 2 ? store_.slowFactor * kFileTickMs : base);
}

// ---- CDvrHdd -----------------------------------------------------------------------------

CDvrHdd::CDvrHdd(DvrViewLink *owner) : CDvrLocal(owner), recordBuf_(kDiskRecordBufferSize) {}

CDvrHdd::~CDvrHdd() { Stop(); }

bool CDvrHdd::Open()
{
    struct Found {
        int n;
        DiskHeaderBuffer header;
    };
    std::vector<Found> found;
    for (int n = 0; n < kPhysicalDrives; ++n) {
        if (record_)
            record_->driveNumber = uint8_t(n);
        const int handle = OpenPhysicalDisk(n);
        if (handle < 0)
            continue;
        store_.disk = handle;
        if (StoreOpenDisk(&store_))
            found.push_back({n, store_.diskHdr});
        ClosePhysicalDisk(handle);
        store_.disk = -1;
    }
    if (found.empty()) {
        if (owner_)
            owner_->ShowMessageText("Cannot Find DVR Hdd");
        return false;
    }
    std::vector<std::string> lines;
    for (const Found &f : found)
        lines.push_back("HDD " + std::to_string(f.n) + " : " +
                        TimeText(ReadRecorderTime(f.header.data() + DiskHeader::kFirstTime)) + " - " +
                        TimeText(ReadRecorderTime(f.header.data() + DiskHeader::kLastTime)));
    const int chosen = hooks_.selectDisk ? hooks_.selectDisk(lines) : 0;
    if (chosen < 0 || chosen >= int(found.size()))
        return false;
    const int n = found[size_t(chosen)].n;
    if (record_)
        record_->driveNumber = uint8_t(n);
    store_.disk = OpenPhysicalDisk(n);
    if (store_.disk < 0)
        return false;
    StoreOpenDisk(&store_);
    return true;
}

void CDvrHdd::StopPlay()
{
    store_.playState = 0;
    store_.running = 0;
    playTimer_.stop();
}

void CDvrHdd::Stop()
{
    StopPlay();
    ClosePhysicalDisk(store_.disk);
    store_.disk = -1;
}

void CDvrHdd::HandleCommand(const PacketHeader &header, const uint8_t *data)
{
    const int n = header.length;
    switch (header.cmd) {
    case kCmdLogin: {
        const uint8_t answer[kLoginAnswerSize] = {1, store_.channelCount, store_.videoStandard};
        SendAnswer(kCmdLogin, 0, answer, sizeof answer);
        const uint8_t all[2] = {0xFF, 0xFF};
        SendAnswer(kCmdChannelMask, 0, all, sizeof all);
        break;
    }
    case kCmdMode:
        if (n >= 1 && data[0] == 0) {
            DebugPrint("DVR Live Mode\n");
            playTimer_.stop();
        } else {
            DebugPrint("DVR Play Mode\n");
        }
        break;
    case kCmdPlay:
        if (n >= 1)
            PlayControl(data[0], data + 1, n - 1);
        break;
    case kCmdDiskIndex:
        SendAnswer(kCmdDiskIndex, 0, store_.diskHdr.data(), DiskHeader::kSize);
        break;
    case kCmdEventSearch: {
        if (n < 3 + kStoreTimeSize)
            break;
        if (GetLe32(store_.diskHdr.data() + DiskHeader::kEndLba) == 0) {
            SendAnswer(kCmdEventSearch, 0, nullptr, 0);
            break;
        }
        std::vector<uint8_t> out(size_t(kSearchMax) * EventEntry::kSize);
        const int count = GetEventData(store_.disk, data[1], data[2], data + 3, out.data(), kSearchMax);
        DebugPrint("Search Event = %d, %d\n", data[1], count);
        for (int i = 0; i < count; ++i)
            SendAnswer(kCmdEventSearch, 0, out.data() + i * EventEntry::kSize, EventEntry::kSize);
        break;
    }
    case kCmdBlockSearch: {
        if (n < 1 + kStoreTimeSize)
            break;
        std::vector<uint8_t> out(size_t(kSearchMax) * BlockEntry::kSize);
        const int count = GetBlockData(store_.disk, data + 1, out.data(), kSearchMax);
        DebugPrint("Search Block = %d, %d\n", data[0], count);
        for (int i = 0; i < count; ++i) {
            uint8_t *e = out.data() + i * BlockEntry::kSize;
            e[0] = 0;
            SendAnswer(kCmdBlockSearch, 0, e, BlockEntry::kSize);
        }
        break;
    }
    default:
        break;
    }
}

void CDvrHdd::PlayControl(uint8_t sub, const uint8_t *args, int length)
{
    switch (sub) {
    case kPlayTime:
        DebugPrint("Play Time\n");
        if (length >= 9 && StoreTimeSearch(&store_, store_.disk, args[1], args + 2))
            StartPlay(kDiskStartMs);
        break;
    case kPlayEvent:
        DebugPrint("Play Event\n");
        if (length >= EventEntry::kSize) {
            JpegPlayAt(&store_, store_.disk, GetLe32(args + EventEntry::kBlockLba), args[EventEntry::kUnitIndex],
                       args[EventEntry::kRecordIndex]);
            StartPlay(kDiskStartMs);
        }
        break;
    case kPlayBlock:
        if (length >= BlockEntry::kSize) {
            DebugPrint("PLAY_BLOCK: %d, %u\n", args[0], GetLe32(args + BlockEntry::kPlayLba));
            JpegPlayAt(&store_, store_.disk, GetLe32(args + BlockEntry::kPlayLba), 0, 0);
            StartPlay(kDiskStartMs);
        }
        break;
    case kPlayPos:
        if (length >= 8)
            DebugPrint("PLAY_POS 2 : %u, %u\n", GetLe32(args), GetLe32(args + 4));
        break;
    case kPtPlay:
        PlayRequest(args, length);
        break;
    default:
        break;
    }
    SetPlayTimer(store_.playState == 1);
    AnswerPlayStatus();
}

void CDvrHdd::OnPlayTimer()
{
    if (hooks_.isPlayBufferHigh && hooks_.isPlayBufferHigh())
        return;
    EventGuard guard(lock_, kLockTimeoutMs);
    bool read = false;
    const int r = StorePlayStep(&store_, recordBuf_.data(), &read);
    if (r < StoreNothing) {
        if (read)
            PushRecord(recordBuf_.data(), recordBuf_.data() + kRecordHeaderSize);
        if (r == StoreFailed) {
            StopPlay();
        } else if (r == StoreEnd) {
            StopPlay();
            AnswerPlayStatus();
            AnswerPlayEnd();
        }
        if (store_.singleStep) {
            store_.singleStep = 0;
            store_.playState = 0;
            playTimer_.stop();
            AnswerPlayStatus();
        }
    }
    playTimer_.setInterval(store_.slowFactor > 1 ? store_.slowFactor * kFileTickMs : kFileTickMs);
}

} // namespace strandel
