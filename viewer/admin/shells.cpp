#include "viewer/admin/shells.h"

#include "platform/endian.h"
#include "platform/settings.h"
#include "viewer/protocol/dvrcommand.h"
#include "viewer/base/global.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace strandel {

QFont ReadFontSettings(const QString &prefix, const QFont &defaults, int defaultColor, int *color)
{
    QFont f = defaults;
    f.setFamily(RegReadString(prefix + "Name", defaults.family()));
    const int size = RegReadInt(prefix + "Size", defaults.pointSize() > 0 ? defaults.pointSize() : 8);
    if (size > 0)
        f.setPointSize(size);
    *color = RegReadInt(prefix + "Color", defaultColor);
    f.setBold(RegReadInt(prefix + "StyleBold", defaults.bold() ? 1 : 0) != 0);
    f.setItalic(RegReadInt(prefix + "StyleItalic", defaults.italic() ? 1 : 0) != 0);
    f.setUnderline(RegReadInt(prefix + "StyleUnderLine", defaults.underline() ? 1 : 0) != 0);
    f.setStrikeOut(RegReadInt(prefix + "StyleStrikeOut", defaults.strikeOut() ? 1 : 0) != 0);
    return f;
}

void WriteFontSettings(const QString &prefix, const QFont &font, int color)
{
    RegWriteString(prefix + "Name", font.family());
    RegWriteInt(prefix + "Size", font.pointSize());
    RegWriteInt(prefix + "Color", color);
    RegWriteInt(prefix + "StyleBold", font.bold() ? 1 : 0);
    RegWriteInt(prefix + "StyleItalic", font.italic() ? 1 : 0);
    RegWriteInt(prefix + "StyleUnderLine", font.underline() ? 1 : 0);
    RegWriteInt(prefix + "StyleStrikeOut", font.strikeOut() ? 1 : 0);
}

TfrmPanTilt *frmPanTilt = nullptr;

TfrmPanTilt::TfrmPanTilt(QWidget *owner) : QWidget(owner, Qt::Tool)
{
    setObjectName("frmPanTilt");
    setWindowTitle("Pan/Tilt");
    edtChannel = new QComboBox(this);
    edtChannel->setObjectName("edtChannel");
    for (int i = 1; i <= 16; ++i)
        edtChannel->addItem(QString::number(i));
    edtChannel->setCurrentIndex(0);
}

void TfrmPanTilt::SetChannel(int n)
{
    if (n == channel_)
        return;
    channel_ = n;
    edtChannel->setCurrentIndex(n);
}

void TfrmPanTilt::closeEvent(QCloseEvent *e)
{
    emit closed();
    QWidget::closeEvent(e);
}

TfrmDvrCtrl::TfrmDvrCtrl(QWidget *owner) : QWidget(owner, Qt::Tool)
{
    setObjectName("frmDvrCtrl");
    setWindowTitle("Controller");
}

void TfrmDvrCtrl::closeEvent(QCloseEvent *e)
{
    emit closed();
    QWidget::closeEvent(e);
}

TfrmDvrStatus::TfrmDvrStatus(QWidget *owner, TfrmDvrWin *view, int channelCount)
    : QDialog(owner), view_(view), channelCount_(std::clamp(channelCount, 0, 16))
{
    setObjectName("frmDvrStatus");
    setWindowTitle("Dvr Status");
    auto *layout = new QVBoxLayout(this);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    layout->addWidget(Memo1, 1);
    layout->addWidget(btnOk);
    connect(btnOk, &QPushButton::clicked, this, [this] { done(1); });
}

namespace {

QString Dotted(const uint8_t *p) { return QString::fromStdString(IpToString(p)); }

// Text of a NUL-padded field of at most max characters; never reads past the field.
QString FieldString(const uint8_t *p, size_t field, size_t max)
{
    const auto *end = static_cast<const uint8_t *>(std::memchr(p, 0, std::min(field, max)));
    return QString::fromLatin1(reinterpret_cast<const char *>(p), qsizetype(end ? end - p : qsizetype(std::min(field, max))));
}

QString TwoWay(uint8_t v, const char *zero, const char *one)
{
    return v == 0 ? zero : v == 1 ? one : QString::number(v);
}

} // namespace

void TfrmDvrStatus::ShowStatus(const uint8_t *s)
{
    if (!s)
        return;
    const QString rule(67, '-');
    const auto i32 = [s](int offset) { return QString::number(int32_t(GetLe32(s + offset))); };
    const auto free = [s](int offset) { return QString::number(int32_t(GetLe32(s + offset)) - int32_t(GetLe32(s + offset + 4))); };
    QStringList lines;
    lines << rule << "Video Type = " + TwoWay(s[1], "PAL", "NTSC") << "Software Version = " + FieldString(s + 10, 32, 30)
          << "Hardware Version = " + FieldString(s + 42, 32, 30) << "Celsius Temperature = " + i32(2) + " C"
          << "Fahrenheit Temperature = " + i32(6) + " F" << rule << "Hdd Count = " + i32(842);
    for (int i = 0; i < 5; ++i)
        if (s[74 + i])
            lines << "Hdd " + QString::number(i) + " = " + TwoWay(s[202 + i], "Record", "Backup") + ", " +
                         QString::number(int32_t(GetLe32(s + 330 + 4 * i)) / 2048) + " MBytes";
    lines << rule << "Fixed Hdd Total Space : " + i32(846) + " MBytes" << "Fixed Hdd Free Space : " + free(846) + " MBytes"
          << "Backup Hdd Total Space : " + i32(854) + " MBytes" << "Backup Hdd Free Space : " + free(854) + " MBytes"
          << rule;
    lines << rule << "Record Program : " + QString::number(int8_t(s[862]))
          << "Record Type : " + TwoWay(s[863], "Single", "Complex") << "Record Repeat : " + TwoWay(s[864], "Off", "On")
          << rule << "Record Hdd : " + QString::number(int8_t(s[865])) << "Record Lba : " + i32(866) + " ~ " + i32(870)
          << rule << "Backup Hdd : " + QString::number(int8_t(s[878])) << "Backup Lba : " + i32(879) + " ~ " + i32(883)
          << rule << QString("Record : ") + (s[917] ? "ON" : "OFF");
    const uint32_t states = GetLe32(s + 923);
    QString channels = "[ ";
    for (int k = 0; k < channelCount_; ++k) {
        static const char *kItem[4] = {"- ", "N ", "S ", "E "};
        channels += s[917] ? kItem[(states >> (30 - 2 * k)) & 3] : "- ";
    }
    lines << channels + "]";
    lines << rule
          << QString::asprintf("Mac Address : %02X:%02X:%02X:%02X:%02X:%02X", s[891], s[892], s[893], s[894], s[895], s[896])
          << "Ip Address : " + Dotted(s + 897) << "Subnet Mask : " + Dotted(s + 901) << "Gateway : " + Dotted(s + 905)
          << "Dns : " + Dotted(s + 909) << "Port : " + i32(913) << rule;
    for (const QString &line : lines)
        Memo1->appendPlainText(line);
}

} // namespace strandel
