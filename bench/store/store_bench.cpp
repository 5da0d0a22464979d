// The recording store: appending records, and stepping through a recording as the file player
// does, against a plain buffered write of the same bytes.
#include "platform/endian.h"
#include "viewer/store/dvrstore.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace strandel;

std::string TempPath(const char *name) { return std::string(P_tmpdir) + "/strandel_bench_" + name; }

std::vector<uint8_t> Header(uint32_t size, int i)
{
    std::vector<uint8_t> h(128, 0);
    h[0] = uint8_t(1 + i % 16);
    const uint8_t t[7] = {20, 26, 12, 10, 12, uint8_t(i / 3600 % 60), uint8_t(i / 60 % 60)};
    std::memcpy(h.data() + 37, t, 7);
    PutLe32(h.data() + 76, size);
    return h;
}

void BM_AppendRecord(benchmark::State &state)
{
    const uint32_t size = uint32_t(state.range(0));
    const std::vector<uint8_t> data(size, 0x5A);
    const std::string path = TempPath("append.dvr");
    for (auto _ : state) {
        state.PauseTiming();
        DvrStoreContext w;
        StoreCreateFile(&w, path);
        state.ResumeTiming();
        for (int i = 0; i < 2000; ++i) {
            auto h = Header(size, i);
            StoreAppendRecord(&w, h.data(), data.data());
        }
        StoreCloseFile(&w);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2000 * (size + 128));
    std::remove(path.c_str());
}
BENCHMARK(BM_AppendRecord)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

// The floor: the same bytes through one stdio stream.
void BM_PlainWrite(benchmark::State &state)
{
    const uint32_t size = uint32_t(state.range(0));
    const std::vector<uint8_t> data(size + 128, 0x5A);
    const std::string path = TempPath("plain.bin");
    for (auto _ : state) {
        std::FILE *f = std::fopen(path.c_str(), "wb");
        for (int i = 0; i < 2000; ++i)
            std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2000 * (size + 128));
    std::remove(path.c_str());
}
BENCHMARK(BM_PlainWrite)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_NextRecord(benchmark::State &state)
{
    const uint32_t size = uint32_t(state.range(0));
    const std::string path = TempPath("read.dvr");
    {
        const std::vector<uint8_t> data(size, 0x5A);
        DvrStoreContext w;
        StoreCreateFile(&w, path);
        for (int i = 0; i < 2000; ++i) {
            auto h = Header(size, i);
            StoreAppendRecord(&w, h.data(), data.data());
        }
        StoreCloseFile(&w);
    }
    uint8_t header[128];
    std::vector<uint8_t> data(kMaxRecordBytes);
    const uint8_t start[7] = {20, 26, 12, 10, 12, 0, 0};
    int64_t records = 0;
    for (auto _ : state) {
        DvrStoreContext r;
        StoreOpenFile(&r, path);
        StoreSeekTime(&r, 0, start);
        JpegPlayControl(&r, 0, 0, 0);
        bool read = false;
        for (int result = StoreRecord; result != StoreEnd && result != StoreFailed;) {
            result = StoreNextRecord(&r, header, data.data(), &read);
            records += read;
        }
    }
    state.SetItemsProcessed(records);
    state.SetBytesProcessed(records * (size + 128));
    std::remove(path.c_str());
}
BENCHMARK(BM_NextRecord)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace
