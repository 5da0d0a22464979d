#pragma once
// The main window: tool panels, the list of open recorder views and, in frame mode, the docked picture area.
#include "platform/events.h"
#include "viewer/audio/waveaudio.h"
#include "viewer/base/dvrlistrecord.h"
#include "viewer/base/recordpath.h"

#include <QFont>
#include <QImage>
#include <QDateTime>
#include <QRect>
#include <QSet>
#include <QWidget>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

class QFrame;
class QLabel;
class QListWidget;
class QSpinBox;
class QTimer;
class QFileDialog;

namespace strandel {

class TfrmDvrWin;
class TMyButton;

// A four-cell glyph strip (normal, disabled, down, hot) showing a caption, for buttons whose
// pictures are drawn rather than loaded.
QImage MakeCaptionGlyph(const QString &caption, QSize cell, const QColor &face);

// Which edge or corner the user drags while resizing the window in frame mode.
enum class SizingEdge { Left, Right, Top, Bottom, TopLeft, TopRight, BottomLeft, BottomRight };

// Keeps the picture area at 720:V while the window is resized. rect is the proposed window
// rectangle (right and bottom exclusive), dx and dy the window's size beyond its picture area.
QRect FitFrameSizing(const QRect &rect, SizingEdge edge, int dx, int dy, int pictureHeight);

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 357;
    static constexpr int kMaxDvrWins = 16;

    explicit TfrmMain(QWidget *owner = nullptr);
    ~TfrmMain() override;

    void SetFrameMode(bool frame, bool initial);
    void PlaceFrame(QPoint want);
    QString GetStartDir() const { return StartDir; }
    void ApplyAudioState(bool apply);

    // The register of views.
    int GetDvrWinCount() const;
    bool CanAddDvrWin() const;
    bool AddDvrWin(TfrmDvrWin *view);
    void RemoveDvrWin(TfrmDvrWin *view);
    void RemoveAllDvrWins();
    TfrmDvrWin *GetCurrentDvrWin() const { return CurrentDvrWin; }
    void SetCurrentDvrWin(TfrmDvrWin *view);
    void SetDvrCaption(TfrmDvrWin *view, const QString &text);
    void UpdateToolbar(TfrmDvrWin *view);
    void TileDvrWins(int count);
    // The display options, as they stand, on every open view.
    void ApplyDisplayOptions();
    bool IsSwitchingLayout();
    // The posted messages of the views.
    void OnReleaseView(TfrmDvrWin *view);
    void OnFreeView(TfrmDvrWin *view);
    bool IsCaptureRunning() const { return Capture->IsStarted(); }
    bool IsPlaybackOpen() const { return Playback->IsOpen(); }

    // Audio routing: microphone blocks go to the current view, its received blocks play.
    void WaveInProc(WaveHeader &header);
    void SendMicBlock(WaveHeader &header);
    void PlayAudio(TfrmDvrWin *view, const uint8_t *data, size_t length);
    WaveCapture &GetWaveCapture() { return *Capture; }
    WavePlayback &GetWavePlayback() { return *Playback; }

    bool IsFrameMode() const { return MainFrame; }
    int Controller() const { return MainController; }
    TfrmDvrWin *GetFrameDvrWin() const { return FrameDvrWin; }

    // Handlers.
    void btnFrameClick();
    void btnControllerClick();
    void btnExitClick();
    void btnMinClick();
    void tmrClockTimer();
    void Image1Click();
    void Image1DblClick();
    void btnDvrListClick();
    void btnDvrSearchClick();
    void btnOptionClick();
    void btnChClick(int channel);
    void btnMultiClick();
    void btnAutoClick();
    void edtAutoSeqChange(int value);
    void btnPauseClick();
    void btnPlayClick();
    void btnBackClick();
    void btnFastPlayClick();
    void btnFastBackClick();
    void btnSlowPlayClick();
    void btnSlowBackClick();
    void btnSearchClick(int kind);
    void btnDvrEnvClick();
    void btnDvrStatusClick();
    void btnPrintClick();
    // Puts btnPanTilt or btnDvrCtrl down and shows its window, as a click would.
    void ShowToolWindow(TMyButton *button);
    void btnPanTiltClick();
    void btnDvrCtrlClick();
    void btnArangeClick();
    void btnHddClick();
    void btnFileClick();
    void btnRecordClick();
    void btnCopyClick();
    void btnAudSendClick();
    void btnAudRecvClick();
    void lstDvrWinSelectItem();

