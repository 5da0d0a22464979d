#include "dvrwin.h"

#include <QCloseEvent>
#include <QResizeEvent>
#include <QLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <thread>
#include <QVBoxLayout>

#include "platform/debuglog.h"
#include "viewer/admin/shells.h"
#include "viewer/dvrch.h"
#include "viewer/forms.h"
#include "viewer/mainform.h"

namespace strandel {

TfrmDvrFrame::TfrmDvrFrame(TfrmDvrWin *view) : QWidget(nullptr, Qt::Window), view_(view)
{
    setObjectName("frmDvrFrame");
    setWindowTitle("frmDvrFrame");
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

void TfrmDvrFrame::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    if (view_ && view_->parentWidget() == this)
        view_->setGeometry(rect());
    if (!view_ || fitting_ || !e->oldSize().isValid())
        return;
    // The platform does not tell which edge is dragged: a change of one side counts as that side.
    const bool wide = e->size().width() != e->oldSize().width(), high = e->size().height() != e->oldSize().height();
    const int edge = wide && !high ? 2 : high && !wide ? 6 : 8;
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

} // namespace

TfrmDvrWin::TfrmDvrWin(QWidget *owner)
    : QWidget(owner), playPath_(pathBridge_, SystemClock()), decoder_(std::make_unique<RecordingDecoderHost>())
{
    setObjectName("frmDvrWin");
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    pnlDvr = new QFrame(this);
    pnlDvr->setObjectName("pnlDvr");
    pnlStatus = new QFrame(this);
    pnlStatus->setObjectName("pnlStatus");
    pnlStatus->setFixedHeight(20);
    pnlStatus->setAutoFillBackground(true);
    pnlPlay = new QFrame(pnlStatus);
    pnlPlay->setObjectName("pnlPlay");
    btnLive = new QPushButton("Live", pnlStatus);
    btnLive->setObjectName("btnLive");
    btnPlay = new QPushButton("Play", pnlStatus);
    btnPlay->setObjectName("btnPlay");
    auto *status = new QHBoxLayout(pnlStatus);
    status->setContentsMargins(0, 0, 0, 0);
    status->addWidget(btnLive);
    status->addWidget(btnPlay);
    status->addWidget(pnlPlay, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pnlDvr, 1);
    layout->addWidget(pnlStatus);
    SetRecordIndicator();

    pnlDvr->installEventFilter(this);
    for (int i = 0; i < kMaxChannels; ++i) {
        panes_[size_t(i)] = new TfrmDvrCh(this, i + 1);
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
    bitmapA_ = QImage(704, 480, QImage::Format_RGB16);
    bitmapB_ = QImage(704, 480, QImage::Format_RGB16);
}

TfrmDvrWin::~TfrmDvrWin()
{
    if (frame_) {
        if (parentWidget() == frame_)
            setParent(nullptr);
        delete frame_;
    }
}

QSize TfrmDvrWin::VideoMargins()
{
    // The status bar is the only thing beside the video area.
    return QSize(0, pnlStatus->isHidden() ? 0 : pnlStatus->height());
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
    for (int i = 0; i < count; ++i)
        ledColours_[size_t(i)] = 0x008000;
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
        ledColours_[size_t(i)] = (mask & (1u << i)) ? 0x008000 : 0x808080;
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

QueueResult TfrmDvrWin::QueueMpegFrame(const FrameRecordHeader &header, const std::vector<uint8_t> &part0)
{
    return playPath_.QueueMpegFrame(header, part0);
}

bool TfrmDvrWin::DecodeMpeg(int ring, const FrameRecordHeader &header, const uint8_t *frame, size_t size)
{
    if (size < kPesHeaderBytes || !IsMpegVideoStart(frame, size) || ring < 0 || ring >= kMaxChannels)
        return false;
    const int width = header.sizeCode >= 2 ? 352 : 704;
    const int height = header.sizeCode == 0 ? (ntsc_ ? 480 : 576) : (ntsc_ ? 240 : 288);
    if (bitmapA_.width() != width || bitmapA_.height() != height)
        bitmapA_ = QImage(width, height, QImage::Format_RGB16);
    const bool fixed = (header.kind == 0 && playPath_.Model() == 1 && layouts_.ChannelCount() == 16) || header.directShow != 0;
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

void TfrmDvrWin::UpdateCaption(const FrameRecordHeader &header)
{
    const RecorderTime &t = header.time;
    const QString text = QString::asprintf("%s - %02d%02d/%02d/%02d %02d:%02d:%02d", caption_.toLocal8Bit().constData(),
                                           int(int8_t(t.century)), int(int8_t(t.year)), int(int8_t(t.month)),
                                           int(int8_t(t.day)), int(int8_t(t.hour)), int(int8_t(t.minute)),
                                           int(int8_t(t.second)));
    if (frame_ && parentWidget() == frame_)
        frame_->setWindowTitle(text);
    else if (frmMain)
        frmMain->SetDvrCaption(this, text);
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

void TfrmDvrWin::PathBridge::SetLed(int index, bool event) { view_.ledColours_[size_t(index)] = event ? 0x0000FF : 0x008000; }

void TfrmDvrWin::PathBridge::SetSchedulerRunning(bool on)
{
    if (on && !view_.tmrMpeg->isActive())
        view_.tmrMpeg->start();
    else if (!on)
        view_.tmrMpeg->stop();
}

int TfrmDvrWin::PathBridge::RegisteredViews() const { return frmMain ? frmMain->GetDvrWinCount() : 1; }

bool TfrmDvrWin::IsAutoSequence() const { return tmrAuto->isActive(); }

void TfrmDvrWin::SetAutoSequence(bool on, int seconds)
{
    tmrAuto->stop();
    if (on && seconds > 0) {
        tmrAuto->setInterval(seconds * 1000);
        tmrAuto->start();
    }
}

void TfrmDvrWin::LayoutCells(int n, const uint8_t *channels)
{
    const int count = layouts_.ChannelCount();
    if (count == 0 || n == 0 || !channels)
        return;
    for (int i = 0; i < count; ++i)
        panes_[size_t(i)]->hide();
    const int w = pnlDvr->contentsRect().width(), h = pnlDvr->contentsRect().height();
    n = std::min(n, kMaxChannels);
    for (int k = 0; k < n; ++k) {
        const int c = channels[k];
        if (c < 1 || c > kMaxChannels)
            continue;
        const PaneRect r = CellGeometry(n, k, w, h);
        panes_[size_t(c - 1)]->setGeometry(r.left, r.top, std::max(0, r.width), std::max(0, r.height));
    }
    for (int k = 0; k < n; ++k) {
        const int c = channels[k];
        if (c >= 1 && c <= kMaxChannels)
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
    if (frmMain)
        frmMain->UpdateToolbar(&view_);
}

void TfrmDvrWin::SetSelected(bool selected) { selected_ = selected; }

void TfrmDvrWin::SetFrameMode(bool frame, QWidget *mainWindow)
{
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
}

} // namespace strandel
