#include "viewer/app/dvrlist.h"

#include "platform/debuglog.h"
#include "platform/settings.h"
#include "viewer/controls/ipedit.h"
#include "viewer/controls/placement.h"
#include "viewer/base/global.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QMessageBox>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace strandel {

namespace {

constexpr int kPortMin = 5400, kPortMax = 5499;
constexpr int kDescMax = 128;
const char *const kBaudItems[] = {"9600", "38400", "115200"};
constexpr int kDesignedX = 240, kDesignedY = 120;

// The file holds 8-bit text: one byte per character, as Latin-1, so the book reads and writes
// the same bytes as the original program's (a character outside Latin-1 becomes '?').
template <size_t N> void PutText(std::array<char, N> &field, const QString &text)
{
    QByteArray bytes = text.toLatin1();
    bytes.truncate(std::min<int>(int(bytes.size()), int(N) - 1));
    SetField(field, bytes.constData());
}

template <size_t N> QString GetText(const std::array<char, N> &field)
{
    const std::string_view t = FieldText(field);
    return QString::fromLatin1(t.data(), qsizetype(t.size()));
}

QString MacText(const DvrListRecord &r, const char *separator)
{
    QStringList parts;
    for (uint8_t b : r.mac)
        parts << QStringLiteral("%1").arg(b, 2, 16, QChar(u'0')).toUpper();
    return parts.join(QLatin1String(separator));
}

int HexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Six numbers of up to two hex digits each, as "%2x" reads them; the ones not read stay 0.
void ParseMac(const QString &text, std::array<uint8_t, 6> &mac)
{
    mac.fill(0);
    qsizetype pos = 0;
    for (uint8_t &b : mac) {
        while (pos < text.size() && text[pos].isSpace())
            ++pos;
        int digits = 0, value = 0;
        while (digits < 2 && pos < text.size() && HexDigit(text[pos]) >= 0) {
            value = value * 16 + HexDigit(text[pos]);
            ++digits;
            ++pos;
        }
        if (digits == 0)
            return;
        b = uint8_t(value);
    }
}

} // namespace

TfrmDvrList::TfrmDvrList(QWidget *owner, const QString &startDir) : QWidget(owner, Qt::Window)
{
    setObjectName("frmDvrList");
    setWindowTitle("Dvr List");
    lookup_ = new CIpServerLookup(this);
    BuildForm();

    const QString dir = startDir.isEmpty() ? QDir::currentPath() : startDir;
    listPath_ = QDir(dir).filePath(QString::fromLatin1(kListFileName));
    LoadList(listPath_);
    // The stored place is the client area's: the window system adds its frame around it, so a
    // frame position stored here would creep up by a title bar at every opening.
    QPoint place(RegReadInt("ListPosX", kDesignedX), RegReadInt("ListPosY", kDesignedY));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        place = KeepOnScreen(place, sizeHint(), screen->availableGeometry(),
                             style()->pixelMetric(QStyle::PM_TitleBarHeight));
    move(place);
    RecordToForm(nullptr);
}

TfrmDvrList::~TfrmDvrList() = default;

void TfrmDvrList::Tell(const QString &text)
{
    if (showMessage)
        showMessage(text);
    else
        QMessageBox::warning(this, windowTitle(), text);
}

