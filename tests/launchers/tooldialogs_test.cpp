// The status report, the firmware upgrade (against the recorder simulator too), the pan/tilt and
// key pad windows and the viewer options.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include "platform/endian.h"
#include "tools/dvrsim/simserver.h"
#include "viewer/admin/dvrctrl.h"
#include "viewer/admin/dvrstatus.h"
#include "viewer/admin/dvrupgrade.h"
#include "viewer/admin/option.h"
#include "viewer/admin/pantilt.h"
#include "viewer/base/vieweroptions.h"
#include "viewer/controls/ipedit.h"
#include "viewer/link/crc32.h"
#include "viewer/link/dvrframing.h"
#include "platform/settings.h"
#include "viewer/protocol/dvrwincore.h"
#include "viewer/view/dvrwin.h"

using namespace strandel;

namespace {

using Bytes = std::vector<uint8_t>;

struct ReceivedFrame {
    uint8_t cmd;
    Bytes payload;
};

void PumpFor(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A view as the dialogs see it, keeping every packet; the upgrade worker sends too.
class FakeDvr : public DvrServices {
public:
    // As the view does: the watchers hear of it while the fake is whole.
    ~FakeDvr() override { NotifyGone(); }
    bool SendCommandEx(uint8_t cmd, uint8_t, const uint8_t *data, int length) override
    {
        std::lock_guard l(mutex);
        if (!linkUp)
            return false;
        Bytes v{cmd};
        if (data && length > 0)
            v.insert(v.end(), data, data + length);
        sent.push_back(v);
        return true;
    }
    bool SendUpload(uint8_t, const uint8_t *, size_t) override { return false; }
    int GetChannelCount() const override { return channels; }
    std::string GetRecordPath() const override { return {}; }
    bool IsLoggedIn() const override { return loggedIn; }
    bool IsCopying() const override { return false; }
    void CancelNetCopy() override {}
    uint8_t GetModel() const override { return 0; }
    uint8_t GetVideoStandard() const override { return 0; }
    bool StartNetCopy(const std::string &) override { return false; }
    void OpenUpgradeDialog() override {}

    std::vector<Bytes> Sent()
    {
        std::lock_guard l(mutex);
        return sent;
    }
    void Clear()
    {
        std::lock_guard l(mutex);
        sent.clear();
    }

    std::mutex mutex;
    std::vector<Bytes> sent;
    bool linkUp = true;
    bool loggedIn = true;
    int channels = 4;
};

class FakeMain : public MainServices {
public:
    DvrServices *GetCurrentDvrWin() const override { return current; }
    std::string GetStartDir() const override { return "."; }
    std::optional<std::string> BrowseForFolder(const std::string &, QWidget *) override { return std::nullopt; }
    std::optional<QDate> SelectDate(const QDate &, QWidget *) override { return std::nullopt; }
    DvrServices *current = nullptr;
};

// Installs a main window whose current view the test chooses.
struct MainScope {
    FakeMain main;
    MainScope() { SetMainServices(&main); }
    ~MainScope() { SetMainServices(nullptr); }
};

bool WaitFor(const std::function<bool()> &cond, int ms = 20000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Closes the message boxes the upgrade dialog left open.
void CloseMessageBoxes()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w))
            box->close();
    QApplication::processEvents();
}

// A firmware image: filler, the tag field at size - 20 and the CRC-32 of the rest at the end.
Bytes Image(size_t size, const char *tag)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = uint8_t(i * 7 + 3);
    if (tag && size >= 20) {
        std::memset(b.data() + size - 20, 0, 16);
        std::memcpy(b.data() + size - 20, tag, std::min<size_t>(std::strlen(tag), 16));
    }
    if (size >= 4)
        PutLe32(b.data() + size - 4, CrcUpdate(0, b.data(), int(size - 4)));
    return b;
}

QString WriteFile(const QTemporaryDir &dir, const char *name, const Bytes &b)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char *>(b.data()), qint64(b.size()));
    return path;
}

Bytes Reply(uint8_t state, int32_t progress)
{
    Bytes r{state, 0, 0, 0, 0};
    PutLe32(r.data() + 1, uint32_t(progress));
    return r;
}

} // namespace

// ---- Status

