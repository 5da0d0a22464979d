// The search and copy dialogs against the recorder simulator: the pages it answers, the play
// requests built from its entries, and a copy it pushes arriving as a .dvr file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QWindow>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <chrono>
#include <cstring>
#include <functional>

#include "tests/common/modalscript.h"
#include "tests/common/recordinglink.h"
#include "tests/launchers/launcherfixtures.h"
#include "platform/endian.h"
#include "platform/settings.h"
#include "tests/store/storetestutil.h"
#include "tools/dvrsim/simoptions.h"
#include "tools/dvrsim/simrecorder.h"
#include "tools/dvrsim/simserver.h"
#include "viewer/admin/searchdialogs.h"
#include "viewer/controls/dtedit.h"
#include "viewer/link/dvrlink.h"
#include "viewer/protocol/dvrwincore.h"
#include "viewer/store/dvrstore.h"
#include "viewer/view/dvrhddsel.h"
#include "viewer/view/dvrwin.h"

using namespace strandel;

namespace {

using Bytes = std::vector<uint8_t>;
using test::ModalScript;
using test::SettingsFileFor;
using test::StartDirOnly;

// A logged-in view whose requests the simulated recorder answers in place of a link.
struct SimAnsweredView {
    TfrmDvrWin view;
    RecordingLink *link;
    sim::SimOptions options;
    sim::SimRecorder recorder{options};
    SimAnsweredView()
    {
        DvrListRecord r;
        r.kind = uint8_t(DvrKind::Network);
        view.SetRecord(r);
        auto l = std::make_unique<RecordingLink>();
        link = l.get();
        view.SetConnection(std::move(l));
        const uint8_t answer[9] = {2, uint8_t(options.channels), options.VideoByte(), 0, 0, 0, 0, 0, 0};
        view.Core().HandleLoginAnswer(answer, sizeof answer);
    }
    // Answers the last request as the recorder does: one packet per entry.
    void AnswerLast()
    {
        const Bytes r = link->sent.back();
        const uint8_t *p = r.data() + 1;
        std::vector<Bytes> replies;
        switch (r[0]) {
        case DvrCmdDiskMap: replies = {recorder.DiskMap()}; break;
        case DvrCmdEventSearch: replies = recorder.EventSearch(p[0], p[1], p[2], ReadRecorderTime(p + 3)); break;
        case DvrCmdBlockSearch: replies = recorder.BlockSearch(p[0], ReadRecorderTime(p + 1)); break;
        case DvrCmdLogSearch: replies = recorder.LogSearch(ReadRecorderTime(p)); break;
        case DvrCmdLogDownload: replies = {recorder.LogDownload()}; break;
        default: FAIL() << "unexpected request " << int(r[0]);
        }
        for (const Bytes &b : replies)
            view.Core().HandlePacket(r[0], b.data(), b.size());
    }
};

bool ServeUntil(const std::function<bool()> &cond, int seconds = 20)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!cond() && std::chrono::steady_clock::now() < until)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return cond();
}

int64_t SecondsOf(const uint8_t *t)
{
    const QDateTime d = RecorderDateTimeValue(t);
    return d.isValid() ? d.toSecsSinceEpoch() : -1;
}

} // namespace

