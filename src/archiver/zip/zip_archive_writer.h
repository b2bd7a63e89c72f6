#pragma once
// Writes a whole ZIP archive through libarchive: deflate (stored where it
// would not shrink a member), UTF-8 names with the UTF-8 flag set, local
// modification times, Zip64 where a member needs it.

#include "archiver/archive_entry.h"
#include "archiver/archive_format.h"
#include "archiver/output_file.h"

#include <atomic>
#include <filesystem>
#include <set>
#include <string>

namespace sheaf::archiver {

// Writes into `out`: first the members of `existing` (empty path: none) whose
// path is not in `replaced`, in their old order, copied byte for byte (local
// header, data and descriptor; the central record with its offset moved),
// then the new entries through libarchive. Throws ArchiveError: NotAnArchive
// when `existing` is not a readable ZIP archive, ReadFailed, WriteFailed,
// Cancelled. Returns every member written, in order.
ArchivedMembers writeZipArchive(const std::filesystem::path &existing,
    const std::set<std::string> &replaced, const ArchiveEntries &entries, OutputFile &out,
    const std::atomic<bool> *cancel, ReadProgress *progress = nullptr);

} // namespace sheaf::archiver
