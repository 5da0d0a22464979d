// Hostile audio input: received blocks of any size and content, and WAVE files of any shape.
// A libFuzzer entry under clang; the same entry runs on seeded random input in audio_tests.
#include "viewer/audio/imaadpcm.h"

#include <cstdint>
#include <cstring>
#include <vector>

static int StrandelAdpcmFuzz(const uint8_t *data, size_t size)
{
    // As a block: only 256 bytes with a step index up to 88 decode, and they fill every sample.
    int16_t samples[strandel::kImaSamplesPerBlock];
    const bool decoded = strandel::DecodeImaBlock(data, size, samples);
    if (decoded != (size == strandel::kImaBlockSize && data[2] <= strandel::kImaMaxStepIndex))
        __builtin_trap();
    strandel::AdpcmCodec codec;
    codec.OpenDecoder();
    uint8_t pcm[512];
    codec.Convert(data, size, pcm, sizeof pcm);
    // As a WAVE file: whatever is read is whole blocks out of the file.
    std::vector<uint8_t> file(data, data + size), blocks;
    uint32_t count = 0;
    if (strandel::ReadImaWav(file, blocks, count) &&
        (blocks.size() % strandel::kImaBlockSize != 0 || blocks.size() > file.size()))
        __builtin_trap();
    return 0;
}

#ifdef STRANDEL_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return StrandelAdpcmFuzz(data, size); }
#else
#include <gtest/gtest.h>

#include <random>

TEST(AdpcmFuzz, RandomBlocksAndWaveFiles)
{
    std::mt19937 rng(5);
    const std::vector<uint8_t> good = strandel::WriteImaWav(std::vector<uint8_t>(512, 0x42), 1010);
    for (int run = 0; run < 2000; ++run) {
        std::vector<uint8_t> in;
        if (run % 2 == 0) {
            in.resize(run % 4 == 0 ? strandel::kImaBlockSize : rng() % 600);
            for (auto &b : in)
                b = uint8_t(rng());
        } else {
            // A valid file with a few bytes spoiled or cut.
            in = good;
            for (int k = 0; k < 3; ++k)
                in[rng() % in.size()] = uint8_t(rng());
            in.resize(rng() % (in.size() + 1));
        }
        ASSERT_EQ(StrandelAdpcmFuzz(in.data(), in.size()), 0);
    }
}
#endif
