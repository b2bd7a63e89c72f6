#pragma once
// A buffered, seekable output file for the format writers. Every failure
// (disk full, I/O error) throws ArchiveError(WriteFailed) naming the file.
// The cancel flag, when given, is checked at every buffer flush.
//
// It keeps the crc32 of every block it hands to the file (patched and cut
// blocks recomputed from the block as read back and found intact), so that
// firstDifference() can tell whether the file holds exactly the bytes the
// writers gave it: a byte changed on its way to the disk is found there.

#include "base/file.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace sheaf::archiver {

class OutputFile
{
public:
    // Creates the file (never an existing one, never through a link).
    explicit OutputFile(
        const std::filesystem::path &path, const std::atomic<bool> *cancel = nullptr);
    // Takes over a file made for writing (`name` names it in messages).
    OutputFile(File file, const std::filesystem::path &name, const std::atomic<bool> *cancel);
    ~OutputFile() = default; // closes; never removes the file
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void write(const void *data, size_t size);
    void writeByte(uint8_t b) { write(&b, 1); }
    uint64_t position() const { return m_flushed + m_buffer.size(); }

    // Overwrites bytes already written at an earlier position (a header
    // patched once its member's sizes are known). Does not move position().
    void patch(uint64_t at, const void *data, size_t size);
    // Drops everything from `at` on; position() becomes `at`.
    void truncate(uint64_t at);

    // Writes out what is buffered (before the file is read back).
    void flush() { flushBuffer(); }
    // Flushes and syncs to disk.
    void sync();
    // Closes without flushing or looking at cancel, errors ignored: for a
    // file already flushed and named, which counts whatever comes.
    void close() { m_file.close(); }
    // Flushes, syncs to disk (unless `sync` is false) and closes. Call once,
    // on success only.
    void commit(bool sync = true);

    // Reads the whole file back (after flush()) and returns the offset of
    // the first block that differs from what was written, or -1 when the
    // file holds exactly that. Throws ArchiveError(ReadFailed).
    int64_t firstDifference() const;

    const std::filesystem::path &name() const { return m_name; }
    const File &file() const { return m_file; }
    File &file() { return m_file; }

private:
    // A block as it was handed to the file.
    struct Block
    {
        uint64_t at;
        uint32_t size;
        uint32_t crc;
    };
    void flushBuffer();
    // The bytes of m_blocks[i] as the file holds them, checked against its
    // crc32 (VerifyFailed when they differ).
    std::vector<uint8_t> intactBlock(size_t i) const;
    void writeAt(const uint8_t *data, size_t size, uint64_t at);

    std::filesystem::path m_name;
    const std::atomic<bool> *m_cancel;
    File m_file;
    uint64_t m_flushed = 0;
    std::vector<uint8_t> m_buffer;
    std::vector<Block> m_blocks; // what the file holds, in order, up to m_flushed
};

} // namespace sheaf::archiver
