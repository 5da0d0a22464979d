#include "viewer/protocol/dvrwincore.h"

#include <QCoreApplication>
#include <QDate>
#include <QMetaObject>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <thread>

#include "platform/debuglog.h"
#include "platform/endian.h"
#include "platform/events.h"
#include "platform/uithread.h"

namespace strandel {

namespace {

std::atomic<int> gLockReportMs{0};

// Holds a process-wide event for a scope. A time-out is only reported: going on without the
// lock would let two writers interleave on one socket or use a writer being closed.
class SharedLock {
public:
    SharedLock(const char *name, int timeoutMs) : name_(name), event_(NamedEvent(name))
    {
        if (const int ms = gLockReportMs)
            timeoutMs = ms;
        while (!event_.Wait(timeoutMs))
            DebugPrint("%s not free after %d ms, still waiting\n", name_, timeoutMs);
    }
    ~SharedLock() { event_.Set(); }
    SharedLock(const SharedLock &) = delete;
    SharedLock &operator=(const SharedLock &) = delete;

private:
    const char *name_;
    TimedEvent &event_;
};

std::string CopyTimeText(const RecorderTime &t)
{
    char text[40];
    std::snprintf(text, sizeof text, "%02d%02d/%02d/%02d %02d:%02d:%02d", t.century, t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

constexpr const char *kSaveFileError = "Save File Error";

} // namespace

void SetSharedLockReportInterval(int ms) { gLockReportMs = ms; }

void DvrWinView::RunLater(std::function<void()> fn)
{
    // Always queued, also on the UI thread: the caller may be inside a hand-over.
    if (auto *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
    else
        fn();
}

std::optional<double> RecorderDateTime(const RecorderTime &t)
{
    const QDate date(t.century * 100 + t.year, t.month, t.day);
    const QTime time(t.hour, t.minute, t.second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return double(QDate(1899, 12, 30).daysTo(date)) + time.msecsSinceStartOfDay() / 86400000.0;
}

DvrWinCore::DvrWinCore(DvrWinView &view, DvrRecordWriterFactory writerFactory)
    : view_(view), writerFactory_(std::move(writerFactory)), recordBuffer_(kRecordBufferSize)
{
    ResetFrameIds();
}

DvrWinCore::~DvrWinCore()
{
    StopRecord();
    SharedLock lock(kRecEventName, kRecEventTimeoutMs);
    if (copyWriter_)
        copyWriter_->Close();
    copyWriter_.reset();
}

void DvrWinCore::Later(std::function<void()> fn)
{
    // Queued work runs on the UI thread, where the core is also destroyed.
    view_.RunLater([life = std::weak_ptr<int>(life_), fn = std::move(fn)] {
        if (!life.expired())
            fn();
    });
}

// --- Send path ---

void DvrWinCore::SetConnection(CDvrBase *connection)
{
    SharedLock lock(kSendEventName, kSendEventTimeoutMs);
    connection_ = connection;
}

bool DvrWinCore::SendCommandEx(uint8_t cmd, uint8_t flag, const uint8_t *data, int length)
{
    if (length < 0 || (length > 0 && !data))
        return false;
    // A request whose reply opens a dialog is outstanding from before it goes out (the reply may
    // come at once) until its reply; one that did not go out leaves things as they were.
    std::atomic<bool> *asked = AskedFlag(cmd);
    const bool wasAsked = asked && asked->exchange(true);
    SharedLock lock(kSendEventName, kSendEventTimeoutMs);
    CDvrBase *connection = connection_.load();
    const bool sent = connection && connection->Send(cmd, flag, data, length);
    if (asked && !sent)
        *asked = wasAsked;
    return sent;
}

std::atomic<bool> *DvrWinCore::AskedFlag(uint8_t cmd)
{
    switch (cmd) {
    case DvrCmdLogin: return &loginAsked_;
    case DvrCmdLogDownload: return &logAsked_;
    case DvrCmdEnvPassword: return &setupPasswordAsked_;
    case DvrCmdEnvSet: return &envSetAsked_;
    case DvrCmdTitleSet: return &titleSetAsked_;
    default: return nullptr;
    }
}

bool DvrWinCore::TakeAnswer(uint8_t cmd)
{
    std::atomic<bool> *asked = AskedFlag(cmd);
    if (asked && asked->exchange(false))
        return true;
    DebugPrint("Reply %u that nobody asked for dropped\n", unsigned(cmd));
    return false;
}

void DvrWinCore::LaterDialog(std::function<void()> fn)
{
    // One at a time: the dispatcher never opens a modal dialog over one it opened.
    if (dialogUp_) {
        DebugPrint("A dialog of the view is up: the reply's dialog is dropped\n");
        return;
    }
    dialogUp_ = true;
    Later([this, fn = std::move(fn)] {
        fn();
        dialogUp_ = false;
    });
}

bool DvrWinCore::SendCommand(uint8_t cmd, const uint8_t *data, int length)
{
    return SendCommandEx(cmd, DvrFlagNone, data, length);
}

bool DvrWinCore::SendCommand(uint8_t cmd, const Payload &payload)
{
    return SendCommand(cmd, payload.data(), int(payload.size()));
}

bool DvrWinCore::SendUpload(uint8_t cmd, const uint8_t *data, size_t length)
{
    if (length > 0 && !data)
        return false;
    if (!SendCommandEx(cmd, DvrFlagBlockBegin, nullptr, 0))
        return false;
    // A part that failed ends the upload without its end mark, so the recorder never takes a
    // record with a hole for a whole one.
    for (size_t at = 0; at < length; at += kUploadPartSize) {
        const int n = int(std::min<size_t>(kUploadPartSize, length - at));
        if (!SendCommand(cmd, data + at, n))
            return false;
    }
    return SendCommandEx(cmd, DvrFlagBlockEnd, nullptr, 0);
}

bool DvrWinCore::SendLogin(std::string_view user, std::string_view password)
{
    return SendCommand(DvrCmdLogin, BuildLogin(user, password));
}

bool DvrWinCore::SendPlayControl(uint8_t play, uint8_t fast, uint8_t slow, uint8_t direction)
{
    return SendCommand(DvrCmdPlay, BuildPlayControl(play, fast, slow, direction));
}

bool DvrWinCore::SendPlayTime(uint8_t diskCode, uint8_t channel, const RecorderTime &time)
{
    return SendCommand(DvrCmdPlay, BuildPlayTime(diskCode, channel, time));
}

bool DvrWinCore::SendPlayEvent(const uint8_t entry[kEventEntrySize])
{
    return SendCommand(DvrCmdPlay, BuildPlayEvent(entry));
}

bool DvrWinCore::SendPlayBlock(const uint8_t entry[kBlockEntrySize])
{
    return SendCommand(DvrCmdPlay, BuildPlayBlock(entry));
}

bool DvrWinCore::SendPlayFile(std::string_view path) { return SendCommand(DvrCmdPlay, BuildPlayFile(path)); }

bool DvrWinCore::SendPlayPos(uint32_t base, uint32_t position)
{
    return SendCommand(DvrCmdPlay, BuildPlayPos(base, position));
}

void DvrWinCore::SetAudioSend(bool on)
{
    SendCommand(DvrCmdAudioSend, BuildAudioSwitch(on));
    audioSend_ = on;
}

void DvrWinCore::SetAudioReceive(bool on)
{
    SendCommand(DvrCmdAudioReceive, BuildAudioSwitch(on));
    audioReceive_ = on;
}

// --- Receive path ---

void DvrWinCore::OnPacket(const PacketHeader &header, const uint8_t *payload)
{
    while (view_.IsSwitchingLayout())
        std::this_thread::yield();
    if (!HasConnection() || (header.length > 0 && !payload))
        return;
    if (header.cmd == DvrCmdLogin) {
        HandOver([&] { HandleLoginAnswer(payload, header.length); });
        return;
    }
    if (!loggedIn_)
        return;
    if (header.cmd == DvrCmdRecord) {
        OnVideoRecord(header, payload);
        return;
    }
    if (header.flag & 0x80) {
        OnSegment(header, payload);
        return;
    }
    DeliverPacket(header.cmd, payload, header.length);
}

void DvrWinCore::OnSegment(const PacketHeader &header, const uint8_t *payload)
{
    if (header.flag & 0x40) { // DvrFlagSegStart
        segment_.clear();
        segmentDropped_ = false;
        return;
    }
    if (header.flag & 0x20) { // DvrFlagSegEnd
        const auto total = ReadSegmentTotal(payload, header.length);
        if (!segmentDropped_ && total && *total == segment_.size())
            DeliverPacket(header.cmd, segment_.data(), segment_.size());
        else
            HandOver([&] { OnDamagedReply(header.cmd); });
        segment_.clear();
        segmentDropped_ = false;
        return;
    }
    if (segmentDropped_)
        return;
    if (segment_.size() + header.length > kMaxSegmentedSize) {
        DebugPrint("Segmented reply %u over %zu bytes dropped\n", unsigned(header.cmd), kMaxSegmentedSize);
        segment_.clear();
        segment_.shrink_to_fit();
        segmentDropped_ = true;
        return;
    }
    segment_.insert(segment_.end(), payload, payload + header.length);
}

bool DvrWinCore::HandOver(const std::function<void()> &fn)
{
    CDvrBase *connection = connection_.load();
    return connection && RunOnUiThreadBlocking(fn, connection->StopFlag());
}

void DvrWinCore::DeliverPacket(uint8_t cmd, const uint8_t *payload, size_t length)
{
    HandOver([&] { HandlePacket(cmd, payload, length); });
}

void DvrWinCore::HandleLoginAnswer(const uint8_t *payload, size_t length)
{
    const auto answer = ReadLoginAnswer(payload, length);
    if (!answer) {
        DebugPrint("Login answer of %zu bytes dropped\n", length);
        return;
    }
    // The answers that open a dialog count only as the answer to this view's login.
    if (answer->result == DvrLoginMasterBusy) {
        if (TakeAnswer(DvrCmdLogin))
            LaterDialog([this] {
                view_.ShowMessageBox("Master is connected");
                view_.CloseView();
            });
        return;
    }
    if (answer->result <= DvrLoginDenied) {
        if (TakeAnswer(DvrCmdLogin))
            LaterDialog([this] {
                if (const auto password = view_.AskPassword(passwordTyped_ ? "Password is incorrect" : "")) {
                    SendLogin("", *password);
                    passwordTyped_ = true;
                } else {
                    view_.CloseView();
                }
            });
        return;
    }
    loginAsked_ = false;
    passwordTyped_ = false;
    master_ = answer->result == DvrLoginMaster;
    loggedIn_ = true;
    SetVideoFormat(answer->channelCount, answer->video);
    const uint8_t *m = answer->mac;
    DebugPrint("MAC : %02X:%02X:%02X:%02X:%02X:%02X\n", m[0], m[1], m[2], m[3], m[4], m[5]);
    // Playing before the view refreshes the toolbar, which shows it.
    playStatus_.state = 1;
    view_.OnLoggedIn(*answer);
}

void DvrWinCore::SetVideoFormat(int channelCount, uint8_t video)
{
    if (channelCount < 1 || channelCount > 16)
        return;
    channelCount_ = channelCount;
    video_ = video;
    model_ = uint8_t(video >> 4);
    ntsc_ = (video & 0x0F) != 0;
}

void DvrWinCore::OnDisconnected()
{
    loggedIn_ = false;
    // Nothing that was asked will be answered on this link.
    loginAsked_ = logAsked_ = setupPasswordAsked_ = envSetAsked_ = titleSetAsked_ = false;
    if (dialogs_.timeSearch)
        dialogs_.timeSearch->SetModalResult(kModalResultCancel);
    if (dialogs_.blockSearch)
        dialogs_.blockSearch->SetModalResult(kModalResultCancel);
    if (dialogs_.upgrade)
        dialogs_.upgrade->SetModalResult(kModalResultCancel);
    if (dialogs_.setup)
        dialogs_.setup->SetModalResult(kModalResultCancel);
}

void DvrWinCore::HandlePacket(uint8_t cmd, const uint8_t *payload, size_t length)
{
    if (length > 0 && !payload)
        return;
    DvrDialogRefs &d = dialogs_;
    switch (cmd) {
    case DvrCmdAudio:
        if (audioReceive_ && length > 0)
            view_.PlayAudio(payload, length);
        break;
    case DvrCmdPlay:
        HandlePlay(payload, length);
        break;
    case DvrCmdPlayInfo:
        HandlePlayInfo(payload, length);
        break;
    case DvrCmdChannelMask:
        if (const auto mask = ReadChannelMask(payload, length))
            view_.SetChannelMask(*mask);
        break;
    case DvrCmdEnvGet:
    case DvrCmdEnvGetEx:
        if (d.setup && length == size_t(kDvrEnvRecordSize)) {
            d.setup->SetRecordVariant(cmd == DvrCmdEnvGet ? 0 : model_.load());
            d.setup->SetModel(ntsc_ ? 1 : 0, channelCount_); // the view's decision, not its raw byte
            d.setup->TransferRecord(payload, 1);
            view_.ShowMessagePanel(false);
        }
        break;
    case DvrCmdEnvSet:
    case DvrCmdTitleSet:
        // Only this view's own upload may say how it went.
        if (const auto result = ReadResultByte(payload, length); result && TakeAnswer(cmd))
            view_.ShowMsgWindow(*result == 1 ? "Success !!" : "Fail !!");
        break;
    case DvrCmdStatus:
        if (d.status && length == size_t(kDvrStatusRecordSize))
            d.status->ShowStatus(payload);
        break;
    case DvrCmdDiskIndex:
        if (d.timeSearch) {
            if (length == 0)
                d.timeSearch->SetMessage("No Data");
            else if (length >= size_t(kDiskHeaderSize))
                d.timeSearch->AddIndexEntry(payload);
        } else if (d.copy && length >= size_t(kDiskHeaderSize)) {
            d.copy->AddIndexEntry(payload);
        }
        break;
    case DvrCmdEventSearch:
        if (d.eventSearch && length >= size_t(kEventEntrySize))
            d.eventSearch->AddEventEntry(payload, length);
        break;
    case DvrCmdBlockSearch:
        if (d.blockSearch && length >= size_t(kBlockEntrySize))
            d.blockSearch->AddBlockEntry(payload, length);
        break;
    case DvrCmdLogSearch:
        if (d.logSearch && length >= size_t(kLogEntrySize))
            d.logSearch->AddLogEntry(payload, length);
        break;
    case DvrCmdUpgrade:
        if (d.upgrade && length >= 1)
            d.upgrade->OnUpgradeReply(payload, length);
        break;
    case DvrCmdDiskMap:
        HandleDiskMap(payload, length);
        break;
    case DvrCmdCopyEnd:
        EndNetCopy();
        DebugPrint("Net Copy End.......\n");
        view_.UpdateToolbar();
        break;
    case DvrCmdTitleGet:
        HandleTitles(payload, length);
        break;
    case DvrCmdLogDownload: {
        if (!TakeAnswer(cmd))
            break;
        // The save dialog is modal: it runs once the hand-over has returned, on a copy.
        std::vector<uint8_t> log(payload, payload + length);
        LaterDialog([this, log = std::move(log)]() mutable { SaveLogFile(std::move(log)); });
        break;
    }
    case DvrCmdScreenLayouts:
        if (const auto info = ReadScreenLayoutInfo(payload, length))
            view_.ApplyScreenLayouts(*info);
        break;
    case DvrCmdEnvPassword:
        if (const auto result = ReadResultByte(payload, length); result && TakeAnswer(cmd)) {
            if (*result == 2) {
                view_.ShowMessageText("Waiting for DVR Environment Data...");
                view_.PostOpenSetup();
            } else {
                view_.ShowMessageText("Incorrect Password...");
            }
        }
        break;
    default:
        break;
    }
}

void DvrWinCore::HandlePlay(const uint8_t *payload, size_t length)
{
    if (length < 1)
        return;
    uint8_t b[5] = {};
    std::memcpy(b, payload, std::min<size_t>(length, 5));
    switch (b[0]) {
    case PLAY_NODATA:
        view_.ShowMessageText("No Data");
        break;
    case PLAY_END:
        playStatus_.state = 0; // the recorder has stopped
        view_.MoveTrackBarToEnd();
        view_.SetStateText("||");
        view_.ShowMessageText("Completed");
        view_.UpdateToolbar();
        break;
    case PT_PLAY:
        if (const auto status = ReadPlayStatus(payload, length)) {
            playStatus_ = *status;
            view_.SetStateText(PlayStateText(mode_, playStatus_));
            view_.UpdateToolbar();
            view_.ShowMessagePanel(false);
        }
        break;
    default:
        view_.ShowMessagePanel(false);
        break;
    }
    DebugPrint("PT_PLAY : %u, %u, %u, %u, %u\n", b[0], b[1], b[2], b[3], b[4]);
}

void DvrWinCore::HandlePlayInfo(const uint8_t *payload, size_t length)
{
    if (length < 1)
        return;
    if (payload[0] == INFO_RECTIME) {
        const auto info = ReadPlayRecTime(payload, length);
        if (!info)
            return;
        DebugPrint("INFO_RECTIME\n");
        DebugPrint("Blk Cnt : %d, %d\n", int(info->base), int(info->count));
        view_.SetTrackBarRange(info->base, info->count);
        view_.SetTimeLabels(TimeText(info->start), TimeText(info->end));
    } else if (payload[0] == INFO_PLAYPOS) {
        const auto pos = ReadPlayPosition(payload, length);
        if (!pos)
            return;
        view_.SetTrackBarPosition(pos->base, pos->position);
        DebugPrint("PLAY_POS 1 : %d, %d\n", int(pos->base), int(pos->position));
    }
}

void DvrWinCore::HandleTitles(const uint8_t *payload, size_t length)
{
    if (length == 1) {
        for (int i = 0; i < kTitleBitmapCount; ++i)
            view_.DrawTitle(i, nullptr, payload[0]);
    } else if (length == size_t(kTitleBitmapsSize)) {
        if (dialogs_.setup)
            dialogs_.setup->SetTitleBitmaps(payload);
        for (int i = 0; i < kTitleBitmapCount; ++i)
            view_.DrawTitle(i, payload + kTitleBitmapSize * i, 0);
    }
}

void DvrWinCore::HandleDiskMap(const uint8_t *payload, size_t length)
{
    if (length < size_t(kHddMapSize))
        return;
    DvrDialogRefs &d = dialogs_;
    if (d.setup)
        d.setup->SetHddMap(payload);
    if (d.timeSearch)
        d.timeSearch->SetHddMap(payload);
    if (d.eventSearch)
        d.eventSearch->SetHddMap(payload);
    if (d.blockSearch)
        d.blockSearch->SetHddMap(payload);
    if (d.copy)
        d.copy->SetHddMap(payload);
}

void DvrWinCore::OnDamagedReply(uint8_t cmd)
{
    DebugPrint("Segmented reply %u did not arrive whole: dropped\n", unsigned(cmd));
    // The operator waits for the log's save dialog, which will never come: say so.
    if (cmd != DvrCmdLogDownload || !TakeAnswer(cmd))
        return;
    const std::string text = "The log did not arrive whole: press Save Log to ask for it again.";
    view_.ShowMessageText(text);
    if (dialogs_.logSearch)
        dialogs_.logSearch->SetMessage(text);
}

void DvrWinCore::SaveLogFile(std::vector<uint8_t> log)
{
    const auto name = view_.AskLogFileName();
    if (!name)
        return;
    // Lines end CR LF, as the recorder's log files always have.
    FILE *file = std::fopen(name->c_str(), "wb");
    if (!file) {
        view_.ShowMessageText("Cannot create the log file " + *name);
        return;
    }
    const std::string text = FormatLogFile(log.data(), log.size());
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written)
        view_.ShowMessageText("Cannot write the log file " + *name);
    else
        view_.ShowMessageText("Log saved to " + *name); // the dialog closed; say where it went
}

// --- Video record push ---

void DvrWinCore::OnVideoRecord(const PacketHeader &header, const uint8_t *payload)
{
    try {
        const size_t length = header.length;
        if (header.flag & 0x80) {
            OnRecordHeader(payload, length);
            return;
        }
        const int p = header.flag & 7;
        if (p >= kFramePartCount) {
            DebugPrint("Record part %d dropped\n", p);
            return;
        }
        auto &stream = parts_[p];
        if (header.flag & 0x40) { // DvrFlagPartFirst
            stream.clear();
            partDropped_[p] = false;
        }
        if (header.flag & 0x20) { // DvrFlagPartEnd: u32 size, u8 frame id
            if (length >= 5)
                frameIds_[p] = payload[4];
            return;
        }
        if (partDropped_[p])
            return;
        if (stream.size() + length > kMaxPartSize) {
            DebugPrint("Record part %d over %zu bytes dropped\n", p, kMaxPartSize);
            stream.clear();
            stream.shrink_to_fit();
            partDropped_[p] = true;
            return;
        }
        stream.insert(stream.end(), payload, payload + length);
    } catch (const std::exception &) {
        DebugPrint("Save File Error........\n");
    }
}

void DvrWinCore::OnRecordHeader(const uint8_t *payload, size_t length)
{
    if (length < size_t(kFrameRecordHeaderSize)) {
        DebugPrint("Record header of %zu bytes dropped\n", length);
        ResetFrameIds();
        return;
    }
    FrameRecordHeader header = FrameRecordHeader::Read(payload);
    if (header.frameId != frameIds_[0] || parts_[0].size() != header.partSize[0]) {
        DebugPrint("Jpeg Data error = %d, %d, %d\n", header.channel, int(header.partSize[0]), int(parts_[0].size()));
        ResetFrameIds();
        return;
    }
    bool partOk[kFramePartCount] = {true, false, false};
    for (int p = 1; p < kFramePartCount; ++p)
        partOk[p] = frameIds_[p] == header.frameId && parts_[p].size() == header.partSize[p];

    if (header.kind == FrameKindCopy) {
        WriteCopyRecord(header, partOk);
    } else {
        WriteLiveRecord(header, partOk);
        view_.OfferMpegRecord(header, parts_[0]);
    }
    ResetFrameIds();
}

size_t DvrWinCore::FillRecordBuffer(const FrameRecordHeader &header, const bool partOk[kFramePartCount])
{
    // Only called with a total below the buffer size. A part that did not arrive is zeros,
    // never the bytes of an earlier record.
    size_t at = 0;
    for (int p = 0; p < kFramePartCount; ++p) {
        const size_t n = header.partSize[p];
        if (n == 0)
            continue;
        if (partOk[p])
            std::memcpy(recordBuffer_.data() + at, parts_[p].data(), n);
        else
            std::memset(recordBuffer_.data() + at, 0, n);
        at += n;
    }
    return at;
}

void DvrWinCore::WriteCopyRecord(const FrameRecordHeader &header, const bool partOk[kFramePartCount])
{
    SharedLock lock(kRecEventName, kRecEventTimeoutMs);
    if (!copyWriter_ || !copyWriter_->IsOpen())
        return;
    const RecorderTime &t = header.time;
    if (t.century && t.year && t.month && t.day) {
        const auto when = RecorderDateTime(t);
        if (!when) {
            DebugPrint("Save File Error........\n");
            return;
        }
        const double span = copyEnd_ - copyStart_;
        double percent = span != 0 ? std::trunc((*when - copyStart_) * 100 / span) : 100;
        percent = std::clamp(percent, -1e9, 1e9);
        const std::string timeText = CopyTimeText(t);
        const std::string percentText = "COPYING(" + std::to_string(int(percent)) + "%)";
        Later([this, timeText, percentText] { view_.SetCopyProgress(timeText, percentText); });
    }
    bool appended = true;
    if (header.TotalSize() < kRecordBufferSize) {
        const size_t n = FillRecordBuffer(header, partOk);
        appended = copyWriter_->Append(header, recordBuffer_.data(), n);
    }
    AfterAppend(copyWriter_, copyFileName_, copyRollOver_, appended, true);
}

void DvrWinCore::WriteLiveRecord(FrameRecordHeader &header, const bool partOk[kFramePartCount])
{
    SharedLock lock(kRecEventName, kRecEventTimeoutMs);
    if (!recordWriter_ || !recordWriter_->IsOpen())
        return;
    if (header.kind == FrameKindLive) {
        header.playMask = header.liveMask;
        if (model_ == 1)
            header.directShow = 1;
    }
    bool appended = true;
    if (header.partSize[0] > 64 && header.TotalSize() < kRecordBufferSize) {
        const size_t n = FillRecordBuffer(header, partOk);
        appended = recordWriter_->Append(header, recordBuffer_.data(), n);
    }
    AfterAppend(recordWriter_, recordFileName_, recordRollOver_, appended, false);
}

void DvrWinCore::AfterAppend(std::unique_ptr<DvrRecordWriter> &writer, const std::string &baseName,
                             uint32_t &rollOver, bool appended, bool copy)
{
    if (!appended) {
        WriterFailed(writer, copy);
        return;
    }
    if (writer->BytesWritten() <= kRollOverBytes)
        return;
    writer->Close();
    const std::string stem = baseName.substr(0, baseName.size() >= 4 ? baseName.size() - 4 : 0);
    // The next name no file has: a writer never goes over an earlier recording or copy.
    std::string name;
    std::error_code error;
    do
        name = stem + "-" + std::to_string(++rollOver) + ".dvr";
    while (std::filesystem::exists(name, error) && rollOver < kMaxRollOvers);
    writer->ClearHeaders();
    if (!writer->Create(name))
        WriterFailed(writer, copy);
}

void DvrWinCore::WriterFailed(std::unique_ptr<DvrRecordWriter> &writer, bool copy)
{
    // The file is finished as far as it got and the view stops showing a healthy recording.
    DebugPrint("Save File Error........\n");
    writer->Close();
    writer.reset();
    Later([this, copy] {
        if (copy)
            view_.ShowCopyPanel(false);
        view_.ShowMessageText(kSaveFileError);
        view_.UpdateToolbar();
    });
}

std::unique_ptr<DvrRecordWriter> DvrWinCore::OpenWriter(const std::string &fileName)
{
    // A file that cannot be created gives no writer, so nobody takes the view for recording.
    if (!writerFactory_)
        return nullptr;
    auto writer = writerFactory_(channelCount_, ntsc_);
    if (writer && !writer->Create(fileName)) {
        DebugPrint("Cannot create %s\n", fileName.c_str());
        writer.reset();
    }
    return writer;
}

bool DvrWinCore::StartRecord(const std::string &fileName)
{
    {
        SharedLock lock(kRecEventName, kRecEventTimeoutMs);
        if (recordWriter_)
            return true;
        recordFileName_ = fileName;
        recordRollOver_ = 0;
        recordWriter_ = OpenWriter(fileName);
        if (recordWriter_)
            return true;
    }
    view_.ShowMessageText(kSaveFileError);
    return false;
}

bool DvrWinCore::StopRecord()
{
    SharedLock lock(kRecEventName, kRecEventTimeoutMs);
    if (recordWriter_)
        recordWriter_->Close();
    recordWriter_.reset();
    return true;
}

bool DvrWinCore::IsRecording() const
{
    SharedLock lock(kRecEventName, kRecEventTimeoutMs);
    return recordWriter_ != nullptr;
}

bool DvrWinCore::StartNetCopy(const std::string &fileName)
{
    bool open = true;
    {
        SharedLock lock(kRecEventName, kRecEventTimeoutMs);
        if (!copyWriter_) {
            copyFileName_ = fileName;
            copyRollOver_ = 0;
            copyWriter_ = OpenWriter(fileName);
            open = copyWriter_ != nullptr;
        }
    }
    if (!open) {
        view_.ShowMessageText(kSaveFileError);
        return false;
    }
    view_.ShowCopyPanel(true);
    view_.SetCopyProgress("0000/00/00 00:00:00", "COPYING(0%)");
    return true;
}

bool DvrWinCore::IsCopying() const
{
    SharedLock lock(kRecEventName, kRecEventTimeoutMs);
    return copyWriter_ != nullptr;
}

bool DvrWinCore::EndNetCopy()
{
    bool ended = false;
    {
        SharedLock lock(kRecEventName, kRecEventTimeoutMs);
        if (copyWriter_) {
            copyWriter_->Close();
            copyWriter_.reset();
            ended = true;
        }
    }
    if (ended)
        view_.ShowMessageText("Copy Completed...");
    view_.ShowCopyPanel(false);
    return true;
}

void DvrWinCore::CancelNetCopy()
{
    {
        SharedLock lock(kRecEventName, kRecEventTimeoutMs);
        if (copyWriter_) {
            const bool empty = copyWriter_->BytesWritten() == 0 && copyRollOver_ == 0;
            copyWriter_->Close();
            copyWriter_.reset();
            if (empty)
                std::remove(copyFileName_.c_str());
        }
    }
    view_.ShowCopyPanel(false);
}

void DvrWinCore::SetCopySpan(double start, double end)
{
    SharedLock lock(kRecEventName, kRecEventTimeoutMs);
    copyStart_ = start;
    copyEnd_ = end;
}

} // namespace strandel
