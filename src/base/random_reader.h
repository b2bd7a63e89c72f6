#pragma once
// Random access to the bytes of a file or of a buffer in memory, the one way
// an archive's bytes are read: its size, and exactly so many bytes at an
// offset or a failure. Reads never move a position, so one reader serves
// several threads at once.

#include "base/file.h"

#include <cstddef>
#include <cstdint>

namespace sheaf {

class RandomReader
{
public:
    virtual ~RandomReader() = default;
    virtual uint64_t size() const = 0;
    // Exactly `size` bytes at `offset`. False with errno set when they cannot
    // be read: EIO when the file ends before them (it shrank).
    virtual bool readAt(uint64_t offset, void *data, size_t size) const = 0;
    // The bytes themselves when they are in memory; null for a file.
    virtual const uint8_t *memory() const { return nullptr; }
};

// An open file, its size as it was when the reader was made.
class FileReader final : public RandomReader
{
public:
    // Reads `file`, which must stay open while the reader lives.
    explicit FileReader(const File &file);
    // Reads and owns `file`.
    explicit FileReader(File &&file);

    // The errno of a file whose size could not be had; 0 when readable.
    int error() const { return m_error; }
    uint64_t size() const override { return m_size; }
    bool readAt(uint64_t offset, void *data, size_t size) const override;

private:
    void takeSize();
    File m_owned;
    const File *m_file;
    uint64_t m_size = 0;
    int m_error = 0;
};

class MemoryReader final : public RandomReader
{
public:
    // The buffer must outlive the reader.
    MemoryReader(const void *data, size_t size)
        : m_data(static_cast<const uint8_t *>(data))
        , m_size(size)
    {
    }
    uint64_t size() const override { return m_size; }
    bool readAt(uint64_t offset, void *data, size_t size) const override;
    const uint8_t *memory() const override { return m_data; }

private:
    const uint8_t *m_data;
    size_t m_size;
};

} // namespace sheaf
