#include "report/pages/splay.h"

namespace strandel {

TPgxCompress::TPgxCompress(ByteSink *sink) : m_compressing(true), m_sink(sink)
{
    InitializeSplay();
    m_bitPos = 0;
}

TPgxCompress::TPgxCompress(ByteSource *source) : m_compressing(false), m_source(source)
{
    InitializeSplay();
    // The first Expand reads a byte at once.
    m_bitPos = 7;
}

TPgxCompress::~TPgxCompress()
{
    Finish();
}

void TPgxCompress::Finish()
{
    if (m_compressing && m_bitPos != 0) {
        m_sink->PutByte(m_outByte);
        m_bitPos = 0;
        m_outByte = 0;
    }
}

void TPgxCompress::InitializeSplay()
{
    // The complete binary tree of nodes 0..512 in breadth-first order: inner nodes 0..255,
    // leaf 256 + b for byte b, leaf 512 for no byte.
    m_up[0] = 0;
    for (int i = 1; i <= 512; ++i)
        m_up[i] = uint8_t((i - 1) / 2);
    for (int i = 0; i < 256; ++i) {
        m_left[i] = uint16_t(2 * i + 1);
        m_right[i] = uint16_t(2 * i + 2);
    }
}

void TPgxCompress::Splay(int b)
{
    int a = b + 256;
    do {
        int c = m_up[a];
        if (c == 0) {
            a = 0;
        } else {
            int d = m_up[c];
            int s = m_left[d];
            if (c == s) {
                s = m_right[d];
                m_right[d] = uint16_t(a);
            } else {
                m_left[d] = uint16_t(a);
            }
            if (m_left[c] == a)
                m_left[c] = uint16_t(s);
            else
                m_right[c] = uint16_t(s);
            m_up[a] = uint8_t(d);
            m_up[s] = uint8_t(c);
            a = d;
        }
    } while (a != 0);
}

void TPgxCompress::Compress(uint8_t b)
{
    // The path is collected leaf end first, then sent root end first.
    bool stack[257];
    int sp = 0;
    int a = b + 256;
    do {
        int u = m_up[a];
        stack[sp++] = m_right[u] == a;
        a = u;
    } while (a != 0);
    while (sp > 0) {
        if (stack[--sp])
            m_outByte = uint8_t(m_outByte | (1u << m_bitPos));
        if (m_bitPos == 7) {
            m_sink->PutByte(m_outByte);
            m_bitPos = 0;
            m_outByte = 0;
        } else {
            ++m_bitPos;
        }
    }
    Splay(b);
}

bool TPgxCompress::Expand(uint8_t &b)
{
    int a = 0;
    do {
        if (m_bitPos == 7) {
            if (!m_source->GetByte(m_inByte))
                return false;
            m_bitPos = 0;
        } else {
            ++m_bitPos;
        }
        a = (m_inByte >> m_bitPos) & 1 ? m_right[a] : m_left[a];
    } while (a < 256);
    // Leaf 512 stands for no byte; the encoder never reaches it, so a stream that does is bad.
    if (a > 511)
        return false;
    Splay(a - 256);
    b = uint8_t(a - 256);
    return true;
}

namespace {

struct VectorSink : TPgxCompress::ByteSink {
    std::vector<uint8_t> *out;
    void PutByte(uint8_t b) override { out->push_back(b); }
};

struct SpanSource : TPgxCompress::ByteSource {
    const uint8_t *p;
    const uint8_t *end;
    bool GetByte(uint8_t &b) override
    {
        if (p == end)
            return false;
        b = *p++;
        return true;
    }
};

} // namespace

std::vector<uint8_t> PgxCompressBytes(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> out;
    out.reserve(size);
    VectorSink sink;
    sink.out = &out;
    {
        TPgxCompress c(&sink);
        for (size_t i = 0; i < size; ++i)
            c.Compress(data[i]);
    }
    return out;
}

bool PgxExpandBytes(const uint8_t *code, size_t codeSize, size_t count, std::vector<uint8_t> &out,
                    size_t *consumed)
{
    out.clear();
    // Every byte costs at least one bit, so more than 8 bytes per code byte cannot be there.
    if (count / 8 > codeSize)
        return false;
    out.reserve(count);
    SpanSource src;
    src.p = code;
    src.end = code + codeSize;
    TPgxCompress e(&src);
    for (size_t i = 0; i < count; ++i) {
        uint8_t b;
        if (!e.Expand(b))
            return false;
        out.push_back(b);
    }
    if (consumed)
        *consumed = size_t(src.p - code);
    return true;
}

} // namespace strandel
