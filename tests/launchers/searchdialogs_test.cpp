// The search and copy dialogs on their own, over a view that keeps what they send: disk list,
// file listing, rows, paging requests, the scroll bar and the copy's checks.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstring>
#include <functional>

#include "platform/settings.h"
#include "viewer/admin/searchdialogs.h"
#include "viewer/controls/dtedit.h"
#include "tests/launchers/launcherfixtures.h"

using namespace strandel;

namespace {

using Bytes = std::vector<uint8_t>;

// The view as the dialogs see it, keeping each packet as command byte + payload.
class FakeServices : public DvrServices {
public:
    bool SendCommandEx(uint8_t cmd, uint8_t, const uint8_t *data, int length) override
    {
        Bytes v{cmd};
        if (data && length > 0)
            v.insert(v.end(), data, data + length);
        sent.push_back(v);
        return true;
    }
    bool SendUpload(uint8_t, const uint8_t *, size_t) override { return true; }
    int GetChannelCount() const override { return 4; }
    std::string GetRecordPath() const override { return recordPath; }
    bool IsLoggedIn() const override { return loggedIn; }
    uint8_t GetModel() const override { return 0; }
    uint8_t GetVideoStandard() const override { return 0; }
    bool StartNetCopy(const std::string &fileName) override
    {
        copyFile = fileName;
        copying = openCopy;
        return openCopy;
    }
    bool IsCopying() const override { return copying; }
    void CancelNetCopy() override { copying = false; }
    void OpenUpgradeDialog() override {}

