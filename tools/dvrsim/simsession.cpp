#include "simsession.h"

#include "platform/endian.h"
#include "simaudio.h"
#include "simcontrols.h"
#include "simenv.h"
#include "transcript.h"
#include "viewer/link/crc32.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace strandel::sim {

namespace {

constexpr size_t kMaxUpload = 65536;        // far above the 9638 and 2304 bytes of the uploads
constexpr size_t kMaxSegmented = size_t(1) << 20;
constexpr uint32_t kMaxFirmware = 64u << 20;
constexpr int kCopyRecordsPerTick = 32;
constexpr uint32_t kUpgradeProgressStep = 65536;

// Upgrade reply states.
constexpr uint8_t kUpgradeDownloading = 0;
constexpr uint8_t kUpgradeProgress = 1;
constexpr uint8_t kUpgradeFlashing = 2;
constexpr uint8_t kUpgradeCompleted = 3;
constexpr uint8_t kUpgradeError = 4;

std::string FieldText(const uint8_t *p, size_t n)
{
    size_t len = 0;
    while (len < n && p[len])
        ++len;
    return {reinterpret_cast<const char *>(p), len};
}

} // namespace

SimSession::SimSession(SimRecorder &recorder, VideoSource &source, const SimOptions &options, SimLink &link,
                       SimFaults &faults, Transcript *transcript)
    : recorder_(recorder), source_(source), options_(options), link_(link), faults_(faults), transcript_(transcript)
{
}

bool SimSession::TakeFault(FaultKind kind)
{
    // Faults wait for a logged-in session, so the login answer always arrives.
    int &pending = faults_[size_t(kind)];
    if (!loggedIn_ || pending <= 0)
        return false;
    --pending;
    if (transcript_)
        transcript_->Event(link_.Name(), std::string("fault ") + FaultName(kind));
    return true;
}

void SimSession::Announce(const std::string &text)
{
    if (transcript_)
        transcript_->Event(link_.Name(), text);
    if (options_.announce) {
        std::printf("dvrsim: %s %s\n", link_.Name().c_str(), text.c_str());
        std::fflush(stdout);
    }
}

void SimSession::Send(uint8_t cmd, uint8_t flag, const uint8_t *data, size_t length)
{
    FrameFault fault = FrameFault::None;
    if (TakeFault(FaultKind::BadCrc))
        fault = FrameFault::BadCrc;
    else if (TakeFault(FaultKind::Oversize))
        fault = FrameFault::Oversize;
    else if (TakeFault(FaultKind::Garbage))
        fault = FrameFault::Garbage;
    if (transcript_)
        transcript_->Packet(true, link_.Name(), cmd, flag, data, length);
    link_.SendPacket(cmd, flag, data, length, fault);
}

void SimSession::Reply(uint8_t cmd, const uint8_t *data, size_t length)
{
    // Long replies go segmented; the serial line has no other way to carry them either.
    SendSegmented(cmd, DvrFlagNone, data, int(length),
                  [this](uint8_t c, uint8_t f, const uint8_t *d, uint32_t n) {
                      if (f == DvrFlagSegData && TakeFault(FaultKind::LostSegment))
                          return true;
                      Send(c, f, d, n);
                      return true;
                  });
}

void SimSession::OnPacket(const PacketHeader &h, const uint8_t *p)
{
    lastHeard_ = Clock::now();
    if (transcript_)
        transcript_->Packet(false, link_.Name(), h.cmd, h.flag, p, h.length);
    if (h.cmd == DvrCmdEnvSet || h.cmd == DvrCmdTitleSet) {
        if (loggedIn_)
            OnUpload(h, p);
        return;
    }
    if ((h.flag & 0x80) && h.cmd != DvrCmdRecord) {
        OnSegment(h, p);
        return;
    }
    OnCommand(h.cmd, p, h.length);
}

