#include "bookfixture.h"
#include "focus.h"

#include "platform/endian.h"
#include "viewer/app/ipserver.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTreeWidget>

#include <cstring>

using namespace strandel;

namespace {

// An address server on 127.0.0.1 that answers every 32-byte request with a fixed reply.
class FakeIpServer {
public:
    explicit FakeIpServer(QByteArray reply) : reply_(std::move(reply))
    {
        EXPECT_TRUE(server_.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *s = server_.nextPendingConnection()) {
                ++connections;
                QObject::connect(s, &QTcpSocket::readyRead, [this, s] {
                    pending_[s] += s->readAll();
                    if (pending_[s].size() >= kIpServerMessageSize && request.isEmpty()) {
                        request = pending_[s].left(kIpServerMessageSize);
                        if (!reply_.isEmpty())
                            s->write(reply_);
                        if (closeAfterReply)
                            s->disconnectFromHost();
                    }
                });
            }
        });
    }
    uint16_t Port() const { return server_.serverPort(); }

    int connections = 0;
    bool closeAfterReply = false;
    QByteArray request;

private:
    QTcpServer server_;
    QByteArray reply_;
    std::map<QTcpSocket *, QByteArray> pending_;
};

QByteArray Reply(const char *magic, std::array<uint8_t, 4> ip, int32_t port, int size = kIpServerMessageSize)
{
    QByteArray r(kIpServerMessageSize, '\0');
    std::memcpy(r.data(), magic, 4);
    std::memcpy(r.data() + 4, ip.data(), 4);
    PutLe32(reinterpret_cast<uint8_t *>(r.data()) + 8, uint32_t(port));
    return r.left(size);
}

const uint8_t kMac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

struct Outcome {
    bool finished = false, ok = false;
    IpServerAnswer answer;
};

Outcome RunLookup(uint16_t port, int timeoutMs, const QString &host = "127.0.0.1")
{
    CIpServerLookup lookup;
    Outcome out;
    lookup.Start(host, port, kMac, timeoutMs, [&](bool ok, const IpServerAnswer &a) {
        out.finished = true;
        out.ok = ok;
        out.answer = a;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return out.finished; }, timeoutMs + 2000));
    return out;
}

} // namespace

TEST(IpServer, RequestAndAnswerBytes)
{
    const auto req = BuildIpServerRequest(kMac);
    const uint8_t want[32] = {'I', 'N', 'F', 'O', 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(0, std::memcmp(req.data(), want, 32));

    const struct {
        QByteArray bytes;
        bool ok, portValid;
    } cases[] = {
        {Reply("OKKK", {10, 1, 2, 3}, 5433), true, true},
        {Reply("OKKK", {10, 1, 2, 3}, 5500), true, false},
        {Reply("OKKK", {10, 1, 2, 3}, 5399), true, false},
        {Reply("OKKK", {10, 1, 2, 3}, -1), true, false},
        {Reply("OKKK", {0, 0, 0, 0}, 5433), false, false},
        {Reply("OKK!", {10, 1, 2, 3}, 5433), false, false},
        {Reply("OKKK", {10, 1, 2, 3}, 5433, 31), false, false},
    };
    for (const auto &c : cases) {
        IpServerAnswer a;
        const bool ok = ParseIpServerAnswer(reinterpret_cast<const uint8_t *>(c.bytes.constData()),
                                            size_t(c.bytes.size()), &a);
        EXPECT_EQ(ok, c.ok) << c.bytes.toHex().constData();
        if (ok) {
            EXPECT_EQ(a.portValid, c.portValid) << c.bytes.toHex().constData();
        }
    }
}

TEST(IpServer, ExchangeAgainstALoopbackServer)
{
    const struct {
        const char *what;
        QByteArray reply;
        bool closeAfter, ok;
        int32_t port;
    } cases[] = {
        {"good", Reply("OKKK", {10, 1, 2, 3}, 5433), false, true, 5433},
        {"good, then closed", Reply("OKKK", {10, 1, 2, 3}, 5433), true, true, 5433},
        {"port outside 5400..5499", Reply("OKKK", {10, 1, 2, 3}, 6000), false, true, -1},
        {"all-zero address", Reply("OKKK", {0, 0, 0, 0}, 5433), false, false, 0},
        {"wrong magic", Reply("NOPE", {10, 1, 2, 3}, 5433), false, false, 0},
        {"short, then closed", Reply("OKKK", {10, 1, 2, 3}, 5433, 20), true, false, 0},
    };
    for (const auto &c : cases) {
        FakeIpServer server(c.reply);
        server.closeAfterReply = c.closeAfter;
        const Outcome out = RunLookup(server.Port(), 3000);
        EXPECT_EQ(out.ok, c.ok) << c.what;
        EXPECT_EQ(server.request, QByteArray(reinterpret_cast<const char *>(BuildIpServerRequest(kMac).data()), 32))
            << c.what;
        if (c.ok) {
            EXPECT_EQ(out.answer.ip, (std::array<uint8_t, 4>{10, 1, 2, 3})) << c.what;
            EXPECT_EQ(out.answer.portValid, c.port > 0) << c.what;
        }
    }
}

TEST(IpServer, SilenceEndsAtTheTimeOutAndNoServerFails)
{
    FakeIpServer silent{QByteArray()};
    QElapsedTimer t;
    t.start();
    const Outcome out = RunLookup(silent.Port(), 300);
    EXPECT_TRUE(out.finished);
    EXPECT_FALSE(out.ok);
    EXPECT_GE(t.elapsed(), 250);

    uint16_t freePort;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        freePort = probe.serverPort();
    }
    EXPECT_FALSE(RunLookup(freePort, 3000).ok);
    EXPECT_FALSE(RunLookup(silent.Port(), 3000, "   ").ok); // no server name
}