    std::vector<Bytes> sent;
    std::string recordPath, copyFile;
    bool loggedIn = true, openCopy = true, copying = false;
};

void WriteHeader(const QString &path, const uint8_t start[7], const uint8_t end[7], int size = 394)
{
    QByteArray h(size, 0);
    if (size >= 394) {
        std::memcpy(h.data() + 63, start, 7);
        std::memcpy(h.data() + 182, end, 7);
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(h);
}

Bytes Header(const uint8_t start[7], const uint8_t end[7])
{
    Bytes h(394, 0);
    std::memcpy(h.data() + 63, start, 7);
    std::memcpy(h.data() + 182, end, 7);
    return h;
}

Bytes EditBytes(const TDateTimeEdit *e)
{
    Bytes t(7);
    e->GetDateTime(t.data());
    return t;
}

const uint8_t kTen[7] = {20, 26, 12, 10, 10, 0, 0};
const uint8_t kEleven[7] = {20, 26, 12, 10, 11, 0, 0};
const uint8_t kZero[7] = {};

} // namespace

TEST(SearchDialogs, DiskListFromTheMap)
{
    struct Case {
        std::vector<std::pair<int, uint8_t>> bits; // byte, mask
        QStringList rows;
        std::vector<uint8_t> codes;
    } cases[] = {
        {{{0, 0x80}}, {" Normal ", " Backup ", " R-Hdd "}, {0, 1, 2}},
        {{{1, 0x40}}, {" Normal ", " Backup ", " Hdd 9"}, {0, 1, 11}},
        {{{15, 0x01}, {0, 0x40}}, {" Normal ", " Backup ", " Hdd 1", " Hdd 127"}, {0, 1, 3, 129}},
    };
    for (const Case &c : cases) {
        TfrmBlockSearch dlg(nullptr, nullptr);
        EXPECT_EQ(dlg.edtHdd->itemText(0), " HDD ");
        EXPECT_EQ(dlg.GetDiskCode(), 0);
        uint8_t map[16] = {};
        for (auto [byte, mask] : c.bits)
            map[byte] |= mask;
        dlg.SetHddMap(map);
        ASSERT_EQ(dlg.edtHdd->count(), c.rows.size());
        for (int i = 0; i < dlg.edtHdd->count(); ++i) {
            EXPECT_EQ(dlg.edtHdd->itemText(i), c.rows[i]);
            dlg.edtHdd->blockSignals(true);
            dlg.edtHdd->setCurrentIndex(i);
            dlg.edtHdd->blockSignals(false);
            EXPECT_EQ(dlg.GetDiskCode(), c.codes[size_t(i)]);
        }
    }
}

TEST(SearchDialogs, FileTimeSearchListsTheFolderNewestNameFirst)
{
    QTemporaryDir dir;
    test::SettingsFileFor settings(dir.filePath("Strandel.ini"));
    const QString folder = dir.filePath("rec");
    QDir().mkpath(folder);
    WriteHeader(folder + "/Dvr-20261210-100000.dvr", kTen, kEleven);
    WriteHeader(folder + "/Dvr-20261211-100000.dvr", kZero, kZero);
    WriteHeader(folder + "/short.dvr", kTen, kEleven, 393); // too short: left out
    WriteHeader(folder + "/notes.txt", kTen, kEleven);
    // A saved folder that is gone falls back to the view's record folder, written back.
    RegWriteString("FileSearchDir", dir.filePath("gone"));
    FakeServices view;
    view.recordPath = folder.toStdString();
    const QString cwd = QDir::currentPath();
    TfrmTimeSearch dlg(nullptr, DvrKind::RecordedFile, &view);
    dlg.show();
    EXPECT_EQ(QDir::currentPath(), cwd);
    EXPECT_TRUE(view.sent.empty());
    EXPECT_EQ(RegReadString("FileSearchDir", QString()), QDir(folder).absolutePath());
    ASSERT_EQ(dlg.RowCount(), 2);
    EXPECT_EQ(dlg.TextAt(0, 4), "Dvr-20261211-100000.dvr");
    EXPECT_EQ(dlg.TextAt(1, 4), "Dvr-20261210-100000.dvr");
    EXPECT_EQ(dlg.TextAt(1, 1), "2");
    EXPECT_EQ(dlg.TextAt(1, 2), "2026/12/10  10:00:00");
    // The empty span of the newest file cannot be played.
    dlg.btnPlay->click();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.pnlMsg->text(), "File Error !!");
    // The other: its start goes into the search time, its path out as folder + "/" + name.
    dlg.lstResult->setCurrentItem(dlg.lstResult->topLevelItem(1));
    EXPECT_EQ(EditBytes(dlg.edtSearch), Bytes(kTen, kTen + 7));
    EXPECT_EQ(dlg.scrSearch->maximum(), 3600);
    EXPECT_EQ(dlg.GetSelectedFile(), (QDir(folder).absolutePath() + "/Dvr-20261210-100000.dvr").toStdString());
    EXPECT_EQ(dlg.GetDiskCode(), 0);
    EXPECT_EQ(dlg.GetChannel(), 0);
    dlg.edtHdd->setCurrentIndex(0);
    EXPECT_TRUE(view.sent.empty()); // files: the disk choice sends nothing
    dlg.btnPlay->click();
    EXPECT_EQ(dlg.result(), 1);
}

// The demo's address-book entry names the folder of demo.dvr: it opens there even after another
// folder (say Copy/) was listed last; an entry naming a recording opens with it chosen.
TEST(SearchDialogs, AnEntryNamingAFolderOrAFileOpensThere)
{
    QTemporaryDir dir;
    test::SettingsFileFor settings(dir.filePath("Strandel.ini"));
    const QString demo = dir.filePath("demo"), copy = dir.filePath("Copy");
    QDir().mkpath(demo);
    QDir().mkpath(copy);
    WriteHeader(demo + "/demo.dvr", kTen, kEleven);
    WriteHeader(demo + "/newer.dvr", kEleven, kEleven);
    WriteHeader(copy + "/Dvr-20261210-100000.dvr", kTen, kEleven);
    struct Case {
        QString entry, listed, chosen;
    } cases[] = {
        {demo, demo, "newer.dvr"},
        {demo + "/demo.dvr", demo, "demo.dvr"},
        {QString(), copy, "Dvr-20261210-100000.dvr"}, // naming nothing: the folder listed last
        {dir.filePath("gone"), copy, "Dvr-20261210-100000.dvr"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry.toStdString());
        RegWriteString("FileSearchDir", copy);
        FakeServices view;
        view.recordPath = c.entry.toStdString();
        TfrmTimeSearch dlg(nullptr, DvrKind::RecordedFile, &view);
        dlg.show();
        EXPECT_EQ(dlg.Folder(), QDir(c.listed).absolutePath());
        ASSERT_NE(dlg.lstResult->currentItem(), nullptr);
        EXPECT_EQ(dlg.lstResult->currentItem()->text(0), c.chosen);
        EXPECT_EQ(dlg.GetSelectedFile(), (QDir(c.listed).absolutePath() + "/" + c.chosen).toStdString());
        EXPECT_TRUE(dlg.btnPlay->isEnabled());
    }
}

