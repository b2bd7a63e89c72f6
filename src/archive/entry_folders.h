#pragma once
// Each entry's folder, reached the way the scan found it: from the selection
// folder, opened once when the run starts, one name at a time without
// following a symbolic link, and taken only when it is still the folder the
// scan listed (the same device and inode). A folder swapped for a link to
// somewhere else, moved or replaced since the scan is never entered: the run
// refuses its entry. Everything the run then does in that folder (the
// rename, gathering, an archive written beside the file) goes through the
// handle, never through the path again.

#include "base/file.h"
#include "selection/candidate_list.h"

#include <QHash>
#include <QString>

namespace sheaf {

// An entry's folder, open and checked; or why not.
struct EntryFolder
{
    File folder;
    int error = 0; // an errno; 0 when `folder` is open
};

class EntryFolders
{
public:
    // Opens the selection folder of the list's scan (following a link
    // there: the user named it).
    explicit EntryFolders(const CandidateList &list);

    // The open folder of an entry's FileDir text. Not open when it is not
    // the folder listed any more: ESTALE (another folder), ELOOP or ENOTDIR
    // (a link or a file in its place), ENOENT (gone), or what else kept it
    // from being opened. A list the scan did not fill has nothing to check
    // against: its folders are opened by their paths. Thread-safe.
    EntryFolder open(const QString &dir) const;

private:
    QString m_scanFolder;
    QHash<QString, FolderId> m_listed;
    File m_root;
};

} // namespace sheaf
