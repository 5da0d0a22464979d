// Fuzz entry for the `.dvr` reader: the input is a file; its first two bytes pick the channel,
// the direction and the fast factor. Built as a libFuzzer target with clang; in the unit tests
// a fixed-seed mutation run of a small recording feeds the same entry.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "viewer/store/dvrstore.h"

extern "C" int StrandelDvrFileFuzz(const uint8_t *data, size_t size)
{
    using namespace strandel;
    if (size < 3)
        return 0;
    std::vector<uint8_t> file(data + 2, data + size);
    // One record buffer for every input: a fresh one each time cost more than the reading.
    static std::vector<uint8_t> record(kMaxRecordBytes);
    DvrStoreContext ctx;
    ctx.stream = fmemopen(file.data(), file.size(), "rb");
    if (!ctx.stream || !StoreReadFileHeader(&ctx))
        return 0;
    const uint8_t time[kStoreTimeSize] = {20, 26, 12, 10, 12, 0, uint8_t(data[1] >> 2)};
    StoreSeekTime(&ctx, uint8_t(data[0] % 18), time);
    JpegPlayControl(&ctx, uint8_t(data[1] & 3), 0, (data[1] & 4) ? kPlayBackward : kPlayForward);
    uint8_t header[128];
    // Enough steps to cross a few units and blocks of a small file; more only repeat them.
    for (int i = 0; i < 64; ++i) {
        const int r = StoreNextRecord(&ctx, header, record.data());
        if (r == StoreFailed || r == StoreEnd)
            break;
    }
    return 0;
}

#ifdef STRANDEL_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return StrandelDvrFileFuzz(data, size); }
#else
#include "storetestutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace strandel {
namespace {

TEST(DvrFileFuzz, DamagedRecordingsNeverMisbehave)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("seed.dvr").toStdString();
    DvrStoreContext w;
    ASSERT_TRUE(StoreCreateFile(&w, path));
    for (int i = 0; i < 40; ++i) {
        test::TestRecord r;
        r.ch1 = uint8_t(1 + i % 3);
        r.time = test::TimeAt(i);
        r.data = test::RecordData(i, 60 + 10 * uint32_t(i % 4));
        auto h = test::RecordHeader(r);
        ASSERT_TRUE(StoreAppendRecord(&w, h.data(), r.data.data()));
    }
    ASSERT_TRUE(StoreCloseFile(&w));
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> seed{0, 0};
    seed.insert(seed.end(), std::istreambuf_iterator<char>(f), {});

    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        auto bytes = seed;
        const int hits = 1 + int(rng() % 16);
        for (int k = 0; k < hits; ++k)
            bytes[rng() % bytes.size()] = uint8_t(rng());
        if (rng() % 8 == 0)
            bytes.resize(2 + rng() % (bytes.size() - 2));
        StrandelDvrFileFuzz(bytes.data(), bytes.size());
    }
}

} // namespace
} // namespace strandel
#endif
