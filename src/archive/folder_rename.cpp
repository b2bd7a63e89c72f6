// A plain rename would silently replace a file that already bears the
// folder's name; renameNoReplace refuses instead. On a file system that
// ignores letter case the "existing" target may be the file itself (IMG.TXT
// to img.TXT): then the rename only changes the case and replaces nothing.
// Both names are looked up in the folder the run opened and checked, never
// through its path.

#include "archive/folder_rename.h"

#include "selection/name_text.h"

#include <cerrno>

namespace sheaf {

FolderRenameResult renameInFolder(File &folder, const QString &oldName, const QString &newName)
{
    if (oldName == newName)
        return {FolderRenameResult::Unchanged, {}};
    const std::string from = nameBytes(oldName).toStdString();
    const std::string to = nameBytes(newName).toStdString();
    if (folder.renameNoReplace(from, to))
        return {FolderRenameResult::Renamed, {}};
    const int err = errno;
    if (err == EEXIST) {
        // Only the same entry counts: a symbolic link of the new name that
        // points at the file is another file, and stays.
        const platform::FileFacts target = folder.factsOf(to, File::Links::DontFollow);
        if (!target.isLink && target.sameFileAs(folder.factsOf(from, File::Links::DontFollow))) {
            if (folder.rename(from, to))
                return {FolderRenameResult::Renamed, {}};
            return {FolderRenameResult::Failed, QString::fromStdString(platform::errorText(errno))};
        }
        return {FolderRenameResult::TargetExists, {}};
    }
    return {FolderRenameResult::Failed, QString::fromStdString(platform::errorText(err))};
}

} // namespace sheaf
