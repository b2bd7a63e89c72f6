#pragma once
// Reading a finished ZIP or cabinet back through libarchive's readers (which
// share no code with libarchive's ZIP writer or with libgcab's writer).

#include "archiver/archive_format.h"

#include <set>
#include <string>

namespace sheaf::archiver {

enum class LibarchiveFormat { Zip, Cab };

// Every member in order, its data decoded and checksummed. A cabinet's '\'
// separators come back as '/'. Throws ArchiveError(VerifyFailed) when the
// archive or a member cannot be read, Cancelled.
ArchivedMembers readBackWithLibarchive(
    const std::filesystem::path &archive, LibarchiveFormat format, const FormatContext &context);

// The stored paths of the files a run adds: the members of those paths in
// the old archive are replaced.
std::set<std::string> replacedPaths(const ArchiveEntries &entries);

// The same over an existing archive before an add: every member but those
// of the `replaced` paths decoded and checksummed, so that none is kept that
// a reader cannot read. Throws ArchiveError(NotAnArchive) naming the archive
// and the member (an encrypted member is named as such), Cancelled.
ArchivedMembers readExistingWithLibarchive(const std::filesystem::path &archive,
    LibarchiveFormat format, const FormatContext &context, const std::set<std::string> &replaced);

} // namespace sheaf::archiver
