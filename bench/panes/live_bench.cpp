// Recorders push live pictures over loopback to offscreen recorder views; the figures say what
// the viewer costs. The recorders run in a child process that sleeps between pushes, so the
// process CPU clock of this program counts the viewer's threads only.
//
// Cases (all by default, each in a fresh process; or name them as arguments):
//   jpeg16   JPEG D1 x16 at 25 pictures/s, 1 view (direct path)
//   mpeg16   MPEG-4 D1 x16 at 25 pictures/s, 1 view (play rings and scheduler)
//   views1, views4, views16   MPEG-4 D1 x16 at 6 pictures/s, N views each on its own recorder
// Each case prints the pictures shown per pane per second against those pushed (a gap in a
// pane's record times is a picture pushed and never shown), the delay from push to pane, the viewer's CPU beside the floor (the same pictures decoded and converted to
// 32-bit pixels alone on one thread, measured in this run), the resident memory per view, and
// ends with one summary line. views16 also opens and closes its 16 views ten times and prints
// the resident memory before and after. mpeg16 also runs ffmpeg, when it is installed, on the
// same 16 streams as a viewer of its own would: one decoding thread each, each picture scaled to
// the pane's size (nearest sampling, as the panes draw) and converted to 32-bit, the 16 stacked
// into one picture; its CPU at the pushed rate and the ratio of ours to it close the case.
#include <QApplication>
#include <QFile>
#include <QTimer>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/endian.h"
#include "platform/jpeg.h"
#include "platform/pages.h"
#include "tools/dvrsim/videosource.h"
#include "viewer/link/dvrframing.h"
#include "viewer/protocol/dvrcommand.h"
#include "viewer/view/dvrch.h"
#include "viewer/view/dvrwin.h"
#include "viewer/view/lumasethost.h"
#include "graphics/widgets/rx32_image.h"

using namespace strandel;
using namespace strandel::sim;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChannels = 16;
constexpr int kWidth = 704, kHeight = 480;

struct Case {
    const char *key;
    const char *name;
    bool mpeg;
    int fps;
    int views;
};
const Case kCases[] = {
    {"jpeg16", "JPEG D1 x16, 1 view", false, 25, 1},
    {"mpeg16", "MPEG-4 D1 x16, 1 view", true, 25, 1},
    {"views1", "MPEG-4 D1 x16 at 6/s, 1 view", true, 6, 1},
    {"views4", "MPEG-4 D1 x16 at 6/s, 4 views", true, 6, 4},
    {"views16", "MPEG-4 D1 x16 at 6/s, 16 views", true, 6, 16},
};

uint32_t NowMs()
{
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count()) &
           0x7FFFFFFFu;
}

double Cpu(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double RssMb()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// ---- The pictures

std::vector<uint8_t> CameraJpeg(int channel)
{
    std::vector<uint32_t> px(size_t(kWidth) * kHeight);
    std::mt19937 rng{uint32_t(channel)};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t n = rng() % 9;
            px[size_t(y) * kWidth + size_t(x)] =
                0xFF000000u | (uint32_t(x * 255 / kWidth) + n) << 16 | (uint32_t(y / 2) + n) << 8 | uint32_t(channel * 12);
        }
    std::vector<uint8_t> out;
    JpegEncode(px.data(), kWidth, kHeight, kWidth, 75, out);
    return out;
}

std::vector<std::vector<uint8_t>> Mpeg4Frames()
{
    QFile f(QStringLiteral(BENCH_DATA "/d1_ip.m4v"));
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", BENCH_DATA "/d1_ip.m4v");
        std::exit(1);
    }
    const QByteArray es = f.readAll();
    return SplitMpeg4Frames(reinterpret_cast<const uint8_t *>(es.constData()), size_t(es.size()));
}

