#include "viewer/link/dvrlink.h"

#include "platform/debuglog.h"
#include "platform/langtable.h"
#include "platform/uithread.h"
#include "viewer/base/global.h"

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace strandel {

bool CDvrBase::Send(uint8_t, uint8_t, const uint8_t *, int) { return false; }

// ---- reader thread ----

TDvrTcpThread::~TDvrTcpThread()
{
    Terminate();
    WaitFor();
}

void TDvrTcpThread::Start()
{
    if (!thread_.joinable())
        thread_ = std::thread([this] { Execute(); });
}

void TDvrTcpThread::Terminate()
{
    terminated_ = true;
    // Lowering the nice value needs the privilege to; without it the reader leaves as soon as
    // the scheduler gives it its turn.
    if (const int tid = tid_; tid > 0)
        setpriority(PRIO_PROCESS, id_t(tid), 0);
    owner_->WakeReader();
}

void TDvrTcpThread::WaitFor()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TDvrTcpThread::Execute()
{
    // The lowest priority a thread may give itself: the reader must not steal from the UI.
    setpriority(PRIO_PROCESS, 0, 19);
    tid_ = int(gettid());
    while (!terminated_)
        owner_->ReadStep();
    DebugPrint("DvrTcp End Thread..............\n");
}

// ---- TCP link ----

CDvrTcp::CDvrTcp(DvrViewLink *owner) : CDvrRemote(owner), stage_(std::make_unique<uint8_t[]>(kStageSize)) {}

CDvrTcp::~CDvrTcp() { Close(); }

bool CDvrTcp::Init(DvrListRecord *record)
{
    record_ = record;
    if (!context_)
        context_ = std::make_unique<QObject>();
    rx_.Reset();
    socketError_ = 0;
    host_ = record ? IpToString(record->ip.data()) : std::string();
    port_ = record ? record->port : 0;
    return true;
}

bool CDvrTcp::Connect()
{
    if (!context_)
        return false;
    if (!thread_) {
        stopping_ = false;
        if (wakeFd_ < 0)
            wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        thread_ = std::make_unique<TDvrTcpThread>(this);
        thread_->Start();
    }
    Activate();
    return true;
}

// The non-blocking connect: its outcome arrives on the UI thread through the notifier.
void CDvrTcp::Activate()
{
    if (active_)
        return;
    const unsigned session = ++session_;
    // A port out of range is refused, not cut to 16 bits and dialled somewhere else.
    const bool portOk = port_ >= 1 && port_ <= 65535;
    int fd = portOk ? ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0) : -1;
    if (fd < 0) {
        const int err = portOk ? errno : EINVAL;
        QMetaObject::invokeMethod(context_.get(), [this, err] { ReportError(err); }, Qt::QueuedConnection);
        return;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port_));
    if (::inet_pton(AF_INET, host_.c_str(), &addr.sin_addr) != 1)
        addr.sin_addr.s_addr = htonl(INADDR_NONE);
    {
        std::lock_guard l(fdLock_);
        fd_ = fd;
    }
    active_ = true;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0 && errno != EINPROGRESS) {
        const int err = errno;
        QMetaObject::invokeMethod(context_.get(), [this, session, err] {
            if (session == session_ && active_) {
                ReportError(err);
                Deactivate(false);
            }
        }, Qt::QueuedConnection);
        return;
    }
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Write, context_.get());
    QObject::connect(notifier_, &QSocketNotifier::activated, context_.get(),
                     [this, session] { OnConnectReady(session); });
}

void CDvrTcp::OnConnectReady(unsigned session)
{
    if (session != session_ || !active_ || !notifier_)
        return;
    DropNotifier();
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    if (err != 0 || socketError_ != 0) { // a send may have met the error first and reported it
        if (err != 0)
            ReportError(err);
        Deactivate(false);
        return;
    }
    readFd_ = fd_;
    WakeReader();
    if (owner_)
        owner_->OnConnected();
}

// The reader met the end of the stream (error 0) or a read error; it no longer touches the socket.
void CDvrTcp::OnReaderStopped(unsigned session, int error)
{
    if (session != session_ || !active_)
        return;
    if (error != 0 && socketError_ == 0) // a failure already reported is not reported again
        ReportError(error);
    Deactivate(true);
}

void CDvrTcp::ReportError(int error)
{
    int code = error;
    OnSocketError(code);
}

void CDvrTcp::OnSocketError(int &errorCode)
{
    if (owner_)
        owner_->ShowMessageText(owner_->IsConnected() ? std::string("Disconnected from DVR") : GetLangTable().Line(2));
    socketError_ = uint32_t(errorCode);
    errorCode = 0;
}

void CDvrTcp::DropNotifier()
{
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_->deleteLater(); // we may be inside its signal
        notifier_ = nullptr;
    }
}