TEST(DvrStatus, ReportOfACraftedRecord)
{
    Bytes s(kDvrStatusRecordSize, 0);
    s[1] = 1;
    PutLe32(s.data() + 2, uint32_t(-5));
    PutLe32(s.data() + 6, 23);
    std::memcpy(s.data() + 10, "SW-2.10", 7);
    std::memset(s.data() + 42, 'H', 32); // no NUL: the text stops at 30 characters
    s[74] = 1;
    s[76] = 1;
    s[79] = 1; // slot 5 and above are not reported
    s[202] = 0;
    s[204] = 7; // a role the report does not know
    PutLe32(s.data() + 330, 4095);
    PutLe32(s.data() + 338, 4096);
    PutLe32(s.data() + 842, 2);
    PutLe32(s.data() + 846, 1000);
    PutLe32(s.data() + 850, 250);
    PutLe32(s.data() + 854, 500);
    PutLe32(s.data() + 858, 500);
    s[862] = 3;
    s[863] = 1;
    s[864] = 2;
    s[865] = uint8_t(-1);
    PutLe32(s.data() + 866, 100);
    PutLe32(s.data() + 870, 200);
    s[878] = 1;
    PutLe32(s.data() + 879, 7);
    PutLe32(s.data() + 883, 9);
    const uint8_t mac[6] = {0x00, 0x1a, 0x2B, 0xc3, 0x04, 0xff};
    std::memcpy(s.data() + 891, mac, 6);
    const uint8_t net[16] = {192, 168, 1, 20, 255, 255, 255, 0, 192, 168, 1, 1, 8, 8, 4, 4};
    std::memcpy(s.data() + 897, net, 16);
    PutLe32(s.data() + 913, 5000);
    s[917] = 1;
    PutLe32(s.data() + 923, 0x6C000000u); // channels 0-3: 1, 2, 3, 0

    FakeDvr dvr;
    TfrmDvrStatus dlg(nullptr, &dvr);
    dlg.ShowStatus(s.data());
    const QString r(67, '-');
    const QString system = QStringList{r,
                                       "Video Type = NTSC",
                                       "Software Version = SW-2.10",
                                       "Hardware Version = " + QString(30, 'H'),
                                       "Celsius Temperature = -5 C",
                                       "Fahrenheit Temperature = 23 F",
                                       r,
                                       "Hdd Count = 2",
                                       "Hdd 0 = Record, 1 MBytes",
                                       "Hdd 2 = Unknown (7), 2 MBytes",
                                       r,
                                       "Fixed Hdd Total Space : 1000 MBytes",
                                       "Fixed Hdd Free Space : 750 MBytes",
                                       "Backup Hdd Total Space : 500 MBytes",
                                       "Backup Hdd Free Space : 0 MBytes",
                                       r}
                               .join('\n');
    const QString record = QStringList{r,
                                       "Record Program : 3",
                                       "Record Type : Complex",
                                       "Record Repeat : Unknown (2)",
                                       r,
                                       "Record Hdd : -1",
                                       "Record Lba : 100 ~ 200",
                                       r,
                                       "Backup Hdd : 1",
                                       "Backup Lba : 7 ~ 9",
                                       r,
                                       "Record : ON",
                                       "[ N S E - ]"}
                               .join('\n');
    const QString network = QStringList{r,
                                        "Mac Address : 00:1A:2B:C3:04:FF",
                                        "Ip Address : 192.168.1.20",
                                        "Subnet Mask : 255.255.255.0",
                                        "Gateway : 192.168.1.1",
                                        "Dns : 8.8.4.4",
                                        "Port : 5000",
                                        r}
                                .join('\n');
    EXPECT_EQ(dlg.Memo1->toPlainText(), system);
    EXPECT_EQ(dlg.Memo2->toPlainText(), record);
    EXPECT_EQ(dlg.Memo3->toPlainText(), network);

    // Recording off: every channel shows "- "; a second record appends a second report.
    s[917] = 0;
    dlg.ShowStatus(s.data());
    EXPECT_TRUE(dlg.Memo2->toPlainText().endsWith("Record : OFF\n[ - - - - ]"));
    EXPECT_EQ(dlg.Memo3->toPlainText(), network + '\n' + network);
}

// ---- Upgrade