// The part-0 data of every record a channel pushes, in push order (looped).
std::vector<std::vector<uint8_t>> ChannelRecords(const Case &c, int channel)
{
    std::vector<std::vector<uint8_t>> out;
    if (!c.mpeg) {
        std::vector<uint8_t> p(kJpegPrefixSize, 0);
        const auto jpeg = CameraJpeg(channel);
        p.insert(p.end(), jpeg.begin(), jpeg.end());
        out.push_back(std::move(p));
        return out;
    }
    uint32_t pts = 0;
    for (const auto &frame : Mpeg4Frames()) {
        std::vector<uint8_t> p;
        AppendMpegPacket(p, frame.data(), frame.size(), channel, pts, uint16_t(60 / c.fps));
        pts += 90000 / uint32_t(c.fps);
        out.push_back(std::move(p));
    }
    return out;
}

// ---- The recorders (child process)

bool SendPacket(int fd, uint8_t cmd, uint8_t flag, const uint8_t *data, uint32_t length, std::vector<uint8_t> &buf)
{
    buf.resize(kTcpFrameOverhead + length);
    BuildTcpFrame(buf.data(), cmd, flag, data, length);
    return ::send(fd, buf.data(), buf.size(), MSG_NOSIGNAL) == ssize_t(buf.size());
}

bool SendRecord(int fd, const FrameRecordHeader &h, const std::vector<uint8_t> &part0, std::vector<uint8_t> &buf)
{
    for (size_t at = 0; at < part0.size(); at += kMaxPayload) {
        const uint32_t n = uint32_t(std::min<size_t>(kMaxPayload, part0.size() - at));
        if (!SendPacket(fd, DvrCmdRecord, at == 0 ? DvrFlagPartFirst : DvrFlagPart, part0.data() + at, n, buf))
            return false;
    }
    uint8_t end[5];
    PutLe32(end, uint32_t(part0.size()));
    end[4] = h.frameId;
    if (!SendPacket(fd, DvrCmdRecord, DvrFlagPartEnd, end, 5, buf))
        return false;
    const auto bytes = h.ToBytes();
    return SendPacket(fd, DvrCmdRecord, DvrFlagRecordHeader, bytes.data(), uint32_t(bytes.size()), buf);
}

// One recorder: serves one connection after the other until the parent goes. Between pushes it
// sleeps in poll() until the next push is due.
void Recorder(const Case &c, int listenFd, const std::vector<std::vector<std::vector<uint8_t>>> &records)
{
    std::vector<uint8_t> buf;
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        const int big = 4 << 20;
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
        TcpReceiver rx;
        bool streaming = false, open = true;
        uint8_t id = 0;
        uint64_t k = 0;
        auto next = Clock::now();
        while (open) {
            int timeout = -1;
            if (streaming)
                timeout = int(std::max<int64_t>(
                    0, std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count()));
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, timeout) > 0) {
                uint8_t in[4096];
                const ssize_t n = ::recv(fd, in, sizeof in, 0);
                if (n <= 0)
                    break;
                rx.Feed(in, size_t(n), [&](const PacketHeader &h, const uint8_t *) {
                    if (h.cmd == DvrCmdLogin && !streaming) {
                        // master login, 16 channels, model 0 NTSC
                        const uint8_t answer[9] = {DvrLoginMaster, kChannels, 0x01, 1, 2, 3, 4, 5, 6};
                        streaming = SendPacket(fd, DvrCmdLogin, 0, answer, 9, buf);
                        next = Clock::now();
                    }
                });
                continue;
            }
            if (!streaming || Clock::now() < next)
                continue;
            next += std::chrono::microseconds(1000000 / c.fps);
            for (int ch = 1; ch <= kChannels && open; ++ch) {
                const auto &list = records[size_t(ch - 1)];
                const std::vector<uint8_t> &part0 = list[k % list.size()];
                FrameRecordHeader h;
                h.channel = uint8_t(ch);
                h.frameId = ++id;
                h.sizeCode = 0;
                h.directShow = c.mpeg ? 0 : 1;
                h.liveMask = 0xFFFF;
                h.timeValue = NowMs(); // the push time rides in the record time
                h.partSize = {uint32_t(part0.size()), 0, 0};
                if (!c.mpeg)
                    h.jpegLength = h.partSize[0];
                open = SendRecord(fd, h, part0, buf);
            }
            ++k;
        }
        ::close(fd);
    }
}

// ---- The floor

