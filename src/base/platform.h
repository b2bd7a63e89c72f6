#pragma once
// Every system call of the program lives behind this header and file.h (an
// open file or folder): platform_posix.cpp here, a platform_windows.cpp for
// Windows. Nothing else calls the system; a check in the test suite holds
// src/ to that.

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

// Renames `from` to `to` only when `to` does not exist. Returns false with
// errno set (EEXIST when the target exists).
bool renameNoReplace(const std::filesystem::path &from, const std::filesystem::path &to);

// Renames `from` over `to`, replacing it atomically.
bool renameReplace(const std::filesystem::path &from, const std::filesystem::path &to);

// Whether this process may make files in `folder` (its permission bits and
// a read-only mount; errno set when not). A write can still fail later.
bool mayCreateIn(const std::filesystem::path &folder);

// The folder that holds the running program.
std::filesystem::path programFolder();

// The platform's text for an error number, UTF-8.
std::string errorText(int err);

// What an open file is now (File::openFacts()).
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

// Whether the standard error stream is a terminal (not a file or a pipe).
bool standardErrorIsTerminal();

// The CPU time this thread has used, in seconds.
double threadCpuSeconds();

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
