#pragma once
// Length-limited canonical Huffman codes for the LZH block tables. LZH
// decoders want every table complete (the Kraft sum exactly 1) and no code
// longer than 16 bits.

#include "archiver/lzh/lzh_format.h"

#include <cstdint>
#include <span>

namespace sheaf::archiver {

constexpr int kLzhMaxSymbols = 512; // the largest alphabet (C: 510)

// Code lengths (at most maxLength) for the `count` (at most kLzhMaxSymbols)
// symbols of `freq`; a symbol of frequency 0 gets length 0. Needs at least
// two used symbols (a table with one symbol is written in the single-symbol
// form instead).
void buildHuffmanLengths(const uint32_t *freq, int count, int maxLength, uint8_t *lengths);
// The same for several codes at once: lengths[0] for `freq` as it is, and
// lengths[k] for `freq` with adds[k - 1] added to every frequency above 0.
void buildHuffmanLengths(const uint32_t *freq, int count, int maxLength,
    std::span<uint8_t *const> lengths, std::span<const uint32_t> adds);

// Canonical codes from lengths: shorter codes first, then by symbol order.
void buildCanonicalCodes(const uint8_t *lengths, int count, uint16_t *codes);

} // namespace sheaf::archiver
