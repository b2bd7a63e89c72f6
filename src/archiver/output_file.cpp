#include "archiver/output_file.h"

#include "archiver/archive_error.h"
#include "archiver/fault_injection.h"

#include <cerrno>
#include <cstring>

namespace sheaf::archiver {

namespace {

constexpr size_t kBufferSize = 1 << 20;

[[noreturn]] void fail(const std::filesystem::path &path, const char *what, int err)
{
    throw ArchiveError(ErrorCode::WriteFailed,
        std::string(what) + ": " + path.string() + ": " + platform::errorText(err));
}

} // namespace

OutputFile::OutputFile(const std::filesystem::path &path, const std::atomic<bool> *cancel)
    : m_name(path)
    , m_cancel(cancel)
{
    const File folder = File::openFolder(path.parent_path());
    m_file = folder ? File::create(folder, path.filename().native(), 0644) : File();
    if (!m_file)
        fail(path, "ファイルを作れません", folder ? m_file.error() : folder.error());
    m_buffer.reserve(kBufferSize);
}

OutputFile::OutputFile(
    File file, const std::filesystem::path &name, const std::atomic<bool> *cancel)
    : m_name(name)
    , m_cancel(cancel)
    , m_file(std::move(file))
{
    m_buffer.reserve(kBufferSize);
}

void OutputFile::write(const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    while (size > 0) {
        size_t room = kBufferSize - m_buffer.size();
        size_t n = size < room ? size : room;
        m_buffer.insert(m_buffer.end(), p, p + n);
        p += n;
        size -= n;
        if (m_buffer.size() == kBufferSize)
            flushBuffer();
    }
}

void OutputFile::flushBuffer()
{
    checkCancel(m_cancel);
    const uint8_t *p = m_buffer.data();
    size_t left = m_buffer.size();
    while (left > 0) {
        const ptrdiff_t n = faultInjectedWrite(m_file, p, left, m_flushed);
        if (n < 0)
            fail(m_name, "書き込めません", errno);
        p += n;
        left -= size_t(n);
        m_flushed += uint64_t(n);
    }
    m_buffer.clear();
}

void OutputFile::patch(uint64_t at, const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    // The part still in the buffer is patched there, the rest on disk.
    if (at < m_flushed) {
        const size_t n = size_t(std::min<uint64_t>(size, m_flushed - at));
        if (!m_file.writeAt(p, n, at))
            fail(m_name, "書き込めません", errno);
        p += n;
        at += n;
        size -= n;
    }
    if (size > 0) {
        if (at + size > position())
            throw ArchiveError(ErrorCode::Internal,
                "書き換える位置がファイルの終わりを越えています: " + m_name.string());
        std::memcpy(m_buffer.data() + (at - m_flushed), p, size);
    }
}

void OutputFile::truncate(uint64_t at)
{
    if (at >= m_flushed) {
        m_buffer.resize(size_t(at - m_flushed));
        return;
    }
    m_buffer.clear();
    if (!m_file.truncate(at))
        fail(m_name, "ファイルを切り詰められません", errno);
    m_flushed = at;
}

void OutputFile::sync()
{
    flushBuffer();
    if (!m_file.sync())
        fail(m_name, "ディスクに書き出せません", errno);
}

void OutputFile::commit(bool sync)
{
    flushBuffer();
    if (sync && !m_file.sync())
        fail(m_name, "ディスクに書き出せません", errno);
    if (!m_file.closeChecked())
        fail(m_name, "ファイルを閉じられません", errno);
}

} // namespace sheaf::archiver
