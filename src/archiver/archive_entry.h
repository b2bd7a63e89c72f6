#pragma once
// One member to be written, as gathered from the disk by the dialects and
// handed to a format writer (LZH, ZIP, CAB).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace sheaf::archiver {

// MS-DOS attribute bits, as stored by the formats that keep them.
enum DosAttribute : uint32_t {
    DosReadOnly = 0x01,
    DosHidden = 0x02,
    DosSystem = 0x04,
    DosDirectory = 0x10,
    DosArchive = 0x20,
};

struct SourceFolder;

struct ArchiveEntry
{
    std::filesystem::path source; // file or folder on disk, for messages
    // How the gathering found it: its folder (opened again through folder
    // handles, see source_tree.h) and its name there. Without a folder the
    // file is opened by `source`.
    std::shared_ptr<const SourceFolder> folder;
    std::string name;
    bool followLink = false; // it was a symbolic link to a file when gathered
    // Path inside the archive, UTF-8, components separated by '/', never
    // starting with '/' and never holding "." or ".." components. A folder
    // has no trailing '/'.
    std::string storedPath;
    bool isDirectory = false;
    int64_t mtime = 0; // modification time, Unix seconds (UTC)
    uint32_t attributes = DosArchive; // DosAttribute bits
    uint64_t size = 0; // size when gathered (the progress total); members get the size seen at open
};

using ArchiveEntries = std::vector<ArchiveEntry>;

} // namespace sheaf::archiver
