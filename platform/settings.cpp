#include "settings.h"

#include "debuglog.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace strandel {
namespace {

QMutex pathLock;
QString overridePath;

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

namespace {

// The store is opened once per file and shared: reading it again for every value made
// start-up parse the whole file once a value. A change made to the file behind our back
// (another process, a test writing it directly) is seen through its size and time stamp.
class SharedStore {
public:
    // Runs fn on the open store under the lock; create: open even when the file is missing.
    template <class Fn> auto With(bool create, Fn fn) -> decltype(fn(std::declval<QSettings &>()))
    {
        using R = decltype(fn(std::declval<QSettings &>()));
        const QString path = SettingsFilePath();
        QMutexLocker l(&lock_);
        const QFileInfo info(path);
        if (!create && !info.exists())
            return R();
        // A file removed meanwhile starts empty, not with what the open store still holds.
        if (!settings_ || settings_->fileName() != path || (!info.exists() && size_ >= 0)) {
            settings_.reset();
            settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
            Stamp(info);
        } else if (info.exists() && (info.size() != size_ || info.lastModified() != modified_)) {
            settings_->sync(); // picks up what was written elsewhere
            Stamp(QFileInfo(path));
        }
        if constexpr (std::is_void_v<R>) {
            fn(*settings_);
        } else {
            return fn(*settings_);
        }
    }
    // After our own write: sync and remember the file as we left it.
    void Written(QSettings &s, const QString &name)
    {
        Sync(s, name);
        Stamp(QFileInfo(s.fileName()));
    }

private:
    void Stamp(const QFileInfo &info)
    {
        size_ = info.exists() ? info.size() : -1;
        modified_ = info.exists() ? info.lastModified() : QDateTime();
    }
    QMutex lock_;
    std::unique_ptr<QSettings> settings_;
    qint64 size_ = -1;
    QDateTime modified_;
};

SharedStore &Store()
{
    static SharedStore store;
    return store;
}

} // namespace

int RegReadInt(const QString &name, int defaultValue)
{
    struct Result {
        bool found = false;
        int value = 0;
    };
    const Result r = Store().With(false, [&](QSettings &s) {
        Result out;
        out.found = true;
        if (s.status() == QSettings::NoError && ParseInt(s.value(name), &out.value))
            return out;
        if (s.contains(name))
            DebugPrint("Settings: \"%s\" is no integer, using %d", qPrintable(name), defaultValue);
        s.setValue(name, defaultValue);
        Store().Written(s, name);
        out.value = defaultValue;
        return out;
    });
    return r.found ? r.value : defaultValue;
}

void RegWriteInt(const QString &name, int value)
{
    Store().With(true, [&](QSettings &s) {
        s.setValue(name, value);
        Store().Written(s, name);
    });
}

QString RegReadString(const QString &name, const QString &defaultValue, int maxLength)
{
    const std::optional<QString> r = Store().With(false, [&](QSettings &s) -> std::optional<QString> {
        if (s.status() != QSettings::NoError || !s.contains(name))
            return std::nullopt;
        const QVariant v = s.value(name);
        if (!v.canConvert<QString>())
            return std::nullopt;
        QString text = v.toString();
        if (text.size() > maxLength) {
            DebugPrint("Settings: \"%s\" of %lld characters is over %d, using the default", qPrintable(name),
                       static_cast<long long>(text.size()), maxLength);
            return std::nullopt;
        }
        return text;
    });
    return r ? *r : defaultValue;
}

void RegWriteString(const QString &name, const QString &value)
{
    Store().With(true, [&](QSettings &s) {
        s.setValue(name, value);
        Store().Written(s, name);
    });
}

} // namespace strandel
