#include "bookfixture.h"

#include "viewer/app/dvrdiscovery.h"
#include "viewer/app/dvrsearch.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUdpSocket>

#include <cstring>
#include <map>
#include <memory>
#include <set>

using namespace strandel;

namespace {

QByteArray Answer(int size)
{
    QByteArray a(size, '\x55');
    const char mac[6] = {'\x00', '\x1a', '\x2b', '\x3c', '\x4d', '\x5e'};
    std::memcpy(a.data(), mac, std::min(size, 6));
    return a;
}

// Listens on every loopback address of one port; the host 127.0.0.5 answers each question with
// the datagrams given.
class Responder {
public:
    explicit Responder(std::vector<QByteArray> answers) : answers_(std::move(answers))
    {
        EXPECT_TRUE(listen_.bind(QHostAddress::AnyIPv4, 0));
        EXPECT_TRUE(reply_.bind(QHostAddress(QStringLiteral("127.0.0.5")), 0));
        QObject::connect(&listen_, &QUdpSocket::readyRead, [this] {
            while (listen_.hasPendingDatagrams()) {
                const QNetworkDatagram d = listen_.receiveDatagram();
                ++received;
                targets.insert(d.destinationAddress().toIPv4Address());
                if (d.data() != QByteArray(reinterpret_cast<const char *>(DiscoveryRequest().data()), 32))
                    ++malformed;
                if (d.destinationAddress() == QHostAddress(QStringLiteral("127.0.0.5")))
                    for (const QByteArray &a : answers_)
                        reply_.writeDatagram(a, d.senderAddress(), quint16(d.senderPort()));
            }
        });
    }
    uint16_t Port() const { return listen_.localPort(); }

    int received = 0, malformed = 0;
    std::set<quint32> targets;

private:
    QUdpSocket listen_, reply_;
    std::vector<QByteArray> answers_;
};

void AcceptNextMessageBox(QString *text)
{
    QTimer::singleShot(0, [text] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            *text = box->text();
            box->accept();
        }
    });
}

} // namespace

TEST(Discovery, QuestionAndAnswerBytes)
{
    const auto q = DiscoveryRequest();
    EXPECT_EQ(0, std::memcmp(q.data(), "What's your name, DVR?", 22));
    for (int i = 22; i < 32; ++i)
        EXPECT_EQ(q[size_t(i)], 0);

    const uint8_t ip[4] = {192, 168, 1, 20};
    for (int size : {0, 6, 127, 129, 1024}) {
        DvrListRecord r;
        const QByteArray a = Answer(size);
        EXPECT_FALSE(DiscoveryAnswerToRecord(reinterpret_cast<const uint8_t *>(a.constData()), size_t(size), ip, &r))
            << size;
    }
    DvrListRecord r;
    r.port = 77;
    const QByteArray a = Answer(128);
    ASSERT_TRUE(DiscoveryAnswerToRecord(reinterpret_cast<const uint8_t *>(a.constData()), 128, ip, &r));
    EXPECT_EQ(r.kind, 0);
    EXPECT_EQ(r.port, 0);
    EXPECT_EQ(FieldText(r.name), "192.168.1.20");
    EXPECT_EQ(r.ip, (std::array<uint8_t, 4>{192, 168, 1, 20}));
    EXPECT_EQ(r.mac, (std::array<uint8_t, 6>{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}));
}

class DiscoveryTest : public BookTest {};

