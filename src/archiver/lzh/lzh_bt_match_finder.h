#pragma once
// Binary-tree match finder for the near-optimal parse (levels 7 to 9),
// windows up to 64 KiB. Each 4-byte hash bucket holds a binary tree of the
// positions whose bytes hash there, sorted by the bytes that follow them;
// inserting a position walks the tree from its root once, collects on the
// way a match of every length that the window holds (the nearest the walk
// meets for each), and makes the new position the root, its subtrees split
// from the old tree on the way. A walk visits about log2 of the positions a
// hash chain would, and each visit starts its compare at the prefix the
// path has already shown to be common. Matches of 3 bytes come from a
// small hash table of the two latest positions per 3-byte hash instead:
// they are worth taking only near.
//
// Positions are indices into the caller's input buffer (LzhInputWindow);
// rebase() follows it when it slides.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace sheaf::archiver {

struct LzhMatch
{
    uint16_t d; // distance - 1
    uint8_t p; // the P symbol of d
    uint8_t lengthLess3; // length - 3

    int length() const { return lengthLess3 + 3; }
};

// The matches of consecutive positions: those of the i-th are
// matches[starts[i] .. starts[i + 1]). The vectors are buffers that only
// grow; `positions` and `count` say how much of them holds matches.
struct LzhMatchList
{
    std::vector<LzhMatch> matches;
    std::vector<uint32_t> starts;
    size_t positions = 0;
    size_t count = 0;

    void clear() { positions = count = 0; }
};

class LzhBtMatchFinder
{
public:
    // `capacity`: the buffer's size.
    LzhBtMatchFinder(int windowBits, size_t capacity);

    // Forgets every position. `touched`: positions [0, touched) of the buffer
    // were inserted since the last reset and the buffer did not slide; then
    // only their buckets are cleared.
    void reset(const uint8_t *buffer, size_t touched);

    // Inserts positions [from, to) of `buffer`, which holds `end` bytes, and
    // appends their matches to `list`, each longer than the one before, none
    // longer than kLzhMaxMatch or running past `end`. A walk stops at a
    // match of niceLength or after `depth` nodes; after a match of
    // niceLength, the positions it covers are only inserted (their matches
    // would be its tail), and the range grows to take them all. Returns
    // where the range ends.
    size_t collect(const uint8_t *buffer, size_t from, size_t to, size_t end, int niceLength,
        int depth, LzhMatchList &list);

    // Inserts positions [from, to) without gathering matches (the history
    // before a chunk).
    void insert(
        const uint8_t *buffer, size_t from, size_t to, size_t end, int niceLength, int depth);

    // Every position went down by `shift`; positions below `inserted` were
    // inserted.
    void rebase(size_t shift, size_t inserted);

private:
    static constexpr int32_t kNil = -1;

    struct Hashes
    {
        uint32_t h3, h4;
    };
    Hashes hashesAt(const uint8_t *p) const;
    // Inserts `pos` (maxLength at least 5: the hash reads 4 bytes) and,
    // with Collect, writes its matches to `out`; returns how many.
    template<bool Collect>
    int advance(const uint8_t *buffer, size_t pos, Hashes hashes, int maxLength, int niceLength,
        int depth, LzhMatch *out);

    const int32_t m_window;
    const int m_hash3Bits;
    const int m_hash4Bits;
    std::vector<int32_t> m_head3; // two ways per bucket: the latest, the one before
    std::vector<int32_t> m_head4; // tree roots
    // [2 * pos]: smaller subtree, [2 * pos + 1]: larger. Written when a
    // position is inserted, before any walk reads it: left uninitialised,
    // so that a small member touches only its own part.
    std::unique_ptr<int32_t[]> m_child;
    size_t m_skipUntil = 0; // positions below this are inside a long match
};

} // namespace sheaf::archiver
