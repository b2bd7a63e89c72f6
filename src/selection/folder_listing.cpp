#include "selection/folder_listing.h"

#include "base/file.h"
#include "base/platform.h"
#include "selection/name_text.h"

#ifdef _WIN32
#include <QFileInfo>
#endif

#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace sheaf {

namespace {

// Names keep every byte (selection/name_text.h): a folder whose name is not
// UTF-8 is listed itself, never a look-alike.
fs::path toPath(const QString &text)
{
    return namePath(text);
}

QString fromPath(const fs::path &path)
{
    return nameFromPath(path);
}

} // namespace

// std::filesystem rather than QDirIterator: it reports a folder that cannot
// be listed instead of yielding nothing, and it keeps the entry type that the
// directory listing carries, so a plain file or folder costs no extra stat.
bool DiskFolderListing::list(const QString &folder, QVector<FolderEntry> &entries)
{
    entries.clear();
    // The folder is opened once and listed through its handle, so that its
    // identity is the one of the folder listed.
    std::error_code ec;
    const fs::path path = fs::absolute(toPath(folder), ec);
    if (ec)
        return false;
    File handle;
    fs::path link;
    if (std::exchange(m_first, false)) {
        handle = File::openFolderOwnLinks(path, &link);
    } else {
        const File parent = File::openFolderOwnLinks(path.parent_path(), &link);
        if (parent)
            handle = File::openFolder(parent, path.filename().native(), File::Links::DontFollow);
    }
    m_refusedLink = link.empty() ? QString() : fromPath(link);
    const platform::FileFacts facts = handle.facts();
    if (!handle || facts.error != 0)
        return false;
    m_listed = {facts.device, facts.inode};
    fs::directory_iterator it(handle.reachingPath(), ec);
    if (ec)
        return false;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            return false;
        const fs::directory_entry &entry = *it;
        if (platform::isHiddenOrSystem(entry.path()))
            continue;
        FolderEntry listed;
        listed.name = fromPath(entry.path().filename());
        std::error_code typeError;
        if (entry.is_symlink(typeError) || typeError)
            listed.kind = EntryKind::Unknown;
        else if (entry.is_directory(typeError))
#ifdef _WIN32
            listed.kind = EntryKind::Unknown; // it may be a junction
#else
            listed.kind = EntryKind::Folder;
#endif
        else if (entry.is_regular_file(typeError))
            listed.kind = EntryKind::File;
        else
            continue; // devices, pipes and sockets count as system entries
        entries.append(std::move(listed));
    }
    return !ec;
}

EntryKind DiskFolderListing::examine(const QString &path)
{
    const fs::path p = toPath(path);
    std::error_code ec;
    const fs::file_status own = fs::symlink_status(p, ec);
    if (ec || !fs::exists(own))
        return EntryKind::Skip;
    const bool viaLink = fs::is_symlink(own);
    const fs::file_status target = viaLink ? fs::status(p, ec) : own;
    if (ec)
        return EntryKind::Skip; // a dangling link
    if (fs::is_directory(target)) {
#ifdef _WIN32
        // A junction is not a symbolic link to std::filesystem.
        if (viaLink || QFileInfo(path).isJunction())
            return EntryKind::LinkedFolder;
#endif
        return viaLink ? EntryKind::LinkedFolder : EntryKind::Folder;
    }
    if (fs::is_regular_file(target))
        return EntryKind::File;
    return EntryKind::Skip;
}

} // namespace sheaf
