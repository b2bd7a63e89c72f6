#pragma once
// Writes LZH blocks: token count, the T/C/P code tables and the tokens, in
// the form every reader we test accepts (complete tables, the single-symbol
// form for a table with one used symbol, runs of zero lengths that never
// pass the listed count). Also tells a block's exact size from its symbol
// counts alone, for the parse that decides where blocks end.

#include "archiver/lzh/lzh_bit_writer.h"
#include "archiver/lzh/lzh_format.h"
#include "archiver/lzh/lzh_token.h"

#include <array>
#include <bit>
#include <span>

namespace sheaf::archiver {

struct LzhMethodParams
{
    int windowBits; // 13, 15, 16
    int positionSymbols; // NP: 14, 16, 17
    int positionCountBits; // PBIT: 4, 5, 5
};

constexpr int kLzhPSymbols = 17; // the largest NP (-lh7-)

// P symbol of d = distance - 1: its bit length; d's low p - 1 bits follow
// the code when p >= 2.
inline int lzhPositionSymbol(unsigned d)
{
    return int(std::bit_width(d));
}

// How often each C and P symbol occurs in a block.
struct LzhSymbolCounts
{
    std::array<uint32_t, kLzhCodeSymbols> c {};
    std::array<uint32_t, kLzhPSymbols> p {};
    uint32_t tokens = 0;

    void add(LzhToken t)
    {
        ++c[t.c];
        if (t.c >= 256)
            ++p[size_t(lzhPositionSymbol(t.d))];
        ++tokens;
    }
    // All of `tokens`, two tables in turn: a run of one symbol would
    // otherwise wait on one counter's increment after another.
    void add(std::span<const LzhToken> tokens);
    void add(const LzhSymbolCounts &o)
    {
        for (size_t i = 0; i < c.size(); ++i)
            c[i] += o.c[i];
        for (size_t i = 0; i < p.size(); ++i)
            p[i] += o.p[i];
        tokens += o.tokens;
    }
};

// A block of 1..65535 tokens.
void writeLzhBlock(
    LzhBitWriter &bits, std::span<const LzhToken> tokens, const LzhMethodParams &method);

// The code lengths of a block's C and P symbols (0: unused, or the only
// symbol of its table, whose code has no bits).
struct LzhCodeLengths
{
    std::array<uint8_t, kLzhCodeSymbols> c {};
    std::array<uint8_t, kLzhPSymbols> p {};
};

// The bits writeLzhBlock writes for tokens with these counts (1..65535),
// and the code lengths it would use.
uint64_t lzhBlockBits(const LzhSymbolCounts &counts, const LzhMethodParams &method,
    LzhCodeLengths *lengths = nullptr);

// Ends a stream with its last block (1..65535 tokens) and zero padding to a
// byte. The block stays whole when every reader reads its end: it is at
// least 64 bits long, each code has at least the bits its reader peeks for
// (10, or the table's longest code if shorter) from its start to the end of
// the padding, and a last code of no bits has padding after it. Otherwise
// its last token goes into the trailer block after it.
void writeLzhLastBlock(
    LzhBitWriter &bits, std::span<const LzhToken> tokens, const LzhMethodParams &method);

// The trailer block: the stream's last token alone, coded with 0-bit codes
// after a complete unused T table, and never ending on a byte boundary.
// This keeps the end of the stream readable by the decoders that look ahead
// past the last code or that want 64 bits at the start of every block.
void writeLzhTrailerBlock(LzhBitWriter &bits, LzhToken last, const LzhMethodParams &method);

} // namespace sheaf::archiver