namespace {

class ConnectTest : public BookTest {
protected:
    // Connects the first fixture entry (use-server flag set, MAC known) and waits for the view opener.
    DvrListRecord *ConnectFirst(FakeIpServer &server)
    {
        TfrmDvrList &b = Book("two_records.lst");
        b.SetIpServerNameSource([] { return QStringLiteral(" 127.0.0.1 "); });
        b.SetIpServerPort(server.Port());
        b.SetIpServerTimeout(300);
        b.SetViewOpener([this](DvrListRecord *r) {
            opened = r;
            return true;
        });
        EXPECT_TRUE(ShowActive(b));
        b.SelectRow(0);
        b.btnConnect->click();
        EXPECT_TRUE(b.pnlIp->isVisible());
        EXPECT_TRUE(QTest::qWaitFor([this] { return opened != nullptr; }, 3000));
        EXPECT_FALSE(b.pnlIp->isVisible());
        return opened;
    }
    DvrListRecord *opened = nullptr;
};

} // namespace

TEST_F(ConnectTest, GoodAnswerUpdatesTheEntryBeforeConnecting)
{
    FakeIpServer server(Reply("OKKK", {10, 1, 2, 3}, 5433));
    DvrListRecord *r = ConnectFirst(server);
    ASSERT_EQ(r, book->Record(0));
    EXPECT_EQ(r->ip, (std::array<uint8_t, 4>{10, 1, 2, 3}));
    EXPECT_EQ(r->port, 5433);
    EXPECT_EQ(book->lstDvrList->topLevelItem(0)->text(1), "10.1.2.3");
    EXPECT_FALSE(book->isVisible());
}

TEST_F(ConnectTest, FailedLookUpConnectsWithTheStoredAddress)
{
    FakeIpServer server(Reply("OKKK", {0, 0, 0, 0}, 5433));
    DvrListRecord *r = ConnectFirst(server);
    ASSERT_EQ(r, book->Record(0));
    EXPECT_EQ(r->ip, (std::array<uint8_t, 4>{192, 168, 0, 7}));
    EXPECT_EQ(r->port, 5401);
}

TEST_F(ConnectTest, AllZeroMacSkipsTheServer)
{
    FakeIpServer server(Reply("OKKK", {10, 1, 2, 3}, 5433));
    TfrmDvrList &b = Book("two_records.lst");
    b.SetIpServerNameSource([] { return QStringLiteral("127.0.0.1"); });
    b.SetIpServerPort(server.Port());
    b.Record(0)->mac.fill(0);
    int opens = 0;
    b.SetViewOpener([&](DvrListRecord *) { return ++opens, true; });
    b.SelectRow(0);
    b.btnConnect->click();
    EXPECT_EQ(opens, 1); // at once, without the server
    QTest::qWait(50);
    EXPECT_EQ(server.connections, 0);
}