// The same pictures decoded and converted to 32-bit pixels on this one thread: the share of a
// core the pushed rate needs at that speed.
double FloorPercent(const Case &c, const std::vector<std::vector<uint8_t>> &records)
{
    std::vector<uint32_t> out(size_t(720) * 576);
    const clockid_t self = CLOCK_THREAD_CPUTIME_ID;
    int pictures = 0;
    double cpu = 0;
    if (!c.mpeg) {
        const auto &p = records[0];
        const double t0 = Cpu(self);
        for (; pictures < 300; ++pictures)
            JpegDecodeInto(
                p.data() + kJpegPrefixSize, p.size() - kJpegPrefixSize,
                [&](int, int, size_t *stride) {
                    *stride = size_t(kWidth);
                    return out.data();
                },
                nullptr);
        cpu = Cpu(self) - t0;
    } else {
        LumasetLibrary lib;
        if (!lib.IsLoaded()) {
            std::fprintf(stderr, "%s\n", qPrintable(lib.Error()));
            std::exit(1);
        }
        DecoderParams params{};
        params.codec_type = CodecMpeg4;
        params.width = kWidth;
        params.height = kHeight;
        params.output_format = OutputRgb32TopDown;
        int32_t sizes[7] = {};
        lib.RUviviz(DecOptBufferSizes, intptr_t(&params), intptr_t(sizes));
        std::vector<std::unique_ptr<uint8_t[]>> buffers;
        for (int i = 0; i < 7; ++i)
            buffers.emplace_back(new uint8_t[size_t(std::max(sizes[i], 1))]());
        params.frame_buffer[0] = buffers[0].get();
        params.frame_buffer[1] = buffers[1].get();
        params.frame_buffer[2] = buffers[2].get();
        params.display_buffer = buffers[3].get();
        params.state = buffers[4].get();
        params.tables = buffers[5].get();
        params.stream = buffers[6].get();
        int32_t flag = 0;
        lib.RUviviz(DecOptInit, intptr_t(&params), intptr_t(&flag));
        DecoderFrame frame{};
        frame.output = reinterpret_cast<uint8_t *>(out.data());
        frame.render = 1;
        frame.output_pitch = kWidth;
        const double t0 = Cpu(self);
        for (int loop = 0; loop < 20; ++loop)
            for (const auto &p : records) {
                frame.bitstream = p.data() + kMpegHeaderSize;
                frame.length = int32_t(p.size() - kMpegHeaderSize);
                if (lib.RUviviz(DecOptDecode, intptr_t(&frame), intptr_t(&params)) != DecodeOk) {
                    std::fprintf(stderr, "the floor's decoder refused picture %d\n", pictures);
                    std::exit(1);
                }
                ++pictures;
            }
        cpu = Cpu(self) - t0;
        lib.RUviviz(DecOptRelease, 0, 0);
    }
    const double pushedPerSecond = double(kChannels) * c.fps * c.views;
    return 100.0 * cpu / pictures * pushedPerSecond;
}

// ---- ffmpeg as the outside reference

// CPU seconds (user and system) of one ffmpeg run over `loops` passes of the stream on each of
// the 16 inputs; negative when ffmpeg cannot run. The passes are written one after the other
// into one file, so that the picture times run on as in one long stream.
double FfmpegCpu(int loops, int paneW, int paneH)
{
    char path[] = "/tmp/live_bench_m4v.XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0)
        return -1;
    {
        QFile in(QStringLiteral(BENCH_DATA "/d1_ip.m4v"));
        in.open(QIODevice::ReadOnly);
        const QByteArray es = in.readAll();
        for (int i = 0; i < loops; ++i)
            if (::write(fd, es.constData(), size_t(es.size())) != ssize_t(es.size()))
                loops = 0;
        ::close(fd);
    }
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-filter_threads", "1",
                                     "-filter_complex_threads", "1"};
    for (int i = 0; i < kChannels; ++i)
        for (const char *a : {"-threads", "1", "-i", static_cast<const char *>(path)})
            args.emplace_back(a);
    std::string graph, layout;
    char part[160];
    for (int i = 0; i < kChannels; ++i) {
        std::snprintf(part, sizeof part, "[%d:v]scale=%d:%d:flags=neighbor,format=bgra[p%d];", i, paneW, paneH, i);
        graph += part;
        std::snprintf(part, sizeof part, "%s%d_%d", i ? "|" : "", i % 4 * paneW, i / 4 * paneH);
        layout += part;
    }
    for (int i = 0; i < kChannels; ++i) {
        std::snprintf(part, sizeof part, "[p%d]", i);
        graph += part;
    }
    graph += "xstack=inputs=16:layout=";
    graph += layout;
    graph += "[wall]";
    for (const char *a : {"-filter_complex", "", "-map", "[wall]", "-f", "null", "-"})
        args.emplace_back(*a ? a : graph.c_str());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp("ffmpeg", argv.data());
        _exit(127);
    }
    int status = 0;
    rusage use{};
    const bool ran = pid > 0 && ::wait4(pid, &status, 0, &use) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::remove(path);
    if (!ran || loops == 0)
        return -1;
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
}

