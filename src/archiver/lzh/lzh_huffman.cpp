// Plain Huffman depths from a two-queue merge of the sorted leaves, then the
// classic overflow fix: depths beyond the limit are clamped, and leaves are
// pushed down one level at a time until the Kraft sum is exactly 1 again.
// Lengths are then handed out shortest first to the most frequent symbols,
// so the result is complete and as close to optimal as the fix allows.
// The near-optimal parse builds codes for every pass, so nothing here
// allocates.
#include "archiver/lzh/lzh_huffman.h"

#include <algorithm>
#include <array>

namespace sheaf::archiver {

namespace {

constexpr int kSymbolBits = 9; // kLzhMaxSymbols - 1 fits
constexpr uint64_t kSymbolMask = (uint64_t(1) << kSymbolBits) - 1;

constexpr int kFewLeaves = 64;

// Sorts keys below 2^bits (at most 27) in passes of nine bits: the parse
// builds codes for every segment, and its counts stay far below that.
void radixSort(uint64_t *keys, int n, int bits)
{
    std::array<uint64_t, kLzhMaxSymbols> other;
    uint64_t *from = keys, *to = other.data();
    for (int shift = 0; shift < bits; shift += 9) {
        std::array<uint32_t, 513> start {};
        for (int i = 0; i < n; ++i)
            ++start[size_t((from[i] >> shift) & 511) + 1];
        for (size_t d = 1; d < start.size(); ++d)
            start[d] += start[d - 1];
        for (int i = 0; i < n; ++i)
            to[start[size_t((from[i] >> shift) & 511)]++] = from[i];
        std::swap(from, to);
    }
    if (from != keys)
        std::copy(from, from + n, keys);
}

} // namespace

void buildHuffmanLengths(const uint32_t *freq, int count, int maxLength, uint8_t *lengths)
{
    buildHuffmanLengths(freq, count, maxLength, {&lengths, 1}, {});
}

void buildHuffmanLengths(const uint32_t *freq, int count, int maxLength,
    std::span<uint8_t *const> lengths, std::span<const uint32_t> adds)
{
    // Rarest first; among equals the higher symbol counts as rarer, so that
    // lower symbols get the shorter codes: the key is the frequency, then
    // the symbol's distance from the top. Adding the same number to every
    // frequency keeps that order, so one sort serves every code.
    std::array<uint64_t, kLzhMaxSymbols> keys;
    int leaves = 0;
    uint32_t most = 0;
    for (uint8_t *l : lengths)
        std::fill(l, l + count, uint8_t(0));
    for (int i = 0; i < count; ++i)
        if (freq[i] > 0) {
            keys[size_t(leaves++)] = uint64_t(freq[i]) << kSymbolBits | (kSymbolMask - uint64_t(i));
            most = std::max(most, freq[i]);
        }
    auto symbolOf = [](uint64_t key) {
        return int(kSymbolMask - (key & kSymbolMask));
    };
    if (leaves < 2) {
        if (leaves == 1)
            for (uint8_t *l : lengths)
                l[symbolOf(keys[0])] = 1;
        return;
    }
    // Radix passes cost their 512 buckets whatever the count: small
    // alphabets (T, P) sort faster by comparison.
    if (leaves > kFewLeaves && most < (1u << (27 - kSymbolBits)))
        radixSort(keys.data(), leaves, most < (1u << 9) ? 18 : 27);
    else
        std::sort(keys.begin(), keys.begin() + leaves);

    for (size_t k = 0; k < lengths.size(); ++k) {
        const uint64_t add = k == 0 ? 0 : adds[k - 1];
        // Nodes 0..leaves-1 are the sorted leaves, then the internal nodes in
        // the order they are made (their weights never decrease).
        std::array<uint64_t, 2 * kLzhMaxSymbols> weight;
        std::array<int, 2 * kLzhMaxSymbols> parent;
        for (int i = 0; i < leaves; ++i)
            weight[size_t(i)] = (keys[size_t(i)] >> kSymbolBits) + add;
        int nextLeaf = 0, nextNode = leaves, made = leaves;
        auto takeSmallest = [&]() {
            if (nextLeaf < leaves
                && (nextNode >= made || weight[size_t(nextLeaf)] <= weight[size_t(nextNode)]))
                return nextLeaf++;
            return nextNode++;
        };
        while (made < 2 * leaves - 1) {
            const int a = takeSmallest();
            const int b = takeSmallest();
            weight[size_t(made)] = weight[size_t(a)] + weight[size_t(b)];
            parent[size_t(a)] = parent[size_t(b)] = made;
            ++made;
        }

        // Depths: the root is the last node; parents always come after
        // children.
        std::array<int, 2 * kLzhMaxSymbols> depth;
        std::array<int, kLzhMaxCodeLength + 2> perLength {};
        depth[size_t(2 * leaves - 2)] = 0;
        for (int n = 2 * leaves - 3; n >= 0; --n)
            depth[size_t(n)] = depth[size_t(parent[size_t(n)])] + 1;
        for (int i = 0; i < leaves; ++i)
            ++perLength[size_t(std::min(depth[size_t(i)], maxLength))];

        uint64_t kraft = 0;
        for (int len = 1; len <= maxLength; ++len)
            kraft += uint64_t(perLength[size_t(len)]) << (maxLength - len);
        const uint64_t full = uint64_t(1) << maxLength;
        while (kraft > full) {
            // Move a leaf from the deepest non-full level down one level,
            // where it pairs with one of the clamped leaves: the sum drops by
            // exactly one.
            int len = maxLength - 1;
            while (perLength[size_t(len)] == 0)
                --len;
            --perLength[size_t(len)];
            perLength[size_t(len) + 1] += 2;
            --perLength[size_t(maxLength)];
            --kraft;
        }

        // Longest codes to the rarest symbols (keys are sorted by frequency).
        int leaf = 0;
        for (int len = maxLength; len >= 1; --len)
            for (int n = 0; n < perLength[size_t(len)]; ++n)
                lengths[k][symbolOf(keys[size_t(leaf++)])] = uint8_t(len);
    }
}

void buildCanonicalCodes(const uint8_t *lengths, int count, uint16_t *codes)
{
    uint32_t perLength[kLzhMaxCodeLength + 2] = {};
    for (int i = 0; i < count; ++i)
        ++perLength[lengths[i]];
    perLength[0] = 0;
    uint32_t next[kLzhMaxCodeLength + 2] = {};
    uint32_t code = 0;
    for (int len = 1; len <= kLzhMaxCodeLength; ++len) {
        code = (code + perLength[len - 1]) << 1;
        next[len] = code;
    }
    for (int i = 0; i < count; ++i)
        codes[i] = lengths[i] ? uint16_t(next[lengths[i]]++) : 0;
}

} // namespace sheaf::archiver
