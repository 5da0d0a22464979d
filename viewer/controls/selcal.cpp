#include "viewer/controls/selcal.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextCharFormat>
#include <QVBoxLayout>

namespace strandel {

TfrmSelCal::TfrmSelCal(QWidget *owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    edtCal = new QCalendarWidget(this);
    // Today is not marked: it looks like any other day.
    edtCal->setDateTextFormat(QDate::currentDate(), QTextCharFormat());
    btnOk = new QPushButton("Ok", this);
    btnCancel = new QPushButton("Cancel", this);
    btnOk->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(edtCal);
    layout->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, [this] { done(1); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(2); });
}

void TfrmSelCal::showEvent(QShowEvent *event)
{
    if (QWidget *owner = parentWidget()) {
        QWidget *form = owner->window();
        const QRect r = form->frameGeometry();
        move(r.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

} // namespace strandel
