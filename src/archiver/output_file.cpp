#include "archiver/output_file.h"

#include "archiver/archive_error.h"
#include "archiver/fault_injection.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <zlib.h>

namespace sheaf::archiver {

namespace {

constexpr size_t kBufferSize = 1 << 20;

[[noreturn]] void fail(const std::filesystem::path &path, const char *what, int err)
{
    throw ArchiveError(ErrorCode::WriteFailed,
        std::string(what) + ": " + path.string() + ": " + platform::errorText(err));
}

uint32_t crcOf(const uint8_t *data, size_t size)
{
    return uint32_t(::crc32_z(::crc32(0, nullptr, 0), data, size));
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
    if (m_buffer.empty())
        return;
    m_blocks.push_back(
        {m_flushed, uint32_t(m_buffer.size()), crcOf(m_buffer.data(), m_buffer.size())});
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

void OutputFile::writeAt(const uint8_t *data, size_t size, uint64_t at)
{
    if (!faultInjectedWriteAt(m_file, data, size, at))
        fail(m_name, "書き込めません", errno);
}

std::vector<uint8_t> OutputFile::intactBlock(size_t i) const
{
    const Block &block = m_blocks[i];
    std::vector<uint8_t> bytes(block.size);
    const ptrdiff_t n = m_file.readAt(bytes.data(), bytes.size(), block.at);
    if (n < 0)
        throw ArchiveError(ErrorCode::ReadFailed,
            "書いたファイルを読み返せません: " + m_name.string() + ": "
                + platform::errorText(errno));
    if (size_t(n) != bytes.size() || crcOf(bytes.data(), bytes.size()) != block.crc)
        throw ArchiveError(ErrorCode::VerifyFailed,
            "書いたファイルの中身がディスク上で書いた内容と違います: " + m_name.string()
                + ": オフセット " + std::to_string(block.at) + " から");
    return bytes;
}

// Blocks are found by offset: they lie in order, one after the other.
void OutputFile::patch(uint64_t at, const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    if (at + size > position())
        throw ArchiveError(ErrorCode::Internal,
            "書き換える位置がファイルの終わりを越えています: " + m_name.string());
    // The part already in the file is patched there, block by block, and
    // each block's crc32 taken again; the rest in the buffer.
    auto block = std::upper_bound(m_blocks.begin(), m_blocks.end(), at,
        [](uint64_t offset, const Block &b) { return offset < b.at; });
    if (block != m_blocks.begin())
        --block;
    while (size > 0 && at < m_flushed) {
        const size_t i = size_t(block - m_blocks.begin());
        std::vector<uint8_t> bytes = intactBlock(i);
        const size_t from = size_t(at - block->at);
        const size_t n = std::min(size, bytes.size() - from);
        std::memcpy(bytes.data() + from, p, n);
        writeAt(p, n, at);
        block->crc = crcOf(bytes.data(), bytes.size());
        p += n;
        at += n;
        size -= n;
        ++block;
    }
    if (size > 0)
        std::memcpy(m_buffer.data() + (at - m_flushed), p, size);
}

void OutputFile::truncate(uint64_t at)
{
    if (at >= m_flushed) {
        m_buffer.resize(size_t(at - m_flushed));
        return;
    }
    m_buffer.clear();
    while (!m_blocks.empty() && m_blocks.back().at >= at)
        m_blocks.pop_back();
    if (!m_blocks.empty() && m_blocks.back().at + m_blocks.back().size > at) {
        const std::vector<uint8_t> bytes = intactBlock(m_blocks.size() - 1);
        Block &last = m_blocks.back();
        last.size = uint32_t(at - last.at);
        last.crc = crcOf(bytes.data(), last.size);
    }
    if (!m_file.truncate(at))
        fail(m_name, "ファイルを切り詰められません", errno);
    m_flushed = at;
}

int64_t OutputFile::firstDifference() const
{
    if (m_file.facts().size != m_flushed)
        return int64_t(std::min(m_file.facts().size, m_flushed));
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        try {
            intactBlock(i);
        } catch (const ArchiveError &e) {
            if (e.code() != ErrorCode::VerifyFailed)
                throw;
            return int64_t(m_blocks[i].at);
        }
    }
    return -1;
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