TEST(DvrUpgrade, FileChecksRefuseWithoutSending)
{
    struct Case {
        const char *name;
        Bytes image;
        uint8_t model;
        const char *message;
    };
    Bytes noNul = Image(100, nullptr);
    std::memset(noNul.data() + 80, 'k', 16);
    PutLe32(noNul.data() + 96, CrcUpdate(0, noNul.data(), 96));
    Bytes badCrc = Image(2500, "kxt52070");
    badCrc[10] ^= 1;
    const Case cases[] = {
        {"four bytes", {1, 2, 3, 4}, 1, "FILE TOO SMALL (a firmware image has at least 5 bytes)"},
        {"empty", {}, 1, "FILE TOO SMALL (a firmware image has at least 5 bytes)"},
        {"short, CRC fine, no tag field", Image(12, nullptr), 1, "DVR MODEL ERROR"},
        {"bad CRC", badCrc, 1, "FILE CRC ERROR"},
        {"other model's tag", Image(2500, "kxt52030"), 1, "DVR MODEL ERROR"},
        {"set flag's tag on a clear flag", Image(2500, "kxt52070"), 0, "DVR MODEL ERROR"},
        {"tag without NUL", noNul, 1, "DVR MODEL ERROR"},
    };
    QTemporaryDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeDvr dvr;
        TfrmDvrUpgrade dlg(nullptr, &dvr);
        dlg.SetModel(c.model);
        EXPECT_FALSE(dlg.StartUpgrade(WriteFile(dir, "fw.bin", c.image)));
        EXPECT_TRUE(dvr.Sent().empty());
        EXPECT_EQ(dlg.LastMessage(), QString(c.message));
        EXPECT_EQ(dlg.GetStage(), TfrmDvrUpgrade::Stage::Idle);
        // A refusal says so with the error icon.
        QList<QMessageBox *> boxes;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->objectName() == "msgUpgrade" && box->isVisible())
                boxes << box;
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_EQ(boxes[0]->icon(), QMessageBox::Critical);
        CloseMessageBoxes();
    }
}

// A file larger than any firmware is refused by its size, before a byte of it is read.
TEST(DvrUpgrade, AnOversizedFileIsRefusedByItsSize)
{
    QTemporaryDir dir;
    for (qint64 size : {TfrmDvrUpgrade::kMaxImageSize + 1, qint64(3) << 30}) {
        const QString path = dir.filePath("huge.bin");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(size)); // sparse: nothing is written
        f.close();
        FakeDvr dvr;
        TfrmDvrUpgrade dlg(nullptr, &dvr);
        EXPECT_FALSE(dlg.StartUpgrade(path));
        EXPECT_EQ(dlg.LastMessage(), "FILE TOO LARGE (a firmware image has at most 64 MB)");
        EXPECT_TRUE(dvr.Sent().empty());
        EXPECT_EQ(dlg.GetStage(), TfrmDvrUpgrade::Stage::Idle);
        CloseMessageBoxes();
    }
    // The largest that is taken goes through the checks.
    const Bytes image = Image(size_t(TfrmDvrUpgrade::kMaxImageSize), "kxt52030");
    FakeDvr dvr;
    TfrmDvrUpgrade dlg(nullptr, &dvr);
    EXPECT_TRUE(dlg.StartUpgrade(WriteFile(dir, "largest.bin", image)));
    CloseMessageBoxes();
}

TEST(DvrUpgrade, StatesGaugeAndWhenItMayClose)
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir, "fw.bin", Image(2500, "kxt52030"));
    FakeDvr dvr;
    TfrmDvrUpgrade dlg(nullptr, &dvr);
    dlg.SetModel(0);
    // Replies before anything was announced change nothing.
    dlg.OnUpgradeReply(Bytes{0}.data(), 1);
    dlg.OnUpgradeReply(Bytes{2}.data(), 1);
    EXPECT_TRUE(dvr.Sent().empty());
    ASSERT_TRUE(dlg.StartUpgrade(path));
    EXPECT_EQ(dvr.Sent(), (std::vector<Bytes>{{DvrCmdUpgrade, 0, 0xC4, 0x09, 0, 0}}));
    EXPECT_EQ(dlg.lblMsg->text(), "Waiting...");
    EXPECT_EQ(dlg.Gauge->maximum(), 2500);
    EXPECT_TRUE(dlg.CanClose()); // nothing written yet

    dlg.OnUpgradeReply(Bytes{0}.data(), 1);
    EXPECT_EQ(dlg.lblMsg->text(), "Downloading...");
    EXPECT_FALSE(dlg.btnUpgrade->isEnabled());
    EXPECT_FALSE(dlg.btnCancel->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return dvr.Sent().size() == 4; }));
    EXPECT_FALSE(dlg.CanClose());
    EXPECT_EQ(dlg.LastMessage(), "Cannot close while upgrading...");
    CloseMessageBoxes();

    // Progress on the file-size scale, clamped; a short reply is ignored.
    dlg.OnUpgradeReply(Reply(1, 1200).data(), 5);
    EXPECT_EQ(dlg.Gauge->value(), 1200);
    dlg.OnUpgradeReply(Bytes{1, 0x10}.data(), 2);
    EXPECT_EQ(dlg.Gauge->value(), 1200);
    dlg.OnUpgradeReply(Reply(1, 999999).data(), 5);
    EXPECT_EQ(dlg.Gauge->value(), 2500);
    dlg.OnUpgradeReply(Reply(1, -3).data(), 5);
    EXPECT_EQ(dlg.Gauge->value(), 0);

    dlg.OnUpgradeReply(Bytes{2}.data(), 1);
    EXPECT_EQ(dlg.lblMsg->text(), "Flashing...");
    EXPECT_EQ(dvr.Sent().back(), (Bytes{DvrCmdUpgrade, 2, 0xC4, 0x09, 0, 0}));
    // Never while the recorder writes its flash, silent or not; once the link is gone, yes.
    dlg.SetSilenceLimit(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(dlg.CanClose());
    dvr.loggedIn = false;
    EXPECT_TRUE(dlg.CanClose());
    EXPECT_EQ(dlg.LastMessage(), "Upgrade Error...");
    dvr.loggedIn = true;
    CloseMessageBoxes();

    dlg.OnUpgradeReply(Bytes{3}.data(), 1);
    EXPECT_EQ(dlg.lblMsg->text(), "Completed...");
    EXPECT_EQ(dlg.Gauge->value(), 2500);
    EXPECT_EQ(dlg.LastMessage(), "DVR is upgraded successfully !!");
    EXPECT_EQ(dlg.result(), 1);
    CloseMessageBoxes();
}

