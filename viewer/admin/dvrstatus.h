#pragma once
// The recorder's status report: one 927-byte status record shown as text on three pages.
#include <QDialog>

#include "viewer/admin/dvrservices.h"
#include "viewer/protocol/dvrdialoglinks.h"

class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace strandel {

class TfrmDvrStatus : public QDialog, public StatusDialog {
    Q_OBJECT
public:
    explicit TfrmDvrStatus(QWidget *owner = nullptr, DvrServices *view = nullptr);
    // Appends the report of one status record; a second record appends a second report.
    void ShowStatus(const uint8_t *status) override;

    void AddSystemLine(const QString &text);
    void AddRecordLine(const QString &text);
    void AddNetworkLine(const QString &text);

    QTabWidget *pgcStatus;
    QPlainTextEdit *Memo1; // System
    QPlainTextEdit *Memo2; // Record
    QPlainTextEdit *Memo3; // Network
    QPushButton *btnOk;

protected:
    void keyPressEvent(QKeyEvent *e) override;

private:
    DvrServices *view_;
};

// The report's lines per page, for a record of kDvrStatusRecordSize bytes and the view's
// channel count (0..16). Values a two-way field does not know show as "Unknown (n)".
struct DvrStatusText {
    QStringList system, record, network;
};
DvrStatusText FormatDvrStatus(const uint8_t *status, int channelCount);

} // namespace strandel
