#pragma once
// The generated tables behind cp932.cpp (scripts/gen-cp932-table.py).

#include <cstddef>
#include <cstdint>

namespace sheaf::cp932 {

constexpr size_t kLeadCount = 60; // 0x81-0x9F, 0xE0-0xFC
constexpr size_t kTrailCount = 192; // 0x40-0xFF
constexpr unsigned kFirstTrail = 0x40;

struct EncodePair
{
    uint16_t unicode;
    uint16_t code;
};

extern const uint8_t kLeadBytes[kLeadCount];
// 0 where a code is not mapped.
extern const uint16_t kDecode[kLeadCount][kTrailCount];
// Sorted by unicode; the code Windows picks for each character.
extern const size_t kEncodeCount;
extern const EncodePair kEncode[];

} // namespace sheaf::cp932
