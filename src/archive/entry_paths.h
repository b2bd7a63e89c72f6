#pragma once
// The names one entry of a compress run works with: the folder name for the
// rename, the base name and the archive path (without the archiver's
// extension). Folders use '/' and FileDir ends in it.

#include <QString>

namespace sheaf {

// The last component of `dir`: walk back from its second-last character to
// the previous separator. "/data/photos/" gives "photos"; "/" and a doubled
// "D://" give the empty text.
QString folderNameOf(const QString &dir);
// `fileName` less as many trailing characters as `extension` has (by length
// only: "IMG01.txt" with ".TXT" gives "IMG01").
QString baseNameOf(const QString &fileName, const QString &extension);
// output ? outputFolder + "/" + base (the separator is added even when the
// folder text ends in one) : dir + base.
QString archivePathOf(
    bool output, const QString &outputFolder, const QString &dir, const QString &base);

} // namespace sheaf
