#pragma once
// Reading one member's source file in blocks, with failures as
// ArchiveError(ReadFailed) naming the file.

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace sheaf::archiver {

class SourceFile
{
public:
    explicit SourceFile(const std::filesystem::path &path);
    // Up to `size` bytes; 0 at the end.
    size_t read(void *data, size_t size);
    void rewind();
    const std::filesystem::path &path() const { return m_path; }

private:
    struct Closer
    {
        void operator()(std::FILE *f) const { std::fclose(f); }
    };
    std::filesystem::path m_path;
    std::unique_ptr<std::FILE, Closer> m_file;
};

} // namespace sheaf::archiver
