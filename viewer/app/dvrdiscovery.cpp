#include "viewer/app/dvrdiscovery.h"

#include "platform/debuglog.h"
#include "viewer/base/global.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QUdpSocket>

#include <cstring>

namespace strandel {

std::array<uint8_t, kDiscoveryRequestSize> DiscoveryRequest()
{
    static const char kText[] = "What's your name, DVR?";
    std::array<uint8_t, kDiscoveryRequestSize> r{};
    std::memcpy(r.data(), kText, sizeof(kText) - 1);
    return r;
}

bool DiscoveryAnswerToRecord(const uint8_t *data, size_t size, const uint8_t senderIp[4], DvrListRecord *record)
{
    if (size != kDiscoveryAnswerSize)
        return false;
    *record = DvrListRecord{};
    record->kind = uint8_t(DvrKind::Network);
    std::memcpy(record->ip.data(), senderIp, 4);
    std::memcpy(record->mac.data(), data, 6);
    SetField(record->name, IpToString(senderIp).c_str());
    return true;
}

bool LocalScanNetwork(uint8_t net[3])
{
    for (const QNetworkInterface &nif : QNetworkInterface::allInterfaces()) {
        const auto flags = nif.flags();
        if (!(flags & QNetworkInterface::IsUp) || (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &e : nif.addressEntries()) {
            if (e.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const quint32 a = e.ip().toIPv4Address();
            net[0] = uint8_t(a >> 24);
            net[1] = uint8_t(a >> 16);
            net[2] = uint8_t(a >> 8);
            return true;
        }
    }
    return false;
}

int SendDiscoveryScan(QUdpSocket &socket, const uint8_t net[3], uint16_t port)
{
    const auto request = DiscoveryRequest();
    int sent = 0;
    for (int i = 0; i < 255; ++i) {
        const quint32 a = (quint32(net[0]) << 24) | (quint32(net[1]) << 16) | (quint32(net[2]) << 8) | quint32(i);
        const QHostAddress target(a);
        DebugPrint("%s\n", target.toString().toLatin1().constData());
        if (socket.writeDatagram(reinterpret_cast<const char *>(request.data()), kDiscoveryRequestSize, target, port) ==
            kDiscoveryRequestSize)
            ++sent;
    }
    return sent;
}

} // namespace strandel