TEST(SearchDialogs, FilePlayNeedsARowAndAPathThatFits)
{
    QTemporaryDir dir;
    test::SettingsFileFor settings(dir.filePath("Strandel.ini"));
    FakeServices view;
    {
        RegWriteString("FileSearchDir", dir.path());
        TfrmTimeSearch empty(nullptr, DvrKind::RecordedFile, &view);
        empty.show();
        EXPECT_EQ(empty.RowCount(), 0);
        EXPECT_FALSE(empty.GetSelectedFile());
        empty.btnPlay->setEnabled(true);
        empty.btnPlay->click();
        EXPECT_TRUE(empty.isVisible());
        EXPECT_FALSE(empty.pnlMsg->text().isEmpty());
    }
    // A path longer than a play request holds is refused, never cut.
    const QString deep = dir.filePath(QString(200, 'd'));
    ASSERT_TRUE(QDir().mkpath(deep));
    WriteHeader(deep + "/" + QString(80, 'f') + ".dvr", kTen, kEleven);
    RegWriteString("FileSearchDir", deep);
    TfrmTimeSearch longPath(nullptr, DvrKind::RecordedFile, &view);
    longPath.show();
    ASSERT_EQ(longPath.RowCount(), 1);
    EXPECT_FALSE(longPath.GetSelectedFile());
    longPath.btnPlay->click();
    EXPECT_TRUE(longPath.isVisible());
    EXPECT_TRUE(longPath.pnlMsg->text().contains("260"));
}

TEST(SearchDialogs, RecorderTimeSearchAsksForTheAreaAndScrollsTheSpan)
{
    FakeServices view;
    TfrmTimeSearch dlg(nullptr, DvrKind::Network, &view);
    dlg.show();
    ASSERT_EQ(view.sent.size(), 1u);
    EXPECT_EQ(view.sent[0], (Bytes{DvrCmdDiskIndex, 0, 0}));
    EXPECT_FALSE(dlg.btnDir->isVisible());
    EXPECT_EQ(dlg.edtCh->count(), 5);
    const uint8_t halfPast[7] = {20, 26, 12, 10, 10, 1, 30};
    const uint8_t far[7] = {21, 99, 12, 31, 23, 59, 59};
    const uint8_t badMonth[7] = {20, 26, 0, 10, 10, 0, 0};
    struct Case {
        const uint8_t *end;
        int max;
    } cases[] = {{kTen, 0}, {halfPast, 90}, {kEleven, 3600}, {far, 0}, {badMonth, 0}};
    for (const Case &c : cases) {
        dlg.AddIndexEntry(Header(kTen, c.end).data());
        dlg.lstResult->setCurrentItem(dlg.lstResult->topLevelItem(dlg.RowCount() - 1));
        EXPECT_EQ(dlg.scrSearch->maximum(), c.max) << dlg.RowCount();
        EXPECT_EQ(dlg.TextAt(dlg.RowCount() - 1, 4), " No File ");
    }
    // The span 2026 to 2199 does not fit the scroll bar's range: refused with a message.
    dlg.lstResult->setCurrentItem(dlg.lstResult->topLevelItem(3));
    EXPECT_FALSE(dlg.pnlMsg->text().isEmpty());
    // Moving the bar moves the search time from the row's start.
    dlg.lstResult->setCurrentItem(dlg.lstResult->topLevelItem(1));
    dlg.scrSearch->setValue(75);
    EXPECT_EQ(EditBytes(dlg.edtSearch), (Bytes{20, 26, 12, 10, 10, 1, 15}));
    // Another area: the rows go, the area's index is asked for.
    uint8_t map[16] = {0x80};
    dlg.SetHddMap(map);
    dlg.edtHdd->setCurrentIndex(2);
    EXPECT_EQ(dlg.RowCount(), 0);
    EXPECT_EQ(view.sent.back(), (Bytes{DvrCmdDiskIndex, 2, 0}));
    dlg.SetMessage("No Data");
    EXPECT_EQ(dlg.pnlMsg->text(), "No Data");
    // With the link down nothing goes and the dialog says why.
    view.loggedIn = false;
    const size_t before = view.sent.size();
    dlg.edtHdd->setCurrentIndex(1);
    EXPECT_EQ(view.sent.size(), before);
    EXPECT_TRUE(dlg.pnlMsg->text().contains("Not connected"));
}

