// Hash chains with zlib-style lazy matching. The buffer holds the window of
// history plus a large chunk of new input, so the history slides down only
// once per chunk; chain links are buffer positions and are rebased then.
#include "archiver/lzh/lzh_match_finder.h"
#include "archiver/lzh/lzh_byte_compare.h"

#include <algorithm>
#include <cstring>

namespace sheaf::archiver {

namespace {

// New input taken per slide. Larger means fewer slides but more memory.
constexpr size_t kChunk = 256 * 1024;

} // namespace

LzhParserParams lzhParserParams(int level, int windowBits)
{
    // The trade-offs of zlib's levels; the default sits at zlib's 6. LZH
    // codes a far 3-byte match cheaply enough that refusing it costs bytes
    // (measured on text), so tooFar is off. The larger windows get longer
    // chains at the default: the 64 KiB window holds eight times the
    // candidates of the 8 KiB one.
    const int window = 1 << windowBits;
    switch (level) {
    case 1:
    case 2:
    case 3:
        return {4, 4, 16, 16, window};
    case 4:
    case 5:
        return {8, 16, 32, 32, window};
    case 7:
        return {8, 32, 128, 256, window};
    case 8:
        return {32, 128, 256, 1024, window};
    case 9: // near-optimal: every match up to niceLength at every position
        return {32, 256, 256, 1024, window, true};
    default:
        // -lh5-'s default is tuned for speed at the bytes of other -lh5-
        // writers: 48 links, and lazy search up to a 32-byte match.
        if (windowBits < 15)
            return {8, 32, 64, 48, window};
        return {8, 16, 128, 256, window};
    }
}

LzhMatchFinder::LzhMatchFinder(int windowBits, const LzhParserParams &params)
    : m_windowBits(windowBits)
    , m_window(size_t(1) << windowBits)
    , m_params(params)
    , m_hashBits(windowBits >= 15 ? 16 : 15)
    , m_capacity(m_window + kChunk + kLookAhead)
    , m_buffer(m_capacity + kPadding, 0)
    , m_head(size_t(1) << m_hashBits, kNil)
    , m_prev(m_capacity, kNil)
{
}

void LzhMatchFinder::reset()
{
    // A small member touched few heads: clear those (rehashing its bytes,
    // still in the buffer) rather than the whole table.
    const size_t hashed = m_end >= size_t(kLzhMinMatch) ? m_end - 2 : 0;
    if (m_slid || hashed >= m_head.size() / 4) {
        std::fill(m_head.begin(), m_head.end(), kNil);
    } else {
        for (size_t p = 0; p < hashed; ++p)
            m_head[hashAt(p)] = kNil;
    }
    m_slid = false;
    m_pos = m_end = 0;
    m_pendingLiteral = false;
    m_matchLength = kLzhMinMatch - 1;
    m_matchDistance = 0;
    m_priced = false;
    m_unhashed = 0;
}

void LzhMatchFinder::append(const uint8_t *data, size_t size)
{
    std::memcpy(m_buffer.data() + m_end, data, size);
    m_end += size;
}

void LzhMatchFinder::appendHistory(const uint8_t *data, size_t size)
{
    if (size > m_window) {
        data += size - m_window;
        size = m_window;
    }
    append(data, size);
    m_pos = m_unhashed = m_end;
}

void LzhMatchFinder::hashHistory()
{
    // Hashed once the input after the history is buffered: the last two
    // history positions hash bytes of the input.
    for (size_t p = 0; p < m_unhashed; ++p)
        if (p + 2 < m_end)
            insert(p);
    m_unhashed = 0;
}

uint32_t LzhMatchFinder::hashAt(size_t pos) const
{
    const uint8_t *p = m_buffer.data() + pos;
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    return (v * 2654435761u) >> (32 - m_hashBits);
}

void LzhMatchFinder::insert(size_t pos)
{
    uint32_t h = hashAt(pos);
    m_prev[pos] = m_head[h];
    m_head[h] = int32_t(pos);
}

int LzhMatchFinder::longestMatch(
    size_t pos, int32_t candidate, int previousLength, int maxLength, int &distance) const
{
    const int best = std::max(previousLength, kLzhMinMatch - 1);
    if (best >= maxLength)
        return best;
    const int chain
        = previousLength >= m_params.goodLength ? m_params.maxChain >> 2 : m_params.maxChain;
    return walkChain(pos, candidate, best, chain, maxLength,
        [&](int, int32_t from) { distance = int(pos - size_t(from)); });
}

void LzhMatchFinder::parse(bool final, std::vector<LzhToken> &out, std::vector<size_t> &blockEnds)
{
    if (m_unhashed > 0)
        hashHistory();
    if (m_params.optimal)
        parseOptimal(final, out, blockEnds);
    else
        parseLazy(final, out);
}

void LzhMatchFinder::parseLazy(bool final, std::vector<LzhToken> &out)
{
    const uint8_t *buf = m_buffer.data();
    while (final ? m_pos < m_end : m_end - m_pos >= kLookAhead) {
        const size_t avail = m_end - m_pos;
        const int maxLength = int(std::min<size_t>(kLzhMaxMatch, avail));
        const int previousLength = m_matchLength;
        const int previousDistance = m_matchDistance;
        int length = kLzhMinMatch - 1;
        int distance = 0;
        if (avail >= size_t(kLzhMinMatch)) {
            const uint32_t h = hashAt(m_pos);
            const int32_t head = m_head[h];
            m_prev[m_pos] = head;
            m_head[h] = int32_t(m_pos);
            if (head != kNil && previousLength < m_params.maxLazy
                && m_pos - size_t(head) <= m_window) {
                length = longestMatch(m_pos, head, previousLength, maxLength, distance);
                if (length == kLzhMinMatch && distance > m_params.tooFar)
                    length = kLzhMinMatch - 1;
            }
        }

        if (previousLength >= kLzhMinMatch && length <= previousLength) {
            // The match found one byte back is at least as good: take it.
            out.push_back(
                {uint16_t(256 + previousLength - kLzhMinMatch), uint16_t(previousDistance - 1)});
            const size_t stop = m_pos - 1 + size_t(previousLength);
            for (size_t p = m_pos + 1; p < stop; ++p)
                if (p + 2 < m_end)
                    insert(p);
            m_pos = stop;
            m_pendingLiteral = false;
            m_matchLength = kLzhMinMatch - 1;
            m_matchDistance = 0;
            continue;
        }
        if (m_pendingLiteral)
            out.push_back({buf[m_pos - 1], 0});
        m_pendingLiteral = true;
        m_matchLength = length;
        m_matchDistance = distance;
        ++m_pos;
    }
    if (final && m_pendingLiteral) {
        out.push_back({buf[m_pos - 1], 0});
        m_pendingLiteral = false;
    }
    if (!final && room() == 0)
        slide();
}

void LzhMatchFinder::slide()
{
    // Keep one window of history before the parse position.
    const size_t shift = m_pos - m_window;
    std::memmove(m_buffer.data(), m_buffer.data() + shift, m_end - shift);
    for (int32_t &h : m_head)
        h = h >= int32_t(shift) ? h - int32_t(shift) : kNil;
    for (size_t i = shift; i < m_pos; ++i) {
        int32_t v = m_prev[i];
        m_prev[i - shift] = v >= int32_t(shift) ? v - int32_t(shift) : kNil;
    }
    m_pos -= shift;
    m_end -= shift;
    m_slid = true;
}

} // namespace sheaf::archiver