TEST(DvrUpgrade, AfterAnErrorAnotherTryStartsOneFreshWorker)
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir, "fw.bin", Image(250000, "kxt52030"));
    FakeDvr dvr;
    TfrmDvrUpgrade dlg(nullptr, &dvr);
    ASSERT_TRUE(dlg.StartUpgrade(path));
    dlg.OnUpgradeReply(Bytes{0}.data(), 1);
    ASSERT_TRUE(WaitFor([&] { return dvr.Sent().size() > 3; }));
    // The recorder gives up in the middle of the parts: the worker stops, the buttons return.
    dlg.OnUpgradeReply(Bytes{4}.data(), 1);
    EXPECT_EQ(dlg.lblMsg->text(), "Error...");
    EXPECT_TRUE(dlg.btnUpgrade->isEnabled());
    EXPECT_TRUE(dlg.CanClose());
    const size_t after = dvr.Sent().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(dvr.Sent().size(), after);

    dvr.Clear();
    ASSERT_TRUE(dlg.StartUpgrade(path));
    dlg.OnUpgradeReply(Bytes{0}.data(), 1);
    ASSERT_TRUE(WaitFor([&] { return dvr.Sent().size() == 1 + 250; }));
    // One worker: every offset once, in order.
    const auto sent = dvr.Sent();
    for (size_t i = 1; i < sent.size(); ++i) {
        ASSERT_EQ(sent[i][1], 1);
        EXPECT_EQ(GetLe32(sent[i].data() + 2), uint32_t((i - 1) * 1000));
    }
}

// While a start waits for its answer no second start can go out; a pick that is cancelled
// leaves nothing announced, so a late answer pushes nothing.
TEST(DvrUpgrade, AnOutstandingStartHoldsUpgradeAndACancelledPickReturnsToIdle)
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir, "fw.bin", Image(2500, "kxt52030"));
    FakeDvr dvr;
    TfrmDvrUpgrade dlg(nullptr, &dvr);
    ASSERT_TRUE(dlg.StartUpgrade(path));
    EXPECT_FALSE(dlg.btnUpgrade->isEnabled());
    EXPECT_TRUE(dlg.btnCancel->isEnabled()); // a recorder that never answers may be left
    EXPECT_EQ(dlg.GetStage(), TfrmDvrUpgrade::Stage::Waiting);

    dlg.OnUpgradeReply(Bytes{4}.data(), 1);
    ASSERT_TRUE(dlg.btnUpgrade->isEnabled());
    QTimer::singleShot(0, dlg.dlgOpen, [&] { dlg.dlgOpen->reject(); });
    dlg.btnUpgrade->click();
    EXPECT_EQ(dlg.GetStage(), TfrmDvrUpgrade::Stage::Idle);
    EXPECT_EQ(dlg.lblMsg->text(), "No file chosen...");
    EXPECT_EQ(dlg.lblFile->text(), "Select File");
    EXPECT_TRUE(dlg.btnUpgrade->isEnabled());
    dlg.OnUpgradeReply(Bytes{0}.data(), 1);
    PumpFor(20);
    EXPECT_EQ(dvr.Sent().size(), 1u);
}

