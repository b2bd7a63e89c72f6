#pragma once
// Whether a member is deflated or stored. Deflate grows data that does not
// compress (already compressed pictures, archives), so such members are
// stored. Deciding must cost far less than compressing, so it starts from
// the order-0 entropy of the member's first block:
//   - when Huffman coding alone would clearly shrink the block (its entropy
//     plus the size of a code tree stays below 90 %), the member is deflated;
//   - otherwise a small member (all of it in the first block) is deflated in
//     memory and stored when that does not shrink it;
//   - a larger one is deflated when its entropy is below kRandomBitsPerByte,
//     otherwise it is deflated once in full to count its size and stored
//     when that does not shrink it.

#include "archiver/source_file.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sheaf::archiver {

enum class StoreDecision { Deflate, Store, TryWhole };

// Members up to this size are decided exactly, in memory.
constexpr size_t kExactDecisionLimit = 16 * 1024;
// What a dynamic Huffman block header costs at most, roughly.
constexpr double kHuffmanTreeBytes = 200;
// Order-0 entropy above which a block counts as incompressible.
constexpr double kRandomBitsPerByte = 7.9;

// `size` bytes of the member's start; `whole` when that is all of it.
StoreDecision decideFromSample(const uint8_t *data, size_t size, bool whole);
// Deflates the whole source (from its current position) and compares.
// `block` is scratch space.
StoreDecision decideFromWholeFile(
    SourceFile &source, std::vector<uint8_t> &block, const std::atomic<bool> *cancel);

} // namespace sheaf::archiver
