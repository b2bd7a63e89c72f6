#pragma once
// The bytes of an archive as every format's reader sees them: an old archive
// opened by its path (without blocking, a regular file only), a finished
// temporary file, or bytes in memory; read exactly at an offset, or the run
// fails with ArchiveError(ReadFailed) naming the archive.

#include "base/random_reader.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace sheaf::archiver {

class ArchiveInput
{
public:
    // Opens `path`. Throws ReadFailed when it cannot be opened or is not a
    // regular file.
    explicit ArchiveInput(const std::filesystem::path &path);
    // Reads `reader`, which must outlive this object; `name` is the archive's
    // path as messages give it.
    ArchiveInput(const RandomReader &reader, std::string name);

    const std::string &name() const { return m_name; }
    uint64_t size() const { return m_reader->size(); }
    const RandomReader &reader() const { return *m_reader; }
    // Exactly `size` bytes at `at`; the caller has checked the bounds, so a
    // file that ends before them shrank meanwhile: ReadFailed.
    void read(uint64_t at, void *data, size_t size) const;
    std::vector<uint8_t> bytes(uint64_t at, size_t size) const;

private:
    std::unique_ptr<RandomReader> m_owned;
    const RandomReader *m_reader;
    std::string m_name;
};

} // namespace sheaf::archiver
