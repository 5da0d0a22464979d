// A recorder on loopback that logs the view in and then sends, a hundred times a second, log
// downloads and refused login answers that nobody asked for: the view opens no dialog and keeps
// no more windows than it had.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "viewer/link/dvrframing.h"
#include "viewer/protocol/dvrcommand.h"
#include "viewer/view/dvrwin.h"

using namespace strandel;

namespace {

// Accepts one viewer, answers its login as master and then floods it.
class FloodingRecorder {
public:
    FloodingRecorder()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(listen_, 1), 0);
        socklen_t n = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr *>(&a), &n);
        port = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~FloodingRecorder()
    {
        stop = true;
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
    }

    int port = 0;
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};

private:
    void Send(int fd, uint8_t cmd, const std::vector<uint8_t> &payload)
    {
        uint8_t frame[kTcpFrameOverhead + kMaxPayload];
        const size_t n = BuildTcpFrame(frame, cmd, 0, payload.data(), uint32_t(payload.size()));
        if (::send(fd, frame, n, MSG_NOSIGNAL) != ssize_t(n))
            stop = true;
    }
    void Run()
    {
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0)
            return;
        uint8_t login[32];
        if (::recv(fd, login, sizeof login, 0) > 0) {
            Send(fd, DvrCmdLogin, {DvrLoginMaster, 4, 0, 1, 2, 3, 4, 5, 6});
            const std::vector<uint8_t> log = {5, 20, 26, 1, 2, 3, 4, 5, 0};
            const std::vector<uint8_t> refused = {DvrLoginDenied, 0, 0, 0, 0, 0, 0, 0, 0};
            while (!stop) {
                Send(fd, DvrCmdLogDownload, log);
                Send(fd, DvrCmdLogin, refused);
                sent += 2;
                std::this_thread::sleep_for(std::chrono::milliseconds(20)); // 100 replies a second
            }
        }
        ::close(fd);
    }

    int listen_ = -1;
    std::thread thread_;
};

} // namespace

TEST(HostileRecorder, RepliesNobodyAskedForOpenNoDialog)
{
    FloodingRecorder recorder;
    DvrListRecord entry;
    entry.kind = uint8_t(DvrKind::Network);
    entry.ip = {127, 0, 0, 1};
    entry.port = recorder.port;
    SetField(entry.name, "flood");
    TfrmDvrWin view;
    view.show();
    const int windows = int(QApplication::topLevelWidgets().size());
    ASSERT_TRUE(view.CreateConnection(&entry));
    view.StartConnection();

    // Watches from a timer, which also runs inside any dialog's own loop, and ends every dialog
    // it finds once the flood is over, so the test always comes back.
    int dialogsSeen = 0, mostWindows = windows;
    QElapsedTimer t;
    t.start();
    auto over = [&] { return t.elapsed() >= 2000 && recorder.sent >= 200; };
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        mostWindows = std::max(mostWindows, int(QApplication::topLevelWidgets().size()));
        if (over())
            recorder.stop = true;
        if (QWidget *modal = QApplication::activeModalWidget()) {
            ++dialogsSeen;
            if (over())
                static_cast<QDialog *>(modal)->reject();
        }
    });
    watch.start(10);
    while (!over() || QApplication::activeModalWidget())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    recorder.stop = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    watch.stop();

    EXPECT_TRUE(view.IsLoggedIn());
    EXPECT_EQ(dialogsSeen, 0);
    EXPECT_EQ(mostWindows, windows);
    view.CloseConnection();
}