// A start or flash request that never left is an error at once, not a wait for an answer.
TEST(DvrUpgrade, ARequestThatCannotBeSentIsAnErrorAtOnce)
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir, "fw.bin", Image(2500, "kxt52030"));
    FakeDvr dvr;
    TfrmDvrUpgrade dlg(nullptr, &dvr);
    dvr.linkUp = false;
    EXPECT_FALSE(dlg.StartUpgrade(path));
    EXPECT_EQ(dlg.lblMsg->text(), "Upgrade Error...");
    EXPECT_EQ(dlg.GetStage(), TfrmDvrUpgrade::Stage::Failed);
    EXPECT_TRUE(dlg.btnUpgrade->isEnabled());
    dlg.OnUpgradeReply(Bytes{0}.data(), 1);
    EXPECT_EQ(dlg.GetStage(), TfrmDvrUpgrade::Stage::Failed);

    dvr.linkUp = true;
    ASSERT_TRUE(dlg.StartUpgrade(path));
    dlg.OnUpgradeReply(Bytes{0}.data(), 1);
    ASSERT_TRUE(WaitFor([&] { return dvr.Sent().size() == 4; }));
    dvr.linkUp = false;
    dlg.OnUpgradeReply(Bytes{2}.data(), 1);
    EXPECT_EQ(dlg.lblMsg->text(), "Upgrade Error...");
    EXPECT_EQ(dlg.GetStage(), TfrmDvrUpgrade::Stage::Failed);
    EXPECT_TRUE(dlg.btnCancel->isEnabled());
}

TEST(DvrUpgrade, ASilentRecorderMayBeAbandonedAndTheWorkerEnds)
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir, "fw.bin", Image(3000, "kxt52030"));
    FakeDvr dvr;
    auto dlg = std::make_unique<TfrmDvrUpgrade>(nullptr, &dvr);
    ASSERT_TRUE(dlg->StartUpgrade(path));
    dvr.linkUp = false; // the parts stop going out: the worker suspends instead of spinning
    dlg->OnUpgradeReply(Bytes{0}.data(), 1);
    EXPECT_FALSE(dlg->CanClose());
    CloseMessageBoxes();
    dlg->SetSilenceLimit(50);
    ASSERT_TRUE(WaitFor([&] { return dlg->btnCancel->isEnabled(); }, 5000));
    EXPECT_TRUE(dlg->CanClose());
    dlg->btnCancel->click();
    dlg.reset(); // joins the worker
    EXPECT_EQ(dvr.Sent().size(), 1u);
}

TEST(DvrUpgrade, AViewThatGoesStopsTheWorkerFirst)
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir, "fw.bin", Image(2000000, "kxt52030"));
    auto dvr = std::make_unique<FakeDvr>();
    TfrmDvrUpgrade dlg(nullptr, dvr.get());
    ASSERT_TRUE(dlg.StartUpgrade(path));
    dlg.OnUpgradeReply(Bytes{0}.data(), 1);
    ASSERT_TRUE(WaitFor([&] { return dvr->Sent().size() > 2; }));
    dvr.reset();
    // Nothing is left to send through, and the dialog may close.
    dlg.OnUpgradeReply(Bytes{2}.data(), 1);
    EXPECT_TRUE(dlg.CanClose());
    CloseMessageBoxes();
}

