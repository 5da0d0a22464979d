#pragma once
// The search, copy and upgrade dialogs a recorder view opens for one use: each lists what the
// view hands it and gives back the choice the view turns into a request.
#include "viewer/protocol/dvrcommand.h"
#include "viewer/protocol/dvrdialoglinks.h"
#include "viewer/base/dvrlistrecord.h"

#include <QDialog>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace strandel {

class TDateTimeEdit;
class TfrmDvrWin;

// How a dialog sends its requests through the view that opened it.
using DialogSender = std::function<void(uint8_t cmd, const uint8_t *data, int length)>;

// Rows and buttons the search and copy dialogs share.
class SearchDialogBase : public QDialog {
    Q_OBJECT
public:
    SearchDialogBase(QWidget *owner, TfrmDvrWin *view, const QString &caption, const QStringList &columns);
    void SetSender(DialogSender sender) { send_ = std::move(sender); }
    TfrmDvrWin *View() const { return view_; }
    // The disk list from a 16-byte map: " Normal ", " Backup ", then each disk present.
    void SetHddMap(const uint8_t *map);
    uint8_t GetDiskCode() const;
    int RowCount() const;
    // The selected row's entry, or null when no row is selected.
    const std::vector<uint8_t> *SelectedEntry() const;
    void SetModalResult(int result);

    QComboBox *edtHdd = nullptr;
    QTreeWidget *lstResult;
    QPushButton *btnPlay;
    QPushButton *btnCancel;

protected:
    // Appends a row that owns a copy of its entry, selects the top row.
    void AddRow(const QStringList &texts, std::vector<uint8_t> entry);
    void ClearRows();
    void Send(uint8_t cmd, const uint8_t *data, int length);
    void AddDiskList();
    QComboBox *AddChannelList(int channelCount);
    virtual void OnRowSelected() {}
    virtual void OnPlay() { SetModalResult(1); }
    QLayout *fields_;

private:
    TfrmDvrWin *view_;
    DialogSender send_;
    std::vector<std::vector<uint8_t>> entries_;
    std::array<uint8_t, 130> diskCodes_{};
};

class TfrmTimeSearch : public SearchDialogBase, public TimeSearchDialog {
    Q_OBJECT
public:
    // recordPath: the view's record folder, where a recorded-file view looks for files first.
    TfrmTimeSearch(QWidget *owner, TfrmDvrWin *view, DvrKind kind, const QString &recordPath = QString(),
                   int channelCount = 0);
    // The selected file as folder + "/" + name; nothing for other kinds, without a selected row,
    // or when the path would not fit a play request.
    std::optional<std::string> GetSelectedFile() const;
    void GetSearchTime(uint8_t *buffer) const; // 7 bytes
    uint8_t GetDiskCode() const { return SearchDialogBase::GetDiskCode(); }
    int GetChannel() const;
    QString Folder() const { return folder_; }
    // Lists the .dvr files of a folder (kind 3).
    void ListFolder(const QString &folder);

    void AddIndexEntry(const uint8_t *diskHeader) override;
    void SetMessage(const std::string &text) override;
    void SetHddMap(const uint8_t *map) override { SearchDialogBase::SetHddMap(map); }
    void SetModalResult(int result) override { SearchDialogBase::SetModalResult(result); }

    QComboBox *edtCh;
    TDateTimeEdit *edtSearch;
    QLabel *pnlMsg;

protected:
    void showEvent(QShowEvent *e) override;
    void OnRowSelected() override;
    void OnPlay() override;

private:
    DvrKind kind_;
    QString recordPath_;
    QString folder_;
    std::vector<QString> names_;
    bool shown_ = false;
};

class TfrmEventSearch : public SearchDialogBase, public EventSearchDialog {
    Q_OBJECT
public:
    TfrmEventSearch(QWidget *owner, TfrmDvrWin *view, int channelCount = 0);
    void AddEventEntry(const uint8_t *payload, size_t length) override;
    void SetHddMap(const uint8_t *map) override { SearchDialogBase::SetHddMap(map); }
    // Copies the selected 20-byte entry; null when no row is selected.
    uint8_t *GetSelectedEntry(uint8_t *buffer) const;

    QComboBox *edtCh;

protected:
    void showEvent(QShowEvent *e) override;
};

class TfrmBlockSearch : public SearchDialogBase, public BlockSearchDialog {
    Q_OBJECT
public:
    TfrmBlockSearch(QWidget *owner, TfrmDvrWin *view);
    void AddBlockEntry(const uint8_t *payload, size_t length) override;
    void SetHddMap(const uint8_t *map) override { SearchDialogBase::SetHddMap(map); }
    void SetModalResult(int result) override { SearchDialogBase::SetModalResult(result); }
    // Copies the selected 18-byte entry; null when no row is selected.
    uint8_t *GetSelectedEntry(uint8_t *buffer) const;

protected:
    void showEvent(QShowEvent *e) override;
};

class TfrmLogSearch : public SearchDialogBase, public LogSearchDialog {
    Q_OBJECT
public:
    TfrmLogSearch(QWidget *owner, TfrmDvrWin *view);
    void AddLogEntry(const uint8_t *payload, size_t length) override;

protected:
    void showEvent(QShowEvent *e) override;
};

class TfrmCopy : public SearchDialogBase, public CopyDialog {
    Q_OBJECT
public:
    TfrmCopy(QWidget *owner, TfrmDvrWin *view);
    void AddIndexEntry(const uint8_t *diskHeader) override;
    void SetHddMap(const uint8_t *map) override { SearchDialogBase::SetHddMap(map); }
    // Start and end as day counts since 1899-12-30; a null pointer skips that value. A value
    // that makes no valid date is left unchanged.
    void GetCopySpan(double *start, double *end) const;

    TDateTimeEdit *edtStart;
    TDateTimeEdit *edtEnd;

protected:
    void showEvent(QShowEvent *e) override;
    void OnRowSelected() override;
};

} // namespace strandel
