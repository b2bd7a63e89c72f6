#pragma once
// An open file or folder, owned: it is closed when the object goes.
//
// Files and folders are opened relative to an open folder, one name at a
// time, so no path longer than the system allows is ever needed and a
// folder swapped for a symbolic link is never entered unawares. Opening for
// reading never blocks (a named pipe without a writer opens at once), so a
// caller can look at what it opened (facts()) and refuse anything that is not
// a regular file before reading a byte. Every handle is closed on exec.

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
    // The folder `name` (one component) inside `parent`. With DontFollow a
    // symbolic link fails with ELOOP or ENOTDIR.
    static File openFolder(const File &parent, std::string_view name, Links links);
    // A file for reading, by its path or as `name` inside `parent`. Never
    // blocks; check facts() before reading.
    static File openForReading(const std::filesystem::path &path, Links links);
    static File openForReading(const File &parent, std::string_view name, Links links);

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
