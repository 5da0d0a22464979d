// CRC-32, framing and receiving of 1 KiB packets, and draining garbage, beside memcpy of the same bytes.
#include "viewer/link/crc32.h"
#include "viewer/link/dvrframing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace strandel;

namespace {

constexpr int kPackets = 64;

std::vector<uint8_t> Payload()
{
    std::vector<uint8_t> p(kMaxPayload);
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = uint8_t(i * 13 + 5);
    return p;
}

std::vector<uint8_t> TcpStream()
{
    const auto p = Payload();
    std::vector<uint8_t> s(size_t(kPackets) * (kTcpFrameOverhead + kMaxPayload));
    for (int i = 0; i < kPackets; ++i)
        BuildTcpFrame(s.data() + size_t(i) * (kTcpFrameOverhead + kMaxPayload), 0x20, 0, p.data(), kMaxPayload);
    return s;
}

std::vector<uint8_t> SerialStream()
{
    const auto p = Payload();
    std::vector<uint8_t> s;
    for (int i = 0; i < kPackets; ++i)
        BuildSerialFrame(s, 0x20, 0, p.data(), kMaxPayload);
    return s;
}

void BM_Memcpy(benchmark::State &state)
{
    const auto src = TcpStream();
    std::vector<uint8_t> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_Memcpy);

// CrcUpdate, then each routine it may pick from.
void BM_Crc32(benchmark::State &state)
{
    const auto src = TcpStream();
    const auto fn = state.range(0) < 0 ? CrcUpdate : CrcRoutines()[size_t(state.range(0))].fn;
    if (state.range(0) >= 0)
        state.SetLabel(CrcRoutines()[size_t(state.range(0))].name);
    for (auto _ : state)
        benchmark::DoNotOptimize(fn(0, src.data(), int(src.size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_Crc32)->Apply([](benchmark::internal::Benchmark *b) {
    for (int i = -1; i < int(CrcRoutines().size()); ++i)
        b->Arg(i);
});

void BM_TcpFrame(benchmark::State &state)
{
    const auto p = Payload();
    std::vector<uint8_t> out(size_t(kPackets) * (kTcpFrameOverhead + kMaxPayload));
    for (auto _ : state) {
        uint8_t *o = out.data();
        for (int i = 0; i < kPackets; ++i)
            o += BuildTcpFrame(o, 0x20, 0, p.data(), kMaxPayload);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}
BENCHMARK(BM_TcpFrame);

// Reads the way the link does: exactly the bytes of the current field, straight into the buffer.
void BM_TcpReceive(benchmark::State &state)
{
    const auto s = TcpStream();
    TcpReceiver rx;
    int packets = 0;
    const PacketSink sink = [&](const PacketHeader &, const uint8_t *) { ++packets; };
    for (auto _ : state) {
        size_t at = 0;
        while (at < s.size()) {
            const size_t n = rx.Want();
            std::memcpy(rx.WritePtr(), s.data() + at, n);
            at += n;
            rx.Commit(n, sink);
        }
    }
    if (packets != int(state.iterations()) * kPackets)
        state.SkipWithError("packets lost");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.size()));
}
BENCHMARK(BM_TcpReceive);

// A recorder sending garbage: the reader hunts for the frame marker through it, one receive per
// Want() as the link reads; the receives counter says how many it took per 64 KiB.
void BM_TcpReceiveGarbage(benchmark::State &state)
{
    std::vector<uint8_t> s(size_t(kPackets) * 1024);
    uint32_t x = 1;
    for (auto &b : s)
        b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    TcpReceiver rx;
    int64_t receives = 0;
    const PacketSink sink = [](const PacketHeader &, const uint8_t *) {};
    for (auto _ : state) {
        size_t at = 0;
        while (at < s.size()) {
            const size_t n = std::min(rx.Want(), s.size() - at);
            std::memcpy(rx.WritePtr(), s.data() + at, n);
            at += n;
            rx.Commit(n, sink);
            ++receives;
        }
    }
    state.counters["receives"] = benchmark::Counter(double(receives) / double(state.iterations()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.size()));
}
BENCHMARK(BM_TcpReceiveGarbage);

void BM_SerialFrame(benchmark::State &state)
{
    const auto p = Payload();
    std::vector<uint8_t> out;
    out.reserve(size_t(kPackets) * 2 * (kMaxPayload + 10));
    for (auto _ : state) {
        out.clear();
        for (int i = 0; i < kPackets; ++i)
            BuildSerialFrame(out, 0x20, 0, p.data(), kMaxPayload);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kPackets * kMaxPayload);
}
BENCHMARK(BM_SerialFrame);

void BM_SerialReceive(benchmark::State &state)
{
    const auto s = SerialStream();
    SerialReceiver rx;
    int packets = 0;
    const PacketSink sink = [&](const PacketHeader &, const uint8_t *) { ++packets; };
    for (auto _ : state)
        rx.Feed(s.data(), s.size(), sink);
    if (packets != int(state.iterations()) * kPackets)
        state.SkipWithError("packets lost");
    state.SetBytesProcessed(int64_t(state.iterations()) * kPackets * kMaxPayload);
}
BENCHMARK(BM_SerialReceive);

} // namespace
