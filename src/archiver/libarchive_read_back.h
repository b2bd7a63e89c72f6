#pragma once
// Reading a finished ZIP or cabinet back through libarchive's readers (which
// share no code with libarchive's ZIP writer or with libgcab's writer).

#include "archiver/archive_format.h"

#include <optional>
#include <string>
#include <vector>

namespace sheaf::archiver {

enum class LibarchiveFormat { Zip, Cab };

// Every member in order, its data decoded and checksummed. A cabinet's '\\'
// separators come back as '/'. Each member's path is the name in
// `storedNames` (the directory's bytes, one a member in its order) where it
// has one, else libarchive's. Throws ArchiveError(VerifyFailed) naming the
// archive when it or a member cannot be read, Cancelled.
ArchivedMembers readBackWithLibarchive(const ArchiveToRead &archive, LibarchiveFormat format,
    const FormatContext &context, const std::vector<std::optional<std::string>> &storedNames);

// The same over an existing archive before an add: every member but those
// the add replaces (context.replaced) decoded and checksummed, so that none
// is kept that a reader cannot read. Throws ArchiveError(NotAnArchive)
// naming the archive and the member (an encrypted member is named as such),
// Cancelled.
ArchivedMembers readExistingWithLibarchive(
    const std::filesystem::path &archive, LibarchiveFormat format, const FormatContext &context);

} // namespace sheaf::archiver
