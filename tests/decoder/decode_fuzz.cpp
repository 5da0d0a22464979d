// libFuzzer target: any input cut into frames as a stream is, every frame decoded by a small and
// a full-size instance and by one set up at the size the layer header names, as the viewer's
// host does; so B-pictures and video packets are reached from their seeds.
#include "instance.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using strandel::lumaset::test::Instance;
using strandel::lumaset::test::SplitFrames;

// An RGB instance with its picture, left as initialisation set it (not selected); its buffers are
// those of its first size, so it can be set up again at any size up to that.
struct FuzzInstance {
    Instance inst;
    std::vector<uint8_t> out;

    FuzzInstance(int w, int h) : inst(w, h, OutputRgb24, 0, CodecMpeg4, nullptr), out(size_t(w) * size_t(h) * 3) {}

    void Decode(const uint8_t *data, size_t size) { inst.Decode(data, size, out.data(), inst.params().width); }

    // Sets the instance up at the size the frame's layer header names, when that is one it serves.
    void FollowLayer(const uint8_t *data, size_t size)
    {
        int32_t probed = int32_t(size);
        if (Instance::Call(DecOptProbe, data, &probed) != DecodeOk)
            return;
        const int32_t w = probed >> 12, h = probed & 0xFFF;
        DecoderParams &p = inst.params();
        if (w <= 0 || h <= 0 || w > 720 || h > 576 || w % 16 || h % 16 || (w == p.width && h == p.height))
            return;
        p.width = w;
        p.height = h;
        int32_t fixed = 0;
        Instance::Call(DecOptInit, &p, &fixed);
    }
};

IntegrityParams integrity{};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FuzzInstance small(64, 48), large(720, 576), sized(720, 576);
    // The first byte picks the small instance's post-processing level.
    int32_t level = size ? data[0] % 101 : 0;
    Instance::Call(DecOptSelectInstance, &small.inst.params(), &integrity);
    Instance::Call(DecOptPostProcessing, &level, nullptr);
    int frames = 0;
    for (const auto &f : SplitFrames(std::vector<uint8_t>(data, data + size))) {
        if (++frames > 8)
            break;
        // Each frame as an exactly-sized heap block, so that the sanitizers see any read beyond it.
        auto copy = std::make_unique<uint8_t[]>(f.size() ? f.size() : 1);
        std::copy(f.begin(), f.end(), copy.get());
        small.Decode(copy.get(), f.size());
        large.Decode(copy.get(), f.size());
        sized.FollowLayer(copy.get(), f.size());
        sized.Decode(copy.get(), f.size());
    }
    return 0;
}