// A view on a serial line (a pseudo-terminal whose far end the test reads) closes while the
// upgrade's worker pushes parts: the worker stops first, the nine goodbyes follow whole, and
// every byte on the line belongs to a whole frame.
TEST(DvrUpgrade, ClosingASerialViewMidUpgradeKeepsTheFramesWhole)
{
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath("Strandel.ini"));
    RegWriteString("Com7", QString::fromLatin1(name));
    // The recorder's end: everything the view writes, kept.
    std::mutex lineMutex;
    Bytes line;
    std::atomic<bool> reading{true};
    std::thread reader([&] {
        uint8_t buf[4096];
        while (reading) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0) {
                    std::lock_guard l(lineMutex);
                    line.insert(line.end(), buf, buf + n);
                }
            }
        }
    });
    auto frames = [&] {
        std::lock_guard l(lineMutex);
        std::vector<ReceivedFrame> out;
        SerialReceiver rx;
        rx.Feed(line.data(), line.size(), [&](const PacketHeader &h, const uint8_t *p) {
            out.push_back({h.cmd, Bytes(p, p + h.length)});
        });
        return std::make_pair(out, size_t(std::count(line.begin(), line.end(), kSerialEnd)));
    };
    auto reply = [&](uint8_t cmd, const Bytes &payload) {
        Bytes f;
        BuildSerialFrame(f, cmd, 0, payload.data(), int(payload.size()));
        ASSERT_EQ(::write(master, f.data(), f.size()), ssize_t(f.size()));
    };

    DvrListRecord entry;
    entry.kind = uint8_t(DvrKind::Rs232c);
    entry.serialPort = 7;
    entry.baudRate = 115200;
    SetField(entry.name, "serial");
    TfrmDvrWin view;
    ASSERT_TRUE(view.CreateConnection(&entry));
    view.StartConnection();
    ASSERT_TRUE(WaitFor([&] { return !frames().first.empty(); })); // the login
    reply(DvrCmdLogin, {DvrLoginMaster, 4, 0x10, 1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(WaitFor([&] { return view.IsLoggedIn(); }));

    const QString image = WriteFile(dir, "fw.bin", Image(400000, "kxt52070"));
    bool closed = false;
    QTimer::singleShot(0, [&] {
        auto *dlg = qobject_cast<TfrmDvrUpgrade *>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        ASSERT_TRUE(dlg->StartUpgrade(image));
        reply(DvrCmdUpgrade, {0}); // downloading: the worker starts
        EXPECT_TRUE(WaitFor([&] {
            const auto f = frames().first;
            return std::count_if(f.begin(), f.end(), [](const ReceivedFrame &r) { return r.cmd == DvrCmdUpgrade; }) > 4;
        }));
        view.CloseConnection();
        closed = true;
    });
    view.OpenUpgradeDialog();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(view.IsRunningDialog());
    PumpFor(300);
    reading = false;
    reader.join();
    CloseMessageBoxes();

    const auto [got, ends] = frames();
    EXPECT_EQ(got.size(), ends); // nothing broke into another frame
    ASSERT_GE(got.size(), 9u);
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i].cmd == 2, i >= got.size() - 9) << i; // the goodbyes, last and only there
    ::close(master);
    ::close(slave);
    SetSettingsFilePath({});
}

// The whole upgrade against the simulator, which takes the image only with its CRC and tag.
TEST(DvrUpgrade, EndToEndWithTheSimulator)
{
    QTemporaryDir dir;
    const QString transcript = dir.filePath("sim.log");
    sim::SimOptions options;
    options.listenHost = "127.0.0.1";
    options.listenPort = 0;
    options.model = 1;
    options.fps = 1;
    options.transcript = transcript.toStdString();
    sim::DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;

    DvrListRecord entry;
    entry.kind = uint8_t(DvrKind::Network);
    entry.ip = {127, 0, 0, 1};
    entry.port = uint16_t(server.TcpPort());
    SetField(entry.name, "sim");
    TfrmDvrWin view;
    ASSERT_TRUE(view.CreateConnection(&entry));
    view.StartConnection();
    ASSERT_TRUE(WaitFor([&] { return view.IsLoggedIn(); }));

    const Bytes image = Image(2500, "kxt52070");
    const QString good = WriteFile(dir, "good.bin", image);
    const QString wrong = WriteFile(dir, "wrong.bin", Image(2500, "kxt52030"));
    TfrmDvrUpgrade dlg(nullptr, &view.Services());
    dlg.SetModel(view.Services().GetModel());
    view.Core().Dialogs().upgrade = &dlg;
    EXPECT_FALSE(dlg.StartUpgrade(wrong));
    EXPECT_EQ(dlg.LastMessage(), "DVR MODEL ERROR");
    CloseMessageBoxes();
    ASSERT_TRUE(dlg.StartUpgrade(good));
    ASSERT_TRUE(WaitFor([&] { return dlg.GetStage() == TfrmDvrUpgrade::Stage::Completed; }));
    view.Core().Dialogs().upgrade = nullptr;
    EXPECT_EQ(dlg.Gauge->value(), 2500);
    EXPECT_EQ(dlg.result(), 1);
    CloseMessageBoxes();
    EXPECT_EQ(server.WithRecorder([](sim::SimRecorder &r) { return r.Firmware(); }), image);
    EXPECT_EQ(server.WithRecorder([](sim::SimRecorder &r) { return r.FlashCount(); }), 1);

    // A bigger image while the UI thread keeps sending its keep-alive: the two never interleave,
    // or the recorder would see broken packets and a different image.
    const Bytes big = Image(400000, "kxt52070");
    const int alivesBefore = server.AliveCount();
    view.Core().Dialogs().upgrade = &dlg;
    ASSERT_TRUE(dlg.StartUpgrade(WriteFile(dir, "big.bin", big)));
    ASSERT_TRUE(WaitFor([&] {
        view.Core().SendCommand(DvrCmdAlive, nullptr, 0);
        return dlg.GetStage() == TfrmDvrUpgrade::Stage::Completed || dlg.GetStage() == TfrmDvrUpgrade::Stage::Failed;
    }));
    view.Core().Dialogs().upgrade = nullptr;
    CloseMessageBoxes();
    EXPECT_EQ(dlg.GetStage(), TfrmDvrUpgrade::Stage::Completed);
    EXPECT_GT(server.AliveCount(), alivesBefore);
    EXPECT_EQ(server.WithRecorder([](sim::SimRecorder &r) { return r.Firmware(); }), big);
    EXPECT_EQ(server.WithRecorder([](sim::SimRecorder &r) { return r.FlashCount(); }), 2);
    view.CloseConnection();
    server.Stop();

    // What went out for command 19: start, parts of 1000/1000/500 at 0/1000/2000, flash.
    std::ifstream in(transcript.toStdString());
    std::vector<std::string> upgrade;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("RX ", 0) == 0 && line.find(" cmd=19 ") != std::string::npos)
            upgrade.push_back(line.substr(line.find("len=")));
    ASSERT_EQ(upgrade.size(), 5u + 2u + 400u);
    EXPECT_EQ(upgrade[0], "len=5 00c4090000");
    EXPECT_EQ(upgrade[1].substr(0, 19), "len=1005 01" "00000000");
    EXPECT_EQ(upgrade[2].substr(0, 19), "len=1005 01" "e8030000");
    EXPECT_EQ(upgrade[3].substr(0, 18), "len=505 01" "d0070000");
    EXPECT_EQ(upgrade[4], "len=5 02c4090000");
}