// Closes the socket on the UI thread. The reader is joined or no longer uses the socket.
void CDvrTcp::Deactivate(bool report)
{
    const bool wasActive = active_.exchange(false);
    DropNotifier();
    readFd_ = -1;
    WakeReader(); // never left waiting on a socket that is closed under it
    {
        std::lock_guard l(fdLock_);
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    if (wasActive && report && owner_)
        owner_->OnDisconnected();
}

void CDvrTcp::WakeReader()
{
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t r = ::write(wakeFd_, &one, sizeof one);
    }
}

void CDvrTcp::ReadStep()
{
    // Waits for the socket and for a wake-up, so a stop is seen at once; without the event
    // counter (none could be made) it looks again every 10 ms.
    const int fd = readFd_;
    pollfd p[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLIN, 0}};
    if (::poll(p, fd >= 0 ? 2 : 1, wakeFd_ >= 0 ? -1 : 10) <= 0)
        return;
    if (p[0].revents) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t r = ::read(wakeFd_, &count, sizeof count);
        return; // the caller looks at the stop, the next step at the socket
    }
    if (fd < 0 || p[1].revents == 0)
        return;
    // Everything that waits, not field by field: a live stream of small frames otherwise costs
    // a wait and a receive per field.
    const ssize_t n = ::recv(fd, stage_.get(), kStageSize, MSG_DONTWAIT);
    if (n > 0) {
        rx_.Feed(stage_.get(), size_t(n), [this](const PacketHeader &h, const uint8_t *payload) {
            if (!stopping_ && owner_)
                owner_->OnPacket(h, payload);
        });
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    // Closed by the recorder (0 bytes) or broken: hand the socket back to the UI thread.
    const int error = n < 0 ? errno : 0;
    const unsigned session = session_;
    readFd_ = -1;
    // Close() joins this thread before the context goes, so it is still there.
    QMetaObject::invokeMethod(context_.get(), [this, session, error] { OnReaderStopped(session, error); },
                                  Qt::QueuedConnection);
}

bool CDvrTcp::SendAll(const uint8_t *data, uint32_t count)
{
    std::lock_guard l(fdLock_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(sendTimeoutMs_.load());
    while (socketError_ == 0 && fd_ >= 0 && active_ && !stopping_) {
        if (count == 0)
            return true;
        const ssize_t n = ::send(fd_, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == ssize_t(count))
            return true;
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                // A recorder that stays connected but stops reading must not hold every sender.
                if (std::chrono::steady_clock::now() >= deadline) {
                    DropStalled(ETIMEDOUT);
                    return false;
                }
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 10);
                continue;
            }
            const int err = errno;
            socketError_ = uint32_t(err); // every later send fails at once
            if (context_)
                QMetaObject::invokeMethod(context_.get(), [this, err] { ReportError(err); }, Qt::QueuedConnection);
            return false;
        }
        data += n;
        count -= uint32_t(n);
    }
    return false;
}

// Under fdLock_. Later sends fail at once; the shut-down socket ends the reader, whose end
// drops the link on the UI thread as a remote close does.
void CDvrTcp::DropStalled(int error)
{
    socketError_ = uint32_t(error);
    // Queued before the shut-down, so the report comes ahead of the reader's end of stream.
    if (context_) {
        const unsigned session = session_;
        QMetaObject::invokeMethod(context_.get(), [this, session, error] {
            if (session != session_ || !active_)
                return;
            ReportError(error);
            if (readFd_ < 0) // no reader on the socket: drop it here
                Deactivate(true);
        }, Qt::QueuedConnection);
    }
    ::shutdown(fd_, SHUT_RDWR);
}

bool CDvrTcp::SendPacket(uint8_t cmd, uint8_t flag, const uint8_t *data, uint32_t length)
{
    uint8_t frame[kTcpFrameOverhead + kMaxPayload];
    const size_t size = BuildTcpFrame(frame, cmd, flag, data, length);
    return size != 0 && SendAll(frame, uint32_t(size));
}

bool CDvrTcp::Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length)
{
    return SendSegmented(cmd, flag, data, length, [this](uint8_t c, uint8_t f, const uint8_t *p, uint32_t n) {
        return SendPacket(c, f, p, n);
    });
}

bool CDvrTcp::Disconnect()
{
    if (thread_) {
        // Stop the reader first, so no packet follows and the socket is ours alone to close.
        DebugPrint("DvrTcp ReadThread Terminate....\n");
        RaiseCancel(stopping_); // a hand-over the reader waits in gives up now
        thread_->Terminate();
        DebugPrint("DvrTcp ReadThread Waiting....\n");
        thread_->WaitFor();
        DebugPrint("DvrTcp ReadThread Terminateddddd....\n");
        thread_.reset();
        Deactivate(true);
    }
    if (context_ && active_)
        Deactivate(false);
    return true;
}

void CDvrTcp::Close()
{
    if (!context_)
        return;
    Disconnect();
    Deactivate(false);
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
    std::lock_guard l(fdLock_);
    context_.reset(); // drops the events still queued for this link
}

} // namespace strandel
