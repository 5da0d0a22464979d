#include "dvrwin.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
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
    resize(720 + 8, 480 + 28);
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
}

TfrmDvrWin::TfrmDvrWin(QWidget *owner) : QWidget(owner)
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
}

TfrmDvrWin::~TfrmDvrWin()
{
    if (frame_) {
        if (parentWidget() == frame_)
            setParent(nullptr);
        delete frame_;
    }
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
    DebugPrint("==>> NtscPal, Ch Num : %d, %d\n", standard, count);
    for (int i = 0; i < count; ++i)
        panes_[size_t(i)]->SetVideoStandard(standard);
    SetChannelMask(0xFFFF);
    SetSplit(19);
}

void TfrmDvrWin::SetNtsc(bool ntsc) { ntsc_ = ntsc; }

void TfrmDvrWin::SetChannelMask(uint16_t mask) { layouts_.SetChannelMask(mask); }

void TfrmDvrWin::SelectChannel(int channel) { layouts_.SelectChannel(channel); }

void TfrmDvrWin::SetSplit(int split) { layouts_.SetSplit(split); }

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