void TfrmDvrList::BuildForm()
{
    auto *root = new QVBoxLayout(this);

    lstDvrList = new QTreeWidget(this);
    lstDvrList->setObjectName("lstDvrList");
    lstDvrList->setColumnCount(3);
    lstDvrList->setHeaderLabels({"Name", "Ip Address / Com Port", "H/W Address"});
    lstDvrList->header()->setDefaultAlignment(Qt::AlignCenter);
    // The address column is as wide as its caption; the list is as wide as its columns.
    const int addressWidth = std::max(120, lstDvrList->header()->fontMetrics().horizontalAdvance(
                                               lstDvrList->headerItem()->text(1)) + 16);
    lstDvrList->setColumnWidth(0, 180);
    lstDvrList->setColumnWidth(1, addressWidth);
    lstDvrList->setColumnWidth(2, 120);
    lstDvrList->setRootIsDecorated(false);
    lstDvrList->setItemsExpandable(false);
    lstDvrList->setUniformRowHeights(true);
    lstDvrList->setSelectionMode(QAbstractItemView::SingleSelection);
    lstDvrList->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstDvrList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstDvrList->setMinimumSize(std::max(440, 180 + addressWidth + 120 + 24), 160);
    root->addWidget(lstDvrList);
    lblListCnt = new QLabel(this);
    lblListCnt->setObjectName("lblListCnt");
    root->addWidget(lblListCnt);

    auto *info = new QGroupBox("[ Dvr Information ]", this);
    auto *grid = new QGridLayout(info);
    selType = new QGroupBox(info);
    selType->setObjectName("selType");
    kindButtons_ = new QButtonGroup(this);
    auto *kinds = new QHBoxLayout(selType);
    // "File": a recording on disk, as the demo recording's entry is.
    const char *const kindNames[] = {"Network", "RS-232C", "RS-485", "File"};
    for (int i = 0; i < 4; ++i) {
        auto *b = new QRadioButton(kindNames[i], selType);
        kindButtons_->addButton(b, i);
        kinds->addWidget(b);
    }
    grid->addWidget(selType, 0, 0, 1, 4);

    auto named = [this](QWidget *w, const char *name) {
        w->setObjectName(name);
        return w;
    };
    edtName = new QLineEdit(info);
    edtIpAddr = new TIpEdit(info);
    edtIpAddr->setMinimumSize(130, 22);
    edtPortNum = new QSpinBox(info);
    edtPortNum->setRange(kPortMin, kPortMax);
    edtMac = new QLineEdit(info);
    edtMac->setMaxLength(12);
    chkUseIp = new QCheckBox("Use Ip Server", info);
    edtSerialPort = new QComboBox(info);
    edtSerialPort->addItem("None");
    for (int i = 1; i <= 8; ++i)
        edtSerialPort->addItem(QStringLiteral("Com %1").arg(i));
    edtBaudRate = new QComboBox(info);
    for (const char *b : kBaudItems)
        edtBaudRate->addItem(b);
    edtPass = new QLineEdit(info);
    edtPass->setMaxLength(8);
    edtPass->setEchoMode(QLineEdit::Password);
    edtDesc = new QPlainTextEdit(info);
    edtDesc->setMaximumHeight(60);

    const struct { const char *label; QWidget *w; const char *name; } rows[] = {
        {"Name", edtName, "edtName"},           {"Ip Address", edtIpAddr, "edtIpAddr"},
        {"Port", edtPortNum, "edtPortNum"},     {"H/W Address", edtMac, "edtMac"},
        {"Serial Port", edtSerialPort, "edtSerialPort"}, {"Baud Rate", edtBaudRate, "edtBaudRate"},
        {"Password", edtPass, "edtPass"},       {"Description", edtDesc, "edtDesc"},
    };
    int r = 1;
    for (const auto &row : rows) {
        grid->addWidget(new QLabel(row.label, info), r, 0);
        grid->addWidget(named(row.w, row.name), r, 1, 1, 3);
        ++r;
    }
    grid->addWidget(named(chkUseIp, "chkUseIp"), r, 1, 1, 3);
    root->addWidget(info);

    auto *buttons = new QHBoxLayout;
    auto button = [&](const char *caption, const char *name) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    btnAdd = button("Add", "btnAdd");
    btnChange = button("Change", "btnChange");
    btnDelete = button("Delete", "btnDelete");
    btnConnect = button("Connect", "btnConnect");
    btnCancel = button("Cancel", "btnCancel");
    root->addLayout(buttons);

    pnlIp = new QLabel("Connecting to IP Server......", this);
    pnlIp->setObjectName("pnlIp");
    pnlIp->setAlignment(Qt::AlignCenter);
    pnlIp->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnlIp->setAutoFillBackground(true);
    pnlIp->setGeometry(60, 80, 320, 40);
    pnlIp->hide();

    connect(kindButtons_, &QButtonGroup::idClicked, this, [this] {
        kindChosen_ = true;
        selTypeClick();
    });
    connect(chkUseIp, &QCheckBox::clicked, this, &TfrmDvrList::chkUseIpClick);
    connect(edtDesc, &QPlainTextEdit::textChanged, this, [this] {
        const QString t = edtDesc->toPlainText();
        if (t.size() > kDescMax) {
            edtDesc->setPlainText(t.left(kDescMax));
            edtDesc->moveCursor(QTextCursor::End);
        }
    });
    connect(btnAdd, &QPushButton::clicked, this, &TfrmDvrList::btnAddClick);
    connect(btnChange, &QPushButton::clicked, this, &TfrmDvrList::btnChangeClick);
    connect(btnDelete, &QPushButton::clicked, this, &TfrmDvrList::btnDeleteClick);
    connect(btnConnect, &QPushButton::clicked, this, &TfrmDvrList::btnConnectClick);
    connect(btnCancel, &QPushButton::clicked, this, &QWidget::close);
    // Esc closes the form whichever field has the focus.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    connect(lstDvrList, &QTreeWidget::itemSelectionChanged, this, &TfrmDvrList::lstDvrListSelectItem);
    connect(lstDvrList, &QTreeWidget::itemDoubleClicked, this, &TfrmDvrList::btnConnectClick);
}

