#pragma once
// The address-server exchange: ask the server for a recorder's current IPv4 address and port by its MAC.
// Request and answer are 32 bytes each on TCP port 12333.
#include "viewer/base/dvrlistrecord.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

class QTcpSocket;
class QTimer;

namespace strandel {

constexpr uint16_t kIpServerPort = 12333;
constexpr int kIpServerMessageSize = 32;
constexpr int kIpServerTimeoutMs = 5000;

// "INFO", the 6-byte MAC, 22 zero bytes.
std::array<uint8_t, kIpServerMessageSize> BuildIpServerRequest(const uint8_t mac[6]);

struct IpServerAnswer {
    std::array<uint8_t, 4> ip{};
    bool portValid = false; // only a port in 5400..5499 replaces the stored one
    int32_t port = 0;
};
// False unless size is 32, the answer starts "OKKK" and the address is not all zero.
bool ParseIpServerAnswer(const uint8_t *data, size_t size, IpServerAnswer *answer);
// Writes a good answer's address (and a valid port) into the record.
void ApplyIpServerAnswer(const IpServerAnswer &answer, DvrListRecord *record);

// One exchange at a time, driven by the event loop so the window keeps painting; the callback runs
// once on the thread that started it, also on failure and on time-out.
class CIpServerLookup : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(bool ok, const IpServerAnswer &answer)>;

    explicit CIpServerLookup(QObject *parent = nullptr);
    ~CIpServerLookup() override;

    // host is trimmed; an empty host fails at once (still through the callback).
    void Start(const QString &host, uint16_t port, const uint8_t mac[6], int timeoutMs, Done done);
    void Abort();
    bool Busy() const { return busy_; }

private:
    void OnConnected();
    void OnReadyRead();
    void Finish(bool ok);

    QTcpSocket *socket_ = nullptr;
    QTimer *timer_ = nullptr;
    std::array<uint8_t, kIpServerMessageSize> request_{};
    QByteArray received_;
    IpServerAnswer answer_;
    Done done_;
    bool busy_ = false;
};

} // namespace strandel
