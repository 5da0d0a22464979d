#include "viewer/view/dvrwin.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QMessageBox>
#include <QPointer>
#include <QSlider>
#include <QStorageInfo>
#include <QThread>
#include <QPixmapCache>
#include <QTimer>

#include <chrono>
#include <cstring>
#include <thread>
#include <QVBoxLayout>

#include "platform/debuglog.h"
#include "platform/endian.h"
#include "platform/langtable.h"
#include "platform/pages.h"
#include "platform/uithread.h"
#include "viewer/admin/dvrupgrade.h"
#include "viewer/controls/placement.h"
#include "viewer/admin/searchdialogs.h"
#include "viewer/admin/shells.h"
#include "viewer/view/dvrhddsel.h"
#include "viewer/link/dvrlink.h"
#include "viewer/store/dvrlocal.h"
#include "viewer/view/dvrpass.h"
#include "viewer/view/viewbridge.h"
#include "viewer/store/dvrstorewriter.h"
#include "viewer/protocol/dvrwincore.h"
#include "viewer/base/global.h"
#include "viewer/base/vieweroptions.h"
#include "viewer/view/dvrch.h"
#include "viewer/view/dvrwinhost.h"

namespace strandel {

TfrmDvrFrame::TfrmDvrFrame(TfrmDvrWin *view) : QWidget(nullptr, Qt::Window), view_(view)
{
    setObjectName("frmDvrFrame");
    // The view's caption once it has one.
    setWindowTitle(view && !view->CaptionText().isEmpty() ? view->CaptionText() : QStringLiteral("Strandel"));
    const QSize margins = view ? view->VideoMargins() : QSize();
    resize(720 + margins.width(), (view ? view->GetVideoHeight() : 480) + margins.height());
}

void TfrmDvrFrame::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        emit activated(view_);
    QWidget::changeEvent(e);
}

void TfrmDvrFrame::closeEvent(QCloseEvent *e)
{
    // The main window unregisters the view and frees it later.
    e->ignore();
    emit closeRequested(view_);
}

void TfrmDvrFrame::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (placed_)
        return;
    placed_ = true;
    // The window manager places a new view where it finds room; when there is none it may leave
    // part of the pictures off the screen. Once it has framed the window, pull it back on.
    QTimer::singleShot(250, this, [this] { MoveFrameOnScreen(this); });
}

void TfrmDvrFrame::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    if (view_ && view_->parentWidget() == this)
        view_->setGeometry(rect());
    if (!view_ || fitting_ || !e->oldSize().isValid())
        return;
    // The platform does not tell which edge is dragged: a change of one side counts as that side.
    const bool wide = e->size().width() != e->oldSize().width(), high = e->size().height() != e->oldSize().height();
    FitToPicture(wide && !high ? 2 : high && !wide ? 6 : 8);
}

void TfrmDvrFrame::FitToPicture(int edge)
{
    if (!view_ || fitting_)
        return;
    const QSize margins = view_->VideoMargins();
    const FrameRect fitted = FitFrameRect({0, 0, width(), height()}, edge, margins.width(), margins.height(),
                                          view_->GetVideoHeight());
    if (fitted.right != width() || fitted.bottom != height()) {
        fitting_ = true;
        resize(fitted.right, fitted.bottom);
        fitting_ = false;
    }
}

namespace {

PlayPath::Clock SystemClock()
{
    static QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return {[] { return uint32_t(started.elapsed()); },
            [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }};
}

DvrRecordWriterFactory &WriterFactorySlot()
{
    static DvrRecordWriterFactory factory = StoreWriterFactory();
    return factory;
}

} // namespace

// A channel LED: a circle in its brush colour without outline; a click selects its channel.
class ChannelLed : public QWidget {
public:
    ChannelLed(QWidget *parent, const uint32_t *colour, std::function<void()> onDown)
        : QWidget(parent), colour_(colour), onDown_(std::move(onDown))
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        const uint32_t c = *colour_; // 0x00BBGGRR
        p.setBrush(QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)));
        p.drawEllipse(rect());
    }
    void mousePressEvent(QMouseEvent *) override { onDown_(); }

private:
    const uint32_t *colour_;
    std::function<void()> onDown_;
};

// What the recorder's replies drive; the core reaches these through ViewBridge.
void TfrmDvrWin::OnPacket(const PacketHeader &header, const uint8_t *payload) { core_->OnPacket(header, payload); }

bool TfrmDvrWin::IsSwitchingLayout() const
{
    DvrWinHost *host = GetDvrWinHost();
    return host && host->IsSwitchingLayout();
}

void TfrmDvrWin::ShowMsgWindow(const QString &text)
{
    if (DvrWinHost *host = GetDvrWinHost())
        host->ShowNotice(text);
}

void TfrmDvrWin::SetStateText(const QString &text) { pnlState->setText(text); }

void TfrmDvrWin::SetTrackBarRange(uint32_t base, uint32_t count)
{
    // A shorter span pulls the value down with it: no seek the operator asked for.
    trackBarQuiet_ = true;
    trackBarTag_ = base;
    TrackBar->setMaximum(int(std::min<uint32_t>(count, INT32_MAX)));
    trackBarQuiet_ = false;
}

void TfrmDvrWin::SetTrackBarPosition(uint32_t base, uint32_t position)
{
    trackBarQuiet_ = true;
    trackBarTag_ = base;
    TrackBar->setValue(int(std::min<uint32_t>(position, INT32_MAX)));
    trackBarQuiet_ = false;
}

void TfrmDvrWin::MoveTrackBarToEnd()
{
    trackBarQuiet_ = true;
    TrackBar->setValue(TrackBar->maximum());
    trackBarQuiet_ = false;
}

void TfrmDvrWin::SetTimeLabels(const QString &start, const QString &end)
{
    lblStart->setText(start);
    lblEnd->setText(end);
}

void TfrmDvrWin::DrawTitle(int pane, const uint8_t *bitmap, uint8_t mode)
{
    if (pane >= 0 && pane < kMaxChannels)
        panes_[size_t(pane)]->DrawTitle(bitmap, mode);
}

void TfrmDvrWin::PlayAudio(const uint8_t *adpcm, size_t length)
{
    if (DvrWinHost *host = GetDvrWinHost())
        host->PlayAudio(this, adpcm, length);
}

void TfrmDvrWin::UpdateToolbar()
{
    if (DvrWinHost *host = GetDvrWinHost())
        host->UpdateToolbar(this);
}

void TfrmDvrWin::PostOpenSetup()
{
    // Posted: the set-up dialog runs modally once the reply's hand-over has returned.
    QMetaObject::invokeMethod(this, [this] { OpenSetupDialog(); }, Qt::QueuedConnection);
}

void TfrmDvrWin::ShowCopyPanel(bool visible) { pnlCopy->setVisible(visible); }

void TfrmDvrWin::SetCopyProgress(const QString &timeText, const QString &percentText)
{
    lblCopyTime->setText(timeText);
    lblCopyPercent->setText(percentText);
}

