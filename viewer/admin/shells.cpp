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
    f.setFamily(RegReadString(prefix + "Name", defaults.family(), kMaxNameLength));
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

} // namespace strandel
