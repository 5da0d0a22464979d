// Page compression: our splay-tree code against zlib on the same page, with memcpy as the
// memory floor. At the end it prints each of our figures beside its reference and the ratio.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <QImage>

#include "bench/report/collector.h"
#include "report/pages/metafile.h"
#include "report/pages/splay.h"

namespace {

using namespace strandel;

// A list-report page: a title, 60 rows of four columns with rules, a footer and a small picture.
const std::vector<uint8_t> &PageBytes()
{
    static const std::vector<uint8_t> bytes = [] {
        TPgxMetafile mf(794, 1123, 96, 96);
        TPgxMetafileCanvas c(mf);
        PgxFont f;
        f.height = 20;
        f.weight = 700;
        c.SetFont(f);
        c.Text({0, 20, 794, 50}, PgxTextHCenter, QStringLiteral("Recorder event list"));
        f.height = 12;
        f.weight = 400;
        c.SetFont(f);
        for (int row = 0; row < 60; ++row) {
            int y = 80 + row * 16;
            c.TextOut(40, y, QStringLiteral("%1").arg(1000 + row * 7, 6, 10, QLatin1Char('0')));
            c.TextOut(120, y, QStringLiteral("2026-12-%1 %2:%3:05").arg(1 + row % 28, 2, 10, QLatin1Char('0'))
                                  .arg(row % 24, 2, 10, QLatin1Char('0')).arg(row * 13 % 60, 2, 10, QLatin1Char('0')));
            c.TextOut(300, y, QStringLiteral("Camera %1 motion").arg(1 + row % 16));
            c.Text({600, y, 750, y + 16}, PgxTextRight, QStringLiteral("%1 s").arg(row * 3.25, 0, 'f', 2));
            c.Line(40, y + 15, 750, y + 15);
        }
        QImage pic(64, 48, QImage::Format_ARGB32);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                pic.setPixel(x, y, qRgb(x * 4, y * 5, (x ^ y) * 3));
        c.StretchDraw({650, 1040, 714, 1088}, pic);
        c.Text({0, 1090, 794, 1110}, PgxTextHCenter, QStringLiteral("Page 1"));
        return mf.Save();
    }();
    return bytes;
}

void SplayCompress(benchmark::State &state)
{
    const auto &page = PageBytes();
    size_t out = 0;
    for (auto _ : state) {
        auto code = PgxCompressBytes(page.data(), page.size());
        out = code.size();
        benchmark::DoNotOptimize(code.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
    state.counters["size_pct"] = 100.0 * double(out) / double(page.size());
}

void SplayExpand(benchmark::State &state)
{
    const auto &page = PageBytes();
    const auto code = PgxCompressBytes(page.data(), page.size());
    std::vector<uint8_t> out;
    for (auto _ : state) {
        PgxExpandBytes(code.data(), code.size(), page.size(), out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

void ZlibDeflate(benchmark::State &state)
{
    const auto &page = PageBytes();
    std::vector<uint8_t> out(compressBound(uLong(page.size())));
    uLongf len = 0;
    for (auto _ : state) {
        len = uLongf(out.size());
        compress2(out.data(), &len, page.data(), uLong(page.size()), Z_DEFAULT_COMPRESSION);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
    state.counters["size_pct"] = 100.0 * double(len) / double(page.size());
}

void ZlibInflate(benchmark::State &state)
{
    const auto &page = PageBytes();
    std::vector<uint8_t> code(compressBound(uLong(page.size())));
    uLongf codeLen = uLongf(code.size());
    compress2(code.data(), &codeLen, page.data(), uLong(page.size()), Z_DEFAULT_COMPRESSION);
    std::vector<uint8_t> out(page.size());
    for (auto _ : state) {
        uLongf len = uLongf(out.size());
        uncompress(out.data(), &len, code.data(), codeLen);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

void Memcpy(benchmark::State &state)
{
    const auto &page = PageBytes();
    std::vector<uint8_t> out(page.size());
    for (auto _ : state) {
        std::memcpy(out.data(), page.data(), page.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
}

} // namespace

BENCHMARK(SplayCompress);
BENCHMARK(SplayExpand);
BENCHMARK(ZlibDeflate);
BENCHMARK(ZlibInflate);
BENCHMARK(Memcpy);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    CounterCollector collector("bytes_per_second");
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto mb = [&](const char *name) { return collector.values[name] / 1e6; };
    std::printf("\npage of %zu bytes                 ours MB/s  reference MB/s  ours/reference\n", PageBytes().size());
    const struct {
        const char *ours, *ref, *label;
    } rows[] = {
        {"SplayCompress", "ZlibDeflate", "compress vs zlib deflate  "},
        {"SplayExpand", "ZlibInflate", "expand vs zlib inflate    "},
        {"SplayCompress", "Memcpy", "compress vs memcpy        "},
        {"SplayExpand", "Memcpy", "expand vs memcpy          "},
    };
    for (const auto &r : rows) {
        if (mb(r.ours) > 0 && mb(r.ref) > 0)
            std::printf("%s  %10.1f  %14.1f  %14.4g\n", r.label, mb(r.ours), mb(r.ref), mb(r.ours) / mb(r.ref));
    }
    benchmark::Shutdown();
    return 0;
}
