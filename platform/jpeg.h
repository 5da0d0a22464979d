#pragma once
// A small wrapper over libjpeg-turbo: whole-picture decode into 32-bit pixels and encode from them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace strandel {

struct JpegImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0xAARRGGBB, alpha 0xFF, rows top-down
};

// Decodes a baseline or progressive JPEG. On failure returns false, leaves out unchanged and
// tells why in *error.
bool JpegDecode(const uint8_t *data, size_t size, JpegImage &out, std::string *error = nullptr);
// Decodes into memory the caller provides once the size is known: target(width, height, &stride)
// returns the first row of a width x height area of 0xAARRGGBB pixels, rows stride pixels apart,
// or null to refuse the picture. Rows already written stay when decoding fails later.
// A reduction of 2, 4 or 8 decodes at that fraction of the size (each side rounded up), which
// costs a fraction of the full decode; 1 (or any other value) decodes at full size.
using JpegTarget = std::function<uint32_t *(int width, int height, size_t *stride)>;
bool JpegDecodeInto(const uint8_t *data, size_t size, const JpegTarget &target, std::string *error = nullptr,
                    int reduction = 1);
// Reads only the header: picture size.
bool JpegReadSize(const uint8_t *data, size_t size, int *width, int *height);
// Encodes 0xAARRGGBB pixels (alpha ignored) at quality 1..100.
bool JpegEncode(const uint32_t *pixels, int width, int height, int stride, int quality,
                std::vector<uint8_t> &out, std::string *error = nullptr);

} // namespace strandel
