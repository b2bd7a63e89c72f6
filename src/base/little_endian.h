#pragma once
// Little-endian fields, as every archive format here stores its numbers.

#include <cstddef>
#include <cstdint>

namespace sheaf {

// The `bytes`-byte (at most 8) little-endian number at `p`.
inline uint64_t leField(const uint8_t *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}
inline uint16_t le16(const uint8_t *p)
{
    return uint16_t(leField(p, 2));
}
inline uint32_t le32(const uint8_t *p)
{
    return uint32_t(leField(p, 4));
}
inline uint64_t le64(const uint8_t *p)
{
    return leField(p, 8);
}

inline void putLeField(uint8_t *p, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
inline void putLe16(uint8_t *p, uint16_t v)
{
    putLeField(p, v, 2);
}
inline void putLe32(uint8_t *p, uint32_t v)
{
    putLeField(p, v, 4);
}
inline void putLe64(uint8_t *p, uint64_t v)
{
    putLeField(p, v, 8);
}

} // namespace sheaf
