#pragma once
// The stay-on-top window that shows how far a report run has come and lets the user cancel it.
#include <QDialog>

#include "report/output/progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace strandel {

class TPgxProgressForm : public QDialog, public TPgxProgressSink
{
    Q_OBJECT
public:
    // Attaches itself to progress (which must outlive it) until it is destroyed.
    explicit TPgxProgressForm(TPgxProgress *progress, QWidget *parent = nullptr);
    ~TPgxProgressForm() override;

    // From any thread: on the form's own thread the form changes at once, else it is told later.
    void ProgressUpdate(int percent) override;

    QProgressBar *Gauge;
    QLabel *Info;
    QPushButton *CancelButton;

public slots:
    void CancelButtonClick();

protected:
    void showEvent(QShowEvent *e) override;

private:
    void ShowProgress(int percent);
    TPgxProgress *m_progress;
};

// Reports show this form while they print or export.
void PgxRegisterProgressForm();

} // namespace strandel
