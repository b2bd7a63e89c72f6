#include "archiver/lzh/lzh_level.h"

#include <algorithm>

namespace sheaf::archiver {

namespace {

// Levels 1 to 6 make the trade-offs of zlib's levels, the default at zlib's
// 6. The larger windows get longer chains at the default: the 64 KiB window
// holds eight times the candidates of the 8 KiB one. -lh5-'s default is
// tuned for speed at the bytes of other -lh5- writers. Levels 7 to 9 trade
// tree depth, the match length at which a search stops, and the second
// parse of each block (measured on 24 MiB of the corpus at -lh7-: each
// level about a fifth slower than the one below and 0.3 to 0.6 % smaller).
constexpr LzhLevel kLevels[] = {
    {.goodLength = 4, .maxLazy = 4, .niceLength = 8, .maxChain = 4}, // 1
    {.goodLength = 4, .maxLazy = 5, .niceLength = 16, .maxChain = 8}, // 2
    {.goodLength = 4, .maxLazy = 6, .niceLength = 32, .maxChain = 16}, // 3
    {.goodLength = 4, .maxLazy = 16, .niceLength = 32, .maxChain = 24}, // 4
    {.goodLength = 8, .maxLazy = 16, .niceLength = 32, .maxChain = 32}, // 5
    {.goodLength = 8, .maxLazy = 16, .niceLength = 128, .maxChain = 256}, // 6
    {.niceLength = 32, .maxChain = 8, .passes = 1}, // 7
    {.niceLength = 128, .maxChain = 32, .passes = 1}, // 8
    {.niceLength = 256, .maxChain = 64, .passes = 2}, // 9
};
constexpr LzhLevel kDefaultLh5 = {.goodLength = 6, .maxLazy = 32, .niceLength = 64, .maxChain = 40};

} // namespace

LzhLevel lzhLevel(int level, int windowBits)
{
    if (level < 1 || level > kLzhMaxLevel)
        level = kLzhDefaultLevel;
    if (level == kLzhDefaultLevel && windowBits < 15)
        return kDefaultLh5;
    return kLevels[level - 1];
}

} // namespace sheaf::archiver
