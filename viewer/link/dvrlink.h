#pragma once
// Connections of a recorder view: the abstract CDvrBase, the remote links CDvrTcp (with its
// reader thread TDvrTcpThread) and CDvrSerial. Every call-back goes to the owning view.
#include "viewer/link/dvrframing.h"
#include "viewer/base/dvrlistrecord.h"
#include "viewer/link/dvrviewlink.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QObject;
class QSocketNotifier;

namespace strandel {

class TXComm;

class CDvrBase {
public:
    explicit CDvrBase(DvrViewLink *owner, bool isLocal = false) : isLocal_(isLocal ? 1 : 0), owner_(owner) {}
    virtual ~CDvrBase() = default;
    CDvrBase(const CDvrBase &) = delete;
    CDvrBase &operator=(const CDvrBase &) = delete;

    virtual bool Init(DvrListRecord *record)
    {
        record_ = record;
        return true;
    }
    virtual bool Connect() { return true; }
    virtual void Close() {}
    virtual bool Disconnect() { return true; }
    virtual bool Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length);

    bool IsLocal() const { return isLocal_ != 0; }
    DvrViewLink *Owner() const { return owner_; }
    DvrListRecord *Record() const { return record_; }

    // Set while the link is being stopped. A packet handed from a reader thread to the UI
    // thread goes through RunOnUiThreadBlocking(fn, StopFlag()), so stopping never deadlocks.
    const std::atomic<bool> *StopFlag() const { return &stopping_; }

protected:
    uint8_t isLocal_;
    DvrViewLink *owner_;
    DvrListRecord *record_ = nullptr;
    std::atomic<bool> stopping_{false};
};

// A link to a real recorder.
class CDvrRemote : public CDvrBase {
public:
    explicit CDvrRemote(DvrViewLink *owner) : CDvrBase(owner, false) {}
};

class CDvrTcp;

class TDvrTcpThread {
public:
    explicit TDvrTcpThread(CDvrTcp *owner) : owner_(owner) {}
    ~TDvrTcpThread();
    TDvrTcpThread(const TDvrTcpThread &) = delete;
    TDvrTcpThread &operator=(const TDvrTcpThread &) = delete;

    void Start();
    // Ends the loop. The reader gets the ordinary priority back and is woken, so that it leaves
    // at once however loaded the machine is.
    void Terminate();
    bool Terminated() const { return terminated_; }
    void WaitFor();

private:
    void Execute();

    CDvrTcp *owner_;
    std::atomic<bool> terminated_{false};
    std::atomic<int> tid_{0}; // the reader's thread id once it runs
    std::thread thread_;
};

class CDvrTcp : public CDvrRemote {
public:
    explicit CDvrTcp(DvrViewLink *owner);
    ~CDvrTcp() override;

    bool Init(DvrListRecord *record) override;
    bool Connect() override;
    void Close() override;
    bool Disconnect() override;
    bool Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) override;

    // Gives up after SendTimeoutMs() in all: a recorder that stops reading is dropped.
    bool SendAll(const uint8_t *data, uint32_t count);
    bool SendPacket(uint8_t cmd, uint8_t flag, const uint8_t *data, uint32_t length);
    // One step of the reader: waits for data or a wake-up, reads what has arrived.
    void ReadStep();
    // Wakes the reader out of its wait: to stop, or to take up a socket.
    void WakeReader();
    // The socket's error event (UI thread): panel text, error recorded, code cleared.
    void OnSocketError(int &errorCode);

    uint32_t SocketError() const { return socketError_; }
    bool SocketExists() const { return bool(context_); }
    bool SocketActive() const { return active_; }
    const std::string &Host() const { return host_; }
    int Port() const { return port_; }
    int SendTimeoutMs() const { return sendTimeoutMs_; }
    void SetSendTimeoutMs(int ms) { sendTimeoutMs_ = ms; }

    static constexpr int kDefaultSendTimeoutMs = 5000; // as long as a sender may hold the send lock

private:
    void Activate();
    void OnConnectReady(unsigned session);
    void OnReaderStopped(unsigned session, int error);
    void Deactivate(bool report);
    void DropNotifier();
    void ReportError(int error);
    void DropStalled(int error);

    std::string host_;
    int port_ = 0;
    std::unique_ptr<QObject> context_; // the "socket": UI-thread events are queued to it
    QSocketNotifier *notifier_ = nullptr; // child of context_ while the connect is pending
    std::unique_ptr<TDvrTcpThread> thread_;
    TcpReceiver rx_;                   // reader thread only
    static constexpr size_t kStageSize = 64 * 1024;
    std::unique_ptr<uint8_t[]> stage_; // reader thread only: one receive's bytes
    std::mutex fdLock_;                // held while a sender uses fd_ and while it is closed
    int fd_ = -1;
    std::atomic<int> readFd_{-1};      // set once connected; the reader uses only this
    int wakeFd_ = -1;                  // event counter the reader waits on beside the socket
    std::atomic<bool> active_{false};
    std::atomic<uint32_t> socketError_{0};
    std::atomic<unsigned> session_{0};
    std::atomic<int> sendTimeoutMs_{kDefaultSendTimeoutMs};
};

class CDvrSerial : public CDvrRemote {
public:
    explicit CDvrSerial(DvrViewLink *owner);
    ~CDvrSerial() override;

    bool Init(DvrListRecord *record) override;
    bool Connect() override;
    void Close() override;
    bool Disconnect() override;
    bool Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) override;

    bool PutByte(uint8_t b);
    bool PutStuffed(const uint8_t *data, int count);
    void OnData(uint32_t received);

    TXComm *Port() const { return port_.get(); }

private:
    std::unique_ptr<TXComm> port_;
    uint8_t stage_[kSerialStageSize] = {};
    SerialReceiver rx_;
    bool lost_ = false; // the device went away and the view was told
};

} // namespace strandel
