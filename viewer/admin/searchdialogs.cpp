#include "viewer/admin/searchdialogs.h"

#include "platform/endian.h"
#include "platform/settings.h"
#include "viewer/controls/dtedit.h"
#include "viewer/protocol/dvrwincore.h"
#include "viewer/base/global.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace strandel {

namespace {

constexpr int kStartTimeOffset = 63;
constexpr int kEndTimeOffset = 182;
// Play requests carry at most this many path bytes.
constexpr size_t kMaxPathBytes = 259;

QString TimeAt(const uint8_t *p) { return QString::fromStdString(TimeText(ReadRecorderTime(p))); }

// The first request of a search: century and year 0xFF ask for the oldest entries.
constexpr uint8_t kOldest[kRecorderTimeSize] = {0xFF, 0xFF, 0, 0, 0, 0, 0};

} // namespace

// ---- Shared

SearchDialogBase::SearchDialogBase(QWidget *owner, TfrmDvrWin *view, const QString &caption, const QStringList &columns)
    : QDialog(owner), view_(view)
{
    setWindowTitle(caption);
    auto *layout = new QVBoxLayout(this);
    fields_ = new QHBoxLayout;
    layout->addLayout(fields_);
    lstResult = new QTreeWidget(this);
    lstResult->setObjectName("lstResult");
    lstResult->setRootIsDecorated(false);
    lstResult->setColumnCount(int(columns.size()));
    lstResult->setHeaderLabels(columns);
    layout->addWidget(lstResult, 1);
    auto *buttons = new QHBoxLayout;
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
        if (item) {
            btnPlay->setEnabled(true);
            OnRowSelected();
        }
    });
    connect(lstResult, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (SelectedEntry())
            OnPlay();
    });
}

void SearchDialogBase::AddDiskList()
{
    edtHdd = new QComboBox(this);
    edtHdd->setObjectName("edtHdd");
    edtHdd->addItem(" HDD ");
    edtHdd->setCurrentIndex(0);
    fields_->addWidget(edtHdd);
}

