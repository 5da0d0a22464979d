#pragma once
// What the simulator tests share: the UI thread's application, a view that a real link talks
// to (the protocol tests' recording fakes behind DvrWinCore), and a bounded wait.
#include "tests/protocol/protocol_fakes.h"
#include "tools/dvrsim/simserver.h"
#include "viewer/store/dvrstore.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace strandel::test {

// The test thread is the UI thread.
inline QCoreApplication &SimApp()
{
    static int argc = 1;
    static char name[] = "dvrsim_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = new QCoreApplication(argc, argv);
    return *app;
}

// The recorder view as a link sees it: logs in when connected and hands packets to its core.
class SimView : public FakeView, public DvrViewLink {
public:
    void OnConnected() override
    {
        connected = true;
        if (core)
            core->SendLogin(user, loginPassword);
    }
    void OnDisconnected() override
    {
        connected = false;
        ++disconnects;
        if (core)
            core->OnDisconnected();
    }
    void ShowMessageText(const std::string &text) override { FakeView::ShowMessageText(text); }
    bool IsConnected() const override { return connected; }
    void OnPacket(const PacketHeader &header, const uint8_t *payload) override { core->OnPacket(header, payload); }

    bool Saw(const std::string &line)
    {
        std::lock_guard l(mutex);
        return std::find(calls.begin(), calls.end(), line) != calls.end();
    }
    size_t Shown()
    {
        std::lock_guard l(mutex);
        return shown.size();
    }

    DvrWinCore *core = nullptr;
    std::string user, loginPassword;
    std::atomic<bool> connected{false};
    std::atomic<int> disconnects{0};
};

// Serves the UI thread until cond holds; a hang guard, not a timing check.
inline bool Serve(SimView &view, const std::function<bool()> &cond, int boundMs = 20000)
{
    SimApp();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        view.RunPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A recording written by the viewer's own writer: a picture record a second on each channel
// from 2026-12-10 09:00:00, channel by channel within a second; the records named in `far`
// (channel, second) are dated in 2099 instead.
inline bool WriteRecording(const std::string &path, int channels, int seconds,
                           const std::vector<std::pair<int, int>> &far = {})
{
    DvrStoreContext ctx;
    ctx.channelCount = uint8_t(channels);
    if (!StoreCreateFile(&ctx, path))
        return false;
    for (int s = 0; s < seconds; ++s)
        for (int ch = 1; ch <= channels; ++ch) {
            std::vector<uint8_t> body(200, uint8_t(s)), part0;
            sim::AppendJpegArea(part0, body.data(), body.size(), ch);
            FrameRecordHeader h;
            h.channel = uint8_t(ch);
            const bool isFar = std::find(far.begin(), far.end(), std::pair{ch, s}) != far.end();
            h.time = isFar ? RecorderTime{20, 99, 12, 31, 23, 59, 59} : RecorderTime{20, 26, 12, 10, 9, 0, uint8_t(s)};
            h.partSize = {uint32_t(part0.size()), 0, 0};
            h.jpegLength = uint32_t(part0.size());
            auto bytes = h.ToBytes();
            if (!StoreAppendRecord(&ctx, bytes.data(), part0.data()))
                return false;
        }
    return StoreCloseFile(&ctx);
}

inline sim::SimOptions LoopbackOptions()
{
    sim::SimOptions o;
    o.listenHost = "127.0.0.1";
    o.listenPort = 0;
    o.fps = 10;
    return o;
}

// A loopback recorder of one record variant (its model code too) and channel count.
inline sim::SimOptions LoopbackRecorder(int variant, int channels)
{
    sim::SimOptions o = LoopbackOptions();
    o.variant = variant;
    o.model = uint8_t(variant);
    o.channels = channels;
    return o;
}

} // namespace strandel::test
