#pragma once
// Where an LZH member's stream may be taken up in the middle. Our writer
// joins chunks encoded on their own, each starting a new block with the
// window of input before it as history; it notes where each one starts, and
// the read-back decodes the pieces between such points on several threads.
// The decoder trusts none of it: see decodeLzhArchive.

#include <cstdint>
#include <vector>

namespace sheaf::archiver {

struct LzhRestartPoint
{
    uint64_t bit = 0; // a block starts at this bit of the member's packed data
    uint64_t output = 0; // after this many bytes of the member's data
    std::vector<uint8_t> history; // the last bytes of those (one window)
};

// Ascending; at most kMaxLzhRestartPoints, spread evenly over the member.
using LzhRestartPoints = std::vector<LzhRestartPoint>;
constexpr size_t kMaxLzhRestartPoints = 64;

} // namespace sheaf::archiver
