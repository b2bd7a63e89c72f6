#include "archiver/source_tree.h"

#include "archiver/archive_entry.h"
#include "archiver/archive_error.h"
#include "base/name_bytes.h"

#include <atomic>
#include <vector>

namespace sheaf::archiver {

namespace {

uint64_t nextId()
{
    static std::atomic<uint64_t> counter {0};
    return ++counter;
}

std::string shown(const std::filesystem::path &path)
{
    return escapedName(path.native());
}

[[noreturn]] void folderFailed(const char *what, const SourceFolder &folder, int err)
{
    throw ArchiveError(ErrorCode::ReadFailed,
        std::string(what) + ": " + shown(folder.path()) + ": " + platform::errorText(err));
}

} // namespace

std::shared_ptr<const SourceFolder> startFolder(const std::filesystem::path &path,
    const platform::FileFacts &facts, std::shared_ptr<FolderHandles> handles)
{
    auto folder = std::make_shared<SourceFolder>();
    folder->name = path.native();
    folder->fullPath = path;
    folder->device = facts.device;
    folder->inode = facts.inode;
    folder->id = nextId();
    folder->handles = std::move(handles);
    return folder;
}

std::shared_ptr<const SourceFolder> subfolder(std::shared_ptr<const SourceFolder> parent,
    const std::string &name, const platform::FileFacts &facts)
{
    auto folder = std::make_shared<SourceFolder>();
    folder->handles = parent->handles;
    folder->fullPath = parent->fullPath / name;
    folder->parent = std::move(parent);
    folder->name = name;
    folder->device = facts.device;
    folder->inode = facts.inode;
    folder->id = nextId();
    return folder;
}

const File *FolderHandles::cached(uint64_t id)
{
    if (const auto pinned = m_pinned.find(id); pinned != m_pinned.end())
        return &pinned->second;
    auto it = m_index.find(id);
    if (it == m_index.end())
        return nullptr;
    m_recent.splice(m_recent.begin(), m_recent, it->second);
    return &it->second->second;
}

const File &FolderHandles::insert(uint64_t id, File file)
{
    while (m_recent.size() >= m_capacity) {
        m_index.erase(m_recent.back().first);
        m_recent.pop_back();
    }
    m_recent.emplace_front(id, std::move(file));
    m_index[id] = m_recent.begin();
    return m_recent.front().second;
}

const File &FolderHandles::open(const SourceFolder &folder)
{
    if (const File *file = cached(folder.id))
        return *file;
    // The folders from the nearest one still open down to `folder`.
    std::vector<const SourceFolder *> chain {&folder};
    const File *above = nullptr;
    for (const SourceFolder *f = folder.parent.get(); f; f = f->parent.get()) {
        if ((above = cached(f->id)))
            break;
        chain.push_back(f);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const SourceFolder &step = **it;
        File file = above ? File::openFolder(*above, step.name, File::Links::DontFollow)
                          : File::openFolder(std::filesystem::path(step.name));
        if (!file)
            folderFailed("フォルダーを開けません", step, file.error());
        const platform::FileFacts facts = file.facts();
        if (facts.error != 0)
            folderFailed("フォルダーを調べられません", step, facts.error);
        if (facts.device != step.device || facts.inode != step.inode)
            throw ArchiveError(ErrorCode::ReadFailed,
                "集めた後にフォルダーが置き換えられました: " + shown(step.path()));
        // The chain's folders are the newest entries: the one just opened and
        // its parent are never the ones dropped.
        above = &insert(step.id, std::move(file));
    }
    return *above;
}

File openSource(const ArchiveEntry &entry)
{
    const auto links = entry.followLink ? File::Links::Follow : File::Links::DontFollow;
    File file = entry.folder
        ? entry.folder->handles->withFolder(*entry.folder,
            [&](const File &folder) { return File::openForReading(folder, entry.name, links); })
        : File::openForReading(entry.source, File::Links::Follow);
    if (!file)
        throw ArchiveError(ErrorCode::ReadFailed,
            "ファイルを開けません: " + shown(entry.source) + ": "
                + platform::errorText(file.error()));
    const platform::FileFacts facts = file.facts();
    if (facts.error != 0)
        throw ArchiveError(ErrorCode::ReadFailed,
            "ファイルを調べられません: " + shown(entry.source) + ": "
                + platform::errorText(facts.error));
    if (!facts.isRegular)
        throw ArchiveError(ErrorCode::ReadFailed,
            "通常のファイルではなくなっています（読み込みません）: " + shown(entry.source));
    return file;
}

} // namespace sheaf::archiver
