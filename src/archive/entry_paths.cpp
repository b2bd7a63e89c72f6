// Path texts of one compress entry. They are composed as plain text on
// purpose: the archive path keeps whatever the folder texts hold, a doubled
// separator included, which the file system reads as one.

#include "archive/entry_paths.h"

namespace sheaf {

QString folderNameOf(const QString &dir)
{
    qsizetype end = dir.size() - 1; // the closing separator
    qsizetype start = end;
    while (start > 0 && dir[start - 1] != u'/')
        --start;
    return end > start ? dir.mid(start, end - start) : QString();
}

QString baseNameOf(const QString &fileName, const QString &extension)
{
    return fileName.left(qMax<qsizetype>(0, fileName.size() - extension.size()));
}

QString archivePathOf(
    bool output, const QString &outputFolder, const QString &dir, const QString &base)
{
    return output ? outputFolder + u'/' + base : dir + base;
}

} // namespace sheaf