// ffmpeg's share of a core for the 16 streams at the pushed rate: two runs, so that its start-up
// drops out of the difference. Negative when ffmpeg is not installed or fails.
double FfmpegPercent(int fps, int picturesPerLoop, int paneW, int paneH)
{
    constexpr int kShort = 2, kLong = 14;
    const double a = FfmpegCpu(kShort, paneW, paneH), b = FfmpegCpu(kLong, paneW, paneH);
    if (a < 0 || b < 0)
        return -1;
    const double seconds = double(kLong - kShort) * picturesPerLoop / fps;
    return 100.0 * (b - a) / seconds;
}

// ---- The viewer

struct Wall {
    std::vector<std::unique_ptr<TfrmDvrWin>> views;
    std::vector<DvrListRecord> entries;

    void Open(const std::vector<uint16_t> &ports)
    {
        const int n = int(ports.size());
        const int side = int(std::ceil(std::sqrt(double(n))));
        for (int i = 0; i < n; ++i) {
            DvrListRecord entry;
            entry.kind = uint8_t(DvrKind::Network);
            entry.ip = {127, 0, 0, 1};
            entry.port = ports[size_t(i)];
            entries.push_back(entry);
        }
        for (int i = 0; i < n; ++i) {
            auto view = std::make_unique<TfrmDvrWin>();
            // A video wall of 1920 x 1080 shared by the views.
            view->setGeometry((i % side) * 1920 / side, (i / side) * 1080 / side, 1920 / side, 1080 / side + 20);
            view->show();
            view->CreateConnection(&entries[size_t(i)]);
            view->StartConnection();
            views.push_back(std::move(view));
        }
    }
    bool AllShowing() const
    {
        for (const auto &v : views)
            for (int i = 0; i < kChannels; ++i)
                if (!v->Pane(i)->IsShowing())
                    return false;
        return true;
    }
    void Close()
    {
        for (auto &v : views)
            v->CloseConnection();
        views.clear();
        entries.clear();
    }
};

void Wait(QApplication &app, Clock::time_point until, const std::function<bool()> &done = {})
{
    while (Clock::now() < until && !(done && done())) {
        QTimer t;
        t.setSingleShot(true);
        QEventLoop loop;
        QObject::connect(&t, &QTimer::timeout, &loop, &QEventLoop::quit);
        t.start(20);
        loop.exec();
    }
    (void)app;
}

