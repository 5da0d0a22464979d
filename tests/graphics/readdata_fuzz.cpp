// Fuzz entry for TBitmap32::ReadData. Built as a libFuzzer target with clang; in the
// unit tests a fixed-seed mutation run feeds it the same way.
#include <cstddef>
#include <cstdint>

#include <QBuffer>

#include "graphics/rx32.h"

extern "C" int StrandelReadDataFuzz(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    strandel::TBitmap32 bmp;
    try {
        bmp.ReadData(buffer);
    } catch (const strandel::ERx32Error &) {
        return 0;
    }
    // What was read must be exactly what the header announced.
    const int64_t pixels = int64_t(bmp.Width()) * bmp.Height();
    if (!bmp.Empty() && buffer.pos() != 8 + pixels * 4)
        __builtin_trap();
    return 0;
}

#ifdef STRANDEL_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return StrandelReadDataFuzz(data, size); }
#else
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "platform/endian.h"

TEST(ReadDataFuzz, MutatedStreamsNeverMisbehave)
{
    std::mt19937 rng(7);
    const int32_t sizes[] = {0, 1, 2, 3, -1, -2, 0x7FFFFFFF, INT32_MIN, 0x10000, 0x4000, 5};
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> in(8 + rng() % 64);
        strandel::PutLe32(in.data(), uint32_t(sizes[rng() % std::size(sizes)]));
        strandel::PutLe32(in.data() + 4, uint32_t(sizes[rng() % std::size(sizes)]));
        for (size_t i = 8; i < in.size(); ++i)
            in[i] = uint8_t(rng());
        if (rng() % 4 == 0)
            in[rng() % in.size()] ^= uint8_t(1u << (rng() % 8));
        in.resize(rng() % (in.size() + 1));
        StrandelReadDataFuzz(in.data(), in.size());
    }
}
#endif
