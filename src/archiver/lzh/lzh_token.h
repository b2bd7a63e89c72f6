#pragma once
// What the LZ77 layer of the encoder hands to the block writer.

#include <cstdint>

namespace sheaf::archiver {

// One C symbol: a literal (c < 256) or a match of length c - 253 at
// distance d + 1.
struct LzhToken
{
    uint16_t c;
    uint16_t d;
};

constexpr int kLzhMinMatch = 3;
constexpr int kLzhMaxMatch = 256;

} // namespace sheaf::archiver
