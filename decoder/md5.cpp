// MD5 as RFC 1321 defines it, over 64-byte blocks, and HMAC on top of it.
#include "decoder/md5.h"

#include <cstring>

namespace strandel::lumaset {
namespace {

constexpr uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

inline uint32_t Rotl(uint32_t x, int n) { return x << n | x >> (32 - n); }

// The four rounds written out: the loop with a switch per step costs three times as much.
#define MD5_STEP(f, a, b, c, d, k, s, i) a = b + Rotl(a + f(b, c, d) + x[k] + kT[i], s)
#define MD5_F(b, c, d) (d ^ (b & (c ^ d)))
#define MD5_G(b, c, d) (c ^ (d & (b ^ c)))
#define MD5_H(b, c, d) (b ^ c ^ d)
#define MD5_I(b, c, d) (c ^ (b | ~d))

void Block(uint32_t h[4], const uint8_t *p)
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 | uint32_t(p[4 * i + 2]) << 16 |
               uint32_t(p[4 * i + 3]) << 24;
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (int i = 0; i < 16; i += 4) {
        MD5_STEP(MD5_F, a, b, c, d, i, 7, i);
        MD5_STEP(MD5_F, d, a, b, c, i + 1, 12, i + 1);
        MD5_STEP(MD5_F, c, d, a, b, i + 2, 17, i + 2);
        MD5_STEP(MD5_F, b, c, d, a, i + 3, 22, i + 3);
    }
    for (int i = 16; i < 32; i += 4) {
        MD5_STEP(MD5_G, a, b, c, d, (5 * i + 1) & 15, 5, i);
        MD5_STEP(MD5_G, d, a, b, c, (5 * (i + 1) + 1) & 15, 9, i + 1);
        MD5_STEP(MD5_G, c, d, a, b, (5 * (i + 2) + 1) & 15, 14, i + 2);
        MD5_STEP(MD5_G, b, c, d, a, (5 * (i + 3) + 1) & 15, 20, i + 3);
    }
    for (int i = 32; i < 48; i += 4) {
        MD5_STEP(MD5_H, a, b, c, d, (3 * i + 5) & 15, 4, i);
        MD5_STEP(MD5_H, d, a, b, c, (3 * (i + 1) + 5) & 15, 11, i + 1);
        MD5_STEP(MD5_H, c, d, a, b, (3 * (i + 2) + 5) & 15, 16, i + 2);
        MD5_STEP(MD5_H, b, c, d, a, (3 * (i + 3) + 5) & 15, 23, i + 3);
    }
    for (int i = 48; i < 64; i += 4) {
        MD5_STEP(MD5_I, a, b, c, d, (7 * i) & 15, 6, i);
        MD5_STEP(MD5_I, d, a, b, c, (7 * (i + 1)) & 15, 10, i + 1);
        MD5_STEP(MD5_I, c, d, a, b, (7 * (i + 2)) & 15, 15, i + 2);
        MD5_STEP(MD5_I, b, c, d, a, (7 * (i + 3)) & 15, 21, i + 3);
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d;
}

#undef MD5_STEP
#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

} // namespace

void Md5Init(Md5 &m)
{
    m.h[0] = 0x67452301, m.h[1] = 0xefcdab89, m.h[2] = 0x98badcfe, m.h[3] = 0x10325476;
    m.length = 0;
    m.used = 0;
}

void Md5Update(Md5 &m, const uint8_t *data, size_t n)
{
    if (n == 0)
        return;
    m.length += n;
    if (m.used) {
        const size_t take = n < 64 - m.used ? n : 64 - m.used;
        std::memcpy(m.pending + m.used, data, take);
        m.used += uint32_t(take);
        data += take;
        n -= take;
        if (m.used < 64)
            return;
        Block(m.h, m.pending);
        m.used = 0;
    }
    for (; n >= 64; data += 64, n -= 64)
        Block(m.h, data);
    if (n)
        std::memcpy(m.pending, data, n);
    m.used = uint32_t(n);
}

void Md5Final(Md5 &m, uint8_t out[16])
{
    const uint64_t bits = m.length * 8;
    uint8_t pad[72] = {0x80};
    const size_t padLength = (m.used < 56 ? 56 : 120) - m.used;
    for (int i = 0; i < 8; ++i)
        pad[padLength + size_t(i)] = uint8_t(bits >> (8 * i));
    Md5Update(m, pad, padLength + 8);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = uint8_t(m.h[i] >> (8 * j));
}

void HmacMd5Raw(const uint8_t *key, size_t keyLength, const uint8_t *message, size_t n, uint8_t out[16])
{
    uint8_t k[64] = {};
    if (keyLength > 64) {
        Md5 m;
        Md5Init(m);
        Md5Update(m, key, keyLength);
        Md5Final(m, k);
    } else if (keyLength) {
        std::memcpy(k, key, keyLength);
    }
    uint8_t pad[64], inner[16];
    for (int i = 0; i < 64; ++i)
        pad[i] = k[i] ^ 0x36;
    Md5 m;
    Md5Init(m);
    Md5Update(m, pad, 64);
    Md5Update(m, message, n);
    Md5Final(m, inner);
    for (int i = 0; i < 64; ++i)
        pad[i] = k[i] ^ 0x5C;
    Md5Init(m);
    Md5Update(m, pad, 64);
    Md5Update(m, inner, 16);
    Md5Final(m, out);
}

} // namespace strandel::lumaset
