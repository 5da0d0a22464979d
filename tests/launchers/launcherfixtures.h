// What the launcher tests change for the whole process, put back however a test ends (a failed
// assertion returns early), so the next test in the same process finds it as it was.
#pragma once

#include "platform/settings.h"
#include "viewer/admin/dvrservices.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

namespace strandel::test {

// The main window as far as the copy needs it: where the program started. It stands in for the
// main window while it lives.
class StartDirOnly : public MainServices {
public:
    explicit StartDirOnly(std::string startDir) : dir_(std::move(startDir)), previous_(GetMainServices())
    {
        SetMainServices(this);
    }
    ~StartDirOnly() override { SetMainServices(previous_); }
    StartDirOnly(const StartDirOnly &) = delete;
    StartDirOnly &operator=(const StartDirOnly &) = delete;

    DvrServices *GetCurrentDvrWin() const override { return nullptr; }
    std::string GetStartDir() const override { return dir_; }
    std::optional<std::string> BrowseForFolder(const std::string &, QWidget *) override { return std::nullopt; }
    std::optional<QDate> SelectDate(const QDate &, QWidget *) override { return std::nullopt; }

private:
    std::string dir_;
    MainServices *previous_;
};

// The settings in a file of the test's own while it lives.
class SettingsFileFor {
public:
    explicit SettingsFileFor(const QString &path) { SetSettingsFilePath(path); }
    ~SettingsFileFor() { SetSettingsFilePath({}); }
    SettingsFileFor(const SettingsFileFor &) = delete;
    SettingsFileFor &operator=(const SettingsFileFor &) = delete;
};

// An environment variable set while it lives.
class EnvFor {
public:
    EnvFor(const char *name, const QByteArray &value) : name_(name), old_(qgetenv(name)) { qputenv(name, value); }
    ~EnvFor()
    {
        if (old_.isNull())
            qunsetenv(name_);
        else
            qputenv(name_, old_);
    }
    EnvFor(const EnvFor &) = delete;
    EnvFor &operator=(const EnvFor &) = delete;

private:
    const char *name_;
    QByteArray old_;
};

} // namespace strandel::test