void SimSession::OnSegment(const PacketHeader &h, const uint8_t *p)
{
    // A request longer than one packet, cut by the viewer's TCP link.
    if (h.flag == DvrFlagSegStart) {
        segment_.clear();
        segmentOpen_ = true;
    } else if (h.flag == DvrFlagSegEnd) {
        if (segmentOpen_ && h.length >= 4 && GetLe32(p) == segment_.size()) {
            std::vector<uint8_t> whole = std::move(segment_);
            OnCommand(h.cmd, whole.data(), whole.size());
        }
        segment_.clear();
        segmentOpen_ = false;
    } else if (segmentOpen_) {
        if (segment_.size() + h.length > kMaxSegmented) {
            segment_.clear();
            segmentOpen_ = false;
            return;
        }
        segment_.insert(segment_.end(), p, p + h.length);
    }
}

void SimSession::OnUpload(const PacketHeader &h, const uint8_t *p)
{
    const int slot = h.cmd == DvrCmdEnvSet ? 0 : 1;
    auto &buffer = upload_[slot];
    if (h.flag == DvrFlagBlockBegin) {
        buffer.clear();
        uploadOpen_[slot] = true;
    } else if (h.flag == DvrFlagBlockEnd) {
        bool ok = uploadOpen_[slot];
        if (ok)
            ok = slot == 0 ? recorder_.StoreEnv(buffer) : recorder_.StoreTitles(buffer);
        uploadOpen_[slot] = false;
        buffer.clear();
        const uint8_t result = ok ? 1 : 0;
        Reply(h.cmd, &result, 1);
    } else if (h.flag == DvrFlagNone && uploadOpen_[slot]) {
        if (buffer.size() + h.length > kMaxUpload) {
            // Too long for either record: the end mark is answered with a failure.
            uploadOpen_[slot] = false;
            buffer.clear();
            return;
        }
        buffer.insert(buffer.end(), p, p + h.length);
    }
}

void SimSession::OnCommand(uint8_t cmd, const uint8_t *p, size_t n)
{
    if (cmd == DvrCmdLogin) {
        OnLogin(p, n);
        return;
    }
    if (cmd == DvrCmdAlive) {
        ++aliveCount_;
        return;
    }
    if (cmd == 2) { // bye: the serial viewer has gone
        loggedIn_ = false;
        playing_ = false;
        copying_ = false;
        return;
    }
    if (!loggedIn_)
        return;
    static const RecorderTime kUnset{0xFF, 0xFF, 0, 0, 0, 0, 0};
    switch (cmd) {
    case DvrCmdMode:
        if (n >= 1) {
            mode_ = p[0] == 0 ? DvrModeLive : DvrModePlayback;
            if (mode_ == DvrModeLive)
                StopPlay();
        }
        break;
    case DvrCmdChannel:
        if (n >= 1 && p[0] <= 16)
            channel_ = p[0];
        break;
    case DvrCmdPlay:
        OnPlay(p, n);
        break;
    case DvrCmdEnvGet:
        // A recorder with a record variant answers with the record of reply 35.
        Reply(options_.variant >= 0 ? DvrCmdEnvGetEx : DvrCmdEnvGet, recorder_.Env());
        break;
    case DvrCmdStatus:
        Reply(DvrCmdStatus, recorder_.Status());
        break;
    case DvrCmdDiskIndex:
        if (n >= 1)
            Reply(DvrCmdDiskIndex, recorder_.DiskIndex(p[0]));
        break;
    case DvrCmdEventSearch:
        if (n >= 10)
            for (const auto &e : recorder_.EventSearch(p[0], p[1], p[2], ReadRecorderTime(p + 3)))
                Reply(DvrCmdEventSearch, e);
        break;
    case DvrCmdBlockSearch:
        if (n >= 8)
            for (const auto &e : recorder_.BlockSearch(p[0], ReadRecorderTime(p + 1)))
                Reply(DvrCmdBlockSearch, e);
        break;
    case DvrCmdLogSearch:
        for (const auto &e : recorder_.LogSearch(n >= 7 ? ReadRecorderTime(p) : kUnset))
            Reply(DvrCmdLogSearch, e);
        break;
    case DvrCmdLogDownload:
        Reply(DvrCmdLogDownload, recorder_.LogDownload());
        break;
    case DvrCmdUpgrade:
        OnUpgrade(p, n);
        break;
    case DvrCmdDiskMap:
        Reply(DvrCmdDiskMap, recorder_.DiskMap());
        break;
    case DvrCmdCopy:
        OnCopy(p, n);
        break;
    case DvrCmdCopyEnd:
        if (copying_) {
            copying_ = false;
            Reply(DvrCmdCopyEnd, nullptr, 0);
        }
        break;
    case DvrCmdControl:
        if (n >= 1) {
            // A little-endian word; a lone byte is its low half.
            const uint16_t word = n >= 2 ? GetLe16(p) : p[0];
            recorder_.Control(word);
            Announce(DescribeControl(word));
        }
        break;
    case DvrCmdPtz:
        if (n >= 4)
            Announce(DescribePtz(p));
        break;
    case DvrCmdRemoteKey:
        if (n >= 4)
            Announce(DescribeKey(GetLe32(p)));
        break;
    case DvrCmdTitleGet:
        Reply(DvrCmdTitleGet, recorder_.Titles());
        break;
    case DvrCmdEnvPassword: {
        const uint8_t result = recorder_.CheckSetupPassword(p, n) ? 2 : 0;
        Reply(DvrCmdEnvPassword, &result, 1);
        break;
    }
    case DvrCmdAudioReceive:
        if (n >= 1) {
            const bool on = p[0] != 0;
            if (on && !audioReceive_)
                nextAudio_ = Clock::now();
            audioReceive_ = on;
        }
        break;
    case DvrCmdAudioSend:
        if (n >= 1)
            audioSend_ = p[0] != 0;
        break;
    case DvrCmdAudio:
        // Kept whether or not the viewer announced it, so a test sees anything sent.
        if (n == size_t(kAudioBlockSize))
            recorder_.AddReceivedAudio(p, n);
        break;
    default:
        break;
    }
}

