#pragma once
// Reading a finished ZIP or cabinet back through libarchive's readers (which
// share no code with libarchive's ZIP writer or with libgcab's writer).

#include "archiver/archive_format.h"

namespace sheaf::archiver {

enum class LibarchiveFormat { Zip, Cab };

// Every member in order, its data decoded and checksummed. A cabinet's '\'
// separators come back as '/'. Throws ArchiveError(VerifyFailed) when the
// archive or a member cannot be read, Cancelled.
ArchivedMembers readBackWithLibarchive(
    const std::filesystem::path &archive, LibarchiveFormat format, const FormatContext &context);

// The same over an existing archive before an add: every member decoded and
// checksummed, so that none is kept that a reader cannot read. Throws
// ArchiveError(NotAnArchive) naming the archive and the member (an
// encrypted member is named as such), Cancelled.
ArchivedMembers readExistingWithLibarchive(
    const std::filesystem::path &archive, LibarchiveFormat format, const FormatContext &context);

} // namespace sheaf::archiver
