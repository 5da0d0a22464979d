#include "viewer/link/comm.h"

#include "viewer/link/xcomdrv.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

// The kernel's termios2 carries any baud rate; glibc's <termios.h> must stay out of this file.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace strandel::comm {
namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_errorLock;
int g_lastError = 0;
std::string g_lastErrorText;

void SetError(int code, const char *format)
{
    char text[160];
    std::snprintf(text, sizeof text, format, code);
    std::lock_guard l(g_errorLock);
    g_lastError = code;
    g_lastErrorText = text;
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

constexpr uint32_t kBaudTable[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 230400};

} // namespace

int CommLastError()
{
    std::lock_guard l(g_errorLock);
    return g_lastError;
}

std::string CommLastErrorText()
{
    std::lock_guard l(g_errorLock);
    return g_lastErrorText;
}

uint32_t EventMaskOf(TCommEventTypes events)
{
    static const uint32_t bits[] = {EV_BREAK, EV_CTS, EV_DSR, EV_ERR, EV_RING, EV_RLSD, EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};
    uint32_t mask = 0;
    for (int i = 0; i < 9; ++i)
        if (events & (1u << i))
            mask |= bits[i];
    return mask;
}

uint32_t TThreadComm::BaudValue(TBaudRate rate) { return kBaudTable[rate <= br230400 ? rate : br9600]; }

TThreadComm::TThreadComm() : m_context(std::make_unique<QObject>()) {}

TThreadComm::~TThreadComm() { Close(); }

TComm::TComm()
{
    m_deviceName = "Com2";
    m_monitorEvents = kAllCommEvents;
}

bool TThreadComm::Enabled() const { return m_fd >= 0; }

bool TThreadComm::Open()
{
    std::lock_guard l(m_lock);
    if (m_fd >= 0) {
        SetError(-1, "Port already assigned (open) (Error: %d)");
        return false;
    }
    const std::string path = SerialDevicePath(m_deviceName);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetError(errno, "Error opening port (Error: %d)");
        return false;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        ::close(fd);
        SetError(ENOTTY, "Port is no character device (Error: %d)");
        return false;
    }
    m_fd = fd;
    if (!UpdateDataControlBlock()) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    // The queue sizes are the driver's own here; a fresh port starts with both queues empty.
    ::ioctl(m_fd, TCFLSH, TCIOFLUSH);
    try {
        m_eventThread = std::make_unique<TCommEventThread>(this, m_fd, EventMaskOf(m_monitorEvents), m_suspendTime);
    } catch (const std::exception &) {
        SetError(errno, "Error initializing Read/Write Buffers (Error: %d)");
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_txPending = false;
    return true;
}

void TThreadComm::Close()
{
    std::lock_guard l(m_lock);
    if (m_fd < 0)
        return;
    m_eventThread.reset(); // wakes the thread and joins it
    ::close(m_fd);
    m_fd = -1;
}

bool TThreadComm::UpdateDataControlBlock()
{
    termios2 t{};
    if (::ioctl(m_fd, TCGETS2, &t) != 0) {
        SetError(errno, "Error updating DataControlBlock (Error: %d)");
        return false;
    }
    if (m_dataBits == da4) { // no terminal sends four-bit bytes
        SetError(EINVAL, "Error updating DataControlBlock (Error: %d)");
        return false;
    }
    static const tcflag_t sizes[] = {0, CS5, CS6, CS7, CS8};
    // Raw bytes; the flow settings stay as the device had them.
    t.c_iflag = (t.c_iflag & (IXON | IXOFF | IXANY)) | IGNBRK;
    if (m_options & (1 << coParityCheck))
        t.c_iflag |= INPCK;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = (t.c_cflag & CRTSCTS) | CREAD | CLOCAL | BOTHER | sizes[m_dataBits];
    switch (m_parity) {
    case paOdd: t.c_cflag |= PARENB | PARODD; break;
    case paEven: t.c_cflag |= PARENB; break;
    case paMark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case paSpace: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (m_stopBits != sb10)
        t.c_cflag |= CSTOPB;
    t.c_ispeed = t.c_ospeed = BaudValue(m_baudRate);
    t.c_cc[VSTART] = m_eventChars.XOnChar;
    t.c_cc[VSTOP] = m_eventChars.XOffChar;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::ioctl(m_fd, TCSETS2, &t) != 0) {
        SetError(errno, "Error updating DataControlBlock (Error: %d)");
        return false;
    }
    return true;
}

