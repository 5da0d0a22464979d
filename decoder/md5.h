#pragma once
// MD5 and HMAC-MD5 over caller buffers; no allocation.
#include <cstddef>
#include <cstdint>

namespace strandel::lumaset {

struct Md5 {
    uint32_t h[4];
    uint64_t length; // bytes hashed so far
    uint8_t pending[64];
    uint32_t used;   // bytes waiting in pending
};

void Md5Init(Md5 &m);
void Md5Update(Md5 &m, const uint8_t *data, size_t n);
void Md5Final(Md5 &m, uint8_t out[16]);

// HMAC-MD5 with a raw key of any length (keys above 64 bytes are hashed first).
void HmacMd5Raw(const uint8_t *key, size_t keyLength, const uint8_t *message, size_t n, uint8_t out[16]);

} // namespace strandel::lumaset