bool TfrmDvrList::LoadList(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    uint8_t buf[DvrListRecord::kSize];
    // Rows are made in one pass and handed to the list at once: loading stays linear.
    QList<QTreeWidgetItem *> items;
    // A trailing partial record is no entry; its bytes are kept for the save, so closing the
    // list never makes the file smaller than it was.
    qint64 n = 0;
    while ((n = f.read(reinterpret_cast<char *>(buf), sizeof buf)) == qint64(sizeof buf)) {
        auto record = std::make_unique<DvrListRecord>(DvrListRecord::Read(buf));
        FillDefaults(*record);
        auto *item = new QTreeWidgetItem;
        FillRow(item, *record);
        items.push_back(item);
        records_.push_back(std::move(record));
    }
    partialTail_ = n > 0 ? QByteArray(reinterpret_cast<const char *>(buf), n) : QByteArray();
    if (!partialTail_.isEmpty())
        DebugPrint("%s ends in %d bytes of a partial record: kept, not listed\n", qPrintable(path),
                   int(partialTail_.size()));
    lstDvrList->addTopLevelItems(items);
    UpdateCount();
    return true;
}

bool TfrmDvrList::SaveList(const QString &path, QString *error) const
{
    // Written beside the old file and renamed over it, so a failure leaves the old list whole.
    QSaveFile f(path);
    auto failed = [&] {
        if (error)
            *error = f.errorString();
        return false; // the save file is discarded
    };
    if (!f.open(QIODevice::WriteOnly))
        return failed();
    uint8_t buf[DvrListRecord::kSize];
    for (const auto &r : records_) {
        r->Write(buf);
        if (f.write(reinterpret_cast<const char *>(buf), sizeof buf) != qint64(sizeof buf))
            return failed();
    }
    if (f.write(partialTail_) != partialTail_.size())
        return failed();
    return f.commit() || failed();
}

void TfrmDvrList::AddRecord(std::unique_ptr<DvrListRecord> record)
{
    if (!record)
        return;
    FillDefaults(*record);
    records_.push_back(std::move(record));
    new QTreeWidgetItem(lstDvrList);
    const int row = int(records_.size()) - 1;
    WriteRow(row);
    UpdateCount();
    if (isVisible()) {
        lstDvrList->setFocus();
        SelectRow(row);
        lstDvrList->scrollToItem(lstDvrList->topLevelItem(row));
    }
}