// Page after page with Next until the recorder has no more: every entry once, in order, and
// each Next request carries the last row's time. Then the chosen row plays byte for byte.
TEST(SearchSim, PagesWithNextLoseAndDoubleNothing)
{
    struct Case {
        int kind;
        uint8_t cmd;
        int timeOffset;
        int step;        // seconds between the recorder's entries
        int64_t first;   // offset of the first entry from 09:00:00
        size_t total;
        uint8_t playSub;
        int entrySize;
    } cases[] = {
        {2, DvrCmdEventSearch, 2, 37, 20, 97, PLAY_EVENT, kEventEntrySize},
        {3, DvrCmdBlockSearch, 1, 60, 0, 60, PLAY_BLOCK, kBlockEntrySize},
    };
    const uint8_t nine[7] = {20, 26, 12, 10, 9, 0, 0};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        SimAnsweredView t;
        Bytes chosen;
        ModalScript modal([&](QWidget *w) {
            auto *dlg = dynamic_cast<PagedSearch *>(w);
            ASSERT_NE(dlg, nullptr);
            t.AnswerLast(); // the first page
            std::vector<Bytes> rows;
            int pages = 0;
            while (dlg->RowCount() > 0) {
                ++pages;
                for (int i = 0; i < dlg->RowCount(); ++i) {
                    const QByteArray e = dlg->EntryAt(i);
                    rows.emplace_back(e.begin(), e.end());
                }
                const Bytes last = rows.back();
                dlg->btnNext->click();
                const Bytes &request = t.link->sent.back();
                ASSERT_EQ(request[0], c.cmd);
                EXPECT_TRUE(std::equal(request.end() - 7, request.end(), last.begin() + c.timeOffset));
                t.AnswerLast();
            }
            EXPECT_GE(pages, 3);
            ASSERT_EQ(rows.size(), c.total);
            for (size_t i = 0; i < rows.size(); ++i)
                EXPECT_EQ(SecondsOf(rows[i].data() + c.timeOffset) - SecondsOf(nine), c.first + int64_t(i) * c.step) << i;
            // Back to the first page, pick the third row and play it.
            const uint8_t early[7] = {20, 26, 12, 10, 8, 0, 0};
            dlg->edtSearch->SetDateTime(early);
            dlg->btnSearch->click();
            t.AnswerLast();
            ASSERT_GE(dlg->RowCount(), 3);
            dlg->lstResult->setCurrentItem(dlg->lstResult->topLevelItem(2));
            chosen = rows[2];
            dlg->btnPlay->click();
        });
        t.view.OpenSearchDialog(c.kind);
        EXPECT_TRUE(modal.Ran());
        ASSERT_EQ(chosen.size(), size_t(c.entrySize));
        Bytes expect{DvrCmdPlay, c.playSub};
        expect.insert(expect.end(), chosen.begin(), chosen.end());
        EXPECT_EQ(t.link->sent.back(), expect);
    }
}

// The log list pages too, though only Search reaches the recorder's first page by hand.
TEST(SearchSim, LogRowsFromTheRecorder)
{
    SimAnsweredView t;
    ModalScript modal([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmLogSearch *>(w);
        ASSERT_NE(dlg, nullptr);
        t.AnswerLast();
        ASSERT_EQ(dlg->RowCount(), sim::SimRecorder::kPageSize);
        EXPECT_EQ(dlg->TextAt(0, 3), "POWER ON    ");
        EXPECT_EQ(dlg->TextAt(2, 2), "2026/12/10  09:00:00");
        EXPECT_EQ(dlg->TextAt(2, 3), "RECORD START");
        EXPECT_EQ(dlg->TextAt(5, 3), "HDD ERROR- 3");
        EXPECT_EQ(dlg->lblCnt->text(), "20");
        // Every visible column shows its whole text.
        QTreeWidget *list = dlg->lstResult;
        for (int col = 1; col < list->columnCount(); ++col) {
            const int need = list->fontMetrics().horizontalAdvance(dlg->TextAt(2, col));
            EXPECT_GE(list->columnWidth(col), need) << col;
        }
    });
    t.view.OpenSearchDialog(4);
    EXPECT_TRUE(modal.Ran());
}

// "Save Log": the whole log through the view's save dialog into a text file, newest first.
TEST(SearchSim, SaveLogWritesTheLogFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    SimAnsweredView t;
    ModalScript modal([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmLogSearch *>(w);
        ASSERT_NE(dlg, nullptr);
        t.AnswerLast();
        dlg->btnPlay->click();
        EXPECT_EQ(t.link->sent.back(), Bytes{DvrCmdLogDownload});
        EXPECT_TRUE(dlg->isVisible());
        // Typed as a user types it: selectFile() leaves the name field alone once it has the
        // focus, and whether it has it yet depends on when the window was activated.
        ModalScript save(
            [&](QWidget *fw) {
                auto *name = fw->findChild<QLineEdit *>("fileNameEdit");
                ASSERT_NE(name, nullptr);
                name->setText(path);
                static_cast<QDialog *>(fw)->accept();
            },
            [](QWidget *fw) { return qobject_cast<QFileDialog *>(fw) != nullptr; });
        t.AnswerLast();
        // A loaded machine can take seconds to build a file dialog.
        ASSERT_TRUE(ServeUntil([&] { return save.Ran(); }));
    });
    t.view.OpenSearchDialog(4);
    EXPECT_TRUE(modal.Ran());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_EQ(lines.size(), 64); // 63 entries, each line ended by CR LF
    const QByteArray head("1 2026/12/10 10:00:00 RECORD STOP \r\n"
                          "2 2026/12/10 09:59:00 BAY1 FAN ERR\r\n"
                          "3 2026/12/10 09:58:00 INT FAN ERR \r\n");
    EXPECT_EQ(text.left(head.size()), head);
    EXPECT_EQ(lines[61], QByteArray("62 2026/12/10 08:59:30 NET CONNECT \r"));
    EXPECT_EQ(lines[62], QByteArray("63 2026/12/10 08:59:00 POWER ON    \r"));
    EXPECT_TRUE(lines[63].isEmpty());
}

