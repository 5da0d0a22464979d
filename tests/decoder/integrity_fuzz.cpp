// libFuzzer target for the two verifying paths: any input as one JPEG picture and as one MPEG-1/2
// picture, with checking on. The input and the output must come back untouched.
#include "decoder/entry.h"
#include "decoder/lumaset.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct FuzzInstance {
    DecoderParams params{};
    std::vector<std::unique_ptr<uint64_t[]>> blocks;
    std::vector<uint8_t> out;

    FuzzInstance(int32_t codec, int w, int h)
    {
        using strandel::lumaset::DecodeEntry;
        params.codec_type = codec;
        params.width = w;
        params.height = h;
        params.output_format = OutputYv12;
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
        IntegrityParams ip{};
        ip.flags = 1;
        DecodeEntry(1, DecOptSelectInstance, intptr_t(&params), intptr_t(&ip));
        out.assign(size_t(w) * size_t(h) * 3 / 2, 0x5A);
    }

    void Decode(const uint8_t *data, size_t size)
    {
        DecoderFrame f{out.data(), data, int32_t(size), 1, params.width, 0};
        strandel::lumaset::DecodeEntry(1, DecOptDecode, intptr_t(&f), intptr_t(&params));
        for (uint8_t b : out)
            if (b != 0x5A)
                std::abort();
        if (f.error != 0 && f.error != 1)
            std::abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FuzzInstance jpeg(CodecJpeg, 64, 48), mpeg(CodecMpeg2, 64, 48);
    const std::vector<uint8_t> copy(data, data + size);
    jpeg.Decode(data, size);
    mpeg.Decode(data, size);
    if (size && std::memcmp(copy.data(), data, size) != 0)
        std::abort();
    return 0;
}
