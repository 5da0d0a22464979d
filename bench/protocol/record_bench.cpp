// Record reassembly: pushed records through OnPacket into a writer, against memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "viewer/protocol/dvrwincore.h"

using namespace strandel;

namespace {

class NullView : public DvrWinView {
public:
    void RunLater(std::function<void()>) override {}
    void ShowMessageText(const std::string &) override {}
    void ShowMessagePanel(bool) override {}
    void ShowMsgWindow(const std::string &) override {}
    void SetStateText(const std::string &) override {}
    void SetTrackBarRange(uint32_t, uint32_t) override {}
    void SetTrackBarPosition(uint32_t, uint32_t) override {}
    void MoveTrackBarToEnd() override {}
    void SetTimeLabels(const std::string &, const std::string &) override {}
    void SetChannelMask(uint16_t) override {}
    void DrawTitle(int, const uint8_t *, uint8_t) override {}
    void ApplyScreenLayouts(const ScreenLayoutInfo &) override {}
    void PlayAudio(const uint8_t *, size_t) override {}
    void UpdateToolbar() override {}
    void PostOpenSetup() override {}
    void ShowCopyPanel(bool) override {}
    void SetCopyProgress(const std::string &, const std::string &) override {}
    void OnLoggedIn(const LoginAnswer &) override {}
    std::optional<std::string> AskLogFileName() override { return std::nullopt; }
    std::optional<std::string> AskPassword(const std::string &) override { return std::nullopt; }
    void ShowMessageBox(const std::string &) override {}
    void CloseView() override {}
    void OfferMpegRecord(FrameRecordHeader &, const std::vector<uint8_t> &part0) override
    {
        benchmark::DoNotOptimize(part0.data());
    }
};

class NullSender : public CDvrBase {
public:
    NullSender() : CDvrBase(nullptr) {}
    bool Send(uint8_t, uint8_t, const uint8_t *, int) override { return true; }
};

class NullWriter : public DvrRecordWriter {
public:
    bool Create(const std::string &) override { return true; }
    bool IsOpen() const override { return true; }
    bool Append(const FrameRecordHeader &, const uint8_t *record, size_t) override
    {
        benchmark::DoNotOptimize(record);
        return true;
    }
    void Close() override {}
    void ClearHeaders() override {}
    uint64_t BytesWritten() const override { return 0; }
};

struct Chunk {
    PacketHeader header;
    std::vector<uint8_t> payload;
};

std::vector<Chunk> RecordChunks(size_t part0)
{
    std::vector<Chunk> out;
    std::vector<uint8_t> data(part0, 0x5A);
    for (size_t at = 0; at < part0; at += kMaxPayload) {
        const size_t n = std::min<size_t>(kMaxPayload, part0 - at);
        out.push_back({{DvrCmdRecord, uint8_t(at ? DvrFlagPart : DvrFlagPartFirst), uint16_t(n)},
                       {data.begin() + at, data.begin() + at + n}});
    }
    out.push_back({{DvrCmdRecord, DvrFlagPartEnd, 5}, {uint8_t(part0), uint8_t(part0 >> 8), uint8_t(part0 >> 16), 0, 1}});
    FrameRecordHeader h;
    h.frameId = 1;
    h.partSize[0] = uint32_t(part0);
    const auto bytes = h.ToBytes();
    out.push_back({{DvrCmdRecord, DvrFlagRecordHeader, kFrameRecordHeaderSize}, {bytes.begin(), bytes.end()}});
    return out;
}

void BM_RecordPush(benchmark::State &state)
{
    NullView view;
    NullSender sender;
    DvrWinCore core(view, [](int, bool) { return std::make_unique<NullWriter>(); });
    core.SetConnection(&sender);
    const uint8_t login[9] = {DvrLoginMaster, 16, 0, 0, 0, 0, 0, 0, 0};
    core.OnPacket({DvrCmdLogin, 0, 9}, login);
    if (state.range(1))
        core.StartRecord("Save/bench.dvr");
    const auto chunks = RecordChunks(size_t(state.range(0)));
    for (auto _ : state)
        for (const auto &c : chunks)
            core.OnPacket(c.header, c.payload.data());
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_RecordPush)->ArgsProduct({{5000, 60000, 250000}, {0, 1}})->ArgNames({"part0", "recording"});

// The memory bound: the same bytes copied twice (into the part stream and the record buffer).
void BM_MemcpyTwice(benchmark::State &state)
{
    const size_t n = size_t(state.range(0));
    std::vector<uint8_t> from(n, 0x5A), stream(n), record(n);
    for (auto _ : state) {
        std::memcpy(stream.data(), from.data(), n);
        std::memcpy(record.data(), stream.data(), n);
        benchmark::DoNotOptimize(record.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_MemcpyTwice)->Arg(5000)->Arg(60000)->Arg(250000);

} // namespace

BENCHMARK_MAIN();
