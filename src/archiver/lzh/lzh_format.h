#pragma once
// The LZH format's constants, for its writer and its reader alike.

#include "archiver/archive_request.h"

#include <cstdint>
#include <string_view>

namespace sheaf::archiver {

struct LzhMethodFacts
{
    std::string_view id; // "-lh5-" ...
    int windowBits; // 13, 15, 16
    int positionSymbols; // NP: 14, 16, 17
    int positionCountBits; // PBIT: 4, 5, 5
};

constexpr LzhMethodFacts kLzhMethods[] = {
    {"-lh5-", 13, 14, 4},
    {"-lh6-", 15, 16, 5},
    {"-lh7-", 16, 17, 5},
};

constexpr const LzhMethodFacts &lzhMethodFacts(LzhMethod method)
{
    return kLzhMethods[int(method)];
}

constexpr std::string_view kLzhStored = "-lh0-";
constexpr std::string_view kLzhFolder = "-lhd-";
constexpr int kLzhCodeSymbols = 510; // NC: 256 literals and the match lengths 3..256
constexpr int kLzhCodeLengthSymbols = 19; // NT
constexpr int kLzhMaxCodeLength = 16;

// The extended headers read and written here.
enum LzhExtendedHeader : uint8_t {
    kLzhHeaderCrc = 0x00,
    kLzhFileName = 0x01,
    kLzhDirectoryName = 0x02,
    kLzhAttributes = 0x40,
    kLzhWideSizes = 0x42,
    kLzhUnicodeFileName = 0x44,
    kLzhUnicodeDirectoryName = 0x45,
    kLzhCodePage = 0x46,
    kLzhUnixTime = 0x54,
};

} // namespace sheaf::archiver
