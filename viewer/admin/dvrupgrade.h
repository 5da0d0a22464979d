#pragma once
// Firmware upgrade: tests an image file against the connected recorder, pushes it in parts from
// a worker thread and follows the recorder's states until the image is flashed.
#include <QDialog>
#include <QMessageBox>
#include <QPointer>

#include "viewer/admin/dvrservices.h"
#include "viewer/protocol/dvrdialoglinks.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

class QFileDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace strandel {

class TfrmDvrUpgrade;

// Pushes the image's parts back to back; suspends itself when a step has nothing to send.
// Created suspended.
class TUpgradeThread {
public:
    explicit TUpgradeThread(TfrmDvrUpgrade &dialog);
    ~TUpgradeThread(); // terminates, wakes and joins
    TUpgradeThread(const TUpgradeThread &) = delete;
    TUpgradeThread &operator=(const TUpgradeThread &) = delete;

    void Resume();
    void Terminate();
    void WaitFor();

private:
    void Execute();
    TfrmDvrUpgrade &dialog_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool suspended_ = true;
    bool terminated_ = false;
    std::thread thread_;
};

class TfrmDvrUpgrade : public QDialog, public UpgradeDialog {
    Q_OBJECT
public:
    static constexpr int kPartSize = 1000;
    // The sizes of an image the dialog takes: its CRC and a byte at least, and far more than
    // any recorder's firmware at most.
    static constexpr long long kMinImageSize = 5;
    static constexpr long long kMaxImageSize = 64LL << 20;
    // Model tags an image carries in the 16 bytes that begin 20 bytes before its end.
    static constexpr const char *kTagModelSet = "kxt52070";
    static constexpr const char *kTagModelClear = "kxt52030";

    // Where the upgrade stands, as the recorder's replies moved it.
    enum class Stage { Idle, Waiting, Downloading, Flashing, Completed, Failed };

    TfrmDvrUpgrade(QWidget *owner, DvrServices *view);
    ~TfrmDvrUpgrade() override;

    void SetModel(uint8_t flag) { model_ = flag; }
    // The window the dialog was opened from (set-up): a message about its closing goes there.
    void SetCaller(QWidget *caller) { caller_ = caller; }
    uint8_t Model() const { return model_; }

    // Phase 0 (start) and 2 (flash) send the size; phase 1 sends the next part, false when
    // there is no file or nothing is left. False too when the packet did not leave.
    // The worker thread runs phase 1.
    bool SendUpgradeStep(int phase);
    void OnUpgradeReply(const uint8_t *payload, size_t length) override;
    // The view ends the dialog (the link went): stops the worker whatever the stage.
    void SetModalResult(int result) override;
    void StopSending() override { StopWorker(); }

    // What follows the file dialog: tests the file and, when it fits, announces it (phase 0).
    bool StartUpgrade(const QString &fileName);
    // Whether the dialog may close now; says why not (or that the link is gone) in a message.
    bool CanClose();

    Stage GetStage() const { return stage_; }
    // The text of the last message box shown.
    const QString &LastMessage() const { return lastMessage_; }
    // How long the recorder may stay silent in a download before the operator may abandon it.
    void SetSilenceLimit(int ms) { silenceLimitMs_ = ms; }

    QFileDialog *dlgOpen;
    QLabel *lblFile;
    QLabel *lblMsg;
    QProgressBar *Gauge;
    QPushButton *btnUpgrade;
    QPushButton *btnCancel;

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void btnUpgradeClick();
    void StopWorker();
    void CloseStream();
    // An error or refusal uses the critical icon, a warning the warning icon.
    void Message(const QString &text, bool closing = false, QMessageBox::Icon icon = QMessageBox::Critical);
    void SetButtons(bool enabled);
    bool Silent() const;
    void Touch();

    DvrServices *view_;
    std::FILE *stream_ = nullptr; // the worker's while a download runs
    uint32_t size_ = 0;
    uint32_t offset_ = 0;
    std::unique_ptr<TUpgradeThread> thread_;
    uint8_t model_ = 0;
    Stage stage_ = Stage::Idle;
    QString lastMessage_;
    QTimer *tmrSilence_;
    int silenceLimitMs_ = 20000;
    std::atomic<int64_t> lastActivityMs_{0};
    bool forced_ = false;
    int goneWatch_ = 0;
    QPointer<QWidget> caller_;
};

} // namespace strandel
