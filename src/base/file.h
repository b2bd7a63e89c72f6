#pragma once
// An open file or folder, owned: it is closed when the object goes.
//
// Files and folders are opened relative to an open folder, one name at a
// time, so no path longer than the system allows is ever needed and a
// folder swapped for a symbolic link is never entered unawares. Opening for
// reading never blocks (a named pipe without a writer opens at once), so a
// caller can look at what it opened (facts()) and refuse anything that is not
// a regular file before reading a byte. Every handle is closed on exec.
// Files made in a folder (an archive being written, a lock file) are made
// relative to the held folder too, so a folder renamed meanwhile keeps
// nothing of them.

#include "base/platform.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sheaf {

class File
{
public:
    enum class Links { Follow, DontFollow };

    File() = default;
    ~File() { close(); }
    File(File &&other) noexcept;
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // A folder by its path. Fails (error() set) when it is not a folder.
    static File openFolder(const std::filesystem::path &path);
    // A folder by its absolute path, reached from the root folder one name
    // at a time: a symbolic link on the way is followed only when the user
    // running owns it or root does, so another user cannot lead a run (as
    // root, say) elsewhere by swapping a folder of theirs for a link. Such a
    // link fails with EPERM, and `link` (when given) is where it was met.
    static File openFolderOwnLinks(
        const std::filesystem::path &path, std::filesystem::path *link = nullptr);
    // The folder `name` (one component) inside `parent`. With DontFollow a
    // symbolic link fails with ELOOP or ENOTDIR.
    static File openFolder(const File &parent, std::string_view name, Links links);
    // A file for reading, by its path or as `name` inside `parent`. Never
    // blocks; check facts() before reading.
    static File openForReading(const std::filesystem::path &path, Links links);
    static File openForReading(const File &parent, std::string_view name, Links links);

    // A new file in `folder` that has no name yet, for writing and reading
    // back (gone with its last handle unless named: linkAs()). Fails with
    // EOPNOTSUPP (or EISDIR, EINVAL) where the file system has no such files.
    static File createUnnamed(const File &folder, uint32_t mode);
    // Creates `name` in `folder`, never an existing one nor through a link,
    // open for writing and reading back.
    static File create(const File &folder, std::string_view name, uint32_t mode);
    // Opens `name` in `folder` for reading and writing, creating it (mode
    // 0600) when missing; `wasThere` tells which. Never through a link.
    static File openLockFile(const File &folder, std::string_view name, bool &wasThere);

    bool isOpen() const { return m_fd >= 0; }
    explicit operator bool() const { return isOpen(); }
    // The errno of a failed open; 0 when open.
    int error() const { return m_error; }
    // The descriptor, for a library that reads or writes through one; it
    // stays owned by this object.
    int descriptor() const { return m_fd; }
    void close();

    // What the open file or folder is (fstat).
    platform::FileFacts facts() const;
    // What `name` inside this folder is, without opening it.
    platform::FileFacts factsOf(std::string_view name, Links links) const;
    // The names this folder holds, "." and ".." left out, in no particular
    // order. False with errno set when it cannot be listed.
    bool listNames(std::vector<std::string> &names) const;

    // Up to `size` bytes; 0 at the end; -1 with errno set on failure.
    ptrdiff_t read(void *data, size_t size);
    // Moves the read position. False with errno set.
    bool seek(uint64_t offset);
    // `size` bytes at `offset`, fewer only where the file ends; -1 with errno
    // set. Moves no position (several threads may read one file).
    ptrdiff_t readAt(void *data, size_t size, uint64_t offset) const;
    // What the open file is now, with its permission bits and owner.
    platform::OpenFileFacts openFacts() const;

    // Writing a file made by create() or createUnnamed(). write() writes
    // some of the bytes at the position (-1 with errno set); writeAt() all
    // of them at `offset`; truncate() cuts the file and moves the position
    // there. False with errno set.
    ptrdiff_t write(const void *data, size_t size);
    bool writeAt(const void *data, size_t size, uint64_t offset);
    bool truncate(uint64_t size);
    // Syncs the file (or folder: its names) to disk.
    bool sync();
    // Syncs the whole file system this file or folder lies on. It fails
    // when a write-back error happened anywhere on it since this handle (or
    // the one it was duplicated from) was opened.
    bool syncFileSystem();
    // A second handle on the same open file or folder.
    File duplicate() const;
    // Closes, and says whether the system reported a failure doing so.
    bool closeChecked();
    // Gives an unnamed file `name` in `folder`; false with errno EEXIST when
    // the name is taken: never replaces.
    bool linkAs(const File &folder, std::string_view name) const;
    // An exclusive lock that goes with the handle (and with the process).
    // Waits at most `waitMs` milliseconds; false with errno ETIMEDOUT then.
    bool lock(int64_t waitMs);
    // Takes the permission bits and, where allowed, owner and group.
    void copyModeAndOwner(const platform::OpenFileFacts &from);
    // A path that reaches this open file or folder (and `name` below it),
    // for libraries that take a path.
    std::filesystem::path reachingPath(std::string_view name = {}) const;

    // Changes inside this folder, by name: a new folder (mode 0700), a file
    // removed (or a folder with the files directly in it), a rename within
    // it, or one that never replaces (false with errno EEXIST). False with
    // errno set.
    bool makeFolder(std::string_view name);
    bool remove(std::string_view name);
    bool rename(std::string_view from, std::string_view to);
    bool renameNoReplace(std::string_view from, std::string_view to);

    // Where the symbolic link `name` inside this folder leads, followed link
    // by link: to an entry inside the folder `root` (or below it), to one
    // outside it, or nowhere (missing target, a loop, an unreadable step).
    enum class LinkTarget { Inside, Outside, Nowhere };
    LinkTarget linkTarget(std::string_view name, const platform::FileFacts &root) const;

private:
    File(int fd, int error)
        : m_fd(fd)
        , m_error(error)
    {
    }
    int m_fd = -1;
    int m_error = 0;
};

} // namespace sheaf
