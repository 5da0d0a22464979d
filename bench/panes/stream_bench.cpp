// A recorder on a loopback socket pushes 16 JPEG channels at 25 pictures a second each to one
// view. Prints the pictures shown per second per pane, the delay from push to pane, and the
// CPU time the process needs.
#include <QApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <thread>
#include <vector>

#include "platform/endian.h"
#include "platform/jpeg.h"
#include "viewer/view/dvrch.h"
#include "viewer/protocol/dvrcommand.h"
#include "viewer/link/dvrframing.h"
#include "viewer/view/dvrwin.h"

using namespace strandel;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChannels = 16, kFps = 25, kSeconds = 5;

uint32_t NowMs()
{
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
}

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

std::vector<uint8_t> CameraPicture(int channel)
{
    std::vector<uint32_t> px(704 * 480);
    std::mt19937 rng{uint32_t(channel)};
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 704; ++x) {
            const uint32_t n = rng() % 9;
            px[size_t(y) * 704 + size_t(x)] = 0xFF000000u | (uint32_t(x * 255 / 704) + n) << 16 | (uint32_t(y / 2) + n) << 8 | uint32_t(channel * 12);
        }
    std::vector<uint8_t> out;
    JpegEncode(px.data(), 704, 480, 704, 75, out);
    return out;
}

bool SendPacket(int fd, uint8_t cmd, uint8_t flag, const uint8_t *data, uint32_t length)
{
    std::vector<uint8_t> frame(kTcpFrameOverhead + length);
    BuildTcpFrame(frame.data(), cmd, flag, data, length);
    return ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) == ssize_t(frame.size());
}

// One record as a recorder pushes it: part 0 in packets, its end mark, then the header.
bool SendRecord(int fd, FrameRecordHeader h, const std::vector<uint8_t> &part0)
{
    for (size_t at = 0; at < part0.size(); at += kMaxPayload) {
        const uint32_t n = uint32_t(std::min<size_t>(kMaxPayload, part0.size() - at));
        if (!SendPacket(fd, DvrCmdRecord, at == 0 ? DvrFlagPartFirst : DvrFlagPart, part0.data() + at, n))
            return false;
    }
    uint8_t end[5];
    PutLe32(end, uint32_t(part0.size()));
    end[4] = h.frameId;
    if (!SendPacket(fd, DvrCmdRecord, DvrFlagPartEnd, end, 5))
        return false;
    const auto bytes = h.ToBytes();
    return SendPacket(fd, DvrCmdRecord, DvrFlagRecordHeader, bytes.data(), uint32_t(bytes.size()));
}

void Recorder(int listenFd, const std::atomic<bool> &stop)
{
    std::vector<std::vector<uint8_t>> parts;
    for (int c = 1; c <= kChannels; ++c) {
        std::vector<uint8_t> p(kJpegRecordPrefix, 0);
        const auto jpeg = CameraPicture(c);
        p.insert(p.end(), jpeg.begin(), jpeg.end());
        parts.push_back(std::move(p));
    }
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    TcpReceiver rx;
    bool streaming = false;
    uint8_t id = 0;
    auto next = Clock::now();
    while (!stop) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, streaming ? 0 : 10) > 0) {
            uint8_t buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            rx.Feed(buf, size_t(n), [&](const PacketHeader &h, const uint8_t *) {
                if (h.cmd == DvrCmdLogin && !streaming) {
                    const uint8_t answer[9] = {DvrLoginMaster, kChannels, 0x01, 1, 2, 3, 4, 5, 6};
                    streaming = SendPacket(fd, DvrCmdLogin, 0, answer, 9);
                }
            });
        }
        if (!streaming)
            continue;
        std::this_thread::sleep_until(next);
        next += std::chrono::microseconds(1000000 / kFps);
        for (int c = 1; c <= kChannels; ++c) {
            FrameRecordHeader h;
            h.channel = uint8_t(c);
            h.frameId = ++id;
            h.sizeCode = 0;
            h.directShow = 1;
            h.liveMask = 0xFFFF;
            h.timeValue = NowMs(); // the push time rides in the record time
            h.partSize = {uint32_t(parts[size_t(c - 1)].size()), 0, 0};
            h.jpegLength = h.partSize[0];
            if (!SendRecord(fd, h, parts[size_t(c - 1)]))
                break;
        }
    }
    ::close(fd);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listenFd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::listen(listenFd, 1);
    socklen_t len = sizeof a;
    ::getsockname(listenFd, reinterpret_cast<sockaddr *>(&a), &len);
    std::atomic<bool> stop{false};
    std::thread recorder(Recorder, listenFd, std::cref(stop));

    DvrListRecord entry;
    entry.kind = uint8_t(DvrKind::Network);
    entry.ip = {127, 0, 0, 1};
    entry.port = ntohs(a.sin_port);
    TfrmDvrWin view;
    view.resize(1920, 1080 + 20);
    view.show();
    view.CreateConnection(&entry);
    view.StartConnection();

    // Warm up until every pane shows something, then measure.
    const auto warmUntil = Clock::now() + std::chrono::seconds(10);
    auto allShowing = [&] {
        for (int i = 0; i < kChannels; ++i)
            if (!view.Pane(i)->IsShowing())
                return false;
        return true;
    };
    while (!allShowing() && Clock::now() < warmUntil)
        app.processEvents(QEventLoop::AllEvents, 1);
    // Let the backlog of the start (the login pause) drain first.
    const auto settled = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < settled)
        app.processEvents(QEventLoop::AllEvents, 1);

    std::vector<uint32_t> lastTime(kChannels, 0);
    std::vector<int> shown(kChannels, 0);
    std::vector<uint32_t> delays;
    const double cpu0 = CpuSeconds();
    const auto start = Clock::now(), until = start + std::chrono::seconds(kSeconds);
    while (Clock::now() < until) {
        app.processEvents(QEventLoop::AllEvents, 1);
        const uint32_t now = NowMs();
        for (int i = 0; i < kChannels; ++i) {
            const uint32_t t = view.Pane(i)->ShownHeader().timeValue;
            if (t != lastTime[size_t(i)]) {
                lastTime[size_t(i)] = t;
                ++shown[size_t(i)];
                delays.push_back(now - t);
            }
        }
    }
    const double cpu = CpuSeconds() - cpu0;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    view.CloseConnection();
    recorder.join();
    ::close(listenFd);

    std::sort(delays.begin(), delays.end());
    const auto [lo, hi] = std::minmax_element(shown.begin(), shown.end());
    std::printf("%d channels pushed at %d pictures/s (704 x 480 JPEG) for %.1f s\n", kChannels, kFps, seconds);
    std::printf("pictures shown per pane per second: min %.1f, max %.1f\n", *lo / seconds, *hi / seconds);
    if (!delays.empty())
        std::printf("push-to-pane delay: median %u ms, 95th percentile %u ms, max %u ms\n", delays[delays.size() / 2],
                    delays[delays.size() * 95 / 100], delays.back());
    std::printf("CPU time: %.2f s in %.1f s (%.0f%% of one core, recorder thread included)\n", cpu, seconds,
                100.0 * cpu / seconds);
    return 0;
}
