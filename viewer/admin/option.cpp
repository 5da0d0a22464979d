#include "viewer/admin/option.h"

#include "viewer/base/global.h"
#include "viewer/base/vieweroptions.h"

#include <QCheckBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>

namespace strandel {

TfrmOption::TfrmOption(QWidget *owner, ViewerOptions &options, const QFont &font)
    : QDialog(owner), options_(options), font_(font)
{
    setObjectName("frmOption");
    setWindowTitle("Viewer Option");
    auto make = [this](const char *name, const char *text) {
        auto *c = new QCheckBox(text, this);
        c->setObjectName(name);
        return c;
    };
    chkChTitle = make("chkChTitle", "Channel Title");
    chkDateTime = make("chkDateTime", "Date && Time");
    chkEvent = make("chkEvent", "Event");
    chkFrameRate = make("chkFrameRate", "Frame Rate");
    chkUseIpServer = make("chkUseIpServer", "Use Ip Server");
    edtIpServer = new QLineEdit(this);
    edtIpServer->setObjectName("edtIpServer");
    edtServerName = new QLineEdit(this);
    edtServerName->setObjectName("edtServerName");
    edtServerName->setMaxLength(127);
    btnFont = new QPushButton("Font...", this);
    btnFont->setObjectName("btnFont");
    btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    btnOk->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");

    auto *form = new QFormLayout(this);
    form->addRow(chkChTitle);
    form->addRow(chkDateTime);
    form->addRow(chkEvent);
    form->addRow(chkFrameRate);
    form->addRow("Ip Server", edtIpServer);
    form->addRow(chkUseIpServer);
    form->addRow("Server Name", edtServerName);
    form->addRow(btnFont);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    form->addRow(buttons);

    connect(btnFont, &QPushButton::clicked, this, [this] {
        bool ok = false;
        QFont f = QFontDialog::getFont(&ok, font_, this);
        if (ok)
            font_ = f;
    });
    connect(btnOk, &QPushButton::clicked, this, &TfrmOption::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(2); });
}

void TfrmOption::showEvent(QShowEvent *e)
{
    chkChTitle->setChecked(options_.showChannelTitle);
    chkDateTime->setChecked(options_.showDateTime);
    chkEvent->setChecked(options_.showEvent);
    chkFrameRate->setChecked(options_.showFrameRate);
    edtIpServer->setText(QString::fromStdString(IpToString(options_.ipServer.data())));
    chkUseIpServer->setChecked(options_.useIpServer);
    edtServerName->setText(QString::fromLatin1(options_.ipServerName.data()));
    setFont(font_);
    QDialog::showEvent(e);
}

void TfrmOption::btnOkClick()
{
    options_.showChannelTitle = chkChTitle->isChecked();
    options_.showDateTime = chkDateTime->isChecked();
    options_.showEvent = chkEvent->isChecked();
    options_.showFrameRate = chkFrameRate->isChecked();
    uint8_t ip[4] = {0, 0, 0, 0};
    if (TextToIp(edtIpServer->text().toLatin1().constData(), ip) == 4)
        std::memcpy(options_.ipServer.data(), ip, 4);
    options_.useIpServer = chkUseIpServer->isChecked();
    const QByteArray name = edtServerName->text().toLatin1().left(127);
    options_.ipServerName.fill(0);
    std::memcpy(options_.ipServerName.data(), name.constData(), size_t(name.size()));
    done(1);
}

} // namespace strandel
