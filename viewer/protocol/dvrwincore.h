#pragma once
// The recorder view's protocol side without widgets: the send path, the packet dispatcher, the
// reassembly of segmented replies and the video record push. TfrmDvrWin owns one DvrWinCore,
// forwards its DvrViewLink::OnPacket to it and implements DvrWinView for the controls the
// replies drive; tests drive the core with recording fakes instead of widgets.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/protocol/dvrcommand.h"
#include "viewer/protocol/dvrdialoglinks.h"
#include "viewer/link/dvrlink.h"
#include "viewer/protocol/dvrrecordwriter.h"
#include "viewer/link/dvrviewlink.h"
#include "viewer/protocol/framerecord.h"

namespace strandel {

// What the core calls on its view. Unless marked otherwise, calls come on the UI thread.
class DvrWinView {
public:
    virtual ~DvrWinView() = default;

    // Main window: true while it moves its views between frame and toolbar mode. Any thread.
    virtual bool IsSwitchingLayout() const { return false; }
    // Runs fn on the UI thread after the current packet hand-over has returned; modal work
    // (dialogs, message boxes) goes through here so the reader thread never waits on it. Any thread.
    virtual void RunLater(std::function<void()> fn);

    // Message panel pnlMsg.
    virtual void ShowMessageText(const std::string &text) = 0;
    virtual void ShowMessagePanel(bool visible) = 0;
    // The message window TfrmMsg ("Success !!" / "Fail !!").
    virtual void ShowMsgWindow(const std::string &text) = 0;
    // Play-state panel pnlState.
    virtual void SetStateText(const std::string &text) = 0;
    // Track bar: tag and maximum; tag, position and selection end with the change handler
    // detached; position and selection end at the maximum with the handler detached.
    virtual void SetTrackBarRange(uint32_t base, uint32_t count) = 0;
    virtual void SetTrackBarPosition(uint32_t base, uint32_t position) = 0;
    virtual void MoveTrackBarToEnd() = 0;
    virtual void SetTimeLabels(const std::string &start, const std::string &end) = 0;
    virtual void SetChannelMask(uint16_t mask) = 0;
    // Pane i (0..15) draws its title: a 144-byte bitmap or none, and the title mode byte.
    virtual void DrawTitle(int pane, const uint8_t *bitmap, uint8_t mode) = 0;
    virtual void ApplyScreenLayouts(const ScreenLayoutInfo &info) = 0;
    virtual void PlayAudio(const uint8_t *adpcm, size_t length) = 0;
    virtual void UpdateToolbar() = 0;
    // Posts WM_DVR_OPENSETUP to the main window.
    virtual void PostOpenSetup() = 0;
    // Copy panel pnlCopy with lblCopyTime and lblCopyPercent.
    virtual void ShowCopyPanel(bool visible) = 0;
    virtual void SetCopyProgress(const std::string &timeText, const std::string &percentText) = 0;
    // The widget part of a positive login answer (layouts, LEDs, MAC into the address book, mode).
    virtual void OnLoggedIn(const LoginAnswer &answer) = 0;
    // Modal: the save dialog for the log file; nothing when cancelled.
    virtual std::optional<std::string> AskLogFileName() = 0;
    // Modal: the password dialog after a refused login, with why when a typed password was
    // refused; nothing when cancelled.
    virtual std::optional<std::string> AskPassword(const std::string &reason) = 0;
    virtual void ShowMessageBox(const std::string &text) = 0;
    // Posts WM_CLOSE to the view's frame window.
    virtual void CloseView() = 0;
    // A finished record for the picture path; on the thread that received it.
    virtual void OfferMpegRecord(FrameRecordHeader &header, const std::vector<uint8_t> &part0) = 0;
};

class DvrWinCore {
public:
    // A transfer or a part that grows past these is dropped until its next start mark.
    static constexpr size_t kMaxSegmentedSize = size_t(1) << 20;
    static constexpr size_t kMaxPartSize = size_t(1) << 20;
    static constexpr size_t kRecordBufferSize = 315040;
    static constexpr uint64_t kRollOverBytes = 1000000000;
    // How far a roll-over looks for a free file name.
    static constexpr uint32_t kMaxRollOvers = 100000;

    DvrWinCore(DvrWinView &view, DvrRecordWriterFactory writerFactory);
    ~DvrWinCore();
    DvrWinCore(const DvrWinCore &) = delete;
    DvrWinCore &operator=(const DvrWinCore &) = delete;