void SimSession::OnLogin(const uint8_t *p, size_t n)
{
    uint8_t field[2 * kLoginFieldSize] = {};
    if (n > 0)
        std::memcpy(field, p, std::min(n, sizeof field));
    const std::string user = FieldText(field, kLoginFieldSize);
    const std::string password = FieldText(field + kLoginFieldSize, kLoginFieldSize);
    int8_t result = options_.loginResult;
    if (options_.checkLogin) {
        // The viewer retries a refused login with an empty user and the password typed.
        const bool userOk = user.empty() || user == options_.user.substr(0, kLoginFieldSize);
        if (!userOk || password != options_.password.substr(0, kLoginFieldSize))
            result = DvrLoginDenied;
    }
    uint8_t answer[kLoginAnswerSize] = {uint8_t(result), uint8_t(options_.channels), options_.VideoByte()};
    std::copy(options_.mac.begin(), options_.mac.end(), answer + 3);
    const bool wasLoggedIn = loggedIn_;
    loggedIn_ = false; // the answer itself never carries a fault
    Reply(DvrCmdLogin, answer, sizeof answer);
    if (result != DvrLoginMaster && result != DvrLoginSlave) {
        StopPlay();
        copying_ = false;
        return;
    }
    loggedIn_ = true;
    if (!wasLoggedIn) {
        loginAt_ = Clock::now();
        nextLive_ = loginAt_;
        mode_ = DvrModeLive;
        recorder_.AddLog(12, NowRecorderTime()); // NET CONNECT
    }
    uint8_t mask[2];
    PutBe16(mask, uint16_t(options_.ChannelMask()));
    Reply(DvrCmdChannelMask, mask, 2);
    if (options_.channels >= 8) {
        // The custom split layouts, as a recorder leaves them by default.
        uint8_t info[kScreenLayoutInfoSize] = {};
        static constexpr int kStart[6] = {0, 4, 10, 17, 26, 36}, kCells[6] = {4, 6, 7, 9, 10, 13};
        for (int l = 0; l < 6; ++l)
            for (int c = 0; c < kCells[l]; ++c)
                info[kStart[l] + c] = DefaultLayoutCell(kCells[l], c, options_.channels);
        info[127] = options_.channels >= 16 ? 0x3F : 0x07;
        Reply(DvrCmdScreenLayouts, info, sizeof info);
    }
}