#define COMM_SETTER(Name, member, Type)                                                                              \
    void TThreadComm::Set##Name(Type v)                                                                                \
    {                                                                                                                  \
        std::lock_guard l(m_lock);                                                                                     \
        member = v;                                                                                                    \
        if (m_fd >= 0)                                                                                                 \
            UpdateDataControlBlock();                                                                                  \
    }
COMM_SETTER(BaudRate, m_baudRate, TBaudRate)
COMM_SETTER(Parity, m_parity, TParity)
COMM_SETTER(StopBits, m_stopBits, TStopBits)
COMM_SETTER(DataBits, m_dataBits, TDataBits)
COMM_SETTER(EventChars, m_eventChars, const TCommEventChars &)
COMM_SETTER(Options, m_options, TCommOptions)
COMM_SETTER(FlowControl, m_flowControl, TFlowControl)
#undef COMM_SETTER

void TThreadComm::SetDeviceName(const std::string &v)
{
    if (m_fd < 0)
        m_deviceName = v;
}
void TThreadComm::SetReadBufSize(uint16_t v)
{
    if (m_fd < 0)
        m_readBufSize = v;
}
void TThreadComm::SetWriteBufSize(uint16_t v)
{
    if (m_fd < 0)
        m_writeBufSize = v;
}
void TThreadComm::SetSuspendTime(uint32_t v)
{
    if (m_fd < 0)
        m_suspendTime = v;
}
void TThreadComm::SetMonitorEvents(TCommEventTypes v)
{
    if (m_fd < 0)
        m_monitorEvents = v & kAllCommEvents;
}

int32_t TThreadComm::Write(const void *buffer, int32_t count)
{
    std::lock_guard l(m_lock);
    if (m_fd < 0)
        return -1;
    if (count <= 0 || !buffer)
        return 0;
    // The write time-out: the constant plus the line time of the bytes (ten bits each).
    const uint32_t lineMs = uint32_t((uint64_t(count) * 10 * 1000) / BaudValue(m_baudRate)) + 1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(uint64_t(m_writeTimeout) + lineMs);
    const auto *p = static_cast<const uint8_t *>(buffer);
    int32_t written = 0;
    while (written < count) {
        const ssize_t n = ::write(m_fd, p + written, size_t(count - written));
        if (n > 0) {
            written += int32_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            SetError(errno, "Error writing to port (Error: %d)");
            break;
        }
        const int left = RemainingMs(deadline);
        pollfd pf{m_fd, POLLOUT, 0};
        if (left == 0 || ::poll(&pf, 1, left) <= 0 || (pf.revents & (POLLERR | POLLHUP | POLLNVAL)))
            break;
    }
    if (written > 0)
        m_txPending = true;
    return written;
}

int32_t TThreadComm::WriteStr(const std::string &text) { return Write(text.data(), int32_t(text.size())); }

int32_t TThreadComm::Read(void *buffer, int32_t count)
{
    std::lock_guard l(m_lock);
    if (m_fd < 0)
        return -1;
    if (count <= 0 || !buffer)
        return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_readTimeout);
    auto *p = static_cast<uint8_t *>(buffer);
    int32_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(m_fd, p + got, size_t(count - got));
        if (n > 0) {
            got += int32_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            SetError(errno, "Error reading from port (Error: %d)");
            break;
        }
        const int left = RemainingMs(deadline);
        pollfd pf{m_fd, POLLIN, 0};
        if (left == 0 || ::poll(&pf, 1, left) <= 0 || (pf.revents & (POLLERR | POLLNVAL)))
            break;
        if ((pf.revents & POLLHUP) && !(pf.revents & POLLIN))
            break; // the other end is gone
    }
    return got;
}