int RunCase(const Case &c, int argc, char **argv)
{
    std::vector<std::vector<std::vector<uint8_t>>> records;
    for (int ch = 1; ch <= kChannels; ++ch)
        records.push_back(ChannelRecords(c, ch));

    // The recorders: one listening socket each, served from a child process.
    std::vector<int> listeners;
    std::vector<uint16_t> ports;
    for (int i = 0; i < c.views; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
        listeners.push_back(fd);
        ports.push_back(ntohs(a.sin_port));
    }
    pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM); // the recorders end with the viewer, however it ends
        std::vector<std::thread> recorders;
        for (int fd : listeners)
            recorders.emplace_back(Recorder, std::cref(c), fd, std::cref(records));
        for (auto &t : recorders)
            t.join();
        _exit(0);
    }
    for (int fd : listeners)
        ::close(fd);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TuneHeapForPictures(); // as the program does at its start
    // The offscreen platform says at every window it shows that it cannot pass size hints on,
    // which would bury the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (!text.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "", qPrintable(text));
    });
    QApplication app(argc, argv);

    const double floor = FloorPercent(c, records[0]);
    records.clear();
    records.shrink_to_fit();

    // Settle the program's own memory (fonts, styles) with one view that connects nowhere.
    {
        TfrmDvrWin warm;
        warm.resize(320, 200);
        warm.show();
        Wait(app, Clock::now() + std::chrono::milliseconds(200));
    }
    const double rss0 = RssMb();

    Wall wall;
    wall.Open(ports);
    Wait(app, Clock::now() + std::chrono::seconds(15), [&] { return wall.AllShowing(); });
    if (!wall.AllShowing())
        std::printf("%s: not every pane shows a picture after 15 s\n", c.name);
    // Let the backlog of the start drain first.
    Wait(app, Clock::now() + std::chrono::seconds(2));

    // Every picture a pane shows, with the record time it was pushed at.
    const int panes = c.views * kChannels;
    std::vector<uint32_t> lastTime(size_t(panes), 0);
    std::vector<int> shown(size_t(panes), 0);
    std::vector<int> missed(size_t(panes), 0);
    std::vector<uint32_t> delays;
    const double interval = 1000.0 / c.fps;
    bool counting = false; // the first picture of each pane only sets where it starts
    for (int v = 0; v < c.views; ++v)
        for (int i = 0; i < kChannels; ++i)
            wall.views[size_t(v)]->Pane(i)->OnShown = [&, n = size_t(v * kChannels + i)](const FrameRecordHeader &h) {
                const uint32_t t = h.timeValue & 0x7FFFFFFFu;
                if (t == lastTime[n])
                    return;
                if (counting && lastTime[n] != 0) {
                    ++shown[n];
                    delays.push_back(NowMs() - t);
                    // A channel's pictures are pushed one interval apart: a longer step between
                    // two shown ones is a picture that never reached the pane.
                    const long steps = std::lround(double(int32_t(t - lastTime[n])) / interval);
                    if (steps > 1)
                        missed[n] += int(steps - 1);
                }
                lastTime[n] = t;
            };
    const int seconds = 6;
    const double cpu0 = Cpu(CLOCK_PROCESS_CPUTIME_ID);
    const auto start = Clock::now();
    counting = true;
    Wait(app, start + std::chrono::seconds(seconds));
    counting = false;
    const double cpu = Cpu(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double rss1 = RssMb();
    const QSize pane = wall.views[0]->Pane(0)->imgCh->size();
    for (auto &v : wall.views)
        for (int i = 0; i < kChannels; ++i)
            v->Pane(i)->OnShown = nullptr;
    wall.Close();

    std::sort(delays.begin(), delays.end());
    const auto [lo, hi] = std::minmax_element(shown.begin(), shown.end());
    double total = 0, lost = 0;
    for (int s : shown)
        total += s;
    for (int m : missed)
        lost += m;
    const double pushed = total + lost;
    const double cpuPercent = 100.0 * cpu / elapsed;
    const double perView = (rss1 - rss0) / c.views;
    std::printf("== %s: %d recorder(s) x %d channels of %d x %d %s at %d pictures/s, %.1f s\n", c.name, c.views,
                kChannels, kWidth, kHeight, c.mpeg ? "MPEG-4 I/P" : "JPEG", c.fps, elapsed);
    std::printf("pictures shown per pane per second: min %.2f, mean %.2f, max %.2f (pushed %d); %.0f pictures "
                "never shown\n",
                *lo / elapsed, total / panes / elapsed, *hi / elapsed, c.fps, lost);
    if (!delays.empty())
        std::printf("push-to-pane delay: median %u ms, 95th percentile %u ms, max %u ms\n", delays[delays.size() / 2],
                    delays[delays.size() * 95 / 100], delays.back());
    std::printf("viewer CPU %.0f%% of a core; floor (decode and convert alone, one thread) %.0f%%; ratio %.2f\n",
                cpuPercent, floor, cpuPercent / floor);
    std::printf("resident memory: %.0f MB before the views, %.0f MB with them, %.1f MB per view\n", rss0, rss1, perView);

    if (c.views == 16) {
        // Open and close the 16 views ten times: what they held must go back.
        Wait(app, Clock::now() + std::chrono::milliseconds(300));
        const double before = RssMb();
        std::printf("resident memory after each round of opening and closing 16 views (MB):");
        std::fflush(stdout);
        for (int round = 0; round < 10; ++round) {
            Wall again;
            again.Open(ports);
            Wait(app, Clock::now() + std::chrono::seconds(10), [&] { return again.AllShowing(); });
            Wait(app, Clock::now() + std::chrono::milliseconds(500));
            again.Close();
            Wait(app, Clock::now() + std::chrono::milliseconds(100));
            std::printf(" %.0f", RssMb());
            std::fflush(stdout);
        }
        std::printf(" (%.0f before the first)\n", before);
        Wait(app, Clock::now() + std::chrono::milliseconds(300));
        const double after = RssMb();
        std::printf("resident memory at the start %.0f MB, after 16 views opened and closed ten times %.0f MB "
                    "(%+.1f%%)\n",
                    rss0, after, 100.0 * (after - rss0) / rss0);
    }
    std::printf("%s: shown %.0f of %.0f pictures, viewer CPU %.0f%% of a core, floor %.0f%%, ratio %.2f, memory per "
                "view %.1f MB\n",
                c.name, total, pushed, cpuPercent, floor, cpuPercent / floor, perView);
    if (c.mpeg && c.views == 1 && c.fps == 25) {
        ::kill(child, SIGTERM); // the recorders stop first: ffmpeg's figure is measured alone
        ::waitpid(child, nullptr, 0);
        child = -1;
        const double ff = FfmpegPercent(c.fps, int(Mpeg4Frames().size()), pane.width(), pane.height());
        if (ff < 0)
            std::printf("%s: ffmpeg not installed or failed; no outside reference\n", c.name);
        else
            std::printf("%s: ffmpeg (16 decoders on one thread each, scaled to %d x %d, 32-bit, stacked) %.0f%% of "
                        "a core; viewer CPU %.0f%%, ratio to ffmpeg %.2f\n",
                        c.name, pane.width(), pane.height(), ff, cpuPercent, cpuPercent / ff);
    }
    std::fflush(stdout);
    if (child > 0) {
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
    }
    return 0;
}

