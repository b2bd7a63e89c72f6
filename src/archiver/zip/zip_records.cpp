#include "archiver/zip/zip_records.h"

#include <algorithm>

namespace sheaf::archiver {

namespace {

// A directory larger than this is refused (30,000 members of the longest
// names fit many times over; the end record's fields are read before any
// allocation they would size).
constexpr uint64_t kMostDirectoryBytes = 1ull << 30;

[[noreturn]] void fault(const std::string &why)
{
    throw ZipRecordFault {why};
}

} // namespace

bool isZipSignature(const uint8_t *p, uint32_t signature)
{
    return le32(p) == signature;
}

ZipEnd findZipEnd(const ArchiveInput &archive)
{
    const uint64_t size = archive.size();
    if (size < kZipEndSize)
        fault("短すぎます");
    const uint64_t tailAt = size - std::min<uint64_t>(size, kZipEndSize + 65535);
    const std::vector<uint8_t> tail = archive.bytes(tailAt, size_t(size - tailAt));
    auto endsTheFile = [&](size_t at) {
        return isZipSignature(tail.data() + at, kZipEndSignature)
            && at + kZipEndSize + le16(tail.data() + at + 20) == tail.size();
    };
    size_t end = tail.size() - kZipEndSize;
    while (!(isZipSignature(tail.data() + end, kZipEndSignature)
        && end + kZipEndSize + le16(tail.data() + end + 20) <= tail.size())) {
        if (end == 0)
            fault("終端レコードがありません");
        --end;
    }
    // A comment that holds an end record of its own: readers differ on which
    // one is the archive's, and an add that took the wrong one would drop
    // members. Refused.
    for (size_t other = end; other-- > 0;)
        if (endsTheFile(other))
            fault("終端レコードが二つあります");
    const uint8_t *e = tail.data() + end;
    ZipEnd z;
    z.endAt = tailAt + end;
    z.comment.assign(e + kZipEndSize, e + kZipEndSize + le16(e + 20));
    if ((le16(e + 4) != 0 && le16(e + 4) != 0xFFFF) || (le16(e + 6) != 0 && le16(e + 6) != 0xFFFF))
        fault("複数のファイルに分割されています");
    z.count = le16(e + 10);
    z.centralSize = le32(e + 12);
    z.centralOffset = le32(e + 16);
    z.directoryEnd = z.endAt;
    // Zip64 records stand before the end record when a field is full, and
    // some writers (Info-ZIP) write them for a large or streamed member with
    // every field of the end record in range: looked for in either case.
    const bool full
        = z.count == 0xFFFF || z.centralSize == 0xFFFFFFFF || z.centralOffset == 0xFFFFFFFF;
    if (full && z.directoryEnd < kZip64LocatorSize)
        fault("Zip64 の終端レコードがありません");
    if (z.directoryEnd >= kZip64LocatorSize) {
        const std::vector<uint8_t> locator
            = archive.bytes(z.directoryEnd - kZip64LocatorSize, kZip64LocatorSize);
        const bool located = isZipSignature(locator.data(), kZip64LocatorSignature);
        const uint64_t at = le64(locator.data() + 8);
        if (located && at + kZip64EndSize <= z.directoryEnd - kZip64LocatorSize) {
            const std::vector<uint8_t> r = archive.bytes(at, kZip64EndSize);
            if (isZipSignature(r.data(), kZip64EndSignature)) {
                z.count = le64(r.data() + 32);
                z.centralSize = le64(r.data() + 40);
                z.centralOffset = le64(r.data() + 48);
                z.directoryEnd = at;
                z.zip64 = true;
            } else if (full) {
                fault("Zip64 の終端レコードがありません");
            }
        } else if (full && located) {
            fault("Zip64 の終端レコードがありません");
        }
    }
    if (z.centralSize > z.directoryEnd || z.count > z.centralSize / kZipCentralSize
        || z.centralSize > kMostDirectoryBytes)
        fault("中央ディレクトリの大きさが壊れています");
    z.centralAt = z.directoryEnd - z.centralSize;
    if (z.centralOffset > z.centralAt)
        fault("中央ディレクトリの位置が壊れています");
    return z;
}

ZipCentralRecord parseZipCentralRecord(const uint8_t *c, size_t available)
{
    if (available < kZipCentralSize || !isZipSignature(c, kZipCentralSignature))
        fault("中央ディレクトリの項目が壊れています");
    ZipCentralRecord r;
    const size_t nameSize = le16(c + 28);
    r.extraAt = kZipCentralSize + nameSize;
    r.extraSize = le16(c + 30);
    r.commentSize = le16(c + 32);
    r.recordSize = r.extraAt + r.extraSize + r.commentSize;
    if (r.recordSize > available)
        fault("中央ディレクトリの項目が壊れています");
    r.madeBy = le16(c + 4);
    r.needed = le16(c + 6);
    r.flags = le16(c + 8);
    r.method = le16(c + 10);
    r.time = le16(c + 12);
    r.date = le16(c + 14);
    r.crc = le32(c + 16);
    r.packed = le32(c + 20);
    r.original = le32(c + 24);
    r.internalAttributes = le16(c + 36);
    r.externalAttributes = le32(c + 38);
    r.localOffset = le32(c + 42);
    r.name.assign(reinterpret_cast<const char *>(c + kZipCentralSize), nameSize);
    if (le16(c + 34) != 0 && le16(c + 34) != 0xFFFF)
        fault("複数のファイルに分割されています");
    // The Zip64 field holds, in this order, those of size, packed size and
    // offset whose 32-bit field is all ones.
    bool found = false;
    forEachZipExtra(c + r.extraAt, r.extraSize, [&](uint16_t id, const uint8_t *x, size_t length) {
        if (id != kZip64ExtraId || found)
            return;
        found = true;
        size_t k = 0;
        auto wide = [&](uint64_t &value) {
            if (value != 0xFFFFFFFF)
                return false;
            if (k + 8 > length)
                fault("Zip64 の拡張フィールドが短すぎます");
            value = le64(x + k);
            k += 8;
            return true;
        };
        wide(r.original);
        wide(r.packed);
        const size_t offsetAt = size_t(x - c) + k;
        if (wide(r.localOffset)) {
            r.offsetField = offsetAt;
            r.wideOffset = true;
        }
    });
    if (r.localOffset == 0xFFFFFFFF && !r.wideOffset)
        fault("Zip64 のオフセットがありません");
    return r;
}

ZipLocalHeader parseZipLocalHeader(const uint8_t *p)
{
    if (!isZipSignature(p, kZipLocalSignature))
        fault("ローカルヘッダがありません");
    ZipLocalHeader h;
    h.needed = le16(p + 4);
    h.flags = le16(p + 6);
    h.method = le16(p + 8);
    h.time = le16(p + 10);
    h.date = le16(p + 12);
    h.crc = le32(p + 14);
    h.packed = le32(p + 18);
    h.original = le32(p + 22);
    h.nameSize = le16(p + 26);
    h.extraSize = le16(p + 28);
    return h;
}

std::vector<std::string> readZipNames(const ArchiveInput &archive)
{
    const ZipEnd end = findZipEnd(archive);
    const std::vector<uint8_t> central = archive.bytes(end.centralAt, size_t(end.centralSize));
    std::vector<std::string> names;
    size_t at = 0;
    for (uint64_t i = 0; i < end.count; ++i) {
        ZipCentralRecord r = parseZipCentralRecord(central.data() + at, central.size() - at);
        names.push_back(std::move(r.name));
        at += r.recordSize;
    }
    return names;
}

} // namespace sheaf::archiver
