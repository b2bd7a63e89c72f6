// The near-optimal parse of the highest level. The input is cut into
// segments of 8 KiB, each of which ends a block or is joined to the next. For a
// segment, every position's matches are found once (for each length, the
// nearest distance that reaches it); then the cheapest path through the
// segment is found with the prices of the symbols, in bits, taken from the
// Huffman lengths of the previous segment. The path's own statistics then
// price the segment again, three times: the block's table is built from
// those tokens, so the last passes price with nearly the lengths it uses.
#include "archiver/lzh/lzh_byte_compare.h"
#include "archiver/lzh/lzh_huffman.h"
#include "archiver/lzh/lzh_match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace sheaf::archiver {

namespace {

// Segments are short so that blocks can follow the data: neighbouring
// segments are joined into one block where one table is cheaper than two
// (LzhEncoder). At most 65535 bytes, so that a segment fits one block.
constexpr size_t kSegment = 8192;
constexpr int kCSymbols = 510;
constexpr int kPSymbols = 18; // the most of any method (-lh7-: 17)
// A symbol without a code in the previous block. Priced below the longest
// codes: a parse that shuns new symbols never learns they are cheap.
constexpr uint32_t kUnusedPrice = 11;
// Parses of a segment priced with the previous parse's own lengths.
constexpr int kPasses = 3;
constexpr uint32_t kInfinite = std::numeric_limits<uint32_t>::max();

// P symbol of d = distance - 1.
inline int positionSymbol(unsigned d)
{
    return d == 0 ? 0 : int(std::bit_width(d));
}

inline uint32_t priceOf(uint8_t length)
{
    return length ? length : kUnusedPrice;
}

} // namespace

void LzhMatchFinder::priceDefaults()
{
    // A first guess for a member's first segment: literals near 8 bits,
    // short matches cheaper than long ones, near distances cheaper.
    for (int c = 0; c < 256; ++c)
        m_cPrice[c] = 8;
    for (int c = 256; c < kCSymbols; ++c)
        m_cPrice[c] = c - 256 < 8 ? 5 : c - 256 < 32 ? 7 : 9;
    for (int p = 0; p < kPSymbols; ++p)
        m_pPrice[p] = 4 + (p >= 2 ? uint32_t(p - 1) : 0);
}

void LzhMatchFinder::priceFrom(const std::vector<LzhToken> &tokens)
{
    uint32_t cFreq[kCSymbols] = {};
    uint32_t pFreq[kPSymbols] = {};
    for (const LzhToken &t : tokens) {
        ++cFreq[t.c];
        if (t.c >= 256)
            ++pFreq[positionSymbol(t.d)];
    }
    uint8_t cLen[kCSymbols] = {};
    uint8_t pLen[kPSymbols] = {};
    if (std::count_if(cFreq, cFreq + kCSymbols, [](uint32_t f) { return f != 0; }) >= 2)
        buildHuffmanLengths(cFreq, kCSymbols, kLzhMaxCodeLength, cLen);
    else
        std::fill(cLen, cLen + kCSymbols, 1);
    if (std::count_if(pFreq, pFreq + kPSymbols, [](uint32_t f) { return f != 0; }) >= 2)
        buildHuffmanLengths(pFreq, kPSymbols, kLzhMaxCodeLength, pLen);
    else
        std::fill(pLen, pLen + kPSymbols, 1);
    for (int c = 0; c < kCSymbols; ++c)
        m_cPrice[c] = priceOf(cLen[c]);
    for (int p = 0; p < kPSymbols; ++p)
        m_pPrice[p] = priceOf(pLen[p]) + (p >= 2 ? uint32_t(p - 1) : 0);
}

int LzhMatchFinder::allMatches(size_t pos, int32_t candidate, int maxLength, Match *found) const
{
    int count = 0;
    walkChain(pos, candidate, kLzhMinMatch - 1, m_params.maxChain, maxLength,
        [&](int length, int32_t from) {
            found[count++] = {uint16_t(length), uint16_t(pos - size_t(from) - 1)};
        });
    return count;
}

void LzhMatchFinder::collectMatches(size_t count)
{
    m_matches.clear();
    m_matchStart.assign(count + 1, 0);
    Match found[kLzhMaxMatch];
    size_t skipUntil = 0; // inside a long match: positions are only hashed
    for (size_t i = 0; i < count; ++i) {
        const size_t pos = m_pos + i;
        m_matchStart[i] = uint32_t(m_matches.size());
        if (pos + 2 >= m_end)
            continue;
        const uint32_t h = hashAt(pos);
        const int32_t head = m_head[h];
        m_prev[pos] = head;
        m_head[h] = int32_t(pos);
        const int maxLength = int(std::min<size_t>(kLzhMaxMatch, count - i));
        if (i < skipUntil || head == kNil || maxLength < kLzhMinMatch)
            continue;
        const int n = allMatches(pos, head, maxLength, found);
        m_matches.insert(m_matches.end(), found, found + n);
        if (n > 0 && found[n - 1].length >= m_params.niceLength)
            skipUntil = i + found[n - 1].length;
    }
    m_matchStart[count] = uint32_t(m_matches.size());
}

void LzhMatchFinder::chooseTokens(size_t count)
{
    m_cost.assign(count + 1, kInfinite);
    m_step.resize(count + 1);
    m_cost[0] = 0;
    const uint8_t *s = m_buffer.data() + m_pos;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t here = m_cost[i];
        const uint32_t literal = here + m_cPrice[s[i]];
        if (literal < m_cost[i + 1]) {
            m_cost[i + 1] = literal;
            m_step[i + 1] = {1, 0};
        }
        int length = kLzhMinMatch;
        for (uint32_t k = m_matchStart[i]; k < m_matchStart[i + 1]; ++k) {
            const Match m = m_matches[k];
            const uint32_t base = here + m_pPrice[positionSymbol(m.d)];
            for (; length <= m.length; ++length) {
                const uint32_t c = base + m_cPrice[256 + length - kLzhMinMatch];
                if (c < m_cost[i + size_t(length)]) {
                    m_cost[i + size_t(length)] = c;
                    m_step[i + size_t(length)] = {uint16_t(length), m.d};
                }
            }
        }
    }
    m_segment.clear();
    for (size_t at = count; at > 0;) {
        const Match step = m_step[at];
        if (step.length == 1)
            m_segment.push_back({s[at - 1], 0});
        else
            m_segment.push_back({uint16_t(256 + step.length - kLzhMinMatch), step.d});
        at -= step.length;
    }
    std::reverse(m_segment.begin(), m_segment.end());
}

void LzhMatchFinder::parseOptimal(
    bool final, std::vector<LzhToken> &out, std::vector<size_t> &blockEnds)
{
    while (final ? m_pos < m_end : m_end - m_pos >= kSegment + kLookAhead) {
        const size_t count = std::min(kSegment, m_end - m_pos);
        collectMatches(count);
        if (!m_priced) {
            priceDefaults();
            chooseTokens(count);
            priceFrom(m_segment);
            m_priced = true;
        }
        for (int pass = 0; pass < kPasses; ++pass) {
            chooseTokens(count);
            priceFrom(m_segment); // the last pass's lengths also price the next segment
        }
        out.insert(out.end(), m_segment.begin(), m_segment.end());
        blockEnds.push_back(out.size());
        m_pos += count;
    }
    if (!final && room() == 0)
        slide();
}

} // namespace sheaf::archiver
