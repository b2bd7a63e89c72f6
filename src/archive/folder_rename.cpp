// A plain rename would silently replace a file that already bears the
// folder's name; renameNoReplace refuses instead. On a file system that
// ignores letter case the "existing" target may be the file itself (IMG.TXT
// to img.TXT): then the rename only changes the case and replaces nothing.

#include "archive/folder_rename.h"

#include "base/platform.h"
#include "selection/name_text.h"

#include <cerrno>
#include <filesystem>

namespace sheaf {

namespace {

std::filesystem::path fsPath(const QString &text)
{
    return namePath(text);
}

} // namespace

FolderRenameResult renameInFolder(
    const QString &dir, const QString &oldName, const QString &newName)
{
    namespace platform = sheaf::platform;
    if (oldName == newName)
        return {FolderRenameResult::Unchanged, {}};
    const auto from = fsPath(dir + oldName);
    const auto to = fsPath(dir + newName);
    if (platform::renameNoReplace(from, to))
        return {FolderRenameResult::Renamed, {}};
    const int err = errno;
    if (err == EEXIST) {
        // Only the same entry counts: a symbolic link of the new name that
        // points at the file is another file, and stays.
        std::error_code ec;
        const bool link = std::filesystem::is_symlink(to, ec);
        if (!link && !ec && std::filesystem::equivalent(from, to, ec) && !ec) {
            if (platform::renameReplace(from, to))
                return {FolderRenameResult::Renamed, {}};
            return {FolderRenameResult::Failed, QString::fromStdString(platform::errorText(errno))};
        }
        return {FolderRenameResult::TargetExists, {}};
    }
    return {FolderRenameResult::Failed, QString::fromStdString(platform::errorText(err))};
}

} // namespace sheaf