// The save dialog of "Save Log" opens over the log search, offers text files and suggests a
// dated name, which is where the log goes when the user just accepts.
TEST(SearchSim, SaveLogSuggestsADatedTextFileOverTheLogSearch)
{
    QTemporaryDir dir;
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(dir.path()); // a view without a record folder starts in the current one
    SimAnsweredView t;
    QString suggested, target;
    ModalScript modal([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmLogSearch *>(w);
        ASSERT_NE(dlg, nullptr);
        t.AnswerLast();
        dlg->btnPlay->click();
        ModalScript save(
            [&](QWidget *fw) {
                auto *fd = static_cast<QFileDialog *>(fw);
                EXPECT_EQ(fd->nameFilters().value(0), "Text Files (*.txt)");
                EXPECT_EQ(fd->defaultSuffix(), "txt");
                auto *name = fw->findChild<QLineEdit *>("fileNameEdit");
                ASSERT_NE(name, nullptr);
                suggested = name->text();
                target = fd->selectedFiles().value(0);
                ASSERT_NE(fd->windowHandle(), nullptr);
                EXPECT_EQ(fd->windowHandle()->transientParent(), dlg->windowHandle());
                static_cast<QDialog *>(fw)->accept();
            },
            [](QWidget *fw) { return qobject_cast<QFileDialog *>(fw) != nullptr; });
        t.AnswerLast();
        ASSERT_TRUE(ServeUntil([&] { return save.Ran(); }));
    });
    t.view.OpenSearchDialog(4);
    EXPECT_TRUE(modal.Ran());
    QDir::setCurrent(oldCwd);
    EXPECT_TRUE(QRegularExpression(R"(^Log-\d{8}-\d{6}\.txt$)").match(suggested).hasMatch()) << suggested.toStdString();
    EXPECT_EQ(QFileInfo(target).absoluteFilePath(), QFileInfo(dir.filePath(suggested)).absoluteFilePath());
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("1 2026/12/10 10:00:00 RECORD STOP \r\n"));
    EXPECT_EQ(t.view.pnlMsg->text(), "Log saved to " + target);
    f.remove();
}

