// Every size and offset of the old archive is checked against the file
// before it is used; members must lie one after the other, each inside the
// file and before the central directory, so that copying them copies exactly
// what the old directory described.
#include "archiver/zip/zip_kept_members.h"

#include "archiver/archive_error.h"
#include "base/cp932.h"
#include "base/platform.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace sheaf::archiver {

namespace {

uint64_t le(const uint8_t *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

bool signature(const uint8_t *p, uint8_t a, uint8_t b)
{
    return p[0] == 'P' && p[1] == 'K' && p[2] == a && p[3] == b;
}

class Reader
{
public:
    Reader(std::string name, uint64_t size)
        : m_name(std::move(name))
        , m_size(size)
    {
    }
    virtual ~Reader() = default;

    uint64_t size() const { return m_size; }
    std::vector<uint8_t> bytes(uint64_t at, uint64_t size)
    {
        if (at > m_size || size > m_size - at)
            refuse("オフセット " + std::to_string(at) + " で途切れています");
        std::vector<uint8_t> v(size_t(size), 0);
        if (size)
            read(at, v.data(), size_t(size));
        return v;
    }
    [[noreturn]] void refuse(const std::string &why) const
    {
        throw ArchiveError(ErrorCode::NotAnArchive,
            "既存のファイルは読める ZIP 書庫ではありません（" + why + "）: " + m_name);
    }

protected:
    virtual void read(uint64_t at, uint8_t *data, size_t size) = 0;
    std::string m_name;
    uint64_t m_size;
};

class MemoryReader : public Reader
{
public:
    MemoryReader(const std::vector<uint8_t> &bytes, const std::string &name)
        : Reader(name, bytes.size())
        , m_bytes(bytes)
    {
    }

private:
    void read(uint64_t at, uint8_t *data, size_t size) override
    {
        std::copy_n(m_bytes.data() + at, size, data);
    }
    const std::vector<uint8_t> &m_bytes;
};

class FileReader : public Reader
{
public:
    FileReader(const std::filesystem::path &path, int fd)
        : Reader(path.string(), 0)
        , m_fd(fd)
    {
        const off_t end = ::lseek(m_fd, 0, SEEK_END);
        if (end < 0)
            fail(errno);
        m_size = uint64_t(end);
    }

private:
    void read(uint64_t at, uint8_t *data, size_t size) override
    {
        while (size > 0) {
            const ssize_t n = ::pread(m_fd, data, size, off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail(n < 0 ? errno : EIO);
            data += n;
            at += uint64_t(n);
            size -= size_t(n);
        }
    }
    [[noreturn]] void fail(int err)
    {
        throw ArchiveError(
            ErrorCode::ReadFailed, "読み込めません: " + m_name + ": " + platform::errorText(err));
    }
    int m_fd;
};

bool isAscii(const std::string &s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x80; });
}

// The path a member's name stands for; see ZipKeptMember::path.
std::string memberPath(const uint8_t *record, size_t nameLength)
{
    const std::string raw(reinterpret_cast<const char *>(record + 46), nameLength);
    std::string path = raw;
    if (!(le(record + 8, 2) & 0x0800) && !isAscii(raw)) {
        path = cp932ToUtf8(raw);
        // The Info-ZIP Unicode path field, when it still belongs to this name.
        const uint8_t *x = record + 46 + nameLength, *end = x + le(record + 30, 2);
        for (; x + 4 <= end; x += 4 + le(x + 2, 2)) {
            const size_t length = size_t(le(x + 2, 2));
            if (x + 4 + length > end)
                break;
            if (le(x, 2) == 0x7075 && length >= 5 && x[4] == 1
                && le(x + 5, 4)
                    == crc32(0, reinterpret_cast<const Bytef *>(raw.data()), uInt(raw.size())))
                path.assign(reinterpret_cast<const char *>(x + 9), length - 5);
        }
    }
    std::replace(path.begin(), path.end(), '\\', '/');
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

ZipDirectory parse(Reader &r)
{
    const uint64_t size = r.size();
    if (size < 22)
        r.refuse("短すぎます");
    // The end record: the last one whose comment fits in the file.
    const uint64_t tailAt = size - std::min<uint64_t>(size, 22 + 65535);
    const std::vector<uint8_t> tail = r.bytes(tailAt, size - tailAt);
    size_t end = tail.size() - 22;
    while (!signature(tail.data() + end, 5, 6)
        || end + 22 + le(tail.data() + end + 20, 2) > tail.size()) {
        if (end == 0)
            r.refuse("終端レコードがありません");
        --end;
    }
    // A comment that holds an end record of its own: readers differ on which
    // one is the archive's, and an add that took the wrong one would drop
    // members. Refused.
    for (size_t other = end; other-- > 0;) {
        if (signature(tail.data() + other, 5, 6)
            && other + 22 + le(tail.data() + other + 20, 2) == tail.size())
            r.refuse("終端レコードが二つあります");
    }
    const uint8_t *e = tail.data() + end;
    ZipDirectory dir;
    dir.comment.assign(e + 22, e + 22 + le(e + 20, 2));
    if (le(e + 4, 2) != 0 && le(e + 4, 2) != 0xFFFF)
        r.refuse("複数のファイルに分割されています");
    uint64_t count = le(e + 10, 2), centralSize = le(e + 12, 4), centralOffset = le(e + 16, 4);
    uint64_t directoryEnd = tailAt + end; // where the central directory ends
    // Zip64 records stand before the end record when a field is full, and
    // some writers (Info-ZIP) write them for a large or streamed member with
    // every field of the end record in range: looked for in either case.
    const bool full = count == 0xFFFF || centralSize == 0xFFFFFFFF || centralOffset == 0xFFFFFFFF;
    if (full && directoryEnd < 20)
        r.refuse("Zip64 の終端レコードがありません");
    if (directoryEnd >= 20) {
        const std::vector<uint8_t> locator = r.bytes(directoryEnd - 20, 20);
        const uint64_t at = le(locator.data() + 8, 8);
        if (signature(locator.data(), 6, 7) && at + 56 <= directoryEnd - 20) {
            const std::vector<uint8_t> z = r.bytes(at, 56);
            if (signature(z.data(), 6, 6)) {
                count = le(z.data() + 32, 8);
                centralSize = le(z.data() + 40, 8);
                centralOffset = le(z.data() + 48, 8);
                directoryEnd = at;
            } else if (full) {
                r.refuse("Zip64 の終端レコードがありません");
            }
        } else if (full && signature(locator.data(), 6, 7)) {
            r.refuse("Zip64 の終端レコードがありません");
        }
    }
    if (centralSize > directoryEnd || count > centralSize / 46)
        r.refuse("中央ディレクトリの大きさが壊れています");
    const uint64_t centralAt = directoryEnd - centralSize;
    if (centralOffset > centralAt)
        r.refuse("中央ディレクトリの位置が壊れています");
    const uint64_t shift = centralAt - centralOffset; // bytes before the archive proper
    const std::vector<uint8_t> central = r.bytes(centralAt, centralSize);

    struct Span
    {
        uint64_t dataEnd;
    };
    std::vector<Span> spans;
    size_t at = 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (at + 46 > central.size() || !signature(central.data() + at, 1, 2))
            r.refuse("中央ディレクトリの項目が壊れています");
        const uint8_t *c = central.data() + at;
        const size_t nameLength = size_t(le(c + 28, 2)), extraLength = size_t(le(c + 30, 2));
        const size_t recordSize = 46 + nameLength + extraLength + size_t(le(c + 32, 2));
        if (at + recordSize > central.size())
            r.refuse("中央ディレクトリの項目が壊れています");
        ZipKeptMember m;
        m.central.assign(c, c + recordSize);
        uint64_t packed = le(c + 20, 4), offset = le(c + 42, 4);
        // The Zip64 field holds, in this order, those of size, packed size,
        // offset and disk whose 32-bit field is all ones.
        const uint8_t *x = c + 46 + nameLength, *xEnd = x + extraLength;
        for (; x + 4 <= xEnd; x += 4 + le(x + 2, 2)) {
            const size_t length = size_t(le(x + 2, 2));
            if (le(x, 2) != 0x0001 || x + 4 + length > xEnd)
                continue;
            size_t k = 4;
            auto wide = [&](uint64_t &value) {
                if (value != 0xFFFFFFFF)
                    return false;
                if (k + 8 > 4 + length)
                    r.refuse("Zip64 の拡張フィールドが短すぎます");
                value = le(x + k, 8);
                k += 8;
                return true;
            };
            uint64_t original = le(c + 24, 4);
            wide(original);
            wide(packed);
            const size_t offsetAt = size_t(x - c) + k;
            if (wide(offset)) {
                m.offsetField = offsetAt;
                m.wideOffset = true;
            }
            break;
        }
        if (offset == 0xFFFFFFFF && !m.wideOffset)
            r.refuse("Zip64 のオフセットがありません");
        if (le(c + 34, 2) != 0 && le(c + 34, 2) != 0xFFFF)
            r.refuse("複数のファイルに分割されています");
        m.offset = offset + shift;
        if (m.offset > centralAt)
            r.refuse("メンバーが中央ディレクトリより後ろにあります");
        const std::vector<uint8_t> local = r.bytes(m.offset, 30);
        if (!signature(local.data(), 3, 4))
            r.refuse("オフセット " + std::to_string(m.offset) + " にローカルヘッダがありません");
        // Without a data descriptor the local header repeats the sizes and
        // the CRC; readers that go by it would read another member than the
        // directory describes.
        const bool descriptor = le(local.data() + 6, 2) & 0x0008;
        const uint64_t localPacked = le(local.data() + 18, 4);
        if (!descriptor
            && (le(local.data() + 14, 4) != le(c + 16, 4)
                || (localPacked != 0xFFFFFFFF && localPacked != packed)))
            r.refuse("オフセット " + std::to_string(m.offset)
                + " のローカルヘッダが中央ディレクトリと合いません");
        const uint64_t dataEnd
            = m.offset + 30 + le(local.data() + 26, 2) + le(local.data() + 28, 2) + packed;
        if (dataEnd > centralAt)
            r.refuse("メンバーが中央ディレクトリにかかっています");
        m.path = memberPath(c, nameLength);
        dir.members.push_back(std::move(m));
        spans.push_back({dataEnd});
        at += recordSize;
    }
    // Records left over mean the count is wrong (a 16-bit count that wrapped
    // past 65535): the members they describe would be dropped.
    if (at != central.size())
        r.refuse("中央ディレクトリの件数が合いません");
    // One after the other: each member ends where the next begins (its
    // descriptor, if any, included), the last where the directory begins.
    std::vector<size_t> order(dir.members.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
        [&](size_t a, size_t b) { return dir.members[a].offset < dir.members[b].offset; });
    std::vector<ZipKeptMember> sorted;
    for (size_t k = 0; k < order.size(); ++k) {
        ZipKeptMember &m = dir.members[order[k]];
        const uint64_t next = k + 1 < order.size() ? dir.members[order[k + 1]].offset : centralAt;
        if (spans[order[k]].dataEnd > next)
            r.refuse("オフセット " + std::to_string(m.offset) + " でメンバーが重なっています");
        m.length = next - m.offset;
        sorted.push_back(std::move(m));
    }
    dir.members = std::move(sorted);
    return dir;
}

} // namespace

ZipDirectory readZipDirectory(const std::filesystem::path &archive)
{
    const int fd = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ArchiveError(ErrorCode::ReadFailed,
            "読み込めません: " + archive.string() + ": " + platform::errorText(errno));
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer {fd};
    FileReader r(archive, fd);
    return parse(r);
}

ZipDirectory parseZipDirectory(const std::vector<uint8_t> &bytes, const std::string &name)
{
    MemoryReader r(bytes, name);
    return parse(r);
}

} // namespace sheaf::archiver
