#pragma once
// The recorder view and its own frame window. Here: what the main window reads and calls; the
// connection, panes and picture path build on it. The queries and actions are virtual so the
// main window can be exercised with stand-in views.
#include "viewer/base/dvrlistrecord.h"
#include "viewer/view/decoderhost.h"
#include "viewer/view/dvrch.h"
#include "viewer/protocol/dvrrecordwriter.h"
#include "viewer/link/dvrviewlink.h"
#include "viewer/view/dvrlayout.h"
#include "viewer/view/pictureworker.h"
#include "viewer/view/playpath.h"
#include "viewer/admin/dvrservices.h"

#include <QDialog>
#include <QFrame>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <array>
#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QFrame;
class QTimer;
class QMenu;
class QAction;
class QSlider;

namespace strandel {

class TfrmDvrWin;
class TfrmDvrCh;
class CDvrBase;
class DvrWinCore;

// The top-level window a view lives in while the main window is in toolbar mode.
class TfrmDvrFrame : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDvrFrame(TfrmDvrWin *view);
    TfrmDvrWin *View() const { return view_; }
    // Takes the size that keeps the picture's aspect, as if the given edge had been dragged
    // (2 right, 6 bottom, 8 bottom right).
    void FitToPicture(int edge);

signals:
    void activated(TfrmDvrWin *view);
    void closeRequested(TfrmDvrWin *view);

protected:
    void changeEvent(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    TfrmDvrWin *view_;
    bool fitting_ = false;
    bool placed_ = false;
};

class TfrmDvrWin : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDirectionForward = 31;
    static constexpr int kDirectionBackward = 32;
    static constexpr int kBackBorder = 4;
    static constexpr int kStatusHeight = 38;
    static constexpr int kMinimumWidth = 440;

    explicit TfrmDvrWin(QWidget *owner = nullptr);
    ~TfrmDvrWin() override;

    // Height of the recorder picture the view shows (its video standard).
    virtual int PictureHeight() const { return 480; }
    QString GetName() const { return QString::fromLatin1(FieldText(record_.name).data(), qsizetype(FieldText(record_.name).size())); }
    QString GetRecordPath() const { return QString::fromLocal8Bit(FieldText(record_.folder).data(), qsizetype(FieldText(record_.folder).size())); }
    DvrKind GetKind() const { return record_.Kind(); }
    const DvrListRecord &Record() const { return record_; }
    void SetRecord(const DvrListRecord &r) { record_ = r; }
    TfrmDvrFrame *GetFrame() const { return frame_; }
    QString CaptionText() const { return caption_; }
    void SetCaptionText(const QString &text) { caption_ = text; }
    // A dialog's title followed by the recorder it belongs to.
    QString TitleFor(const QString &title) const;

    // State the toolbar mirrors.
    virtual bool IsLoggedIn() const;
    virtual int GetMode() const;
    virtual int GetCurrentChannel() const { return layouts_.CurrentChannel(); }
    virtual uint16_t GetChannelMask() const { return layouts_.ChannelMask(); }
    virtual int GetChannelCount() const { return layouts_.ChannelCount(); }
    virtual bool IsAutoSequence() const;
    virtual bool IsRecording() const;
    virtual bool IsCopying() const;
    virtual bool IsAudioSend() const;
    virtual bool IsAudioReceive() const;
    // The play state the recorder last reported.
    virtual bool IsPlaying() const;
    virtual uint16_t GetFastStep() const;
    virtual uint16_t GetSlowStep() const;
    virtual int GetDirection() const;
    virtual bool IsMasterLogin() const;

