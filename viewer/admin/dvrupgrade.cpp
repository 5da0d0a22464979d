#include "viewer/admin/dvrupgrade.h"

#include "platform/endian.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace strandel {

namespace {

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The tag field as text; an empty optional-like result when the field holds no NUL.
bool TagEquals(const uint8_t *field, const char *tag)
{
    const void *nul = std::memchr(field, 0, 16);
    if (!nul)
        return false;
    return std::strcmp(reinterpret_cast<const char *>(field), tag) == 0;
}

} // namespace

// ---- Worker

TUpgradeThread::TUpgradeThread(TfrmDvrUpgrade &dialog) : dialog_(dialog), thread_([this] { Execute(); }) {}

TUpgradeThread::~TUpgradeThread()
{
    Terminate();
    WaitFor();
}

void TUpgradeThread::Resume()
{
    std::lock_guard l(mutex_);
    suspended_ = false;
    wake_.notify_all();
}

void TUpgradeThread::Terminate()
{
    std::lock_guard l(mutex_);
    terminated_ = true;
    wake_.notify_all();
}

void TUpgradeThread::WaitFor()
{
    if (thread_.joinable())
        thread_.join();
}

void TUpgradeThread::Execute()
{
    for (;;) {
        {
            std::unique_lock l(mutex_);
            wake_.wait(l, [this] { return !suspended_ || terminated_; });
            if (terminated_)
                break;
        }
        if (!dialog_.SendUpgradeStep(1)) {
            std::lock_guard l(mutex_);
            suspended_ = true;
        }
    }
    DebugPrint("End Thread");
}

// ---- Dialog

TfrmDvrUpgrade::TfrmDvrUpgrade(QWidget *owner, DvrServices *view) : QDialog(owner), view_(view)
{
    setObjectName("frmDvrUpgrade");
    setWindowTitle("Upgrade");
    dlgOpen = new QFileDialog(this);
    dlgOpen->setObjectName("dlgOpen");
    dlgOpen->setOption(QFileDialog::DontUseNativeDialog);
    dlgOpen->setFileMode(QFileDialog::ExistingFile);
    dlgOpen->setAcceptMode(QFileDialog::AcceptOpen);
    lblFile = new QLabel("Select File", this);
    lblFile->setObjectName("lblFile");
    lblFile->setMinimumWidth(320);
    lblMsg = new QLabel("Waiting...", this);
    lblMsg->setObjectName("lblMsg");
    Gauge = new QProgressBar(this);
    Gauge->setObjectName("Gauge");
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    btnUpgrade = new QPushButton("Upgrade", this);
    btnUpgrade->setObjectName("btnUpgrade");
    btnCancel = new QPushButton("Close", this);
    btnCancel->setObjectName("btnCancel");
    tmrSilence_ = new QTimer(this);
    tmrSilence_->setInterval(1000);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblFile);
    layout->addWidget(lblMsg);
    layout->addWidget(Gauge);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnUpgrade);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    connect(btnUpgrade, &QPushButton::clicked, this, [this] { btnUpgradeClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(kModalResultCancel); });
    // A download the recorder no longer answers may be abandoned: Close comes back.
    // A view that goes takes its send path with it: the worker stops first.
    goneWatch_ = WatchDvrServicesGone([this](DvrServices *gone) {
        if (gone != view_)
            return;
        StopWorker();
        view_ = nullptr;
    });
    connect(tmrSilence_, &QTimer::timeout, this, [this] {
        if (stage_ == Stage::Downloading && Silent())
            btnCancel->setEnabled(true);
    });
}

TfrmDvrUpgrade::~TfrmDvrUpgrade()
{
    UnwatchDvrServicesGone(goneWatch_);
    StopWorker();
    CloseStream();
}

void TfrmDvrUpgrade::StopWorker()
{
    if (thread_) {
        thread_->Terminate();
        thread_->WaitFor();
        thread_.reset();
    }
}

void TfrmDvrUpgrade::CloseStream()
{
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
}

void TfrmDvrUpgrade::Touch() { lastActivityMs_ = NowMs(); }

bool TfrmDvrUpgrade::Silent() const { return NowMs() - lastActivityMs_.load() > silenceLimitMs_; }

void TfrmDvrUpgrade::SetButtons(bool enabled)
{
    btnUpgrade->setEnabled(enabled);
    btnCancel->setEnabled(enabled);
}

