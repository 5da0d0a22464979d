#include "viewer/admin/dvrservices.h"

#include "platform/endian.h"

#include <atomic>
#include <filesystem>
#include <system_error>

namespace strandel {

namespace {
std::atomic<MainServices *> mainServices{nullptr};
} // namespace

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
