// Level-2 header layout: a 26-byte base, then the extended headers, each
// announced by the size field in front of it, the last size 0. T (the total
// size) must never have a low byte of 0, or readers take the header for the
// end of the archive; we then give the CRC header one extra zero byte.
#include "archiver/lzh/lzh_header.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzh_format.h"
#include "base/little_endian.h"

namespace sheaf::archiver {

namespace {

void put16(std::vector<uint8_t> &v, uint32_t x)
{
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

void put32(std::vector<uint8_t> &v, uint64_t x)
{
    for (int i = 0; i < 4; ++i)
        v.push_back(uint8_t(x >> (8 * i)));
}

void put64(std::vector<uint8_t> &v, uint64_t x)
{
    put32(v, x);
    put32(v, x >> 32);
}

struct Extended
{
    uint8_t type;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> utf16le(std::u16string_view s)
{
    std::vector<uint8_t> v;
    for (char16_t c : s)
        put16(v, c);
    return v;
}

} // namespace

std::vector<uint8_t> buildLzhHeader(const LzhHeaderFields &f)
{
    std::vector<Extended> ext;
    ext.push_back({kLzhHeaderCrc, {0, 0}});
    ext.push_back({kLzhFileName, std::vector<uint8_t>(f.name.begin(), f.name.end())});
    if (!f.directory.empty())
        ext.push_back(
            {kLzhDirectoryName, std::vector<uint8_t>(f.directory.begin(), f.directory.end())});
    if (f.attributesHeader) {
        ext.push_back({kLzhAttributes, {}});
        put16(ext.back().data, f.attributes);
    }
    // 0x46 before 0x44/0x45: libarchive applies the code page it names to
    // the name it holds at that point, a UTF-16 one included.
    if (f.codePageHeader) {
        ext.push_back({kLzhCodePage, {}});
        put32(ext.back().data, 932);
    }
    if (f.unicode) {
        if (!f.unicodeName.empty())
            ext.push_back({kLzhUnicodeFileName, utf16le(f.unicodeName)});
        if (!f.unicodeDirectory.empty())
            ext.push_back({kLzhUnicodeDirectoryName, utf16le(f.unicodeDirectory)});
    }
    if (f.wideSizes) {
        ext.push_back({kLzhWideSizes, {}});
        put64(ext.back().data, f.compressedSize);
        put64(ext.back().data, f.originalSize);
    }

    size_t total = 26;
    for (const Extended &e : ext)
        total += e.data.size() + 3;
    if (total % 256 == 0) {
        ext[0].data.push_back(0); // the optional information byte of 0x00
        ++total;
    }
    for (const Extended &e : ext)
        if (e.data.size() + 3 > 0xFFFF)
            throw ArchiveError(ErrorCode::TooLarge, "LZH ヘッダーが大きすぎます");
    if (total > 0xFFFF)
        throw ArchiveError(ErrorCode::TooLarge, "LZH ヘッダーが大きすぎます");

    std::vector<uint8_t> h;
    h.reserve(total);
    put16(h, uint32_t(total));
    h.insert(h.end(), f.method.begin(), f.method.begin() + 5);
    put32(h, f.compressedSize);
    put32(h, f.originalSize);
    put32(h, f.mtime);
    h.push_back(0x20);
    h.push_back(2);
    put16(h, f.dataCrc);
    h.push_back('W');
    put16(h, uint32_t(ext[0].data.size() + 3));
    for (size_t i = 0; i < ext.size(); ++i) {
        h.push_back(ext[i].type);
        h.insert(h.end(), ext[i].data.begin(), ext[i].data.end());
        put16(h, i + 1 < ext.size() ? uint32_t(ext[i + 1].data.size() + 3) : 0);
    }
    // The CRC is taken with its own two bytes zero; they sit right after the
    // 0x00 type byte at offset 26.
    const uint16_t crc = Crc16::of(h.data(), h.size());
    putLe16(h.data() + 27, crc);
    return h;
}

} // namespace sheaf::archiver
