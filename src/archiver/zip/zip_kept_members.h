#pragma once
// The members of an existing ZIP archive as its central directory lists
// them, so that an add can copy the ones it keeps byte for byte: local
// header, data and descriptor as they are, and the central directory record
// with only its offset moved. Names, flags, permission bits, extra fields
// and the method stay exactly as the old archive had them, whatever the
// names' encoding; the archive comment is kept too.

#include "archiver/archive_input.h"

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace sheaf::archiver {

struct ZipKeptMember
{
    // The name as a path: UTF-8 when flagged so, code page 932 otherwise
    // (ASCII as it is), '\' taken as '/', no trailing '/'. Only for finding
    // the members that a new one replaces.
    std::string path;
    uint64_t offset = 0; // of the local header in the old archive
    uint64_t length = 0; // local header, data and descriptor
    std::vector<uint8_t> central; // the central directory record
    size_t offsetField = 42; // where its local header offset is in `central`
    bool wideOffset = false; // 8 bytes (Zip64 extra field) instead of 4
};

struct ZipDirectory
{
    std::vector<ZipKeptMember> members; // in the order of the local headers
    std::vector<uint8_t> comment;
};

// Throws ArchiveError(NotAnArchive) naming `archive` when its directory
// cannot be read or does not match its local headers, or a member that the
// add keeps (its path not in `replaced`) is encrypted or has a local header
// whose flags, method or name differ from its central record's; ReadFailed
// when it cannot be read at all.
ZipDirectory readZipDirectory(const ArchiveInput &archive, const std::set<std::string> &replaced);

// The same on bytes in memory (`name` only for messages).
ZipDirectory parseZipDirectory(const std::vector<uint8_t> &bytes, const std::string &name);

} // namespace sheaf::archiver
