// Blending throughput against memcpy of the same bytes (the memory bound), and the
// viewer's hot path: a 708 x 476 picture stretched into the 16 panes of a 1920 x 1080 window.
#include <cstring>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "graphics/rx32_transforms.h"

using namespace strandel;

namespace {

std::vector<TColor32> RandomPixels(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<TColor32> v(n);
    for (TColor32 &p : v)
        p = rng();
    return v;
}

// Arg 0: pixels per line; arg 1: lines.
size_t Pixels(const benchmark::State &state) { return size_t(state.range(0) * state.range(1)); }

void Memcpy(benchmark::State &state)
{
    const auto src = RandomPixels(Pixels(state), 1);
    std::vector<TColor32> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size() * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()) * 4);
}

void BlendLineOf(benchmark::State &state, BlendKind kind)
{
    const BlendSet *set = GetBlendSet(kind);
    if (!set) {
        state.SkipWithError("not available on this processor");
        return;
    }
    const auto src = RandomPixels(Pixels(state), 1);
    auto dst = RandomPixels(src.size(), 2);
    const int32_t w = int32_t(state.range(0));
    for (auto _ : state) {
        for (size_t row = 0; row < src.size(); row += size_t(w))
            set->BlendLine(src.data() + row, dst.data() + row, w);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()) * 4);
}

void BlendLineExOf(benchmark::State &state, BlendKind kind)
{
    const BlendSet *set = GetBlendSet(kind);
    if (!set) {
        state.SkipWithError("not available on this processor");
        return;
    }
    const auto src = RandomPixels(Pixels(state), 1);
    auto dst = RandomPixels(src.size(), 2);
    const int32_t w = int32_t(state.range(0));
    for (auto _ : state) {
        for (size_t row = 0; row < src.size(); row += size_t(w))
            set->BlendLineEx(src.data() + row, dst.data() + row, w, 200);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()) * 4);
}

void CombineMemOf(benchmark::State &state, BlendKind kind)
{
    const BlendSet *set = GetBlendSet(kind);
    if (!set) {
        state.SkipWithError("not available on this processor");
        return;
    }
    const auto src = RandomPixels(Pixels(state), 1);
    auto dst = RandomPixels(src.size(), 2);
    const TCombineMem combine = set->CombineMem;
    for (auto _ : state) {
        for (size_t i = 0; i < src.size(); ++i)
            combine(src[i], dst[i], 100);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()) * 4);
}

// One refresh: the picture stretched into every pane of a 4 x 4 split of 1920 x 1080.
void SixteenPanes(benchmark::State &state, TStretchFilter filter)
{
    TBitmap32 picture, window;
    picture.SetSize(708, 476);
    const auto pixels = RandomPixels(708 * 476, 3);
    std::memcpy(picture.Bits(), pixels.data(), pixels.size() * 4);
    window.SetSize(1920, 1080);
    for (auto _ : state) {
        for (int pane = 0; pane < 16; ++pane) {
            const int col = pane % 4, row = pane / 4;
            const TRect r = MakeRect(col * 480, row * 270, col * 480 + 480, row * 270 + 270);
            StretchTransfer(&window, r, &picture, MakeRect(0, 0, 708, 476), filter, dmOpaque);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 1920 * 1080);
}

// One line (in cache), one frame (in the last-level cache here), four frames (main memory).
void LineArgs(benchmark::internal::Benchmark *b) { b->Args({1920, 1})->Args({1920, 1080})->Args({1920, 4320}); }

} // namespace

BENCHMARK(Memcpy)->Apply(LineArgs);
BENCHMARK_CAPTURE(BlendLineOf, plain, BlendKind::Plain)->Apply(LineArgs);
BENCHMARK_CAPTURE(BlendLineOf, reference, BlendKind::VectorRef)->Apply(LineArgs);
BENCHMARK_CAPTURE(BlendLineOf, sse2, BlendKind::Sse2)->Apply(LineArgs);
BENCHMARK_CAPTURE(BlendLineOf, avx2, BlendKind::Avx2)->Apply(LineArgs);
BENCHMARK_CAPTURE(BlendLineExOf, sse2, BlendKind::Sse2)->Apply(LineArgs);
BENCHMARK_CAPTURE(BlendLineExOf, avx2, BlendKind::Avx2)->Apply(LineArgs);
BENCHMARK_CAPTURE(CombineMemOf, plain, BlendKind::Plain)->Apply(LineArgs);
BENCHMARK_CAPTURE(CombineMemOf, sse2, BlendKind::Sse2)->Apply(LineArgs);
BENCHMARK_CAPTURE(SixteenPanes, nearest, sfNearest)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SixteenPanes, linear, sfLinear)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
