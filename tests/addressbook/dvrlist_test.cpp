#include "bookfixture.h"
#include "focus.h"

#include "platform/endian.h"
#include "viewer/controls/ipedit.h"
#include "viewer/controls/placement.h"
#include "viewer/base/global.h"
#include "tests/common/modalscript.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTreeWidget>

#include <cstring>
#include <unistd.h>

using namespace strandel;
using strandel::test::ModalScript;

namespace {

QString Cell(TfrmDvrList &b, int row, int col) { return b.lstDvrList->topLevelItem(row)->text(col); }

// Keys go where the focus is, as the box moves it from part to part.
void TypeAsAPerson(const char *keys)
{
    for (const char *k = keys; *k; ++k)
        QTest::keyClick(QApplication::focusWidget(), *k);
}

} // namespace

TEST_F(BookTest, LoadsRecordsBoundedByFieldWidths)
{
    TfrmDvrList &b = Book("two_records.lst");
    ASSERT_EQ(b.RecordCount(), 2);
    EXPECT_EQ(b.lblListCnt->text(), "Count:2");
    EXPECT_EQ(Cell(b, 0, 0), "Gate");
    EXPECT_EQ(Cell(b, 0, 1), "192.168.0.7");
    EXPECT_EQ(Cell(b, 0, 2), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(Cell(b, 1, 0), QString(32, u'N'));
    EXPECT_EQ(Cell(b, 1, 1), "Com 3");
    EXPECT_EQ(Cell(b, 1, 2), "");
    // Baud 0 and port 0 are given their defaults.
    EXPECT_EQ(b.Record(0)->baudRate, 9600);
    EXPECT_EQ(b.Record(1)->port, 5400);

    b.SelectRow(1);
    EXPECT_EQ(b.edtName->text(), QString(32, u'N'));
    EXPECT_EQ(b.edtDesc->toPlainText(), QString(128, u'D'));
    EXPECT_EQ(b.edtPass->text(), QString(8, u'P')); // the edit takes at most 8
}

// A trailing partial record is no entry, but its bytes go back into the file as they were:
// closing the list never leaves the file shorter than what it held.
TEST_F(BookTest, SavesByteExactAndKeepsATrailingPartialRecord)
{
    QByteArray file = ReadAll(QString(STRANDEL_TEST_DATA) + "/two_records.lst");
    ASSERT_EQ(file.size(), 2 * DvrListRecord::kSize);
    QByteArray want = file;
    PutLe32(reinterpret_cast<uint8_t *>(want.data()) + 18, 9600);
    PutLe32(reinterpret_cast<uint8_t *>(want.data()) + DvrListRecord::kSize + 14, 5400);

    QFile f(dir.filePath("Strandel.lst"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(file + QByteArray(100, 'x'));
    f.close();
    TfrmDvrList &b = Book();
    EXPECT_EQ(b.RecordCount(), 2);
    ASSERT_TRUE(b.SaveList(dir.filePath("out.lst")));
    EXPECT_EQ(ReadAll(dir.filePath("out.lst")), want + QByteArray(100, 'x'));

    EXPECT_FALSE(b.LoadList(dir.filePath("missing.lst")));
    EXPECT_EQ(b.RecordCount(), 2);
}

TEST_F(BookTest, ClosingAListOfOnlyAPartialRecordLeavesTheFileAsItWas)
{
    const QByteArray partial = ReadAll(QString(STRANDEL_TEST_DATA) + "/two_records.lst").left(342);
    QFile f(dir.filePath("Strandel.lst"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(partial);
    f.close();
    {
        TfrmDvrList &b = Book();
        EXPECT_EQ(b.RecordCount(), 0);
        b.close();
    }
    EXPECT_EQ(ReadAll(dir.filePath("Strandel.lst")), partial);
    // An entry added later goes before the partial bytes, so it is read back as one.
    TfrmDvrList &b = Book();
    auto r = std::make_unique<DvrListRecord>();
    SetField(r->name, "New");
    b.AddRecord(std::move(r));
    b.close();
    const QByteArray saved = ReadAll(dir.filePath("Strandel.lst"));
    EXPECT_EQ(saved.size(), DvrListRecord::kSize + 342);
    EXPECT_EQ(saved.mid(DvrListRecord::kSize), partial);
}

TEST_F(BookTest, FailedSaveKeepsTheOldFile)
{
    TfrmDvrList &b = Book("two_records.lst");
    const QString blocked = dir.filePath("blocked");
    ASSERT_TRUE(QDir(dir.path()).mkdir("blocked"));
    EXPECT_FALSE(b.SaveList(blocked)); // a directory cannot be replaced by a file
    EXPECT_FALSE(b.SaveList(dir.filePath("no/such/dir/Strandel.lst")));

    b.Record(0)->port = 5499;
    ASSERT_TRUE(b.SaveList(b.ListPath()));
    EXPECT_EQ(ReadAll(b.ListPath()).size(), 2 * DvrListRecord::kSize);
    // No temporary file is left beside the list.
    EXPECT_EQ(QDir(dir.path()).entryList({"Strandel.lst*"}, QDir::Files), QStringList{"Strandel.lst"});
}

// A start folder the list cannot be written to: closing the form says so and keeps it open with
// its entries; once the folder can be written, closing saves them. When the program ends the
// form closes anyway.
TEST_F(BookTest, AListThatCannotBeSavedIsToldAndKeptOpen)
{
    TfrmDvrList &b = Book("two_records.lst");
    std::vector<QString> told;
    b.showMessage = [&](const QString &text) { told.push_back(text); };
    // A folder without write permission; as root, which writes anyway, a folder in the list's place.
    const bool root = ::geteuid() == 0;
    auto block = [&] {
        if (root) {
            QFile::remove(b.ListPath());
            ASSERT_TRUE(QDir(dir.path()).mkpath("Strandel.lst/kept"));
        } else {
            ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        }
    };
    auto unblock = [&] {
        if (root)
            ASSERT_TRUE(QDir(b.ListPath()).removeRecursively());
        else
            ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    };
    block();
    ASSERT_TRUE(ShowActive(b));
    b.edtName->setText("Added");
    b.btnAdd->click();
    EXPECT_FALSE(b.close());
    EXPECT_TRUE(b.isVisible());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].contains(b.ListPath())) << told[0].toStdString();
    EXPECT_EQ(b.RecordCount(), 3);
    unblock();
    EXPECT_TRUE(b.close());
    EXPECT_EQ(ReadAll(b.ListPath()).size(), 3 * DvrListRecord::kSize);

    // The program ends: the form closes whatever the file, and waits for nobody.
    told.clear();
    ASSERT_TRUE(ShowActive(b));
    block();
    b.CloseForExit();
    EXPECT_FALSE(b.isVisible());
    EXPECT_TRUE(told.empty());
    unblock();
}

TEST_F(BookTest, FormToRecordRules)
{
    TfrmDvrList &b = Book();
    const struct {
        const char *macText;
        std::array<uint8_t, 6> mac;
    } macs[] = {
        {"001A2B3C4D5E", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
        {"0011223", {0x00, 0x11, 0x22, 0x03, 0, 0}},
        {"ab", {0xAB, 0, 0, 0, 0, 0}},
        {"", {0, 0, 0, 0, 0, 0}},
        {"zz1122", {0, 0, 0, 0, 0, 0}},
    };
    for (const auto &c : macs) {
        DvrListRecord r;
        r.mac.fill(0x77);
        b.edtMac->setText(c.macText);
        b.FormToRecord(&r);
        EXPECT_EQ(r.mac, c.mac) << c.macText;
    }

    DvrListRecord r;
    SetField(r.user, "keepme");
    b.edtName->setText(QString(40, u'n'));
    b.edtDesc->setPlainText(QString(200, u'd'));
    b.edtPass->setText("secret12");
    b.findChildren<QRadioButton *>()[2]->click();
    b.edtSerialPort->setCurrentIndex(8);
    b.edtBaudRate->setCurrentIndex(2);
    b.chkUseIp->setChecked(true);
    b.FormToRecord(&r);
    EXPECT_EQ(FieldText(r.name), std::string(31, 'n'));
    EXPECT_EQ(FieldText(r.description), std::string(127, 'd'));
    EXPECT_EQ(FieldText(r.password), "secret12");
    EXPECT_EQ(FieldText(r.user), "keepme");
    EXPECT_EQ(r.kind, 2);
    EXPECT_EQ(r.serialPort, 8);
    EXPECT_EQ(r.baudRate, 115200);
    EXPECT_EQ(r.useIpServer, 1);
    EXPECT_EQ(r.name[31], 0);

    // Text is 8-bit, one byte a character, both ways.
    b.edtName->setText(QString(30, u'a') + QString::fromUtf8("\xC3\xA9"));
    b.edtDesc->setPlainText(QString::fromUtf8("Caf\xC3\xA9 \xC3\xBC"));
    b.FormToRecord(&r);
    EXPECT_EQ(FieldText(r.name), std::string(30, 'a') + "\xE9");
    EXPECT_EQ(FieldText(r.description), "Caf\xE9 \xFC");
    SetField(r.name, "Gr\xFC\xDF");
    b.RecordToForm(&r);
    EXPECT_EQ(b.edtName->text(), QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"));
}

TEST_F(BookTest, RecordToFormAndDefaults)
{
    TfrmDvrList &b = Book("two_records.lst");
    EXPECT_EQ(b.edtPortNum->value(), 5400); // the defaults after creation
    EXPECT_EQ(b.edtSerialPort->currentText(), "None");
    EXPECT_EQ(b.edtBaudRate->currentText(), "9600");
    EXPECT_FALSE(b.edtMac->isEnabled());

    b.SelectRow(0);
    EXPECT_EQ(b.edtMac->text(), "001A2B3C4D5E");
    EXPECT_TRUE(b.chkUseIp->isChecked());
    EXPECT_TRUE(b.edtMac->isEnabled());
    EXPECT_EQ(b.edtIpAddr->GetIp(0), 192);
    EXPECT_EQ(b.edtPortNum->value(), 5401);
    EXPECT_TRUE(b.edtIpAddr->isEnabled());
    EXPECT_FALSE(b.edtBaudRate->isEnabled());
    b.chkUseIp->click();
    EXPECT_FALSE(b.edtMac->isEnabled());

    b.SelectRow(1);
    EXPECT_EQ(b.edtSerialPort->currentText(), "Com 3");
    EXPECT_EQ(b.edtBaudRate->currentText(), "38400");
    EXPECT_FALSE(b.edtIpAddr->isEnabled());
    EXPECT_TRUE(b.edtSerialPort->isEnabled());

    // An unlisted baud rate selects nothing, and a change keeps it.
    b.Record(1)->baudRate = 4800;
    b.SelectRow(0);
    b.SelectRow(1);
    EXPECT_EQ(b.edtBaudRate->currentIndex(), -1);
    b.btnChange->click();
    EXPECT_EQ(b.Record(1)->baudRate, 4800);
}

TEST_F(BookTest, AddChangeDelete)
{
    TfrmDvrList &b = Book();
    ASSERT_TRUE(ShowActive(b));
    b.btnAdd->click(); // no name: nothing
    EXPECT_EQ(b.RecordCount(), 0);

    const char *names[] = {"one", "two", "three"};
    for (const char *n : names) {
        b.edtName->setText(n);
        b.btnAdd->click();
    }
    ASSERT_EQ(b.RecordCount(), 3);
    EXPECT_EQ(b.SelectedRow(), 2); // the new row is selected while the form is shown
    EXPECT_EQ(b.lblListCnt->text(), "Count:3");
    EXPECT_EQ(b.Record(0)->port, 5400);
    EXPECT_EQ(b.Record(0)->baudRate, 9600);

    b.SelectRow(1);
    b.edtName->setText("TWO");
    b.edtIpAddr->SetIp(3, 9);
    b.btnChange->click();
    EXPECT_EQ(Cell(b, 1, 0), "TWO");
    EXPECT_EQ(Cell(b, 1, 1), "0.0.0.9");

    b.btnDelete->click();
    ASSERT_EQ(b.RecordCount(), 2);
    EXPECT_EQ(b.SelectedRow(), 1);
    EXPECT_EQ(b.edtName->text(), "three");
    b.btnDelete->click();
    EXPECT_EQ(b.SelectedRow(), 0);
    EXPECT_EQ(b.edtName->text(), "one");
    b.btnDelete->click();
    EXPECT_EQ(b.RecordCount(), 0);
    EXPECT_EQ(b.edtName->text(), "");
    EXPECT_EQ(b.lblListCnt->text(), "Count:0");
}

TEST_F(BookTest, ShowSelectsLastIndexAndCloseSavesAndRemembers)
{
    RegWriteInt("ListLastIndex", 1);
    RegWriteInt("ListPosX", 33);
    TfrmDvrList &b = Book("two_records.lst");
    EXPECT_EQ(b.pos().x(), 33);
    ASSERT_TRUE(ShowActive(b));
    EXPECT_EQ(b.SelectedRow(), 1);
    EXPECT_EQ(b.edtSerialPort->currentText(), "Com 3");

    b.SelectRow(0);
    b.edtName->setText("Added");
    b.btnAdd->click();
    b.edtName->setFocus();
    QTest::keyClick(b.edtName, Qt::Key_Escape);
    EXPECT_FALSE(b.isVisible());
    EXPECT_EQ(ReadAll(b.ListPath()).size(), 3 * DvrListRecord::kSize);
    EXPECT_EQ(RegReadInt("ListLastIndex", -1), 2);

    // A remembered index beyond the list selects nothing.
    RegWriteInt("ListLastIndex", 7);
    TfrmDvrList other(nullptr, dir.path());
    ASSERT_TRUE(ShowActive(other));
    EXPECT_EQ(other.SelectedRow(), -1);
}

TEST(KeepOnScreen, ClampsIntoTheAvailableAreaBelowATitleBar)
{
    const QRect screen(0, 0, 1280, 1024);
    struct Case { QPoint want; QSize size; QPoint got; } cases[] = {
        {{240, 120}, {440, 620}, {240, 120}},    // fits: unchanged
        {{234, 0}, {440, 620}, {234, 30}},       // title bar would be off the top
        {{-500, -500}, {440, 620}, {0, 30}},
        {{2000, 900}, {440, 620}, {840, 404}},   // past the right and bottom edges
        {{100, 100}, {1400, 1100}, {0, 30}},     // larger than the screen: top left stays visible
    };
    for (const Case &c : cases)
        EXPECT_EQ(KeepOnScreen(c.want, c.size, screen, 30), c.got) << c.want.x() << "," << c.want.y();
    EXPECT_EQ(KeepOnScreen({0, 0}, {100, 100}, QRect(1280, 50, 1280, 1024), 20), QPoint(1280, 70));
}

TEST_F(BookTest, AStoredPlaceOffTheScreenOpensOnIt)
{
    RegWriteInt("ListPosX", -5000);
    RegWriteInt("ListPosY", -5000);
    TfrmDvrList &b = Book("two_records.lst");
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_GE(b.geometry().x(), avail.left());
    EXPECT_GT(b.geometry().y(), avail.top());
}

TEST_F(BookTest, ConnectHandsTheEntryToTheViewOpener)
{
    TfrmDvrList &b = Book("two_records.lst");
    ASSERT_TRUE(ShowActive(b));
    std::vector<DvrListRecord *> opened;
    bool accept = false;
    b.SetViewOpener([&](DvrListRecord *r) {
        opened.push_back(r);
        return accept;
    });
    b.SelectRow(1); // no address server wanted
    b.btnConnect->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], b.Record(1));
    EXPECT_TRUE(b.isVisible()); // the view did not open: the form stays

    accept = true;
    const QPoint at = b.lstDvrList->visualItemRect(b.lstDvrList->topLevelItem(1)).center();
    // A double click is the second click of a pair.
    QTest::mousePress(b.lstDvrList->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(b.lstDvrList->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(b.lstDvrList->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_FALSE(b.isVisible());
}

TEST_F(BookTest, DeletedEntryStaysValidForAViewThatHoldsIt)
{
    TfrmDvrList &b = Book("two_records.lst");
    DvrListRecord *held = nullptr;
    b.SetViewOpener([&](DvrListRecord *r) {
        held = r;
        return true;
    });
    b.SelectRow(1);
    b.btnConnect->click();
    ASSERT_EQ(held, b.Record(1));
    b.SelectRow(1);
    b.btnDelete->click();
    ASSERT_EQ(b.RecordCount(), 1);
    // The view's login later writes the MAC into its entry and asks for the row text.
    held->mac = {1, 2, 3, 4, 5, 6};
    b.UpdateMacText(held);
    EXPECT_EQ(Cell(b, 0, 2), "00:1A:2B:3C:4D:5E");
}

TEST_F(BookTest, TheDemoBookShowsItsRecordingAsAFile)
{
    TfrmDvrList &b = Book("../../samples/Strandel.lst");
    ASSERT_EQ(b.RecordCount(), 2);
    EXPECT_EQ(Cell(b, 0, 1), "127.0.0.1");
    EXPECT_EQ(Cell(b, 1, 0), "Demo recording");
    EXPECT_EQ(Cell(b, 1, 1), "File");
    b.SelectRow(1);
    const auto kinds = b.findChildren<QRadioButton *>();
    ASSERT_EQ(kinds.size(), 4);
    EXPECT_EQ(kinds[3]->text(), "File");
    EXPECT_TRUE(kinds[3]->isChecked());
    EXPECT_FALSE(b.edtPortNum->isEnabled());
    EXPECT_FALSE(b.edtSerialPort->isEnabled());
}

TEST_F(BookTest, AddAndChangeStoreWhatTheFormShowsOrSaySoFirst)
{
    TfrmDvrList &b = Book("two_records.lst");
    ASSERT_TRUE(ShowActive(b));
    // The description the form shows goes with the new entry.
    b.SelectRow(0);
    b.edtDesc->setPlainText("front gate");
    b.btnChange->click();
    b.SelectRow(1);
    b.SelectRow(0);
    b.edtName->setText("Yard");
    b.btnAdd->click();
    ASSERT_EQ(b.RecordCount(), 3);
    EXPECT_STREQ(b.Record(2)->description.data(), "front gate");

    auto *file = new DvrListRecord;
    file->kind = uint8_t(DvrKind::RecordedFile);
    std::strcpy(file->name.data(), "Demo recording");
    b.AddRecord(std::unique_ptr<DvrListRecord>(file));
    const int fileRow = b.RecordCount() - 1;

    // Each row: the entry shown, what is typed into the address (from its first part) and the
    // name, then what the question names and what is stored when the user agrees.
    struct Case {
        int row;
        const char *address, *name;
        std::vector<const char *> said;
        int kind;
        std::array<uint8_t, 4> stored;
        int focusedPart; // where a "No" puts the user back, -1: none
    };
    const Case cases[] = {
        {0, "300.1.1.1", "Capped", {"255.1.1.1", "part 1 was above 255"}, 0, {255, 1, 1, 1}, 0},
        {0, "ab.cd.1x.2", "Letters", {"192.168.1.2", "part 1 was not typed and keeps 192", "part 2 was not typed and keeps 168"},
         0, {192, 168, 1, 2}, 0},
        {fileRow, "", "5410", {"a File entry"}, int(DvrKind::RecordedFile), {0, 0, 0, 0}, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (bool agree : {false, true}) {
            ASSERT_TRUE(ShowActive(b));
            b.SelectRow(c.row);
            if (*c.address) {
                b.edtIpAddr->SelectOctet(0);
                TypeAsAPerson(c.address);
            }
            b.edtName->setText(c.name);
            const int before = b.RecordCount();
            QString said;
            ModalScript answer([&](QWidget *w) {
                auto *box = qobject_cast<QMessageBox *>(w);
                ASSERT_NE(box, nullptr);
                said = box->text();
                box->button(agree ? QMessageBox::Yes : QMessageBox::No)->click();
            });
            b.btnAdd->click();
            EXPECT_TRUE(answer.Ran());
            for (const char *part : c.said)
                EXPECT_TRUE(said.contains(part)) << said.toStdString() << " lacks " << part;
            if (!agree) {
                EXPECT_EQ(b.RecordCount(), before);
                if (c.focusedPart >= 0)
                    EXPECT_EQ(b.focusWidget(), b.edtIpAddr->Field(c.focusedPart));
                continue;
            }
            ASSERT_EQ(b.RecordCount(), before + 1);
            const DvrListRecord &r = *b.Record(before);
            EXPECT_EQ(r.kind, c.kind);
            EXPECT_EQ(r.ip, c.stored);
        }
    }
    // An address typed whole, or left as the entry had it, is stored without a question.
    ModalScript none([](QWidget *w) { ADD_FAILURE() << "asked: " << w->metaObject()->className(); });
    ASSERT_TRUE(ShowActive(b));
    b.SelectRow(0);
    b.edtIpAddr->SelectOctet(0);
    TypeAsAPerson("10.0.0.9");
    b.btnChange->click();
    EXPECT_EQ(b.Record(0)->ip, (std::array<uint8_t, 4>{10, 0, 0, 9}));
    b.SelectRow(0);
    b.edtName->setText("Copy");
    b.btnAdd->click();
    EXPECT_EQ(b.Record(b.RecordCount() - 1)->ip, (std::array<uint8_t, 4>{10, 0, 0, 9}));
    EXPECT_FALSE(none.Ran());
}