void TfrmDvrUpgrade::Message(const QString &text, bool closing, QMessageBox::Icon icon)
{
    lastMessage_ = text;
    // Not modal in a nested loop: replies keep flowing while the box is up. A box that says
    // why the dialog closes belongs to the dialog's owner, so it stays.
    auto *box = new QMessageBox(icon, "Upgrade", text, QMessageBox::Ok,
                                !closing && isVisible() ? this : caller_ ? caller_.data() : parentWidget());
    box->setObjectName("msgUpgrade");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void TfrmDvrUpgrade::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!stream_ && stage_ == Stage::Idle)
        QTimer::singleShot(0, this, [this] {
            if (!stream_ && stage_ == Stage::Idle && isVisible())
                btnUpgradeClick();
        });
}

void TfrmDvrUpgrade::btnUpgradeClick()
{
    // A worker left from an earlier try (the recorder reported an error) ends before its
    // stream goes, and there is never more than one.
    StopWorker();
    CloseStream();
    if (dlgOpen->exec() != QDialog::Accepted || dlgOpen->selectedFiles().isEmpty()) {
        // Nothing is announced: a late answer to an earlier start must not push anything.
        stage_ = Stage::Idle;
        lblFile->setText("Select File");
        lblMsg->setText("No file chosen...");
        SetButtons(true);
        return;
    }
    StartUpgrade(dlgOpen->selectedFiles().first());
}

bool TfrmDvrUpgrade::StartUpgrade(const QString &fileName)
{
    StopWorker();
    CloseStream();
    lblFile->setText(fileName);
    std::FILE *f = std::fopen(QFile::encodeName(fileName).constData(), "rb");
    if (!f) {
        Message("CANNOT OPEN THE FILE");
        return false;
    }
    auto refuse = [&](const QString &text) {
        std::fclose(f);
        Message(text);
        return false;
    };
    std::fseek(f, 0, SEEK_END);
    const long long length = std::ftell(f);
    // Said before anything is read: an image holds at least its CRC and one byte, and no
    // recorder's firmware comes near the limit.
    if (length < kMinImageSize)
        return refuse("FILE TOO SMALL (a firmware image has at least 5 bytes)");
    if (length > kMaxImageSize)
        return refuse(QString("FILE TOO LARGE (a firmware image has at most %1 MB)").arg(kMaxImageSize >> 20));
    const uint32_t size = uint32_t(length);
    // The CRC of everything before the last 4 bytes, read a piece at a time.
    std::rewind(f);
    uint32_t crc = 0;
    std::vector<uint8_t> piece(64 * 1024);
    for (uint32_t at = 0; at < size - 4;) {
        const size_t want = std::min<size_t>(piece.size(), size - 4 - at);
        if (std::fread(piece.data(), 1, want, f) != want)
            return refuse("FILE CRC ERROR");
        crc = CrcUpdate(crc, piece.data(), int(want));
        at += uint32_t(want);
    }
    // The tail: the tag field 20 bytes before the end (when the image is that long) and the CRC.
    const uint32_t tailAt = size >= 20 ? size - 20 : 0;
    uint8_t tail[20] = {};
    if (std::fseek(f, long(tailAt), SEEK_SET) != 0 || std::fread(tail, 1, size - tailAt, f) != size - tailAt)
        return refuse("FILE CRC ERROR");
    const bool crcOk = GetLe32(tail + (size - tailAt) - 4) == crc;
    // An image too short to hold the tag field, or a tag without its NUL, fits no recorder.
    const bool tagOk = size >= 20 && TagEquals(tail, model_ ? kTagModelSet : kTagModelClear);
    if (!crcOk)
        return refuse("FILE CRC ERROR");
    if (!tagOk)
        return refuse("DVR MODEL ERROR");
    std::rewind(f);
    stream_ = f;
    size_ = size;
    offset_ = 0;
    lblMsg->setText("Waiting...");
    Gauge->setRange(0, int(size_));
    Gauge->setValue(0);
    thread_ = std::make_unique<TUpgradeThread>(*this);
    stage_ = Stage::Waiting;
    Touch();
    if (!SendUpgradeStep(0)) {
        StopWorker();
        CloseStream();
        stage_ = Stage::Failed;
        lblMsg->setText("Upgrade Error...");
        SetButtons(true);
        return false;
    }
    // One start at a time: another pick would announce another size to the same answer.
    btnUpgrade->setEnabled(false);
    return true;
}

