#include "dvrwin.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace strandel {

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
}

} // namespace strandel
