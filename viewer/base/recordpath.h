#pragma once
// Names of the .dvr files the viewer writes: recordings under "Save", copies under "Copy".
#include <QDateTime>
#include <QString>

namespace strandel {

// "<folder>/Dvr-YYYYMMDD-hhmmss.dvr" under dir for the given time; when that name is taken, a
// numeric suffix keeps two files of one second apart, so none is ever written over.
QString UniqueRecordPath(const QString &dir, const QString &folder, const QDateTime &time);

} // namespace strandel
