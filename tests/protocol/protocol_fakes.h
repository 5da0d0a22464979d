#pragma once
// Recording fakes for the view, the dialogs, the connection and the .dvr writer, and a small
// recorder side that cuts replies and records into packets as a recorder sends them.
#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <QCoreApplication>

#include "platform/endian.h"
#include "viewer/protocol/dvrwincore.h"

namespace strandel::test {

// The test thread is the UI thread: one application for the whole test process.
inline QCoreApplication &TestApp()
{
    static int argc = 1;
    static char name[] = "protocol_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = new QCoreApplication(argc, argv);
    return *app;
}

struct Packet {
    PacketHeader header;
    std::vector<uint8_t> payload;
};

inline Packet MakePacket(uint8_t cmd, uint8_t flag, std::vector<uint8_t> payload = {})
{
    return {{cmd, flag, uint16_t(payload.size())}, std::move(payload)};
}

inline std::vector<uint8_t> Le32Bytes(uint32_t v)
{
    std::vector<uint8_t> b(4);
    PutLe32(b.data(), v);
    return b;
}

// A long reply as the recorder's TCP link segments it.
inline std::vector<Packet> SegmentedReply(uint8_t cmd, const std::vector<uint8_t> &data)
{
    std::vector<Packet> out{MakePacket(cmd, DvrFlagSegStart, Le32Bytes(uint32_t(data.size())))};
    for (size_t at = 0; at < data.size(); at += kMaxPayload) {
        const size_t n = std::min<size_t>(kMaxPayload, data.size() - at);
        out.push_back(MakePacket(cmd, DvrFlagSegData, {data.begin() + at, data.begin() + at + n}));
    }
    out.push_back(MakePacket(cmd, DvrFlagSegEnd, Le32Bytes(uint32_t(data.size()))));
    return out;
}

// One pushed video record: the parts in chunks with their end marks, then the header.
inline std::vector<Packet> RecordPackets(const FrameRecordHeader &header, const std::vector<uint8_t> parts[3])
{
    std::vector<Packet> out;
    for (uint8_t p = 0; p < 3; ++p) {
        const auto &part = parts[p];
        if (part.empty())
            continue;
        for (size_t at = 0; at < part.size(); at += kMaxPayload) {
            const size_t n = std::min<size_t>(kMaxPayload, part.size() - at);
            out.push_back(MakePacket(DvrCmdRecord, uint8_t((at == 0 ? DvrFlagPartFirst : DvrFlagPart) | p),
                                     {part.begin() + at, part.begin() + at + n}));
        }
        auto end = Le32Bytes(uint32_t(part.size()));
        end.push_back(header.frameId);
        out.push_back(MakePacket(DvrCmdRecord, uint8_t(DvrFlagPartEnd | p), end));
    }
    const auto bytes = header.ToBytes();
    out.push_back(MakePacket(DvrCmdRecord, DvrFlagRecordHeader, {bytes.begin(), bytes.end()}));
    return out;
}

inline void Feed(DvrWinCore &core, const std::vector<Packet> &packets)
{
    for (const auto &p : packets)
        core.OnPacket(p.header, p.payload.data());
}

class FakeSender : public CDvrBase {
public:
    FakeSender() : CDvrBase(nullptr) {}
    // As a link being stopped: hand-overs waiting for the UI thread give up.
    void Stop() { stopping_ = true; }
    bool Send(uint8_t cmd, uint8_t flag, const uint8_t *data, int length) override
    {
        std::lock_guard l(mutex);
        if (failAfter >= 0 && int(sent.size()) >= failAfter)
            return false;
        sent.push_back(MakePacket(cmd, flag, std::vector<uint8_t>(data, data + length)));
        return true;
    }
    std::mutex mutex;
    std::vector<Packet> sent;
    int failAfter = -1;
};

// Every call as one text line, so a test compares what the view saw in order.
class FakeView : public DvrWinView {
public:
    void RunLater(std::function<void()> fn) override
    {
        std::lock_guard l(mutex);
        pending.push_back(std::move(fn));
    }
    void RunPending()
    {
        std::vector<std::function<void()>> now;
        {
            std::lock_guard l(mutex);
            now.swap(pending);
        }
        for (auto &fn : now)
            fn();
    }
    void ShowMessageText(const std::string &text) override { Log("msg " + text); }
    void ShowMessagePanel(bool visible) override { Log(visible ? "panel shown" : "panel hidden"); }
    void ShowMsgWindow(const std::string &text) override { Log("msgwin " + text); }
    void SetStateText(const std::string &text) override { Log("state " + text); }
    void SetTrackBarRange(uint32_t base, uint32_t count) override
    {
        Log("range " + std::to_string(base) + " " + std::to_string(count));
    }
    void SetTrackBarPosition(uint32_t base, uint32_t position) override
    {
        Log("pos " + std::to_string(base) + " " + std::to_string(position));
    }
    void MoveTrackBarToEnd() override { Log("track end"); }
    void SetTimeLabels(const std::string &start, const std::string &end) override
    {
        Log("times " + start + " - " + end);
    }
    void SetChannelMask(uint16_t mask) override { Log("mask " + std::to_string(mask)); }
    void DrawTitle(int pane, const uint8_t *bitmap, uint8_t mode) override
    {
        ++titles;
        lastTitle = {pane, bitmap ? bitmap[0] : -1, mode};
    }
    void ApplyScreenLayouts(const ScreenLayoutInfo &info) override
    {
        Log("layouts " + std::to_string(info.features));
    }
    void PlayAudio(const uint8_t *, size_t length) override { Log("audio " + std::to_string(length)); }
    void UpdateToolbar() override { Log("toolbar"); }
    void PostOpenSetup() override { Log("open setup"); }
    void ShowCopyPanel(bool visible) override { Log(visible ? "copy panel shown" : "copy panel hidden"); }
    void SetCopyProgress(const std::string &timeText, const std::string &percentText) override
    {
        Log("copy " + timeText + " " + percentText);
    }
    void OnLoggedIn(const LoginAnswer &answer) override { Log("logged in " + std::to_string(answer.result)); }
    std::optional<std::string> AskLogFileName() override
    {
        Log("save dialog");
        return logFileName;
    }
    std::optional<std::string> AskPassword(const std::string &reason) override
    {
        Log(reason.empty() ? "password dialog" : "password dialog: " + reason);
        return password;
    }
    void ShowMessageBox(const std::string &text) override { Log("box " + text); }
    void CloseView() override { Log("close"); }
    void OfferMpegRecord(FrameRecordHeader &header, const std::vector<uint8_t> &part0) override
    {
        std::lock_guard l(mutex);
        shown.push_back({header, part0});
    }

