#include "archiver/zip/zip_length_patcher.h"

#include "archiver/archive_error.h"

#include <cstring>

namespace sheaf::archiver {

namespace {

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kDescriptorSize = 16; // signature, CRC, two 32-bit sizes
constexpr uint16_t kSizesFollow = 0x0008;
// libarchive switches to Zip64 (and a 24-byte descriptor) above this.
constexpr uint64_t kZip64Threshold = 0xff000000ull;

uint32_t get32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t get16(const uint8_t *p)
{
    return uint16_t(p[0] | p[1] << 8);
}
uint64_t get64(const uint8_t *p)
{
    return uint64_t(get32(p)) | uint64_t(get32(p + 4)) << 32;
}
void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void put64(uint8_t *p, uint64_t v)
{
    put32(p, uint32_t(v));
    put32(p + 4, uint32_t(v >> 32));
}
bool hasSignature(const uint8_t *p, uint8_t a, uint8_t b)
{
    return p[0] == 'P' && p[1] == 'K' && p[2] == a && p[3] == b;
}

[[noreturn]] void unreadable(const char *what)
{
    throw ArchiveError(
        ErrorCode::Internal, std::string("ZIP の中央ディレクトリが想定と違います (") + what + ")");
}

} // namespace

void ZipLengthPatcher::keep(
    std::vector<uint8_t> central, uint64_t count, std::vector<uint8_t> comment)
{
    m_prefix = m_out.position();
    m_keptCentral = std::move(central);
    m_keptCount = count;
    m_comment = std::move(comment);
    m_rebuildEnd = true;
}

void ZipLengthPatcher::write(const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    if (m_phase == Phase::Finish || m_phase == Phase::Close) {
        m_held.insert(m_held.end(), p, p + size);
        return;
    }
    if (m_phase == Phase::Header && m_header.size() < kLocalHeaderSize) {
        size_t n = std::min(size, kLocalHeaderSize - m_header.size());
        m_header.insert(m_header.end(), p, p + n);
    }
    m_out.write(data, size);
}

void ZipLengthPatcher::beforeHeader(uint64_t size)
{
    m_phase = Phase::Header;
    m_size = size;
    m_headerStart = m_out.position();
    m_header.clear();
}

void ZipLengthPatcher::afterHeader()
{
    m_phase = Phase::Data;
    m_dataStart = m_out.position();
    m_members[m_headerStart + m_dropped - m_prefix] = Member {m_headerStart, false};
}

void ZipLengthPatcher::beforeFinish()
{
    m_phase = Phase::Finish;
    m_held.clear();
}

void ZipLengthPatcher::afterFinish()
{
    m_phase = Phase::Data;
    bool drop = m_size <= kZip64Threshold && m_held.size() >= kDescriptorSize
        && m_header.size() == kLocalHeaderSize && hasSignature(m_header.data(), 3, 4)
        && (get16(m_header.data() + 6) & kSizesFollow) != 0;
    const uint8_t *d = drop ? m_held.data() + m_held.size() - kDescriptorSize : nullptr;
    if (drop) {
        const uint64_t dataSize = m_out.position() + m_held.size() - kDescriptorSize - m_dataStart;
        drop = hasSignature(d, 7, 8) && get32(d + 8) == dataSize && get32(d + 12) == m_size;
    }
    if (!drop) {
        m_out.write(m_held.data(), m_held.size());
        m_held.clear();
        return;
    }
    m_out.write(m_held.data(), m_held.size() - kDescriptorSize);
    uint8_t fields[16];
    put16(fields, get16(m_header.data() + 6) & ~kSizesFollow);
    m_out.patch(m_headerStart + 6, fields, 2);
    std::memcpy(fields, d + 4, 12); // CRC, compressed size, size: the header's order
    m_out.patch(m_headerStart + 14, fields, 12);
    m_members[m_headerStart + m_dropped - m_prefix].patched = true;
    m_dropped += kDescriptorSize;
    m_held.clear();
}

void ZipLengthPatcher::beforeClose()
{
    m_phase = Phase::Close;
    m_held.clear();
    m_headerStart = m_out.position(); // where the central directory starts
}

void ZipLengthPatcher::afterClose()
{
    m_phase = Phase::Data;
    if (m_dropped > 0 || m_rebuildEnd) {
        const auto [size, count] = patchCentralDirectory(m_headerStart + m_dropped - m_prefix);
        if (m_rebuildEnd) {
            writeEndRecords(size, count);
            m_held.clear();
            return;
        }
    }
    m_out.write(m_held.data(), m_held.size());
    m_held.clear();
}

void ZipLengthPatcher::writeEndRecords(size_t librarySize, uint64_t libraryCount)
{
    const uint64_t start = m_headerStart; // of the central directory
    m_out.write(m_keptCentral.data(), m_keptCentral.size());
    m_out.write(m_held.data(), librarySize);
    const uint64_t size = m_keptCentral.size() + librarySize;
    const uint64_t count = m_keptCount + libraryCount;
    const bool zip64 = count >= 0xFFFF || size >= 0xFFFFFFFF || start >= 0xFFFFFFFF;
    if (zip64) {
        const uint64_t at = m_out.position();
        uint8_t z[56 + 20] = {'P', 'K', 6, 6};
        put64(z + 4, 44); // the record's size after this field
        put16(z + 12, 45); // made by, needed: 4.5
        put16(z + 14, 45);
        put64(z + 24, count);
        put64(z + 32, count);
        put64(z + 40, size);
        put64(z + 48, start);
        uint8_t *locator = z + 56;
        locator[0] = 'P';
        locator[1] = 'K';
        locator[2] = 6;
        locator[3] = 7;
        put64(locator + 8, at);
        put32(locator + 16, 1); // disks
        m_out.write(z, sizeof z);
    }
    uint8_t e[22] = {'P', 'K', 5, 6};
    put16(e + 8, uint16_t(zip64 ? 0xFFFF : count));
    put16(e + 10, uint16_t(zip64 ? 0xFFFF : count));
    put32(e + 12, uint32_t(zip64 ? 0xFFFFFFFF : size));
    put32(e + 16, uint32_t(zip64 ? 0xFFFFFFFF : start));
    put16(e + 20, uint16_t(m_comment.size()));
    m_out.write(e, sizeof e);
    m_out.write(m_comment.data(), m_comment.size());
}

std::pair<size_t, uint64_t> ZipLengthPatcher::patchCentralDirectory(uint64_t libraryStart)
{
    uint8_t *p = m_held.data();
    const size_t size = m_held.size();
    size_t at = 0;
    uint64_t count = 0;
    // Central directory entries.
    while (at + 46 <= size && hasSignature(p + at, 1, 2)) {
        uint8_t *e = p + at;
        const size_t nameLength = get16(e + 28), extraLength = get16(e + 30);
        const size_t end = at + 46 + nameLength + extraLength + get16(e + 32);
        if (end > size)
            unreadable("項目が終わりを越えています");
        uint8_t *offsetField = e + 42;
        bool wide = get32(offsetField) == 0xffffffffu;
        if (wide) { // the offset is in the Zip64 extra field
            offsetField = nullptr;
            uint8_t *x = e + 46 + nameLength, *xEnd = x + extraLength;
            while (x + 4 <= xEnd) {
                const size_t length = get16(x + 2);
                if (get16(x) == 0x0001 && x + 4 + length <= xEnd) {
                    size_t skip = (get32(e + 24) == 0xffffffffu ? 8 : 0)
                        + (get32(e + 20) == 0xffffffffu ? 8 : 0);
                    if (skip + 8 <= length)
                        offsetField = x + 4 + skip;
                    break;
                }
                x += 4 + length;
            }
            if (!offsetField)
                unreadable("Zip64 のオフセットがありません");
        }
        const uint64_t libraryOffset = wide ? get64(offsetField) : get32(offsetField);
        auto member = m_members.find(libraryOffset);
        if (member == m_members.end())
            unreadable("どのメンバーのオフセットでもありません");
        if (wide)
            put64(offsetField, member->second.offset);
        else if (member->second.offset >= 0xFFFFFFFFull)
            throw ArchiveError(ErrorCode::TooLarge,
                "ZIP: 残す古いメンバーの後ろでは、新しいメンバーが 4 GiB を超える位置になります");
        else
            put32(offsetField, uint32_t(member->second.offset));
        if (member->second.patched)
            put16(e + 8, get16(e + 8) & ~kSizesFollow);
        at = end;
        ++count;
    }
    const uint64_t centralSize = at;
    if (m_rebuildEnd)
        return {at, count}; // the end records are written anew
    // Zip64 end record and its locator, when libarchive wrote them.
    if (at + 56 <= size && hasSignature(p + at, 6, 6)) {
        if (get64(p + at + 48) != libraryStart)
            unreadable("Zip64 の終端レコード");
        put64(p + at + 48, libraryStart - m_dropped);
        at += 12 + get64(p + at + 4);
        if (at + 20 > size || !hasSignature(p + at, 6, 7))
            unreadable("Zip64 のロケーター");
        put64(p + at + 8, get64(p + at + 8) - m_dropped);
        at += 20;
    }
    if (at + 22 > size || !hasSignature(p + at, 5, 6))
        unreadable("終端レコード");
    if (get32(p + at + 16) != 0xffffffffu) {
        if (get32(p + at + 16) != libraryStart || get32(p + at + 12) != centralSize)
            unreadable("終端レコードのオフセット");
        put32(p + at + 16, uint32_t(libraryStart - m_dropped));
    }
    return {centralSize, count};
}

} // namespace sheaf::archiver
