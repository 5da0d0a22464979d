#include "settings.h"

#include "debuglog.h"

#include <QFileInfo>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>

namespace strandel {
namespace {

QMutex pathLock;
QString overridePath;

bool StoreExists(const QString &path) { return QFileInfo::exists(path); }

bool ParseInt(const QVariant &v, int *out)
{
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > UINT32_MAX)
        return false;
    *out = int(uint32_t(n)); // a DWORD written as unsigned reads back as the same bits
    return true;
}

void Sync(QSettings &s, const QString &name)
{
    s.sync();
    if (s.status() != QSettings::NoError)
        DebugPrint("Settings: cannot write \"%s\" to %s", qPrintable(name), qPrintable(s.fileName()));
}

} // namespace

QString SettingsFilePath()
{
    QMutexLocker l(&pathLock);
    if (!overridePath.isEmpty())
        return overridePath;
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return dir + "/Holvane/Strandel.ini";
}

void SetSettingsFilePath(const QString &path)
{
    QMutexLocker l(&pathLock);
    overridePath = path;
}

int RegReadInt(const QString &name, int defaultValue)
{
    const QString path = SettingsFilePath();
    if (!StoreExists(path))
        return defaultValue;
    QSettings s(path, QSettings::IniFormat);
    int value = 0;
    if (s.status() == QSettings::NoError && ParseInt(s.value(name), &value))
        return value;
    if (s.contains(name))
        DebugPrint("Settings: \"%s\" is no integer, using %d", qPrintable(name), defaultValue);
    s.setValue(name, defaultValue);
    Sync(s, name);
    return defaultValue;
}

void RegWriteInt(const QString &name, int value)
{
    QSettings s(SettingsFilePath(), QSettings::IniFormat);
    s.setValue(name, value);
    Sync(s, name);
}

QString RegReadString(const QString &name, const QString &defaultValue)
{
    const QString path = SettingsFilePath();
    if (!StoreExists(path))
        return defaultValue;
    QSettings s(path, QSettings::IniFormat);
    if (s.status() != QSettings::NoError || !s.contains(name))
        return defaultValue;
    const QVariant v = s.value(name);
    if (!v.canConvert<QString>())
        return defaultValue;
    return v.toString();
}

void RegWriteString(const QString &name, const QString &value)
{
    QSettings s(SettingsFilePath(), QSettings::IniFormat);
    s.setValue(name, value);
    Sync(s, name);
}

} // namespace strandel
