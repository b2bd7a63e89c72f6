#include "archiver/zip/zip_archive_writer.h"

#include "archiver/archive_error.h"
#include "archiver/source_file.h"
#include "archiver/zip/store_decision.h"
#include "archiver/zip/zip_kept_members.h"
#include "archiver/zip/zip_length_patcher.h"
#include "base/name_bytes.h"
#include "base/platform.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace sheaf::archiver {

namespace {

constexpr size_t kBlockSize = 256 * 1024;

struct WriterFree
{
    void operator()(struct archive *a) const { archive_write_free(a); }
};
struct EntryFree
{
    void operator()(struct archive_entry *e) const { archive_entry_free(e); }
};
using EntryPtr = std::unique_ptr<struct archive_entry, EntryFree>;

// Carries OutputFile's exceptions across libarchive's C frames.
struct WriteContext
{
    ZipLengthPatcher patcher;
    std::exception_ptr failure;
};

la_ssize_t writeCallback(struct archive *, void *client, const void *data, size_t size)
{
    auto *context = static_cast<WriteContext *>(client);
    try {
        context->patcher.write(data, size);
        return la_ssize_t(size);
    } catch (...) {
        context->failure = std::current_exception();
        return -1;
    }
}

class ZipWriter
{
public:
    ZipWriter(OutputFile &out, const std::atomic<bool> *cancel, ReadProgress *progress)
        : m_out(out)
        , m_context {ZipLengthPatcher(out), nullptr}
        , m_cancel(cancel)
        , m_progress(progress)
        , m_archive(archive_write_new())
    {
        struct archive *a = m_archive.get();
        if (!a)
            throw ArchiveError(ErrorCode::Internal, "libarchive: メモリが足りません");
        check(archive_write_set_format_zip(a));
        check(archive_write_set_options(a, "zip:hdrcharset=UTF-8,zip:compression-level=6"));
        check(archive_write_set_bytes_per_block(a, 0)); // OutputFile buffers
        check(archive_write_open2(a, &m_context, nullptr, writeCallback, nullptr, nullptr));
        m_block.resize(kBlockSize);
    }