std::optional<QString> TfrmDvrWin::AskLogFileName()
{
    QFileDialog dialog(this, QStringLiteral("Save Log"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    // The view's record folder, else the current one; not wherever some file dialog went last.
    const QString folder = GetRecordPath();
    dialog.setDirectory(!folder.isEmpty() && QDir(folder).exists() ? folder : QDir::currentPath());
    dialog.selectFile(QDateTime::currentDateTime().toString(QStringLiteral("'Log-'yyyyMMdd-HHmmss'.txt'")));
    // Asked while the log search is open: above it, not behind it.
    PlaceAboveModal(&dialog);
    if (RunModal(&dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

std::optional<QByteArray> TfrmDvrWin::AskPassword(const QString &reason)
{
    TfrmDvrPass dlg(parentWidget());
    dlg.SetReason(reason);
    if (RunModal(&dlg) != 1)
        return std::nullopt;
    return dlg.GetPasswordBytes();
}

void TfrmDvrWin::ShowMessageBox(const QString &text)
{
    QMessageBox box(QMessageBox::Information, QString(), text, QMessageBox::Ok, ModalOwner(parentWidget()));
    RunModal(&box);
}

int TfrmDvrWin::RunModal(QDialog *dialog)
{
    if (!dialog || closed_)
        return kModalResultCancel;
    modal_.push_back(dialog);
    QPointer<TfrmDvrWin> self(this);
    const int result = dialog->exec();
    // A view deleted under its dialog by hand (the program never does) is not touched again.
    if (!self)
        return result;
    modal_.pop_back();
    if (modal_.empty())
        emit DialogsEnded(this);
    return result;
}

void TfrmDvrWin::CloseDialogs()
{
    for (auto it = modal_.rbegin(); it != modal_.rend(); ++it) {
        QDialog *dialog = *it;
        if (!dialog)
            continue;
        // What a dialog runs over itself (a calendar, a message box, a file dialog) goes first.
        for (QDialog *over : dialog->findChildren<QDialog *>())
            if (over->isVisible())
                over->reject();
        // The upgrade refuses an ordinary close while it runs; the view's end is no ordinary one.
        if (auto *upgrade = dynamic_cast<UpgradeDialog *>(dialog))
            upgrade->SetModalResult(kModalResultCancel);
        else
            dialog->done(kModalResultCancel);
    }
}

void TfrmDvrWin::CloseView() { cmdCloseClick(); }

// The view as the administration dialogs see it; the send path is the core's, usable from
// any thread.
class TfrmDvrWin::ServicesBridge final : public DvrServices {
public:
    explicit ServicesBridge(TfrmDvrWin &view) : v_(view) {}
    bool SendCommandEx(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) override
    {
        return v_.core_->SendCommandEx(cmd, flag, data, length);
    }
    bool SendUpload(uint8_t cmd, const uint8_t *data, size_t length) override
    {
        return v_.core_->SendUpload(cmd, data, length);
    }
    int GetChannelCount() const override { return v_.GetChannelCount(); }
    std::string GetRecordPath() const override { return v_.GetRecordPath().toStdString(); }
    bool IsLoggedIn() const override { return v_.IsLoggedIn(); }
    uint8_t GetModel() const override { return v_.core_->GetModel(); }
    uint8_t GetVideoStandard() const override { return v_.core_->GetVideoStandard(); }
    bool StartNetCopy(const std::string &fileName) override { return v_.core_->StartNetCopy(fileName); }
    bool IsCopying() const override { return v_.core_->IsCopying(); }
    void CancelNetCopy() override
    {
        v_.core_->CancelNetCopy();
        v_.UpdateToolbar();
    }
    void OpenUpgradeDialog() override { v_.OpenUpgradeDialog(); }

private:
    TfrmDvrWin &v_;
};

DvrServices &TfrmDvrWin::Services() { return *services_; }

void TfrmDvrWin::SetWriterFactory(DvrRecordWriterFactory factory) { WriterFactorySlot() = std::move(factory); }

TfrmDvrWin::TfrmDvrWin(QWidget *owner)
    : QWidget(owner), playPath_(pathBridge_, SystemClock()), decoder_(std::make_unique<LumasetDecoderHost>())
{
    viewBridge_ = std::make_unique<ViewBridge>(*this);
    services_ = std::make_unique<ServicesBridge>(*this);
    core_ = std::make_unique<DvrWinCore>(*viewBridge_, WriterFactorySlot());
    setObjectName("frmDvrWin");
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    // pnlBack's border marks the current view.
    pnlBack = new QFrame(this);
    pnlBack->setObjectName("pnlBack");
    pnlBack->setAutoFillBackground(true);
    pnlDvr = new QFrame(pnlBack);
    pnlDvr->setObjectName("pnlDvr");
    pnlDvr->setAutoFillBackground(true);
    pnlDvr->setPalette(p);
    auto *back = new QVBoxLayout(pnlBack);
    back->setContentsMargins(kBackBorder, kBackBorder, kBackBorder, kBackBorder);
    back->addWidget(pnlDvr);
    pnlStatus = new QFrame(this);
    pnlStatus->setObjectName("pnlStatus");
    pnlStatus->setFixedHeight(kStatusHeight);
    pnlStatus->setAutoFillBackground(true);
    pnlPlay = new QFrame(pnlStatus);
    pnlPlay->setObjectName("pnlPlay");
    btnLive = new QPushButton("Live", pnlStatus);
    btnLive->setObjectName("btnLive");
    btnPlay = new QPushButton("Play", pnlStatus);
    btnPlay->setObjectName("btnPlay");
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pnlBack, 1);
    layout->addWidget(pnlStatus);
    setMinimumWidth(kMinimumWidth);
    SetSelected(false);
    SetRecordIndicator();

    pnlDvr->installEventFilter(this);
    for (int i = 0; i < kMaxChannels; ++i) {
        panes_[size_t(i)] = new TfrmDvrCh(pnlDvr, i + 1);
        connect(panes_[size_t(i)], &TfrmDvrCh::DoubleClicked, this,
                [this](int channel) { SelectChannel(GetCurrentChannel() < 1 ? channel : 0); });
        connect(panes_[size_t(i)], &TfrmDvrCh::PopupRequested, this, &TfrmDvrWin::ShowPopupMenu);
        panes_[size_t(i)]->SetBitmaps(&bitmapA_, &bitmapB_);
        panes_[size_t(i)]->hide();
    }
    tmrAuto = new QTimer(this);
    tmrAuto->setObjectName("tmrAuto");
    connect(tmrAuto, &QTimer::timeout, this, [this] { tmrAutoTimer(); });
    tmrMpeg = new QTimer(this);
    tmrMpeg->setObjectName("tmrMpeg");
    tmrMpeg->setInterval(1);
    tmrMpeg->setTimerType(Qt::PreciseTimer);
    connect(tmrMpeg, &QTimer::timeout, this, [this] { tmrMpegTimer(); });
    tmrPending = new QTimer(this);
    tmrPending->setInterval(kPendingRetryMs);
    tmrPending->setTimerType(Qt::PreciseTimer);
    connect(tmrPending, &QTimer::timeout, this, [this] { OfferPendingRecords(); });
    // 32-bit pictures: the decoder converts straight into them, and the panes copy them as they are.
    bitmapA_ = QImage(704, 480, QImage::Format_RGB32);
    bitmapB_ = QImage(704, 480, QImage::Format_RGB32);
    BuildControls();
    // What a closed view held (its pictures, its frames) goes back to the system once the views
    // closed together are gone, not only back to the heap.
    connect(this, &QObject::destroyed, qApp, [] {
        static bool pending = false;
        if (pending)
            return;
        pending = true;
        QTimer::singleShot(0, qApp, [] {
            pending = false;
            // The style's cached button pictures are keyed by each view's own palette: those of
            // closed views are never drawn again, yet would stay up to the cache's limit.
            QPixmapCache::clear();
            ReturnFreeMemory();
        });
    });
}

TfrmDvrWin::~TfrmDvrWin()
{
    // The decoding thread draws into the panes: it stops before anything it uses goes.
    StopWorker();
    // Dialogs with a thread of their own (the upgrade) stop it while the send path still exists.
    services_->NotifyGone();
    // The link goes first: its reader thread may still hand packets to the core.
    if (connection_) {
        connection_->Close();
        core_->SetConnection(nullptr);
        playPath_.SetStopFlag(nullptr);
        connection_.reset();
    }
    if (frame_) {
        if (parentWidget() == frame_)
            setParent(nullptr);
        delete frame_;
    }
}

QSize TfrmDvrWin::VideoMargins()
{
    // The selection border and the status bar lie beside the video area.
    return QSize(2 * kBackBorder, 2 * kBackBorder + (pnlStatus->isHidden() ? 0 : pnlStatus->height()));
}

void TfrmDvrWin::SetRecordIndicator()
{
    QPalette p = pnlStatus->palette();
    p.setColor(QPalette::Window, IsRecording() ? QColor(0xFF, 0, 0) : QColor(0x80, 0x80, 0x80));
    pnlStatus->setPalette(p);
}

bool TfrmDvrWin::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == pnlDvr && event->type() == QEvent::Resize)
        SetSplit(-1); // pnlDvrResize
    if (watched == pnlDvr && event->type() == QEvent::MouseButtonPress)
        Activate();
    // pnlDvrMouseUp: the menu opens on the empty video area too, so that a view that never
    // logged in can be connected again or closed.
    if (watched == pnlDvr && event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            ShowPopupMenu(pnlDvr->mapToGlobal(mouse->position().toPoint()));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmDvrWin::SetVideoFormat(int count, uint8_t video)
{
    if (count < 1 || count > kMaxChannels)
        return;
    QPalette p = pnlDvr->palette();
    p.setColor(QPalette::Window, Qt::black);
    pnlDvr->setPalette(p);
    pnlDvr->setAutoFillBackground(true);
    layouts_.SetDefaults(count, uint8_t(video >> 4));
    const uint8_t standard = video & 0x0F;
    SetNtsc(standard != 0);
    playPath_.SetFormat(count, uint8_t(video >> 4), ntsc_);
    for (int i = 0; i < kMaxChannels; ++i) {
        SetLedColour(i, 0x008000);
        leds_[size_t(i)]->setVisible(i < count);
    }
    DebugPrint("==>> NtscPal, Ch Num : %d, %d\n", standard, count);
    for (int i = 0; i < count; ++i)
        panes_[size_t(i)]->SetVideoStandard(standard);
    SetChannelMask(0xFFFF);
    SetSplit(19);
}

void TfrmDvrWin::SetNtsc(bool ntsc) { ntsc_ = ntsc; }

void TfrmDvrWin::SetChannelMask(uint16_t mask)
{
    layouts_.SetChannelMask(mask);
    for (int i = 0; i < layouts_.ChannelCount(); ++i)
    {
        leds_[size_t(i)]->setEnabled(mask & (1u << i));
        SetLedColour(i, (mask & (1u << i)) ? 0x008000 : 0x808080);
    }
    playPath_.ForgetLeds();
}

void TfrmDvrWin::SelectChannel(int channel)
{
    layouts_.SelectChannel(channel);
    playPath_.SetCurrentChannel(layouts_.CurrentChannel());
}

void TfrmDvrWin::SetSplit(int split)
{
    layouts_.SetSplit(split);
    playPath_.SetCurrentChannel(layouts_.CurrentChannel());
}

QueueResult TfrmDvrWin::QueueMpegFrame(const FrameRecordHeader &header, const std::vector<uint8_t> &part0,
                                       size_t *resume)
{
    return playPath_.QueueMpegFrame(header, part0, resume);
}

void TfrmDvrWin::OfferMpegRecord(const FrameRecordHeader &header, const std::vector<uint8_t> &part0)
{
    // A reader thread waits for room itself; on the UI thread a record without room is kept, in
    // order, and offered again once the scheduler has made some.
    if (!IsUiThread()) {
        QueueMpegFrame(header, part0);
        return;
    }
    // The pause a record asks for is kept by the records after it: they wait here.
    const PlayStatus &status = core_->GetPlayStatus();
    playPath_.SetPlaySpeed(status.fast, status.slow, status.direction);
    size_t resume = 0;
    if (pendingRecords_.empty() && playPath_.PauseLeft() == 0 &&
        QueueMpegFrame(header, part0, &resume) != QueueResult::Busy)
        return;
    // The rest of a record already begun is kept whatever the backlog.
    if (resume == 0 && pendingRecords_.size() >= kMaxPendingRecords) {
        DebugPrint("Play Buffer FULL... record of channel %d dropped\n", int(int8_t(header.channel)));
        return;
    }
    pendingRecords_.push_back({header, part0, resume});
    if (!tmrPending->isActive())
        tmrPending->start(std::max(playPath_.PauseLeft(), kPendingRetryMs));
}

void TfrmDvrWin::OfferPendingRecords()
{
    while (!pendingRecords_.empty()) {
        if (const int left = playPath_.PauseLeft(); left > 0) {
            tmrPending->start(left);
            return;
        }
        PendingRecord &r = pendingRecords_.front();
        if (connected_ && QueueMpegFrame(r.header, r.bytes, &r.resume) == QueueResult::Busy) {
            tmrPending->start(kPendingRetryMs);
            return;
        }
        pendingRecords_.pop_front();
    }
    tmrPending->stop();
}

bool TfrmDvrWin::DecodeMpeg(int ring, const FrameRecordHeader &header, const uint8_t *frame, size_t size)
{
    if (size < kPesHeaderBytes || !IsMpegVideoStart(frame, size) || ring < 0 || ring >= kMaxChannels)
        return false;
    if (decoder_ && !decoder_->Unavailable().isEmpty()) {
        // Said once; the MPEG panes stay blank.
        if (!decoderReported_)
            ShowMessageText(decoder_->Unavailable());
        decoderReported_ = true;
        return false;
    }
    const int width = header.sizeCode >= 2 ? 352 : 704;
    const int height = header.sizeCode == 0 ? (ntsc_ ? 480 : 576) : (ntsc_ ? 240 : 288);
    if (bitmapA_.width() != width || bitmapA_.height() != height)
        bitmapA_ = QImage(width, height, QImage::Format_RGB32);
    const bool fixed = (header.kind == 0 && playPath_.Model() == 1 && layouts_.ChannelCount() == 16) || header.directShow != 0;
    if (decoder_ && decoder_->DecodesOnWorker()) {
        // Decoded on the view's own thread; the pane shows the picture once it is drawn.
        if (!worker_)
            worker_ = std::make_unique<PictureWorker>();
        worker_->Post([this, ring, header, bytes = std::vector<uint8_t>(frame, frame + size), width, height, fixed] {
            DecodeOnWorker(ring, header, bytes, width, height, fixed);
        });
        return true;
    }
    // The frame's own length, never more than the bytes at hand.
    const int32_t length = int32_t(std::min<size_t>(MpegLength(frame), size - kPesHeaderBytes));
    try {
        if (!decoder_ || decoder_->DecodeFrame(ring, frame, length, &bitmapA_, fixed ? 1 : 0) <= 0)
            return false;
    } catch (const std::exception &) {
        DebugPrint("MpegDecode Error......%d\n", ring);
        return false;
    }
    panes_[size_t(ring)]->ShowFrame(&header, nullptr);
    UpdateCaption(header);
    return true;
}

void TfrmDvrWin::StopWorker()
{
    if (worker_)
        worker_->Stop();
    worker_.reset();
}

// On the decoding thread.
void TfrmDvrWin::DecodeOnWorker(int ring, const FrameRecordHeader &header, const std::vector<uint8_t> &frame,
                                int width, int height, bool fixed)
{
    if (workerPicture_.width != width || workerPicture_.height != height)
        workerPicture_.Resize(width, height);
    const int32_t length = int32_t(std::min<size_t>(MpegLength(frame.data()), frame.size() - kPesHeaderBytes));
    try {
        if (decoder_->DecodeFrame(ring, frame.data(), length, &workerPicture_, fixed ? 1 : 0) <= 0)
            return;
    } catch (const std::exception &) {
        DebugPrint("MpegDecode Error......%d\n", ring);
        return;
    }
    // The pane takes the picture in exchange for its last one and draws it when it paints.
    const uint32_t ticket = panes_[size_t(ring)]->TakeDecoded(header, workerPicture_);
    QMetaObject::invokeMethod(
        this,
        [this, ring, header, ticket] {
            panes_[size_t(ring)]->ShowDecoded(header, ticket);
            UpdateCaption(header);
        },
        Qt::QueuedConnection);
}

void TfrmDvrWin::UpdateCaption(const FrameRecordHeader &header)
{
    const RecorderTime &t = header.time;
    const QString text = QString::asprintf("%s - %02d%02d/%02d/%02d %02d:%02d:%02d", caption_.toLocal8Bit().constData(),
                                           int(int8_t(t.century)), int(int8_t(t.year)), int(int8_t(t.month)),
                                           int(int8_t(t.day)), int(int8_t(t.hour)), int(int8_t(t.minute)),
                                           int(int8_t(t.second)));
    // Most pictures leave the text as it was.
    if (text == shownCaption_)
        return;
    // In playback the title follows the play position: a picture of a channel that came late
    // never turns it back. A jump of more than a few seconds is a new place in the recording.
    constexpr int64_t kCaptionJumpSeconds = 3;
    const int64_t second = RecordSecond(t);
    if (header.kind != 0 && captionKind_ != 0) {
        const int64_t behind = core_->GetPlayStatus().direction == PlayDirBackward ? second - captionSecond_
                                                                                 : captionSecond_ - second;
        if (behind > 0 && behind <= kCaptionJumpSeconds)
            return;
    }
    captionSecond_ = second;
    captionKind_ = header.kind;
    shownCaption_ = text;
    if (frame_ && parentWidget() == frame_)
        frame_->setWindowTitle(text);
    else if (DvrWinHost *host = GetDvrWinHost())
        host->SetDvrCaption(this, text);
}

void TfrmDvrWin::tmrMpegTimer()
{
    // The scheduler paces by the speed and direction the recorder last reported.
    const PlayStatus &status = core_->GetPlayStatus();
    playPath_.SetPlaySpeed(status.fast, status.slow, status.direction);
    // The decoding thread is behind: the frames wait in the rings, whose producers then wait.
    if (DecodeBacklog() >= 2 * kMaxChannels)
        return;
    playPath_.Tick();
}

void TfrmDvrWin::BlankAllChannels()
{
    for (TfrmDvrCh *pane : panes_)
        pane->ShowFrame(nullptr, nullptr);
}

void TfrmDvrWin::PathBridge::ShowJpeg(int index, const FrameRecordHeader &header, DvrRecordStream &stream)
{
    view_.panes_[size_t(index)]->ShowFrame(&header, &stream);
}

void TfrmDvrWin::PathBridge::BlankChannel(int index) { view_.panes_[size_t(index)]->ShowFrame(nullptr, nullptr); }

void TfrmDvrWin::PathBridge::SetLed(int index, bool event) { view_.SetLedColour(index, event ? 0x0000FF : 0x008000); }

void TfrmDvrWin::SetLedColour(int i, uint32_t colour)
{
    if (ledColours_[size_t(i)] == colour)
        return;
    ledColours_[size_t(i)] = colour;
    leds_[size_t(i)]->update();
}

void TfrmDvrWin::PathBridge::SetSchedulerRunning(bool on)
{
    if (on && !view_.tmrMpeg->isActive())
        view_.tmrMpeg->start();
    else if (!on)
        view_.tmrMpeg->stop();
}

int TfrmDvrWin::PathBridge::RegisteredViews() const
{
    DvrWinHost *host = GetDvrWinHost();
    return host ? host->GetDvrWinCount() : 1;
}

bool TfrmDvrWin::IsAutoSequence() const { return tmrAuto->isActive(); }

void TfrmDvrWin::SetAutoSequence(bool on, int seconds)
{
    // A zero interval would fire without pause.
    tmrAuto->setInterval(std::max(1, seconds) * 1000);
    const bool running = tmrAuto->isActive();
    if (on && !running) {
        tmrAutoTimer();
        tmrAuto->start();
    } else if (!on && running) {
        tmrAuto->stop();
        SelectChannel(0);
    }
}

void TfrmDvrWin::LayoutCells(int n, const uint8_t *channels)
{
    const int count = layouts_.ChannelCount();
    if (count == 0 || n == 0 || !channels)
        return;
    // Every pane, also those of channels an earlier recorder had: only this recorder's show.
    for (TfrmDvrCh *pane : panes_)
        pane->hide();
    const int w = pnlDvr->contentsRect().width(), h = pnlDvr->contentsRect().height();
    n = std::min(n, kMaxChannels);
    // A cell listing a channel the recorder does not have stays empty, as a cell of 0 does.
    for (int k = 0; k < n; ++k) {
        const int c = channels[k];
        if (c < 1 || c > count)
            continue;
        const PaneRect r = CellGeometry(n, k, w, h);
        panes_[size_t(c - 1)]->setGeometry(r.left, r.top, std::max(0, r.width), std::max(0, r.height));
    }
    for (int k = 0; k < n; ++k) {
        const int c = channels[k];
        if (c >= 1 && c <= count)
            panes_[size_t(c - 1)]->show();
    }
}

void TfrmDvrWin::LayoutBridge::SendChannelCommand(uint8_t channel)
{
    const uint8_t payload[2] = {channel, 0};
    view_.SendCommand(DvrCmdChannel, payload, 2);
}

void TfrmDvrWin::LayoutBridge::PanTiltSetChannel(int index)
{
    if (frmPanTilt)
        frmPanTilt->SetChannel(index);
}

void TfrmDvrWin::LayoutBridge::UpdateToolbar()
{
    if (DvrWinHost *host = GetDvrWinHost())
        host->UpdateToolbar(&view_);
}

void TfrmDvrWin::SetSelected(bool selected)
{
    selected_ = selected;
    QPalette p = pnlBack->palette();
    p.setColor(QPalette::Window, !selected ? QColor(0x80, 0x80, 0x80) : connected_ ? QColor(0, 0x80, 0x80) : Qt::black);
    pnlBack->setPalette(p);
    // A selected view's own frame takes the size that keeps its picture's aspect, as a drag of
    // its bottom edge would give it; in frame mode the main window fits itself.
    if (selected && frame_ && parentWidget() == frame_ && GetChannelCount() > 0)
        frame_->FitToPicture(6);
    if (selected && isVisible()) {
        raise();
        if (frame_ && parentWidget() == frame_)
            frame_->raise();
    }
}

void TfrmDvrWin::SetFrameMode(bool frame, QWidget *mainWindow)
{
    shownCaption_.clear(); // the caption goes to another window now
    if (frame) {
        setParent(mainWindow);
        if (frame_)
            frame_->hide();
    } else {
        if (!frame_)
            frame_ = new TfrmDvrFrame(this);
        setParent(frame_);
        setGeometry(frame_->rect());
        frame_->show();
    }
    show();
    CentreMessagePanel();
    ApplyDisplayOptions();
}

void TfrmDvrWin::CentreMessagePanel()
{
    pnlMsg->move(std::max(0, (pnlDvr->width() - pnlMsg->width()) / 2),
                 std::max(0, (pnlDvr->height() - pnlMsg->height()) / 2));
}


// ---- Controls

void TfrmDvrWin::BuildControls()
{
    pnlMsg = new QLabel(pnlDvr);
    pnlMsg->setObjectName("pnlMsg");
    pnlMsg->setAlignment(Qt::AlignCenter);
    pnlMsg->setAutoFillBackground(true);
    // Its own colours: inherited from the black video area, the text would not show.
    QPalette msg = pnlMsg->palette();
    msg.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
    msg.setColor(QPalette::WindowText, Qt::black);
    msg.setColor(QPalette::Button, QColor(0xF0, 0xF0, 0xF0));
    msg.setColor(QPalette::ButtonText, Qt::black);
    pnlMsg->setPalette(msg);
    pnlMsg->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnlMsg->setContentsMargins(22, 0, 8, 0); // room for the close button
    pnlMsg->setMinimumWidth(200);
    pnlMsg->setFixedHeight(28);
    pnlMsg->hide();
    btnMsgOk = new QPushButton("X", pnlMsg);
    btnMsgOk->setObjectName("btnMsgOk");
    btnMsgOk->setFlat(true);
    btnMsgOk->setPalette(msg);
    btnMsgOk->setGeometry(0, 4, 20, 20);
    connect(btnMsgOk, &QPushButton::clicked, this, [this] { btnMsgOkClick(); });

    pnlCh = new QFrame(pnlStatus);
    pnlCh->setObjectName("pnlCh");
    pnlCh->setFixedSize(312, 19);
    static constexpr int kLedLeft[kMaxChannels] = {60, 75, 91, 106, 122, 138, 153, 169, 185, 200, 216, 232, 247, 263, 279, 294};
    for (int i = 0; i < kMaxChannels; ++i) {
        ledColours_[size_t(i)] = 0x808080;
        leds_[size_t(i)] = new ChannelLed(pnlCh, &ledColours_[size_t(i)], [this, i] { OnChannelLedMouseDown(i + 1); });
        leds_[size_t(i)]->setGeometry(kLedLeft[i], 4, 11, 11);
        leds_[size_t(i)]->hide();
    }
    pnlFrame = new QLabel(pnlStatus);
    pnlFrame->setObjectName("pnlFrame");
    pnlState = new QLabel(">", pnlStatus);
    pnlState->setObjectName("pnlState");
    pnlCopy = new QFrame(pnlStatus);
    pnlCopy->setObjectName("pnlCopy");
    lblCopyPercent = new QLabel(pnlCopy);
    lblCopyTime = new QLabel(pnlCopy);
    auto *copy = new QVBoxLayout(pnlCopy);
    copy->setContentsMargins(0, 0, 0, 0);
    copy->setSpacing(0);
    copy->addWidget(lblCopyPercent);
    copy->addWidget(lblCopyTime);
    pnlCopy->hide();
    pnlLive = new QFrame(pnlStatus);
    pnlLive->setObjectName("pnlLive");
    btnRelay = new QPushButton("Play", pnlLive);
    btnRelay->setObjectName("btnRelay");
    btnRelay->setCheckable(true);
    connect(btnRelay, &QPushButton::clicked, this, [this] { btnRelayClick(); });
    // Empty until the first tick gives the number.
    lblDiskFree = new QLabel(pnlLive);
    auto *live = new QHBoxLayout(pnlLive);
    live->setContentsMargins(0, 0, 0, 0);
    live->addWidget(btnRelay);
    live->addWidget(lblDiskFree, 1);
    lblStart = new QLabel(pnlPlay);
    lblEnd = new QLabel(pnlPlay);
    TrackBar = new QSlider(Qt::Horizontal, pnlPlay);
    TrackBar->setObjectName("TrackBar");
    TrackBar->setMaximum(100);
    connect(TrackBar, &QSlider::valueChanged, this, [this] {
        if (!trackBarQuiet_)
            TrackBarChange();
    });
    auto *play = new QHBoxLayout(pnlPlay);
    play->setContentsMargins(0, 0, 0, 0);
    play->addWidget(lblStart);
    play->addWidget(TrackBar, 1);
    play->addWidget(lblEnd);
    pnlPlay->hide();
    btnLive->setCheckable(true);
    btnPlay->setCheckable(true);
    btnLive->setAutoExclusive(true);
    btnPlay->setAutoExclusive(true);
    btnLive->setChecked(true);
    connect(btnLive, &QPushButton::clicked, this, [this] { btnLiveClick(true); });
    connect(btnPlay, &QPushButton::clicked, this, [this] { btnLiveClick(false); });
    // Two rows, so that every item keeps its room at the view's minimum width: the LEDs with the
    // frame rate and play state over the mode buttons with the live or playback controls; the
    // copy progress, when shown, left of both.
    for (QPushButton *b : {btnLive, btnPlay}) {
        b->setFixedSize(56, 18);
        b->setFocusPolicy(Qt::NoFocus);
    }
    btnRelay->setFixedHeight(18);
    btnRelay->setFocusPolicy(Qt::NoFocus);
    pnlCopy->setFixedWidth(124);
    auto *status = new QHBoxLayout(pnlStatus);
    status->setContentsMargins(2, 0, 2, 0);
    status->setSpacing(4);
    status->addWidget(pnlCopy);
    auto *rows = new QVBoxLayout;
    rows->setSpacing(0);
    auto *top = new QHBoxLayout;
    top->setSpacing(6);
    top->addWidget(pnlCh);
    top->addWidget(pnlFrame);
    top->addStretch(1);
    top->addWidget(pnlState);
    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(2);
    bottom->addWidget(btnLive);
    bottom->addWidget(btnPlay);
    bottom->addSpacing(4);
    bottom->addWidget(pnlLive, 1);
    bottom->addWidget(pnlPlay, 1);
    rows->addLayout(top);
    rows->addLayout(bottom);
    status->addLayout(rows, 1);

    tmrFrame = new QTimer(this);
    tmrFrame->setObjectName("tmrFrame");
    tmrFrame->setInterval(2000);
    connect(tmrFrame, &QTimer::timeout, this, [this] { tmrFrameTimer(); });

    popDvrWin = new QMenu(this);
    popDvrWin->setObjectName("popDvrWin");
    cmdConnect = popDvrWin->addAction("&Connect", this, [this] { cmdConnectClick(); });
    cmdDisconnect = popDvrWin->addAction("&Disconnect", this, [this] { cmdDisconnectClick(); });
    popDvrWin->addSeparator();
    cmdDvrControl = popDvrWin->addAction("&Controller", this, [] {
        if (DvrWinHost *host = GetDvrWinHost())
            host->ShowKeyPad();
    });
    cmdPanTilt = popDvrWin->addAction("&Pan/Tilt", this, [] {
        if (DvrWinHost *host = GetDvrWinHost())
            host->ShowPanTilt();
    });
    popDvrWin->addSeparator();
    QMenu *search = popDvrWin->addMenu("&Search");
    cmdSearch = search->menuAction();
    cmdTimeSearch = search->addAction("&Time Search", this, [this] { OpenSearchDialog(1); });
    cmdEventSearch = search->addAction("&Event Search", this, [this] { OpenSearchDialog(2); });
    cmdBlockSearch = search->addAction("&Block Search", this, [this] { OpenSearchDialog(3); });
    cmdLogSearch = search->addAction("&Log Search", this, [this] { OpenSearchDialog(4); });
    popDvrWin->addSeparator();
    cmdDvrSetup = popDvrWin->addAction("Dvr S&etup", this, [this] { cmdDvrSetupClick(); });
    cmdDvrStatus = popDvrWin->addAction("Dvr S&tatus", this, [this] { OpenStatusDialog(); });
    popDvrWin->addSeparator();
    cmdClose = popDvrWin->addAction("&Close", this, [this] { cmdCloseClick(); });
}

// ---- State read by the main window

bool TfrmDvrWin::IsLoggedIn() const { return core_->IsLoggedIn(); }
int TfrmDvrWin::GetMode() const { return core_->GetMode(); }
bool TfrmDvrWin::IsMasterLogin() const { return core_->IsMasterLogin(); }
bool TfrmDvrWin::IsRecording() const { return core_->IsRecording(); }
bool TfrmDvrWin::IsCopying() const { return core_->IsCopying(); }
bool TfrmDvrWin::IsAudioSend() const { return core_->IsAudioSend(); }
bool TfrmDvrWin::IsAudioReceive() const { return core_->IsAudioReceive(); }
bool TfrmDvrWin::IsPlaying() const { return core_->GetPlayStatus().state != 0; }
uint16_t TfrmDvrWin::GetFastStep() const { return core_->GetPlayStatus().fast; }
uint16_t TfrmDvrWin::GetSlowStep() const { return core_->GetPlayStatus().slow; }
int TfrmDvrWin::GetDirection() const { return core_->GetPlayStatus().direction; }
bool TfrmDvrWin::IsLocal() const { return connection_ && connection_->IsLocal(); }

void TfrmDvrWin::SendCommand(uint8_t cmd, const uint8_t *data, int length) { core_->SendCommand(cmd, data, length); }

void TfrmDvrWin::SendPlayControl(int run, int fast, int slow, int direction)
{
    core_->SendPlayControl(uint8_t(run), uint8_t(fast), uint8_t(slow), uint8_t(direction));
}

void TfrmDvrWin::SetAudioSend(bool on) { core_->SetAudioSend(on); }

void TfrmDvrWin::SendAudioBlock(const uint8_t *block, size_t length)
{
    if (block && length == size_t(kAudioBlockSize) && core_->IsAudioSend())
        core_->SendCommand(DvrCmdAudio, block, int(length));
}
void TfrmDvrWin::SetAudioReceive(bool on) { core_->SetAudioReceive(on); }

bool TfrmDvrWin::StartRecord(const QString &path)
{
    const bool ok = core_->StartRecord(path.toStdString());
    SetRecordIndicator();
    return ok;
}

void TfrmDvrWin::StopRecord()
{
    core_->StopRecord();
    SetRecordIndicator();
}

void TfrmDvrWin::EndNetCopy() { core_->EndNetCopy(); }

// ---- Messages

void TfrmDvrWin::ShowMessageText(const QString &text)
{
    pnlMsg->setText(text);
    pnlMsg->adjustSize();
    CentreMessagePanel();
    ShowMessagePanel(true);
}

void TfrmDvrWin::ShowMessagePanel(bool visible)
{
    pnlMsg->raise();
    pnlMsg->setVisible(visible);
}

void TfrmDvrWin::btnMsgOkClick() { pnlMsg->hide(); }

void TfrmDvrWin::SetStatusText(const QString &text) { pnlFrame->setText(text); }

// ---- Connection

bool TfrmDvrWin::CreateConnection(DvrListRecord *record)
{
    if (!record)
        return false;
    std::unique_ptr<CDvrBase> link;
    switch (record->Kind()) {
    case DvrKind::Network: link = std::make_unique<CDvrTcp>(viewBridge_.get()); break;
    case DvrKind::Rs232c:
    case DvrKind::Rs485: link = std::make_unique<CDvrSerial>(viewBridge_.get()); break;
    case DvrKind::RecordedFile: link = std::make_unique<CDvrFile>(viewBridge_.get()); break;
    case DvrKind::RecorderDisk: link = std::make_unique<CDvrHdd>(viewBridge_.get()); break;
    default: break;
    }
    if (auto *local = dynamic_cast<CDvrLocal *>(link.get()))
        local->SetHooks({[this](int count, uint8_t video) {
                             core_->SetVideoFormat(count, video);
                             SetVideoFormat(count, video);
                         },
                         [this] { return IsPlayBufferHigh(); },
                         [this](const std::vector<std::string> &lines) { return SelectDvrHdd(parentWidget(), lines); },
                         [this] { return playPath_.PauseLeft(); }});
    QString caption = QString::fromLatin1(FieldText(record->name).data(), qsizetype(FieldText(record->name).size()));
    if (record->Kind() == DvrKind::Network)
        caption += "(" + QString::fromStdString(IpToString(record->ip.data())) + ")";
    SetCaptionText(caption);
    record_ = *record;
    // The link keeps the view's own copy: an entry deleted from the address book is never used.
    if (!link || !link->Init(&record_))
        return false;
    listRecord_ = record;
    SetConnection(std::move(link));
    if (frame_)
        frame_->setWindowTitle(caption);
    return true;
}

void TfrmDvrWin::CloseLink()
{
    if (!connection_)
        return;
    // The upgrade's worker sends through the link from its own thread: it stops before the link
    // says goodbye and frees its port.
    if (UpgradeDialog *upgrade = core_->Dialogs().upgrade)
        upgrade->StopSending();
    connection_->Close();
}

void TfrmDvrWin::SetConnection(std::unique_ptr<CDvrBase> connection)
{
    if (connection_) {
        CloseLink();
        core_->SetConnection(nullptr);
        playPath_.SetStopFlag(nullptr);
    }
    connection_ = std::move(connection);
    if (connection_) {
        core_->SetConnection(connection_.get());
        playPath_.SetStopFlag(connection_->StopFlag());
    }
}

bool TfrmDvrWin::OpenDvr(DvrListRecord *record)
{
    if (!CreateConnection(record)) {
        const int kind = record ? int(record->kind) : -1;
        const char *text = kind == 0 ? "Cannot Open Socket" : kind == 1 || kind == 2 ? "Cannot Open Serial Port"
                           : kind == 3 ? "Cannot Open File" : kind == 4 ? "Cannot Find DVR Hdd" : "";
        CloseConnection();
        QMessageBox::warning(ModalOwner(parentWidget()), QString(), text);
        return false;
    }
    if (DvrWinHost *host = GetDvrWinHost(); host && !host->AddDvrWin(this)) {
        CloseConnection();
        QMessageBox::information(ModalOwner(parentWidget()), QString(), QString());
        return false;
    }
    StartConnection();
    return true;
}

bool TfrmDvrWin::StartConnection()
{
    if (!connection_)
        return false;
    const LangTable &lang = GetLangTable();
    QString text = QString::fromStdString(lang.Line(0));
    if (record_.Kind() == DvrKind::Network)
        text += " " + QString::fromStdString(IpToString(record_.ip.data())) + " : " + QString::number(record_.port) + " ";
    else
        text += " Com " + QString::number(record_.serialPort) + " ";
    text += QString::fromStdString(lang.Line(1));
    ShowMessageText(text);
    return connection_->Connect();
}

void TfrmDvrWin::OnConnected()
{
    BlankAllChannels();
    connected_ = true;
    playPath_.SetConnected(true);
    ShowMessageText("Connected");
    ShowMessagePanel(false);
    if (!IsLocal()) {
        ShowMessageText("Send Login");
        repaint();
        QThread::msleep(500);
    }
    core_->SendLogin(FieldText(record_.user), FieldText(record_.password));
}

void TfrmDvrWin::OnDisconnected()
{
    StopFrameTimer();
    connected_ = false;
    playPath_.SetConnected(false);
    core_->OnDisconnected();
    ShowMessageText("Disconnected from DVR");
    SetSelected(selected_);
    Activate();
}

void TfrmDvrWin::OnLoggedIn(const LoginAnswer &answer)
{
    tmrFrame->start();
    SetSelected(selected_);
    ShowMessagePanel(false);
    SetVideoFormat(answer.channelCount, answer.video);
    std::copy(std::begin(answer.mac), std::end(answer.mac), record_.mac.begin());
    // The address book's entry is written only while it is still listed.
    if (record_.Kind() == DvrKind::Network && listRecord_)
        if (DvrWinHost *host = GetDvrWinHost())
            host->UpdateListedMac(listRecord_, answer.mac);
    const bool remote = record_.kind <= 2;
    SetMode(remote ? 0 : 1);
    btnLive->setEnabled(remote);
    if (DvrWinHost *host = GetDvrWinHost())
        host->UpdateToolbar(this);
}

void TfrmDvrWin::SetMode(uint8_t mode)
{
    if (mode == 0) {
        DebugPrint("Live");
        btnLive->setChecked(true);
        pnlPlay->hide();
        pnlLive->show();
    } else {
        DebugPrint("Play");
        btnPlay->setChecked(true);
        pnlLive->hide();
        pnlPlay->show();
    }
    if (mode == core_->GetMode())
        return;
    core_->SetModeState(mode);
    playPath_.SetMode(mode);
    playPath_.StopScheduler();
    FlushForNewPlayback();
    for (int i = 0; i < layouts_.ChannelCount(); ++i)
        panes_[size_t(i)]->ShowFrame(nullptr, nullptr);
    const uint8_t payload[2] = {mode, 0};
    core_->SendCommand(DvrCmdMode, payload, 2);
    if (!IsLocal())
        core_->SendPlayControl(1, 0, 0, 31);
    if (DvrWinHost *host = GetDvrWinHost())
        host->UpdateToolbar(this);
}

void TfrmDvrWin::btnLiveClick(bool live) { SetMode(live ? 0 : 1); }

QString TfrmDvrWin::DiskFreeText(char drive, uint64_t megabytes)
{
    QString text = QString::asprintf("%c: ", drive);
    if (megabytes < 1024)
        return text + QString::number(megabytes) + " MBytes free";
    // One digit after the point: tenths of a gigabyte, truncated.
    return text + QString::number(megabytes / 1024) + "." + QString::number((megabytes % 1024) * 10 / 1024) +
           " GBytes free";
}

void TfrmDvrWin::tmrFrameTimer()
{
    pnlFrame->setText(QString::number(playPath_.TakeFrameCount() / 2) + " fps");
    const QStorageInfo storage(QDir::current());
    const QString root = storage.rootPath();
    const char drive = root.isEmpty() ? '/' : root.at(0).toLatin1();
    lblDiskFree->setText(DiskFreeText(drive, uint64_t(std::max<qint64>(0, storage.bytesAvailable())) / 1024 / 1024));
    core_->SendCommand(DvrCmdAlive, nullptr, 0);
}

void TfrmDvrWin::FlushForNewPlayback()
{
    playPath_.RequestFlush(1);
    captionKind_ = 0; // a new playback may start anywhere
}

void TfrmDvrWin::StopFrameTimer()
{
    tmrFrame->stop();
    playPath_.TakeFrameCount();
    pnlFrame->setText("0 fps");
}

void TfrmDvrWin::ShowPopupMenu(const QPoint &screenPos)
{
    const DvrKind kind = record_.Kind();
    if (kind == DvrKind::RecorderDisk || kind == DvrKind::RecordedFile) {
        for (QAction *a : {cmdConnect, cmdDisconnect, cmdDvrControl, cmdPanTilt, cmdDvrSetup, cmdDvrStatus})
            a->setEnabled(false);
        if (kind == DvrKind::RecordedFile)
            for (QAction *a : {cmdEventSearch, cmdBlockSearch, cmdLogSearch})
                a->setEnabled(false);
    } else {
        cmdDvrSetup->setEnabled(IsMasterLogin());
    }
    popDvrWin->popup(screenPos);
}

void TfrmDvrWin::cmdConnectClick()
{
    if (IsLoggedIn() || !connection_)
        return;
    StopFrameTimer();
    CloseLink();
    core_->OnDisconnected();
    if (connection_->Init(&record_))
        connection_->Connect();
}

void TfrmDvrWin::cmdDisconnectClick()
{
    StopFrameTimer();
    CloseLink();
    core_->OnDisconnected();
}

void TfrmDvrWin::cmdCloseClick()
{
    // Posted, so the view is never freed inside one of its own handlers.
    QMetaObject::invokeMethod(this, [this] {
        if (frame_ && parentWidget() == frame_)
            frame_->close();
        else if (DvrWinHost *host = GetDvrWinHost())
            host->RemoveDvrWin(this);
    }, Qt::QueuedConnection);
}

void TfrmDvrWin::btnRelayClick()
{
    const uint8_t payload[2] = {uint8_t(btnRelay->isChecked() ? 11 : 12), 0};
    core_->SendCommand(DvrCmdControl, payload, 2);
}

void TfrmDvrWin::TrackBarChange() { core_->SendPlayPos(trackBarTag_, uint32_t(TrackBar->value())); }

void TfrmDvrWin::Activate()
{
    if (DvrWinHost *host = GetDvrWinHost())
        host->SetCurrentDvrWin(this);
}

void TfrmDvrWin::ApplyDisplayOptions()
{
    pnlFrame->setVisible(GetViewerOptions().showFrameRate != 0);
    for (int i = 0; i < layouts_.ChannelCount(); ++i)
        panes_[size_t(i)]->UpdateOverlay();
}

void TfrmDvrWin::CloseConnection()
{
    // A closed view is never reused: no dialog of it opens from here on.
    closed_ = true;
    StopFrameTimer();
    playPath_.StopScheduler();
    StopRecord();
    EndNetCopy();
    if (connection_) {
        CloseLink();
        core_->SetConnection(nullptr);
        playPath_.SetStopFlag(nullptr);
        connection_.reset();
    }
    connected_ = false;
    playPath_.SetConnected(false);
    pendingRecords_.clear();
    tmrPending->stop();
    for (TfrmDvrCh *pane : panes_)
        pane->hide();
}

// ---- Dialog launchers

namespace {

// Runs a dialog of the view modally with its slot set. False when the view went away meanwhile
// (the dialog, its child, went with it).
template <class Dialog, class Slot>
bool RunRegistered(QPointer<TfrmDvrWin> &self, Dialog *dialog, Slot *&slot, int *result)
{
    slot = dialog;
    *result = self->RunModal(dialog);
    if (!self)
        return false;
    slot = nullptr;
    return true;
}

} // namespace

void TfrmDvrWin::OpenSearchDialog(int kind)
{
    if (kind < 1 || kind > 5)
        return;
    if (GetMode() == 1 && kind <= 3)
        SendPlayControl(0, 0, 0, 0);
    core_->SendCommand(DvrCmdDiskMap, nullptr, 0);
    QPointer<TfrmDvrWin> self(this);
    DvrDialogRefs &refs = core_->Dialogs();
    int result = 0;
    switch (kind) {
    case 1: {
        auto *dialog = new TfrmTimeSearch(this, GetKind(), &Services());
        if (!RunRegistered(self, dialog, refs.timeSearch, &result))
            return;
        if (result == 1) {
            SetMode(1);
            const bool file = GetKind() == DvrKind::RecordedFile;
            const auto path = file ? dialog->GetSelectedFile() : std::nullopt;
            // A file view without a chosen file has nothing to play.
            if (!file || path) {
                if (path)
                    core_->SendPlayFile(*path);
                uint8_t time[kRecorderTimeSize];
                dialog->GetSearchTime(time);
                core_->SendPlayTime(dialog->GetDiskCode(), uint8_t(dialog->GetChannel()), ReadRecorderTime(time));
                FlushForNewPlayback();
            }
        } else if (GetKind() == DvrKind::RecordedFile && GetChannelCount() == 0) {
            cmdCloseClick();
        }
        delete dialog;
        break;
    }
    case 2: {
        auto *dialog = new TfrmEventSearch(this, &Services());
        if (!RunRegistered(self, dialog, refs.eventSearch, &result))
            return;
        uint8_t entry[kEventEntrySize];
        if (result == 1) {
            SetMode(1);
            if (dialog->GetSelectedEntry(entry)) {
                core_->SendPlayEvent(entry);
                FlushForNewPlayback();
            }
        }
        delete dialog;
        break;
    }
    case 3: {
        auto *dialog = new TfrmBlockSearch(this, &Services());
        if (!RunRegistered(self, dialog, refs.blockSearch, &result))
            return;
        uint8_t entry[kBlockEntrySize];
        if (result == 1) {
            SetMode(1);
            if (dialog->GetSelectedEntry(entry)) {
                core_->SendPlayBlock(entry);
                FlushForNewPlayback();
            }
        }
        delete dialog;
        break;
    }
    case 4: {
        auto *dialog = new TfrmLogSearch(this, &Services());
        if (!RunRegistered(self, dialog, refs.logSearch, &result))
            return;
        delete dialog;
        break;
    }
    case 5: {
        auto *dialog = new TfrmCopy(this, &Services());
        if (!RunRegistered(self, dialog, refs.copy, &result))
            return;
        if (result == 1) {
            double start = 0, end = 0;
            dialog->GetCopySpan(&start, &end);
            core_->SetCopySpan(start, end);
        }
        delete dialog;
        break;
    }
    default:
        break;
    }
}

QString TfrmDvrWin::TitleFor(const QString &title) const
{
    // Two recorders' windows open side by side are told apart by the recorder's name.
    return caption_.isEmpty() ? title : title + QStringLiteral(" - ") + caption_;
}

void TfrmDvrWin::OpenStatusDialog()
{
    QPointer<TfrmDvrWin> self(this);
    auto *dialog = new TfrmDvrStatus(this, &Services());
    dialog->setWindowTitle(TitleFor(dialog->windowTitle()));
    core_->Dialogs().status = dialog;
    core_->SendCommand(DvrCmdStatus, nullptr, 0);
    int result = 0;
    if (RunRegistered(self, dialog, core_->Dialogs().status, &result))
        delete dialog;
}

void TfrmDvrWin::OpenSetupDialog()
{
    // One editor for the whole program: never a second opening over a running one.
    if (!frmDvrEnv || frmDvrEnv->isVisible())
        return;
    QPointer<TfrmDvrWin> self(this);
    TfrmDvrEnv *dialog = frmDvrEnv;
    dialog->setWindowTitle(TitleFor(QStringLiteral("Dvr Env")));
    core_->Dialogs().setup = dialog;
    dialog->SetDvr(&Services());
    core_->SendCommand(DvrCmdEnvGet, nullptr, 0);
    core_->SendCommand(DvrCmdTitleGet, nullptr, 0);
    core_->SendCommand(DvrCmdDiskMap, nullptr, 0);
    int result = 0;
    // The form outlives the view: it must not keep a view that is gone.
    if (!RunRegistered(self, dialog, core_->Dialogs().setup, &result) && frmDvrEnv)
        frmDvrEnv->SetDvr(nullptr);
}

void TfrmDvrWin::OpenUpgradeDialog()
{
    QPointer<TfrmDvrWin> self(this);
    auto *dialog = new TfrmDvrUpgrade(this, &Services());
    dialog->setWindowTitle(TitleFor(dialog->windowTitle()));
    dialog->SetModel(core_->GetModel());
    // Called from set-up, it opens above set-up, not over the view's window lifted above it.
    dialog->SetCaller(PlaceAboveModal(dialog));
    int result = 0;
    if (RunRegistered(self, dialog, core_->Dialogs().upgrade, &result))
        delete dialog;
}

QImage *TfrmDvrWin::CopyCurrentPicture(QImage *picture)
{
    const int channel = GetCurrentChannel();
    const int index = channel >= 1 && channel <= kMaxChannels ? channel - 1 : 0;
    TfrmDvrCh *pane = panes_[size_t(index)];
    return pane ? pane->CopyPicture(picture) : nullptr;
}

void TfrmDvrWin::SendRemoteKey(uint32_t code)
{
    uint8_t payload[4];
    PutLe32(payload, code);
    core_->SendCommand(DvrCmdRemoteKey, payload, 4);
}

void TfrmDvrWin::cmdDvrSetupClick()
{
    QPointer<TfrmDvrWin> self(this);
    QPointer<TfrmDvrPass> dialog = new TfrmDvrPass(parentWidget());
    const int result = RunModal(dialog);
    if (!dialog || !self)
        return;
    const QByteArray typed = dialog->GetPasswordBytes();
    delete dialog;
    if (result != 1)
        return;
    uint8_t password[8] = {};
    std::memcpy(password, typed.constData(), size_t(typed.size()));
    core_->SendCommand(DvrCmdEnvPassword, password, 8);
    ShowMessageText("Checking Password...");
}

bool OpenRecorderView(DvrListRecord *entry)
{
    auto *view = new TfrmDvrWin;
    if (view->OpenDvr(entry))
        return true;
    view->deleteLater();
    return false;
}

} // namespace strandel
