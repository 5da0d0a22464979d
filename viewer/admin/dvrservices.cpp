#include "viewer/admin/dvrservices.h"

#include "platform/endian.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <system_error>

namespace strandel {

namespace {
std::atomic<MainServices *> mainServices{nullptr};

std::map<int, std::function<void(DvrServices *)>> &GoneWatchers()
{
    static std::map<int, std::function<void(DvrServices *)>> watchers;
    return watchers;
}
} // namespace

DvrServices::~DvrServices() { NotifyGone(); }

void DvrServices::NotifyGone()
{
    if (gone_)
        return;
    gone_ = true;
    // A copy: a watcher may unwatch itself while it is told.
    const auto watchers = GoneWatchers();
    for (const auto &w : watchers)
        if (w.second)
            w.second(this);
}

int WatchDvrServicesGone(std::function<void(DvrServices *)> gone)
{
    static int next = 0;
    GoneWatchers()[++next] = std::move(gone);
    return next;
}

void UnwatchDvrServicesGone(int id) { GoneWatchers().erase(id); }

bool DvrServices::SendRemoteKey(uint32_t code)
{
    uint8_t payload[4];
    PutLe32(payload, code);
    return SendCommand(DvrCmdRemoteKey, payload, 4);
}

void SetMainServices(MainServices *services) { mainServices = services; }

MainServices *GetMainServices() { return mainServices.load(); }

DvrServices *GetCurrentDvrWin()
{
    MainServices *m = mainServices.load();
    return m ? m->GetCurrentDvrWin() : nullptr;
}

std::string GetStartDir()
{
    if (MainServices *m = mainServices.load())
        return m->GetStartDir();
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

std::optional<std::string> BrowseForFolder(const std::string &path, QWidget *owner)
{
    MainServices *m = mainServices.load();
    return m ? m->BrowseForFolder(path, owner) : std::nullopt;
}

std::optional<QDate> SelectDate(const QDate &date, QWidget *owner)
{
    MainServices *m = mainServices.load();
    return m ? m->SelectDate(date, owner) : std::nullopt;
}

std::string IntToText(int value) { return std::to_string(value); }

} // namespace strandel
