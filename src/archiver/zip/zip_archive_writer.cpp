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
    ZipWriter(OutputFile &out, const std::atomic<bool> *cancel)
        : m_out(out)
        , m_context {ZipLengthPatcher(out), nullptr}
        , m_cancel(cancel)
        , m_archive(archive_write_new())
    {
        struct archive *a = m_archive.get();
        if (!a)
            throw ArchiveError(ErrorCode::Internal, "libarchive: out of memory");
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
            std::string("ZIP writer: ") + (text ? text : "unknown failure"));
    }
    void checkCancel() const
    {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed))
            throw ArchiveError(ErrorCode::Cancelled, "cancelled");
    }
    EntryPtr newEntry(
        const std::string &storedPath, int64_t mtime, bool directory, bool readOnly, uint64_t size)
    {
        if (!isValidUtf8(storedPath))
            throw ArchiveError(ErrorCode::Internal,
                "ZIP に入れる名前が UTF-8 ではありません: " + escapedName(storedPath));
        EntryPtr e(archive_entry_new());
        archive_entry_set_pathname_utf8(e.get(), storedPath.c_str());
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

    OutputFile &m_out;
    WriteContext m_context;
    const std::atomic<bool> *m_cancel;
    std::unique_ptr<struct archive, WriterFree> m_archive;
    std::vector<uint8_t> m_block;
};

void ZipWriter::addDirectory(const std::string &storedPath, int64_t mtime, bool readOnly)
{
    setMethod(true);
    EntryPtr e = newEntry(storedPath, mtime, true, readOnly, 0);
    writeHeader(e.get());
    finishEntry();
}

void ZipWriter::addFile(const ArchiveEntry &entry)
{
    SourceFile source(entry);
    // The first block decides between deflate and store; where it does not
    // shrink, the whole file is tried before it is stored.
    size_t sampled = source.read(m_block.data(), m_block.size());
    bool whole = sampled < m_block.size();
    StoreDecision decision = decideFromSample(m_block.data(), sampled, whole);
    if (decision == StoreDecision::TryWhole) {
        decision = decideFromWholeFile(source, m_block, m_cancel);
        source.rewind();
        sampled = source.read(m_block.data(), m_block.size());
    }
    setMethod(decision == StoreDecision::Store);
    EntryPtr e = newEntry(
        entry.storedPath, entry.mtime, false, (entry.attributes & DosReadOnly) != 0, entry.size);
    writeHeader(e.get());

    uint64_t left = entry.size;
    size_t n = sampled;
    while (left > 0) {
        if (n == 0)
            throw ArchiveError(ErrorCode::ReadFailed,
                "file became shorter while being read: " + entry.source.string());
        size_t take = size_t(std::min<uint64_t>(n, left));
        writeData(m_block.data(), take);
        left -= take;
        if (left > 0)
            n = source.read(m_block.data(), size_t(std::min<uint64_t>(m_block.size(), left)));
    }
    finishEntry();
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
        ++count;
    }
    m_context.patcher.keep(std::move(central), count, std::move(old.comment));
}

} // namespace

void writeZipArchive(const std::filesystem::path &existing, const ArchiveEntries &entries,
    OutputFile &out, const std::atomic<bool> *cancel)
{
    // libarchive converts names with the thread's character set: UTF-8
    // here, whatever the process locale.
    std::optional<platform::Utf8CharacterSet> utf8;
    try {
        utf8.emplace();
    } catch (const std::exception &e) {
        throw ArchiveError(ErrorCode::Internal, e.what());
    }
    ZipWriter writer(out, cancel);
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
}

} // namespace sheaf::archiver
