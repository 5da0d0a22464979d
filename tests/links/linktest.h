#pragma once
// What the link tests share: the UI thread's application, a recording view and waiting helpers.
#include "viewer/link/dvrviewlink.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace strandel::test {

// The test thread is the UI thread: it owns the application and pumps its events while waiting.
inline QCoreApplication &App()
{
    static int argc = 1;
    static char name[] = "links_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = new QCoreApplication(argc, argv);
    return *app;
}

// Pumps UI events until pred holds; gives up after a generous bound (a hang guard, not a timing).
inline bool WaitUntil(const std::function<bool()> &pred, int boundMs = 5000)
{
    App();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline void PumpFor(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct ReceivedPacket {
    uint8_t cmd, flag;
    std::vector<uint8_t> payload;
    bool operator==(const ReceivedPacket &) const = default;
};

// Records what a link calls back, in order; packets may come from a reader thread.
class RecordingView : public DvrViewLink {
public:
    void OnConnected() override { Add("connected"), connected_ = true; }
    void OnDisconnected() override { Add("disconnected"), connected_ = false; }
    void ShowMessageText(const std::string &text) override { Add("message:" + text); }
    bool IsConnected() const override { return connected_; }
    void OnPacket(const PacketHeader &h, const uint8_t *payload) override
    {
        {
            std::lock_guard l(mutex_);
            packets_.push_back({h.cmd, h.flag, {payload, payload + h.length}});
        }
        Add("packet");
        if (onPacket)
            onPacket(h);
    }

    std::vector<std::string> Events() const
    {
        std::lock_guard l(mutex_);
        return events_;
    }
    std::vector<ReceivedPacket> Packets() const
    {
        std::lock_guard l(mutex_);
        return packets_;
    }
    size_t Count(const std::string &event) const
    {
        size_t n = 0;
        for (auto &e : Events())
            n += e == event;
        return n;
    }

    std::function<void(const PacketHeader &)> onPacket;

private:
    void Add(const std::string &e)
    {
        std::lock_guard l(mutex_);
        events_.push_back(e);
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<ReceivedPacket> packets_;
    bool connected_ = false;
};

} // namespace strandel::test
