#include "viewer/admin/dvrstatus.h"

#include "platform/endian.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace strandel {

namespace {

QString Dotted(const uint8_t *p) { return QString::fromStdString(IpToString(p)); }

// Text of a NUL-padded field, at most max characters; never reads past them.
QString FieldString(const uint8_t *p, size_t max)
{
    const auto *end = static_cast<const uint8_t *>(std::memchr(p, 0, max));
    return QString::fromLatin1(reinterpret_cast<const char *>(p), qsizetype(end ? size_t(end - p) : max));
}

QString TwoWay(uint8_t v, const char *zero, const char *one)
{
    if (v == 0)
        return zero;
    if (v == 1)
        return one;
    return QString("Unknown (%1)").arg(v);
}

QString I32(const uint8_t *s, int offset) { return QString::number(int32_t(GetLe32(s + offset))); }
QString I8(const uint8_t *s, int offset) { return QString::number(int8_t(s[offset])); }

} // namespace

DvrStatusText FormatDvrStatus(const uint8_t *s, int channelCount)
{
    DvrStatusText t;
    const QString rule(67, '-');
    const auto free = [s](int offset) {
        // Wraps rather than overflows on a hostile record.
        return QString::number(int32_t(GetLe32(s + offset) - GetLe32(s + offset + 4)));
    };
    // The software and hardware texts end at their 30th character at the latest.
    t.system << rule << "Video Type = " + TwoWay(s[1], "PAL", "NTSC") << "Software Version = " + FieldString(s + 10, 30)
             << "Hardware Version = " + FieldString(s + 42, 30) << "Celsius Temperature = " + I32(s, 2) + " C"
             << "Fahrenheit Temperature = " + I32(s, 6) + " F" << rule << "Hdd Count = " + I32(s, 842);
    for (int i = 0; i < 5; ++i)
        if (s[74 + i])
            t.system << "Hdd " + QString::number(i) + " = " + TwoWay(s[202 + i], "Record", "Backup") + ", " +
                            QString::number(int32_t(GetLe32(s + 330 + 4 * i)) / 2048) + " MBytes";
    t.system << rule << "Fixed Hdd Total Space : " + I32(s, 846) + " MBytes"
             << "Fixed Hdd Free Space : " + free(846) + " MBytes" << "Backup Hdd Total Space : " + I32(s, 854) + " MBytes"
             << "Backup Hdd Free Space : " + free(854) + " MBytes" << rule;

    t.record << rule << "Record Program : " + I8(s, 862) << "Record Type : " + TwoWay(s[863], "Single", "Complex")
             << "Record Repeat : " + TwoWay(s[864], "Off", "On") << rule << "Record Hdd : " + I8(s, 865)
             << "Record Lba : " + I32(s, 866) + " ~ " + I32(s, 870) << rule << "Backup Hdd : " + I8(s, 878)
             << "Backup Lba : " + I32(s, 879) + " ~ " + I32(s, 883) << rule
             << QString("Record : ") + (s[917] ? "ON" : "OFF");
    const uint32_t states = GetLe32(s + 923);
    QString channels = "[ ";
    for (int k = 0; k < std::clamp(channelCount, 0, 16); ++k) {
        static const char *const kItem[4] = {"- ", "N ", "S ", "E "};
        channels += s[917] ? kItem[(states >> (30 - 2 * k)) & 3] : "- ";
    }
    t.record << channels + "]";

    t.network << rule
              << QString::asprintf("Mac Address : %02X:%02X:%02X:%02X:%02X:%02X", s[891], s[892], s[893], s[894], s[895],
                                   s[896])
              << "Ip Address : " + Dotted(s + 897) << "Subnet Mask : " + Dotted(s + 901) << "Gateway : " + Dotted(s + 905)
              << "Dns : " + Dotted(s + 909) << "Port : " + I32(s, 913) << rule;
    return t;
}

TfrmDvrStatus::TfrmDvrStatus(QWidget *owner, DvrServices *view) : QDialog(owner), view_(view)
{
    setObjectName("frmDvrStatus");
    setWindowTitle("Dvr Status");
    resize(520, 420);
    auto *layout = new QVBoxLayout(this);
    pgcStatus = new QTabWidget(this);
    pgcStatus->setObjectName("pgcStatus");
    QFont fixed("Monospace");
    fixed.setStyleHint(QFont::TypeWriter);
    auto memo = [&](const char *name, const char *page) {
        auto *m = new QPlainTextEdit(pgcStatus);
        m->setObjectName(name);
        m->setReadOnly(true);
        m->setLineWrapMode(QPlainTextEdit::NoWrap);
        m->setFont(fixed);
        pgcStatus->addTab(m, page);
        return m;
    };
    Memo1 = memo("Memo1", "System");
    Memo2 = memo("Memo2", "Record");
    Memo3 = memo("Memo3", "Network");
    pgcStatus->setCurrentIndex(0);
    btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    btnOk->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    layout->addWidget(pgcStatus, 1);
    layout->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, [this] { done(1); });
}

void TfrmDvrStatus::AddSystemLine(const QString &text) { Memo1->appendPlainText(text); }
void TfrmDvrStatus::AddRecordLine(const QString &text) { Memo2->appendPlainText(text); }
void TfrmDvrStatus::AddNetworkLine(const QString &text) { Memo3->appendPlainText(text); }

void TfrmDvrStatus::ShowStatus(const uint8_t *status)
{
    if (!status)
        return;
    const DvrStatusText t = FormatDvrStatus(status, view_ ? view_->GetChannelCount() : 0);
    for (const QString &line : t.system)
        AddSystemLine(line);
    for (const QString &line : t.record)
        AddRecordLine(line);
    for (const QString &line : t.network)
        AddNetworkLine(line);
}

void TfrmDvrStatus::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape) {
        done(kModalResultCancel);
        return;
    }
    QDialog::keyPressEvent(e);
}

} // namespace strandel
