#pragma once
// The rename of the name-after-folder switch: it never replaces a file.

#include <QString>

namespace sheaf {

struct FolderRenameResult
{
    enum Outcome { Renamed, Unchanged, TargetExists, Failed };
    Outcome outcome = Unchanged;
    QString reason; // the system's text for a failed rename
};

// Renames dir + oldName to dir + newName only when no other file of the new
// name exists. A new name equal to the old one is no rename.
FolderRenameResult renameInFolder(
    const QString &dir, const QString &oldName, const QString &newName);

} // namespace sheaf
