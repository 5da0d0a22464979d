#include "viewer/admin/option.h"

#include "viewer/base/vieweroptions.h"
#include "viewer/controls/ipedit.h"

#include <QCheckBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace strandel {

TfrmOption::TfrmOption(QWidget *owner, ViewerOptions &options, const QFont &font)
    : QDialog(owner), options_(options), font_(font)
{
    setObjectName("frmOption");
    setWindowTitle("Viewer Option");
    auto check = [](QWidget *parent, const char *name, const char *text) {
        auto *c = new QCheckBox(text, parent);
        c->setObjectName(name);
        return c;
    };
    grpDisplay = new QGroupBox(" Display ", this);
    grpDisplay->setObjectName("grpDisplay");
    chkChTitle = check(grpDisplay, "chkChTitle", "Channel Title");
    chkChDateTime = check(grpDisplay, "chkChDateTime", "Date Time");
    chkChEvent = check(grpDisplay, "chkChEvent", "Event");
    chkFrame = check(grpDisplay, "chkFrame", "Frame Rate");
    auto *display = new QVBoxLayout(grpDisplay);
    for (QCheckBox *c : {chkChTitle, chkChDateTime, chkChEvent, chkFrame})
        display->addWidget(c);

    grpIpServer = new QGroupBox(" Dynamic IP Server ", this);
    grpIpServer->setObjectName("grpIpServer");
    edtIp = new TIpEdit(grpIpServer);
    edtIp->setObjectName("edtIp");
    edtIp->setMinimumSize(150, 24);
    chkIpServer = check(grpIpServer, "chkIpServer", "Use Dynamic Ip Server");
    edtIpServerName = new QLineEdit(grpIpServer);
    edtIpServerName->setObjectName("edtIpServerName");
    auto *server = new QVBoxLayout(grpIpServer);
    server->addWidget(edtIp);
    server->addWidget(chkIpServer);
    auto *nameLabel = new QLabel("Server Name", grpIpServer);
    nameLabel->setBuddy(edtIpServerName);
    server->addWidget(nameLabel);
    server->addWidget(edtIpServerName);

    btnFont = new QPushButton("Font", this);
    btnFont->setObjectName("btnFont");
    btnOk = new QPushButton("Ok", this);
    btnOk->setObjectName("btnOk");
    btnOk->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grpDisplay);
    layout->addWidget(grpIpServer);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnFont);
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Typing stops at 63 characters; a longer name from the registry is shown whole (to 127).
    connect(edtIpServerName, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (text.size() > kTypedNameLength && text.size() > typedName_.size()) {
            const int cursor = edtIpServerName->cursorPosition() - int(text.size() - typedName_.size());
            edtIpServerName->setText(typedName_);
            edtIpServerName->setCursorPosition(std::max(0, cursor));
            return;
        }
        typedName_ = text;
    });
    connect(btnFont, &QPushButton::clicked, this, &TfrmOption::btnFontClick);
    connect(btnOk, &QPushButton::clicked, this, &TfrmOption::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(2); });
}

void TfrmOption::showEvent(QShowEvent *e)
{
    setFont(font_);
    chkChTitle->setChecked(options_.showChannelTitle != 0);
    chkChDateTime->setChecked(options_.showDateTime != 0);
    chkChEvent->setChecked(options_.showEvent != 0);
    chkFrame->setChecked(options_.showFrameRate != 0);
    for (int i = 0; i < 4; ++i)
        edtIp->SetIp(i, options_.ipServer[size_t(i)]);
    chkIpServer->setChecked(options_.useIpServer != 0);
    options_.ipServerName[kNameLength] = 0;
    const char *name = options_.ipServerName.data();
    typedName_ = QString::fromLatin1(name, qsizetype(strnlen(name, kNameLength)));
    edtIpServerName->setText(typedName_);
    QDialog::showEvent(e);
}

void TfrmOption::btnFontClick()
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font_, this, "Font", QFontDialog::DontUseNativeDialog);
    if (!ok)
        return;
    // A preview only: the main window takes it on OK.
    font_ = chosen;
    setFont(font_);
}

void TfrmOption::btnOkClick()
{
    options_.showChannelTitle = chkChTitle->isChecked() ? 1 : 0;
    options_.showDateTime = chkChDateTime->isChecked() ? 1 : 0;
    options_.showEvent = chkChEvent->isChecked() ? 1 : 0;
    options_.showFrameRate = chkFrame->isChecked() ? 1 : 0;
    for (int i = 0; i < 4; ++i)
        options_.ipServer[size_t(i)] = edtIp->GetIp(i);
    options_.useIpServer = chkIpServer->isChecked() ? 1 : 0;
    const QByteArray name = edtIpServerName->text().toLatin1().left(kNameLength);
    options_.ipServerName.fill(0);
    std::memcpy(options_.ipServerName.data(), name.constData(), size_t(name.size()));
    done(1);
}

} // namespace strandel
