#pragma once
// The rename of the name-after-folder switch: it never replaces a file.

#include "base/file.h"

#include <QString>

namespace sheaf {

struct FolderRenameResult
{
    enum Outcome { Renamed, Unchanged, TargetExists, Failed };
    Outcome outcome = Unchanged;
    QString reason; // the system's text for a failed rename
};

// Renames oldName to newName inside the open folder only when no other file
// of the new name exists. A new name equal to the old one is no rename.
FolderRenameResult renameInFolder(File &folder, const QString &oldName, const QString &newName);

} // namespace sheaf
