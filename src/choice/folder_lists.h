#pragma once
// The folder picker's two lists as plain data. The drive list holds the
// mounted volumes, the root first; the directory list holds the folders from
// the root down to the open folder, then the open folder's subfolders.

#include <QString>
#include <QStringList>

namespace sheaf {

// Mount points of the readable local volumes, "/" first, the rest in
// alphabetical order; every entry is a folder.
QStringList mountedVolumes();
// The volume of `volumes` that holds `path`: its longest mount point.
QString volumeOf(const QString &path, const QStringList &volumes);

// One folder as the picker shows it. (Not the selection's FolderListing: two
// classes of one name in one program break the one-definition rule.)
struct FolderPickerListing
{
    QString open; // the open folder, clean and absolute; the root keeps its "/"
    QStringList chain; // "/" ... open: every folder from the root down to it
    QStringList subfolders; // full paths, hidden ones left out, sorted by name
    int errorNumber = 0; // 0 when the folder could be listed
    QString errorText; // the platform's description of errorNumber
};

// Lists `path`. On failure errorNumber and errorText say why and the lists
// stay empty.
FolderPickerListing listFolder(const QString &path);
// The name a folder shows in the list: its last component, "/" for the root.
QString folderDisplayName(const QString &path);

} // namespace sheaf
