#pragma once
// Adaptive prefix code kept in a semi-splaying tree: the page compression of the page store.
// Encoder and decoder start from the same complete tree of 513 nodes and splay it the same
// way after every byte, so no table travels with the code. The code has no end marker: the
// reader must know how many bytes to expand.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace strandel {

class TPgxCompress
{
public:
    // Where the encoder puts whole bytes and the decoder gets them. The page store plugs its
    // stream in; the plain-buffer helpers below use a vector and a span.
    class ByteSink
    {
    public:
        virtual ~ByteSink() = default;
        virtual void PutByte(uint8_t b) = 0;
    };
    class ByteSource
    {
    public:
        virtual ~ByteSource() = default;
        // False at the end of the input.
        virtual bool GetByte(uint8_t &b) = 0;
    };

    explicit TPgxCompress(ByteSink *sink);     // compressing
    explicit TPgxCompress(ByteSource *source); // expanding
    // Flushes the last partial byte of an encoder (Finish does it earlier).
    ~TPgxCompress();
    TPgxCompress(const TPgxCompress &) = delete;
    TPgxCompress &operator=(const TPgxCompress &) = delete;

    void Compress(uint8_t b);
    // False when the input ends inside a code; b is then left unchanged.
    bool Expand(uint8_t &b);
    // Writes the last partial byte now (unused high bits zero); nothing when the code ended on a
    // byte boundary.
    void Finish();

private:
    void InitializeSplay();
    void Splay(int b);

    int m_bitPos = 0;
    bool m_compressing = false;
    uint8_t m_inByte = 0;
    uint8_t m_outByte = 0;
    ByteSink *m_sink = nullptr;
    ByteSource *m_source = nullptr;
    uint16_t m_left[256];
    uint16_t m_right[256];
    uint8_t m_up[513]; // parent of nodes 1..512 (index 0 unused)
};

// Whole-buffer helpers.
std::vector<uint8_t> PgxCompressBytes(const uint8_t *data, size_t size);
// Expands exactly count bytes; false (out holds what was expanded) when the code ends early.
// consumed, when given, receives how many code bytes the expansion used.
bool PgxExpandBytes(const uint8_t *code, size_t codeSize, size_t count, std::vector<uint8_t> &out,
                    size_t *consumed = nullptr);

} // namespace strandel
