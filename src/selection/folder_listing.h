#pragma once
// How the folder scan sees the disk: one folder listed completely, and an
// entry examined when the listing could not tell what it is. The scan takes
// this as an interface so that tests can make a folder unlistable or a file
// vanish between listing and examining, which chmod cannot do for root.

#include "selection/candidate_list.h"

#include <QString>
#include <QVector>

namespace sheaf {

enum class EntryKind {
    File, // a file, or a symbolic link to one
    Folder, // a folder reached directly
    LinkedFolder, // a folder reached through a symbolic link or a junction: never entered
    Unknown, // the listing could not tell: examine it
    Skip, // gone, a dangling link, or neither file nor folder (device, pipe, socket)
};

struct FolderEntry
{
    QString name;
    EntryKind kind = EntryKind::Unknown;
};

class FolderListing
{
public:
    virtual ~FolderListing() = default;
    // Every entry of `folder` in the order the file system gives them, without
    // ".", "..", hidden and system entries. Entries whose kind the listing
    // tells without another look at the disk come with it; links come as
    // Unknown. False, with `entries` in no particular state, when the folder
    // cannot be listed.
    virtual bool list(const QString &folder, QVector<FolderEntry> &entries) = 0;
    // What `path` is now; Skip when it has gone.
    virtual EntryKind examine(const QString &path) = 0;
    // The folder the last successful list() read, as the system knows it
    // (the one read, even when its path led elsewhere a moment later); zero
    // when unknown.
    virtual FolderId listedFolder() const { return {}; }
    // The symbolic link of another user that stopped the last list() on its
    // way to the folder; empty when none did.
    virtual QString refusedLink() const { return {}; }
};

// The real disk. Every folder is reached from the root folder one name at a
// time, following only the symbolic links of the user running and of root:
// another user, who may swap a folder of theirs for a link at any moment,
// cannot lead the scan (of a run as root, say) to files they may not read.
// A subfolder that a listing found as a folder is opened without following
// a link that has taken its place since.
class DiskFolderListing : public FolderListing
{
public:
    bool list(const QString &folder, QVector<FolderEntry> &entries) override;
    EntryKind examine(const QString &path) override;
    FolderId listedFolder() const override { return m_listed; }
    QString refusedLink() const override { return m_refusedLink; }

private:
    bool m_first = true;
    FolderId m_listed;
    QString m_refusedLink;
};

} // namespace sheaf
