// libFuzzer target for the two verifying paths: any input as one JPEG picture and as one MPEG-1/2
// picture, with checking on. The input and the output must come back untouched.
#include "instance.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using strandel::lumaset::test::Instance;

constexpr IntegrityParams kChecking{1, 0, {}};

struct FuzzInstance {
    Instance inst;
    std::vector<uint8_t> out;

    FuzzInstance(int32_t codec, int w, int h)
        : inst(w, h, OutputYv12, 0, codec, &kChecking), out(size_t(w) * size_t(h) * 3 / 2, 0x5A)
    {
    }

    void Decode(const uint8_t *data, size_t size)
    {
        inst.Decode(data, size, out.data(), inst.params().width);
        for (uint8_t b : out)
            if (b != 0x5A)
                std::abort();
        const int32_t error = inst.lastFrame().error;
        if (error != 0 && error != 1)
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
