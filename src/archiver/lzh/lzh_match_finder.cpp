// Hash chains with zlib-style lazy matching. Chain links are buffer
// positions of the input window and are rebased when it slides.
#include "archiver/lzh/lzh_match_finder.h"
#include "archiver/lzh/lzh_byte_compare.h"

#include <algorithm>

namespace sheaf::archiver {

namespace {

// New input taken per slide. Larger means fewer slides but more memory.
constexpr size_t kChunk = 256 * 1024;

} // namespace

LzhMatchFinder::LzhMatchFinder(int windowBits, const LzhLevel &level)
    : m_level(level)
    , m_hashBits(windowBits >= 15 ? 16 : 15)
    , m_in(size_t(1) << windowBits, kChunk, kLookAhead)
    , m_head(size_t(1) << m_hashBits, kNil)
    , m_prev(m_in.room(), kNil)
{
}

inline uint32_t LzhMatchFinder::hashAt(size_t pos) const
{
    const uint8_t *p = m_in.data() + pos;
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    return (v * 2654435761u) >> (32 - m_hashBits);
}

inline void LzhMatchFinder::insert(size_t pos)
{
    uint32_t h = hashAt(pos);
    m_prev[pos] = m_head[h];
    m_head[h] = int32_t(pos);
}

void LzhMatchFinder::reset()
{
    // A small member touched few heads: clear those (rehashing its bytes,
    // still in the buffer) rather than the whole table.
    const size_t hashed = m_in.end >= size_t(kLzhMinMatch) ? m_in.end - 2 : 0;
    if (m_slid || hashed >= m_head.size() / 4) {
        std::fill(m_head.begin(), m_head.end(), kNil);
    } else {
        for (size_t p = 0; p < hashed; ++p)
            m_head[hashAt(p)] = kNil;
    }
    m_slid = false;
    m_in.clear();
    m_pendingLiteral = false;
    m_matchLength = kLzhMinMatch - 1;
    m_matchDistance = 0;
}

void LzhMatchFinder::hashHistory()
{
    // Hashed once the input after the history is buffered: the last two
    // history positions hash bytes of the input.
    for (size_t p = 0; p < m_in.unhashed; ++p)
        if (p + 2 < m_in.end)
            insert(p);
    m_in.unhashed = 0;
}

int LzhMatchFinder::longestMatch(
    size_t pos, int32_t candidate, int previousLength, int maxLength, int &distance) const
{
    int best = std::max(previousLength, kLzhMinMatch - 1);
    if (best >= maxLength)
        return best;
    int chain = previousLength >= m_level.goodLength ? m_level.maxChain >> 2 : m_level.maxChain;
    const int nice = std::min(m_level.niceLength, maxLength);
    const int32_t lowest = pos > m_in.window() ? int32_t(pos - m_in.window()) : 0;
    const uint8_t *buf = m_in.data();
    const uint8_t *s = buf + pos;
    const uint16_t start = load16(s);
    uint16_t end = load16(s + best - 1);
    while (candidate >= lowest && chain-- > 0) {
        const uint8_t *m = buf + candidate;
        if (load16(m + best - 1) == end && load16(m) == start) {
            const int len = commonLength(m, s, maxLength);
            if (len > best) {
                best = len;
                distance = int(pos - size_t(candidate));
                if (len >= nice)
                    break;
                end = load16(s + best - 1);
            }
        }
        candidate = m_prev[size_t(candidate)];
    }
    return best;
}

void LzhMatchFinder::parse(bool final, std::vector<LzhToken> &out)
{
    if (m_in.unhashed > 0)
        hashHistory();
    const uint8_t *buf = m_in.data();
    size_t pos = m_in.pos;
    const size_t end = m_in.end;
    while (final ? pos < end : end - pos >= kLookAhead) {
        const size_t avail = end - pos;
        const int maxLength = int(std::min<size_t>(kLzhMaxMatch, avail));
        const int previousLength = m_matchLength;
        const int previousDistance = m_matchDistance;
        int length = kLzhMinMatch - 1;
        int distance = 0;
        if (avail >= size_t(kLzhMinMatch)) {
            const uint32_t h = hashAt(pos);
            __builtin_prefetch(&m_head[hashAt(pos + 1)]);
            const int32_t head = m_head[h];
            m_prev[pos] = head;
            m_head[h] = int32_t(pos);
            if (head != kNil && previousLength < m_level.maxLazy
                && pos - size_t(head) <= m_in.window())
                length = longestMatch(pos, head, previousLength, maxLength, distance);
        }

        if (previousLength >= kLzhMinMatch && length <= previousLength) {
            // The match found one byte back is at least as good: take it.
            out.push_back(
                {uint16_t(256 + previousLength - kLzhMinMatch), uint16_t(previousDistance - 1)});
            const size_t stop = pos - 1 + size_t(previousLength);
            for (size_t p = pos + 1; p < stop; ++p)
                if (p + 2 < end)
                    insert(p);
            pos = stop;
            m_pendingLiteral = false;
            m_matchLength = kLzhMinMatch - 1;
            m_matchDistance = 0;
            continue;
        }
        if (m_pendingLiteral)
            out.push_back({buf[pos - 1], 0});
        m_pendingLiteral = true;
        m_matchLength = length;
        m_matchDistance = distance;
        ++pos;
    }
    if (final && m_pendingLiteral) {
        out.push_back({buf[pos - 1], 0});
        m_pendingLiteral = false;
    }
    m_in.pos = pos;
    if (!final && m_in.room() == 0)
        slide();
}

void LzhMatchFinder::slide()
{
    const size_t pos = m_in.pos;
    const int32_t shift = int32_t(m_in.slide());
    for (int32_t &h : m_head)
        h = h >= shift ? h - shift : kNil;
    for (size_t i = size_t(shift); i < pos; ++i) {
        const int32_t v = m_prev[i];
        m_prev[i - size_t(shift)] = v >= shift ? v - shift : kNil;
    }
    m_slid = true;
}

} // namespace sheaf::archiver