// ---- Pan/tilt and key pad

TEST(PanTilt, PressAndReleaseSendStartAndStopToTheViewThatGotTheStart)
{
    MainScope scope;
    FakeDvr first, second;
    scope.main.current = &first;
    TfrmPanTilt w;
    w.show();
    w.edtChannel->setCurrentIndex(2);
    w.selSpeedRows->button(1)->click();
    EXPECT_EQ(w.edtChannel->currentText(), "CH 3");
    QTest::mousePress(w.btnUp, Qt::LeftButton);
    // The current view and channel change while the button is held: the stop follows the start.
    scope.main.current = &second;
    w.SetChannel(5);
    QTest::mouseRelease(w.btnUp, Qt::LeftButton);
    EXPECT_EQ(first.Sent(), (std::vector<Bytes>{{DvrCmdPtz, 2, 1, 3, 1}, {DvrCmdPtz, 2, 0x63, 0, 1}}));
    EXPECT_TRUE(second.Sent().empty());

    // The table of the other buttons, on the view current now.
    struct Case {
        QPushButton *button;
        Bytes start;
    };
    const Case cases[] = {{w.btnLeft, {5, 1, 0, 1}},     {w.btnRight, {5, 1, 1, 1}},     {w.btnDown, {5, 1, 2, 1}},
                          {w.btnZoomPlus, {5, 1, 4, 1}}, {w.btnZoomMinus, {5, 1, 5, 1}}, {w.btnFocusPlus, {5, 1, 6, 1}},
                          {w.btnFocusMinus, {5, 1, 7, 1}}};
    for (const Case &c : cases) {
        second.Clear();
        QTest::mouseClick(c.button, Qt::LeftButton);
        Bytes start{DvrCmdPtz};
        start.insert(start.end(), c.start.begin(), c.start.end());
        EXPECT_EQ(second.Sent(), (std::vector<Bytes>{start, {DvrCmdPtz, 5, 0x63, 0, 1}})) << c.button->objectName().toStdString();
    }
    second.Clear();
    w.btnSet[15]->click();
    w.btnMove[0]->click();
    w.btnAutoFocus->click();
    EXPECT_EQ(second.Sent(), (std::vector<Bytes>{{DvrCmdPtz, 5, 2, 15, 1}, {DvrCmdPtz, 5, 3, 0, 1}, {DvrCmdPtz, 5, 4, 0, 1}}));
    EXPECT_EQ(w.btnSet[15]->text(), "16");
}

TEST(PanTilt, HidingWithAButtonHeldStopsTheCamera)
{
    MainScope scope;
    FakeDvr dvr;
    scope.main.current = &dvr;
    TfrmPanTilt w;
    w.show();
    QTest::mousePress(w.btnZoomPlus, Qt::LeftButton);
    w.hide();
    EXPECT_EQ(dvr.Sent(), (std::vector<Bytes>{{DvrCmdPtz, 0, 1, 4, 0}, {DvrCmdPtz, 0, 0x63, 0, 0}}));

    // A view that goes while the button is held gets nothing more, and nothing breaks.
    w.show();
    auto gone = std::make_unique<FakeDvr>();
    scope.main.current = gone.get();
    QTest::mousePress(w.btnLeft, Qt::LeftButton);
    EXPECT_EQ(gone->Sent().size(), 1u);
    scope.main.current = nullptr;
    gone.reset();
    QTest::mouseRelease(w.btnLeft, Qt::LeftButton);

    // Without a view nothing is sent.
    dvr.Clear();
    QTest::mouseClick(w.btnRight, Qt::LeftButton);
    w.btnSet[0]->click();
    EXPECT_TRUE(dvr.Sent().empty());
}