// Registers the built decoder in a class registry of this run's own.
void RegisterDecoder(const std::string &dir)
{
    const std::string registry = dir + "/Classes.ini";
    setenv("STRANDEL_CLASS_REGISTRY", registry.c_str(), 1);
    void *lib = dlopen(LUMASET_LIBRARY_PATH, RTLD_NOW);
    auto reg = lib ? reinterpret_cast<int32_t (*)()>(dlsym(lib, "DllRegisterServer")) : nullptr;
    if (!reg || reg() != 0) {
        std::fprintf(stderr, "cannot register %s\n", LUMASET_LIBRARY_PATH);
        std::exit(1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> keys;
    for (int i = 1; i < argc; ++i)
        keys.emplace_back(argv[i]);
    if (keys.size() == 2 && keys[0] == "--case") {
        for (const Case &c : kCases)
            if (keys[1] == c.key)
                return RunCase(c, 1, argv);
        return 2;
    }
    char dir[] = "/tmp/live_bench.XXXXXX";
    if (!::mkdtemp(dir))
        return 1;
    RegisterDecoder(dir);
    if (keys.empty())
        for (const Case &c : kCases)
            keys.emplace_back(c.key);
    int rc = 0;
    for (const std::string &key : keys) {
        // A fresh process per case: its memory figures start clean.
        std::fflush(stdout);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/proc/self/exe", argv[0], "--case", key.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            rc = 1;
    }
    std::remove((std::string(dir) + "/Classes.ini").c_str());
    ::rmdir(dir);
    return rc;
}
