#include "selection/file_scan.h"

#include <QVector>

namespace sheaf {

namespace {

const QChar separator = u'/';

class Scan
{
public:
    Scan(const QString &extension, CandidateList &list, ScanProgress *progress, FolderListing &disk,
        ScanResult &result)
        : m_ext(extension)
        , m_list(list)
        , m_progress(progress)
        , m_disk(disk)
        , m_result(result)
    {
    }

    // False when the folder could not be listed.
    bool folder(const QString &folder, int subfolderFlag)
    {
        // The whole folder is listed before any entry is examined, so only
        // one listing is open at a time however deep the tree.
        QVector<FolderEntry> entries;
        if (m_progress && m_progress->stopRequested())
            m_stopped = true;
        if (m_stopped)
            return true;
        if (!m_disk.list(folder, entries))
            return false;
        const QString dir = folder + separator; // shared by every entry of this folder
        m_list.ListedFolders.insert(dir, m_disk.listedFolder());
        for (const FolderEntry &entry : std::as_const(entries)) {
            if (m_stopped)
                return true;
            if (isPagefile(entry.name))
                continue;
            EntryKind kind = entry.kind;
            if (kind == EntryKind::Unknown)
                kind = m_disk.examine(dir + entry.name);
            if (kind == EntryKind::Folder) {
                if (subfolderFlag == 1 && !this->folder(dir + entry.name, subfolderFlag))
                    ++m_result.skippedFolders;
            } else if (kind == EntryKind::File && matches(entry.name)) {
                add(dir, entry.name);
            }
        }
        return true;
    }

private:
    static bool isPagefile(const QString &name)
    {
        return name.size() == 12 && name.toLower() == QLatin1String("pagefile.sys");
    }

    // The last n characters of the name equal the extension of n characters,
    // letter case ignored character by character (a case mapping that
    // changes the length, as U+0130's lower case does, would miss the name).
    bool matches(const QString &name) const
    {
        const qsizetype n = m_ext.size();
        if (name.size() < n)
            return false; // the whole name, shorter than the extension, cannot equal it
        return QStringView(name).right(n).compare(m_ext, Qt::CaseInsensitive) == 0;
    }

    void add(const QString &dir, const QString &name)
    {
        if (!m_list.append(dir, name)) {
            // The list is full: nothing more is stored, and the scan stops.
            m_result.listFull = true;
            m_stopped = true;
            return;
        }
        if (m_progress)
            m_progress->fileCountChanged(m_list.FileCount);
    }

    const QString m_ext;
    CandidateList &m_list;
    ScanProgress *m_progress;
    FolderListing &m_disk;
    ScanResult &m_result;
    bool m_stopped = false;
};

} // namespace

ScanResult FileScan(const QString &folder, int subfolderFlag, const QString &extension,
    CandidateList &list, ScanProgress *progress)
{
    DiskFolderListing disk;
    return FileScan(folder, subfolderFlag, extension, list, progress, disk);
}

ScanResult FileScan(const QString &folder, int subfolderFlag, const QString &extension,
    CandidateList &list, ScanProgress *progress, FolderListing &disk)
{
    ScanResult result;
    list.ScanFolder = folder;
    Scan scan(extension, list, progress, disk, result);
    if (!scan.folder(folder, subfolderFlag)) {
        result.selectionFolderUnreadable = true;
        result.refusedLink = disk.refusedLink();
    }
    return result;
}

} // namespace sheaf
