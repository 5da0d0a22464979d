#include "viewer/store/dvrlocal.h"

#include "platform/debuglog.h"
#include "platform/endian.h"
#include "viewer/protocol/dvrcommand.h"
#include "viewer/protocol/framerecord.h"
#include "viewer/base/global.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

namespace strandel {

namespace {

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
    // The ticks keep the pauses that records ask for, which are short (10 to 99 ms).
    playTimer_.setTimerType(Qt::PreciseTimer);
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
        for (uint32_t at = 0; at < size; at += kMaxPayload) {
            const uint8_t flag = uint8_t(at == 0 ? DvrFlagPartFirst | p : DvrFlagPart | p);
            SendAnswer(DvrCmdRecord, flag, parts[p] + at, int(std::min<uint32_t>(kMaxPayload, size - at)));
        }
        uint8_t end[5];
        PutLe32(end, size);
        end[4] = h.frameId;
        SendAnswer(DvrCmdRecord, uint8_t(DvrFlagPartEnd | p), end, sizeof end);
    }
    SendAnswer(DvrCmdRecord, DvrFlagRecordHeader, header, kFrameRecordHeaderSize);
}

void CDvrLocal::AnswerPlayStatus()
{
    const uint8_t status[8] = {PT_PLAY, store_.playState, store_.fastFactor, store_.slowFactor, store_.direction, 0, 0, 0};
    SendAnswer(DvrCmdPlay, 0, status, sizeof status);
}