void SimSession::OnPlay(const uint8_t *p, size_t n)
{
    if (n < 1)
        return;
    const RecordedSpan &span = recorder_.Span();
    switch (p[0]) {
    case PLAY_TIME:
        if (n >= 10)
            StartPlay(span.Offset(ReadRecorderTime(p + 3)), p[2]);
        break;
    case PLAY_EVENT:
        if (n >= 1 + size_t(kEventEntrySize))
            StartPlay(span.Offset(ReadRecorderTime(p + 3)), p[1] <= 16 ? p[1] : 0);
        break;
    case PLAY_BLOCK:
        if (n >= 1 + size_t(kBlockEntrySize))
            StartPlay(span.Offset(ReadRecorderTime(p + 2)), 0);
        break;
    case PLAY_POS:
        if (n >= 9 && playing_) {
            playMs_ = int64_t(std::min<uint32_t>(GetLe32(p + 5), span.seconds)) * 1000;
            SendPlayPosition();
        }
        break;
    case PT_PLAY:
        if (n >= 5)
            OnPlayControl(p[1], p[2], p[3], p[4]);
        break;
    default:
        break;
    }
}

void SimSession::ApplyPlayControl(uint8_t fast, uint8_t slow, uint8_t direction)
{
    if (fast >= 2) {
        fast_ = fast;
        direction_ = direction;
    } else if (direction > 0 && direction != direction_) {
        direction_ = direction != 1 ? direction : uint8_t(direction_ == PlayDirForward ? PlayDirBackward : PlayDirForward);
    } else if (fast == 1) {
        // Each press doubles the factor; past 128 it wraps to 0 and starts over at 2.
        slow_ = 0;
        fast_ = uint8_t(fast_ == 0 ? 2 : fast_ * 2);
    } else if (slow != 0) {
        fast_ = 0;
        slow_ = uint8_t(slow_ == 0 ? 2 : slow_ * 2);
    } else {
        fast_ = slow_ = 0;
        if (direction == 0)
            direction_ = PlayDirForward;
    }
}

void SimSession::OnPlayControl(uint8_t play, uint8_t fast, uint8_t slow, uint8_t direction)
{
    if (play == 0 && playState_ == 0) {
        // Pause while paused steps one record.
        singleStep_ = true;
        playState_ = 1;
    } else if (play == 1 && playState_ == 0 && direction != direction_) {
        ApplyPlayControl(0, 0, direction);
    } else {
        playState_ = play ? 1 : 0;
        ApplyPlayControl(fast, slow, direction);
        // Play and Back ask for normal speed: a turn by them keeps no fast or slow factor.
        if (play == 1 && fast == 0 && slow == 0 && (direction == PlayDirForward || direction == PlayDirBackward))
            fast_ = slow_ = 0;
    }
    nextPlay_ = Clock::now();
    SendPlayStatus();
}

void SimSession::StartPlay(int64_t offset, uint8_t channel)
{
    if (offset < 0) {
        const uint8_t nodata = PLAY_NODATA;
        Reply(DvrCmdPlay, &nodata, 1);
        return;
    }
    const RecordedSpan &span = recorder_.Span();
    mode_ = DvrModePlayback;
    copying_ = false;
    playing_ = true;
    playState_ = 1;
    singleStep_ = false;
    fast_ = slow_ = 0;
    direction_ = PlayDirForward;
    playChannel_ = channel <= 16 ? channel : 0;
    playMs_ = offset * 1000;
    playShown_.fill(-2);
    lastPosition_ = -1;
    nextPlay_ = Clock::now();
    uint8_t info[23] = {INFO_RECTIME};
    PutLe32(info + 1, 0);
    PutLe32(info + 5, span.seconds);
    WriteRecorderTime(info + 9, span.start);
    WriteRecorderTime(info + 16, span.At(span.seconds));
    Reply(DvrCmdPlayInfo, info, sizeof info);
    SendPlayStatus();
}

void SimSession::SendPlayStatus()
{
    const uint8_t status[5] = {PT_PLAY, playState_, fast_, slow_, direction_};
    Reply(DvrCmdPlay, status, sizeof status);
}

void SimSession::SendPlayPosition()
{
    lastPosition_ = playMs_ / 1000;
    uint8_t pos[9] = {INFO_PLAYPOS};
    PutLe32(pos + 1, 0);
    PutLe32(pos + 5, uint32_t(lastPosition_));
    Reply(DvrCmdPlayInfo, pos, sizeof pos);
}

void SimSession::StopPlay()
{
    playing_ = false;
    playState_ = 0;
    singleStep_ = false;
}