    // The view's connection, or null. Replacing it waits for a send in progress, so no
    // sender is left holding a connection that is about to be freed. The view closes the old
    // connection first (a send in progress gives up then), sets null here, then frees it.
    // A packet handed from a reader thread to the UI thread gives up once the connection
    // raises its stop flag, so stopping a link never waits on the hand-over.
    void SetConnection(CDvrBase *connection);
    bool HasConnection() const { return connection_.load() != nullptr; }

    // Send path; every send of the process holds "SendEvent".
    bool SendCommandEx(uint8_t cmd, uint8_t flag, const uint8_t *data, int length);
    bool SendCommand(uint8_t cmd, const uint8_t *data, int length);
    bool SendCommand(uint8_t cmd, const Payload &payload);
    // A large record as begin mark, parts of at most 1000 bytes and end mark.
    bool SendUpload(uint8_t cmd, const uint8_t *data, size_t length);
    bool SendLogin(std::string_view user, std::string_view password);
    bool SendPlayControl(uint8_t play, uint8_t fast, uint8_t slow, uint8_t direction);
    bool SendPlayTime(uint8_t diskCode, uint8_t channel, const RecorderTime &time);
    bool SendPlayEvent(const uint8_t entry[kEventEntrySize]);
    bool SendPlayBlock(const uint8_t entry[kBlockEntrySize]);
    bool SendPlayFile(std::string_view path);
    bool SendPlayPos(uint32_t base, uint32_t position);
    void SetAudioSend(bool on);
    void SetAudioReceive(bool on);

    // Every accepted packet of the view's connection, on the thread that received it.
    void OnPacket(const PacketHeader &header, const uint8_t *payload);
    // A complete reply, on the UI thread. The length is not limited to 16 bits.
    void HandlePacket(uint8_t cmd, const uint8_t *payload, size_t length);
    // The login answer, on the UI thread.
    void HandleLoginAnswer(const uint8_t *payload, size_t length);
    // A DvrCmdRecord packet, on the thread that received it.
    void OnVideoRecord(const PacketHeader &header, const uint8_t *payload);

    // Link down: logged out; the time-search, block-search, upgrade and set-up dialogs end as
    // cancelled, the others stay open.
    void OnDisconnected();
    // Channel count (1..16), model code and video standard from the login answer or a player.
    void SetVideoFormat(int channelCount, uint8_t video);
    // The mode TfrmDvrWin::SetMode has set (live or playback); the play-state text follows it.
    void SetModeState(uint8_t mode) { mode_ = mode; }

    // Writers (.dvr files).
    bool StartRecord(const std::string &fileName);
    bool StopRecord();
    bool IsRecording() const;
    bool StartNetCopy(const std::string &fileName);
    bool IsCopying() const;
    bool EndNetCopy();
    // A copy whose request never went out: the writer closes, its file goes when no record
    // reached it, and the copy panel hides.
    void CancelNetCopy();
    // Copy span as day counts since 1899-12-30 with the time as fraction, for the progress.
    void SetCopySpan(double start, double end);
    double CopyStart() const { return copyStart_; }
    double CopyEnd() const { return copyEnd_; }

    DvrDialogRefs &Dialogs() { return dialogs_; }
    bool IsLoggedIn() const { return loggedIn_; }
    bool IsMasterLogin() const { return master_; }
    uint8_t GetMode() const { return mode_; }
    int GetChannelCount() const { return channelCount_; }
    bool IsNtsc() const { return ntsc_; }
    uint8_t GetModel() const { return model_; }
    // The video byte as received: model code in the high four bits, standard in the low four.
    uint8_t GetVideoStandard() const { return video_; }
    bool IsAudioReceive() const { return audioReceive_; }
    bool IsAudioSend() const { return audioSend_; }
    const PlayStatus &GetPlayStatus() const { return playStatus_; }

private:
    void DeliverPacket(uint8_t cmd, const uint8_t *payload, size_t length);
    bool HandOver(const std::function<void()> &fn);
    void OnSegment(const PacketHeader &header, const uint8_t *payload);
    void HandlePlay(const uint8_t *payload, size_t length);
    void HandlePlayInfo(const uint8_t *payload, size_t length);
    void HandleTitles(const uint8_t *payload, size_t length);
    void HandleDiskMap(const uint8_t *payload, size_t length);
    void SaveLogFile(std::vector<uint8_t> log);
    // A segmented reply that did not arrive whole (a piece lost, or too large).
    void OnDamagedReply(uint8_t cmd);
    // The outstanding-request flag of a command whose reply opens a dialog or a message; null for
    // the others.
    std::atomic<bool> *AskedFlag(uint8_t cmd);
    // True (and the request no longer outstanding) when a reply of cmd was asked for; a reply
    // nobody waits for is dropped with a debug line.
    bool TakeAnswer(uint8_t cmd);
    // Modal work of the dispatcher, after the hand-over; dropped while a dialog it opened is up.
    void LaterDialog(std::function<void()> fn);

