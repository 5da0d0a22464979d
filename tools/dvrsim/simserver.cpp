#include "simserver.h"

#include "simaudio.h"
#include "viewer/audio/imaadpcm.h"

#include <fstream>

#include "platform/endian.h"
#include "viewer/link/crc32.h"
#include "viewer/link/dvrframing.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace strandel::sim {

namespace {

// A recorder serves a few viewers; more connections are closed at once.
constexpr size_t kMaxConnections = 32;
// Bytes a connection may have waiting before it counts as dead.
constexpr size_t kMaxQueued = size_t(64) << 20;

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

speed_t BaudConstant(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    default: return B115200;
    }
}

void MakeRaw(int fd, int baud)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return;
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, BaudConstant(baud));
    t.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &t);
}

// A serial frame whose CRC may be spoilt on purpose: '{', the stuffed header, payload and CRC, '~'.
void AppendSerialFrame(std::vector<uint8_t> &out, uint8_t cmd, uint8_t flag, const uint8_t *data, size_t length,
                       uint32_t crcXor)
{
    std::vector<uint8_t> raw(4 + length + 4);
    raw[0] = cmd;
    raw[1] = flag;
    PutBe16(raw.data() + 2, uint16_t(length));
    if (length)
        std::memcpy(raw.data() + 4, data, length);
    PutLe32(raw.data() + 4 + length, FrameCrc(cmd, flag, data, uint16_t(length)) ^ crcXor);
    out.push_back(kSerialStart);
    const size_t at = out.size();
    out.resize(at + 2 * raw.size());
    out.resize(at + StuffBytes(raw.data(), raw.size(), out.data() + at));
    out.push_back(kSerialEnd);
}

} // namespace

struct DvrSimServer::Connection : SimLink {
    int fd = -1;
    bool serial = false;
    std::string name;
    std::vector<uint8_t> out;
    size_t sent = 0;
    TcpReceiver tcpRx;
    SerialReceiver serialRx;
    std::unique_ptr<SimSession> session;

    void SendPacket(uint8_t cmd, uint8_t flag, const uint8_t *data, size_t length, FrameFault fault) override
    {
        if (length > size_t(kMaxPayload))
            return; // sessions segment long replies; nothing longer reaches here
        if (fault == FrameFault::Garbage) {
            // Eight bytes keep a TCP reader on its 4-byte grid; a serial reader drops them at '{'.
            static const char kJunk[] = "GARBAGE!";
            out.insert(out.end(), kJunk, kJunk + 8);
        } else if (fault == FrameFault::Oversize) {
            if (serial) {
                out.push_back(kSerialStart);
                out.insert(out.end(), 1100, 0x55);
                out.push_back(kSerialEnd);
            } else {
                const uint8_t head[8] = {'H', 'E', 'A', 'D', cmd, flag, 0x05, 0x00}; // 1280 bytes announced
                out.insert(out.end(), head, head + 8);
            }
        }
        const uint32_t crcXor = fault == FrameFault::BadCrc ? 0xFFFFFFFFu : 0;
        if (serial) {
            AppendSerialFrame(out, cmd, flag, data, length, crcXor);
        } else {
            const size_t at = out.size();
            out.resize(at + kTcpFrameOverhead + length);
            BuildTcpFrame(out.data() + at, cmd, flag, data, uint32_t(length));
            uint8_t *crc = out.data() + out.size() - 4;
            PutLe32(crc, GetLe32(crc) ^ crcXor);
        }
    }
    size_t Backlog() const override { return out.size() - sent; }
    const std::string &Name() const override { return name; }

    // Writes what the descriptor takes now; false when the peer is gone.
    bool Flush()
    {
        while (sent < out.size()) {
            const ssize_t n = serial ? ::write(fd, out.data() + sent, out.size() - sent)
                                     : ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += size_t(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                break;
            } else {
                return serial; // a serial line stays; its bytes are lost
            }
        }
        if (sent == out.size()) {
            out.clear();
            sent = 0;
        } else if (sent > (size_t(1) << 20)) {
            out.erase(out.begin(), out.begin() + std::ptrdiff_t(sent));
            sent = 0;
        }
        return true;
    }
};

DvrSimServer::DvrSimServer(SimOptions options) : options_(std::move(options)) {}

DvrSimServer::~DvrSimServer() { Stop(); }