TEST_F(DiscoveryTest, ScanListsOnlyExactAnswersAndAddsRows)
{
    // The 127- and 129-byte answers go out first, so the 128-byte one arriving proves they were read.
    Responder responder({Answer(127), Answer(129), Answer(128), Answer(128)});
    TfrmDvrSearch search;
    search.SetScanNetwork(std::array<uint8_t, 3>{127, 0, 0});
    search.SetDiscoveryPort(responder.Port());
    search.btnSearch->click();
    EXPECT_EQ(search.LastScanCount(), 255);
    ASSERT_TRUE(QTest::qWaitFor([&] { return search.ResultCount() == 1 && responder.received == 255; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(search.ResultCount(), 1); // one row per recorder, odd sizes none
    EXPECT_EQ(responder.malformed, 0);
    EXPECT_EQ(responder.targets.size(), 255u);
    EXPECT_EQ(*responder.targets.begin(), 0x7F000000u);
    EXPECT_EQ(*responder.targets.rbegin(), 0x7F0000FEu);

    const QTreeWidgetItem *row = search.lstSearch->topLevelItem(0);
    EXPECT_EQ(row->text(1), "1");
    EXPECT_EQ(row->text(2), "127.0.0.5");
    EXPECT_EQ(row->text(3), "127.0.0.5");
    EXPECT_EQ(row->text(4), "00:1A:2B:3C:4D:5E");

    TfrmDvrList &b = Book();
    search.SetDvrList(&b);
    QString message;
    search.btnAdd->click(); // nothing selected: nothing happens
    EXPECT_EQ(b.RecordCount(), 0);
    search.lstSearch->topLevelItem(0)->setSelected(true);
    AcceptNextMessageBox(&message);
    search.btnAdd->click();
    EXPECT_EQ(message, "DVR List Added.\n");
    ASSERT_EQ(b.RecordCount(), 1);
    EXPECT_EQ(FieldText(b.Record(0)->name), "127.0.0.5");
    EXPECT_EQ(b.Record(0)->port, 5400);
    EXPECT_EQ(b.Record(0)->baudRate, 9600);
    EXPECT_EQ(b.lstDvrList->topLevelItem(0)->text(2), "00:1A:2B:3C:4D:5E");
    AcceptNextMessageBox(&message);
    search.btnAdd->click(); // the same row again: one more independent entry
    ASSERT_EQ(b.RecordCount(), 2);
    EXPECT_NE(b.Record(0), b.Record(1));
    b.Record(1)->ip[0] = 10;
    EXPECT_EQ(b.Record(0)->ip[0], 127);

    // A new scan starts from an empty list.
    Responder quiet({});
    search.SetDiscoveryPort(quiet.Port());
    search.btnSearch->click();
    EXPECT_EQ(search.ResultCount(), 0);
}

// Answers on the search socket: only from hosts the search asked, one row per sender however
// many each sends, a late one still listed, until the next search.
TEST_F(DiscoveryTest, AnswersCountFromAskedHostsOnceEachUntilTheNextSearch)
{
    Responder responder({});
    TfrmDvrSearch search;
    search.SetScanNetwork(std::array<uint8_t, 3>{127, 0, 0});
    search.SetDiscoveryPort(responder.Port());
    search.SetAnswerWait(300);
    auto *socket = search.findChild<QUdpSocket *>();
    ASSERT_NE(socket, nullptr);
    std::map<QString, std::unique_ptr<QUdpSocket>> hosts;
    for (const char *address : {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.6", "127.0.1.2", "127.1.0.9"}) {
        auto &s = hosts[QString::fromLatin1(address)];
        s = std::make_unique<QUdpSocket>();
        ASSERT_TRUE(s->bind(QHostAddress(QString::fromLatin1(address)), 0));
    }
    int sent = 0;
    auto answer = [&](std::initializer_list<const char *> from, int times) {
        for (int i = 0; i < times; ++i)
            for (const char *address : from) {
                QByteArray a = Answer(128);
                a[6] = char(i); // every datagram its own
                if (hosts.at(QString::fromLatin1(address))->writeDatagram(a, QHostAddress::LocalHost, socket->localPort()) == 128)
                    ++sent;
            }
    };
    // Before any search nothing is listed.
    search.udpDataReceived(Answer(128), QHostAddress(QStringLiteral("127.0.0.7")), 12323);
    EXPECT_EQ(search.ResultCount(), 0);

    search.btnSearch->click();
    ASSERT_EQ(socket->state(), QAbstractSocket::BoundState);
    // Hosts outside the asked network answer first; their answers are read and dropped.
    answer({"127.0.1.2", "127.1.0.9"}, 16);
    answer({"127.0.0.2", "127.0.0.3", "127.0.0.4"}, 64);
    ASSERT_TRUE(QTest::qWaitFor([&] { return search.ResultCount() == 3; }, 5000));
    QTest::qWait(100);
    EXPECT_GT(sent, 3);
    EXPECT_EQ(search.ResultCount(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return search.lblState->text() == "3 recorders found"; }, 5000));

    // A recorder that answers after the wait is listed and counted; the others stay one row each.
    answer({"127.0.0.6", "127.0.0.2", "127.0.1.2"}, 8);
    ASSERT_TRUE(QTest::qWaitFor([&] { return search.ResultCount() == 4; }, 5000));
    QTest::qWait(100);
    EXPECT_EQ(search.ResultCount(), 4);
    EXPECT_EQ(search.lstSearch->topLevelItem(3)->text(3), "127.0.0.6");
    EXPECT_EQ(search.lblState->text(), "4 recorders found");
    for (int row = 0; row < search.ResultCount(); ++row)
        EXPECT_EQ(search.Result(row).ip[2], 0) << row;

    // Of a thousand senders only the asked hosts .0 - .254 are listed; the broadcast one is not.
    search.btnSearch->click();
    const QByteArray a = Answer(128);
    for (quint32 host = 0; host < 1000; ++host)
        search.udpDataReceived(a, QHostAddress(0x7F000000u + host), 12323);
    EXPECT_EQ(search.ResultCount(), int(TfrmDvrSearch::kMaxResults));
    EXPECT_EQ(search.lstSearch->topLevelItemCount(), int(TfrmDvrSearch::kMaxResults));
    EXPECT_EQ(search.Result(254).ip[3], 254);
}

TEST_F(DiscoveryTest, ASearchWithoutAnswersSaysSo)
{
    Responder responder({});
    TfrmDvrSearch search;
    search.SetScanNetwork(std::array<uint8_t, 3>{127, 0, 0});
    search.SetDiscoveryPort(responder.Port());
    search.SetAnswerWait(100);
    search.btnSearch->click();
    EXPECT_TRUE(search.lblState->text().startsWith("Searching"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return search.lblState->text() == "No recorder answered the search"; }, 5000));
    EXPECT_EQ(search.ResultCount(), 0);
}
