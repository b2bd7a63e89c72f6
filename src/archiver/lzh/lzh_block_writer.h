#pragma once
// Writes LZH blocks: token count, the T/C/P code tables and the tokens, in
// the form every reader we test accepts (complete tables, the single-symbol
// form for a table with one used symbol, runs of zero lengths that never
// pass the listed count).

#include "archiver/lzh/lzh_bit_writer.h"
#include "archiver/lzh/lzh_match_finder.h"

#include <span>

namespace sheaf::archiver {

struct LzhMethodParams
{
    int windowBits; // 13, 15, 16
    int positionSymbols; // NP: 14, 16, 17
    int positionCountBits; // PBIT: 4, 5, 5
};

// A block of 1..65535 tokens.
void writeLzhBlock(
    LzhBitWriter &bits, std::span<const LzhToken> tokens, const LzhMethodParams &method);

// The final block: the stream's last token alone, coded with 0-bit codes
// after a complete unused T table, and never ending on a byte boundary.
// This keeps the end of the stream readable by the decoders that look ahead
// past the last code or that want 64 bits at the start of every block.
void writeLzhTrailerBlock(LzhBitWriter &bits, LzhToken last, const LzhMethodParams &method);

} // namespace sheaf::archiver