    // What the toolbar asks of the view.
    virtual void SelectChannel(int channel);
    virtual void SetSplit(int split);
    virtual void SetAutoSequence(bool on, int seconds);
    virtual void SendPlayControl(int run, int fast, int slow, int direction);
    // The dialog launchers: each runs its dialog modally while the dispatcher hands it its replies.
    virtual void OpenSearchDialog(int kind);
    virtual void OpenStatusDialog();
    void OpenSetupDialog();
    void OpenUpgradeDialog();
    // The picture of the channel shown alone (channel 1 in the multi view) for printing and
    // saving; null when that pane shows nothing.
    QImage *CopyCurrentPicture(QImage *picture);
    // What the administration dialogs use of this view.
    DvrServices &Services();
    void SendRemoteKey(uint32_t code);
    virtual bool StartRecord(const QString &path);
    virtual void StopRecord();
    virtual void EndNetCopy();
    virtual void SendCommand(uint8_t cmd, const uint8_t *data, int length);
    virtual void SetAudioSend(bool on);
    // A captured microphone block (WM_DVR_AUDIOOUT): sent to the recorder as an audio command.
    virtual void SendAudioBlock(const uint8_t *block, size_t length);
    virtual void SetAudioReceive(bool on);
    virtual void ShowMessageText(const QString &text);
    // Ends recording and copying and closes the connection.
    virtual void CloseConnection();
    // Runs a dialog of this view modally and returns its result. While one runs the view is not
    // freed; once the view is closed none starts (the result is then 2, cancelled).
    int RunModal(QDialog *dialog);
    bool IsRunningDialog() const { return !modal_.empty(); }
    // Ends the dialogs this view runs, and whatever each runs over itself, as cancelled.
    void CloseDialogs();

    // Lifecycle and connection.
    bool OpenDvr(DvrListRecord *record);
    bool CreateConnection(DvrListRecord *record);
    bool StartConnection();
    // Takes a connection made elsewhere (a test link, a player); the view owns it.
    void SetConnection(std::unique_ptr<CDvrBase> connection);
    CDvrBase *Connection() const { return connection_.get(); }
    DvrWinCore &Core() { return *core_; }
    bool IsConnected() const { return connected_; }
    bool IsLocal() const;
    void OnConnected();
    void OnDisconnected();
    void OnLoggedIn(const LoginAnswer &answer);
    void SetMode(uint8_t mode);
    void ShowMessagePanel(bool visible);
    void SetStatusText(const QString &text);
    void Activate();
    void ApplyDisplayOptions();
    // Published handlers.
    void tmrFrameTimer();
    void btnLiveClick(bool live);
    void btnRelayClick();
    void TrackBarChange();
    void cmdConnectClick();
    void cmdDisconnectClick();
    void cmdCloseClick();
    void cmdDvrSetupClick();
    void btnMsgOkClick();
    // The text of the disk-free label for a drive letter and free megabytes.
    static QString DiskFreeText(char drive, uint64_t megabytes);
    // Where new recording and copy writers come from (the recording store).
    static void SetWriterFactory(DvrRecordWriterFactory factory);

    virtual void ShowPopupMenu(const QPoint &screenPos);

    // Layouts and panes.
    void SetVideoFormat(int count, uint8_t video);
    void SetNtsc(bool ntsc);
    void SetChannelMask(uint16_t mask);
    void ApplyScreenLayouts(const ScreenLayoutInfo &info) { layouts_.ApplyScreenLayouts(info); }
    void LayoutCells(int n, const uint8_t *channels);
    void tmrAutoTimer() { layouts_.AutoSequenceStep(); }
    TfrmDvrCh *Pane(int index) const { return panes_.at(size_t(index)); }
    const DvrLayouts &Layouts() const { return layouts_; }
    bool IsNtsc() const { return ntsc_; }
    int GetVideoHeight() const { return 480; }
    // What lies around the video area (status bar, borders).
    QSize VideoMargins();

