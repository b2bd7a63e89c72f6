#pragma once
// The LZ77 layer of the LZH encoder: hash chains over a sliding buffer and a
// lazy parser. Input arrives in chunks; tokens come out as soon as enough
// look-ahead is buffered, so memory stays bounded whatever the file size.
//
// Guarantees the decoders rely on: a distance never reaches before the first
// byte of the member, never exceeds the window, and a match never runs past
// the last byte.

#include "archiver/lzh/lzh_byte_compare.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

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

// How hard the parser looks; chosen once per level.
struct LzhParserParams
{
    int goodLength; // with a previous match this long, search a quarter of the chain
    int maxLazy; // with a previous match this long, do not look for a better one
    int niceLength; // stop searching at a match this long
    int maxChain; // chain links followed per search
    int tooFar; // a 3-byte match farther than this is taken as literals
    bool optimal = false; // near-optimal parse (the highest level) instead of lazy matching
};

// The highest level; lzhParserParams() gives it the near-optimal parse.
constexpr int kLzhMaxLevel = 9;
// The default level.
constexpr int kLzhDefaultLevel = 6;

LzhParserParams lzhParserParams(int level, int windowBits);

class LzhMatchFinder
{
public:
    LzhMatchFinder(int windowBits, const LzhParserParams &params);

    // Starts a new member: no history.
    void reset();

    // Room for more input at the end of the buffer; 0 when parse() must
    // consume some first.
    size_t room() const { return m_capacity - m_end; }
    void append(const uint8_t *data, size_t size);
    // Right after reset(): `size` bytes (at most one window) that come
    // before the input in the member. Matches may reach back into them; they
    // make no tokens.
    void appendHistory(const uint8_t *data, size_t size);

    // Turns buffered input into tokens. Without `final`, keeps enough
    // look-ahead for the longest match; with it, consumes everything.
    // With the near-optimal parse, the end of every segment of input (an
    // index into `out`) is appended to `blockEnds`: a block may end there.
    void parse(bool final, std::vector<LzhToken> &out, std::vector<size_t> &blockEnds);

private:
    static constexpr int32_t kNil = -1;
    static constexpr size_t kLookAhead = kLzhMaxMatch + 1;
    static constexpr size_t kPadding = 8; // over-read room for 8-byte compares

    uint32_t hashAt(size_t pos) const;
    void insert(size_t pos);
    // The one hash-chain walk of both parses: follows at most `chain` links
    // from `candidate` within the window and calls onLonger(length, position)
    // for each match at `pos` longer than every one before it (at least
    // `best` + 1 bytes, at most `maxLength`), stopping at niceLength. Returns
    // the longest length found, or `best`.
    template<class OnLonger>
    int walkChain(
        size_t pos, int32_t candidate, int best, int chain, int maxLength, OnLonger onLonger) const;
    int longestMatch(
        size_t pos, int32_t candidate, int previousLength, int maxLength, int &distance) const;
    void slide();
    void hashHistory();
    void parseLazy(bool final, std::vector<LzhToken> &out);

    // Near-optimal parse (lzh_optimal_parse.cpp).
    struct Match
    {
        uint16_t length; // 1: a literal (in a path step)
        uint16_t d; // distance - 1
    };
    void parseOptimal(bool final, std::vector<LzhToken> &out, std::vector<size_t> &blockEnds);
    void collectMatches(size_t count);
    int allMatches(size_t pos, int32_t candidate, int maxLength, Match *found) const;
    void chooseTokens(size_t count);
    void priceFrom(const std::vector<LzhToken> &tokens);
    void priceDefaults();

    const int m_windowBits;
    const size_t m_window;
    const LzhParserParams m_params;
    const int m_hashBits;
    const size_t m_capacity;

    std::vector<uint8_t> m_buffer;
    std::vector<int32_t> m_head;
    std::vector<int32_t> m_prev; // indexed by buffer position
    size_t m_pos = 0; // next byte to parse
    size_t m_end = 0; // bytes buffered
    size_t m_unhashed = 0; // history bytes at the start not in the hash chains yet
    bool m_slid = false; // the buffer slid in this member: reset() clears every head

    // Near-optimal parse state: the matches of the segment, the cheapest
    // path to each of its positions, and the prices in bits of the symbols.
    std::vector<Match> m_matches;
    std::vector<uint32_t> m_matchStart;
    std::vector<uint32_t> m_cost;
    std::vector<Match> m_step; // how the cheapest path reaches each position
    std::vector<LzhToken> m_segment;
    uint32_t m_cPrice[512] = {};
    uint32_t m_pPrice[32] = {};
    bool m_priced = false; // prices come from an earlier segment of this member

    // Lazy-parse state carried between parse() calls.
    bool m_pendingLiteral = false;
    int m_matchLength = kLzhMinMatch - 1;
    int m_matchDistance = 0;
};

template<class OnLonger>
inline int LzhMatchFinder::walkChain(
    size_t pos, int32_t candidate, int best, int chain, int maxLength, OnLonger onLonger) const
{
    const int nice = std::min(m_params.niceLength, maxLength);
    const int32_t lowest = pos > m_window ? int32_t(pos - m_window) : 0;
    const uint8_t *s = m_buffer.data() + pos;
    const uint16_t start = load16(s);
    uint16_t end = load16(s + best - 1);
    while (candidate >= lowest && chain-- > 0) {
        const uint8_t *m = m_buffer.data() + candidate;
        if (load16(m + best - 1) == end && load16(m) == start) {
            const int len = commonLength(m, s, maxLength);
            if (len > best) {
                best = len;
                onLonger(len, candidate);
                if (len >= nice)
                    break;
                end = load16(s + best - 1);
            }
        }
        candidate = m_prev[size_t(candidate)];
    }
    return best;
}

} // namespace sheaf::archiver
