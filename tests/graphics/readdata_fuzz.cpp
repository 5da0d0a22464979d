// Fuzz entry for TBitmap32::ReadData. Built as a libFuzzer target with clang (a broken rule
// traps); in the unit tests a fixed-seed mutation run checks the same rule case by case.
#include <cstddef>
#include <cstdint>

#include <string>

#include <QBuffer>

#include "graphics/rx32.h"
#include "platform/endian.h"

namespace {

// What ReadData did wrong with these bytes, or nothing. The rule: a stream is taken exactly when
// it holds a header of two sizes that are not negative and every pixel they announce (the inputs
// here are far below the size limit); what was taken is what the stream holds, read to its end.
std::string ReadDataFault(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    strandel::TBitmap32 bmp;
    bool taken = true;
    try {
        bmp.ReadData(buffer);
    } catch (const strandel::ERx32Error &) {
        taken = false;
    }
    const int32_t w = size >= 8 ? int32_t(strandel::GetLe32(data)) : -1;
    const int32_t h = size >= 8 ? int32_t(strandel::GetLe32(data + 4)) : -1;
    const uint64_t need = w >= 0 && h >= 0 ? uint64_t(w) * uint64_t(h) * 4 : UINT64_MAX;
    const bool fits = size >= 8 && need <= size - 8;
    if (taken != fits)
        return (taken ? "took a stream it cannot hold " : "refused a stream that holds its pixels ") + std::to_string(w) + "x" + std::to_string(h) + " in " + std::to_string(size);
    if (!taken)
        return {};
    if (need == 0)
        return bmp.Empty() ? std::string() : "an empty stream gave pixels";
    if (bmp.Width() != w || bmp.Height() != h)
        return "sizes differ from the header";
    if (buffer.pos() != qint64(8 + need))
        return "read other than the announced pixels";
    const size_t last = size_t(need / 4 - 1);
    if (bmp.Bits()[0] != strandel::GetLe32(data + 8) || bmp.Bits()[last] != strandel::GetLe32(data + 8 + last * 4))
        return "pixels differ from the stream";
    return {};
}

} // namespace

extern "C" int StrandelReadDataFuzz(const uint8_t *data, size_t size)
{
    if (!ReadDataFault(data, size).empty())
        __builtin_trap();
    return 0;
}

#ifdef STRANDEL_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return StrandelReadDataFuzz(data, size); }
#else
#include <random>
#include <vector>

#include <gtest/gtest.h>

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
        EXPECT_EQ(ReadDataFault(in.data(), in.size()), "") << "round " << round;
    }
}
#endif