    // Picture path.
    QueueResult QueueMpegFrame(const FrameRecordHeader &header, const std::vector<uint8_t> &part0,
                               size_t *resume = nullptr);
    // A record from the link: queued, or on the UI thread kept and offered again while the rings are full.
    void OfferMpegRecord(const FrameRecordHeader &header, const std::vector<uint8_t> &part0);
    size_t PendingRecords() const { return pendingRecords_.size(); }
    static constexpr size_t kMaxPendingRecords = 64;
    static constexpr int kPendingRetryMs = 10;
    void ShowRecord(const FrameRecordHeader &header, DvrRecordStream &stream) { playPath_.ShowRecord(header, stream); }
    bool DecodeMpeg(int ring, const FrameRecordHeader &header, const uint8_t *frame, size_t size);
    void UpdateCaption(const FrameRecordHeader &header);
    bool IsPlayBufferHigh() const { return playPath_.IsPlayBufferHigh(); }
    void BlankAllChannels();
    void tmrMpegTimer();
    PlayPath &Path() { return playPath_; }
    void SetDecoderHost(std::unique_ptr<MpegDecoderHost> host)
    {
        StopWorker();
        decoder_ = std::move(host);
    }
    // Pictures handed to the decoding thread and not yet decoded.
    int DecodeBacklog() const { return worker_ ? worker_->Backlog() : 0; }
    MpegDecoderHost *DecoderHost() const { return decoder_.get(); }
    // Brush colour (0x00BBGGRR) of channel i's LED.
    uint32_t LedColour(int i) const { return ledColours_.at(size_t(i)); }
    void SetLedColour(int i, uint32_t colour);
    QWidget *Led(int i) const { return leds_.at(size_t(i)); }
    void OnChannelLedMouseDown(int tag) { SelectChannel(tag); }
    QImage &BitmapA() { return bitmapA_; }

    void SetRecordIndicator();
    void SetSelected(bool selected);
    bool IsSelected() const { return selected_; }
    // Frame mode: the view sits in the given main window; toolbar mode: in its own frame window.
    void SetFrameMode(bool frame, QWidget *mainWindow);

