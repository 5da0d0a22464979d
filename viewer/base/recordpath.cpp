#include "viewer/base/recordpath.h"

#include <QDir>
#include <QFileInfo>

namespace strandel {

QString UniqueRecordPath(const QString &dir, const QString &folder, const QDateTime &t)
{
    const QDate d = t.date();
    const QTime tm = t.time();
    const QString base = QString::asprintf("%s/Dvr-%04d%02d%02d-%02d%02d%02d", qPrintable(folder), d.year(), d.month(),
                                           d.day(), tm.hour(), tm.minute(), tm.second());
    QString name = base + ".dvr";
    for (int n = 1; QFileInfo::exists(QDir(dir).filePath(name)); ++n)
        name = QString("%1-%2.dvr").arg(base).arg(n);
    return QDir(dir).filePath(name);
}

} // namespace strandel