int32_t TThreadComm::InQueCount()
{
    std::lock_guard l(m_lock);
    int n = 0;
    if (m_fd < 0 || ::ioctl(m_fd, FIONREAD, &n) != 0)
        return -1;
    return n;
}

int32_t TThreadComm::OutQueCount()
{
    std::lock_guard l(m_lock);
    int n = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCOUTQ, &n) != 0)
        return -1;
    return n;
}

void TThreadComm::PurgeIn()
{
    std::lock_guard l(m_lock);
    if (m_fd >= 0)
        ::ioctl(m_fd, TCFLSH, TCIFLUSH);
}

void TThreadComm::PurgeOut()
{
    std::lock_guard l(m_lock);
    if (m_fd >= 0)
        ::ioctl(m_fd, TCFLSH, TCOFLUSH);
}

uint32_t TThreadComm::ModemBits() const
{
    int bits = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCMGET, &bits) != 0)
        return 0; // a terminal without modem lines (a pseudo-terminal) shows none
    return uint32_t(bits);
}

bool TThreadComm::GetModemState(int index)
{
    std::lock_guard l(m_lock);
    const uint32_t bits = ModemBits();
    switch (index) {
    case 1: return bits & TIOCM_CTS;
    case 2: return bits & TIOCM_DSR;
    case 3: return bits & TIOCM_RNG;
    case 4: return bits & TIOCM_CAR;
    default: return false;
    }
}

TComStat TThreadComm::Status() const
{
    TComStat s;
    if (m_fd < 0)
        return s;
    int n = 0;
    if (::ioctl(m_fd, FIONREAD, &n) == 0)
        s.InQue = uint32_t(n);
    n = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &n) == 0)
        s.OutQue = uint32_t(n);
    termios2 t{};
    // Output waits for CTS under hardware flow control while the line is low.
    if (::ioctl(m_fd, TCGETS2, &t) == 0 && (t.c_cflag & CRTSCTS)) {
        int bits = 0;
        if (::ioctl(m_fd, TIOCMGET, &bits) == 0 && !(bits & TIOCM_CTS))
            s.HoldBits |= 1;
    }
    return s;
}

bool TThreadComm::GetComState(int index)
{
    std::lock_guard l(m_lock);
    if (index < 1 || index > 5)
        return false;
    return Status().HoldBits & (1u << (index - 1));
}

bool TThreadComm::EscapeComm(unsigned long request, int bits, bool)
{
    std::lock_guard l(m_lock);
    if (m_fd < 0) {
        SetError(-1, "Port not open (Error: %d)");
        return false;
    }
    const int r = bits >= 0 ? ::ioctl(m_fd, request, &bits) : ::ioctl(m_fd, request, 0);
    if (r != 0) {
        SetError(errno, "EscapeCommFunction failure (Error: %d)");
        return false;
    }
    return true;
}

void TThreadComm::SetDTRState(bool on) { EscapeComm(on ? TIOCMBIS : TIOCMBIC, TIOCM_DTR, on); }
void TThreadComm::SetRTSState(bool on) { EscapeComm(on ? TIOCMBIS : TIOCMBIC, TIOCM_RTS, on); }
void TThreadComm::SetBREAKState(bool on) { EscapeComm(on ? TIOCSBRK : TIOCCBRK, -1, on); }

void TThreadComm::SetXONState(bool on)
{
    std::lock_guard l(m_lock);
    if (m_fd < 0) {
        SetError(-1, "Port not open (Error: %d)");
        return;
    }
    // As if XON (or XOFF) had come in: output resumes (or stops).
    if (::ioctl(m_fd, TCXONC, on ? TCOON : TCOOFF) != 0)
        SetError(errno, "EscapeCommFunction failure (Error: %d)");
}

