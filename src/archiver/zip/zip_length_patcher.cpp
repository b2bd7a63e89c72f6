#include "archiver/zip/zip_length_patcher.h"

#include "archiver/archive_error.h"
#include "archiver/zip/zip_records.h"
#include "base/little_endian.h"

#include <cstring>

namespace sheaf::archiver {

namespace {

constexpr size_t kDescriptorSize = 16; // signature, CRC, two 32-bit sizes
// libarchive switches to Zip64 (and a 24-byte descriptor) above this.
constexpr uint64_t kZip64Threshold = 0xff000000ull;

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
    if (m_phase == Phase::Header && m_header.size() < kZipLocalSize) {
        size_t n = std::min(size, kZipLocalSize - m_header.size());
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
        && m_header.size() == kZipLocalSize && isZipSignature(m_header.data(), kZipLocalSignature)
        && (le16(m_header.data() + 6) & kZipSizesFollow) != 0;
    const uint8_t *d = drop ? m_held.data() + m_held.size() - kDescriptorSize : nullptr;
    if (drop) {
        const uint64_t dataSize = m_out.position() + m_held.size() - kDescriptorSize - m_dataStart;
        drop = isZipSignature(d, kZipDescriptorSignature) && le32(d + 8) == dataSize
            && le32(d + 12) == m_size;
    }
    if (!drop) {
        m_out.write(m_held.data(), m_held.size());
        m_held.clear();
        return;
    }
    m_out.write(m_held.data(), m_held.size() - kDescriptorSize);
    uint8_t fields[16];
    putLe16(fields, le16(m_header.data() + 6) & ~kZipSizesFollow);
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
        uint8_t z[kZip64EndSize + kZip64LocatorSize] = {};
        putLe32(z, kZip64EndSignature);
        putLe64(z + 4, kZip64EndSize - 12); // the record's size after this field
        putLe16(z + 12, 45); // made by, needed: 4.5
        putLe16(z + 14, 45);
        putLe64(z + 24, count);
        putLe64(z + 32, count);
        putLe64(z + 40, size);
        putLe64(z + 48, start);
        uint8_t *locator = z + kZip64EndSize;
        putLe32(locator, kZip64LocatorSignature);
        putLe64(locator + 8, at);
        putLe32(locator + 16, 1); // disks
        m_out.write(z, sizeof z);
    }
    uint8_t e[kZipEndSize] = {};
    putLe32(e, kZipEndSignature);
    putLe16(e + 8, uint16_t(zip64 ? 0xFFFF : count));
    putLe16(e + 10, uint16_t(zip64 ? 0xFFFF : count));
    putLe32(e + 12, uint32_t(zip64 ? 0xFFFFFFFF : size));
    putLe32(e + 16, uint32_t(zip64 ? 0xFFFFFFFF : start));
    putLe16(e + 20, uint16_t(m_comment.size()));
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
    while (at + kZipCentralSize <= size && isZipSignature(p + at, kZipCentralSignature)) {
        uint8_t *e = p + at;
        ZipCentralRecord r;
        try {
            r = parseZipCentralRecord(e, size - at);
        } catch (const ZipRecordFault &f) {
            unreadable(f.why.c_str());
        }
        auto member = m_members.find(r.localOffset);
        if (member == m_members.end())
            unreadable("どのメンバーのオフセットでもありません");
        if (r.wideOffset)
            putLe64(e + r.offsetField, member->second.offset);
        else if (member->second.offset >= 0xFFFFFFFFull)
            throw ArchiveError(ErrorCode::TooLarge,
                "ZIP: 残す古いメンバーの後ろでは、新しいメンバーが 4 GiB を超える位置になります");
        else
            putLe32(e + r.offsetField, uint32_t(member->second.offset));
        if (member->second.patched)
            putLe16(e + 8, le16(e + 8) & ~kZipSizesFollow);
        at += r.recordSize;
        ++count;
    }
    const uint64_t centralSize = at;
    if (m_rebuildEnd)
        return {at, count}; // the end records are written anew
    // Zip64 end record and its locator, when libarchive wrote them.
    if (at + kZip64EndSize <= size && isZipSignature(p + at, kZip64EndSignature)) {
        if (le64(p + at + 48) != libraryStart)
            unreadable("Zip64 の終端レコード");
        putLe64(p + at + 48, libraryStart - m_dropped);
        at += 12 + le64(p + at + 4);
        if (at + kZip64LocatorSize > size || !isZipSignature(p + at, kZip64LocatorSignature))
            unreadable("Zip64 のロケーター");
        putLe64(p + at + 8, le64(p + at + 8) - m_dropped);
        at += kZip64LocatorSize;
    }
    if (at + kZipEndSize > size || !isZipSignature(p + at, kZipEndSignature))
        unreadable("終端レコード");
    if (le32(p + at + 16) != 0xffffffffu) {
        if (le32(p + at + 16) != libraryStart || le32(p + at + 12) != centralSize)
            unreadable("終端レコードのオフセット");
        putLe32(p + at + 16, uint32_t(libraryStart - m_dropped));
    }
    return {centralSize, count};
}

} // namespace sheaf::archiver
