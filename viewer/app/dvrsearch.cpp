#include "viewer/app/dvrsearch.h"

#include <QLabel>
#include <QTimer>

#include "platform/debuglog.h"
#include "viewer/app/dvrlist.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QHostInfo>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTreeWidget>
#include <QUdpSocket>
#include <QVBoxLayout>

#include <memory>

namespace strandel {

TfrmDvrSearch::TfrmDvrSearch(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName("frmDvrSearch");
    setWindowTitle("DVR Search");

    auto *root = new QVBoxLayout(this);
    lstSearch = new QTreeWidget(this);
    lstSearch->setObjectName("lstSearch");
    lstSearch->setColumnCount(5);
    lstSearch->setHeaderLabels({"", "No", "Dvr Name", "IP Address", "H/W Address"});
    lstSearch->header()->setDefaultAlignment(Qt::AlignCenter);
    const int widths[5] = {0, 30, 120, 120, 120};
    for (int i = 0; i < 5; ++i)
        lstSearch->setColumnWidth(i, widths[i]);
    lstSearch->setColumnHidden(0, true);
    lstSearch->setRootIsDecorated(false);
    lstSearch->setItemsExpandable(false);
    lstSearch->setUniformRowHeights(true);
    lstSearch->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstSearch->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstSearch->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstSearch->setMinimumSize(420, 200);
    root->addWidget(lstSearch);

    lblState = new QLabel(this);
    lblState->setObjectName("lblState");
    root->addWidget(lblState);
    tmrAnswers_ = new QTimer(this);
    tmrAnswers_->setSingleShot(true);
    tmrAnswers_->setInterval(3000);
    connect(tmrAnswers_, &QTimer::timeout, this, &TfrmDvrSearch::SearchEnded);

    auto *buttons = new QHBoxLayout;
    auto button = [&](const char *caption, const char *name) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    btnSearch = button("Search", "btnSearch");
    btnAdd = button("Add to List", "btnAdd");
    btnCancel = button("Cancel", "btnCancel");
    root->addLayout(buttons);

    udp_ = new QUdpSocket(this);
    connect(udp_, &QUdpSocket::readyRead, this, &TfrmDvrSearch::ReadDatagrams);
    connect(btnSearch, &QPushButton::clicked, this, &TfrmDvrSearch::btnSearchClick);
    connect(btnAdd, &QPushButton::clicked, this, &TfrmDvrSearch::btnAddClick);
    connect(btnCancel, &QPushButton::clicked, this, &QWidget::close);
}

void TfrmDvrSearch::ClearResults()
{
    lstSearch->clear();
    results_.clear();
    senders_.clear();
    askedNetwork_.reset();
}

void TfrmDvrSearch::btnSearchClick()
{
    ClearResults();
    tmrAnswers_->stop();
    lastScanCount_ = 0;
    DebugPrint("%s\n", QHostInfo::localHostName().toLocal8Bit().constData());
    std::array<uint8_t, 3> net{};
    if (scanNetwork_) {
        net = *scanNetwork_;
    } else if (!LocalScanNetwork(net.data())) {
        DebugPrint("No network to search\n");
        lblState->setText("No network to search");
        return;
    }
    if (udp_->state() != QAbstractSocket::BoundState && !udp_->bind(QHostAddress::AnyIPv4, 0)) {
        DebugPrint("Cannot open the search socket: %s\n", udp_->errorString().toLocal8Bit().constData());
        lblState->setText("Cannot search: " + udp_->errorString());
        return;
    }
    lastScanCount_ = SendDiscoveryScan(*udp_, net.data(), discoveryPort_);
    askedNetwork_ = net;
    lblState->setText(QString::asprintf("Searching %u.%u.%u.1 - 254...", net[0], net[1], net[2]));
    tmrAnswers_->start();
}

void TfrmDvrSearch::SetAnswerWait(int ms) { tmrAnswers_->setInterval(ms); }

void TfrmDvrSearch::SearchEnded()
{
    if (results_.empty())
        lblState->setText("No recorder answered the search");
    else
        lblState->setText(QString::number(results_.size()) + (results_.size() == 1 ? " recorder found" : " recorders found"));
}

void TfrmDvrSearch::ReadDatagrams()
{
    while (udp_->hasPendingDatagrams()) {
        const QNetworkDatagram d = udp_->receiveDatagram();
        udpDataReceived(d.data(), d.senderAddress(), quint16(d.senderPort()));
    }
}

void TfrmDvrSearch::udpDataReceived(const QByteArray &data, const QHostAddress &sender, quint16)
{
    // Only hosts the last search asked answer it; one row per recorder, and never more rows
    // than hosts a search asks.
    bool isIpv4 = false;
    const quint32 a = sender.toIPv4Address(&isIpv4);
    if (!isIpv4 || !askedNetwork_ || senders_.contains(a) || results_.size() >= kMaxResults)
        return;
    const uint8_t ip[4] = {uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
    const auto &net = *askedNetwork_;
    if (ip[0] != net[0] || ip[1] != net[1] || ip[2] != net[2] || ip[3] == 255)
        return;
    DvrListRecord r;
    if (!DiscoveryAnswerToRecord(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()), ip, &r))
        return;
    results_.push_back(r);
    senders_.insert(a);
    const QString address = QHostAddress(a).toString();
    QStringList mac;
    for (uint8_t b : r.mac)
        mac << QStringLiteral("%1").arg(b, 2, 16, QChar(u'0')).toUpper();
    auto *item = new QTreeWidgetItem(lstSearch, {QString(), QString::number(results_.size()), address, address,
                                                 mac.join(u':')});
    for (int c = 1; c < 5; ++c)
        item->setTextAlignment(c, Qt::AlignCenter);
    if (!tmrAnswers_->isActive())
        SearchEnded(); // a late answer: the count says so
}

void TfrmDvrSearch::btnAddClick()
{
    if (!dvrList_)
        return;
    bool added = false;
    for (int row = 0; row < lstSearch->topLevelItemCount(); ++row) {
        if (!lstSearch->topLevelItem(row)->isSelected())
            continue;
        dvrList_->AddRecord(std::make_unique<DvrListRecord>(results_[size_t(row)]));
        added = true;
    }
    if (added)
        QMessageBox::information(this, windowTitle(), QStringLiteral("DVR List Added.\n"));
}

} // namespace strandel
