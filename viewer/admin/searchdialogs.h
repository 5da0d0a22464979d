#pragma once
// The search, copy and upgrade dialogs a recorder view opens for one use: each lists what the
// view hands it and gives back the choice the view turns into a request.
#include "viewer/admin/dvrservices.h"
#include "viewer/protocol/dvrcommand.h"
#include "viewer/protocol/dvrdialoglinks.h"
#include "viewer/base/dvrlistrecord.h"

#include <QDate>
#include <QDateTime>
#include <QDialog>

#include <array>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QScrollBar;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace strandel {

class TDateTimeEdit;
class TfrmDvrWin;

// A recorder time as a date and time of its own (UTC, so no daylight-saving step falls inside
// a span); invalid when the bytes make no date or time.
QDateTime RecorderDateTimeValue(const uint8_t *rt);
// Puts the date into the edit and keeps its time of day.
void SetEditDate(TDateTimeEdit *edit, const QDate &date);
// Whole seconds from start to end with 200 ms added to the end; 0 when the end is not later;
// nullopt when a time does not make a date or the count does not fit an int.
std::optional<int> ScrollSeconds(const uint8_t *start, const uint8_t *end);
// Play requests carry at most this many path characters.
constexpr int kMaxPlayPath = 260;

// Rows, disk list, messages and buttons the search and copy dialogs share.
class SearchDialogBase : public QDialog {
    Q_OBJECT
public:
    SearchDialogBase(QWidget *owner, DvrServices *view, const QString &caption, const QStringList &columns);
    DvrServices *View() const { return view_; }
    // The disk list from a 16-byte map: " Normal ", " Backup ", then each disk present.
    void SetHddMap(const uint8_t *map);
    uint8_t GetDiskCode() const;
    int RowCount() const;
    // The entry of the selected row, or null when no row is selected.
    const QByteArray *SelectedEntry() const;
    // The time the scroll bar points at: the selected entry's start plus position seconds.
    // Invalid when no row is selected or its start is no date.
    QDateTime ScrolledTime(int position) const;
    // The entry of a row; empty when the row is out of range.
    QByteArray EntryAt(int row) const;
    QString TextAt(int row, int column) const;
    void SetModalResult(int result);
    // A line under the list for what the operator should know (no data, a refused request).
    void ShowMessage(const QString &text);

    QComboBox *edtHdd = nullptr;
    QTreeWidget *lstResult;
    QLabel *pnlMsg;
    QPushButton *btnPlay;
    QPushButton *btnCancel;

protected:
    // Appends a row that owns a copy of its entry, selects and focuses the top row.
    QTreeWidgetItem *AddRow(const QStringList &texts, const uint8_t *entry, int size);
    void ClearRows();
    // Sends through the view; false, with the reason shown, when nothing went out.
    bool Send(uint8_t cmd, const uint8_t *data, int length);
    bool CanSend();
    // The scroll bar over the seconds of a disk header's span.
    void SetScrollSpan(QScrollBar *bar, const uint8_t *header);
    void AddDiskList(int row, int column);
    QComboBox *AddChannelList(int row, int column);
    QPushButton *AddCalendarButton(TDateTimeEdit *edit, int row, int column);
    void AddField(const QString &label, QWidget *field, int row, int column);
    virtual void OnRowSelected() {}
    virtual void OnPlay() { SetModalResult(1); }
    QGridLayout *fields_;
    QLayout *buttons_;
    // Selecting a row enables Play and runs OnRowSelected; a double click on a row plays it.
    bool selectEnablesPlay_ = true;
    bool doubleClickPlays_ = true;

private:
    DvrServices *view_;
    std::array<uint8_t, 130> diskCodes_{};
    mutable QByteArray selected_;
};

// Search and Next over one entry kind: the event, block and log searches.
class PagedSearch : public SearchDialogBase {
    Q_OBJECT
public:
    PagedSearch(QWidget *owner, DvrServices *view, const QString &caption, const QStringList &columns,
                int entrySize, int timeOffset);
    void btnSearchClick();
    void btnNextClick();
    int Count() const { return count_; }

    TDateTimeEdit *edtSearch;
    QPushButton *btnCal;
    QPushButton *btnSearch;
    QPushButton *btnNext;
    QLabel *lblCnt;

protected:
    void showEvent(QShowEvent *e) override;
    // The first request (century and year 0xFF), then the edit shows the time now.
    void SearchFromOldest();
    void AddEntry(const uint8_t *payload, size_t length, QStringList texts);
    virtual std::vector<uint8_t> Request(const uint8_t *time) const = 0;
    virtual uint8_t Command() const = 0;
    virtual void BeforeSearch();

private:
    bool SearchAt(const uint8_t *time);
    int entrySize_;
    int timeOffset_;
    int count_ = 0;
    bool shown_ = false;
};

