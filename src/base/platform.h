#pragma once
// Every call that differs between Windows and the POSIX systems lives behind
// this header: platform_posix.cpp here, a platform_windows.cpp for Windows.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sheaf::platform {

// Hidden or system entry: on Windows its attributes; here a name starting
// with '.'.
bool isHiddenOrSystem(const std::filesystem::path &path);

// What the engine needs to know of one entry on disk.
struct FileFacts
{
    int error = 0; // errno of a failed look-up (ENOENT: missing); 0 when found
    bool isLink = false; // a symbolic link (only when not following links)
    bool isDirectory = false;
    bool isRegular = false;
    bool isPipe = false; // a named pipe (FIFO)
    bool isSocket = false;
    bool isDevice = false; // a block or character device
    bool ownedByCurrentUser = false; // owned by the user this process runs as
    bool readOnly = false;
    uint64_t size = 0;
    int64_t mtime = 0; // Unix seconds
    int64_t mtimeNs = 0; // the same time in nanoseconds, as precise as the file system keeps it
    uint64_t device = 0;
    uint64_t inode = 0;
    bool sameFileAs(const FileFacts &other) const
    {
        return error == 0 && other.error == 0 && device == other.device && inode == other.inode;
    }
};
FileFacts fileFacts(const std::filesystem::path &path, bool followLinks);

// Creates a new folder from a template ending in "XXXXXX"; returns its path,
// or an empty path with errno set.
std::filesystem::path makeTemporaryFolder(const std::filesystem::path &pattern);

// Renames `from` to `to` only when `to` does not exist. Returns false with
// errno set (EEXIST when the target exists).
bool renameNoReplace(const std::filesystem::path &from, const std::filesystem::path &to);

// Renames `from` over `to`, replacing it atomically.
bool renameReplace(const std::filesystem::path &from, const std::filesystem::path &to);

// Makes a finished rename in `folder` durable (fsync of the folder). Returns
// false with errno set.
bool syncFolder(const std::filesystem::path &folder);

// Flushes every file system's written data to disk.
void syncAll();

// The folder that holds the running program.
std::filesystem::path programFolder();

// The platform's text for an error number, UTF-8.
std::string errorText(int err);

// --- Reading a source file and writing beside an open folder -------------

// What the open file `fd` is now.
struct OpenFileFacts
{
    int error = 0; // errno when it could not be looked at
    bool isRegular = false;
    // False on file systems whose files report a size that is not what they
    // hold (/proc, /sys and their kin): such a file is read to its end.
    bool sizeIsReliable = true;
    uint64_t size = 0;
    int64_t mtimeNs = 0; // modification time, nanoseconds since 1970
    uint64_t device = 0, inode = 0;
    uint32_t mode = 0; // permission bits
    uint32_t owner = 0, group = 0;
};
OpenFileFacts openFileFacts(int fd);

// Opens a file for reading without ever blocking on a named pipe or a
// device; -1 with errno set on failure.
int openForReading(const std::filesystem::path &path);
// Up to `size` bytes (0 at the end); -1 with errno set. Retries EINTR.
long long readFile(int fd, void *data, size_t size);
// `size` bytes from `offset`, fewer only at the end; -1 with errno set.
long long readFileAt(int fd, void *data, size_t size, uint64_t offset);
bool seekFile(int fd, uint64_t offset);
void closeFile(int fd);

// An open folder; paths below are relative to it, so they stay inside it
// even when the folder is renamed meanwhile. -1 with errno set.
int openFolder(const std::filesystem::path &folder);
// A new file in the folder that has no name yet (and is gone with its last
// descriptor unless named); -1 with errno set, EOPNOTSUPP (or EISDIR,
// EINVAL) where the file system has no such files.
int createUnnamedFileIn(int folder, uint32_t mode);
// Gives such a file `name` in the folder; false with errno EEXIST when the
// name is taken: never replaces.
bool nameUnnamedFileIn(int fd, int folder, const std::string &name);
// Creates `name` in the folder (never an existing one), open for writing
// and reading back; -1 with errno set.
int createFileIn(int folder, const std::string &name, uint32_t mode);
// Opens `name` in the folder for reading and writing, creating it (mode
// 0600) when missing (a lock file; `wasThere` tells which); -1 with errno set.
int openLockFileIn(int folder, const std::string &name, bool &wasThere);
bool makeFolderIn(int folder, const std::string &name);
// Removes a file, or a folder with the files directly in it.
bool removeIn(int folder, const std::string &name);
bool renameIn(int folder, const std::string &from, const std::string &to);
// The same, but false with errno EEXIST when `to` exists: never replaces.
bool renameInNoReplace(int folder, const std::string &from, const std::string &to);
// Facts of `name` in the folder, without following a link.
FileFacts factsIn(int folder, const std::string &name);
// The names in the folder (no "." and ".."); empty when it cannot be listed.
std::vector<std::string> namesIn(int folder);
// A path that reaches the open file or folder `fd` (for libraries that
// take a path), and `name` below it.
std::filesystem::path pathOf(int fd, const std::string &name = {});

// An exclusive lock on an open file that goes away with the descriptor (and
// with the process). Waits at most `waitMs` milliseconds; false on timeout.
bool lockFile(int fd, int64_t waitMs);
// Copies permission bits and, where allowed, owner and group onto `fd`.
void copyModeAndOwner(int fd, const OpenFileFacts &from);

// While it lives, the C library works on this thread with UTF-8 as its
// character set, whatever the process locale (libarchive converts names with
// it); the other parts of the locale stay. Nests; throws std::runtime_error
// when the system has no UTF-8 locale at all.
class Utf8CharacterSet
{
public:
    Utf8CharacterSet();
    ~Utf8CharacterSet();
    Utf8CharacterSet(const Utf8CharacterSet &) = delete;
    Utf8CharacterSet &operator=(const Utf8CharacterSet &) = delete;

private:
    void *m_previous = nullptr;
};

} // namespace sheaf::platform
