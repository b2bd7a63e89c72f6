#include "archiver/zip/zip_archive_writer.h"

#include "archiver/archive_error.h"
#include "archiver/source_file.h"
#include "archiver/zip/store_decision.h"
#include "archiver/zip/zip_kept_members.h"
#include "archiver/zip/zip_length_patcher.h"
#include "archiver/zip/zip_records.h"
#include "base/name_bytes.h"
#include "base/platform.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <exception>
#include <memory>
#include <optional>
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

// A member's Unix mode, and its time as the extended timestamp holds it:
// 32 bits that readers take as unsigned (1970 to 2106); libarchive clamps
// the DOS time to 1980..2107 itself.
uint32_t modeOf(bool directory, bool readOnly)
{
    return directory ? 040755 : readOnly ? 0100444 : 0100644;
}
uint32_t timeOf(int64_t mtime)
{
    return uint32_t(std::clamp<int64_t>(mtime, 0, 0xFFFFFFFFll));
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
    void keepMembers(const ArchiveInput &existing, const std::set<std::string> &replaced);
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
        archive_entry_set_perm(e.get(), modeOf(directory, readOnly) & 07777);
        archive_entry_set_mtime(e.get(), time_t(timeOf(mtime)), 0);
        archive_entry_set_size(e.get(), directory ? 0 : la_int64_t(size));
        return e;
    }
    void writeData(const void *data, size_t size)
    {
        checkCancel(m_cancel);
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

    void record(const std::string &path, bool directory, bool link, uint64_t size, uint32_t crc,
        std::shared_ptr<ZipReadHints> hints)
    {
        ArchivedMember m;
        m.hints = std::move(hints);
        m.storedPath = path;
        m.isDirectory = directory;
        m.isLink = link;
        m.size = size;
        m.crc32 = crc;
        m_written.push_back(std::move(m));
    }
    void recordKept(const ZipKeptMember &kept, uint32_t copiedCrc);

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
    auto hints = std::make_shared<ZipReadHints>();
    hints->method = 0;
    hints->mode = modeOf(true, readOnly);
    hints->mtime = timeOf(mtime);
    record(storedPath, true, false, 0, 0, std::move(hints));
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
    auto hints = std::make_shared<ZipReadHints>();
    hints->method = decision == StoreDecision::Store ? 0 : 8;
    hints->mode = modeOf(false, (entry.attributes & DosReadOnly) != 0);
    hints->mtime = timeOf(entry.mtime);
    record(entry.storedPath, false, false, source.bytesRead(), source.crc32(), std::move(hints));
}

// A kept member as a reader must find it: its name bytes, and the size and
// CRC its central directory record gives (the reader checks the data
// against that CRC).
void ZipWriter::recordKept(const ZipKeptMember &kept, uint32_t copiedCrc)
{
    const ZipCentralRecord r = parseZipCentralRecord(kept.central.data(), kept.central.size());
    std::string name = r.name;
    const uint64_t size = r.original;
    const uint32_t mode = (r.madeBy >> 8) == 3 ? r.externalAttributes >> 16 : 0;
    // A DOS writer ends a folder's name with '\\', and readers take it so.
    const bool directory = (!name.empty() && (name.back() == '/' || name.back() == '\\'))
        || (mode & 0170000) == 0040000;
    const bool link = (mode & 0170000) == 0120000;
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    auto hints = std::make_shared<ZipReadHints>();
    hints->keptCentral = kept.central;
    hints->keptLength = kept.length;
    hints->keptCrc = copiedCrc;
    record(name, directory, link, directory || link ? 0 : size, r.crc, std::move(hints));
}

void ZipWriter::keepMembers(const ArchiveInput &existing, const std::set<std::string> &replaced)
{
    ZipDirectory old = readZipDirectory(existing, replaced);
    std::vector<uint8_t> central;
    uint64_t count = 0;
    for (ZipKeptMember &m : old.members) {
        if (!m.path.empty() && replaced.count(m.path))
            continue;
        const uint64_t offset = m_out.position();
        uLong crc = crc32(0, nullptr, 0);
        for (uint64_t done = 0; done < m.length;) {
            checkCancel(m_cancel);
            const size_t n = size_t(std::min<uint64_t>(m.length - done, m_block.size()));
            existing.read(m.offset + done, m_block.data(), n);
            crc = crc32_z(crc, m_block.data(), n);
            m_out.write(m_block.data(), n);
            done += n;
        }
        // A kept member moves towards the start or stays: its offset field
        // holds the new offset.
        for (int i = 0; i < (m.wideOffset ? 8 : 4); ++i)
            m.central[m.offsetField + size_t(i)] = uint8_t(offset >> (8 * i));
        central.insert(central.end(), m.central.begin(), m.central.end());
        recordKept(m, uint32_t(crc));
        ++count;
    }
    m_context.patcher.keep(std::move(central), count, std::move(old.comment));
}

} // namespace

ArchivedMembers writeZipArchive(const std::filesystem::path &existing,
    const std::set<std::string> &replaced, const ArchiveEntries &entries, OutputFile &out,
    const std::atomic<bool> *cancel, ReadProgress *progress)
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
    if (!existing.empty())
        writer.keepMembers(ArchiveInput(existing), replaced);
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
