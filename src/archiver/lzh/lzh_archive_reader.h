#pragma once
// Walks the members of an existing LZH archive (header levels 0 to 3) so that
// an add can keep the members it does not replace, byte for byte. Every
// header is checked (checksum or header CRC, bounds, sizes against the file
// size); anything doubtful refuses the whole archive, because its bytes
// would otherwise be copied into the new one.

#include "archiver/archive_input.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sheaf::archiver {

struct LzhMemberInfo
{
    uint64_t offset = 0; // of the header
    uint64_t totalSize = 0; // header and data
    std::string path; // UTF-8, '/'-separated, no trailing '/'
    std::string rawPath; // the stored name bytes, '/'-separated (code page 932 mostly)
    bool isDirectory = false;
    std::string method; // "-lh5-" ...
    int headerLevel = 0;
    uint64_t dataOffset = 0, dataSize = 0; // the packed data
    uint64_t originalSize = 0;
    int64_t mtime = 0; // Unix seconds; levels 0 and 1 hold local time
    uint16_t crc16 = 0; // of the original data, as stored
};

// Throws ArchiveError(NotAnArchive) naming `archive` when it is not a
// readable LZH archive, ReadFailed when it cannot be read at all.
std::vector<LzhMemberInfo> readLzhMembers(const ArchiveInput &archive);
std::vector<LzhMemberInfo> readLzhMembers(const std::filesystem::path &archive);

// The same on bytes in memory (`name` only for messages).
std::vector<LzhMemberInfo> parseLzhMembers(std::string_view bytes, const std::string &name);

} // namespace sheaf::archiver
