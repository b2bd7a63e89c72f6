#pragma once
// Where a gathered member lives, kept so that it can be opened again the way
// it was found: the chain of folders from the folder the gathering started
// in, each opened relative to its parent's handle. No path longer than the
// system allows is ever handed to it, so depth alone never keeps a file out.
//
// A gathering holds at most a bounded number of folder handles open at once
// (FolderHandles, 64 by default): a folder whose handle was closed is opened
// again from its nearest open ancestor. A folder that is no longer the one
// gathered (replaced, or swapped for a symbolic link) fails with a reason.

#include "base/file.h"

#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace sheaf::archiver {

struct ArchiveEntry;
class FolderHandles;

struct SourceFolder
{
    std::shared_ptr<const SourceFolder> parent; // null: where a gathering started
    std::string name; // one component; the full path for a starting folder
    uint64_t device = 0; // as gathered
    uint64_t inode = 0;
    uint64_t id = 0; // unique in this process
    std::shared_ptr<FolderHandles> handles;
    std::filesystem::path fullPath; // for messages

    const std::filesystem::path &path() const { return fullPath; }
};

std::shared_ptr<const SourceFolder> startFolder(const std::filesystem::path &path,
    const platform::FileFacts &facts, std::shared_ptr<FolderHandles> handles);
std::shared_ptr<const SourceFolder> subfolder(std::shared_ptr<const SourceFolder> parent,
    const std::string &name, const platform::FileFacts &facts);

class FolderHandles
{
public:
    explicit FolderHandles(size_t capacity = 64)
        : m_capacity(capacity < 2 ? 2 : capacity)
    {
    }

    // Calls `use` with the open handle of `folder` and returns what it
    // returns. Throws ArchiveError(ReadFailed) naming the folder when it
    // cannot be opened or is not the folder gathered. Thread-safe; `use`
    // must not call back into this object.
    template<typename Use>
    auto withFolder(const SourceFolder &folder, Use &&use)
    {
        std::lock_guard lock(m_mutex);
        return use(open(folder));
    }

    // Keeps `file` as the handle of `folder` (a starting folder the caller
    // opened) for as long as this object lives: it is never opened again by
    // its path, nor dropped.
    void pin(const SourceFolder &folder, File file)
    {
        std::lock_guard lock(m_mutex);
        m_pinned[folder.id] = std::move(file);
    }

private:
    const File &open(const SourceFolder &folder);
    const File *cached(uint64_t id);
    const File &insert(uint64_t id, File file);

    size_t m_capacity;
    std::mutex m_mutex;
    std::list<std::pair<uint64_t, File>> m_recent; // most recently used first
    std::unordered_map<uint64_t, std::list<std::pair<uint64_t, File>>::iterator> m_index;
    std::unordered_map<uint64_t, File> m_pinned;
};

// Opens a member's file for reading: relative to its folder's handle when it
// was gathered (a symbolic link only followed when it was one then), by its
// path otherwise. Never blocks; refuses (ArchiveError ReadFailed, naming the
// file) anything that is not a regular file now, such as a named pipe put in
// its place after gathering.
File openSource(const ArchiveEntry &entry);

} // namespace sheaf::archiver