    void Log(const std::string &line)
    {
        std::lock_guard l(mutex);
        calls.push_back(line);
    }
    std::vector<std::string> Take()
    {
        std::lock_guard l(mutex);
        return std::exchange(calls, {});
    }

    std::mutex mutex;
    std::vector<std::string> calls;
    std::vector<std::function<void()>> pending;
    std::vector<std::pair<FrameRecordHeader, std::vector<uint8_t>>> shown;
    int titles = 0;
    std::tuple<int, int, int> lastTitle{};
    std::optional<std::string> logFileName;
    std::optional<std::string> password;
};

// All eight dialogs in one, each call logged with its dialog's name.
class FakeDialogs : public DvrEnvDialog,
                    public TimeSearchDialog,
                    public EventSearchDialog,
                    public BlockSearchDialog,
                    public LogSearchDialog,
                    public CopyDialog,
                    public UpgradeDialog,
                    public StatusDialog {
public:
    // DvrEnvDialog
    void SetRecordVariant(uint8_t v) override { Log("env variant " + std::to_string(v)); }
    void SetModel(uint8_t ntsc, int channels) override
    {
        Log("env model " + std::to_string(ntsc) + " " + std::to_string(channels));
    }
    void TransferRecord(const uint8_t *record, int direction) override
    {
        Log("env record " + std::to_string(direction) + " " + std::to_string(record[kDvrEnvRecordSize - 1]));
        uiThread = std::this_thread::get_id();
    }
    void SetTitleBitmaps(const uint8_t *) override { Log("env titles"); }
    // The shared names: the dialog is told apart by the slot the test put this object in.
    void SetHddMap(const uint8_t *map) override { Log("hddmap " + std::to_string(map[15])); }
    void SetModalResult(int r) override { Log("modal " + std::to_string(r)); }
    void AddIndexEntry(const uint8_t *) override { Log("index"); }
    void SetMessage(const std::string &text) override { Log("search msg " + text); }
    void AddEventEntry(const uint8_t *, size_t n) override { Log("event " + std::to_string(n)); }
    void AddBlockEntry(const uint8_t *, size_t n) override { Log("block " + std::to_string(n)); }
    void AddLogEntry(const uint8_t *, size_t n) override { Log("log " + std::to_string(n)); }
    void StopSending() override { Log("upgrade stop"); }
    void OnUpgradeReply(const uint8_t *p, size_t n) override
    {
        Log("upgrade " + std::to_string(p[0]) + " " + std::to_string(n));
    }
    void ShowStatus(const uint8_t *) override { Log("status"); }

    void Log(const std::string &line) { calls.push_back(line); }
    std::vector<std::string> Take() { return std::exchange(calls, {}); }
    std::vector<std::string> calls;
    std::thread::id uiThread;
};

struct FakeWriterState {
    std::vector<std::string> created;
    std::vector<std::pair<FrameRecordHeader, std::vector<uint8_t>>> records;
    int closes = 0;
    int clears = 0;
    uint64_t bytesWritten = 0;
    bool failAppend = false;
    bool failCreate = false;
    int channelCount = -1;
};

class FakeWriter : public DvrRecordWriter {
public:
    explicit FakeWriter(FakeWriterState &s) : s_(s) {}
    bool Create(const std::string &name) override
    {
        s_.created.push_back(name);
        open_ = !s_.failCreate;
        s_.bytesWritten = 0;
        return open_;
    }
    bool IsOpen() const override { return open_; }
    bool Append(const FrameRecordHeader &h, const uint8_t *record, size_t length) override
    {
        if (s_.failAppend)
            return false;
        s_.records.push_back({h, std::vector<uint8_t>(record, record + length)});
        s_.bytesWritten += length;
        return true;
    }
    void Close() override
    {
        ++s_.closes;
        open_ = false;
    }
    void ClearHeaders() override { ++s_.clears; }
    uint64_t BytesWritten() const override { return s_.bytesWritten; }

private:
    FakeWriterState &s_;
    bool open_ = false;
};

inline DvrRecordWriterFactory FakeWriterFactory(FakeWriterState &s)
{
    return [&s](int channels, bool) {
        s.channelCount = channels;
        return std::make_unique<FakeWriter>(s);
    };
}

} // namespace strandel::test
