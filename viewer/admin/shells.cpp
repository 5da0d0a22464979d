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

TfrmDvrEnv *frmDvrEnv = nullptr;

TfrmDvrEnv::TfrmDvrEnv(QWidget *owner)
    : QDialog(owner), Comm1(std::make_unique<comm::TComm>()), Comm2(std::make_unique<comm::TComm>())
{
    setObjectName("frmDvrEnv");
    setWindowTitle("Dvr Setup");
    int color = 0;
    chFont_ = ReadFontSettings("ChFont", font(), 0, &color);
    auto *layout = new QVBoxLayout(this);
    lblMsg = new QLabel("Waiting for DVR Environment Data...", this);
    lblMsg->setObjectName("lblMsg");
    btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    layout->addWidget(lblMsg);
    layout->addWidget(btnOk);
    layout->addWidget(btnCancel);
    connect(btnOk, &QPushButton::clicked, this, [this] { SetModalResult(1); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { SetModalResult(2); });
}

void TfrmDvrEnv::SetModel(uint8_t ntsc, int channelCount)
{
    ntsc_ = ntsc;
    channelCount_ = channelCount;
}

void TfrmDvrEnv::TransferRecord(const uint8_t *record, int direction)
{
    if (!record || direction != 1)
        return;
    record_.assign(record, record + kDvrEnvRecordSize);
    lblMsg->setText(QString("%1 channels, %2").arg(channelCount_).arg(ntsc_ ? "NTSC" : "PAL"));
}

void TfrmDvrEnv::SetHddMap(const uint8_t *map)
{
    if (map)
        hddMap_.assign(map, map + kHddMapSize);
}

void TfrmDvrEnv::SetTitleBitmaps(const uint8_t *bitmaps)
{
    if (bitmaps)
        titles_.assign(bitmaps, bitmaps + kTitleBitmapsSize);
}

void TfrmDvrEnv::SetModalResult(int result)
{
    if (isVisible())
        done(result);
    else
        setResult(result);
}

} // namespace strandel
