#include "shells.h"

#include "platform/settings.h"

#include <QCloseEvent>
#include <QComboBox>

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

TfrmDvrStatus::TfrmDvrStatus(QWidget *owner) : QDialog(owner)
{
    setObjectName("frmDvrStatus");
    setWindowTitle("Dvr Status");
}

TfrmDvrEnv::TfrmDvrEnv(QWidget *owner) : QDialog(owner)
{
    setObjectName("frmDvrEnv");
    setWindowTitle("Dvr Setup");
    int color = 0;
    chFont_ = ReadFontSettings("ChFont", font(), 0, &color);
}

} // namespace strandel