TEST(SearchDialogs, RowsOfEventBlockAndLogEntries)
{
    TfrmEventSearch events(nullptr, nullptr);
    struct EventCase {
        Bytes entry;
        QString kind, last;
    } eventCases[] = {
        {{3, 5, 20, 26, 12, 10, 10, 0, 0, 2, 1, 2, 100, 0, 0, 0, 200, 0, 0, 0}, "A - M", "100,1,2-200"},
        {{1, 0, 20, 26, 12, 10, 10, 0, 1, 1, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, "- - -", "-1,0,0-0"},
    };
    for (const EventCase &c : eventCases)
        events.AddEventEntry(c.entry.data(), c.entry.size());
    events.AddEventEntry(eventCases[0].entry.data(), 19); // short: no row
    ASSERT_EQ(events.RowCount(), 2);
    EXPECT_EQ(events.lblCnt->text(), "2");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(events.TextAt(i, 1), QString::number(i + 1));
        EXPECT_EQ(events.TextAt(i, 4), eventCases[i].kind);
        EXPECT_EQ(events.TextAt(i, 6), eventCases[i].last);
    }
    EXPECT_EQ(events.TextAt(0, 2), "2026/12/10  10:00:00");
    EXPECT_EQ(events.TextAt(0, 3), "3");
    EXPECT_EQ(events.TextAt(0, 5), "2");
    uint8_t out[20] = {};
    ASSERT_EQ(events.GetSelectedEntry(out), out);
    EXPECT_EQ(Bytes(out, out + 20), eventCases[0].entry);

    TfrmBlockSearch blocks(nullptr, nullptr);
    uint8_t block[18] = {1, 20, 26, 12, 10, 10, 0, 0};
    block[13] = 0x80; // the top bit of the address
    blocks.AddBlockEntry(block, sizeof block);
    EXPECT_EQ(blocks.TextAt(0, 5), "-2147483648");
    EXPECT_EQ(blocks.TextAt(0, 3), "2026/12/10  10:00:00");
    EXPECT_TRUE(blocks.lstResult->isColumnHidden(2)); // "Block Start Time"
    EXPECT_TRUE(blocks.lstResult->isColumnHidden(0));
    uint8_t none[18];
    TfrmBlockSearch empty(nullptr, nullptr);
    EXPECT_EQ(empty.GetSelectedEntry(none), nullptr);

    TfrmLogSearch logs(nullptr, nullptr);
    struct LogCase {
        uint8_t code, disk;
        const char *kind;
    } logCases[] = {{1, 0, "RECORD START"}, {0, 0, "POWER OFF   "}, {10, 2, "HDD ERROR- 2"}, {10, 5, "BAY ERROR- 5"},
                    {11, 7, "BAY FAIL- 7"},  {11, 1, "HDD FAIL- 1"},  {25, 0, ""},             {0xF0, 0, ""}};
    for (const LogCase &c : logCases) {
        const uint8_t log[9] = {c.code, 20, 26, 12, 10, 10, 0, 0, c.disk};
        logs.AddLogEntry(log, sizeof log);
        EXPECT_EQ(logs.TextAt(logs.RowCount() - 1, 3), c.kind) << int(c.code);
    }
    EXPECT_FALSE(logs.btnNext->isEnabled());
}

