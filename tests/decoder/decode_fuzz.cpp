// libFuzzer target: any input as one frame for a small and a full-size instance.
#include "instance.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using strandel::lumaset::test::Instance;

// An RGB instance with its picture, left as initialisation set it (not selected).
struct FuzzInstance {
    Instance inst;
    std::vector<uint8_t> out;

    FuzzInstance(int w, int h) : inst(w, h, OutputRgb24, 0, CodecMpeg4, nullptr), out(size_t(w) * size_t(h) * 3) {}

    void Decode(const uint8_t *data, size_t size) { inst.Decode(data, size, out.data(), inst.params().width); }
};

IntegrityParams integrity{};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FuzzInstance small(64, 48), large(720, 576);
    // The first byte picks the small instance's post-processing level.
    int32_t level = size ? data[0] % 101 : 0;
    Instance::Call(DecOptSelectInstance, &small.inst.params(), &integrity);
    Instance::Call(DecOptPostProcessing, &level, nullptr);
    small.Decode(data, size);
    large.Decode(data, size);
    return 0;
}
