#include "archive/entry_folders.h"

#include "selection/name_text.h"

#include <QStringList>
#include <cerrno>

namespace sheaf {

namespace {

bool isListed(const File &folder, const FolderId &listed)
{
    const platform::FileFacts facts = folder.facts();
    return facts.error == 0 && facts.device == listed.device && facts.inode == listed.inode;
}

} // namespace

EntryFolders::EntryFolders(const CandidateList &list)
    : m_scanFolder(list.ScanFolder)
    , m_listed(list.ListedFolders)
{
    if (!m_scanFolder.isEmpty())
        m_root = File::openFolder(namePath(m_scanFolder));
}

EntryFolder EntryFolders::open(const QString &dir) const
{
    if (m_scanFolder.isEmpty()) {
        File folder = File::openFolder(namePath(dir));
        const int err = folder.error();
        return {std::move(folder), err};
    }
    const auto listed = m_listed.constFind(dir);
    if (listed == m_listed.constEnd() || !dir.startsWith(m_scanFolder))
        return {File(), ESTALE}; // not a folder this scan listed
    if (!m_root)
        return {File(), m_root.error()};
    File folder = m_root.duplicate();
    // The scan appended the separator and each name: a doubled separator
    // (a selection folder given with one at its end) names nothing.
    for (const QString &name : dir.mid(m_scanFolder.size()).split(u'/', Qt::SkipEmptyParts)) {
        if (!folder)
            break;
        folder = File::openFolder(folder, nameBytes(name).toStdString(), File::Links::DontFollow);
    }
    if (!folder) {
        const int err = folder.error();
        return {std::move(folder), err};
    }
    if (!isListed(folder, *listed))
        return {File(), ESTALE};
    return {std::move(folder), 0};
}

} // namespace sheaf
