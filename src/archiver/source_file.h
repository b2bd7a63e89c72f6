#pragma once
// Reading one member's source file. Every writer reads its sources through
// this class, which makes sure that what a member holds is what the file
// held: it hands out exactly size() bytes (the size seen when the file was
// opened), checksums them while they pass (zlib crc32), and fails the
// archive with ArchiveError(ReadFailed) naming the file when the file ends
// early, grows, or is changed while it is read. A file on a file system
// whose sizes are not what the files hold (/proc, /sys) is read whole when
// opened; its size is then what that read gave.

#include "base/file.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sheaf::archiver {

// The bytes of source data one run has read, reported to RunOptions::progress
// at most once per kProgressStep.
class ReadProgress
{
public:
    static constexpr uint64_t kProgressStep = 256 * 1024;
    ReadProgress(std::function<void(uint64_t done, uint64_t total)> report, uint64_t total)
        : m_report(std::move(report))
        , m_total(total)
    {
    }
    void add(uint64_t bytes);
    // Reports what is left unreported, once all was read.
    void finish();

private:
    std::function<void(uint64_t, uint64_t)> m_report;
    uint64_t m_total;
    uint64_t m_done = 0;
    uint64_t m_reported = 0;
};

struct ArchiveEntry;

class SourceFile
{
public:
    // Opening: through the folder handles of the gathering (openSource),
    // never blocking, and only ever a regular file.
    explicit SourceFile(const ArchiveEntry &entry, ReadProgress *progress = nullptr);
    explicit SourceFile(const std::filesystem::path &path, ReadProgress *progress = nullptr);
    ~SourceFile() = default;
    SourceFile(const SourceFile &) = delete;
    SourceFile &operator=(const SourceFile &) = delete;

    // The bytes the file holds, as seen when it was opened.
    uint64_t size() const { return m_size; }
    // `size` bytes, fewer only at the end of the file; 0 at the end, once the file was found to end
    // exactly at size() and to be unchanged since it was opened.
    size_t read(void *data, size_t size);
    // Confirms that the file ends at size() and is unchanged since it was
    // opened (read() does this when it reaches the end; for readers that
    // stop at size() without asking once more).
    void finish();
    // Back to the start; the checksum starts again.
    void rewind();
    // The crc32 and the count of the bytes read since the start.
    uint32_t crc32() const { return m_crc; }
    uint64_t bytesRead() const { return m_done; }
    const std::filesystem::path &path() const { return m_path; }
    // True for a file read whole when opened (its size was not to be trusted).
    bool readWholeAtOpen() const { return m_inMemory; }

private:
    // Reading: what the open file is, and the whole of it when its size
    // cannot be trusted.
    void startReading();
    size_t readFromFile(void *data, size_t size);
    std::string shown() const; // the path as reasons show it
    [[noreturn]] void fail(const char *what, int err) const;
    [[noreturn]] void changed(const char *what) const;

    std::filesystem::path m_path;
    ReadProgress *m_progress;
    File m_file;
    uint64_t m_size = 0;
    int64_t m_mtimeNs = 0;
    std::vector<uint8_t> m_memory; // the whole content of a file read at open
    bool m_inMemory = false;
    uint64_t m_done = 0;
    uint64_t m_counted = 0; // bytes already reported to m_progress
    uint32_t m_crc = 0;
    bool m_endConfirmed = false;
};

} // namespace sheaf::archiver