void SimSession::OnCopy(const uint8_t *p, size_t n)
{
    if (n < 16)
        return;
    const RecordedSpan &span = recorder_.Span();
    const RecorderTime start = ReadRecorderTime(p + 2), end = ReadRecorderTime(p + 9);
    // Clip the request to what was recorded; an empty overlap ends the copy at once.
    const RecorderTime first = span.start, last = span.At(span.seconds);
    const RecorderTime from = CompareRecorderTime(start, first) < 0 ? first : start;
    const RecorderTime to = CompareRecorderTime(end, last) > 0 ? last : end;
    const int64_t a = span.Offset(from), b = span.Offset(to);
    copyChannel_ = p[1] <= 16 ? p[1] : 0;
    if (a < 0 || b < 0 || b < a) {
        copying_ = false;
        Reply(DvrCmdCopyEnd, nullptr, 0);
        return;
    }
    StopPlay();
    copying_ = true;
    copyAt_ = uint32_t(a);
    copyEnd_ = uint32_t(b);
    copyChannelIndex_ = 0;
}

void SimSession::OnUpgrade(const uint8_t *p, size_t n)
{
    auto reply = [this](uint8_t state, int32_t progress = -1) {
        uint8_t r[5] = {state};
        PutLe32(r + 1, uint32_t(progress));
        Reply(DvrCmdUpgrade, r, progress < 0 ? 1 : 5);
    };
    auto fail = [&] {
        upgrade_ = Upgrade::Idle;
        firmware_.clear();
        reply(kUpgradeError);
    };
    if (n < 5)
        return;
    const uint32_t value = GetLe32(p + 1);
    switch (p[0]) {
    case 0: // start: the size of the image
        if (value < 5 || value > kMaxFirmware)
            return fail();
        firmware_.assign(value, 0);
        firmwareReceived_ = 0;
        upgrade_ = Upgrade::Receiving;
        reply(kUpgradeDownloading);
        break;
    case 1: { // one part at its offset; parts come in order
        const size_t len = n - 5;
        if (upgrade_ != Upgrade::Receiving || value != firmwareReceived_ || len > firmware_.size() - value)
            return fail();
        std::copy(p + 5, p + n, firmware_.begin() + value);
        firmwareReceived_ += uint32_t(len);
        if (firmwareReceived_ < firmware_.size()) {
            // The gauge follows the download every 64 KiB.
            if (firmwareReceived_ / kUpgradeProgressStep != value / kUpgradeProgressStep)
                reply(kUpgradeProgress, int32_t(firmwareReceived_));
            break;
        }
        // Whole: the image must carry its CRC and the tag of this model.
        const size_t size = firmware_.size();
        const bool crcOk = CheckCrc(firmware_.data(), uint32_t(size));
        const bool tagOk = size >= 20 && FieldText(firmware_.data() + size - 20, 16) == recorder_.FirmwareTag();
        if (!crcOk || !tagOk)
            return fail();
        upgrade_ = Upgrade::Checked;
        reply(kUpgradeFlashing);
        break;
    }
    case 2: // flash
        if (upgrade_ != Upgrade::Checked || value != firmware_.size())
            return fail();
        reply(kUpgradeProgress, int32_t(value / 2));
        reply(kUpgradeProgress, int32_t(value));
        recorder_.Flash(std::move(firmware_));
        firmware_.clear();
        upgrade_ = Upgrade::Idle;
        reply(kUpgradeCompleted);
        break;
    default:
        break;
    }
}

std::vector<int> SimSession::PushChannels(uint8_t chosen) const
{
    std::vector<int> out;
    if (chosen >= 1 && chosen <= options_.channels) {
        out.push_back(chosen);
        return out;
    }
    for (int ch = 1; ch <= options_.channels; ++ch)
        if (options_.ChannelMask() & (1u << (ch - 1)))
            out.push_back(ch);
    return out;
}

