#pragma once
// The records of a finished cabinet as the read-back checks them: the
// header, its one folder, the file list and the data blocks.

#include "archiver/archive_format.h"
#include "archiver/archive_input.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sheaf::archiver {

// What the cabinet writer meant a file's entry to hold besides its name and
// size: its DOS date, time and attributes (the UTF-8 mark included).
struct CabReadHints final : ReadHints
{
    uint16_t date = 0, time = 0, attributes = 0;
};

// Checks every record against the file and against `written` (with its
// CabReadHints): the header (signature, reserved fields, version, the
// cabinet's size, one folder, the file count, no flags, libgcab's set id 0,
// the first and only cabinet of its set), the folder (MSZIP, its blocks), each file entry (size,
// offset in the folder, date, time, attributes, name) and each data block
// (checksum, sizes, the last ending the file; together exactly the files'
// bytes). Returns one entry a file, in the list's order: its name bytes
// ('\' as '/') when marked as UTF-8 (libarchive gives such a name in form
// C), nothing when not. Throws ArchiveError(VerifyFailed) naming `archive`
// and the first difference; ReadFailed.
std::vector<std::optional<std::string>> checkWrittenCab(
    const ArchiveInput &archive, const ArchivedMembers &written);

} // namespace sheaf::archiver