DvrListRecord *TfrmDvrList::Record(int row) const
{
    return row >= 0 && row < RecordCount() ? records_[size_t(row)].get() : nullptr;
}

int TfrmDvrList::SelectedRow() const
{
    const auto sel = lstDvrList->selectedItems();
    return sel.isEmpty() ? -1 : lstDvrList->indexOfTopLevelItem(sel.first());
}

void TfrmDvrList::SelectRow(int row)
{
    if (QTreeWidgetItem *item = lstDvrList->topLevelItem(row)) {
        lstDvrList->setCurrentItem(item);
        item->setSelected(true);
    }
}

int TfrmDvrList::RowOf(const DvrListRecord *record) const
{
    for (size_t i = 0; i < records_.size(); ++i)
        if (records_[i].get() == record)
            return int(i);
    return -1;
}

void TfrmDvrList::FillDefaults(DvrListRecord &record)
{
    if (record.baudRate == 0)
        record.baudRate = QString(kBaudItems[0]).toInt();
    if (record.port == 0)
        record.port = kPortMin;
}

void TfrmDvrList::FillRow(QTreeWidgetItem *item, const DvrListRecord &r)
{
    item->setText(0, GetText(r.name));
    item->setTextAlignment(1, Qt::AlignCenter);
    item->setTextAlignment(2, Qt::AlignCenter);
    item->setText(1, AddressText(r));
    item->setText(2, r.Kind() == DvrKind::Network ? MacText(r, ":") : QString());
}

QString TfrmDvrList::AddressText(const DvrListRecord &r)
{
    const DvrKind kind = r.Kind();
    return kind == DvrKind::Network        ? QString::fromLatin1(IpToText(r.ip.data()))
           : kind == DvrKind::RecordedFile ? QStringLiteral("File")
           : kind == DvrKind::RecorderDisk ? QStringLiteral("Hdd")
                                           : QStringLiteral("Com %1").arg(r.serialPort);
}

void TfrmDvrList::WriteRow(int row)
{
    QTreeWidgetItem *item = lstDvrList->topLevelItem(row);
    const DvrListRecord *r = Record(row);
    if (item && r)
        FillRow(item, *r);
}

void TfrmDvrList::UpdateAddressText(const DvrListRecord *record)
{
    const int row = RowOf(record);
    if (row < 0)
        return;
    lstDvrList->topLevelItem(row)->setText(1, AddressText(*record));
}

void TfrmDvrList::UpdateMacText(const DvrListRecord *record)
{
    const int row = RowOf(record);
    if (row < 0)
        return;
    lstDvrList->topLevelItem(row)->setText(2, record->Kind() == DvrKind::Network ? MacText(*record, ":") : QString());
}

void TfrmDvrList::UpdateCount()
{
    lblListCnt->setText(QStringLiteral("Count:%1").arg(RecordCount()));
}

int TfrmDvrList::KindIndex() const { return kindButtons_->checkedId(); }

void TfrmDvrList::SetKindIndex(int i)
{
    if (QAbstractButton *b = kindButtons_->button(i)) {
        b->setChecked(true);
    } else if (QAbstractButton *c = kindButtons_->checkedButton()) {
        kindButtons_->setExclusive(false);
        c->setChecked(false);
        kindButtons_->setExclusive(true);
    }
    selTypeClick();
}

void TfrmDvrList::FormToRecord(DvrListRecord *record) const
{
    ParseMac(edtMac->text(), record->mac);
    record->useIpServer = chkUseIp->isChecked() ? 1 : 0;
    // A kind, port or baud rate the form cannot show stays as it was rather than turning into nonsense.
    if (KindIndex() >= 0)
        record->kind = uint8_t(KindIndex());
    PutText(record->name, edtName->text());
    edtIpAddr->GetIp(record->ip.data());
    record->port = edtPortNum->value();
    if (edtSerialPort->currentIndex() >= 0)
        record->serialPort = uint8_t(edtSerialPort->currentIndex());
    if (edtBaudRate->currentIndex() >= 0)
        record->baudRate = edtBaudRate->currentText().toInt();
    PutText(record->password, edtPass->text());
    PutText(record->description, edtDesc->toPlainText());
}