bool TfrmDvrUpgrade::SendUpgradeStep(int phase)
{
    if (!view_)
        return false;
    uint8_t packet[5 + kPartSize];
    if (phase == 0 || phase == 2) {
        packet[0] = uint8_t(phase);
        PutLe32(packet + 1, size_);
        return view_->SendCommand(DvrCmdUpgrade, packet, 5);
    }
    if (phase != 1 || !stream_)
        return false;
    if (offset_ >= size_) {
        CloseStream();
        return false;
    }
    const size_t n = std::fread(packet + 5, 1, std::min<size_t>(kPartSize, size_ - offset_), stream_);
    if (n == 0)
        return false;
    packet[0] = 1;
    PutLe32(packet + 1, offset_);
    // A part that did not go out (the link is down) is not counted: the worker stops here.
    if (!view_->SendCommand(DvrCmdUpgrade, packet, int(5 + n))) {
        std::fseek(stream_, long(offset_), SEEK_SET);
        return false;
    }
    offset_ += uint32_t(n);
    Touch();
    return true;
}

void TfrmDvrUpgrade::OnUpgradeReply(const uint8_t *payload, size_t length)
{
    if (!payload || length < 1)
        return;
    Touch();
    switch (payload[0]) {
    case 0:
        // Only the announced image starts to flow.
        if (stage_ != Stage::Waiting || !thread_)
            return;
        stage_ = Stage::Downloading;
        lblMsg->setText("Downloading...");
        SetButtons(false);
        tmrSilence_->start();
        thread_->Resume();
        break;
    case 2:
        if (stage_ != Stage::Downloading)
            return;
        stage_ = Stage::Flashing;
        btnCancel->setEnabled(false);
        lblMsg->setText("Flashing...");
        Gauge->setValue(0);
        if (!SendUpgradeStep(2)) {
            stage_ = Stage::Failed;
            tmrSilence_->stop();
            lblMsg->setText("Upgrade Error...");
            SetButtons(true);
        }
        break;
    case 3:
        if (stage_ != Stage::Flashing)
            return;
        stage_ = Stage::Completed;
        tmrSilence_->stop();
        lblMsg->setText("Completed...");
        Gauge->setValue(Gauge->maximum());
        SetButtons(true);
        StopWorker();
        Message("DVR is upgraded successfully !!", true, QMessageBox::Information);
        done(1);
        break;
    case 4:
        if (stage_ == Stage::Idle)
            return;
        stage_ = Stage::Failed;
        tmrSilence_->stop();
        lblMsg->setText("Error...");
        // Parts after the recorder gave up would only draw more errors.
        StopWorker();
        SetButtons(true);
        break;
    default:
        if (length < 5 || stage_ == Stage::Idle)
            return;
        Gauge->setValue(std::clamp(int64_t(int32_t(GetLe32(payload + 1))), int64_t(0), int64_t(Gauge->maximum())));
        break;
    }
}

bool TfrmDvrUpgrade::CanClose()
{
    if (forced_)
        return true;
    const bool underWay = stage_ == Stage::Waiting || stage_ == Stage::Downloading || stage_ == Stage::Flashing;
    if (!view_ || !view_->IsLoggedIn()) {
        if (underWay)
            Message("Upgrade Error...", true);
        return true;
    }
    // Never while the recorder writes its flash; a download only once the recorder fell silent.
    if (stage_ == Stage::Flashing || (stage_ == Stage::Downloading && !Silent())) {
        Message("Cannot close while upgrading...", false, QMessageBox::Warning);
        return false;
    }
    return true;
}

void TfrmDvrUpgrade::done(int result)
{
    if (!CanClose())
        return;
    tmrSilence_->stop();
    StopWorker();
    QDialog::done(result);
}

void TfrmDvrUpgrade::SetModalResult(int result)
{
    forced_ = true;
    if (stage_ == Stage::Waiting || stage_ == Stage::Downloading || stage_ == Stage::Flashing)
        Message("Upgrade Error...", true);
    if (isVisible())
        done(result);
    else
        setResult(result);
    StopWorker();
    forced_ = false;
}

} // namespace strandel
