#pragma once
// The stored bytes of the names in a finished cabinet, read from its file
// list as written. libarchive's reader gives a name marked as UTF-8 in
// normalisation form C: a name in form D (as a Mac writes "ガ" as "カ" and
// U+3099) would read back as another name than the one written, and the
// check would refuse a sound archive. The list's bytes are what every reader
// starts from, so the read-back compares those.

#include "archiver/archive_input.h"

#include <optional>
#include <string>
#include <vector>

namespace sheaf::archiver {

// One entry a file, in the list's order: its name bytes ('\' as '/') when it
// is marked as UTF-8, nothing when it is not. Nothing at all when the list
// cannot be read as one. Throws ArchiveError(ReadFailed).
std::optional<std::vector<std::optional<std::string>>> cabUnicodeNames(const ArchiveInput &archive);

} // namespace sheaf::archiver
