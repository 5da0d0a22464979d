#include "report/forms/progressform.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include "report/output/printer.h"
#include "report/pages/pagetexts.h"

namespace strandel {

TPgxProgressForm::TPgxProgressForm(TPgxProgress *progress, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      m_progress(progress)
{
    setObjectName(QStringLiteral("PgxProgressForm"));
    setWindowTitle(QStringLiteral("Printing progress"));
    setFixedSize(149, 97);
    Gauge = new QProgressBar(this);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setGeometry(8, 8, 133, 16);
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setTextVisible(false);
    Info = new QLabel(this);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setGeometry(8, 32, 133, 17);
    Info->setAlignment(Qt::AlignCenter);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(37, 62, 75, 25);
    connect(CancelButton, &QPushButton::clicked, this, &TPgxProgressForm::CancelButtonClick);
    if (m_progress)
        m_progress->AddSink(this);
}

TPgxProgressForm::~TPgxProgressForm()
{
    // After this no run can reach the form.
    if (m_progress)
        m_progress->RemoveSink(this);
}

void TPgxProgressForm::showEvent(QShowEvent *e)
{
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(e);
}

void TPgxProgressForm::ProgressUpdate(int percent)
{
    if (QThread::currentThread() == thread()) {
        ShowProgress(percent);
        // A run on the window's own thread lets the window repaint and take a cancel click.
        QCoreApplication::processEvents();
    } else {
        QMetaObject::invokeMethod(this, [this, percent] { ShowProgress(percent); }, Qt::QueuedConnection);
    }
}

void TPgxProgressForm::ShowProgress(int percent)
{
    if (percent % 5 != 0)
        return;
    Gauge->setValue(percent);
    Info->setText(QString::number(percent) + QStringLiteral("% ") + pgxtexts::Completed());
}

void TPgxProgressForm::CancelButtonClick()
{
    if (m_progress)
        m_progress->Cancel();
}

void PgxRegisterProgressForm()
{
    RegisterProgressFormClass([](TPgxProgress &progress, bool show) -> std::unique_ptr<TPgxProgressSink> {
        auto form = std::make_unique<TPgxProgressForm>(&progress);
        if (show)
            form->show();
        return form;
    });
}

} // namespace strandel