    void addFile(const ArchiveEntry &entry);
    void addDirectory(const std::string &storedPath, int64_t mtime, bool readOnly);
    // Copies the members of `existing` that no new entry replaces as they
    // are; call before any other member is written.
    void keepMembers(const std::filesystem::path &existing, const std::set<std::string> &replaced);
    ArchivedMembers &written() { return m_written; }
    void finish()
    {
        m_context.patcher.beforeClose();
        check(archive_write_close(m_archive.get()));
        m_context.patcher.afterClose();
    }

private:
    void check(int rc)
    {
        if (rc >= ARCHIVE_WARN)
            return;
        if (m_context.failure)
            std::rethrow_exception(m_context.failure);
        const char *text = archive_error_string(m_archive.get());
        throw ArchiveError(ErrorCode::WriteFailed,
            std::string("ZIP を書けません: ") + (text ? text : "原因不明の失敗です"));
    }
    void checkCancel() const
    {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed))
            throw ArchiveError(ErrorCode::Cancelled, "中止しました");
    }
    EntryPtr newEntry(
        const std::string &storedPath, int64_t mtime, bool directory, bool readOnly, uint64_t size)
    {
        if (!isValidUtf8(storedPath))
            throw ArchiveError(ErrorCode::Internal,
                "ZIP に入れる名前が UTF-8 ではありません: " + escapedName(storedPath));
        EntryPtr e(archive_entry_new());
        // Given in the thread's character set (UTF-8, as the ZIP's), the
        // name is stored as its bytes; given as UTF-8 it would be converted
        // and stored in form C, another name than the file's when the file's
        // is in form D.
        archive_entry_copy_pathname(e.get(), storedPath.c_str());
        archive_entry_set_filetype(e.get(), directory ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(e.get(), directory ? 0755 : readOnly ? 0444 : 0644);
        // The extended timestamp holds 32 bits that readers take as unsigned
        // (1970 to 2106); libarchive clamps the DOS time to 1980..2107 itself.
        archive_entry_set_mtime(e.get(), time_t(std::clamp<int64_t>(mtime, 0, 0xFFFFFFFFll)), 0);
        archive_entry_set_size(e.get(), directory ? 0 : la_int64_t(size));
        return e;
    }
    void writeData(const void *data, size_t size)
    {
        checkCancel();
        la_ssize_t n = archive_write_data(m_archive.get(), data, size);
        if (n < 0 || size_t(n) != size)
            check(ARCHIVE_FATAL);
    }
    void writeHeader(struct archive_entry *e)
    {
        m_context.patcher.beforeHeader(
            archive_entry_size_is_set(e) ? uint64_t(archive_entry_size(e)) : UINT64_MAX);
        check(archive_write_header(m_archive.get(), e));
        m_context.patcher.afterHeader();
    }
    void finishEntry()
    {
        m_context.patcher.beforeFinish();
        check(archive_write_finish_entry(m_archive.get()));
        m_context.patcher.afterFinish();
    }
    void setMethod(bool store)
    {
        check(store ? archive_write_zip_set_compression_store(m_archive.get())
                    : archive_write_zip_set_compression_deflate(m_archive.get()));
    }

    void record(const std::string &path, bool directory, bool link, uint64_t size, uint32_t crc)
    {
        ArchivedMember m;
        m.storedPath = path;
        m.isDirectory = directory;
        m.isLink = link;
        m.size = size;
        m.crc32 = crc;
        m_written.push_back(std::move(m));
    }
    void recordKept(const ZipKeptMember &kept);

    OutputFile &m_out;
    WriteContext m_context;
    const std::atomic<bool> *m_cancel;
    ReadProgress *m_progress;
    ArchivedMembers m_written;
    std::unique_ptr<struct archive, WriterFree> m_archive;
    std::vector<uint8_t> m_block;
};

void ZipWriter::addDirectory(const std::string &storedPath, int64_t mtime, bool readOnly)
{
    setMethod(true);
    EntryPtr e = newEntry(storedPath, mtime, true, readOnly, 0);
    writeHeader(e.get());
    finishEntry();
    record(storedPath, true, false, 0, 0);
}

void ZipWriter::addFile(const ArchiveEntry &entry)
{
    SourceFile source(entry, m_progress);
    // The first block decides between deflate and store; where it does not
    // shrink, the whole file is tried before it is stored.
    size_t n = source.read(m_block.data(), m_block.size());
    const bool whole = source.size() <= m_block.size();
    StoreDecision decision = decideFromSample(m_block.data(), n, whole);
    if (decision == StoreDecision::TryWhole) {
        decision = decideFromWholeFile(source, m_block, m_cancel);
        source.rewind();
        n = source.read(m_block.data(), m_block.size());
    }
    setMethod(decision == StoreDecision::Store);
    // The header holds the size the file had when opened; SourceFile hands
    // out exactly that many bytes or fails.
    EntryPtr e = newEntry(
        entry.storedPath, entry.mtime, false, (entry.attributes & DosReadOnly) != 0, source.size());
    writeHeader(e.get());
    while (n > 0) {
        writeData(m_block.data(), n);
        n = source.read(m_block.data(), m_block.size());
    }
    finishEntry();
    record(entry.storedPath, false, false, source.bytesRead(), source.crc32());
}

