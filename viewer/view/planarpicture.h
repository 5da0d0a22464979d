#pragma once
// A decoded MPEG picture as the decoder keeps it (4:2:0): the luma plane, then the V and the U
// plane, each row as wide as its plane. A third of the bytes of its 32-bit form.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace strandel {

struct PlanarPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;

    bool IsNull() const { return width <= 0 || height <= 0; }
    void Resize(int w, int h)
    {
        width = w, height = h;
        bytes.resize(size_t(w) * size_t(h) * 3 / 2);
    }
    const uint8_t *Y(int row) const { return bytes.data() + size_t(row) * size_t(width); }
    const uint8_t *V(int row) const
    {
        return bytes.data() + size_t(width) * size_t(height) + size_t(row / 2) * size_t(width / 2);
    }
    const uint8_t *U(int row) const { return V(row) + size_t(width / 2) * size_t(height / 2); }
};

} // namespace strandel
