#pragma once
// Writes a whole cabinet through libgcab: one MSZIP folder, names with '\'
// separators (marked as UTF-8 where not ASCII, as Windows' expander reads
// them), local times and DOS attributes. A cabinet has no folder entries:
// folders appear only in the paths of their files.

#include "archiver/archive_entry.h"
#include "archiver/archive_format.h"
#include "archiver/output_file.h"

#include <filesystem>

namespace sheaf::archiver {

// What one cabinet can hold when written as a single folder: at most 65535
// data blocks of 32 KiB, at most 65535 files, names below 256 bytes.
constexpr uint64_t kCabMaxFolderBytes = 65535ull * 32768ull;
constexpr uint32_t kCabMaxFiles = 65535;
constexpr size_t kCabMaxNameBytes = 255;

// Writes into `out`: first the members of `existing` (empty path: none) whose
// path is not in context.replaced, in their old order, then the new entries.
// libgcab cannot copy members as they are: the kept ones are extracted into
// context.makeScratchFolder() (a folder beside the archive, removed by the caller)
// and written again. Throws ArchiveError: NotAnArchive, ReadFailed, TooLarge,
// NothingMatched (no file at all: a cabinet of empty folders), WriteFailed,
// Cancelled. Every file, kept ones included, is read through SourceFile.
// Returns the members written, in order ('/' separators). `oldMembers`: the
// old cabinet as another reader found it; a kept member whose bytes are not
// among them is refused (NotAnArchive).
ArchivedMembers writeCabArchive(const std::filesystem::path &existing,
    const ArchiveEntries &entries, OutputFile &out, const FormatContext &context,
    const ArchivedMembers *oldMembers = nullptr);

} // namespace sheaf::archiver
