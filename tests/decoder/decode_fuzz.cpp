// libFuzzer target: any input as one frame for a small and a full-size instance.
#include "decoder/entry.h"
#include "decoder/lumaset.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct FuzzInstance {
    DecoderParams params{};
    std::vector<std::unique_ptr<uint64_t[]>> blocks;
    std::vector<uint8_t> out;

    FuzzInstance(int w, int h)
    {
        using strandel::lumaset::DecodeEntry;
        params.codec_type = CodecMpeg4;
        params.width = w;
        params.height = h;
        params.output_format = OutputRgb24;
        int32_t sizes[7];
        DecodeEntry(1, DecOptBufferSizes, intptr_t(&params), intptr_t(sizes));
        for (int i = 0; i < 7; ++i)
            blocks.emplace_back(new uint64_t[size_t(sizes[i]) / 8 + 1]);
        uint8_t *p[7];
        for (int i = 0; i < 7; ++i)
            p[i] = reinterpret_cast<uint8_t *>(blocks[size_t(i)].get());
        params.frame_buffer[0] = p[0], params.frame_buffer[1] = p[1], params.frame_buffer[2] = p[2];
        params.display_buffer = p[3], params.state = p[4], params.tables = p[5], params.stream = p[6];
        DecodeEntry(1, DecOptInit, intptr_t(&params), 0);
        out.resize(size_t(w) * size_t(h) * 3);
    }

    void Decode(const uint8_t *data, size_t size)
    {
        DecoderFrame f{out.data(), data, int32_t(size), 1, params.width, 0};
        strandel::lumaset::DecodeEntry(1, DecOptDecode, intptr_t(&f), intptr_t(&params));
    }
};

IntegrityParams integrity{};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FuzzInstance small(64, 48), large(720, 576);
    // The first byte picks the small instance's post-processing level.
    int32_t level = size ? data[0] % 101 : 0;
    strandel::lumaset::DecodeEntry(1, DecOptSelectInstance, intptr_t(&small.params), intptr_t(&integrity));
    strandel::lumaset::DecodeEntry(1, DecOptPostProcessing, intptr_t(&level), 0);
    small.Decode(data, size);
    large.Decode(data, size);
    return 0;
}
