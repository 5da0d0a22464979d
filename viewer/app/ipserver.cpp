#include "viewer/app/ipserver.h"

#include "platform/debuglog.h"
#include "platform/endian.h"

#include <QTcpSocket>
#include <QTimer>

#include <cstring>

namespace strandel {

std::array<uint8_t, kIpServerMessageSize> BuildIpServerRequest(const uint8_t mac[6])
{
    std::array<uint8_t, kIpServerMessageSize> r{};
    std::memcpy(r.data(), "INFO", 4);
    std::memcpy(r.data() + 4, mac, 6);
    return r;
}

bool ParseIpServerAnswer(const uint8_t *data, size_t size, IpServerAnswer *answer)
{
    if (size != kIpServerMessageSize || std::memcmp(data, "OKKK", 4) != 0)
        return false;
    if ((data[4] | data[5] | data[6] | data[7]) == 0)
        return false;
    std::memcpy(answer->ip.data(), data + 4, 4);
    answer->port = int32_t(GetLe32(data + 8));
    answer->portValid = answer->port >= 5400 && answer->port < 5500;
    return true;
}

void ApplyIpServerAnswer(const IpServerAnswer &answer, DvrListRecord *record)
{
    record->ip = answer.ip;
    if (answer.portValid)
        record->port = answer.port;
}

CIpServerLookup::CIpServerLookup(QObject *parent) : QObject(parent)
{
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] {
        DebugPrint("IP server: no answer in time\n");
        Finish(false);
    });
}

CIpServerLookup::~CIpServerLookup()
{
    done_ = nullptr;
    Abort();
}

void CIpServerLookup::Start(const QString &host, uint16_t port, const uint8_t mac[6], int timeoutMs, Done done)
{
    Abort();
    done_ = std::move(done);
    busy_ = true;
    request_ = BuildIpServerRequest(mac);
    received_.clear();
    answer_ = {};
    const QString name = host.trimmed();
    if (name.isEmpty()) {
        QTimer::singleShot(0, this, [this] { Finish(false); });
        return;
    }
    socket_ = new QTcpSocket(this);
    connect(socket_, &QTcpSocket::connected, this, &CIpServerLookup::OnConnected);
    connect(socket_, &QTcpSocket::readyRead, this, &CIpServerLookup::OnReadyRead);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        DebugPrint("IP server: %s\n", socket_->errorString().toLocal8Bit().constData());
        Finish(false);
    });
    timer_->start(timeoutMs);
    socket_->connectToHost(name, port);
}

void CIpServerLookup::OnConnected()
{
    const qint64 n = socket_->write(reinterpret_cast<const char *>(request_.data()), kIpServerMessageSize);
    if (n != kIpServerMessageSize)
        Finish(false);
}

void CIpServerLookup::OnReadyRead()
{
    received_ += socket_->read(kIpServerMessageSize - received_.size());
    if (received_.size() < kIpServerMessageSize)
        return;
    Finish(ParseIpServerAnswer(reinterpret_cast<const uint8_t *>(received_.constData()), size_t(received_.size()),
                               &answer_));
}

void CIpServerLookup::Abort()
{
    timer_->stop();
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    busy_ = false;
}

void CIpServerLookup::Finish(bool ok)
{
    if (!busy_)
        return;
    Abort();
    Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(ok, answer_);
}

} // namespace strandel