void TThreadComm::HandleCommEvent(uint32_t mask)
{
    auto open = [this] { return m_fd >= 0; };
    if (!open())
        return;
    TComStat status;
    uint32_t modem = 0;
    {
        std::lock_guard l(m_lock);
        status = Status();
        modem = ModemBits();
    }
    const uint32_t errors = 0; // the terminal reports no framing or overrun counts here
    // A handler may close the port; the later ones then see nothing.
    if (OnBreak && (mask & EV_BREAK))
        OnBreak(this);
    if (open() && OnCts && (mask & EV_CTS))
        OnCts(this);
    if (open() && OnDsr && (mask & EV_DSR))
        OnDsr(this);
    if (open() && OnError && (mask & EV_ERR))
        OnError(this, errors);
    if (open() && OnRing && (mask & EV_RING))
        OnRing(this);
    if (open() && OnRlsd && (mask & EV_RLSD))
        OnRlsd(this, (modem & TIOCM_CAR) ? 1 : 0);
    if (open() && OnRxChar && (mask & EV_RXCHAR) && status.InQue > 0)
        OnRxChar(this, status.InQue);
    if (open() && OnRxFlag && (mask & EV_RXFLAG))
        OnRxFlag(this);
    if (open() && OnTxEmpty && (mask & EV_TXEMPTY))
        OnTxEmpty(this);
    if (open() && OnComStatEvent)
        OnComStatEvent(this, mask, errors, status);
}

// ---- TCommEventThread

TCommEventThread::TCommEventThread(TThreadComm *port, int fd, uint32_t mask, uint32_t suspendMs)
    : m_port(port), m_fd(fd), m_mask(mask), m_suspendMs(suspendMs == 0 ? 1 : suspendMs)
{
    m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_stopFd < 0)
        throw std::runtime_error("eventfd");
    m_thread = std::thread([this] { Execute(); });
}

TCommEventThread::~TCommEventThread()
{
    m_stop = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(m_stopFd, &one, sizeof one);
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_stopFd);
}

void TCommEventThread::Execute()
{
    int lastIn = 0;
    int modem = 0;
    const bool hasModem = ::ioctl(m_fd, TIOCMGET, &modem) == 0;
    bool hungUp = false;
    while (!m_stop) {
        uint32_t mask = 0;
        int in = 0;
        if (::ioctl(m_fd, FIONREAD, &in) != 0)
            in = 0;
        if (in > 0 && in != lastIn)
            mask |= EV_RXCHAR; // new bytes (unread ones are not announced again)
        lastIn = in;
        if (m_port->m_txPending) {
            int out = 0;
            if (::ioctl(m_fd, TIOCOUTQ, &out) == 0 && out == 0) {
                m_port->m_txPending = false;
                mask |= EV_TXEMPTY;
            }
        }
        int now = 0;
        if (hasModem && ::ioctl(m_fd, TIOCMGET, &now) == 0) {
            const int changed = now ^ modem;
            if (changed & TIOCM_CTS)
                mask |= EV_CTS;
            if (changed & TIOCM_DSR)
                mask |= EV_DSR;
            if (changed & TIOCM_CAR)
                mask |= EV_RLSD;
            if ((changed & now) & TIOCM_RNG)
                mask |= EV_RING;
            modem = now;
        }
        mask &= m_mask;
        if (mask) {
            TThreadComm *port = m_port;
            if (QCoreApplication::instance())
                QMetaObject::invokeMethod(port->m_context.get(), [port, mask] { port->HandleCommEvent(mask); },
                                          Qt::QueuedConnection);
            else
                port->HandleCommEvent(mask);
        }
        // Sleep until new bytes come or the stop, at most the suspend time; unread bytes or a
        // hung-up line are not waited on (they would wake us at once).
        pollfd p[2] = {{m_fd, short((in == 0 && !hungUp) ? POLLIN : 0), 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(p, 2, int(m_suspendMs)) < 0 && errno != EINTR)
            break;
        if (p[1].revents)
            break;
        if (p[0].revents & (POLLHUP | POLLERR))
            hungUp = true;
        if (p[0].revents & POLLNVAL)
            break;
    }
    ::ioctl(m_fd, TCFLSH, TCIOFLUSH);
}

} // namespace strandel::comm
