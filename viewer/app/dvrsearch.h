#pragma once
// LAN discovery: asks every host of the PC's /24 network for its name and lists the recorders that
// answer; chosen rows go into the address book.
#include "viewer/app/dvrdiscovery.h"
#include "viewer/base/dvrlistrecord.h"

#include <QSet>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

class QByteArray;
class QHostAddress;
class QLabel;
class QTimer;
class QPushButton;
class QTreeWidget;
class QUdpSocket;

namespace strandel {

class TfrmDvrList;

class TfrmDvrSearch : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDvrSearch(QWidget *owner = nullptr);

    void SetDvrList(TfrmDvrList *list) { dvrList_ = list; }
    // The network and port scanned; by default the first non-loopback IPv4 interface's /24 and 12323.
    void SetScanNetwork(std::optional<std::array<uint8_t, 3>> net) { scanNetwork_ = net; }
    void SetDiscoveryPort(uint16_t port) { discoveryPort_ = port; }
    // How many questions the last scan sent.
    int LastScanCount() const { return lastScanCount_; }

    // A search asks at most 255 hosts, so no more rows than that.
    static constexpr size_t kMaxResults = 255;

    int ResultCount() const { return int(results_.size()); }
    const DvrListRecord &Result(int row) const { return results_[size_t(row)]; }

    void btnSearchClick();
    // One answer: a row for a sender not yet listed, when the last search asked it. Answers
    // count until the next search, so a slow recorder is listed late rather than lost.
    void udpDataReceived(const QByteArray &data, const QHostAddress &sender, quint16 senderPort);
    void btnAddClick();

    QTreeWidget *lstSearch;
    QPushButton *btnSearch;
    QPushButton *btnAdd;
    QPushButton *btnCancel;
    QLabel *lblState; // how the search went
    // How long a search shows "Searching..." before it says how it went (later answers still count).
    void SetAnswerWait(int ms);

private:
    void SearchEnded();
    void ReadDatagrams();
    void ClearResults();

    QUdpSocket *udp_;
    TfrmDvrList *dvrList_ = nullptr;
    std::optional<std::array<uint8_t, 3>> scanNetwork_;
    std::optional<std::array<uint8_t, 3>> askedNetwork_; // hosts .0 - .254 of it were asked
    uint16_t discoveryPort_ = kDiscoveryPort;
    QTimer *tmrAnswers_;
    int lastScanCount_ = 0;
    std::vector<DvrListRecord> results_; // row order
    QSet<quint32> senders_;              // the addresses of the rows
};

} // namespace strandel
