#pragma once
// Explicit byte-order helpers: every wire and file layout is read and written through these,
// never by casting structs over buffers.
#include <cstddef>
#include <cstdint>

namespace strandel {

inline uint16_t GetLe16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t GetLe32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t GetLe64(const uint8_t *p) { return uint64_t(GetLe32(p)) | (uint64_t(GetLe32(p + 4)) << 32); }
inline uint16_t GetBe16(const uint8_t *p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t GetBe32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void PutLe16(uint8_t *p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void PutLe32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
inline void PutLe64(uint8_t *p, uint64_t v) { PutLe32(p, uint32_t(v)); PutLe32(p + 4, uint32_t(v >> 32)); }
inline void PutBe16(uint8_t *p, uint16_t v) { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
inline void PutBe32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
}

} // namespace strandel
