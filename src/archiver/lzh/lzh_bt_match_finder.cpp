#include "archiver/lzh/lzh_bt_match_finder.h"

#include "archiver/lzh/lzh_byte_compare.h"
#include "archiver/lzh/lzh_token.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace sheaf::archiver {

namespace {

// Positions closer to the end than this are left out: the hash reads 4
// bytes.
constexpr int kMinLookAhead = 5;

inline uint32_t load32(const uint8_t *p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint32_t hashBits(uint32_t v, int bits)
{
    return (v * 0x1E35A7BDu) >> (32 - bits);
}

inline LzhMatch match(int length, int32_t d)
{
    return {uint16_t(d), uint8_t(std::bit_width(uint32_t(d))), uint8_t(length - kLzhMinMatch)};
}

} // namespace

LzhBtMatchFinder::LzhBtMatchFinder(int windowBits, size_t capacity)
    : m_window(int32_t(1) << windowBits)
    , m_hash3Bits(std::min(windowBits, 15))
    , m_hash4Bits(std::min(windowBits + 1, 16))
    , m_head3(size_t(2) << m_hash3Bits, kNil)
    , m_head4(size_t(1) << m_hash4Bits, kNil)
    , m_child(new int32_t[2 * capacity])
{
}

void LzhBtMatchFinder::reset(const uint8_t *buffer, size_t touched)
{
    m_skipUntil = 0;
    if (touched >= m_head4.size() / 4) {
        std::fill(m_head3.begin(), m_head3.end(), kNil);
        std::fill(m_head4.begin(), m_head4.end(), kNil);
        return;
    }
    // A small member touched few buckets: clear those, rehashing its bytes.
    for (size_t p = 0; p < touched; ++p) {
        const uint32_t v = load32(buffer + p);
        const uint32_t h3 = hashBits(v & 0xFFFFFF, m_hash3Bits);
        m_head3[2 * h3] = m_head3[2 * h3 + 1] = kNil;
        m_head4[hashBits(v, m_hash4Bits)] = kNil;
    }
}

template<bool Collect>
inline __attribute__((always_inline)) int LzhBtMatchFinder::advance(const uint8_t *buffer,
    size_t pos, Hashes hashes, int maxLength, int niceLength, int depth, LzhMatch *out)
{
    const uint8_t *s = buffer + pos;
    const int32_t here = int32_t(pos);
    const int32_t lowest = std::max(here - m_window, 0); // the farthest a distance reaches
    int count = 0;
    int best = kLzhMinMatch;

    int32_t *const ways = &m_head3[2 * hashes.h3];
    const int32_t near3 = ways[0];
    const int32_t far3 = ways[1];
    ways[1] = near3;
    ways[0] = here;
    if (Collect) {
        const uint32_t seq3 = load32(s) & 0xFFFFFF;
        if (near3 >= lowest && (load32(buffer + near3) & 0xFFFFFF) == seq3)
            out[count++] = match(kLzhMinMatch, here - near3 - 1);
        else if (far3 >= lowest && (load32(buffer + far3) & 0xFFFFFF) == seq3)
            out[count++] = match(kLzhMinMatch, here - far3 - 1);
    }

    int32_t &root = m_head4[hashes.h4];
    int32_t node = root;
    root = here;
    int32_t *const child = m_child.get();
    int32_t *smaller = child + 2 * pos;
    int32_t *larger = smaller + 1;
    if (node < lowest) {
        *smaller = *larger = kNil;
        return count;
    }
    // The common prefix with every node on the path is at least the
    // smaller of the prefixes shared with the last node that went left and
    // the last that went right.
    int smallerLength = 0;
    int largerLength = 0;
    int length = 0;
    for (;;) {
        // The walk goes on to one of the node's children: ask for both,
        // their bytes and their own children, while this one is compared.
        // Each step would otherwise wait for two loads in turn.
        const int32_t left = child[2 * size_t(node)];
        const int32_t right = child[2 * size_t(node) + 1];
        __builtin_prefetch(buffer + left + length);
        __builtin_prefetch(buffer + right + length);
        __builtin_prefetch(child + 2 * size_t(left));
        __builtin_prefetch(child + 2 * size_t(right));
        const uint8_t *m = buffer + node;
        if (m[length] == s[length]) {
            length
                = length + 1 + commonLength(m + length + 1, s + length + 1, maxLength - length - 1);
            if (!Collect || length > best) {
                if (Collect) {
                    best = length;
                    out[count++] = match(length, here - node - 1);
                }
                if (length >= niceLength) {
                    // As long as we can tell: the node leaves the tree and
                    // the new position takes its subtrees.
                    *smaller = left;
                    *larger = right;
                    return count;
                }
            }
        }
        if (m[length] < s[length]) {
            *smaller = node;
            smaller = child + 2 * size_t(node) + 1;
            node = right;
            smallerLength = length;
            length = std::min(length, largerLength);
        } else {
            *larger = node;
            larger = child + 2 * size_t(node);
            node = left;
            largerLength = length;
            length = std::min(length, smallerLength);
        }
        if (node < lowest || --depth == 0) {
            *smaller = *larger = kNil;
            return count;
        }
    }
}

LzhBtMatchFinder::Hashes LzhBtMatchFinder::hashesAt(const uint8_t *p) const
{
    const uint32_t v = load32(p);
    const Hashes h = {hashBits(v & 0xFFFFFF, m_hash3Bits), hashBits(v, m_hash4Bits)};
    // The buckets are far apart in big tables: ask for them one position
    // ahead.
    __builtin_prefetch(&m_head3[2 * h.h3]);
    __builtin_prefetch(&m_head4[h.h4]);
    return h;
}

size_t LzhBtMatchFinder::collect(const uint8_t *buffer, size_t from, size_t to, size_t end,
    int niceLength, int depth, LzhMatchList &list)
{
    std::vector<LzhMatch> &matches = list.matches;
    if (list.starts.size() < list.positions + to - from + kLzhMaxMatch + 1)
        list.starts.resize(list.positions + (to - from) * 3 / 2 + kLzhMaxMatch + 1);
    uint32_t *const start = list.starts.data() + list.positions;
    size_t found = list.count;
    size_t pos = from;
    Hashes hashes = pos + kMinLookAhead <= end ? hashesAt(buffer + pos) : Hashes {};
    for (; pos < to || pos < m_skipUntil; ++pos) {
        start[pos - from] = uint32_t(found);
        const int maxLength = int(std::min<size_t>(kLzhMaxMatch, end - pos));
        if (maxLength < kMinLookAhead)
            continue;
        const Hashes here = hashes;
        hashes = hashesAt(buffer + pos + 1);
        const int nice = std::min(niceLength, maxLength);
        if (pos < m_skipUntil) {
            advance<false>(buffer, pos, here, maxLength, nice, depth, nullptr);
            continue;
        }
        if (matches.size() < found + kLzhMaxMatch)
            matches.resize(matches.size() + matches.size() / 2 + 4096);
        LzhMatch *const out = matches.data() + found;
        const int n = advance<true>(buffer, pos, here, maxLength, nice, depth, out);
        found += size_t(n);
        if (n > 0 && out[n - 1].length() >= nice)
            m_skipUntil = pos + size_t(out[n - 1].length());
    }
    start[pos - from] = uint32_t(found);
    list.positions += pos - from;
    list.count = found;
    return pos;
}

void LzhBtMatchFinder::insert(
    const uint8_t *buffer, size_t from, size_t to, size_t end, int niceLength, int depth)
{
    for (size_t pos = from; pos < to; ++pos) {
        const int maxLength = int(std::min<size_t>(kLzhMaxMatch, end - pos));
        if (maxLength >= kMinLookAhead)
            advance<false>(buffer, pos, hashesAt(buffer + pos), maxLength,
                std::min(niceLength, maxLength), depth, nullptr);
    }
}

void LzhBtMatchFinder::rebase(size_t shift, size_t inserted)
{
    const int32_t s = int32_t(shift);
    auto moved = [s](int32_t v) {
        return v >= s ? v - s : kNil;
    };
    for (int32_t &h : m_head3)
        h = moved(h);
    for (int32_t &h : m_head4)
        h = moved(h);
    for (size_t i = 2 * shift; i < 2 * inserted; ++i)
        m_child[i - 2 * shift] = moved(m_child[i]);
    m_skipUntil = m_skipUntil >= shift ? m_skipUntil - shift : 0;
}

} // namespace sheaf::archiver
