#include "archiver/lzh/lzh_level.h"

#include <algorithm>

namespace sheaf::archiver {

namespace {

// Levels 1 to 6 make the trade-offs of zlib's levels, the default at zlib's
// 6. The larger windows get longer chains at the default: the 64 KiB window
// holds eight times the candidates of the 8 KiB one. -lh5-'s default is
// tuned for speed at the bytes of other -lh5- writers.
constexpr LzhLevel kLevels[] = {
    {.goodLength = 4, .maxLazy = 4, .niceLength = 16, .maxChain = 16}, // 1
    {.goodLength = 4, .maxLazy = 4, .niceLength = 16, .maxChain = 16}, // 2
    {.goodLength = 4, .maxLazy = 4, .niceLength = 16, .maxChain = 16}, // 3
    {.goodLength = 8, .maxLazy = 16, .niceLength = 32, .maxChain = 32}, // 4
    {.goodLength = 8, .maxLazy = 16, .niceLength = 32, .maxChain = 32}, // 5
    {.goodLength = 8, .maxLazy = 16, .niceLength = 128, .maxChain = 256}, // 6
    {.niceLength = 32, .maxChain = 16, .passes = 1}, // 7
    {.niceLength = 96, .maxChain = 32, .passes = 2}, // 8
    {.niceLength = 256, .maxChain = 64, .passes = 2}, // 9
};
constexpr LzhLevel kDefaultLh5 = {.goodLength = 8, .maxLazy = 32, .niceLength = 64, .maxChain = 48};

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
