#include "viewer/link/xcomdrv.h"

#include "platform/settings.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

// The kernel's termios2 carries any baud rate; glibc's <termios.h> must stay out of this file.
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

namespace strandel {
namespace {

constexpr uint32_t kBaudTable[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};

using Clock = std::chrono::steady_clock;

int ElapsedMs(Clock::time_point since)
{
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

std::string SystemErrorText(const char *what, int err)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s (Win32 error %d: %s)", what, err, std::strerror(err));
    return buf;
}

// "Com7" (any case) gives 7; anything else 0.
int ComNumber(const std::string &name)
{
    if (name.size() < 4 || (name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm')
        return 0;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 9999)
            return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

} // namespace

TXComm::TXComm() : context_(std::make_unique<QObject>()) {}

TXComm::~TXComm()
{
    destroying_ = true;
    if (Opened())
        Close();
}

std::string SerialDevicePath(const std::string &name)
{
    const int n = ComNumber(name);
    if (n <= 0)
        return name;
    const QString key = QString("Com%1").arg(n);
    return RegReadString(key, QString("/dev/ttyS%1").arg(n - 1)).toStdString();
}

std::string TXComm::DevicePath() const { return SerialDevicePath(deviceName_); }

void TXComm::SetDeviceName(const std::string &name)
{
    if (!Opened())
        deviceName_ = name;
}

void TXComm::CheckOpen() const
{
    if (!Opened())
        throw EDeviceError(1, "Device not opened.");
}

bool TXComm::Open()
{
    if (Opened())
        throw EDeviceError(2, "Device is allready opened.");
    const std::string path = DevicePath();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // Exclusive, as the port is: a second opener (another viewer) is refused.
    if (fd < 0 || !::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw EDeviceError(65535, "Cannot open device " + deviceName_);
    }
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;
    try {
        DeriveLineSettings();
        WriteControlBlock();
        ApplyBuffers();
        ApplyTimeouts();
    } catch (...) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
    eventThread_ = std::make_unique<TCommEventThread>(this);
    return true;
}

void TXComm::Close()
{
    CheckOpen();
    eventThread_.reset();
    ::close(fd_);
    fd_ = -1;
    totalReceived_ = 0;
    totalSent_ = 0;
}

void TXComm::SetBaudRate(TBaudRate rate)
{
    baudRate_ = rate;
    if (rate != brCustom && rate < std::size(kBaudTable))
        baudValue_ = kBaudTable[rate];
    if (Opened())
        WriteControlBlock();
}

void TXComm::SetBaudValue(uint32_t value)
{
    if (baudRate_ != brCustom)
        return;
    baudValue_ = value;
    if (Opened())
        WriteControlBlock();
}

void TXComm::SetDataControl(const TCommDataControl &dc)
{
    dataControl_ = dc;
    if (Opened())
        WriteControlBlock();
}

void TXComm::SetBuffers(const TCommBuffers &b)
{
    buffers_ = b;
    buffers_.InputSize = std::clamp<uint16_t>(b.InputSize, 128, 8192);
    buffers_.OutputSize = std::clamp<uint16_t>(b.OutputSize, 128, 8192);
    if (Opened())
        ApplyBuffers();
}

void TXComm::SetEventChars(const TCommEventChars &c)
{
    eventChars_ = c;
    if (Opened())
        WriteControlBlock();
}

void TXComm::SetTimeouts(const TCommTimeoutsEx &t)
{
    timeouts_ = t;
    if (Opened())
        ApplyTimeouts();
}

void TXComm::SetFlowControl(TFlowControl fc)
{
    flowControl_ = fc;
    DeriveLineSettings();
    if (Opened())
        WriteControlBlock();
}

void TXComm::SetRTSSettings(uint8_t s)
{
    if (flowControl_ != fcCustom)
        return;
    rtsSettings_ = s & 7;
    if (Opened())
        WriteControlBlock();
}

void TXComm::SetDTRSettings(uint8_t s)
{
    if (flowControl_ != fcCustom)
        return;
    dtrSettings_ = s & 7;
    if (Opened())
        WriteControlBlock();
}

void TXComm::SetXOnXOffSettings(uint8_t s)
{
    if (flowControl_ != fcCustom)
        return;
    xonXoffSettings_ = s & 3;
    if (Opened())
        WriteControlBlock();
}

void TXComm::SetOptions(uint8_t o)
{
    if (Opened()) {
        // DTR stays as it was opened.
        options_ = uint8_t((o & ~coLeaveDTROpen) | (options_ & coLeaveDTROpen));
        WriteControlBlock();
    } else {
        options_ = o;
        DeriveLineSettings();
    }
}

void TXComm::DeriveLineSettings()
{
    if (flowControl_ == fcCustom)
        return;
    rtsSettings_ = dtrSettings_ = xonXoffSettings_ = 0;
    switch (flowControl_) {
    case fcRtsCts:
        rtsSettings_ = fsCTSOut | fsRTSHandshake;
        break;
    case fcDtrDsr:
        dtrSettings_ = fsDSROut;
        rtsSettings_ = fsRTSEnabled;
        break;
    case fcSoftware:
        xonXoffSettings_ = fsInX | fsOutX;
        break;
    default:
        break;
    }
    if (flowControl_ != fcNone)
        dtrSettings_ |= fsDTREnabled;
    if (options_ & coLeaveDTROpen)
        dtrSettings_ = uint8_t((dtrSettings_ | fsDTREnabled) & ~fsDTRHandshake);
}

// The control block becomes the terminal's line settings; what a terminal cannot do
// (DSR output flow, DTR handshake, null discarding) stays a stored setting.
void TXComm::WriteControlBlock()
{
    CheckOpen();
    termios2 t{};
    if (::ioctl(fd_, TCGETS2, &t) != 0)
        throw EDeviceError(3, "Unable to update device control block.");
    static const tcflag_t sizes[] = {0, CS5, CS6, CS7, CS8};
    if (dataControl_.DataBits == db4 || dataControl_.DataBits > db8)
        throw EDeviceError(3, "Unable to update device control block.");
    t.c_iflag = IGNBRK;
    if (options_ & coParityCheck)
        t.c_iflag |= INPCK;
    if (xonXoffSettings_ & fsInX)
        t.c_iflag |= IXOFF;
    if (xonXoffSettings_ & fsOutX)
        t.c_iflag |= IXON;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = CREAD | CLOCAL | BOTHER | sizes[dataControl_.DataBits];
    switch (dataControl_.Parity) {
    case paOdd: t.c_cflag |= PARENB | PARODD; break;
    case paEven: t.c_cflag |= PARENB; break;
    case paMark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case paSpace: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (dataControl_.StopBits != sb1)
        t.c_cflag |= CSTOPB;
    if (rtsSettings_ & (fsCTSOut | fsRTSHandshake))
        t.c_cflag |= CRTSCTS;
    t.c_ispeed = t.c_ospeed = baudValue_;
    t.c_cc[VSTART] = eventChars_.XonChar;
    t.c_cc[VSTOP] = eventChars_.XoffChar;
    SetReadTiming(t);
    if (::ioctl(fd_, TCSETS2, &t) != 0)
        throw EDeviceError(3, "Unable to update device control block.");
    SetModemLines();
}

// DTR and RTS lines; a terminal without modem lines (a pseudo-terminal) has nothing to set.
void TXComm::SetModemLines()
{
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    ::ioctl(fd_, (dtrSettings_ & fsDTREnabled) ? TIOCMBIS : TIOCMBIC, &dtr);
    ::ioctl(fd_, (rtsSettings_ & (fsRTSEnabled | fsRTSHandshake)) ? TIOCMBIS : TIOCMBIC, &rts);
}

uint8_t TXComm::RTSSettings() const
{
    if (!Opened())
        return rtsSettings_;
    termios2 t{};
    if (::ioctl(fd_, TCGETS2, &t) != 0)
        return rtsSettings_;
    const uint8_t flow = fsCTSOut | fsRTSHandshake;
    return uint8_t((rtsSettings_ & ~flow) | ((t.c_cflag & CRTSCTS) ? flow : 0));
}

uint8_t TXComm::DTRSettings() const { return dtrSettings_; }

uint8_t TXComm::XOnXOffSettings() const
{
    if (!Opened())
        return xonXoffSettings_;
    termios2 t{};
    if (::ioctl(fd_, TCGETS2, &t) != 0)
        return xonXoffSettings_;
    return uint8_t(((t.c_iflag & IXOFF) ? fsInX : 0) | ((t.c_iflag & IXON) ? fsOutX : 0));
}

// A terminal's queues have a fixed size: the sizes bound what a send puts in the output queue.
void TXComm::ApplyBuffers()
{
    CheckOpen();
    if (::ioctl(fd_, TCFLSH, TCIOFLUSH) != 0)
        throw EDeviceError(6, "Unable to update IO buffers.");
}

// Of the device time-outs a terminal can hold only the gap allowed between received bytes (in
// tenths of a second, at most 25.5 s); reads and writes otherwise wait by their own clocks.
void TXComm::SetReadTiming(termios2 &t) const
{
    const uint32_t tenths = timeouts_.ReadInterval == UINT32_MAX ? 0 : (uint64_t(timeouts_.ReadInterval) + 99) / 100;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = uint8_t(std::min<uint32_t>(tenths, 255));
}

void TXComm::ApplyTimeouts()
{
    CheckOpen();
    termios2 t{};
    if (::ioctl(fd_, TCGETS2, &t) != 0)
        throw EDeviceError(7, "Unable to update Timeouts.");
    SetReadTiming(t);
    if (::ioctl(fd_, TCSETS2, &t) != 0)
        throw EDeviceError(7, "Unable to update Timeouts.");
}

bool TXComm::ReadLineState(TLineState &state) const
{
    int lines = 0;
    if (fd_ < 0 || ::ioctl(fd_, TIOCMGET, &lines) != 0)
        return false;
    state = {};
    state.Lines = uint32_t(lines) & (TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI);
    serial_icounter_struct count{};
    if (::ioctl(fd_, TIOCGICOUNT, &count) == 0) { // not every driver counts
        state.Cts = uint32_t(count.cts);
        state.Dsr = uint32_t(count.dsr);
        state.Dcd = uint32_t(count.dcd);
        state.Rings = uint32_t(count.rng);
        state.Breaks = uint32_t(count.brk);
        state.Errors = uint32_t(count.frame) + uint32_t(count.overrun) + uint32_t(count.parity) +
                       uint32_t(count.buf_overrun);
    }
    return true;
}

uint32_t TXComm::InQueCount() const
{
    CheckOpen();
    int n = 0;
    return ::ioctl(fd_, FIONREAD, &n) == 0 && n > 0 ? uint32_t(n) : 0;
}

uint32_t TXComm::OutQueCount() const
{
    CheckOpen();
    int n = 0;
    return ::ioctl(fd_, TIOCOUTQ, &n) == 0 && n > 0 ? uint32_t(n) : 0;
}

uint32_t TXComm::SendData(const uint8_t *data, uint32_t count, int timeoutMs)
{
    CheckOpen();
    if (sending_)
        throw EDeviceError(4, "Device locked. Cannot perform send operations.");
    if (count == 0)
        return 0;
    const int timeout = timeoutMs < 0 ? buffers_.OutputTimeout : timeoutMs;
    const auto start = Clock::now();
    uint32_t sent = 0;
    while (sent < count) {
        const uint32_t queued = OutQueCount();
        ssize_t n = 0;
        if (queued < buffers_.OutputSize) {
            const uint32_t chunk = std::min(buffers_.OutputSize - queued, count - sent);
            n = ::write(fd_, data + sent, chunk);
            if (n < 0) {
                if (errno != EAGAIN && errno != EINTR)
                    throw EDeviceError(11, SystemErrorText("Unable to write to port.", errno));
                n = 0;
            }
        }
        if (n > 0) {
            DeliverEvents(deOutEmpty);
            sent += uint32_t(n);
            totalSent_ += uint64_t(n);
            sending_ = true;
            if (OnSend)
                OnSend(this, data + sent - n, uint32_t(n));
            sending_ = false;
            continue;
        }
        const int left = timeout - ElapsedMs(start);
        if (left <= 0)
            break;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, std::min(left, 10)) > 0 && !(p.revents & POLLOUT))
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // hung up: no busy wait
    }
    return sent;
}

bool TXComm::SendByte(uint8_t b, int timeoutMs) { return SendData(&b, 1, timeoutMs) == 1; }

uint32_t TXComm::ReadData(uint8_t *data, uint32_t count, int timeoutMs)
{
    CheckOpen();
    if (receiving_)
        throw EDeviceError(5, "Device locked. Cannot perform read operations.");
    const int timeout = timeoutMs < 0 ? buffers_.InputTimeout : timeoutMs;
    const auto start = Clock::now();
    uint32_t got = 0;
    while (got < count) {
        const uint32_t available = InQueCount();
        if (available > 0) {
            ssize_t n = ::read(fd_, data + got, std::min(available, count - got));
            if (n < 0) {
                if (errno != EAGAIN && errno != EINTR)
                    throw EDeviceError(10, SystemErrorText("Unable to read from port.", errno));
                n = 0;
            }
            got += uint32_t(n);
            totalReceived_ += uint64_t(n);
            receiving_ = true;
            if (OnRead && n > 0)
                OnRead(this, data + got - n, uint32_t(n));
            receiving_ = false;
            if (n > 0)
                continue;
        }
        const int left = timeout - ElapsedMs(start);
        if (left <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, std::min(left, 10)) > 0 && InQueCount() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // hung up: no busy wait
    }
    return got;
}

void TXComm::DeliverEvents(uint32_t mask)
{
    if (destroying_ || !Opened())
        return;
    if ((mask & (deChar | deFlag)) && OnData) {
        const uint32_t n = InQueCount();
        OnData(this, n);
        if (destroying_ || !Opened())
            return;
    }
    if (OnCommEvent && (mask & monitorEvents_))
        OnCommEvent(this, mask & monitorEvents_);
}

void TXComm::DeliverLost()
{
    if (!destroying_ && Opened() && OnDeviceLost)
        OnDeviceLost(this);
}

// ---- comm-event thread ----

TCommEventThread::TCommEventThread(TXComm *port) : port_(port), fd_(port->fd_)
{
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // The lines as the port was opened: a change from here on is an event.
    hasLines_ = port_->ReadLineState(lines_);
    thread_ = std::thread([this] { Execute(); });
}

TCommEventThread::~TCommEventThread()
{
    {
        std::lock_guard l(mutex_);
        stop_ = true;
        *stopped_ = true;
    }
    cond_.notify_all();
    if (stopFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(stopFd_, &one, sizeof one);
    }
    if (thread_.joinable())
        thread_.join();
    if (stopFd_ >= 0)
        ::close(stopFd_);
}

bool TCommEventThread::WaitStop(int ms)
{
    std::unique_lock l(mutex_);
    return cond_.wait_for(l, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

// Hands the events over and waits until they were handled, or until the port stops: a port
// closed from inside its own handler must not wait for this thread's hand-over.
bool TCommEventThread::Deliver(uint32_t mask)
{
    if (!port_->synchronize_ || !QCoreApplication::instance()) {
        port_->DeliverEvents(mask);
        return true;
    }
    struct Call {
        std::mutex mutex;
        std::condition_variable cond;
        bool done = false;
    };
    auto call = std::make_shared<Call>();
    auto *port = port_;
    // The call may run after this thread is gone (never after the port is: it owns the context).
    QMetaObject::invokeMethod(port_->context_.get(), [call, port, mask, stopped = stopped_] {
        if (!*stopped)
            port->DeliverEvents(mask);
        {
            std::lock_guard l(call->mutex);
            call->done = true;
        }
        call->cond.notify_all();
    }, Qt::QueuedConnection);
    std::unique_lock l(call->mutex);
    while (!call->done && !stop_)
        call->cond.wait_for(l, std::chrono::milliseconds(10));
    return !stop_;
}

// The device went away: told once, without waiting (the handler may close the port).
void TCommEventThread::DeliverLost()
{
    if (!port_->synchronize_ || !QCoreApplication::instance()) {
        port_->DeliverLost();
        return;
    }
    auto *port = port_;
    QMetaObject::invokeMethod(port_->context_.get(), [port, stopped = stopped_] {
        if (!*stopped)
            port->DeliverLost();
    }, Qt::QueuedConnection);
}

namespace {

// The events between two looks at the lines: a line that changed, or whose counter moved (it
// may have gone and come back in between).
uint32_t LineEvents(const TLineState &was, const TLineState &now)
{
    const uint32_t changed = was.Lines ^ now.Lines;
    uint32_t mask = 0;
    if ((changed & TIOCM_CTS) || was.Cts != now.Cts)
        mask |= deCTS;
    if ((changed & TIOCM_DSR) || was.Dsr != now.Dsr)
        mask |= deDSR;
    if ((changed & TIOCM_CD) || was.Dcd != now.Dcd)
        mask |= deRLSD;
    if ((changed & now.Lines & TIOCM_RI) || was.Rings != now.Rings)
        mask |= deRing;
    if (was.Breaks != now.Breaks)
        mask |= deBreak;
    if (was.Errors != now.Errors)
        mask |= deError;
    return mask;
}

} // namespace

void TCommEventThread::Execute()
{
    // Lines are looked at every 10 ms where the device has them; data wakes the thread at once.
    TLineState lines = lines_;
    const bool hasLines = hasLines_;
    while (!stop_) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int ready = ::poll(p, 2, hasLines ? 10 : -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (stop_ || p[1].revents)
            break;
        uint32_t mask = 0;
        if (hasLines) {
            TLineState now;
            if (port_->ReadLineState(now)) {
                mask |= LineEvents(lines, now);
                lines = now;
            }
        }
        int queued = 0;
        const bool data = (p[0].revents & POLLIN) && ::ioctl(fd_, FIONREAD, &queued) == 0 && queued > 0;
        if (data)
            mask |= deChar;
        if (mask && !Deliver(mask))
            break;
        if (data) {
            // Bytes nobody took yet: look again shortly rather than spin on them.
            if (::ioctl(fd_, FIONREAD, &queued) == 0 && queued > 0 && WaitStop(10))
                break;
            continue;
        }
        if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            DeliverLost(); // the device is gone: the view hears of it, the thread ends
            break;
        }
        if (!hasLines && ready > 0 && WaitStop(10))
            break;
    }
}

} // namespace strandel
