#include "viewer/app/debug.h"

#include "viewer/app/mainform.h"
#include "viewer/app/forms.h"
#include "platform/debuglog.h"
#include "platform/uithread.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace strandel {

TfrmDebug::TfrmDebug(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName("frmDebug");
    setWindowTitle("Debug");
    resize(310, 516);
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setFixedHeight(145);
    Image1->setScaledContents(true);
    edtMsg = new QPlainTextEdit(this);
    edtMsg->setObjectName("edtMsg");
    edtMsg->setReadOnly(true);
    // The memo keeps the newest lines only.
    edtMsg->setMaximumBlockCount(kMaxLines);
    edtMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edtMsg->setFont(QFont("Courier New", 9));
    QPalette p = edtMsg->palette();
    p.setColor(QPalette::Base, QColor(0x80, 0x80, 0x00));
    edtMsg->setPalette(p);
    edtMsg->setPlainText("edtMsg");
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Image1);
    layout->addWidget(edtMsg);
}

TfrmDebug::~TfrmDebug() { SetDebugSink({}); }

QStringList TfrmDebug::Lines() const { return edtMsg->toPlainText().split('\n'); }

void TfrmDebug::showEvent(QShowEvent *e)
{
    // Without a picture the picture's place would be an empty grey band over the lines.
    Image1->setVisible(!Image1->pixmap().isNull());
    QWidget::showEvent(e);
    FormShow();
}

void TfrmDebug::hideEvent(QHideEvent *e)
{
    SetDebugSink({});
    QWidget::hideEvent(e);
}

void TfrmDebug::FormShow()
{
    edtMsg->clear();
    cleared_ = true;
    QPointer<TfrmDebug> self(this);
    // Lines from reader threads are handed to the UI thread; the window may be gone by then.
    SetDebugSink([self](const std::string &line) {
        QString text = QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
        RunOnUiThreadQueued([self, text] {
            if (self && self->isVisible())
                self->AppendLine(text);
        });
    });
    DebugPrint("%s", frmMain ? qPrintable(frmMain->GetStartDir()) : "");
    DebugPrint("%d, %d, %d, %d\n", 895, 494, 205, 394);
}

void TfrmDebug::AppendLine(const QString &line)
{
    QTextCursor cursor(edtMsg->document());
    cursor.movePosition(QTextCursor::End);
    if (!cleared_)
        cursor.insertBlock();
    cursor.insertText(line);
    cleared_ = false;
    edtMsg->verticalScrollBar()->setValue(edtMsg->verticalScrollBar()->maximum());
}

} // namespace strandel