void SimSession::PushRecord(int channel, uint64_t k, uint8_t kind, const RecorderTime &time, uint32_t delay)
{
    SimVideo video;
    if (!source_.Get(channel, k, video))
        return;
    FrameRecordHeader h;
    if (video.stored) {
        h = video.header;
        h.sectors = 0;
    } else {
        const std::string text = "CAM" + std::to_string(channel);
        std::copy(text.begin(), text.end(), h.text[0].begin());
    }
    h.channel = uint8_t(channel);
    // Pictures are shown as they come; MPEG frames wait in the viewer's play rings.
    h.directShow = video.mpeg ? 0 : 1;
    h.frameId = frameId_;
    frameId_ = uint8_t((frameId_ + 1) % 0xFF); // 0xFF is the viewer's "no part yet"
    h.sizeCode = video.sizeCode;
    h.kind = kind;
    h.time = time;
    h.liveMask = options_.ChannelMask();
    h.playMask = options_.ChannelMask();
    h.delay = delay;
    const std::vector<uint8_t> *parts[kFramePartCount] = {&video.part0, &video.part1, &video.part2};
    for (int p = 0; p < kFramePartCount; ++p)
        h.partSize[size_t(p)] = uint32_t(parts[p]->size());
    h.jpegLength = video.jpegLength;
    h.timeValue = uint32_t(recordsPushed_ & 0x7FFFFFFF);

    // Each part that has bytes: chunks of at most 1024, the first marked, then its end mark.
    for (int p = 0; p < kFramePartCount; ++p) {
        const std::vector<uint8_t> &part = *parts[p];
        if (part.empty())
            continue;
        for (size_t at = 0; at < part.size(); at += kMaxPayload) {
            const size_t len = std::min<size_t>(kMaxPayload, part.size() - at);
            if (at > 0 && TakeFault(FaultKind::LostSegment))
                continue; // the part ends short; its end mark still names the whole size
            Send(DvrCmdRecord, uint8_t((at == 0 ? DvrFlagPartFirst : DvrFlagPart) | p), part.data() + at, len);
        }
        uint8_t end[5];
        PutLe32(end, uint32_t(part.size()));
        end[4] = h.frameId;
        Send(DvrCmdRecord, uint8_t(DvrFlagPartEnd | p), end, sizeof end);
    }
    if (TakeFault(FaultKind::WrongFrameId))
        h.frameId = uint8_t(h.frameId ^ 0x55);
    const auto bytes = h.ToBytes();
    Send(DvrCmdRecord, DvrFlagRecordHeader, bytes.data(), bytes.size());
    ++recordsPushed_;
}

void SimSession::LiveStep()
{
    const RecorderTime now = NowRecorderTime();
    sourceMs_ += 1000 / options_.fps;
    for (int ch : PushChannels(channel_)) {
        uint64_t &served = served_[size_t(ch - 1)];
        if (source_.TimeOf(ch, served) <= sourceMs_) {
            PushRecord(ch, served, FrameKindLive, now, 0);
            ++served;
        }
    }
}

void SimSession::PlayStep()
{
    const RecordedSpan &span = recorder_.Span();
    const uint32_t delay = uint32_t(100 / options_.fps); // 10 ms units
    const int64_t step = int64_t(1000 / options_.fps) * std::max<int>(fast_, 1);
    const RecorderTime when = span.At(uint32_t(playMs_ / 1000));
    // Each channel shows the record of its source at the position, going either way; a record
    // goes out when the position reaches another one. Only the next one forward may follow
    // the one before it: any other step (backward, fast, a jump) shows a key picture.
    for (int ch : PushChannels(playChannel_ ? playChannel_ : channel_)) {
        int64_t k = source_.IndexAt(ch, playMs_);
        int64_t &shown = playShown_[size_t(ch - 1)];
        if (k < 0)
            continue;
        if (direction_ == PlayDirBackward || k != shown + 1)
            k = source_.KeyAtOrBefore(ch, k);
        if (k == shown)
            continue;
        PushRecord(ch, uint64_t(k), FrameKindPlayback, when, delay);
        shown = k;
    }
    playMs_ += direction_ == PlayDirBackward ? -step : step;
    if (playMs_ < 0 || playMs_ > int64_t(span.seconds) * 1000) {
        playMs_ = std::clamp<int64_t>(playMs_, 0, int64_t(span.seconds) * 1000);
        SendPlayPosition();
        // The end of the data pauses: the next transport command plays on from here.
        playState_ = 0;
        singleStep_ = false;
        SendPlayStatus();
        const uint8_t end = PLAY_END;
        Reply(DvrCmdPlay, &end, 1);
        return;
    }
    if (playMs_ / 1000 != lastPosition_)
        SendPlayPosition();
    if (singleStep_) {
        singleStep_ = false;
        playState_ = 0;
        SendPlayStatus();
    }
}