bool DvrSimServer::Start(std::string &error)
{
    recorder_ = std::make_unique<SimRecorder>(options_);
    if (!options_.envFile.empty() && !recorder_->LoadEnv(options_.envFile, error))
        return false;
    source_ = MakeVideoSource(options_, error);
    if (!source_)
        return false;
    std::vector<uint8_t> audio;
    if (!LoadSimAudio(options_, audio, error))
        return false;
    recorder_->SetAudioBlocks(std::move(audio));
    if (!options_.transcript.empty() && !transcript_.Open(options_.transcript)) {
        error = "cannot write the transcript " + options_.transcript;
        return false;
    }
    faults_ = options_.faults;

    if (!options_.listenHost.empty()) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(options_.listenPort));
        const std::string host = options_.listenHost == "localhost" ? "127.0.0.1" : options_.listenHost;
        if (::inet_pton(AF_INET, host.c_str(), &a.sin_addr) != 1) {
            error = "--listen: '" + options_.listenHost + "' is no IPv4 address";
            return false;
        }
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const int on = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
            ::listen(listenFd_, 8) != 0) {
            error = "cannot listen on " + host + ":" + std::to_string(options_.listenPort) + ": " + std::strerror(errno);
            Stop();
            return false;
        }
        socklen_t len = sizeof a;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&a), &len);
        tcpPort_ = ntohs(a.sin_port);
    }

    if (options_.pty) {
        char name[256] = {};
        if (::openpty(&serialFd_, &ptySlaveFd_, name, nullptr, nullptr) != 0) {
            error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
            Stop();
            return false;
        }
        MakeRaw(ptySlaveFd_, options_.baud);
        serialPath_ = name;
    } else if (!options_.serialPath.empty()) {
        serialFd_ = ::open(options_.serialPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (serialFd_ < 0) {
            error = "cannot open " + options_.serialPath + ": " + std::strerror(errno);
            Stop();
            return false;
        }
        MakeRaw(serialFd_, options_.baud);
        serialPath_ = options_.serialPath;
    }
    if (serialFd_ >= 0) {
        SetNonBlocking(serialFd_);
        auto c = std::make_unique<Connection>();
        c->fd = serialFd_;
        c->serial = true;
        c->name = options_.pty ? "pty" : "serial";
        c->session = std::make_unique<SimSession>(*recorder_, *source_, options_, *c, faults_, &transcript_);
        transcript_.Event(c->name, "open " + serialPath_);
        connections_.push_back(std::move(c));
    }

    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = "cannot create a pipe";
        Stop();
        return false;
    }
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void DvrSimServer::Stop()
{
    stop_ = true;
    if (wake_[1] >= 0) {
        const char b = 0;
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
    }
    if (thread_.joinable())
        thread_.join();
    std::lock_guard l(mutex_);
    while (!connections_.empty())
        Close(connections_.size() - 1);
    for (int *fd : {&listenFd_, &ptySlaveFd_, &wake_[0], &wake_[1]})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    serialFd_ = -1; // closed with its connection
    if (!options_.audioSave.empty() && recorder_ && !audioSaved_) {
        audioSaved_ = true;
        const std::vector<uint8_t> &blocks = recorder_->ReceivedAudio();
        const std::vector<uint8_t> wav =
            WriteImaWav(blocks, uint32_t(blocks.size() / kImaBlockSize * kImaSamplesPerBlock));
        std::ofstream out(options_.audioSave, std::ios::binary);
        out.write(reinterpret_cast<const char *>(wav.data()), std::streamsize(wav.size()));
    }
}

void DvrSimServer::Close(size_t index)
{
    Connection &c = *connections_[index];
    closedAlive_ += c.session->AliveCount();
    closedRecords_ += c.session->RecordsPushed();
    transcript_.Event(c.name, "close");
    ::close(c.fd);
    connections_.erase(connections_.begin() + std::ptrdiff_t(index));
}

void DvrSimServer::Accept()
{
    for (;;) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr *>(&peer), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        if (connections_.size() >= kMaxConnections) {
            transcript_.Event("tcp", "refused: too many connections");
            ::close(fd);
            continue;
        }
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->name = "tcp" + std::to_string(nextId_++);
        c->session = std::make_unique<SimSession>(*recorder_, *source_, options_, *c, faults_, &transcript_);
        char addr[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, addr, sizeof addr);
        transcript_.Event(c->name, std::string("connect ") + addr + ":" + std::to_string(ntohs(peer.sin_port)));
        connections_.push_back(std::move(c));
    }
}

