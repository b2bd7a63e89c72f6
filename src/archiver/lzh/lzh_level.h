#pragma once
// How hard the encoder works at each level. Levels 1 to 6 parse lazily over
// hash chains (lzh_match_finder); 7 to 9 find the matches of every length
// in binary trees and choose the cheapest path through them
// (lzh_optimal_parse).

namespace sheaf::archiver {

struct LzhLevel
{
    // Lazy parse: with a previous match this long, search a quarter of the
    // chain; with one this long, do not look for a better one.
    int goodLength = 0;
    int maxLazy = 0;
    // Stop searching at a match this long. The near-optimal parse also
    // takes such a match without looking at the positions it covers.
    int niceLength = 0;
    // Chain links followed (lazy), or tree nodes visited (near-optimal),
    // per search.
    int maxChain = 0;
    // Near-optimal parse: 1, each segment parsed once with the code of the
    // block so far; 2, a block's first segments parsed again with its final
    // code. 0: the lazy parse.
    int passes = 0;
};

// The highest level, and the level that 0 stands for.
constexpr int kLzhMaxLevel = 9;
constexpr int kLzhDefaultLevel = 6;

// Level 0 is the default.
LzhLevel lzhLevel(int level, int windowBits);

} // namespace sheaf::archiver