TEST(SearchDialogs, SearchAndNextRequests)
{
    FakeServices view;
    TfrmEventSearch dlg(nullptr, &view);
    dlg.show();
    // The first request asks for the oldest entries; the edit then shows the time now.
    ASSERT_EQ(view.sent.size(), 1u);
    EXPECT_EQ(view.sent[0], (Bytes{DvrCmdEventSearch, 0, 0, 7, 0xFF, 0xFF, 0, 0, 0, 0, 0}));
    EXPECT_EQ(dlg.edtSearch->DateTime().date(), QDate::currentDate());
    // Next on an empty list sends nothing.
    dlg.btnNextClick();
    EXPECT_EQ(view.sent.size(), 1u);
    for (int s = 0; s < 3; ++s) {
        Bytes e(20, 0);
        const Bytes t{20, 26, 12, 10, 9, 0, uint8_t(s * 10)};
        std::copy(t.begin(), t.end(), e.begin() + 2);
        dlg.AddEventEntry(e.data(), e.size());
    }
    EXPECT_TRUE(dlg.btnNext->isEnabled());
    // Next carries the last row's time and the choices read again; the rows go.
    dlg.edtCh->setCurrentIndex(2);
    dlg.chkLoss->setChecked(false);
    dlg.btnNext->click();
    EXPECT_EQ(view.sent.back(), (Bytes{DvrCmdEventSearch, 0, 2, 5, 20, 26, 12, 10, 9, 0, 20}));
    EXPECT_EQ(dlg.RowCount(), 0);
    EXPECT_EQ(dlg.lblCnt->text(), "0");
    // Search carries the edit's time; no box ticked is the mask 0.
    dlg.chkAlarm->setChecked(false);
    dlg.chkMotion->setChecked(false);
    const uint8_t t[7] = {20, 26, 1, 2, 3, 4, 5};
    dlg.edtSearch->SetDateTime(t);
    dlg.btnSearch->click();
    EXPECT_EQ(view.sent.back(), (Bytes{DvrCmdEventSearch, 0, 2, 0, 20, 26, 1, 2, 3, 4, 5}));
    // A dropped link: nothing goes, the rows stay, the dialog says why.
    const Bytes e(20, 1);
    dlg.AddEventEntry(e.data(), e.size());
    view.loggedIn = false;
    const size_t before = view.sent.size();
    dlg.btnSearch->click();
    dlg.btnNext->click();
    EXPECT_EQ(view.sent.size(), before);
    EXPECT_EQ(dlg.RowCount(), 1);
    EXPECT_TRUE(dlg.pnlMsg->text().contains("Not connected"));

    // Block: disk code and time; log: the time alone, and "Save Log" asks for the whole log.
    FakeServices bview;
    TfrmBlockSearch blocks(nullptr, &bview);
    blocks.show();
    EXPECT_EQ(bview.sent.at(0), (Bytes{DvrCmdBlockSearch, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0}));
    FakeServices lview;
    TfrmLogSearch logs(nullptr, &lview);
    logs.show();
    EXPECT_EQ(lview.sent.at(0), (Bytes{DvrCmdLogSearch, 0xFF, 0xFF, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(logs.btnNext->isVisible());
    EXPECT_EQ(logs.btnPlay->text(), "Save Log");
    logs.btnPlay->click();
    EXPECT_EQ(lview.sent.back(), Bytes{DvrCmdLogDownload});
    EXPECT_TRUE(logs.isVisible());
}

TEST(SearchDialogs, CalendarKeepsTheTimeOfDay)
{
    TDateTimeEdit edit;
    const uint8_t t[7] = {20, 26, 12, 10, 13, 14, 15};
    edit.SetDateTime(t);
    SetEditDate(&edit, QDate(2005, 3, 1));
    EXPECT_EQ(EditBytes(&edit), (Bytes{20, 5, 3, 1, 13, 14, 15}));
}

TEST(SearchDialogs, CopySpanFollowsTheRowTheBarAndTheLength)
{
    FakeServices view;
    TfrmCopy dlg(nullptr, &view);
    dlg.show();
    EXPECT_EQ(view.sent.at(0), (Bytes{DvrCmdDiskIndex, 0, 0}));
    EXPECT_FALSE(dlg.btnCopy->isEnabled());
    EXPECT_EQ(dlg.edtCopyTime->minimum(), 1);
    EXPECT_EQ(dlg.edtCopyTime->maximum(), 60);
    const uint8_t start[7] = {20, 5, 3, 1, 10, 0, 0};
    const uint8_t end[7] = {20, 5, 3, 1, 12, 0, 0};
    dlg.AddIndexEntry(Header(start, end).data());
    EXPECT_TRUE(dlg.btnCopy->isEnabled());
    EXPECT_EQ(EditBytes(dlg.edtEnd), (Bytes{20, 5, 3, 1, 10, 1, 0}));
    dlg.scrSearch->setValue(90);
    EXPECT_EQ(EditBytes(dlg.edtStart), (Bytes{20, 5, 3, 1, 10, 1, 30}));
    EXPECT_EQ(EditBytes(dlg.edtEnd), (Bytes{20, 5, 3, 1, 10, 2, 30}));
    dlg.edtCopyTime->setValue(60);
    EXPECT_EQ(EditBytes(dlg.edtEnd), (Bytes{20, 5, 3, 1, 11, 1, 30}));
    // A date picked for the end stands as picked.
    SetEditDate(dlg.edtEnd, QDate(2005, 3, 2));
    EXPECT_EQ(EditBytes(dlg.edtEnd), (Bytes{20, 5, 3, 2, 11, 1, 30}));
}

TEST(SearchDialogs, CopyIsRefusedUnlessItCanRun)
{
    QTemporaryDir dir;
    test::StartDirOnly main(dir.path().toStdString());
    const uint8_t start[7] = {20, 5, 3, 1, 10, 0, 0};
    const uint8_t end[7] = {20, 5, 3, 1, 12, 0, 0};
    const uint8_t early[7] = {20, 5, 3, 1, 9, 0, 0};
    const uint8_t noMonth[7] = {20, 5, 0, 1, 9, 0, 0};
    struct Case {
        const char *name;
        std::function<void(TfrmCopy &, FakeServices &)> set;
        bool opens; // the writer was asked for
    } cases[] = {
        {"end before start", [&](TfrmCopy &d, FakeServices &) { d.edtEnd->SetDateTime(early); }, false},
        {"no date", [&](TfrmCopy &d, FakeServices &) { d.edtStart->SetDateTime(noMonth); }, false},
        {"logged out", [](TfrmCopy &, FakeServices &v) { v.loggedIn = false; }, false},
        {"copy running", [](TfrmCopy &, FakeServices &v) { v.copying = true; }, false},
        {"file not created", [](TfrmCopy &, FakeServices &v) { v.openCopy = false; }, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeServices view;
        TfrmCopy dlg(nullptr, &view);
        dlg.show();
        dlg.AddIndexEntry(Header(start, end).data());
        view.sent.clear();
        c.set(dlg, view);
        EXPECT_FALSE(dlg.btnCopyClick());
        EXPECT_TRUE(view.sent.empty());
        EXPECT_EQ(!view.copyFile.empty(), c.opens);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_FALSE(dlg.pnlMsg->text().isEmpty());
    }
    // A copy that can run: the file under "Copy" in the start directory, the request, OK.
    FakeServices view;
    TfrmCopy dlg(nullptr, &view);
    dlg.show();
    uint8_t map[16] = {0x40};
    dlg.SetHddMap(map);
    dlg.edtHdd->setCurrentIndex(2);
    dlg.AddIndexEntry(Header(start, end).data());
    view.sent.clear();
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(dlg.btnCopyClick());
    EXPECT_EQ(QDir::currentPath(), cwd);
    EXPECT_EQ(dlg.result(), 1);
    ASSERT_EQ(view.sent.size(), 1u);
    EXPECT_EQ(view.sent[0], (Bytes{DvrCmdCopy, 3, 0, 20, 5, 3, 1, 10, 0, 0, 20, 5, 3, 1, 10, 1, 0}));
    const QString file = QString::fromStdString(view.copyFile);
    EXPECT_EQ(QFileInfo(file).absolutePath(), QDir(dir.filePath("Copy")).absolutePath());
    EXPECT_TRUE(QDir(dir.filePath("Copy")).exists());
    EXPECT_EQ(TfrmCopy::CopyFileName("/s", QDateTime(QDate(2005, 3, 1), QTime(9, 8, 7))),
              "/s/Copy/Dvr-20050301-090807.dvr");
}