void TfrmDvrList::RecordToForm(const DvrListRecord *record)
{
    if (record) {
        edtMac->setText(MacText(*record, ""));
        edtName->setText(GetText(record->name));
        SetKindIndex(record->kind);
        edtIpAddr->SetIp(record->ip.data());
        edtPortNum->setValue(record->port);
        edtSerialPort->setCurrentIndex(record->serialPort < edtSerialPort->count() ? record->serialPort : -1);
        edtBaudRate->setCurrentIndex(edtBaudRate->findText(QString::number(record->baudRate)));
        edtPass->setText(GetText(record->password));
        edtDesc->setPlainText(GetText(record->description));
        chkUseIp->setChecked(record->useIpServer == 1);
    } else {
        edtMac->clear();
        edtName->clear();
        SetKindIndex(0);
        const uint8_t zero[4] = {0, 0, 0, 0};
        edtIpAddr->SetIp(zero);
        edtPortNum->setValue(kPortMin);
        edtSerialPort->setCurrentIndex(0);
        edtBaudRate->setCurrentIndex(0);
        edtPass->clear();
        edtDesc->clear();
        chkUseIp->setChecked(false);
    }
    kindChosen_ = false;
    chkUseIpClick();
}

void TfrmDvrList::selTypeClick()
{
    const int kind = KindIndex();
    if (kind < 0)
        return;
    const bool network = kind == 0, serial = kind == 1 || kind == 2;
    edtIpAddr->SetEnable(network);
    edtPortNum->setEnabled(network);
    edtSerialPort->setEnabled(serial);
    edtBaudRate->setEnabled(serial);
}

void TfrmDvrList::chkUseIpClick() { edtMac->setEnabled(chkUseIp->isChecked()); }

void TfrmDvrList::lstDvrListSelectItem()
{
    const int row = SelectedRow();
    if (row >= 0)
        RecordToForm(Record(row));
}

void TfrmDvrList::btnAddClick()
{
    if (edtName->text().isEmpty())
        return;
    if (!ConfirmEntry(true))
        return;
    auto r = std::make_unique<DvrListRecord>();
    FormToRecord(r.get());
    AddRecord(std::move(r));
}

bool TfrmDvrList::ConfirmEntry(bool adding)
{
    QStringList notes;
    int first = -1;
    if (KindIndex() == 0) {
        const uint8_t given = edtIpAddr->GivenOctets(), capped = edtIpAddr->CappedOctets();
        for (int i = 0; i < 4; ++i) {
            const bool bit = ((given | capped) >> i) & 1;
            QString note;
            if ((capped >> i) & 1)
                note = QStringLiteral("part %1 was above 255 and is stored as 255").arg(i + 1);
            else if (given != 0 && !bit)
                note = QStringLiteral("part %1 was not typed and keeps %2").arg(i + 1).arg(edtIpAddr->GetIp(i));
            if (note.isEmpty())
                continue;
            notes << note;
            if (first < 0)
                first = i;
        }
    }
    if (adding && !kindChosen_ && KindIndex() > 0)
        if (QAbstractButton *kind = kindButtons_->checkedButton())
            notes << QStringLiteral("it is a %1 entry, as the entry shown").arg(kind->text());
    if (notes.isEmpty())
        return true;
    uint8_t ip[4];
    edtIpAddr->GetIp(ip);
    const QString address = KindIndex() == 0 ? QStringLiteral(" with the address %1").arg(IpToText(ip)) : QString();
    const QString text = QStringLiteral("\"%1\" would be stored%2:\n- %3\n\nStore it like this?")
                             .arg(edtName->text(), address, notes.join(QStringLiteral("\n- ")));
    if (QMessageBox::question(this, windowTitle(), text) == QMessageBox::Yes)
        return true;
    if (first >= 0)
        edtIpAddr->SelectOctet(first);
    return false;
}

