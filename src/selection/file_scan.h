#pragma once
// The folder scan behind the selection command.

#include "selection/candidate_list.h"
#include "selection/folder_listing.h"

#include <QString>

namespace sheaf {

// Told of progress while the scan runs; the window turns it into label
// updates (throttled), the console front end into a progress line.
class ScanProgress
{
public:
    virtual ~ScanProgress() = default;
    virtual void fileCountChanged(int fileCount) = 0;
    // Asked before each folder is listed: true ends the scan there (what
    // was found stays in the list).
    virtual bool stopRequested() const { return false; }
};

struct ScanResult
{
    bool selectionFolderUnreadable = false; // the top folder is missing or cannot be listed
    int skippedFolders = 0; // subfolders that could not be listed
    bool listFull = false; // more files matched than the list holds; the rest were not stored
    QString refusedLink; // another user's symbolic link on the way to the top folder, not followed
};

// Appends to `list` every file of `folder` (and of its subfolders when
// subfolderFlag == 1) whose name ends, ignoring case, in `extension`. Hidden
// and system entries, "pagefile.sys" and folders reached through a symbolic
// link are skipped. `folder` is used as given: a text ending in the separator
// gives directories with the separator doubled. The list keeps `folder` and
// the identity of every folder listed (CandidateList::ScanFolder,
// ListedFolders), for the run to check.
ScanResult FileScan(const QString &folder, int subfolderFlag, const QString &extension,
    CandidateList &list, ScanProgress *progress = nullptr);
// The same over a given view of the disk (tests make folders unlistable with it).
// A symbolic link to a file counts as a file; an entry that has gone by the
// time it is examined is skipped. When the list is full the scan stops and
// sets listFull; the first 30000 files found stay in the list.
ScanResult FileScan(const QString &folder, int subfolderFlag, const QString &extension,
    CandidateList &list, ScanProgress *progress, FolderListing &disk);

} // namespace sheaf
