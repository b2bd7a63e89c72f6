#include "archiver/source_file.h"

#include "archiver/archive_entry.h"
#include "archiver/archive_error.h"
#include "archiver/fault_injection.h"
#include "archiver/source_tree.h"
#include "base/name_bytes.h"
#include "base/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <zlib.h>

namespace sheaf::archiver {

namespace {
// A file of /proc or /sys is read whole when opened; none is near this.
constexpr uint64_t kMaxUnsizedFile = 64ull << 20;
} // namespace

void ReadProgress::add(uint64_t bytes)
{
    m_done += bytes;
    if (m_report && m_done - m_reported >= kProgressStep) {
        m_reported = m_done;
        m_report(m_done, std::max(m_done, m_total));
    }
}

void ReadProgress::finish()
{
    if (m_report && m_done != m_reported) {
        m_reported = m_done;
        m_report(m_done, std::max(m_done, m_total));
    }
}

// ---- Opening ----

SourceFile::SourceFile(const ArchiveEntry &entry, ReadProgress *progress)
    : m_path(entry.source)
    , m_progress(progress)
    , m_file(openSource(entry))
{
    startReading();
}

SourceFile::SourceFile(const std::filesystem::path &path, ReadProgress *progress)
    : SourceFile(
        [&] {
            ArchiveEntry entry;
            entry.source = path;
            return entry;
        }(),
        progress)
{
}

// ---- Reading ----

void SourceFile::startReading()
{
    const platform::OpenFileFacts facts = m_file.openFacts();
    if (facts.error != 0)
        fail("ファイルを調べられません", facts.error);
    m_size = facts.size;
    m_mtimeNs = facts.mtimeNs;
    m_inMemory = !facts.sizeIsReliable;
    if (!m_inMemory)
        return;
    // Its size says nothing: what one read to the end gives is the content.
    uint8_t block[16384];
    for (;;) {
        const ptrdiff_t n = m_file.read(block, sizeof block);
        if (n < 0)
            fail("ファイルを読み込めません", errno);
        if (n == 0)
            break;
        if (m_memory.size() + uint64_t(n) > kMaxUnsizedFile)
            throw ArchiveError(ErrorCode::TooLarge,
                "大きさの分からないファイルが 64 MiB を超えました: " + shown());
        m_memory.insert(m_memory.end(), block, block + n);
    }
    m_size = m_memory.size();
}

std::string SourceFile::shown() const
{
    return escapedName(m_path.native());
}

void SourceFile::fail(const char *what, int err) const
{
    throw ArchiveError(ErrorCode::ReadFailed,
        std::string(what) + ": " + shown() + ": " + platform::errorText(err));
}

void SourceFile::changed(const char *what) const
{
    throw ArchiveError(ErrorCode::ReadFailed, std::string(what) + ": " + shown());
}

size_t SourceFile::readFromFile(void *data, size_t size)
{
    if (m_inMemory) {
        std::memcpy(data, m_memory.data() + m_done, size);
        return size;
    }
    runSourceReadHook(m_path, m_done);
    const ptrdiff_t n = m_file.read(data, size);
    if (n < 0)
        fail("ファイルを読み込めません", errno);
    if (n == 0)
        changed("読み込み中にファイルの大きさが変わりました (短くなりました)");
    return size_t(n);
}

void SourceFile::finish()
{
    if (m_done != m_size)
        throw ArchiveError(
            ErrorCode::Internal, "終わりまで読む前に閉じようとしました: " + m_path.string());
    if (m_inMemory || m_endConfirmed)
        return;
    // One more read must find the end, and the file must be as it was.
    uint8_t probe;
    runSourceReadHook(m_path, m_done);
    const ptrdiff_t n = m_file.read(&probe, 1);
    if (n < 0)
        fail("ファイルを読み込めません", errno);
    if (n > 0)
        changed("読み込み中にファイルの大きさが変わりました (大きくなりました)");
    const platform::OpenFileFacts now = m_file.openFacts();
    if (now.error != 0)
        fail("ファイルを読み込めません", now.error);
    if (now.size != m_size)
        changed("読み込み中にファイルの大きさが変わりました");
    if (now.mtimeNs != m_mtimeNs)
        changed("読み込み中にファイルが書き換えられました");
    m_endConfirmed = true;
}

size_t SourceFile::read(void *data, size_t size)
{
    if (size == 0)
        return 0;
    if (m_done == m_size) {
        finish();
        return 0;
    }
    // Fill the block: fewer bytes than asked only at the end.
    const size_t want = size_t(std::min<uint64_t>(size, m_size - m_done));
    auto *p = static_cast<uint8_t *>(data);
    size_t got = 0;
    while (got < want) {
        const size_t n = readFromFile(p + got, want - got);
        m_crc = uint32_t(::crc32_z(m_crc, p + got, n));
        got += n;
        m_done += n;
    }
    if (m_progress && m_done > m_counted) { // a second pass after rewind() counts once
        m_progress->add(m_done - m_counted);
        m_counted = m_done;
    }
    return got;
}

void SourceFile::rewind()
{
    if (!m_inMemory && !m_file.seek(0))
        fail("ファイルを読み込めません", errno);
    m_done = 0;
    m_crc = 0;
    m_endConfirmed = false;
}

} // namespace sheaf::archiver
