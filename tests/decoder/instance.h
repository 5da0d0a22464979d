#pragma once
// A decoding instance with its buffers, and the stream helpers around it. Plain C++ without Qt, so
// that the fuzz targets and the benchmark share it with the tests.
#include "decoder/entry.h"
#include "decoder/lumaset.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace strandel::lumaset::test {

inline std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Cuts an elementary stream into frames: a frame ends at the first start code after its VOP.
inline std::vector<std::vector<uint8_t>> SplitFrames(const std::vector<uint8_t> &s)
{
    std::vector<std::vector<uint8_t>> frames;
    size_t begin = 0;
    bool seenVop = false;
    for (size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] || s[i + 1] || s[i + 2] != 1)
            continue;
        if (seenVop) {
            frames.emplace_back(s.begin() + long(begin), s.begin() + long(i));
            begin = i;
            seenVop = false;
        }
        if (s[i + 3] == 0xB6)
            seenVop = true;
        i += 3;
    }
    if (begin < s.size())
        frames.emplace_back(s.begin() + long(begin), s.end());
    return frames;
}

struct AlignedFree {
    void operator()(uint8_t *p) const { std::free(p); }
};
using Buffer = std::unique_ptr<uint8_t[], AlignedFree>;

inline Buffer Allocate(size_t size)
{
    return Buffer(static_cast<uint8_t *>(std::aligned_alloc(64, (size + 63) / 64 * 64)));
}

// Checking off: what a fresh instance is selected with unless a caller asks for more.
inline constexpr IntegrityParams kNoChecking{};

// One decoding instance with every buffer it needs, driven through the decoder entry. It is made
// the current instance with the given checking; with none it is left as initialisation set it.
class Instance {
public:
    Instance(int width, int height, int format = OutputYv12, int32_t fixed = 0, int32_t codec = CodecMpeg4,
             const IntegrityParams *checking = &kNoChecking)
    {
        params_.codec_type = codec;
        params_.width = width;
        params_.height = height;
        params_.output_format = format;
        int32_t sizes[7] = {};
        ok_ = Call(DecOptBufferSizes, &params_, sizes) == DecodeOk;
        for (int i = 0; i < 7; ++i) {
            sizes_[i] = sizes[i];
            buffers_[i] = Allocate(size_t(sizes[i] > 0 ? sizes[i] : 1));
        }
        for (int i = 0; i < 3; ++i)
            params_.frame_buffer[i] = buffers_[i].get();
        params_.display_buffer = buffers_[3].get();
        params_.state = buffers_[4].get();
        params_.tables = buffers_[5].get();
        params_.stream = buffers_[6].get();
        ok_ = ok_ && Call(DecOptInit, &params_, &fixed) == DecodeOk;
        if (checking)
            ok_ = ok_ && Call(DecOptSelectInstance, &params_, checking) == DecodeOk;
    }

    // Released before its blocks are freed, as a host does.
    ~Instance() { Call(DecOptRelease, nullptr, nullptr); }
    Instance(const Instance &) = delete;
    Instance &operator=(const Instance &) = delete;

    static int32_t Call(intptr_t opt, const void *p1, const void *p2)
    {
        return DecodeEntry(1, opt, reinterpret_cast<intptr_t>(p1), reinterpret_cast<intptr_t>(p2));
    }

    // Decodes one frame into out (sized for the format); returns the entry's result.
    int32_t Decode(const uint8_t *bits, size_t length, uint8_t *out, int32_t pitch, int32_t render = 1)
    {
        frame_ = DecoderFrame{out, bits, int32_t(length), render, pitch, -1};
        return Call(DecOptDecode, &frame_, &params_);
    }
    int32_t Decode(const std::vector<uint8_t> &bits, uint8_t *out, int32_t pitch, int32_t render = 1)
    {
        return Decode(bits.data(), bits.size(), out, pitch, render);
    }

    bool ok() const { return ok_; }
    DecoderParams &params() { return params_; }
    const DecoderFrame &lastFrame() const { return frame_; }
    int32_t size(int i) const { return sizes_[i]; }

private:
    DecoderParams params_{};
    DecoderFrame frame_{};
    int32_t sizes_[7] = {};
    Buffer buffers_[7];
    bool ok_ = false;
};

} // namespace strandel::lumaset::test