void TfrmDvrList::btnChangeClick()
{
    const int row = SelectedRow();
    if (row < 0 || !ConfirmEntry(false))
        return;
    FormToRecord(Record(row));
    WriteRow(row);
}

void TfrmDvrList::btnDeleteClick()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    {
        const QSignalBlocker block(lstDvrList);
        retired_.push_back(std::move(records_[size_t(row)]));
        records_.erase(records_.begin() + row);
        delete lstDvrList->takeTopLevelItem(row);
        lstDvrList->clearSelection();
    }
    UpdateCount();
    if (records_.empty()) {
        RecordToForm(nullptr);
        return;
    }
    SelectRow(std::min(row, RecordCount() - 1));
    lstDvrListSelectItem();
}

void TfrmDvrList::LookupIpServer(DvrListRecord *record, std::function<void(bool ok)> done)
{
    const QString host = serverName_ ? serverName_() : QString();
    lookup_->Start(host, serverPort_, record->mac.data(), serverTimeoutMs_,
                   [this, record, done = std::move(done)](bool ok, const IpServerAnswer &answer) {
                       if (ok)
                           ApplyIpServerAnswer(answer, record);
                       else
                           DebugPrint("IP server look-up failed\n");
                       if (done)
                           done(ok);
                   });
}

void TfrmDvrList::btnConnectClick()
{
    DvrListRecord *record = Record(SelectedRow());
    if (!record || !btnConnect->isEnabled())
        return;
    const bool macSet = std::any_of(record->mac.begin(), record->mac.end(), [](uint8_t b) { return b != 0; });
    if (record->useIpServer != 1 || !macSet) {
        OpenView(record);
        return;
    }
    // The look-up runs on the event loop: the window keeps painting and this button waits for it.
    btnConnect->setEnabled(false);
    pnlIp->show();
    pnlIp->raise();
    pnlIp->repaint();
    QTimer::singleShot(100, this, [this, record] {
        LookupIpServer(record, [this, record](bool ok) {
            pnlIp->hide();
            btnConnect->setEnabled(true);
            if (RowOf(record) < 0)
                return; // deleted meanwhile
            if (ok)
                UpdateAddressText(record);
            OpenView(record); // a failed look-up connects with the stored address
        });
    });
}

void TfrmDvrList::OpenView(DvrListRecord *record)
{
    if (!viewOpener_) {
        DebugPrint("No recorder view can be opened\n");
        return;
    }
    if (viewOpener_(record))
        close();
}

void TfrmDvrList::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    const int row = RegReadInt("ListLastIndex", 0);
    if (Record(row)) {
        SelectRow(row);
        lstDvrList->setFocus();
        RecordToForm(Record(row));
    }
}

void TfrmDvrList::CloseForExit()
{
    ending_ = true;
    close();
}

void TfrmDvrList::closeEvent(QCloseEvent *event)
{
    QString why;
    if (!SaveList(listPath_, &why)) {
        DebugPrint("Cannot save %s: %s\n", listPath_.toLocal8Bit().constData(), why.toLocal8Bit().constData());
        const QString text = "The address book cannot be saved to " + QDir::toNativeSeparators(listPath_) + " (" +
                             why + ").";
        if (!ending_) {
            // Its entries live only in this form now: it stays open, so the operator can make
            // the folder writable (or note them) and close it again.
            Tell(text + "\nThe entries are kept while the program runs; close this window again once the folder "
                        "can be written.");
            event->ignore();
            return;
        }
        std::fprintf(stderr, "%s The changes made since the program started are lost.\n", qPrintable(text));
    }
    RegWriteInt("ListPosX", geometry().x());
    RegWriteInt("ListPosY", geometry().y());
    const int row = SelectedRow();
    if (row >= 0)
        RegWriteInt("ListLastIndex", row);
    event->accept();
}


} // namespace strandel