// A kept member as a reader must find it: its name bytes, and the size and
// CRC its central directory record gives (the reader checks the data
// against that CRC).
void ZipWriter::recordKept(const ZipKeptMember &kept)
{
    const std::vector<uint8_t> &c = kept.central;
    auto le = [&](size_t at, int bytes) {
        uint64_t v = 0;
        for (int i = bytes - 1; i >= 0; --i)
            v = (v << 8) | (at + size_t(i) < c.size() ? c[at + size_t(i)] : 0);
        return v;
    };
    const size_t nameLength = size_t(le(28, 2)), extraLength = size_t(le(30, 2));
    std::string name(c.begin() + std::min<size_t>(46, c.size()),
        c.begin() + std::min<size_t>(46 + nameLength, c.size()));
    uint64_t size = le(24, 4);
    if (size == 0xFFFFFFFF) { // the Zip64 extra field holds it, first
        for (size_t at = 46 + nameLength; at + 4 <= 46 + nameLength + extraLength;) {
            const uint64_t id = le(at, 2), length = le(at + 2, 2);
            if (id == 1 && length >= 8) {
                size = le(at + 4, 8);
                break;
            }
            at += 4 + size_t(length);
        }
    }
    const uint32_t mode = (le(4, 2) >> 8) == 3 ? uint32_t(le(38, 4) >> 16) : 0;
    // A DOS writer ends a folder's name with '\\', and readers take it so.
    const bool directory = (!name.empty() && (name.back() == '/' || name.back() == '\\'))
        || (mode & 0170000) == 0040000;
    const bool link = (mode & 0170000) == 0120000;
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    record(name, directory, link, directory || link ? 0 : size, uint32_t(le(16, 4)));
}

void ZipWriter::keepMembers(
    const std::filesystem::path &existing, const std::set<std::string> &replaced)
{
    ZipDirectory old = readZipDirectory(existing);
    const int fd = ::open(existing.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ArchiveError(ErrorCode::ReadFailed,
            "読み込めません: " + existing.string() + ": " + platform::errorText(errno));
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer {fd};
    std::vector<uint8_t> central;
    uint64_t count = 0;
    for (ZipKeptMember &m : old.members) {
        if (!m.path.empty() && replaced.count(m.path))
            continue;
        const uint64_t offset = m_out.position();
        for (uint64_t done = 0; done < m.length;) {
            checkCancel();
            const size_t want = size_t(std::min<uint64_t>(m.length - done, m_block.size()));
            const ssize_t n = ::pread(fd, m_block.data(), want, off_t(m.offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw ArchiveError(ErrorCode::ReadFailed,
                    "読み込めません: " + existing.string() + ": "
                        + (n < 0 ? platform::errorText(errno)
                                 : std::string("途中で短くなりました")));
            m_out.write(m_block.data(), size_t(n));
            done += uint64_t(n);
        }
        // A kept member moves towards the start or stays: its offset field
        // holds the new offset.
        for (int i = 0; i < (m.wideOffset ? 8 : 4); ++i)
            m.central[m.offsetField + size_t(i)] = uint8_t(offset >> (8 * i));
        central.insert(central.end(), m.central.begin(), m.central.end());
        recordKept(m);
        ++count;
    }
    m_context.patcher.keep(std::move(central), count, std::move(old.comment));
}

} // namespace

ArchivedMembers writeZipArchive(const std::filesystem::path &existing,
    const ArchiveEntries &entries, OutputFile &out, const std::atomic<bool> *cancel,
    ReadProgress *progress)
{
    // libarchive converts names with the thread's character set: UTF-8
    // here, whatever the process locale.
    std::optional<platform::Utf8CharacterSet> utf8;
    try {
        utf8.emplace();
    } catch (const std::exception &e) {
        throw ArchiveError(ErrorCode::Internal, e.what());
    }
    ZipWriter writer(out, cancel, progress);
    if (!existing.empty()) {
        std::set<std::string> replaced;
        for (const auto &entry : entries)
            replaced.insert(entry.storedPath);
        writer.keepMembers(existing, replaced);
    }
    for (const auto &entry : entries) {
        if (entry.isDirectory)
            writer.addDirectory(
                entry.storedPath, entry.mtime, (entry.attributes & DosReadOnly) != 0);
        else
            writer.addFile(entry);
    }
    writer.finish();
    return std::move(writer.written());
}

} // namespace sheaf::archiver
