#include "archiver/output_file.h"

#include "archiver/archive_error.h"
#include "archiver/fault_injection.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace sheaf::archiver {

namespace {

constexpr size_t kBufferSize = 1 << 20;

[[noreturn]] void fail(const std::filesystem::path &path, const char *what, int err)
{
    throw ArchiveError(ErrorCode::WriteFailed,
        std::string(what) + ": " + path.string() + ": " + std::strerror(err));
}

} // namespace

OutputFile::OutputFile(const std::filesystem::path &path, const std::atomic<bool> *cancel)
    : m_path(path)
    , m_cancel(cancel)
{
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (m_fd < 0)
        fail(path, "ファイルを作れません", errno);
    m_buffer.reserve(kBufferSize);
}

OutputFile::OutputFile(int fd, const std::filesystem::path &path, const std::atomic<bool> *cancel)
    : m_path(path)
    , m_cancel(cancel)
    , m_fd(fd)
{
    m_buffer.reserve(kBufferSize);
}

OutputFile::~OutputFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void OutputFile::checkCancel() const
{
    if (m_cancel && m_cancel->load(std::memory_order_relaxed))
        throw ArchiveError(ErrorCode::Cancelled, "中止しました");
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
    checkCancel();
    const uint8_t *p = m_buffer.data();
    size_t left = m_buffer.size();
    while (left > 0) {
        ssize_t n = faultInjectedWrite(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(m_path, "書き込めません", errno);
        }
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
    while (size > 0 && at < m_flushed) {
        size_t n = size_t(std::min<uint64_t>(size, m_flushed - at));
        ssize_t w = ::pwrite(m_fd, p, n, off_t(at));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            fail(m_path, "書き込めません", errno);
        }
        p += w;
        at += uint64_t(w);
        size -= size_t(w);
    }
    if (size > 0) {
        if (at + size > position())
            throw ArchiveError(ErrorCode::Internal,
                "書き換える位置がファイルの終わりを越えています: " + m_path.string());
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
    if (::ftruncate(m_fd, off_t(at)) != 0 || ::lseek(m_fd, off_t(at), SEEK_SET) < 0)
        fail(m_path, "ファイルを切り詰められません", errno);
    m_flushed = at;
}

void OutputFile::sync()
{
    flushBuffer();
    if (::fsync(m_fd) != 0)
        fail(m_path, "ディスクに書き出せません", errno);
}

void OutputFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void OutputFile::commit(bool sync)
{
    flushBuffer();
    if (sync && ::fsync(m_fd) != 0)
        fail(m_path, "ディスクに書き出せません", errno);
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        fail(m_path, "ファイルを閉じられません", errno);
}

} // namespace sheaf::archiver
