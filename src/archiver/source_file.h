#pragma once
// Reading one member's source file in blocks, with failures as
// ArchiveError(ReadFailed) naming the file.

#include "base/file.h"

#include <cstddef>
#include <filesystem>

namespace sheaf::archiver {

struct ArchiveEntry;

class SourceFile
{
public:
    // Opening: through the folder handles of the gathering (openSource),
    // never blocking, and only ever a regular file.
    explicit SourceFile(const ArchiveEntry &entry);
    explicit SourceFile(const std::filesystem::path &path);

    // Reading.
    // Up to `size` bytes; 0 at the end.
    size_t read(void *data, size_t size);
    void rewind();
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
    File m_file;
};

} // namespace sheaf::archiver