TEST(DvrCtrl, KeysSendTheirBitToTheCurrentView)
{
    MainScope scope;
    FakeDvr dvr;
    TfrmDvrCtrl w;
    w.show();
    w.Key(13)->click(); // no view yet
    scope.main.current = &dvr;
    EXPECT_EQ(w.Key(13)->text(), "Menu");
    EXPECT_EQ(w.Key(28)->text(), "ALM");
    w.Key(13)->click();
    w.Key(28)->click();
    w.Key(0)->click();
    EXPECT_EQ(dvr.Sent(), (std::vector<Bytes>{{DvrCmdRemoteKey, 0x00, 0x20, 0x00, 0x00},
                                              {DvrCmdRemoteKey, 0x00, 0x00, 0x00, 0x10},
                                              {DvrCmdRemoteKey, 0x01, 0x00, 0x00, 0x00}}));
    for (int bit = 0; bit < TfrmDvrCtrl::kKeyCount; ++bit)
        EXPECT_EQ(w.Key(bit)->property("Tag").toLongLong(), 1LL << bit);
}

// ---- Options

TEST(Options, RoundTripAndCancelChangesNothing)
{
    ViewerOptions o;
    o.showChannelTitle = 1;
    o.showFrameRate = 1;
    o.ipServer = {10, 1, 2, 3};
    o.useIpServer = 1;
    std::memset(o.ipServerName.data(), 'n', 127);
    o.ipServerName[127] = 0;
    const QFont mainFont("Sans", 9);
    {
        TfrmOption dlg(nullptr, o, mainFont);
        dlg.show();
        EXPECT_EQ(dlg.windowTitle(), "Viewer Option");
        EXPECT_TRUE(dlg.chkChTitle->isChecked());
        EXPECT_FALSE(dlg.chkChDateTime->isChecked());
        EXPECT_FALSE(dlg.chkChEvent->isChecked());
        EXPECT_TRUE(dlg.chkFrame->isChecked());
        EXPECT_EQ(dlg.edtIp->GetIp(0), 10);
        EXPECT_EQ(dlg.edtIp->GetIp(3), 3);
        EXPECT_EQ(dlg.chkIpServer->text(), "Use Dynamic Ip Server");
        EXPECT_EQ(dlg.edtIpServerName->text(), QString(127, 'n')); // a long stored name shows whole
        // Typing stops at 63 characters.
        dlg.edtIpServerName->clear();
        QTest::keyClicks(dlg.edtIpServerName, QString(70, 'a'));
        EXPECT_EQ(dlg.edtIpServerName->text(), QString(63, 'a'));
        dlg.chkChEvent->setChecked(true);
        dlg.edtIp->SetIp(1, 200);
        dlg.chkIpServer->setChecked(false);
        dlg.btnOk->click();
        EXPECT_EQ(dlg.result(), 1);
    }
    EXPECT_EQ(o.showEvent, 1);
    EXPECT_EQ(o.showChannelTitle, 1);
    EXPECT_EQ((std::array<uint8_t, 4>{10, 200, 2, 3}), o.ipServer);
    EXPECT_EQ(o.useIpServer, 0);
    EXPECT_EQ(std::string(o.ipServerName.data()), std::string(63, 'a'));

    const ViewerOptions before = o;
    TfrmOption dlg(nullptr, o, mainFont);
    dlg.show();
    dlg.chkChTitle->setChecked(false);
    dlg.edtIpServerName->setText("other");
    dlg.edtIp->SetIp(0, 1);
    // A font chosen in the font dialog is a preview: Cancel keeps the main window's.
    QTimer::singleShot(0, [] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            d->setFont(QFont("Serif", 20));
            if (auto *fd = qobject_cast<QFontDialog *>(d))
                fd->setCurrentFont(QFont("Serif", 20));
            d->accept();
        }
    });
    dlg.btnFont->click();
    EXPECT_EQ(dlg.SelectedFont().pointSize(), 20);
    dlg.btnCancel->click();
    EXPECT_EQ(dlg.result(), 2);
    EXPECT_EQ(0, std::memcmp(&before.showChannelTitle, &o.showChannelTitle, 4));
    EXPECT_EQ(before.ipServer, o.ipServer);
    EXPECT_EQ(before.ipServerName, o.ipServerName);
}
