#pragma once
// Turning a request's names and patterns into the members to write.
//
// Each name is looked up in the base folder (a name may hold subfolders
// before its last part, which alone may hold wildcards). With recursion a
// name also matches in every subfolder, and every folder whose name matches
// is stored as a folder entry, so empty folders survive. Wildcards skip
// hidden and system entries unless the request includes them; a literal name
// is taken as named. Symbolic links to folders are never followed; links to
// files are read through. Temporary files of this engine (see
// isTemporaryName) and the archive itself are never gathered.
//
// The order is stable: names in their order, the matches of each sorted by
// name, a folder's entry just before what it holds. A file matched twice is
// taken once; two files that would share a stored path are refused.

#include "archiver/archive_entry.h"
#include "archiver/archive_request.h"

#include <atomic>

namespace sheaf::archiver {

// Throws ArchiveError: ReadFailed (missing base folder, missing literal
// file, unreadable folder), NothingMatched, BadCommandLine, Cancelled.
ArchiveEntries gatherEntries(
    const ArchiveRequest &request, const std::atomic<bool> *cancel = nullptr);

} // namespace sheaf::archiver
