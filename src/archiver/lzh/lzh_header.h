#pragma once
// Level-2 LZH member headers as we write them: OS id 'W', extended headers
// 0x00 (header CRC), 0x01 name, 0x02 directory, 0x40 attributes, 0x44/0x45
// (UTF-16 name and directory, only when the code page 932 form is a
// fallback), 0x46 code page 932, 0x42 (64-bit sizes, only when needed).

#include <cstdint>
#include <string>
#include <vector>

namespace sheaf::archiver {

struct LzhHeaderFields
{
    std::string method = "-lh0-"; // five characters
    uint64_t compressedSize = 0;
    uint64_t originalSize = 0;
    uint32_t mtime = 0; // Unix seconds, UTC
    uint16_t dataCrc = 0;
    std::string name; // code page 932, no directory part; empty for a folder
    std::string directory; // code page 932 components, each ending with 0xFF
    uint16_t attributes = 0x20;
    // Written only when `unicode` is set: the exact name and directory.
    bool unicode = false;
    std::u16string unicodeName;
    std::u16string unicodeDirectory; // components, each ending with 0xFFFF
    bool wideSizes = false; // 0x42 with 64-bit sizes (members of 4 GiB or more)
    // Optional headers we always write; off only to reproduce minimal headers.
    bool attributesHeader = true; // 0x40
    bool codePageHeader = true; // 0x46 = 932
};

// The complete header, T bytes long, header CRC filled in. The length depends
// only on the names and the flags, never on sizes or CRC, so a header can be
// rebuilt and patched in place once the data is written. Throws
// ArchiveError(TooLarge) when the header would not fit in 65535 bytes.
std::vector<uint8_t> buildLzhHeader(const LzhHeaderFields &fields);

} // namespace sheaf::archiver
