// Plain Huffman depths from a two-queue merge of the sorted leaves, then the
// classic overflow fix: depths beyond the limit are clamped, and leaves are
// pushed down one level at a time until the Kraft sum is exactly 1 again.
// Lengths are then handed out shortest first to the most frequent symbols,
// so the result is complete and as close to optimal as the fix allows.
#include "archiver/lzh/lzh_huffman.h"

#include <algorithm>
#include <vector>

namespace sheaf::archiver {

void buildHuffmanLengths(const uint32_t *freq, int count, int maxLength, uint8_t *lengths)
{
    std::vector<int> symbols;
    for (int i = 0; i < count; ++i) {
        lengths[i] = 0;
        if (freq[i] > 0)
            symbols.push_back(i);
    }
    const int leaves = int(symbols.size());
    if (leaves < 2) {
        if (leaves == 1)
            lengths[symbols[0]] = 1;
        return;
    }
    // Rarest first; among equals the higher symbol counts as rarer, so that
    // lower symbols get the shorter codes.
    std::sort(symbols.begin(), symbols.end(),
        [&](int a, int b) { return freq[a] < freq[b] || (freq[a] == freq[b] && a > b); });

    // Nodes 0..leaves-1 are the sorted leaves, then the internal nodes in the
    // order they are made (their weights never decrease).
    std::vector<uint64_t> weight(size_t(2 * leaves - 1));
    std::vector<int> parent(size_t(2 * leaves - 1), -1);
    for (int i = 0; i < leaves; ++i)
        weight[size_t(i)] = freq[symbols[size_t(i)]];
    int nextLeaf = 0, nextNode = leaves, made = leaves;
    auto takeSmallest = [&]() {
        if (nextLeaf < leaves
            && (nextNode >= made || weight[size_t(nextLeaf)] <= weight[size_t(nextNode)]))
            return nextLeaf++;
        return nextNode++;
    };
    while (made < 2 * leaves - 1) {
        int a = takeSmallest();
        int b = takeSmallest();
        weight[size_t(made)] = weight[size_t(a)] + weight[size_t(b)];
        parent[size_t(a)] = parent[size_t(b)] = made;
        ++made;
    }

    // Depths: the root is the last node; parents always come after children.
    std::vector<int> depth(size_t(2 * leaves - 1), 0);
    std::vector<int> perLength(size_t(maxLength) + 1, 0);
    for (int n = 2 * leaves - 3; n >= 0; --n)
        depth[size_t(n)] = depth[size_t(parent[size_t(n)])] + 1;
    for (int i = 0; i < leaves; ++i)
        ++perLength[size_t(std::min(depth[size_t(i)], maxLength))];

    uint64_t kraft = 0;
    for (int len = 1; len <= maxLength; ++len)
        kraft += uint64_t(perLength[size_t(len)]) << (maxLength - len);
    const uint64_t full = uint64_t(1) << maxLength;
    while (kraft > full) {
        // Move a leaf from the deepest non-full level down one level, where it
        // pairs with one of the clamped leaves: the sum drops by exactly one.
        int len = maxLength - 1;
        while (perLength[size_t(len)] == 0)
            --len;
        --perLength[size_t(len)];
        perLength[size_t(len) + 1] += 2;
        --perLength[size_t(maxLength)];
        --kraft;
    }

    // Longest codes to the rarest symbols (symbols[] is sorted by frequency).
    int leaf = 0;
    for (int len = maxLength; len >= 1; --len)
        for (int k = 0; k < perLength[size_t(len)]; ++k)
            lengths[symbols[size_t(leaf++)]] = uint8_t(len);
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
