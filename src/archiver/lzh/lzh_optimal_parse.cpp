#include "archiver/lzh/lzh_optimal_parse.h"

#include "archiver/lzh/lzh_huffman.h"

#include <algorithm>
#include <limits>
#include <type_traits>

namespace sheaf::archiver {

namespace {

// New input taken per slide of the window: each slide rebases the
// finder's tables, whose size grows with it.
constexpr size_t kChunk = 256 * 1024;
constexpr size_t kLookAhead = kLzhMaxMatch + 1;
// Bytes per segment: the grain at which blocks end. Shorter segments follow
// the data more closely but cost more decisions (on 24 MiB of the corpus
// at -lh7-, against 4 KiB: 2 KiB saved 0.02 % of the bytes for 5 % more
// time, 8 KiB cost 0.07 %).
constexpr size_t kSegment = 4096;
// The most tokens a block may hold.
constexpr uint32_t kMaxBlockTokens = 65535;
// The most bytes a block may stand for: its matches are kept until it ends
// (a few MiB). Larger blocks than this gained nothing on the corpus.
constexpr size_t kMaxBlockBytes = 256 * 1024;
// A block's second parse stops at the first segment parsed when the block
// had this share (in percent) of its final tokens: on the corpus, parsing
// the rest again too saved 0.02 % of the bytes for 5 % more time.
constexpr uint64_t kSettledPercent = 75;
// How many times at most a member of one block is parsed again (level 9),
// each time with the prices of the parse before: on the benchmark's mixed
// corpus 0.04 % smaller than once, for 10 % more time; more gained
// nothing.
constexpr int kWholeMemberParses = 3;
// The price of a symbol that the code priced from has none for. Below the
// longest codes: a parse that shuns new symbols never learns they are cheap.
constexpr uint32_t kUnusedPrice = 11;

} // namespace

LzhOptimalParser::LzhOptimalParser(const LzhMethodParams &method, const LzhLevel &level)
    : m_method(method)
    , m_level(level)
    , m_in(size_t(1) << method.windowBits, kChunk, kLookAhead)
    , m_finder(method.windowBits, m_in.room())
{
    m_block.reserve(kMaxBlockTokens);
    m_path.reserve(kSegment + kLzhMaxMatch);
}

void LzhOptimalParser::reset()
{
    m_finder.reset(m_in.data(), m_slid ? std::numeric_limits<size_t>::max() : m_in.end);
    m_slid = false;
    m_in.clear();
    m_bytes.clear();
    m_matches.clear();
    m_blockBytes = 0;
    m_block.clear();
    m_settled.clear();
    m_blockCounts = {};
    m_blockBits = 0;
    m_priced = false;
    m_blockEnded = false;
}

void LzhOptimalParser::priceDefaults(size_t count)
{
    // A first guess for a member's first segment: literals by how often
    // each byte occurs in it, short matches cheaper than long ones, near
    // distances cheaper than far ones.
    uint32_t bytes[256] = {};
    const uint8_t *s = m_in.data() + m_in.pos;
    for (size_t i = 0; i < count; ++i)
        ++bytes[s[i]];
    uint8_t lengths[256];
    buildHuffmanLengths(bytes, 256, kLzhMaxCodeLength, lengths);
    for (int c = 0; c < 256; ++c)
        m_literalPrice[c] = lengths[c] ? lengths[c] : bytes[c] ? 1 : kUnusedPrice;
    for (int len = kLzhMinMatch; len <= kLzhMaxMatch; ++len)
        m_lengthPrice[len] = len < 8 ? 5 : len < 32 ? 7 : 9;
    for (int p = 0; p < kLzhPSymbols; ++p)
        m_positionPrice[p] = 4 + (p >= 2 ? uint32_t(p - 1) : 0);
}

void LzhOptimalParser::priceFrom(const LzhCodeLengths &lengths, const LzhSymbolCounts &counts)
{
    // A used symbol without bits is the only one of its table: one bit
    // keeps the parse from taking it for free.
    auto price = [](uint8_t length, uint32_t count) {
        return length ? uint32_t(length) : count ? 1 : kUnusedPrice;
    };
    for (int i = 0; i < 256; ++i)
        m_literalPrice[i] = price(lengths.c[size_t(i)], counts.c[size_t(i)]);
    for (int len = kLzhMinMatch; len <= kLzhMaxMatch; ++len) {
        const size_t c = size_t(256 + len - kLzhMinMatch);
        m_lengthPrice[len] = price(lengths.c[c], counts.c[c]);
    }
    for (int p = 0; p < m_method.positionSymbols; ++p)
        m_positionPrice[p]
            = price(lengths.p[size_t(p)], counts.p[size_t(p)]) + (p >= 2 ? uint32_t(p - 1) : 0);
}

void LzhOptimalParser::choosePath(
    size_t first, size_t count, std::vector<LzhToken> &path, LzhSymbolCounts &counts)
{
    // Backwards: the cheapest way from each position to the end is a
    // literal or a match followed by the cheapest way from there. For each
    // length only the nearest match that reaches it counts.
    if (m_cost.size() < count + 1) {
        m_cost.resize(count + 1);
        m_step.resize(count + 1);
    }
    const uint8_t *const s = m_bytes.data() + first;
    const uint32_t *const starts = m_matches.starts.data() + first;
    const LzhMatch *const matches = m_matches.matches.data();
    uint32_t *const cost = m_cost.data();
    Step *const steps = m_step.data();
    cost[count] = 0;
    auto visit = [&](size_t i, auto room) {
        const uint32_t *const ahead = cost + i;
        uint32_t best = m_literalPrice[s[i]] + ahead[1];
        uint32_t bestLength = 1, bestD = 0;
        int length = kLzhMinMatch;
        for (const LzhMatch *m = matches + starts[i], *end = matches + starts[i + 1]; m != end;
             ++m) {
            const uint32_t position = m_positionPrice[m->p];
            const int top = std::min<int>(m->length(), room);
            const uint32_t d = m->d;
            // On a tie the longer step: fewer tokens for the same bits.
            // Without branches: which length wins is a coin toss.
            for (; length <= top; ++length) {
                const uint32_t c = position + m_lengthPrice[length] + ahead[length];
                const bool better = c <= best;
                best = better ? c : best;
                bestLength = better ? uint32_t(length) : bestLength;
                bestD = better ? d : bestD;
            }
        }
        cost[i] = best;
        steps[i] = {uint16_t(bestLength), uint16_t(bestD)};
    };
    // Matches near the end are cut short there; further back none reaches
    // it, and the loop needs no cut.
    const size_t tail = std::min<size_t>(count, kLzhMaxMatch);
    for (size_t i = count; i-- > count - tail;)
        visit(i, int(count - i));
    for (size_t i = count - tail; i-- > 0;)
        visit(i, std::integral_constant<int, kLzhMaxMatch>());

    path.clear();
    for (size_t i = 0; i < count;) {
        const Step step = steps[i];
        path.push_back(step.length == 1
                ? LzhToken {s[i], 0}
                : LzhToken {uint16_t(256 + step.length - kLzhMinMatch), step.d});
        i += step.length;
    }
    counts = {};
    counts.add(path);
}

size_t LzhOptimalParser::parseSegment(size_t count)
{
    const size_t first = m_matches.positions;
    count = m_finder.collect(m_in.data(), m_in.pos, m_in.pos + count, m_in.end, m_level.niceLength,
                m_level.maxChain, m_matches)
        - m_in.pos;
    m_bytes.insert(m_bytes.end(), m_in.data() + m_in.pos, m_in.data() + m_in.pos + count);
    if (!m_block.empty())
        priceFrom(m_blockLengths, m_blockCounts);
    else if (!m_priced)
        priceDefaults(count);
    m_priced = true;
    choosePath(first, count, m_path, m_pathCounts);
    return count;
}

void LzhOptimalParser::addSegment(
    size_t count, std::vector<LzhToken> &out, std::vector<size_t> &blockEnds)
{
    if (!m_block.empty() && m_blockCounts.tokens + m_pathCounts.tokens <= kMaxBlockTokens
        && m_blockBytes + count <= kMaxBlockBytes) {
        LzhSymbolCounts both = m_blockCounts;
        both.add(m_pathCounts);
        LzhCodeLengths lengths;
        const uint64_t together = lzhBlockBits(both, m_method, &lengths);
        if (together <= m_blockBits + lzhBlockBits(m_pathCounts, m_method)) {
            m_settled.push_back({m_blockBytes, m_block.size(), m_blockCounts.tokens});
            m_block.insert(m_block.end(), m_path.begin(), m_path.end());
            m_blockBytes += count;
            m_blockCounts = both;
            m_blockLengths = lengths;
            m_blockBits = together;
            return;
        }
    }
    if (!m_block.empty()) {
        endBlock(out, blockEnds);
        // The segment was priced for the block before it: price it again
        // for a block of its own.
        LzhCodeLengths lengths;
        lzhBlockBits(m_pathCounts, m_method, &lengths);
        priceFrom(lengths, m_pathCounts);
        choosePath(0, count, m_path, m_pathCounts);
    }
    m_settled.clear();
    m_block.assign(m_path.begin(), m_path.end());
    m_blockBytes = count;
    m_blockCounts = m_pathCounts;
    m_blockBits = lzhBlockBits(m_blockCounts, m_method, &m_blockLengths);
}

void LzhOptimalParser::endBlock(
    std::vector<LzhToken> &out, std::vector<size_t> &blockEnds, bool wholeMember)
{
    if (m_block.empty())
        return;
    // Parsed again with its final code (its first segments were priced
    // with a code far from it): kept if the block gets smaller.
    if (m_level.passes >= 2) {
        // Only up to the first segment parsed when the block already had
        // most of its tokens: the later ones had nearly its final prices.
        size_t bytes = m_blockBytes, tokens = m_block.size();
        for (const Mark &mark : m_settled)
            if (uint64_t(mark.tokensBefore) * 100 >= kSettledPercent * m_blockCounts.tokens) {
                bytes = mark.bytes;
                tokens = mark.tokens;
                break;
            }
        // A member of one block (a small file) is parsed again whole, while
        // that makes it smaller: its first parse had only guessed prices.
        const int rounds = wholeMember ? kWholeMemberParses : 1;
        for (int round = 0; round < rounds; ++round) {
            if (round > 0) {
                bytes = m_blockBytes;
                tokens = m_block.size();
            }
            priceFrom(m_blockLengths, m_blockCounts);
            LzhSymbolCounts counts;
            choosePath(0, bytes, m_blockPath, counts);
            counts.add(std::span(m_block.data() + tokens, m_block.size() - tokens));
            if (counts.tokens > kMaxBlockTokens)
                break;
            LzhCodeLengths lengths;
            const uint64_t bits = lzhBlockBits(counts, m_method, &lengths);
            if (bits >= m_blockBits)
                break;
            m_blockPath.insert(
                m_blockPath.end(), m_block.begin() + std::ptrdiff_t(tokens), m_block.end());
            m_block.swap(m_blockPath);
            m_blockCounts = counts;
            m_blockLengths = lengths;
            m_blockBits = bits;
        }
    }
    m_blockEnded = true;
    m_settled.clear();
    out.insert(out.end(), m_block.begin(), m_block.end());
    blockEnds.push_back(out.size());
    m_block.clear();
    m_blockCounts = {};
    m_blockBits = 0;

    // What follows the block (the segment parsed last, if any) moves to the
    // front.
    const size_t rest = m_matches.positions - m_blockBytes;
    const uint32_t base = m_matches.starts[m_blockBytes];
    uint32_t *const starts = m_matches.starts.data();
    for (size_t i = 0; i <= rest; ++i)
        starts[i] = starts[m_blockBytes + i] - base;
    std::copy(m_matches.matches.begin() + base,
        m_matches.matches.begin() + std::ptrdiff_t(m_matches.count), m_matches.matches.begin());
    m_matches.positions = rest;
    m_matches.count -= base;
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + std::ptrdiff_t(m_blockBytes));
    m_blockBytes = 0;
}

void LzhOptimalParser::parse(bool final, std::vector<LzhToken> &out, std::vector<size_t> &blockEnds)
{
    if (m_in.unhashed > 0) {
        m_finder.insert(
            m_in.data(), 0, m_in.unhashed, m_in.end, m_level.niceLength, m_level.maxChain);
        m_in.unhashed = 0;
    }
    // A segment may grow by a match's length past its end; the look-ahead
    // after that still holds the longest match.
    while (final ? m_in.pos < m_in.end : m_in.end - m_in.pos >= kSegment + 2 * kLookAhead) {
        const size_t count = parseSegment(std::min(kSegment, m_in.end - m_in.pos));
        addSegment(count, out, blockEnds);
        m_in.pos += count;
    }
    if (final)
        endBlock(out, blockEnds, !m_blockEnded);
    else if (m_in.room() == 0)
        slide();
}

void LzhOptimalParser::slide()
{
    const size_t inserted = m_in.pos;
    m_finder.rebase(m_in.slide(), inserted);
    m_slid = true;
}

} // namespace sheaf::archiver