QComboBox *SearchDialogBase::AddChannelList(int channelCount)
{
    auto *box = new QComboBox(this);
    box->setObjectName("edtCh");
    box->addItem(" All ");
    for (int k = 1; k <= std::clamp(channelCount, 0, 16); ++k)
        box->addItem("Ch " + QString::number(k));
    box->setCurrentIndex(0);
    fields_->addWidget(box);
    return box;
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

const std::vector<uint8_t> *SearchDialogBase::SelectedEntry() const
{
    QTreeWidgetItem *item = lstResult->currentItem();
    if (!item)
        return nullptr;
    const int row = lstResult->indexOfTopLevelItem(item);
    return row >= 0 && row < int(entries_.size()) ? &entries_[size_t(row)] : nullptr;
}

void SearchDialogBase::AddRow(const QStringList &texts, std::vector<uint8_t> entry)
{
    entries_.push_back(std::move(entry));
    lstResult->addTopLevelItem(new QTreeWidgetItem(texts));
    lstResult->setCurrentItem(lstResult->topLevelItem(0));
}

void SearchDialogBase::ClearRows()
{
    lstResult->clear();
    entries_.clear();
    btnPlay->setEnabled(false);
}

void SearchDialogBase::Send(uint8_t cmd, const uint8_t *data, int length)
{
    if (send_)
        send_(cmd, data, length);
}

void SearchDialogBase::SetModalResult(int result)
{
    if (isVisible())
        done(result);
    else
        setResult(result);
}

// ---- Time search

TfrmTimeSearch::TfrmTimeSearch(QWidget *owner, TfrmDvrWin *view, DvrKind kind, const QString &recordPath,
                               int channelCount)
    : SearchDialogBase(owner, view, "Time Search", {"No", "Start", "End", "File name"}), kind_(kind),
      recordPath_(recordPath)
{
    setObjectName("frmTimeSearch");
    edtCh = AddChannelList(channelCount);
    AddDiskList();
    edtSearch = new TDateTimeEdit(this);
    edtSearch->setObjectName("edtSearch");
    fields_->addWidget(edtSearch);
    pnlMsg = new QLabel(this);
    pnlMsg->setObjectName("pnlMsg");
    pnlMsg->hide();
    fields_->addWidget(pnlMsg);
    // A file carries its own channels and area.
    const bool file = kind_ == DvrKind::RecordedFile;
    edtCh->setEnabled(!file);
    edtHdd->setEnabled(!file);
    connect(edtHdd, &QComboBox::currentIndexChanged, this, [this] {
        if (kind_ == DvrKind::RecordedFile)
            return;
        ClearRows();
        const uint8_t request[2] = {GetDiskCode(), 0};
        Send(DvrCmdDiskIndex, request, 2);
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
    const QString saved = RegReadString("FileSearchDir", recordPath_);
    if (!saved.isEmpty() && QDir(saved).exists())
        ListFolder(saved);
    else if (!recordPath_.isEmpty() && QDir(recordPath_).exists())
        ListFolder(recordPath_);
    else
        ListFolder(QDir::currentPath());
    lstResult->setFocus();
}

void TfrmTimeSearch::ListFolder(const QString &folder)
{
    const QDir dir(QDir(folder).exists() ? folder : QDir::currentPath());
    folder_ = dir.absolutePath();
    setWindowTitle(folder_);
    RegWriteString("FileSearchDir", folder_);
    ClearRows();
    names_.clear();
    QStringList files = dir.entryList({"*.dvr"}, QDir::Files, QDir::Name);
    for (auto it = files.crbegin(); it != files.crend(); ++it) {
        QFile file(dir.filePath(*it));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray head = file.read(kDiskHeaderSize);
        if (head.size() != kDiskHeaderSize)
            continue;
        const auto *bytes = reinterpret_cast<const uint8_t *>(head.constData());
        names_.push_back(*it);
        AddRow({QString::number(RowCount() + 1), TimeAt(bytes + kStartTimeOffset), TimeAt(bytes + kEndTimeOffset), *it},
               std::vector<uint8_t>(bytes, bytes + kDiskHeaderSize));
    }
    if (RowCount() > 0)
        OnRowSelected();
}

void TfrmTimeSearch::AddIndexEntry(const uint8_t *diskHeader)
{
    if (!diskHeader)
        return;
    std::vector<uint8_t> entry(diskHeader, diskHeader + kDiskHeaderSize);
    AddRow({QString::number(RowCount() + 1), TimeAt(diskHeader + kStartTimeOffset),
            TimeAt(diskHeader + kEndTimeOffset), " No File "},
           std::move(entry));
    lstResult->setFocus();
}

void TfrmTimeSearch::SetMessage(const std::string &text)
{
    pnlMsg->setText(QString::fromStdString(text));
    pnlMsg->show();
}

void TfrmTimeSearch::OnRowSelected()
{
    if (const auto *entry = SelectedEntry())
        edtSearch->SetDateTime(entry->data() + kStartTimeOffset);
}

void TfrmTimeSearch::OnPlay()
{
    // A file whose header records no span has nothing to play.
    if (kind_ == DvrKind::RecordedFile) {
        const auto *entry = SelectedEntry();
        static const uint8_t zero[kRecorderTimeSize] = {};
        if (entry && std::memcmp(entry->data() + kStartTimeOffset, zero, sizeof zero) == 0 &&
            std::memcmp(entry->data() + kEndTimeOffset, zero, sizeof zero) == 0) {
            SetMessage("File Error !!");
            return;
        }
    }
    SetModalResult(1);
}

std::optional<std::string> TfrmTimeSearch::GetSelectedFile() const
{
    if (kind_ != DvrKind::RecordedFile || !SelectedEntry())
        return std::nullopt;
    const int row = lstResult->indexOfTopLevelItem(lstResult->currentItem());
    if (row < 0 || row >= int(names_.size()))
        return std::nullopt;
    QString path = folder_;
    if (!path.endsWith('/'))
        path += '/';
    const std::string bytes = (path + names_[size_t(row)]).toLocal8Bit().toStdString();
    if (bytes.size() > kMaxPathBytes)
        return std::nullopt;
    return bytes;
}

void TfrmTimeSearch::GetSearchTime(uint8_t *buffer) const { edtSearch->GetDateTime(buffer); }

int TfrmTimeSearch::GetChannel() const { return std::max(0, edtCh->currentIndex()); }

// ---- Event search

TfrmEventSearch::TfrmEventSearch(QWidget *owner, TfrmDvrWin *view, int channelCount)
    : SearchDialogBase(owner, view, "Event Search", {"No", "Event Time", "Ch", "Kind", "Hdd", ""})
{
    setObjectName("frmEventSearch");
    AddDiskList();
    edtCh = AddChannelList(channelCount);
}

void TfrmEventSearch::showEvent(QShowEvent *e)
{
    SearchDialogBase::showEvent(e);
    uint8_t request[3 + kRecorderTimeSize] = {GetDiskCode(), uint8_t(std::max(0, edtCh->currentIndex())), 7};
    std::memcpy(request + 3, kOldest, sizeof kOldest);
    Send(DvrCmdEventSearch, request, int(sizeof request));
}

void TfrmEventSearch::AddEventEntry(const uint8_t *payload, size_t length)
{
    if (!payload || length < size_t(kEventEntrySize))
        return;
    const uint8_t bits = payload[1];
    const QString kind = QString("%1 %2 %3").arg(bits & 1 ? "A" : "-", bits & 2 ? "L" : "-", bits & 4 ? "M" : "-");
    AddRow({QString::number(RowCount() + 1), TimeAt(payload + 2), QString::number(int8_t(payload[0])), kind,
            QString::number(int8_t(payload[9]))},
           std::vector<uint8_t>(payload, payload + kEventEntrySize));
}

uint8_t *TfrmEventSearch::GetSelectedEntry(uint8_t *buffer) const
{
    const auto *entry = SelectedEntry();
    if (!entry || !buffer)
        return nullptr;
    std::memcpy(buffer, entry->data(), kEventEntrySize);
    return buffer;
}

// ---- Block search

TfrmBlockSearch::TfrmBlockSearch(QWidget *owner, TfrmDvrWin *view)
    : SearchDialogBase(owner, view, "Block Search", {"No", "Block Time", "Hdd", "Block Lba"})
{
    setObjectName("frmBlockSearch");
    AddDiskList();
}

void TfrmBlockSearch::showEvent(QShowEvent *e)
{
    SearchDialogBase::showEvent(e);
    uint8_t request[1 + kRecorderTimeSize] = {GetDiskCode()};
    std::memcpy(request + 1, kOldest, sizeof kOldest);
    Send(DvrCmdBlockSearch, request, int(sizeof request));
}

void TfrmBlockSearch::AddBlockEntry(const uint8_t *payload, size_t length)
{
    if (!payload || length < size_t(kBlockEntrySize))
        return;
    AddRow({QString::number(RowCount() + 1), TimeAt(payload + 1), QString::number(int8_t(payload[0])),
            QString::number(int32_t(GetLe32(payload + 10)))},
           std::vector<uint8_t>(payload, payload + kBlockEntrySize));
}

uint8_t *TfrmBlockSearch::GetSelectedEntry(uint8_t *buffer) const
{
    const auto *entry = SelectedEntry();
    if (!entry || !buffer)
        return nullptr;
    std::memcpy(buffer, entry->data(), kBlockEntrySize);
    return buffer;
}

// ---- Log search

TfrmLogSearch::TfrmLogSearch(QWidget *owner, TfrmDvrWin *view)
    : SearchDialogBase(owner, view, "Log Search", {"No", "Date Time", "Kind"})
{
    setObjectName("frmLogSearch");
    // The log plays nothing.
    btnPlay->hide();
}

void TfrmLogSearch::showEvent(QShowEvent *e)
{
    SearchDialogBase::showEvent(e);
    Send(DvrCmdLogSearch, kOldest, int(sizeof kOldest));
}

void TfrmLogSearch::AddLogEntry(const uint8_t *payload, size_t length)
{
    if (!payload || length < size_t(kLogEntrySize))
        return;
    AddRow({QString::number(RowCount() + 1), TimeAt(payload + 1), QString::fromStdString(LogText(payload[0]))},
           std::vector<uint8_t>(payload, payload + kLogEntrySize));
}

// ---- Copy

TfrmCopy::TfrmCopy(QWidget *owner, TfrmDvrWin *view)
    : SearchDialogBase(owner, view, "Copy From Dvr", {"No", "Start", "End"})
{
    setObjectName("frmCopy");
    btnPlay->setText("Copy");
    AddDiskList();
    edtStart = new TDateTimeEdit(this);
    edtStart->setObjectName("edtStart");
    edtEnd = new TDateTimeEdit(this);
    edtEnd->setObjectName("edtEnd");
    fields_->addWidget(edtStart);
    fields_->addWidget(edtEnd);
    connect(edtHdd, &QComboBox::currentIndexChanged, this, [this] {
        ClearRows();
        const uint8_t request[2] = {GetDiskCode(), 0};
        Send(DvrCmdDiskIndex, request, 2);
    });
}

void TfrmCopy::showEvent(QShowEvent *e)
{
    SearchDialogBase::showEvent(e);
    const uint8_t request[2] = {0, 0};
    Send(DvrCmdDiskIndex, request, 2);
}

void TfrmCopy::AddIndexEntry(const uint8_t *diskHeader)
{
    if (!diskHeader)
        return;
    AddRow({QString::number(RowCount() + 1), TimeAt(diskHeader + kStartTimeOffset), TimeAt(diskHeader + kEndTimeOffset)},
           std::vector<uint8_t>(diskHeader, diskHeader + kDiskHeaderSize));
}

void TfrmCopy::OnRowSelected()
{
    const auto *entry = SelectedEntry();
    if (!entry)
        return;
    edtStart->SetDateTime(entry->data() + kStartTimeOffset);
    // One minute by default.
    const QDateTime start = edtStart->DateTime();
    if (start.isValid())
        edtEnd->SetDateTime(start.addSecs(60));
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