    // Controls, named as on the form.
    QFrame *pnlToolTop, *pnlLeft, *pnlToolCh, *pnlToolControl, *pnlToolSearch, *pnlToolPlay, *pnlToolMulti,
        *pnlToolClock, *pnlDvr, *bvLeft;
    QLabel *imgTop, *Image1, *imgLeft, *lblClock, *lblInfo;
    TMyButton *btnDvrList, *btnDvrSearch, *btnHdd, *btnFile, *btnArange, *btnOption;
    TMyButton *btnMin, *btnExit, *btnController, *btnFrame, *SpeedButton3;
    TMyButton *btnDvrCtrl, *btnPanTilt, *btnDvrEnv, *btnDvrStatus, *btnPrint, *btnCopy, *btnAudSend, *btnAudRecv;
    TMyButton *btnTimeSearch, *btnEventSearch, *btnBlockSearch, *btnLogSearch;
    TMyButton *btnRecord, *btnFastBack, *btnSlowBack, *btnBack, *btnPause, *btnPlay, *btnSlowPlay, *btnFastPlay;
    TMyButton *btnMulti, *btnAuto;
    QSpinBox *edtAutoSeq;
    QListWidget *lstDvrWin;
    QTimer *tmrClock;
    std::array<TMyButton *, 16> btnCh{};

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    // Frame mode: the size that keeps the picture's aspect, as a drag of that edge would give.
    void FitToPicture(SizingEdge edge);
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void BuildControls();
    void Realign();
    void FitFrameHeight();
    int CurrentPictureHeight() const;
    void WriteSettings();
    void ApplyFont(const QFont &font, int color);

    TimedEvent ListLock{true, true};
    TfrmDvrWin *CurrentDvrWin = nullptr;
    TfrmDvrWin *FrameDvrWin = nullptr;
    QList<TfrmDvrWin *> dvrWins_;
    QSet<TfrmDvrWin *> pendingFree_; // removed views whose queued free has not run yet
    int CascadeIndex = 0;
    bool MainFrame = false;
    bool MainDvrList = false;
    uint8_t MainController = 1;
    int MainPosX = 100, MainPosY = 100;
    int MainPosXF = 10, MainPosYF = 10, MainPosWF = 640, MainPosHF = 500;
    QString StartDir;
    std::array<uint8_t, 256> MicBlock{};
    // The built-in entries the disk and file buttons open; views keep pointers to them.
    std::vector<std::unique_ptr<DvrListRecord>> builtInEntries_;
    DvrListRecord *NewBuiltInEntry(DvrKind kind, const char *name);
    QFont mainFont_;
    int fontColor_ = 0;
    bool shownOnce_ = false;
    WaveCapture *Capture = nullptr;
    WavePlayback *Playback = nullptr;
    bool audioClosed_ = false; // the window is going: the devices stay closed
    bool OpenCapture();
    // Buttons of a device the machine lacks say so and stay disabled.
    void ShowAudioDevices(bool remote);
    // Qt Multimedia's device list changed.
    void AudioDevicesChanged();
    bool selecting_ = false;
    bool fitting_ = false;
    // Read by reader threads, which must not touch widgets.
    std::atomic<bool> switching_{false};
    std::atomic<int> viewCount_{0};
};

} // namespace strandel
