#pragma once
// The LZ77 layer of levels 7 to 9: the matches of every length from a
// binary-tree match finder, and the cheapest path through them priced with
// Huffman code lengths. The parse also decides where blocks end.
//
// Input is parsed in segments of a few KiB. The matches of a segment are
// gathered once, and the cheapest path through it is found with the prices
// of the code the open block has so far. The segment joins the block when
// one table for both costs fewer bits than two (measured from the symbol
// counts), and starts a new block otherwise, parsed once more with prices
// of its own. So blocks end where the data changes, at a segment's grain.
// When a block ends (level 9), its first segments, priced with a code far
// from the block's final one, are parsed again with that code; the result
// is kept if it is smaller. A member of one block is parsed again whole, a
// few times, while it gets smaller.
//
// The same guarantees as the lazy parse: no distance before the member's
// first byte or beyond the window, no match past the last byte.

#include "archiver/lzh/lzh_block_writer.h"
#include "archiver/lzh/lzh_bt_match_finder.h"
#include "archiver/lzh/lzh_input_window.h"
#include "archiver/lzh/lzh_level.h"
#include "archiver/lzh/lzh_token.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sheaf::archiver {

class LzhOptimalParser
{
public:
    LzhOptimalParser(const LzhMethodParams &method, const LzhLevel &level);

    // Starts a new member: no history.
    void reset();

    // Where input goes (right after reset(), history first if any).
    LzhInputWindow &input() { return m_in; }

    // Turns buffered input into blocks: the tokens of each finished block
    // are appended to `out` and its end (an index into `out`) to
    // `blockEnds`. Without `final`, keeps look-ahead and the last block open;
    // with it, consumes everything and ends the last block.
    void parse(bool final, std::vector<LzhToken> &out, std::vector<size_t> &blockEnds);

private:
    struct Step
    {
        uint16_t length; // 1: a literal
        uint16_t d;
    };

    // Gathers the matches of a segment of about `count` bytes at the
    // input's position and parses it into m_path; returns its length.
    size_t parseSegment(size_t count);
    // Adds the segment just parsed to the open block, or ends the block
    // and opens a new one with it.
    void addSegment(size_t count, std::vector<LzhToken> &out, std::vector<size_t> &blockEnds);
    // The cheapest path through `count` positions of m_bytes from `first`
    // on, with the prices as they are.
    void choosePath(
        size_t first, size_t count, std::vector<LzhToken> &path, LzhSymbolCounts &counts);
    void priceFrom(const LzhCodeLengths &lengths, const LzhSymbolCounts &counts);
    void priceDefaults(size_t count);
    // Ends the open block; `wholeMember`: it is the member's only one.
    void endBlock(
        std::vector<LzhToken> &out, std::vector<size_t> &blockEnds, bool wholeMember = false);
    void slide();

    const LzhMethodParams m_method;
    const LzhLevel m_level;
    LzhInputWindow m_in;
    LzhBtMatchFinder m_finder;
    bool m_slid = false;

    // The open block and the segment after it: their bytes and matches
    // (the matches of m_bytes[i] start at m_matches.starts[i]).
    std::vector<uint8_t> m_bytes;
    LzhMatchList m_matches;
    size_t m_blockBytes = 0; // the block's part of both; the segment follows
    std::vector<LzhToken> m_block;
    // Where each segment after the first starts in the block, and how many
    // tokens the block had when it was parsed.
    struct Mark
    {
        size_t bytes, tokens;
        uint32_t tokensBefore;
    };
    std::vector<Mark> m_settled;
    LzhSymbolCounts m_blockCounts;
    LzhCodeLengths m_blockLengths; // the code the block would get now
    uint64_t m_blockBits = 0;

    // The last path found: the cheapest cost to its end from each position,
    // the first step of that path, and its tokens.
    std::vector<uint32_t> m_cost;
    std::vector<Step> m_step;
    std::vector<LzhToken> m_path; // of the segment
    LzhSymbolCounts m_pathCounts;
    std::vector<LzhToken> m_blockPath; // of the block, parsed again

    // Prices in bits: literals, match lengths (by length) and positions (by
    // P symbol, the extra bits included).
    uint32_t m_literalPrice[256] = {};
    uint32_t m_lengthPrice[kLzhMaxMatch + 1] = {};
    uint32_t m_positionPrice[kLzhPSymbols] = {};
    bool m_priced = false; // prices come from an earlier block of this member
    bool m_blockEnded = false; // a block of this member has ended
};

} // namespace sheaf::archiver