void CDvrLocal::AnswerPlayEnd()
{
    const uint8_t status[8] = {PLAY_END, store_.playState, store_.fastFactor, store_.slowFactor, store_.direction, 0, 0, 0};
    SendAnswer(DvrCmdPlay, 0, status, sizeof status);
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
        // Play and Back ask for normal speed: a turn by them must not keep the fast or slow
        // factor, or "<" after ">>" would run back at twice the rate.
        if (play == 1 && fast == 0 && slow == 0 && (direction == kPlayForward || direction == kPlayBackward))
            store_.fastFactor = store_.slowFactor = 0;
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

void CDvrLocal::EndSingleStep()
{
    store_.singleStep = 0;
    store_.playState = 0;
    playTimer_.stop();
    AnswerPlayStatus();
}

bool CDvrLocal::WaitForView()
{
    const int left = hooks_.pauseLeft ? hooks_.pauseLeft() : 0;
    if (left <= 0)
        return false;
    playTimer_.start(left);
    return true;
}

void CDvrLocal::SetNextTick(int interval)
{
    const int left = hooks_.pauseLeft ? hooks_.pauseLeft() : 0;
    playTimer_.setInterval(std::max(interval, left));
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
    if (header.cmd == DvrCmdLogin) {
        // Logged in; the channel count and video byte come with the file.
        const uint8_t answer[kLoginAnswerSize] = {1};
        SendAnswer(DvrCmdLogin, 0, answer, sizeof answer);
    } else if (header.cmd == DvrCmdPlay && header.length >= 1) {
        PlayControl(data[0], data + 1, header.length - 1);
    }
}

void CDvrFile::PlayControl(uint8_t sub, const uint8_t *args, int length)
{
    switch (sub) {
    case PLAY_TIME:
        if (length >= 9 && FileOpen()) {
            if (StoreSeekTime(&store_, args[1], args + 2))
                StartPlay(kFileTickMs);
            else
                StoreCloseStream(&store_);
        }
        break;
    case PLAY_FILE: {
        const auto *end = static_cast<const uint8_t *>(std::memchr(args, 0, size_t(length)));
        const std::string path(reinterpret_cast<const char *>(args), end ? size_t(end - args) : size_t(length));
        StoreCloseStream(&store_);
        StoreResetState(&store_);
        if (StoreOpenFile(&store_, path) && hooks_.setVideoFormat)
            hooks_.setVideoFormat(store_.channelCount, store_.videoStandard);
        break;
    }
    case PT_PLAY:
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
    if (WaitForView() || (hooks_.isPlayBufferHigh && hooks_.isPlayBufferHigh()))
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
        if (store_.singleStep)
            EndSingleStep();
    }
    SetNextTick(store_.slowFactor >= 2 ? store_.slowFactor * kFileTickMs : base);
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
    std::string denied; // disks that are there but that we may not read
    for (int n = 0; n < kPhysicalDrives; ++n) {
        if (record_)
            record_->driveNumber = uint8_t(n);
        errno = 0; // a drive without a path fails without setting it
        const int handle = OpenPhysicalDisk(n);
        if (handle < 0) {
            if (errno == EACCES || errno == EPERM)
                denied += (denied.empty() ? "" : ", ") + PhysicalDiskPath(n);
            continue;
        }
        store_.disk = handle;
        if (StoreOpenDisk(&store_))
            found.push_back({n, store_.diskHdr});
        ClosePhysicalDisk(handle);
        store_.disk = -1;
    }
    if (found.empty()) {
        if (owner_)
            owner_->ShowMessageText(denied.empty() ? std::string("Cannot Find DVR Hdd")
                                                   : "Cannot Find DVR Hdd (no permission to read " + denied + ")");
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
    case DvrCmdLogin: {
        const uint8_t answer[kLoginAnswerSize] = {1, store_.channelCount, store_.videoStandard};
        SendAnswer(DvrCmdLogin, 0, answer, sizeof answer);
        const uint8_t all[2] = {0xFF, 0xFF};
        SendAnswer(DvrCmdChannelMask, 0, all, sizeof all);
        break;
    }
    case DvrCmdMode:
        if (n >= 1 && data[0] == 0) {
            DebugPrint("DVR Live Mode\n");
            playTimer_.stop();
        } else {
            DebugPrint("DVR Play Mode\n");
        }
        break;
    case DvrCmdPlay:
        if (n >= 1)
            PlayControl(data[0], data + 1, n - 1);
        break;
    case DvrCmdDiskIndex:
        SendAnswer(DvrCmdDiskIndex, 0, store_.diskHdr.data(), DiskHeader::kSize);
        break;
    case DvrCmdEventSearch: {
        if (n < 3 + kStoreTimeSize)
            break;
        if (GetLe32(store_.diskHdr.data() + DiskHeader::kEndLba) == 0) {
            SendAnswer(DvrCmdEventSearch, 0, nullptr, 0);
            break;
        }
        std::vector<uint8_t> out(size_t(kSearchMax) * EventEntry::kSize);
        const int count = GetEventData(store_.disk, data[1], data[2], data + 3, out.data(), kSearchMax);
        DebugPrint("Search Event = %d, %d\n", data[1], count);
        for (int i = 0; i < count; ++i)
            SendAnswer(DvrCmdEventSearch, 0, out.data() + i * EventEntry::kSize, EventEntry::kSize);
        break;
    }
    case DvrCmdBlockSearch: {
        if (n < 1 + kStoreTimeSize)
            break;
        std::vector<uint8_t> out(size_t(kSearchMax) * BlockEntry::kSize);
        const int count = GetBlockData(store_.disk, data + 1, out.data(), kSearchMax);
        DebugPrint("Search Block = %d, %d\n", data[0], count);
        for (int i = 0; i < count; ++i) {
            uint8_t *e = out.data() + i * BlockEntry::kSize;
            e[0] = 0;
            SendAnswer(DvrCmdBlockSearch, 0, e, BlockEntry::kSize);
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
    case PLAY_TIME:
        DebugPrint("Play Time\n");
        if (length >= 9 && StoreTimeSearch(&store_, store_.disk, args[1], args + 2))
            StartPlay(kDiskStartMs);
        break;
    case PLAY_EVENT:
        DebugPrint("Play Event\n");
        if (length >= EventEntry::kSize) {
            JpegPlayAt(&store_, store_.disk, GetLe32(args + EventEntry::kBlockLba), args[EventEntry::kUnitIndex],
                       args[EventEntry::kRecordIndex]);
            StartPlay(kDiskStartMs);
        }
        break;
    case PLAY_BLOCK:
        if (length >= BlockEntry::kSize) {
            DebugPrint("PLAY_BLOCK: %d, %u\n", args[0], GetLe32(args + BlockEntry::kPlayLba));
            JpegPlayAt(&store_, store_.disk, GetLe32(args + BlockEntry::kPlayLba), 0, 0);
            StartPlay(kDiskStartMs);
        }
        break;
    case PLAY_POS:
        if (length >= 8)
            DebugPrint("PLAY_POS 2 : %u, %u\n", GetLe32(args), GetLe32(args + 4));
        break;
    case PT_PLAY:
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
    if (WaitForView() || (hooks_.isPlayBufferHigh && hooks_.isPlayBufferHigh()))
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
        if (store_.singleStep)
            EndSingleStep();
    }
    SetNextTick(store_.slowFactor > 1 ? store_.slowFactor * kFileTickMs : kFileTickMs);
}

} // namespace strandel
