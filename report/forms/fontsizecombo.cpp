#include "report/forms/fontsizecombo.h"

#include <QComboBox>

namespace strandel {

void PopulateFontSizeCombo(QComboBox *combo)
{
    if (!combo)
        return;
    combo->clear();
    for (int size : PgxFontSizes)
        combo->addItem(QString::number(size));
}

} // namespace strandel
