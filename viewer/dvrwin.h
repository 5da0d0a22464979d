#pragma once
// The recorder view and its own frame window. Here: what the main window reads and calls; the
// connection, panes and picture path build on it. The queries and actions are virtual so the
// main window can be exercised with stand-in views.
#include "dvrlistrecord.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QFrame;

namespace strandel {

class TfrmDvrWin;

// The top-level window a view lives in while the main window is in toolbar mode.
class TfrmDvrFrame : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDvrFrame(TfrmDvrWin *view);
    TfrmDvrWin *View() const { return view_; }

signals:
    void activated(TfrmDvrWin *view);
    void closeRequested(TfrmDvrWin *view);

protected:
    void changeEvent(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    TfrmDvrWin *view_;
};

class TfrmDvrWin : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDirectionForward = 31;
    static constexpr int kDirectionBackward = 32;

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

    // State the toolbar mirrors.
    virtual bool IsLoggedIn() const { return false; }
    virtual int GetMode() const { return 0; }
    virtual int GetCurrentChannel() const { return 0; }
    virtual uint16_t GetChannelMask() const { return 0; }
    virtual int GetChannelCount() const { return 0; }
    virtual bool IsAutoSequence() const { return false; }
    virtual bool IsRecording() const { return false; }
    virtual bool IsCopying() const { return false; }
    virtual bool IsAudioSend() const { return false; }
    virtual bool IsAudioReceive() const { return false; }
    virtual bool IsPlaying() const { return false; }
    virtual uint16_t GetFastStep() const { return 0; }
    virtual uint16_t GetSlowStep() const { return 0; }
    virtual int GetDirection() const { return kDirectionForward; }
    virtual bool IsMasterLogin() const { return false; }

    // What the toolbar asks of the view.
    virtual void SelectChannel(int channel) { (void)channel; }
    virtual void SetSplit(int split) { (void)split; }
    virtual void SetAutoSequence(bool on, int seconds) { (void)on, (void)seconds; }
    virtual void SendPlayControl(int run, int fast, int slow, int direction) { (void)run, (void)fast, (void)slow, (void)direction; }
    virtual void OpenSearchDialog(int kind) { (void)kind; }
    virtual void OpenStatusDialog() {}
    virtual bool StartRecord(const QString &path) { (void)path; return false; }
    virtual void StopRecord() {}
    virtual void EndNetCopy() {}
    virtual void SendCommand(uint8_t cmd, const uint8_t *data, int length) { (void)cmd, (void)data, (void)length; }
    virtual void SetAudioSend(bool on) { (void)on; }
    virtual void SetAudioReceive(bool on) { (void)on; }
    virtual void ShowMessageText(const QString &text) { (void)text; }
    // Ends recording and copying and closes the connection.
    virtual void CloseConnection() {}

    void SetRecordIndicator();
    void SetSelected(bool selected);
    bool IsSelected() const { return selected_; }
    // Frame mode: the view sits in the given main window; toolbar mode: in its own frame window.
    void SetFrameMode(bool frame, QWidget *mainWindow);

    QFrame *pnlDvr;
    QPushButton *btnLive;
    QPushButton *btnPlay;
    QFrame *pnlStatus;
    QFrame *pnlPlay;

private:
    DvrListRecord record_;
    TfrmDvrFrame *frame_ = nullptr;
    QString caption_;
    bool selected_ = false;
};

} // namespace strandel
