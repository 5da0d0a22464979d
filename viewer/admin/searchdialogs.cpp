#include "viewer/admin/searchdialogs.h"

#include "platform/debuglog.h"
#include "platform/endian.h"
#include "platform/settings.h"
#include "viewer/base/global.h"
#include "viewer/base/recordpath.h"
#include "viewer/controls/dtedit.h"
#include "viewer/controls/selcal.h"
#include "viewer/protocol/dvrwincore.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cstring>

namespace strandel {

namespace {

constexpr int kStartTimeOffset = 63;
constexpr int kEndTimeOffset = 182;
constexpr int kEntryRole = Qt::UserRole;

QString TimeAt(const uint8_t *p) { return QString::fromStdString(TimeText(ReadRecorderTime(p))); }

// The first request of a search: century and year 0xFF ask for the oldest entries.
constexpr uint8_t kOldest[kRecorderTimeSize] = {0xFF, 0xFF, 0, 0, 0, 0, 0};

const uint8_t *Bytes(const QByteArray &a) { return reinterpret_cast<const uint8_t *>(a.constData()); }

QDateTime EditTime(const TDateTimeEdit *edit)
{
    uint8_t rt[kRecorderTimeSize];
    edit->GetDateTime(rt);
    return RecorderDateTimeValue(rt);
}

QString NowText() { return QDateTime::currentDateTime().toString("yyyy/MM/dd hh:mm:ss"); }

} // namespace

QDateTime RecorderDateTimeValue(const uint8_t *rt)
{
    // Each byte read as a signed value, as the recorder's own tools do.
    const int year = int8_t(rt[0]) * 100 + int8_t(rt[1]);
    const QDate date{year, int(int8_t(rt[2])), int(int8_t(rt[3]))};
    const QTime time{int(int8_t(rt[4])), int(int8_t(rt[5])), int(int8_t(rt[6]))};
    if (year < 1 || !date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

void SetEditDate(TDateTimeEdit *edit, const QDate &date)
{
    if (!edit || !date.isValid() || date.year() < 1 || date.year() > 9999)
        return;
    uint8_t rt[kRecorderTimeSize];
    edit->GetDateTime(rt);
    rt[0] = uint8_t(date.year() / 100);
    rt[1] = uint8_t(date.year() % 100);
    rt[2] = uint8_t(date.month());
    rt[3] = uint8_t(date.day());
    edit->SetDateTime(rt);
}

std::optional<int> ScrollSeconds(const uint8_t *start, const uint8_t *end)
{
    const QDateTime a = RecorderDateTimeValue(start), b = RecorderDateTimeValue(end);
    if (!a.isValid() || !b.isValid())
        return std::nullopt;
    const qint64 ms = a.msecsTo(b.addMSecs(200));
    if (ms <= 0)
        return 0;
    if (ms / 1000 > INT_MAX)
        return std::nullopt;
    return int(ms / 1000);
}

// ---- Shared

SearchDialogBase::SearchDialogBase(QWidget *owner, DvrServices *view, const QString &caption,
                                   const QStringList &columns)
    : QDialog(owner), view_(view)
{
    setWindowTitle(caption);
    setSizeGripEnabled(true);
    auto *layout = new QVBoxLayout(this);
    fields_ = new QGridLayout;
    layout->addLayout(fields_);
    lstResult = new QTreeWidget(this);
    lstResult->setObjectName("lstResult");
    lstResult->setRootIsDecorated(false);
    lstResult->setUniformRowHeights(true);
    lstResult->setAllColumnsShowFocus(true);
    // A hidden first column whose caption stays empty, then the dialog's own columns.
    lstResult->setColumnCount(int(columns.size()) + 1);
    lstResult->setHeaderLabels(QStringList{QString()} + columns);
    lstResult->setColumnHidden(0, true);
    // Every visible column as wide as its widest text; the last takes what is left.
    QHeaderView *header = lstResult->header();
    header->setStretchLastSection(true);
    for (int i = 1; i < lstResult->columnCount(); ++i)
        header->setSectionResizeMode(i, QHeaderView::ResizeToContents);
    layout->addWidget(lstResult, 1);
    pnlMsg = new QLabel(this);
    pnlMsg->setObjectName("pnlMsg");
    pnlMsg->setWordWrap(true);
    pnlMsg->hide();
    layout->addWidget(pnlMsg);
    auto *buttons = new QHBoxLayout;
    buttons_ = buttons;
    btnPlay = new QPushButton("Play", this);
    btnPlay->setObjectName("btnPlay");
    btnPlay->setEnabled(false);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    buttons->addStretch(1);
    buttons->addWidget(btnPlay);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnPlay, &QPushButton::clicked, this, [this] { OnPlay(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { SetModalResult(2); });
    connect(lstResult, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item && selectEnablesPlay_) {
            btnPlay->setEnabled(true);
            OnRowSelected();
        }
    });
    connect(lstResult, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (doubleClickPlays_ && SelectedEntry())
            OnPlay();
    });
}

void SearchDialogBase::AddField(const QString &label, QWidget *field, int row, int column)
{
    if (!label.isEmpty()) {
        auto *l = new QLabel(label, this);
        l->setBuddy(field);
        fields_->addWidget(l, row, column, Qt::AlignRight);
    }
    fields_->addWidget(field, row, column + 1);
}

void SearchDialogBase::AddDiskList(int row, int column)
{
    edtHdd = new QComboBox(this);
    edtHdd->setObjectName("edtHdd");
    // Grows with the disk names the map brings.
    edtHdd->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    edtHdd->addItem(" HDD ");
    edtHdd->setCurrentIndex(0);
    AddField("Hdd", edtHdd, row, column);
}

QComboBox *SearchDialogBase::AddChannelList(int row, int column)
{
    auto *box = new QComboBox(this);
    box->setObjectName("edtCh");
    box->addItem(" All ");
    const int n = view_ ? std::clamp(view_->GetChannelCount(), 0, 16) : 0;
    for (int k = 1; k <= n; ++k)
        box->addItem("Ch " + QString::number(k));
    box->setCurrentIndex(0);
    AddField("Ch", box, row, column);
    return box;
}

QPushButton *SearchDialogBase::AddCalendarButton(TDateTimeEdit *edit, int row, int column)
{
    auto *button = new QPushButton("...", this);
    button->setToolTip("Calendar");
    button->setFixedWidth(button->fontMetrics().horizontalAdvance("...") + 16);
    fields_->addWidget(button, row, column);
    connect(button, &QPushButton::clicked, this, [this, edit] {
        // The program's calendar when the main window is there, else the control itself.
        if (MainServices *main = GetMainServices()) {
            if (const auto date = main->SelectDate(QDate::currentDate(), this))
                SetEditDate(edit, *date);
            return;
        }
        auto *cal = new TfrmSelCal(this);
        cal->edtCal->setSelectedDate(QDate::currentDate());
        if (cal->exec() == 1)
            SetEditDate(edit, cal->edtCal->selectedDate());
        delete cal;
    });
    return button;
}

void SearchDialogBase::SetHddMap(const uint8_t *map)
{
    if (!edtHdd || !map)
        return;
    const QSignalBlocker quiet(edtHdd);
    edtHdd->clear();
    diskCodes_.fill(0);
    edtHdd->addItem(" Normal ");
    edtHdd->addItem(" Backup ");
    diskCodes_[1] = 1;
    for (int i = 0; i < 128; ++i) {
        if (!(map[i / 8] & (0x80 >> (i % 8))))
            continue;
        diskCodes_[size_t(edtHdd->count())] = uint8_t(i + 2);
        edtHdd->addItem(i == 0 ? QString(" R-Hdd ") : " Hdd " + QString::number(i));
    }
    edtHdd->setCurrentIndex(0);
}

uint8_t SearchDialogBase::GetDiskCode() const
{
    if (!edtHdd)
        return 0;
    const int row = edtHdd->currentIndex();
    return row >= 0 && row < int(diskCodes_.size()) ? diskCodes_[size_t(row)] : 0;
}

int SearchDialogBase::RowCount() const { return lstResult->topLevelItemCount(); }

const QByteArray *SearchDialogBase::SelectedEntry() const
{
    QTreeWidgetItem *item = lstResult->currentItem();
    if (!item)
        return nullptr;
    selected_ = item->data(0, kEntryRole).toByteArray();
    return selected_.isEmpty() ? nullptr : &selected_;
}

QDateTime SearchDialogBase::ScrolledTime(int position) const
{
    const QByteArray *entry = SelectedEntry();
    if (!entry)
        return {};
    const QDateTime start = RecorderDateTimeValue(Bytes(*entry) + kStartTimeOffset);
    if (!start.isValid()) {
        DebugPrint("Invalid Time\n");
        return {};
    }
    return start.addSecs(position);
}

QByteArray SearchDialogBase::EntryAt(int row) const
{
    QTreeWidgetItem *item = lstResult->topLevelItem(row);
    return item ? item->data(0, kEntryRole).toByteArray() : QByteArray();
}

QString SearchDialogBase::TextAt(int row, int column) const
{
    QTreeWidgetItem *item = lstResult->topLevelItem(row);
    return item ? item->text(column) : QString();
}

QTreeWidgetItem *SearchDialogBase::AddRow(const QStringList &texts, const uint8_t *entry, int size)
{
    auto *item = new QTreeWidgetItem(texts);
    item->setData(0, kEntryRole, QByteArray(reinterpret_cast<const char *>(entry), size));
    lstResult->addTopLevelItem(item);
    lstResult->setCurrentItem(lstResult->topLevelItem(0));
    return item;
}

void SearchDialogBase::ClearRows()
{
    lstResult->clear();
    if (selectEnablesPlay_)
        btnPlay->setEnabled(false);
}

void SearchDialogBase::SetScrollSpan(QScrollBar *bar, const uint8_t *header)
{
    const uint8_t *start = header + kStartTimeOffset, *end = header + kEndTimeOffset;
    const auto seconds = ScrollSeconds(start, end);
    if (!seconds && (!RecorderDateTimeValue(start).isValid() || !RecorderDateTimeValue(end).isValid())) {
        DebugPrint("Invalid Time\n");
        return;
    }
    // A span beyond the bar's range cannot be scrolled: the start alone stays choosable.
    if (!seconds)
        ShowMessage("The span is too long for the scroll bar.");
    const QSignalBlocker quiet(bar);
    bar->setRange(0, seconds.value_or(0));
    bar->setValue(0);
}

void SearchDialogBase::ShowMessage(const QString &text)
{
    pnlMsg->setText(text);
    pnlMsg->setVisible(!text.isEmpty());
}

bool SearchDialogBase::CanSend()
{
    if (!view_ || !view_->IsLoggedIn()) {
        ShowMessage("Not connected to the recorder: nothing was sent.");
        return false;
    }
    return true;
}

bool SearchDialogBase::Send(uint8_t cmd, const uint8_t *data, int length)
{
    if (!CanSend())
        return false;
    if (!view_->SendCommand(cmd, data, length)) {
        ShowMessage("The request could not be sent to the recorder.");
        return false;
    }
    return true;
}

void SearchDialogBase::SetModalResult(int result)
{
    if (isVisible())
        done(result);
    else
        setResult(result);
}

// ---- Search and Next

PagedSearch::PagedSearch(QWidget *owner, DvrServices *view, const QString &caption, const QStringList &columns,
                         int entrySize, int timeOffset)
    : SearchDialogBase(owner, view, caption, columns), entrySize_(entrySize), timeOffset_(timeOffset)
{
    edtSearch = new TDateTimeEdit(this);
    edtSearch->setObjectName("edtSearch");
    AddField("Time", edtSearch, 1, 0);
    btnCal = AddCalendarButton(edtSearch, 1, 2);
    btnCal->setObjectName("btnCal");
    btnSearch = new QPushButton("Search", this);
    btnSearch->setObjectName("btnSearch");
    btnNext = new QPushButton("Next", this);
    btnNext->setObjectName("btnNext");
    btnNext->setEnabled(false);
    fields_->addWidget(btnSearch, 1, 3);
    fields_->addWidget(btnNext, 1, 4);
    fields_->setColumnStretch(6, 1);
    lblCnt = new QLabel("0", this);
    lblCnt->setObjectName("lblCnt");
    static_cast<QHBoxLayout *>(buttons_)->insertWidget(0, lblCnt);
    connect(btnSearch, &QPushButton::clicked, this, [this] { btnSearchClick(); });
    connect(btnNext, &QPushButton::clicked, this, [this] { btnNextClick(); });
}

void PagedSearch::BeforeSearch()
{
    btnPlay->setEnabled(false);
    btnNext->setEnabled(false);
}

bool PagedSearch::SearchAt(const uint8_t *time)
{
    // A dropped link sends nothing and keeps the rows.
    if (!CanSend())
        return false;
    ClearRows();
    count_ = 0;
    lblCnt->setText("0");
    ShowMessage(QString());
    const std::vector<uint8_t> request = Request(time);
    return Send(Command(), request.data(), int(request.size()));
}

void PagedSearch::btnSearchClick()
{
    BeforeSearch();
    uint8_t time[kRecorderTimeSize];
    edtSearch->GetDateTime(time);
    SearchAt(time);
}

void PagedSearch::btnNextClick()
{
    const int n = RowCount();
    if (n == 0)
        return;
    const QByteArray last = EntryAt(n - 1);
    if (last.size() < timeOffset_ + kRecorderTimeSize)
        return;
    uint8_t time[kRecorderTimeSize];
    std::memcpy(time, last.constData() + timeOffset_, sizeof time);
    SearchAt(time);
}

void PagedSearch::SearchFromOldest()
{
    BeforeSearch();
    SearchAt(kOldest);
    edtSearch->SetDateTime(QDateTime::currentDateTime());
}

void PagedSearch::showEvent(QShowEvent *e)
{
    SearchDialogBase::showEvent(e);
    if (shown_)
        return;
    shown_ = true;
    SearchFromOldest();
}

void PagedSearch::AddEntry(const uint8_t *payload, size_t length, QStringList texts)
{
    // One entry per reply, however long; a reply shorter than its entry adds nothing.
    if (!payload || length < size_t(entrySize_))
        return;
    texts.prepend(QString::number(count_ + 1));
    texts.prepend(QString());
    AddRow(texts, payload, entrySize_);
    ++count_;
    lblCnt->setText(QString::number(count_));
    lstResult->setFocus();
    btnNext->setEnabled(true);
}

// ---- Time search

TfrmTimeSearch::TfrmTimeSearch(QWidget *owner, DvrKind kind, DvrServices *view)
    : SearchDialogBase(owner, view, "Time Search", {"No", "Start", "End", "File name"}), kind_(kind)
{
    setObjectName("frmTimeSearch");
    lstResult->setObjectName("lstTime");
    edtCh = AddChannelList(0, 0);
    AddDiskList(0, 2);
    edtSearch = new TDateTimeEdit(this);
    edtSearch->setObjectName("edtSearch");
    AddField("Time", edtSearch, 1, 0);
    btnCal = AddCalendarButton(edtSearch, 1, 2);
    btnCal->setObjectName("btnCal");
    fields_->setColumnStretch(5, 1);
    scrSearch = new QScrollBar(Qt::Horizontal, this);
    scrSearch->setObjectName("scrSearch");
    scrSearch->setRange(0, 0);
    scrSearch->setSingleStep(1);
    scrSearch->setPageStep(60);
    fields_->addWidget(scrSearch, 2, 0, 1, 6);
    btnDir = new QPushButton("Folder Select", this);
    btnDir->setObjectName("btnDir");
    static_cast<QHBoxLayout *>(buttons_)->insertWidget(0, btnDir);
    // A file carries its own channels and area.
    const bool file = kind_ == DvrKind::RecordedFile;
    btnDir->setVisible(file);
    edtCh->setEnabled(!file);
    edtHdd->setEnabled(!file);
    resize(720, 480);
    connect(edtHdd, &QComboBox::currentIndexChanged, this, [this] {
        if (kind_ == DvrKind::RecordedFile)
            return;
        ClearRows();
        ShowMessage(QString());
        const uint8_t request[2] = {GetDiskCode(), 0};
        Send(DvrCmdDiskIndex, request, 2);
    });
    connect(scrSearch, &QScrollBar::valueChanged, this, [this](int v) { scrSearchChange(v); });
    connect(btnDir, &QPushButton::clicked, this, [this] {
        QString dir;
        if (MainServices *main = GetMainServices()) {
            if (const auto chosen = main->BrowseForFolder(folder_.toStdString(), this))
                dir = QString::fromStdString(*chosen);
        } else {
            dir = QFileDialog::getExistingDirectory(this, "Folder Select", folder_);
        }
        if (dir.isEmpty())
            return;
        btnPlay->setEnabled(false);
        DebugPrint("%s\n", dir.toLocal8Bit().constData());
        ListFolder(dir);
        lstResult->setFocus();
    });
}

void TfrmTimeSearch::showEvent(QShowEvent *e)
{
    SearchDialogBase::showEvent(e);
    if (shown_)
        return;
    shown_ = true;
    if (kind_ != DvrKind::RecordedFile) {
        const uint8_t request[2] = {0, 0};
        Send(DvrCmdDiskIndex, request, 2);
        return;
    }
    const QString recordPath = View() ? QString::fromStdString(View()->GetRecordPath()) : QString();
    // An entry that names a folder opens there, one that names a recording with it chosen,
    // whatever folder was listed last.
    const QFileInfo named(recordPath);
    const QString saved = RegReadString("FileSearchDir", recordPath);
    if (!recordPath.isEmpty() && named.isDir()) {
        ListFolder(named.absoluteFilePath());
    } else if (!recordPath.isEmpty() && named.isFile()) {
        ListFolder(named.absolutePath());
        for (int i = 0; i < lstResult->topLevelItemCount(); ++i)
            if (QTreeWidgetItem *item = lstResult->topLevelItem(i); item->text(0) == named.fileName()) {
                lstResult->setCurrentItem(item);
                OnRowSelected();
            }
    } else if (!saved.isEmpty() && QDir(saved).exists())
        ListFolder(saved);
    else if (!recordPath.isEmpty() && QDir(recordPath).exists())
        ListFolder(recordPath);
    else
        ListFolder(QDir::currentPath());
    lstResult->setFocus();
}

void TfrmTimeSearch::ListFolder(const QString &folder)
{
    // The folder is read where it is: the process's current directory stays as it was.
    const QDir dir(QDir(folder).exists() ? folder : QDir::currentPath());
    folder_ = dir.absolutePath();
    setWindowTitle(folder_);
    RegWriteString("FileSearchDir", folder_);
    ClearRows();
    const QStringList files = dir.entryList({"*.dvr"}, QDir::Files, QDir::Name);
    // The names carry their date, so the last name is the newest recording.
    for (auto it = files.crbegin(); it != files.crend(); ++it) {
        QFile file(dir.filePath(*it));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray head = file.read(kDiskHeaderSize);
        if (head.size() != kDiskHeaderSize)
            continue;
        const uint8_t *bytes = Bytes(head);
        AddRow({*it, QString::number(RowCount() + 1), TimeAt(bytes + kStartTimeOffset), TimeAt(bytes + kEndTimeOffset),
                *it},
               bytes, kDiskHeaderSize);
    }
    if (RowCount() > 0)
        OnRowSelected();
}

void TfrmTimeSearch::AddIndexEntry(const uint8_t *diskHeader)
{
    if (!diskHeader)
        return;
    AddRow({QString(), QString::number(RowCount() + 1), TimeAt(diskHeader + kStartTimeOffset),
            TimeAt(diskHeader + kEndTimeOffset), " No File "},
           diskHeader, kDiskHeaderSize);
    lstResult->setFocus();
}

void TfrmTimeSearch::SetMessage(const std::string &text) { ShowMessage(QString::fromStdString(text)); }

void TfrmTimeSearch::OnRowSelected()
{
    const QByteArray *entry = SelectedEntry();
    if (!entry)
        return;
    btnPlay->setEnabled(true);
    const uint8_t *e = Bytes(*entry);
    edtSearch->SetDateTime(e + kStartTimeOffset);
    SetScrollSpan(scrSearch, e);
}

void TfrmTimeSearch::scrSearchChange(int position)
{
    const QDateTime at = ScrolledTime(position);
    if (at.isValid())
        edtSearch->SetDateTime(at);
}

void TfrmTimeSearch::OnPlay()
{
    if (kind_ == DvrKind::RecordedFile) {
        const QByteArray *entry = SelectedEntry();
        if (!entry) {
            ShowMessage("Select a file to play.");
            return;
        }
        // A file whose header records no span has nothing to play.
        static const uint8_t zero[kRecorderTimeSize] = {};
        if (std::memcmp(entry->constData() + kStartTimeOffset, zero, sizeof zero) == 0 &&
            std::memcmp(entry->constData() + kEndTimeOffset, zero, sizeof zero) == 0) {
            ShowMessage("File Error !!");
            return;
        }
        if (!GetSelectedFile()) {
            ShowMessage(QString("The file's path is longer than %1 characters.").arg(kMaxPlayPath));
            return;
        }
    }
    SetModalResult(1);
}

std::optional<std::string> TfrmTimeSearch::GetSelectedFile() const
{
    if (kind_ != DvrKind::RecordedFile || !SelectedEntry())
        return std::nullopt;
    const QString name = lstResult->currentItem()->text(0);
    if (name.isEmpty())
        return std::nullopt;
    QString path = folder_;
    if (!path.endsWith('/'))
        path += '/';
    const std::string bytes = (path + name).toLocal8Bit().toStdString();
    if (bytes.size() > size_t(kMaxPlayPath))
        return std::nullopt;
    return bytes;
}

void TfrmTimeSearch::GetSearchTime(uint8_t *buffer) const { edtSearch->GetDateTime(buffer); }

int TfrmTimeSearch::GetChannel() const { return std::max(0, edtCh->currentIndex()); }

// ---- Event search

TfrmEventSearch::TfrmEventSearch(QWidget *owner, DvrServices *view)
    : PagedSearch(owner, view, "Event Search", {"No", "Event Time", "Ch", "Kind", "Hdd", ""}, kEventEntrySize, 2)
{
    setObjectName("frmEventSearch");
    lstResult->setObjectName("lstEvent");
    AddDiskList(0, 0);
    edtCh = AddChannelList(0, 2);
    auto *kinds = new QHBoxLayout;
    chkAlarm = new QCheckBox("Alarm", this);
    chkAlarm->setObjectName("chkAlarm");
    chkLoss = new QCheckBox("Loss", this);
    chkLoss->setObjectName("chkLoss");
    chkMotion = new QCheckBox("Motion", this);
    chkMotion->setObjectName("chkMotion");
    for (QCheckBox *box : {chkAlarm, chkLoss, chkMotion}) {
        box->setChecked(true);
        kinds->addWidget(box);
    }
    fields_->addLayout(kinds, 0, 4, 1, 3);
    resize(640, 480);
    connect(edtHdd, &QComboBox::currentIndexChanged, this, [this] { SearchFromOldest(); });
}

uint8_t TfrmEventSearch::EventMask() const
{
    return uint8_t((chkAlarm->isChecked() ? 1 : 0) | (chkLoss->isChecked() ? 2 : 0) | (chkMotion->isChecked() ? 4 : 0));
}

std::vector<uint8_t> TfrmEventSearch::Request(const uint8_t *time) const
{
    std::vector<uint8_t> r(3 + kRecorderTimeSize);
    r[0] = GetDiskCode();
    r[1] = uint8_t(std::max(0, edtCh->currentIndex()));
    r[2] = EventMask();
    std::memcpy(r.data() + 3, time, kRecorderTimeSize);
    return r;
}

void TfrmEventSearch::AddEventEntry(const uint8_t *payload, size_t length)
{
    if (!payload || length < size_t(kEventEntrySize))
        return;
    const uint8_t bits = payload[1];
    char kind[8], fields[64];
    std::snprintf(kind, sizeof kind, "%s %s %s", bits & 1 ? "A" : "-", bits & 2 ? "L" : "-", bits & 4 ? "M" : "-");
    std::snprintf(fields, sizeof fields, "%d,%d,%d-%d", int32_t(GetLe32(payload + 12)), payload[10], payload[11],
                  int32_t(GetLe32(payload + 16)));
    AddEntry(payload, length,
             {TimeAt(payload + 2), QString::number(int8_t(payload[0])), kind, QString::number(int8_t(payload[9])),
              fields});
}

uint8_t *TfrmEventSearch::GetSelectedEntry(uint8_t *buffer) const
{
    const QByteArray *entry = SelectedEntry();
    if (!entry || !buffer || entry->size() < kEventEntrySize)
        return nullptr;
    std::memcpy(buffer, entry->constData(), kEventEntrySize);
    return buffer;
}

// ---- Block search

TfrmBlockSearch::TfrmBlockSearch(QWidget *owner, DvrServices *view)
    : PagedSearch(owner, view, "Block Search", {"No", "Block Start Time", "Block Time", "Hdd", "Block Lba"},
                  kBlockEntrySize, 1)
{
    setObjectName("frmBlockSearch");
    lstResult->setObjectName("lstBlock");
    // The start time rides along for the play request only.
    lstResult->setColumnHidden(2, true);
    AddDiskList(0, 0);
    resize(560, 480);
    connect(edtHdd, &QComboBox::currentIndexChanged, this, [this] { SearchFromOldest(); });
}

std::vector<uint8_t> TfrmBlockSearch::Request(const uint8_t *time) const
{
    std::vector<uint8_t> r(1 + kRecorderTimeSize);
    r[0] = GetDiskCode();
    std::memcpy(r.data() + 1, time, kRecorderTimeSize);
    return r;
}

void TfrmBlockSearch::AddBlockEntry(const uint8_t *payload, size_t length)
{
    if (!payload || length < size_t(kBlockEntrySize))
        return;
    const QString time = TimeAt(payload + 1);
    AddEntry(payload, length,
             {time, time, QString::number(int8_t(payload[0])), QString::number(int32_t(GetLe32(payload + 10)))});
}

uint8_t *TfrmBlockSearch::GetSelectedEntry(uint8_t *buffer) const
{
    const QByteArray *entry = SelectedEntry();
    if (!entry || !buffer || entry->size() < kBlockEntrySize)
        return nullptr;
    std::memcpy(buffer, entry->constData(), kBlockEntrySize);
    return buffer;
}

// ---- Log search

TfrmLogSearch::TfrmLogSearch(QWidget *owner, DvrServices *view)
    : PagedSearch(owner, view, "Log Search", {"No", "Date Time", "Kind"}, kLogEntrySize, 1)
{
    setObjectName("frmLogSearch");
    lstResult->setObjectName("lstLog");
    // The log plays nothing; its list is not paged.
    selectEnablesPlay_ = false;
    doubleClickPlays_ = false;
    btnPlay->setText("Save Log");
    btnPlay->setEnabled(true);
    btnNext->hide();
    btnNext->setEnabled(false);
    resize(480, 480);
}

void TfrmLogSearch::BeforeSearch() { btnNext->setEnabled(false); }

std::vector<uint8_t> TfrmLogSearch::Request(const uint8_t *time) const
{
    return std::vector<uint8_t>(time, time + kRecorderTimeSize);
}

void TfrmLogSearch::AddLogEntry(const uint8_t *payload, size_t length)
{
    if (!payload || length < size_t(kLogEntrySize))
        return;
    AddEntry(payload, length, {TimeAt(payload + 1), QString::fromStdString(LogKindText(payload[0], payload[8]))});
    btnNext->setEnabled(false);
    btnPlay->setEnabled(true);
}

void TfrmLogSearch::OnPlay()
{
    // The view asks where to save the log when it arrives.
    if (Send(DvrCmdLogDownload, nullptr, 0))
        ShowMessage("Log requested at " + NowText() + ".");
}

// ---- Copy

TfrmCopy::TfrmCopy(QWidget *owner, DvrServices *view)
    : SearchDialogBase(owner, view, "Copy From Dvr", {"No", "Start", "End"})
{
    setObjectName("frmCopy");
    lstResult->setObjectName("lstTime");
    btnPlay->hide();
    doubleClickPlays_ = false;
    btnCopy = new QPushButton("Copy", this);
    btnCopy->setObjectName("btnCopy");
    btnCopy->setEnabled(false);
    static_cast<QHBoxLayout *>(buttons_)->insertWidget(1, btnCopy);
    AddDiskList(0, 0);
    // Every channel goes: the choice stays hidden at " All ".
    edtCh = AddChannelList(0, 4);
    edtCh->hide();
    if (QWidget *label = fields_->itemAtPosition(0, 4) ? fields_->itemAtPosition(0, 4)->widget() : nullptr)
        label->hide();
    edtStart = new TDateTimeEdit(this);
    edtStart->setObjectName("edtStart");
    edtEnd = new TDateTimeEdit(this);
    edtEnd->setObjectName("edtEnd");
    AddField("Copy Start : ", edtStart, 1, 0);
    btnCal = AddCalendarButton(edtStart, 1, 2);
    btnCal->setObjectName("btnCal");
    AddField("Copy End : ", edtEnd, 2, 0);
    btnCal2 = AddCalendarButton(edtEnd, 2, 2);
    btnCal2->setObjectName("btnCal2");
    edtCopyTime = new QSpinBox(this);
    edtCopyTime->setObjectName("edtCopyTime");
    edtCopyTime->setRange(1, 60);
    edtCopyTime->setValue(1);
    edtCopyTime->setSuffix(" (M)");
    // Changed by its arrows only.
    if (auto *text = edtCopyTime->findChild<QLineEdit *>())
        text->setReadOnly(true);
    AddField("Copy Time : ", edtCopyTime, 1, 3);
    fields_->setColumnStretch(5, 1);
    scrSearch = new QScrollBar(Qt::Horizontal, this);
    scrSearch->setObjectName("scrSearch");
    scrSearch->setRange(0, 0);
    scrSearch->setSingleStep(1);
    scrSearch->setPageStep(60);
    fields_->addWidget(scrSearch, 3, 0, 1, 6);
    resize(640, 480);
    connect(btnCopy, &QPushButton::clicked, this, [this] { btnCopyClick(); });
    connect(edtHdd, &QComboBox::currentIndexChanged, this, [this] {
        ClearRows();
        btnCopy->setEnabled(false);
        const uint8_t request[2] = {GetDiskCode(), 0};
        Send(DvrCmdDiskIndex, request, 2);
    });
    connect(scrSearch, &QScrollBar::valueChanged, this, [this](int v) { scrSearchChange(v); });
    connect(edtCopyTime, &QSpinBox::valueChanged, this, [this] { edtCopyTimeChange(); });
}

void TfrmCopy::showEvent(QShowEvent *e)
{
    SearchDialogBase::showEvent(e);
    if (shown_)
        return;
    shown_ = true;
    const uint8_t request[2] = {0, 0};
    Send(DvrCmdDiskIndex, request, 2);
}

void TfrmCopy::AddIndexEntry(const uint8_t *diskHeader)
{
    if (!diskHeader)
        return;
    AddRow({QString(), QString::number(RowCount() + 1), TimeAt(diskHeader + kStartTimeOffset),
            TimeAt(diskHeader + kEndTimeOffset)},
           diskHeader, kDiskHeaderSize);
    lstResult->setFocus();
}

void TfrmCopy::OnRowSelected()
{
    const QByteArray *entry = SelectedEntry();
    if (!entry)
        return;
    btnPlay->setEnabled(false);
    btnCopy->setEnabled(true);
    const uint8_t *e = Bytes(*entry);
    edtStart->SetDateTime(e + kStartTimeOffset);
    edtCopyTimeChange();
    SetScrollSpan(scrSearch, e);
}

void TfrmCopy::scrSearchChange(int position)
{
    const QDateTime at = ScrolledTime(position);
    if (!at.isValid())
        return;
    edtStart->SetDateTime(at);
    edtCopyTimeChange();
}

void TfrmCopy::edtCopyTimeChange()
{
    const QDateTime start = EditTime(edtStart);
    if (start.isValid())
        edtEnd->SetDateTime(start.addSecs(60 * edtCopyTime->value()));
}

QString TfrmCopy::CopyFileName(const QString &startDir, const QDateTime &now)
{
    return UniqueRecordPath(startDir, "Copy", now);
}

bool TfrmCopy::btnCopyClick()
{
    uint8_t payload[16] = {GetDiskCode(), uint8_t(std::max(0, edtCh->currentIndex()))};
    edtStart->GetDateTime(payload + 2);
    edtEnd->GetDateTime(payload + 9);
    const QDateTime start = RecorderDateTimeValue(payload + 2), end = RecorderDateTimeValue(payload + 9);
    if (!start.isValid() || !end.isValid()) {
        ShowMessage("The copy start or end is not a valid date and time.");
        return false;
    }
    if (end < start) {
        ShowMessage("The copy end is before its start.");
        return false;
    }
    if (!CanSend())
        return false;
    if (View()->IsCopying()) {
        ShowMessage("A copy is already running.");
        return false;
    }
    // The folder is made under the start directory; the current directory stays as it was.
    const QString startDir = QString::fromStdString(GetStartDir());
    const QString fileName = CopyFileName(startDir, QDateTime::currentDateTime());
    if (!QDir(startDir).mkpath("Copy") || !View()->StartNetCopy(fileName.toStdString())) {
        ShowMessage("Cannot create the copy file " + fileName + ".");
        return false;
    }
    // A request that did not go out brings no copy: nothing is left waiting for one.
    if (!Send(DvrCmdCopy, payload, int(sizeof payload))) {
        View()->CancelNetCopy();
        return false;
    }
    SetModalResult(1);
    return true;
}

void TfrmCopy::GetCopySpan(double *start, double *end) const
{
    uint8_t t[kRecorderTimeSize];
    if (start) {
        edtStart->GetDateTime(t);
        if (const auto v = RecorderDateTime(ReadRecorderTime(t)))
            *start = *v;
    }
    if (end) {
        edtEnd->GetDateTime(t);
        if (const auto v = RecorderDateTime(ReadRecorderTime(t)))
            *end = *v;
    }
}

} // namespace strandel
