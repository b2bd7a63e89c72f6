// Reading headers of foreign archives: every size is checked against what
// is left of the file before it is used, so that a truncated or hostile file
// is refused with NotAnArchive and never read past its end.
#include "archiver/lzh/lzh_archive_reader.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzh_format.h"
#include "base/cp932.h"
#include "base/little_endian.h"
#include "base/name_bytes.h"

#include <algorithm>
#include <ctime>

namespace sheaf::archiver {

namespace {

uint32_t le(const uint8_t *p, int bytes)
{
    return uint32_t(leField(p, bytes));
}

// What the extended headers of one member said.
struct Names
{
    std::string name, directory; // raw bytes; directory with 0xFF separators
    std::u16string unicodeName, unicodeDirectory;
    bool hasUnicodeName = false, hasUnicodeDirectory = false;
    uint32_t codePage = 932;
    bool hasWideSizes = false;
    uint64_t wideCompressed = 0, wideOriginal = 0;
    int crcOffset = -1; // of the 0x00 header's CRC within the header
    bool hasUnixTime = false;
    uint32_t unixTime = 0;
};

// MS-DOS date and time (levels 0 and 1) are local time.
int64_t fromDosTime(uint32_t dos)
{
    std::tm t {};
    t.tm_year = int((dos >> 25) & 0x7F) + 80;
    t.tm_mon = int((dos >> 21) & 0x0F) - 1;
    t.tm_mday = int((dos >> 16) & 0x1F);
    t.tm_hour = int((dos >> 11) & 0x1F);
    t.tm_min = int((dos >> 5) & 0x3F);
    t.tm_sec = int(dos & 0x1F) * 2;
    t.tm_isdst = -1;
    return int64_t(std::mktime(&t));
}

std::u16string fromUtf16le(const uint8_t *p, size_t bytes)
{
    std::u16string s;
    for (size_t i = 0; i + 1 < bytes; i += 2)
        s.push_back(char16_t(le(p + i, 2)));
    return s;
}

// Splits on `sep`, dropping empty components.
template<typename S, typename C>
std::vector<S> split(const S &s, C sep)
{
    std::vector<S> parts;
    S cur;
    for (auto c : s) {
        if (c == sep) {
            if (!cur.empty())
                parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    return parts;
}

class Walker
{
public:
    explicit Walker(const ArchiveInput &src)
        : m_src(src)
        , m_name(src.name())
    {
    }

    std::vector<LzhMemberInfo> walk();
    void checkTail(uint64_t at, uint64_t size);

private:
    [[noreturn]] void refuse(const std::string &why) const
    {
        throw ArchiveError(
            ErrorCode::NotAnArchive, "LZH 書庫として読めません (" + why + "): " + m_name);
    }
    std::vector<uint8_t> bytesAt(uint64_t at, uint64_t size)
    {
        if (at > m_src.size() || size > m_src.size() - at)
            refuse("オフセット " + std::to_string(at) + " で途切れています");
        return m_src.bytes(at, size_t(size));
    }
    // Walks the chain of extended headers that starts with `size` at `pos`
    // in `h`, where each size field is `width` bytes; returns the end.
    size_t chain(const std::vector<uint8_t> &h, size_t pos, uint32_t size, int width, Names &names);
    void parseExtended(uint8_t type, const uint8_t *data, size_t size, Names &names, int crcOffset);
    LzhMemberInfo member(uint64_t offset);
    // Refuses the header `h` of the member at `offset` unless the CRC-16 at
    // `at` is that of the header with those two bytes zero.
    void checkHeaderCrc(std::vector<uint8_t> h, int at, uint64_t offset) const;
    void finish(LzhMemberInfo &m, const Names &names);

    const ArchiveInput &m_src;
    std::string m_name;
};

void Walker::parseExtended(uint8_t type, const uint8_t *d, size_t n, Names &names, int crcOffset)
{
    switch (type) {
    case kLzhHeaderCrc:
        if (n < 2)
            refuse("ヘッダー CRC が短すぎます");
        names.crcOffset = crcOffset;
        break;
    case kLzhFileName:
        names.name.assign(reinterpret_cast<const char *>(d), n);
        break;
    case kLzhDirectoryName:
        names.directory.assign(reinterpret_cast<const char *>(d), n);
        break;
    case kLzhWideSizes:
        if (n < 16)
            refuse("64 ビットの大きさが短すぎます");
        names.hasWideSizes = true;
        names.wideCompressed = le64(d);
        names.wideOriginal = le64(d + 8);
        break;
    case kLzhUnicodeFileName:
        names.hasUnicodeName = true;
        names.unicodeName = fromUtf16le(d, n);
        break;
    case kLzhUnicodeDirectoryName:
        names.hasUnicodeDirectory = true;
        names.unicodeDirectory = fromUtf16le(d, n);
        break;
    case kLzhCodePage:
        if (n >= 4)
            names.codePage = le(d, 4);
        break;
    case kLzhUnixTime:
        if (n >= 4) {
            names.hasUnixTime = true;
            names.unixTime = le(d, 4);
        }
        break;
    default:
        break;
    }
}

size_t Walker::chain(
    const std::vector<uint8_t> &h, size_t pos, uint32_t size, int width, Names &names)
{
    int count = 0;
    while (size != 0) {
        if (size < uint32_t(1 + width) || size > h.size() - pos || ++count > 4096)
            refuse("拡張ヘッダーが壊れています");
        parseExtended(h[pos], h.data() + pos + 1, size - 1 - size_t(width), names, int(pos + 1));
        pos += size;
        size = le(h.data() + pos - width, width);
    }
    return pos;
}

LzhMemberInfo Walker::member(uint64_t offset)
{
    const uint64_t fileSize = m_src.size();
    std::vector<uint8_t> head = bytesAt(offset, std::min<uint64_t>(22, fileSize - offset));
    if (head.size() < 22)
        refuse("オフセット " + std::to_string(offset) + " のヘッダーが途切れています");
    const std::string method(reinterpret_cast<const char *>(head.data()) + 2, 5);
    if (method[0] != '-' || method[4] != '-')
        refuse("オフセット " + std::to_string(offset) + " にメンバーのヘッダーがありません");
    const int level = head[20];
    Names names;
    uint64_t headerSize = 0, dataSize = le(head.data() + 7, 4);
    LzhMemberInfo m;
    m.offset = offset;
    m.method = method;
    m.headerLevel = level;
    m.originalSize = le(head.data() + 11, 4);
    m.mtime = level >= 2 ? int64_t(le(head.data() + 15, 4)) : fromDosTime(le(head.data() + 15, 4));

    if (level == 0 || level == 1) {
        headerSize = uint64_t(head[0]) + 2;
        std::vector<uint8_t> h = bytesAt(offset, headerSize);
        uint8_t sum = 0;
        for (size_t i = 2; i < h.size(); ++i)
            sum = uint8_t(sum + h[i]);
        if (sum != h[1])
            refuse(
                "オフセット " + std::to_string(offset) + " のヘッダーのチェックサムが合いません");
        const size_t n = h.size() > 21 ? h[21] : 0;
        if (h.size() < 24 + n)
            refuse("オフセット " + std::to_string(offset) + " のヘッダーが壊れています");
        names.name.assign(reinterpret_cast<const char *>(h.data()) + 22, n);
        m.crc16 = uint16_t(le(h.data() + 22 + n, 2));
        if (level == 1) {
            if (h.size() < 27 + n)
                refuse("オフセット " + std::to_string(offset) + " のヘッダーが壊れています");
            // The extended headers follow the base header and count in the
            // skip size at offset 7; read them one by one.
            uint32_t next = le(h.data() + h.size() - 2, 2);
            uint64_t extSize = 0;
            int count = 0;
            while (next != 0) {
                if (next < 3 || next > dataSize - extSize || ++count > 4096)
                    refuse(
                        "オフセット " + std::to_string(offset) + " の拡張ヘッダーが壊れています");
                std::vector<uint8_t> e = bytesAt(offset + headerSize + extSize, next);
                parseExtended(
                    e[0], e.data() + 1, e.size() - 3, names, int(headerSize + extSize + 1));
                extSize += next;
                next = le(e.data() + e.size() - 2, 2);
            }
            // The header CRC, where there is one, covers the base header and
            // every extended header (a changed folder name would otherwise
            // pass, and some readers stop at it).
            if (names.crcOffset >= 0)
                checkHeaderCrc(bytesAt(offset, headerSize + extSize), names.crcOffset, offset);
            headerSize += extSize;
            dataSize -= extSize;
        }
    } else if (level == 2 || level == 3) {
        const int width = level == 2 ? 2 : 4;
        if (level == 2) {
            headerSize = le(head.data(), 2);
        } else {
            std::vector<uint8_t> h28 = bytesAt(offset, 32);
            if (le(h28.data(), 2) != 4)
                refuse(
                    "オフセット " + std::to_string(offset) + " のレベル 3 ヘッダーが壊れています");
            headerSize = le(h28.data() + 24, 4);
        }
        const size_t base = level == 2 ? 26 : 32;
        if (headerSize < base || headerSize > (1u << 20))
            refuse("オフセット " + std::to_string(offset) + " のヘッダーの大きさが不正です");
        std::vector<uint8_t> h = bytesAt(offset, headerSize);
        m.crc16 = uint16_t(le(h.data() + 21, 2));
        // Whatever follows the chain inside T is padding.
        chain(h, base, le(h.data() + base - width, width), width, names);
        // Every writer of level 2 gives it a header CRC: one without has
        // lost it (its type byte changed, say), and nothing else would
        // show a changed byte of the header.
        if (level == 2 && names.crcOffset < 0)
            refuse("オフセット " + std::to_string(offset) + " のヘッダーに CRC がありません");
        if (names.crcOffset >= 0)
            checkHeaderCrc(std::move(h), names.crcOffset, offset);
        if (names.hasWideSizes) {
            dataSize = names.wideCompressed;
            m.originalSize = names.wideOriginal;
        }
    } else {
        refuse("ヘッダーレベル " + std::to_string(level) + " は読めません");
    }
    if (dataSize > fileSize - offset || headerSize > fileSize - offset - dataSize)
        refuse(
            "オフセット " + std::to_string(offset) + " のメンバーがファイルの終わりを越えています");
    if (names.hasUnixTime)
        m.mtime = names.unixTime;
    m.totalSize = headerSize + dataSize;
    m.dataOffset = offset + headerSize;
    m.dataSize = dataSize;
    finish(m, names);
    if (m.path.empty())
        refuse("オフセット " + std::to_string(offset) + " のメンバーに名前がありません");
    return m;
}

void Walker::checkHeaderCrc(std::vector<uint8_t> h, int at, uint64_t offset) const
{
    const uint16_t stored = uint16_t(le(h.data() + at, 2));
    h[size_t(at)] = h[size_t(at) + 1] = 0;
    if (Crc16::of(h.data(), h.size()) != stored)
        refuse("オフセット " + std::to_string(offset) + " のヘッダー CRC が合いません");
}

std::vector<LzhMemberInfo> Walker::walk()
{
    const uint64_t size = m_src.size();
    if (size == 0)
        refuse("空のファイルです");
    std::vector<LzhMemberInfo> members;
    uint64_t at = 0;
    for (;;) {
        // Every writer ends the archive with a zero byte: a file that ends
        // at a member's end instead was cut there, and what followed (more
        // members) is lost.
        if (at == size)
            refuse("終わりの印がありません。書庫が途中で切れているおそれがあります");
        uint8_t first = 0;
        m_src.read(at, &first, 1);
        if (first == 0) { // end marker
            checkTail(at + 1, size);
            break;
        }
        LzhMemberInfo m = member(at);
        at += m.totalSize;
        members.push_back(std::move(m));
    }
    if (members.empty() && size > 1)
        refuse("メンバーがありません");
    return members;
}

// After the end marker only padding may follow (zeros, or the 0x1A that old
// transfers filled a last block with). Anything else may be members that
// some readers still find (a header of 256 bytes starts with a zero); an
// add would drop them, so the archive is refused.
void Walker::checkTail(uint64_t at, uint64_t size)
{
    uint8_t block[65536];
    while (at < size) {
        const size_t n = size_t(std::min<uint64_t>(sizeof block, size - at));
        m_src.read(at, block, n);
        for (size_t i = 0; i < n; ++i)
            if (block[i] != 0 && block[i] != 0x1A)
                refuse(
                    "終わりの印の後に " + std::to_string(at + i) + " バイト目からデータがあります");
        at += n;
    }
}

void Walker::finish(LzhMemberInfo &m, const Names &names)
{
    const bool level0 = m.headerLevel == 0;
    m.isDirectory = m.method == "-lhd-";

    auto decode = [&](const std::string &raw) {
        if (names.codePage == 65001)
            return utf16ToUtf8(utf8ToUtf16(raw));
        return cp932ToUtf8(raw);
    };
    std::vector<std::string> parts, rawParts;
    if (level0) {
        // One path with '\' separators; split after decoding, since a code
        // page 932 trail byte may be 0x5C.
        for (const std::u16string &c : split(fromCp932(names.name), u'\\'))
            parts.push_back(utf16ToUtf8(c));
        for (const std::string &c : split(names.name, '\\'))
            rawParts.push_back(c);
    } else {
        if (names.hasUnicodeDirectory) {
            for (const std::u16string &c : split(names.unicodeDirectory, char16_t(0xFFFF)))
                parts.push_back(utf16ToUtf8(c));
        } else {
            for (const std::string &c : split(names.directory, '\xFF'))
                parts.push_back(decode(c));
        }
        for (const std::string &c : split(names.directory, '\xFF'))
            rawParts.push_back(c);
        if (names.hasUnicodeName && !names.unicodeName.empty())
            parts.push_back(utf16ToUtf8(names.unicodeName));
        else if (!names.name.empty())
            parts.push_back(decode(names.name));
        if (!names.name.empty())
            rawParts.push_back(names.name);
    }
    for (size_t i = 0; i < parts.size(); ++i)
        m.path += (i ? "/" : "") + parts[i];
    for (size_t i = 0; i < rawParts.size(); ++i)
        m.rawPath += (i ? "/" : "") + rawParts[i];
}

} // namespace

std::vector<LzhMemberInfo> readLzhMembers(const ArchiveInput &archive)
{
    return Walker(archive).walk();
}

std::vector<LzhMemberInfo> readLzhMembers(const std::filesystem::path &archive)
{
    return readLzhMembers(ArchiveInput(archive));
}

std::vector<LzhMemberInfo> parseLzhMembers(std::string_view bytes, const std::string &name)
{
    const MemoryReader reader(bytes.data(), bytes.size());
    return readLzhMembers(ArchiveInput(reader, name));
}

} // namespace sheaf::archiver
