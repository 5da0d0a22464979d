#pragma once
// The address book: one DvrListRecord per recorder, kept in "Strandel.lst" beside the program's start
// directory, edited here and handed to a new recorder view on "Connect".
#include "viewer/base/dvrlistrecord.h"
#include "viewer/app/ipserver.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QButtonGroup;
class QTreeWidgetItem;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace strandel {

class TIpEdit;

class TfrmDvrList : public QWidget {
    Q_OBJECT
public:
    // Opens a recorder view on the address book's own entry; true when the view is open.
    // The entry stays valid for the life of the address book, even after its row is deleted.
    using ViewOpener = std::function<bool(DvrListRecord *entry)>;
    using ServerNameSource = std::function<QString()>;

    static constexpr const char *kListFileName = "Strandel.lst";

    // startDir: where "Strandel.lst" lives; empty means the current directory.
    explicit TfrmDvrList(QWidget *owner = nullptr, const QString &startDir = QString());
    ~TfrmDvrList() override;

    QString ListPath() const { return listPath_; }
    bool LoadList(const QString &path);
    // False when the file could not be written whole; error (when given) then says why, and the
    // old file is left as it was.
    bool SaveList(const QString &path, QString *error = nullptr) const;
    // The program ends: the form closes and saves; a failed save keeps nothing open and is said
    // on the standard error and in the debug log (the loop is ending: a window would not stay).
    void CloseForExit();
    // How a failed save is told in a window: a message box by default; tests set their own.
    std::function<void(const QString &text)> showMessage;

    void AddRecord(std::unique_ptr<DvrListRecord> record);
    void FormToRecord(DvrListRecord *record) const;
    void RecordToForm(const DvrListRecord *record);
    void UpdateAddressText(const DvrListRecord *record);
    void UpdateMacText(const DvrListRecord *record);

    int RecordCount() const { return int(records_.size()); }
    DvrListRecord *Record(int row) const;
    int SelectedRow() const;
    void SelectRow(int row);

    void SetViewOpener(ViewOpener opener) { viewOpener_ = std::move(opener); }
    // The address server's name, read at each look-up (the viewer options may change it).
    void SetIpServerNameSource(ServerNameSource source) { serverName_ = std::move(source); }
    void SetIpServerPort(uint16_t port) { serverPort_ = port; }
    void SetIpServerTimeout(int ms) { serverTimeoutMs_ = ms; }
    // Asks the address server for the record's address; done(true) after a good answer was stored.
    void LookupIpServer(DvrListRecord *record, std::function<void(bool ok)> done);
    bool LookupRunning() const { return lookup_->Busy(); }

    // The form's fields, named as on the designed form.
    QTreeWidget *lstDvrList;
    QLabel *lblListCnt;
    QGroupBox *selType;
    QLineEdit *edtName;
    TIpEdit *edtIpAddr;
    QSpinBox *edtPortNum;
    QLineEdit *edtMac;
    QCheckBox *chkUseIp;
    QComboBox *edtSerialPort;
    QComboBox *edtBaudRate;
    QLineEdit *edtPass;
    QPlainTextEdit *edtDesc;
    QPushButton *btnAdd;
    QPushButton *btnChange;
    QPushButton *btnDelete;
    QPushButton *btnConnect;
    QPushButton *btnCancel;
    QLabel *pnlIp;

    void selTypeClick();
    void chkUseIpClick();
    void btnAddClick();
    void btnChangeClick();
    void btnDeleteClick();
    void btnConnectClick();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildForm();
    void WriteRow(int row);
    static void FillDefaults(DvrListRecord &record);
    static void FillRow(QTreeWidgetItem *item, const DvrListRecord &record);
    static QString AddressText(const DvrListRecord &record);
    void UpdateCount();
    int RowOf(const DvrListRecord *record) const;
    int KindIndex() const;
    void SetKindIndex(int i);
    void OpenView(DvrListRecord *record);
    void Tell(const QString &text);
    void lstDvrListSelectItem();
    // Before an entry is stored: what it would keep that the user did not give (an address part
    // capped at 255 or left from the entry shown, a new entry's kind left from it) is shown,
    // and the user stores it or goes back to the form.
    bool ConfirmEntry(bool adding);

    QButtonGroup *kindButtons_;
    QString listPath_;
    bool ending_ = false;
    std::vector<std::unique_ptr<DvrListRecord>> records_; // row order
    // The bytes of a trailing partial record: not an entry, but written back as they were.
    QByteArray partialTail_;
    // Deleted rows' records: a view may still point at one, so they live as long as the form.
    std::vector<std::unique_ptr<DvrListRecord>> retired_;
    ViewOpener viewOpener_;
    ServerNameSource serverName_;
    uint16_t serverPort_ = kIpServerPort;
    int serverTimeoutMs_ = kIpServerTimeoutMs;
    CIpServerLookup *lookup_;
    // The user picked the kind since the form last showed an entry.
    bool kindChosen_ = false;
};

} // namespace strandel
