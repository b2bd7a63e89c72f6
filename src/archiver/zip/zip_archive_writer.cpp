#include "archiver/zip/zip_archive_writer.h"

#include "archiver/archive_error.h"
#include "archiver/source_file.h"
#include "archiver/zip/store_decision.h"
#include "archiver/zip/zip_length_patcher.h"

#include <archive.h>
#include <archive_entry.h>
#include <exception>
#include <memory>
#include <set>
#include <string>
#include <vector>
#include <zlib.h>

namespace sheaf::archiver {

namespace {

constexpr size_t kBlockSize = 256 * 1024;

struct WriterFree
{
    void operator()(struct archive *a) const { archive_write_free(a); }
};
struct ReaderFree
{
    void operator()(struct archive *a) const { archive_read_free(a); }
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
        : m_context {ZipLengthPatcher(out), nullptr}
        , m_cancel(cancel)
        , m_progress(progress)
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
    void copyExisting(const std::filesystem::path &existing, const std::set<std::string> &replaced);
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
        EntryPtr e(archive_entry_new());
        archive_entry_set_pathname_utf8(e.get(), storedPath.c_str());
        archive_entry_set_filetype(e.get(), directory ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(e.get(), directory ? 0755 : readOnly ? 0444 : 0644);
        archive_entry_set_mtime(e.get(), time_t(mtime), 0);
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
    SourceFile source(entry.source, m_progress);
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

void ZipWriter::copyExisting(
    const std::filesystem::path &existing, const std::set<std::string> &replaced)
{
    std::unique_ptr<struct archive, ReaderFree> reader(archive_read_new());
    struct archive *r = reader.get();
    archive_read_support_format_zip(r);
    archive_read_set_options(r, "zip:hdrcharset=UTF-8");
    auto notAnArchive = [&](const char *what) {
        const char *text = archive_error_string(r);
        return ArchiveError(ErrorCode::NotAnArchive,
            "existing file is not a readable ZIP archive (" + std::string(what)
                + (text ? std::string(": ") + text : std::string()) + "): " + existing.string());
    };
    if (archive_read_open_filename(r, existing.c_str(), kBlockSize) != ARCHIVE_OK)
        throw notAnArchive("cannot open");
    struct archive_entry *old = nullptr;
    int rc;
    while ((rc = archive_read_next_header(r, &old)) == ARCHIVE_OK || rc == ARCHIVE_WARN) {
        checkCancel();
        const char *utf8 = archive_entry_pathname_utf8(old);
        std::string name = utf8 ? utf8 : archive_entry_pathname(old);
        const bool directory = archive_entry_filetype(old) == AE_IFDIR;
        while (!name.empty() && name.back() == '/')
            name.pop_back();
        if (name.empty() || replaced.count(name))
            continue;
        const bool readOnly = (archive_entry_perm(old) & 0222) == 0;
        if (directory) {
            addDirectory(name, archive_entry_mtime(old), readOnly);
            continue;
        }
        if (archive_entry_filetype(old) == AE_IFLNK) { // kept as a link, not as its text
            EntryPtr e = newEntry(name, archive_entry_mtime(old), false, readOnly, 0);
            archive_entry_set_filetype(e.get(), AE_IFLNK);
            archive_entry_set_perm(e.get(), 0777);
            const char *target = archive_entry_symlink_utf8(old);
            archive_entry_set_symlink_utf8(e.get(),
                target                           ? target
                    : archive_entry_symlink(old) ? archive_entry_symlink(old)
                                                 : "");
            setMethod(true);
            writeHeader(e.get());
            finishEntry();
            record(name, false, true, 0, 0);
            continue;
        }
        // Members are written again as new ones. Only the first block can
        // decide the method here: the member cannot be read twice.
        auto readBlock = [&](uint8_t *at, size_t room) {
            size_t got = 0;
            while (got < room) {
                la_ssize_t n = archive_read_data(r, at + got, room - got);
                if (n < 0)
                    throw ArchiveError(ErrorCode::NotAnArchive,
                        "cannot read member " + name + " of " + existing.string() + ": "
                            + (archive_error_string(r) ? archive_error_string(r)
                                                       : "unknown failure"));
                if (n == 0)
                    break;
                got += size_t(n);
            }
            return got;
        };
        size_t n = readBlock(m_block.data(), m_block.size());
        StoreDecision decision = decideFromSample(m_block.data(), n, n < m_block.size());
        setMethod(decision != StoreDecision::Deflate);
        EntryPtr e = newEntry(
            name, archive_entry_mtime(old), false, readOnly, uint64_t(archive_entry_size(old)));
        if (!archive_entry_size_is_set(old))
            archive_entry_unset_size(e.get()); // libarchive then writes it as a stream
        writeHeader(e.get());
        uint64_t size = 0;
        uint32_t crc = 0;
        while (n > 0) {
            crc = uint32_t(::crc32_z(crc, m_block.data(), n));
            size += n;
            writeData(m_block.data(), n);
            n = readBlock(m_block.data(), m_block.size());
        }
        finishEntry();
        record(name, false, false, size, crc);
    }
    if (rc != ARCHIVE_EOF)
        throw notAnArchive("damaged");
}

} // namespace

ArchivedMembers writeZipArchive(const std::filesystem::path &existing,
    const ArchiveEntries &entries, OutputFile &out, const std::atomic<bool> *cancel,
    ReadProgress *progress)
{
    ZipWriter writer(out, cancel, progress);
    if (!existing.empty()) {
        std::set<std::string> replaced;
        for (const auto &entry : entries)
            replaced.insert(entry.storedPath);
        writer.copyExisting(existing, replaced);
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
