// The search dialogs on their own: disk list, file listing and the choices they hand back.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstring>

#include "platform/settings.h"
#include "viewer/admin/searchdialogs.h"
#include "viewer/controls/dtedit.h"

using namespace strandel;

namespace {

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
            dlg.edtHdd->setCurrentIndex(i);
            EXPECT_EQ(dlg.GetDiskCode(), c.codes[size_t(i)]);
        }
    }
}

TEST(SearchDialogs, FileTimeSearchListsTheFolderNewestNameFirst)
{
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath("Strandel.ini"));
    const QString folder = dir.filePath("rec");
    QDir().mkpath(folder);
    WriteHeader(folder + "/a.dvr", kTen, kEleven);
    WriteHeader(folder + "/b.dvr", kZero, kZero);
    WriteHeader(folder + "/short.dvr", kTen, kEleven, 393); // too short: left out
    WriteHeader(folder + "/notes.txt", kTen, kEleven);
    // A saved folder that is gone falls back to the view's record folder.
    RegWriteString("FileSearchDir", dir.filePath("gone"));
    TfrmTimeSearch dlg(nullptr, nullptr, DvrKind::RecordedFile, folder, 4);
    dlg.show();
    EXPECT_EQ(RegReadString("FileSearchDir", QString()), QDir(folder).absolutePath());
    ASSERT_EQ(dlg.RowCount(), 2);
    EXPECT_EQ(dlg.lstResult->topLevelItem(0)->text(3), "b.dvr");
    EXPECT_EQ(dlg.lstResult->topLevelItem(1)->text(3), "a.dvr");
    EXPECT_EQ(dlg.lstResult->topLevelItem(1)->text(0), "2");
    // The empty span of b.dvr cannot be played.
    dlg.btnPlay->click();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.pnlMsg->text(), "File Error !!");
    // a.dvr: its start goes into the search time, its path out as folder + "/" + name.
    dlg.lstResult->setCurrentItem(dlg.lstResult->topLevelItem(1));
    uint8_t t[7];
    dlg.GetSearchTime(t);
    EXPECT_EQ(std::memcmp(t, kTen, 7), 0);
    EXPECT_EQ(dlg.GetSelectedFile(), (QDir(folder).absolutePath() + "/a.dvr").toStdString());
    EXPECT_EQ(dlg.GetDiskCode(), 0);
    EXPECT_EQ(dlg.GetChannel(), 0);
    dlg.btnPlay->click();
    EXPECT_EQ(dlg.result(), 1);
    SetSettingsFilePath({});
}

TEST(SearchDialogs, SelectedFileOnlyForFilesWithARowAndAPathThatFits)
{
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath("Strandel.ini"));
    {
        TfrmTimeSearch empty(nullptr, nullptr, DvrKind::RecordedFile, dir.path());
        empty.show();
        EXPECT_EQ(empty.RowCount(), 0);
        EXPECT_FALSE(empty.GetSelectedFile());
    }
    // A path longer than a play request holds is refused, never cut.
    const QString deep = dir.filePath(QString(200, 'd'));
    ASSERT_TRUE(QDir().mkpath(deep));
    WriteHeader(deep + "/" + QString(80, 'f') + ".dvr", kTen, kEleven);
    RegWriteString("FileSearchDir", deep);
    TfrmTimeSearch longPath(nullptr, nullptr, DvrKind::RecordedFile, deep);
    longPath.show();
    ASSERT_EQ(longPath.RowCount(), 1);
    EXPECT_FALSE(longPath.GetSelectedFile());
    // Recorder kinds list no files.
    TfrmTimeSearch recorder(nullptr, nullptr, DvrKind::Network, deep);
    recorder.show();
    EXPECT_EQ(recorder.RowCount(), 0);
    EXPECT_TRUE(recorder.edtHdd->isEnabled());
    EXPECT_FALSE(recorder.GetSelectedFile());
    recorder.SetMessage("No Data");
    EXPECT_EQ(recorder.pnlMsg->text(), "No Data");
    SetSettingsFilePath({});
}

TEST(SearchDialogs, RowsOfEventBlockAndLogEntries)
{
    TfrmEventSearch events(nullptr, nullptr, 4);
    const uint8_t event[20] = {3, 5, 20, 26, 12, 10, 10, 0, 0, 2};
    events.AddEventEntry(event, sizeof event);
    events.AddEventEntry(event, 19); // short: no row
    ASSERT_EQ(events.RowCount(), 1);
    EXPECT_EQ(events.lstResult->topLevelItem(0)->text(3), "A - M");
    uint8_t out[20] = {};
    ASSERT_EQ(events.GetSelectedEntry(out), out);
    EXPECT_EQ(std::memcmp(out, event, 20), 0);

    TfrmBlockSearch blocks(nullptr, nullptr);
    uint8_t block[18] = {1, 20, 26, 12, 10, 10, 0, 0};
    block[13] = 0x80; // the top bit of the address
    blocks.AddBlockEntry(block, sizeof block);
    EXPECT_EQ(blocks.lstResult->topLevelItem(0)->text(3), "-2147483648");
    uint8_t none[18];
    TfrmBlockSearch empty(nullptr, nullptr);
    EXPECT_EQ(empty.GetSelectedEntry(none), nullptr);

    TfrmLogSearch logs(nullptr, nullptr);
    const uint8_t log[9] = {1, 20, 26, 12, 10, 10, 0, 0, 0};
    logs.AddLogEntry(log, sizeof log);
    EXPECT_EQ(logs.lstResult->topLevelItem(0)->text(2), "RECORD START");
}