class TfrmTimeSearch : public SearchDialogBase, public TimeSearchDialog {
    Q_OBJECT
public:
    TfrmTimeSearch(QWidget *owner, DvrKind kind, DvrServices *view);
    // The selected file as folder + "/" + name; nothing for other kinds, without a selected row,
    // or when the path is longer than a play request holds.
    std::optional<std::string> GetSelectedFile() const;
    void GetSearchTime(uint8_t *buffer) const; // 7 bytes
    uint8_t GetDiskCode() const { return SearchDialogBase::GetDiskCode(); }
    int GetChannel() const;
    QString Folder() const { return folder_; }
    // Lists the .dvr files of a folder, newest name first (kind 3).
    void ListFolder(const QString &folder);

    void AddIndexEntry(const uint8_t *diskHeader) override;
    void SetMessage(const std::string &text) override;
    void SetHddMap(const uint8_t *map) override { SearchDialogBase::SetHddMap(map); }
    void SetModalResult(int result) override { SearchDialogBase::SetModalResult(result); }

    QComboBox *edtCh;
    TDateTimeEdit *edtSearch;
    QPushButton *btnCal;
    QPushButton *btnDir;
    QScrollBar *scrSearch;

protected:
    void showEvent(QShowEvent *e) override;
    void OnRowSelected() override;
    void OnPlay() override;

private:
    void scrSearchChange(int position);
    DvrKind kind_;
    QString folder_;
    bool shown_ = false;
};

class TfrmEventSearch : public PagedSearch, public EventSearchDialog {
    Q_OBJECT
public:
    TfrmEventSearch(QWidget *owner, DvrServices *view);
    void AddEventEntry(const uint8_t *payload, size_t length) override;
    void SetHddMap(const uint8_t *map) override { SearchDialogBase::SetHddMap(map); }
    // Copies the selected 20-byte entry; null when no row is selected.
    uint8_t *GetSelectedEntry(uint8_t *buffer) const;
    uint8_t EventMask() const;

    QComboBox *edtCh;
    QCheckBox *chkAlarm;
    QCheckBox *chkLoss;
    QCheckBox *chkMotion;

protected:
    std::vector<uint8_t> Request(const uint8_t *time) const override;
    uint8_t Command() const override { return DvrCmdEventSearch; }
};

class TfrmBlockSearch : public PagedSearch, public BlockSearchDialog {
    Q_OBJECT
public:
    TfrmBlockSearch(QWidget *owner, DvrServices *view);
    void AddBlockEntry(const uint8_t *payload, size_t length) override;
    void SetHddMap(const uint8_t *map) override { SearchDialogBase::SetHddMap(map); }
    void SetModalResult(int result) override { SearchDialogBase::SetModalResult(result); }
    // Copies the selected 18-byte entry; null when no row is selected.
    uint8_t *GetSelectedEntry(uint8_t *buffer) const;

protected:
    std::vector<uint8_t> Request(const uint8_t *time) const override;
    uint8_t Command() const override { return DvrCmdBlockSearch; }
};

class TfrmLogSearch : public PagedSearch, public LogSearchDialog {
    Q_OBJECT
public:
    TfrmLogSearch(QWidget *owner, DvrServices *view);
    void AddLogEntry(const uint8_t *payload, size_t length) override;
    void SetMessage(const std::string &text) override { ShowMessage(QString::fromStdString(text)); }

protected:
    std::vector<uint8_t> Request(const uint8_t *time) const override;
    uint8_t Command() const override { return DvrCmdLogSearch; }
    void BeforeSearch() override;
    void OnPlay() override;
};

class TfrmCopy : public SearchDialogBase, public CopyDialog {
    Q_OBJECT
public:
    TfrmCopy(QWidget *owner, DvrServices *view);
    void AddIndexEntry(const uint8_t *diskHeader) override;
    void SetHddMap(const uint8_t *map) override { SearchDialogBase::SetHddMap(map); }
    // Start and end as day counts since 1899-12-30; a null pointer skips that value. A value
    // that makes no valid date is left unchanged.
    void GetCopySpan(double *start, double *end) const;
    // The file a copy started now goes to: "Copy/Dvr-YYYYMMDD-hhmmss.dvr" under the folder, with a
    // numeric suffix when an earlier copy has that name.
    static QString CopyFileName(const QString &startDir, const QDateTime &now);
    // Checks the span, opens the view's copy writer and sends the request; false, with the
    // reason shown, when no copy was started.
    bool btnCopyClick();

    QComboBox *edtCh;
    TDateTimeEdit *edtStart;
    TDateTimeEdit *edtEnd;
    QPushButton *btnCal;
    QPushButton *btnCal2;
    QSpinBox *edtCopyTime;
    QScrollBar *scrSearch;
    QPushButton *btnCopy;

protected:
    void showEvent(QShowEvent *e) override;
    void OnRowSelected() override;
    void OnPlay() override { btnCopyClick(); }

private:
    void scrSearchChange(int position);
    void edtCopyTimeChange();
    bool shown_ = false;
};

} // namespace strandel