    void OnRecordHeader(const uint8_t *payload, size_t length);
    void WriteCopyRecord(const FrameRecordHeader &header, const bool partOk[kFramePartCount]);
    void WriteLiveRecord(FrameRecordHeader &header, const bool partOk[kFramePartCount]);
    size_t FillRecordBuffer(const FrameRecordHeader &header, const bool partOk[kFramePartCount]);
    // Roll-over and failure handling of one writer; call under "RecEvent".
    void AfterAppend(std::unique_ptr<DvrRecordWriter> &writer, const std::string &baseName,
                     uint32_t &rollOver, bool appended, bool copy);
    void WriterFailed(std::unique_ptr<DvrRecordWriter> &writer, bool copy);
    std::unique_ptr<DvrRecordWriter> OpenWriter(const std::string &fileName);
    // After every header: ids back to "no part ended", streams emptied so that a record whose
    // parts were all lost cannot match the previous record's bytes.
    void ResetFrameIds()
    {
        frameIds_.fill(0xFF);
        for (auto &stream : parts_)
            stream.clear();
    }
    // view_.RunLater for work on this core: dropped when the core is gone by then.
    void Later(std::function<void()> fn);

    DvrWinView &view_;
    DvrRecordWriterFactory writerFactory_;
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
    std::atomic<CDvrBase *> connection_{nullptr};

    std::atomic<bool> loggedIn_{false};
    std::atomic<bool> master_{false};
    std::atomic<uint8_t> mode_{DvrModeLive};
    std::atomic<int> channelCount_{0};
    std::atomic<bool> ntsc_{false};
    std::atomic<uint8_t> model_{0};
    std::atomic<uint8_t> video_{0};
    bool audioSend_ = false;
    bool audioReceive_ = false;
    PlayStatus playStatus_;
    DvrDialogRefs dialogs_;
    // Requests whose reply opens a dialog (login, log download, set-up password): outstanding
    // from the send until the reply or a lost link.
    std::atomic<bool> loginAsked_{false};
    // The login on its way carries a password the user typed.
    bool passwordTyped_ = false;
    std::atomic<bool> logAsked_{false};
    std::atomic<bool> setupPasswordAsked_{false};
    std::atomic<bool> envSetAsked_{false};
    std::atomic<bool> titleSetAsked_{false};
    // UI thread: a dialog the dispatcher opened, or queued, is up.
    bool dialogUp_ = false;

    // Receiving thread only.
    std::vector<uint8_t> segment_;
    bool segmentDropped_ = false;
    std::array<std::vector<uint8_t>, kFramePartCount> parts_;
    std::array<bool, kFramePartCount> partDropped_{};
    std::array<uint8_t, kFramePartCount> frameIds_{};

    // Under "RecEvent".
    std::unique_ptr<DvrRecordWriter> recordWriter_;
    std::unique_ptr<DvrRecordWriter> copyWriter_;
    std::string recordFileName_;
    std::string copyFileName_;
    uint32_t recordRollOver_ = 0;
    uint32_t copyRollOver_ = 0;
    double copyStart_ = 0;
    double copyEnd_ = 0;
    std::vector<uint8_t> recordBuffer_;
};

// How long a wait for "SendEvent" or "RecEvent" runs before it is reported in the debug log
// (and waits on); 0 = the usual 5000 ms. Tests shorten it.
void SetSharedLockReportInterval(int ms);

// A RecorderTime as a day count since 1899-12-30 with the time of day as fraction; nothing
// when the bytes make no valid date and time.
std::optional<double> RecorderDateTime(const RecorderTime &t);

} // namespace strandel