    QFrame *pnlBack;
    QFrame *pnlDvr;
    QPushButton *btnLive;
    QPushButton *btnPlay;
    QFrame *pnlStatus;
    QFrame *pnlPlay;
    QTimer *tmrAuto;
    QTimer *tmrMpeg;
    QTimer *tmrFrame;
    QTimer *tmrPending;
    QLabel *pnlMsg;
    QPushButton *btnMsgOk;
    QLabel *pnlFrame;
    QLabel *pnlState;
    QFrame *pnlLive;
    QPushButton *btnRelay;
    QLabel *lblDiskFree;
    QLabel *lblStart, *lblEnd;
    QSlider *TrackBar;
    QFrame *pnlCopy;
    QLabel *lblCopyPercent, *lblCopyTime;
    QFrame *pnlCh;
    QMenu *popDvrWin;
    QAction *cmdConnect, *cmdDisconnect, *cmdDvrControl, *cmdPanTilt, *cmdSearch, *cmdTimeSearch, *cmdEventSearch,
        *cmdBlockSearch, *cmdLogSearch, *cmdDvrSetup, *cmdDvrStatus, *cmdClose;

signals:
    // The last dialog the view ran has returned.
    void DialogsEnded(TfrmDvrWin *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct LayoutBridge : LayoutHost {
        explicit LayoutBridge(TfrmDvrWin &view) : view_(view) {}
        void LayoutCells(int n, const uint8_t *channels) override { view_.LayoutCells(n, channels); }
        void SendChannelCommand(uint8_t channel) override;
        void PanTiltSetChannel(int index) override;
        void UpdateToolbar() override;
        TfrmDvrWin &view_;
    };
    LayoutBridge layoutBridge_{*this};
    struct PathBridge : PlayPathHost {
        explicit PathBridge(TfrmDvrWin &view) : view_(view) {}
        void ShowJpeg(int index, const FrameRecordHeader &header, DvrRecordStream &stream) override;
        bool DecodeMpeg(int ring, const FrameRecordHeader &header, const uint8_t *frame, size_t size) override
        {
            return view_.DecodeMpeg(ring, header, frame, size);
        }
        void BlankChannel(int index) override;
        void SetLed(int index, bool event) override;
        void SetSchedulerRunning(bool on) override;
        void UpdateCaption(const FrameRecordHeader &header) override { view_.UpdateCaption(header); }
        int RegisteredViews() const override;
        TfrmDvrWin &view_;
    };
    PathBridge pathBridge_{*this};
    struct PendingRecord {
        FrameRecordHeader header;
        std::vector<uint8_t> bytes;
        size_t resume = 0; // the frames before this offset are queued
    };
    std::deque<PendingRecord> pendingRecords_;
    void OfferPendingRecords();
    class ServicesBridge;
    std::unique_ptr<ServicesBridge> services_;
    PlayPath playPath_;
    std::unique_ptr<MpegDecoderHost> decoder_;
    // Decodes for this view when the host allows it; stopped before the host and the panes go.
    std::unique_ptr<PictureWorker> worker_;
    PlanarPicture workerPicture_; // the decoding thread's own picture, exchanged with the panes
    // Joins the decoding thread before worker_ lets go of it: a running job reads worker_.
    void StopWorker();
    void DecodeOnWorker(int ring, const FrameRecordHeader &header, const std::vector<uint8_t> &frame, int width,
                        int height, bool fixed);
    QString shownCaption_;
    int64_t captionSecond_ = 0;
    uint8_t captionKind_ = 0; // the kind of record the title shows; 0 live or none
    std::array<uint32_t, kMaxChannels> ledColours_{};
    std::array<QWidget *, kMaxChannels> leds_{};
    void BuildControls();
    void PreparePopupMenu();
    void CentreMessagePanel();
    // What the recorder's replies drive, reached through ViewBridge.
    void OnPacket(const PacketHeader &header, const uint8_t *payload);
    bool IsSwitchingLayout() const;
    void ShowMsgWindow(const QString &text);
    void SetStateText(const QString &text);
    void SetTrackBarRange(uint32_t base, uint32_t count);
    void SetTrackBarPosition(uint32_t base, uint32_t position);
    void MoveTrackBarToEnd();
    void SetTimeLabels(const QString &start, const QString &end);
    void DrawTitle(int pane, const uint8_t *bitmap, uint8_t mode);
    void PlayAudio(const uint8_t *adpcm, size_t length);
    void UpdateToolbar();
    void PostOpenSetup();
    void ShowCopyPanel(bool visible);
    void SetCopyProgress(const QString &timeText, const QString &percentText);
    std::optional<QString> AskLogFileName();
    std::optional<QByteArray> AskPassword(const QString &reason = {});
    void ShowMessageBox(const QString &text);
    void CloseView();
    class ViewBridge;
    std::unique_ptr<ViewBridge> viewBridge_;
    std::unique_ptr<DvrWinCore> core_;
    std::unique_ptr<CDvrBase> connection_;
    DvrListRecord *listRecord_ = nullptr;
    std::atomic<bool> connected_{false};
    uint32_t trackBarTag_ = 0;
    bool trackBarQuiet_ = false;
    DvrLayouts layouts_{layoutBridge_};
    std::array<TfrmDvrCh *, kMaxChannels> panes_{};
    QImage bitmapA_, bitmapB_;
    bool ntsc_ = false;
    bool decoderReported_ = false;

    // The dialogs running, innermost last; closed_ once CloseConnection ran.
    std::vector<QPointer<QDialog>> modal_;
    bool closed_ = false;
    // Closes the link; a worker sending through it (the upgrade's) stops first.
    void CloseLink();
    // The frame-rate tick ends with the link: no figure of a link that is gone stays up.
    // A new playback: its rings are emptied and the title may start anywhere.
    void FlushForNewPlayback();
    void StopFrameTimer();

    DvrListRecord record_;
    TfrmDvrFrame *frame_ = nullptr;
    QString caption_;
    bool selected_ = false;
};

// The address book's opener: a new view for the entry, connected and registered with the main
// window; false (and the view gone) when it cannot be opened.
bool OpenRecorderView(DvrListRecord *entry);

} // namespace strandel
