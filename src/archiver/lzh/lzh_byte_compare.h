#pragma once
// Unaligned loads and the common-prefix length that both match searches (the
// hash chains of the default levels and the top level's parse) use.

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace sheaf::archiver {

inline uint16_t load16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline uint64_t load64(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Length of the common prefix of a and b, at most `limit`. May read up to 7
// bytes past `limit` (the buffers are padded for that).
inline int commonLength(const uint8_t *a, const uint8_t *b, int limit)
{
    int len = 0;
    while (len < limit) {
        const uint64_t x = load64(a + len) ^ load64(b + len);
        if (x != 0) {
            len += __builtin_ctzll(x) >> 3;
            break;
        }
        len += 8;
    }
    return std::min(len, limit);
}

} // namespace sheaf::archiver
