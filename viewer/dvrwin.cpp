#include "dvrwin.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

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