void SimSession::CopyStep()
{
    const RecordedSpan &span = recorder_.Span();
    const std::vector<int> channels = PushChannels(copyChannel_);
    for (int i = 0; i < kCopyRecordsPerTick && copying_; ++i) {
        if (link_.Backlog() > kMaxBacklog)
            return;
        if (copyChannelIndex_ < channels.size()) {
            // The key picture that shows at the start of the recorded second.
            const int ch = channels[copyChannelIndex_++];
            const int64_t k = source_.KeyAtOrBefore(ch, std::max<int64_t>(0, source_.IndexAt(ch, int64_t(copyAt_) * 1000)));
            PushRecord(ch, uint64_t(k), FrameKindCopy, span.At(copyAt_), 0);
        }
        if (copyChannelIndex_ >= channels.size()) {
            copyChannelIndex_ = 0;
            if (++copyAt_ > copyEnd_) {
                copying_ = false;
                Reply(DvrCmdCopyEnd, nullptr, 0);
            }
        }
    }
}

void SimSession::AudioStep(Clock::time_point now)
{
    const std::vector<uint8_t> &blocks = recorder_.AudioBlocks();
    const size_t count = blocks.size() / kAudioBlockSize;
    const auto period = std::chrono::microseconds(kAudioBlockMicros);
    if (count == 0) {
        nextAudio_ = now + period; // nothing to push; keeps the wake-up from spinning
        return;
    }
    while (now >= nextAudio_) {
        audioAt_ %= count;
        Send(DvrCmdAudio, 0, &blocks[audioAt_ * kAudioBlockSize], kAudioBlockSize);
        recorder_.CountAudioPushed();
        ++audioAt_;
        nextAudio_ += period;
        if (nextAudio_ + std::chrono::seconds(1) < now)
            nextAudio_ = now; // fell far behind: skip rather than burst
    }
}

void SimSession::Tick(Clock::time_point now)
{
    if (!loggedIn_)
        return;
    if (audioReceive_)
        AudioStep(now);
    const auto period = std::chrono::milliseconds(1000 / options_.fps);
    if (copying_)
        CopyStep();
    if (mode_ == DvrModeLive && now >= nextLive_) {
        if (link_.Backlog() <= kMaxBacklog)
            LiveStep();
        nextLive_ += period;
        if (nextLive_ <= now)
            nextLive_ = now + period; // fell behind: skip, as a recorder drops frames
    }
    if (mode_ == DvrModePlayback && playing_ && playState_ == 1 && now >= nextPlay_) {
        if (link_.Backlog() <= kMaxBacklog)
            PlayStep();
        nextPlay_ = now + period * std::max<int>(slow_, 1);
    }
}

SimSession::Clock::time_point SimSession::NextWake(Clock::time_point now) const
{
    Clock::time_point wake = now + std::chrono::milliseconds(50);
    if (!loggedIn_)
        return wake;
    if (copying_)
        return link_.Backlog() > kMaxBacklog ? now + std::chrono::milliseconds(5) : now;
    if (mode_ == DvrModeLive)
        wake = std::min(wake, nextLive_);
    if (audioReceive_)
        wake = std::min(wake, nextAudio_);
    if (mode_ == DvrModePlayback && playing_ && playState_ == 1)
        wake = std::min(wake, nextPlay_);
    if (options_.dropAfter > 0)
        wake = std::min(wake, loginAt_ + std::chrono::seconds(options_.dropAfter));
    if (options_.aliveTimeout > 0)
        wake = std::min(wake, lastHeard_ + std::chrono::seconds(options_.aliveTimeout));
    return wake;
}

bool SimSession::DropDue(Clock::time_point now) const
{
    if (!loggedIn_)
        return false;
    if (options_.dropAfter > 0 && now >= loginAt_ + std::chrono::seconds(options_.dropAfter))
        return true;
    return options_.aliveTimeout > 0 && now >= lastHeard_ + std::chrono::seconds(options_.aliveTimeout);
}

} // namespace strandel::sim
