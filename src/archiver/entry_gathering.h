#pragma once
// Turning a request's names and patterns into the members to write.
//
// Each name is looked up in the base folder (a name may hold subfolders
// before its last part, which alone may hold wildcards). With recursion a
// name also matches in every subfolder, and every folder whose name matches
// is stored as a folder entry, so empty folders survive. Wildcards skip
// hidden and system entries unless the request includes them; a literal name
// is taken as named. With recursion a name ending in '/' names one folder
// (literally, never through a link): its entry comes first, then everything
// it holds, hidden entries as the request says. Folders are walked relative
// to their parent's handle (source_tree.h), so depth alone never keeps a
// file out. The archive itself is never gathered, nor are temporary files of
// this engine (see isTemporaryName), which are reported as left out when
// they match.
//
// Nothing is left out silently. A folder that cannot be listed or searched
// fails the run, naming it, and so does a name the archive could not hold
// as it is (not valid UTF-8, or holding a backslash). Left out and reported
// (`leftOut`) are: named pipes, sockets and devices (never opened); symbolic
// links that lead nowhere or into a loop; links another user owns; and,
// when recursing (a whole-folder archive), links to a folder (never
// followed) and links to a file outside the folder being archived. A link
// to a file named on its own is taken as that file (unless another user
// owns it).
//
// The order is stable: names in their order, the matches of each sorted by
// name, a folder's entry just before what it holds. A file matched twice is
// taken once; two files that would share a stored path are refused.

#include "archiver/archive_entry.h"
#include "archiver/archive_request.h"
#include "archiver/engine.h"
#include "base/platform.h"

#include <atomic>

namespace sheaf::archiver {

// Throws ArchiveError: ReadFailed (missing base folder, missing literal
// file, unreadable folder, a name that cannot be stored), NothingMatched,
// BadCommandLine, Cancelled. `leftOut`, when given, receives what was found
// but not taken, also when it throws. The archive itself is never taken;
// `archive`, when given, is what the caller already found at its path
// (links followed), saving a look at it. `base`, when given, is the base
// folder opened by the caller: names are looked up from it (subfolders of a
// name one by one, never through a link), never through its path.
ArchiveEntries gatherEntries(const ArchiveRequest &request,
    const std::atomic<bool> *cancel = nullptr, std::vector<LeftOut> *leftOut = nullptr,
    const platform::FileFacts *archive = nullptr, const File *base = nullptr);

} // namespace sheaf::archiver