bool DvrSimServer::ReadFrom(Connection &c)
{
    auto sink = [&c](const PacketHeader &h, const uint8_t *p) { c.session->OnPacket(h, p); };
    uint8_t buf[16384];
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::read(c.fd, buf, sizeof buf);
        if (n > 0) {
            if (c.serial)
                c.serialRx.Feed(buf, size_t(n), sink);
            else
                c.tcpRx.Feed(buf, size_t(n), sink);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        return c.serial; // end of stream or error: a TCP peer has gone
    }
    return true;
}

void DvrSimServer::Run()
{
    using Clock = SimSession::Clock;
    std::vector<pollfd> fds;
    while (!stop_) {
        int timeoutMs = 50;
        fds.clear();
        fds.push_back({wake_[0], POLLIN, 0});
        if (listenFd_ >= 0)
            fds.push_back({listenFd_, POLLIN, 0});
        const size_t first = fds.size();
        {
            std::lock_guard l(mutex_);
            const auto now = Clock::now();
            for (auto &c : connections_) {
                fds.push_back({c->fd, short(POLLIN | (c->Backlog() ? POLLOUT : 0)), 0});
                const auto wake = c->session->NextWake(now);
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
                timeoutMs = int(std::clamp<int64_t>(ms, 0, timeoutMs));
            }
        }
        ::poll(fds.data(), fds.size(), timeoutMs);
        if (stop_)
            break;
        std::lock_guard l(mutex_);
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if (listenFd_ >= 0 && (fds[1].revents & POLLIN))
            Accept();
        // The connections polled are the first ones of the list; accepted ones follow them.
        std::vector<bool> gone(connections_.size(), false);
        for (size_t i = first; i < fds.size(); ++i) {
            Connection &c = *connections_[i - first];
            const short ev = fds[i].revents;
            if ((ev & (POLLIN | POLLHUP | POLLERR)) && !ReadFrom(c))
                gone[i - first] = true;
        }
        const auto now = Clock::now();
        for (size_t i = 0; i < connections_.size(); ++i) {
            Connection &c = *connections_[i];
            if (gone[i])
                continue;
            if (c.session->DropDue(now)) {
                transcript_.Event(c.name, "drop");
                if (c.serial) {
                    closedAlive_ += c.session->AliveCount();
                    closedRecords_ += c.session->RecordsPushed();
                    c.session = std::make_unique<SimSession>(*recorder_, *source_, options_, c, faults_, &transcript_);
                    continue;
                }
                gone[i] = true;
                continue;
            }
            c.session->Tick(now);
            if (!c.Flush())
                gone[i] = true;
            if (c.Backlog() > kMaxQueued) {
                // A peer that asks and never reads: drop it (a serial line just loses the bytes).
                transcript_.Event(c.name, "overflow");
                if (c.serial) {
                    c.out.clear();
                    c.sent = 0;
                } else {
                    gone[i] = true;
                }
            }
        }
        for (size_t i = connections_.size(); i-- > 0;)
            if (gone[i])
                Close(i);
    }
}

void DvrSimServer::InjectFault(FaultKind kind, int count)
{
    std::lock_guard l(mutex_);
    faults_[size_t(kind)] += count;
}

int DvrSimServer::PendingFaults(FaultKind kind) const
{
    std::lock_guard l(mutex_);
    return faults_[size_t(kind)];
}

int DvrSimServer::AliveCount() const
{
    std::lock_guard l(mutex_);
    int n = closedAlive_;
    for (const auto &c : connections_)
        n += c->session->AliveCount();
    return n;
}

uint64_t DvrSimServer::RecordsPushed() const
{
    std::lock_guard l(mutex_);
    uint64_t n = closedRecords_;
    for (const auto &c : connections_)
        n += c->session->RecordsPushed();
    return n;
}

int DvrSimServer::LoggedInSessions() const
{
    std::lock_guard l(mutex_);
    int n = 0;
    for (const auto &c : connections_)
        n += c->session->LoggedIn() ? 1 : 0;
    return n;
}

int DvrSimServer::Connections() const
{
    std::lock_guard l(mutex_);
    return int(connections_.size());
}

} // namespace strandel::sim