// Over loopback: the recorder's span in the time search, then a minute of it copied into a
// "Copy/Dvr-...dvr" file that reads back as a recording of that minute.
TEST(SearchSim, TimeSearchAndCopyOverTheLink)
{
    QTemporaryDir dir;
    StartDirOnly main(dir.path().toStdString());
    sim::SimOptions options;
    options.listenHost = "127.0.0.1";
    options.listenPort = 0;
    options.channels = 4;
    options.fps = 10;
    sim::DvrSimServer server(options);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    DvrListRecord entry;
    entry.kind = uint8_t(DvrKind::Network);
    entry.ip = {127, 0, 0, 1};
    entry.port = server.TcpPort();
    SetField(entry.name, "sim");
    TfrmDvrWin view;
    view.resize(720, 520);
    view.show();
    ASSERT_TRUE(view.CreateConnection(&entry));
    view.StartConnection();
    ASSERT_TRUE(ServeUntil([&] { return view.IsLoggedIn(); }));

    ModalScript search([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmTimeSearch *>(w);
        ASSERT_NE(dlg, nullptr);
        ASSERT_TRUE(ServeUntil([&] { return dlg->RowCount() == 1 && dlg->edtHdd->count() == 4; }));
        EXPECT_EQ(dlg->TextAt(0, 2), "2026/12/10  09:00:00");
        EXPECT_EQ(dlg->TextAt(0, 3), "2026/12/10  10:00:00");
        EXPECT_EQ(dlg->scrSearch->maximum(), 3600);
        // The backup area holds nothing.
        dlg->edtHdd->setCurrentIndex(1);
        ASSERT_TRUE(ServeUntil([&] { return dlg->pnlMsg->text() == "No Data"; }));
        EXPECT_EQ(dlg->RowCount(), 0);
    });
    view.OpenSearchDialog(1);
    EXPECT_TRUE(search.Ran());

    QString made;
    ModalScript copy([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmCopy *>(w);
        ASSERT_NE(dlg, nullptr);
        ASSERT_TRUE(ServeUntil([&] { return dlg->RowCount() == 1; }));
        dlg->scrSearch->setValue(600); // 09:10:00 to 09:11:00
        dlg->btnCopy->click();
    });
    view.OpenSearchDialog(5);
    EXPECT_TRUE(copy.Ran());
    ASSERT_TRUE(ServeUntil([&] { return !view.IsCopying(); }, 60));
    const QStringList files = QDir(dir.filePath("Copy")).entryList({"Dvr-*.dvr"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    made = dir.filePath("Copy/" + files[0]);

    DvrStoreContext r;
    ASSERT_TRUE(StoreOpenFile(&r, made.toStdString()));
    const uint8_t from[7] = {20, 26, 12, 10, 9, 10, 0};
    ASSERT_TRUE(StoreSeekTime(&r, 0, from));
    std::vector<uint8_t> data(kMaxRecordBytes);
    uint8_t header[128];
    int records = 0;
    for (int calls = 0; calls < 100000; ++calls) {
        bool read = false;
        const int result = StoreNextRecord(&r, header, data.data(), &read);
        if (read) {
            ++records;
            const int64_t s = SecondsOf(header + 37) - SecondsOf(from);
            EXPECT_GE(s, 0);
            EXPECT_LE(s, 60);
        }
        if (result == StoreFailed || result == StoreEnd)
            break;
    }
    EXPECT_GT(records, 0);
    view.CloseConnection();
    server.Stop();
}

// A recorder disk in an image file: the time search lists the disk's span, a second into it
// plays from the disk.
TEST(SearchSim, TimeSearchOnARecorderDiskImage)
{
    QTemporaryDir dir;
    SettingsFileFor settings(dir.filePath("Strandel.ini"));
    const std::string image = dir.filePath("disk.img").toStdString();
    {
        test::DiskImage img(image, 1000000);
        int g = 0;
        for (int b = 0; b < 2; ++b) {
            std::vector<std::vector<test::TestRecord>> units(2);
            for (auto &u : units) {
                for (int r = 0; r < 2; ++r, ++g) {
                    test::TestRecord rec;
                    rec.ch1 = uint8_t(1 + g % 2);
                    rec.time = test::TimeAt(g);
                    rec.data = test::RecordData(g, 100);
                    u.push_back(rec);
                }
            }
            img.WriteBlock(b, units);
        }
        img.FinishSubBlocks();
        PutLe32(img.Header() + DiskHeader::kStartLba, img.BlockLba(0));
        PutLe32(img.Header() + DiskHeader::kEndLba, img.BlockLba(1));
        PutLe32(img.Header() + DiskHeader::kNewestSequence, 2);
        std::memcpy(img.Header() + DiskHeader::kFirstTime, test::TimeAt(0).data(), 7);
        std::memcpy(img.Header() + DiskHeader::kLastTime, test::TimeAt(g - 1).data(), 7);
        img.WriteHeader();
    }
    RegWriteString("HddDrives", QString::fromStdString(image));
    DvrListRecord entry;
    entry.kind = uint8_t(DvrKind::RecorderDisk);
    SetField(entry.name, "disk");
    TfrmDvrWin view;
    view.resize(720, 520);
    view.show();
    ModalScript choose([](QWidget *w) {
        auto *pick = qobject_cast<TfrmDvrHddSel *>(w);
        ASSERT_NE(pick, nullptr);
        pick->BitBtn1->click();
    });
    ASSERT_TRUE(view.CreateConnection(&entry));
    view.StartConnection();
    ASSERT_TRUE(ServeUntil([&] { return view.IsLoggedIn(); }));
    EXPECT_TRUE(choose.Ran());
    ModalScript search([&](QWidget *w) {
        auto *dlg = qobject_cast<TfrmTimeSearch *>(w);
        ASSERT_NE(dlg, nullptr);
        ASSERT_TRUE(ServeUntil([&] { return dlg->RowCount() == 1; }));
        EXPECT_EQ(dlg->TextAt(0, 2), "2026/12/10  12:00:00");
        EXPECT_EQ(dlg->TextAt(0, 3), "2026/12/10  12:00:07");
        EXPECT_EQ(dlg->TextAt(0, 4), " No File ");
        EXPECT_EQ(dlg->scrSearch->maximum(), 7);
        dlg->scrSearch->setValue(2);
        dlg->btnPlay->click();
    });
    view.OpenSearchDialog(1);
    EXPECT_TRUE(search.Ran());
    EXPECT_EQ(view.GetMode(), 1);
    // The disk finds the chosen second and plays from it to the end of its recording.
    EXPECT_TRUE(ServeUntil([&] { return view.pnlMsg->text() == "Completed"; }, 10)) << view.pnlMsg->text().toStdString();
    view.CloseConnection();
}
