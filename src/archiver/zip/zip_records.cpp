#include "archiver/zip/zip_records.h"

#include "archiver/archive_error.h"
#include "base/name_bytes.h"

#include <algorithm>
#include <zlib.h>

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

namespace {

bool isAscii(const std::string &s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x80; });
}

// The sizes a local header's Zip64 field holds where its 32-bit fields are
// all ones (original size first, then packed size).
void localZip64Sizes(const uint8_t *extra, size_t size, uint64_t &original, uint64_t &packed)
{
    forEachZipExtra(extra, size, [&](uint16_t id, const uint8_t *x, size_t length) {
        if (id != kZip64ExtraId)
            return;
        size_t k = 0;
        for (uint64_t *value : {&original, &packed})
            if (*value == 0xFFFFFFFF && k + 8 <= length) {
                *value = le64(x + k);
                k += 8;
            }
    });
}

// The extra fields libarchive writes for a new member: the extended
// timestamp (the time it was given), the Unix owner (none given: 0) and a
// Zip64 field where one is needed. `fields`: the timestamp and owner bytes.
bool newMemberExtra(const uint8_t *p, size_t size, uint32_t mtime, std::string &fields)
{
    static const uint8_t owner[] = {1, 4, 0, 0, 0, 0, 4, 0, 0, 0, 0};
    bool sound = true;
    size_t walked = 0;
    forEachZipExtra(p, size, [&](uint16_t id, const uint8_t *x, size_t length) {
        walked += 4 + length;
        if (id == kZip64ExtraId)
            return;
        fields.append(reinterpret_cast<const char *>(x - 4), length + 4);
        if (id == 0x5455)
            sound = sound && length == 5 && x[0] == 1 && le32(x + 1) == mtime;
        else if (id == 0x7875)
            sound = sound && length == sizeof owner && std::equal(x, x + length, owner);
        else
            sound = false;
    });
    return sound && walked == size;
}

} // namespace

std::vector<std::string> checkWrittenZip(
    const ArchiveInput &archive, const ArchivedMembers &written)
{
    auto wrong = [&](const std::string &what) {
        return ArchiveError(ErrorCode::VerifyFailed,
            "書いた書庫の記録が書いた内容と合いません: " + archive.name() + ": " + what);
    };
    ZipEnd end;
    try {
        end = findZipEnd(archive);
    } catch (const ZipRecordFault &f) {
        throw wrong(f.why);
    }
    if (end.centralAt != end.centralOffset)
        throw wrong("中央ディレクトリの位置が終端レコードと違います");
    if (end.count != written.size())
        throw wrong("終端レコードのメンバー数が " + std::to_string(end.count) + " です（"
            + std::to_string(written.size()) + " 個書きました）");
    const std::vector<uint8_t> central = archive.bytes(end.centralAt, size_t(end.centralSize));
    std::vector<std::string> names;
    uint64_t next = 0; // where the next member's local header must start
    size_t at = 0;
    for (const ArchivedMember &w : written) {
        const std::string member = escapedName(w.storedPath) + ": ";
        ZipCentralRecord r;
        try {
            r = parseZipCentralRecord(central.data() + at, central.size() - at);
        } catch (const ZipRecordFault &f) {
            throw wrong(member + f.why);
        }
        const auto *hints = dynamic_cast<const ZipReadHints *>(w.hints.get());
        if (!hints)
            throw wrong(member + "書いた内容が分かりません");
        if (!hints->keptCentral.empty()) {
            if (!std::equal(central.begin() + ptrdiff_t(at),
                    central.begin() + ptrdiff_t(at + r.recordSize), hints->keptCentral.begin(),
                    hints->keptCentral.end()))
                throw wrong(member + "残したメンバーの中央ディレクトリの項目が変わりました");
        } else {
            const std::string name = w.storedPath + (w.isDirectory ? "/" : "");
            std::string fields;
            if (r.name != name || r.method != hints->method
                || r.madeBy != (0x0300 | (r.needed & 0xFF)) || r.internalAttributes != 0
                || r.externalAttributes != hints->mode << 16 || r.commentSize != 0
                || !newMemberExtra(
                    central.data() + at + r.extraAt, r.extraSize, hints->mtime, fields)
                || bool(r.flags & kZipUtf8Name) != !isAscii(name) || (r.flags & kZipEncrypted)
                || (w.dataKnown && !w.isDirectory && (r.crc != w.crc32 || r.original != w.size))
                || (w.isDirectory && (r.original != 0 || r.packed != 0)))
                throw wrong(member + "中央ディレクトリの項目が書いたメンバーと違います");
        }
        if (r.localOffset != next)
            throw wrong(member + "ローカルヘッダの位置が違います");
        if (!hints->keptCentral.empty()) {
            if (hints->keptLength > end.centralAt - next)
                throw wrong(member + "残したメンバーが中央ディレクトリにかかっています");
            std::vector<uint8_t> block(size_t(std::min<uint64_t>(hints->keptLength, 1 << 20)));
            uLong crc = crc32(0, nullptr, 0);
            for (uint64_t done = 0; done < hints->keptLength;) {
                const size_t n = size_t(std::min<uint64_t>(hints->keptLength - done, block.size()));
                archive.read(next + done, block.data(), n);
                crc = crc32_z(crc, block.data(), n);
                done += n;
            }
            if (crc != hints->keptCrc)
                throw wrong(member + "残したメンバーの中身が写したものと違います");
            // Its local header is the old archive's, as copied: another
            // writer's may differ from its central record where readers
            // do not mind.
            names.push_back(r.name);
            next += hints->keptLength;
            at += r.recordSize;
            continue;
        }
        if (next + kZipLocalSize > end.centralAt)
            throw wrong(member + "ローカルヘッダが中央ディレクトリにかかっています");
        const std::vector<uint8_t> head = archive.bytes(next, kZipLocalSize);
        ZipLocalHeader local;
        try {
            local = parseZipLocalHeader(head.data());
        } catch (const ZipRecordFault &f) {
            throw wrong(member + f.why);
        }
        const uint64_t dataAt = next + kZipLocalSize + local.nameSize + local.extraSize;
        if (dataAt > end.centralAt)
            throw wrong(member + "ローカルヘッダが中央ディレクトリにかかっています");
        const std::vector<uint8_t> rest
            = archive.bytes(next + kZipLocalSize, size_t(local.nameSize) + local.extraSize);
        uint64_t original = local.original, packed = local.packed;
        localZip64Sizes(rest.data() + local.nameSize, local.extraSize, original, packed);
        {
            std::string centralFields, localFields;
            newMemberExtra(
                central.data() + at + r.extraAt, r.extraSize, hints->mtime, centralFields);
            if (!newMemberExtra(
                    rest.data() + local.nameSize, local.extraSize, hints->mtime, localFields)
                || localFields != centralFields)
                throw wrong(member + "ローカルヘッダの拡張フィールドが書いたメンバーと違います");
        }
        const bool descriptor = local.flags & kZipSizesFollow;
        if (local.needed != r.needed || local.flags != r.flags || local.method != r.method
            || local.time != r.time || local.date != r.date
            || std::string(rest.begin(), rest.begin() + local.nameSize) != r.name
            || (!descriptor
                && (local.crc != r.crc || original != r.original || packed != r.packed)))
            throw wrong(member + "ローカルヘッダが中央ディレクトリと違います");
        next = dataAt + r.packed;
        if (descriptor) {
            // The signature (which some writers leave out), the CRC, then
            // both sizes: 4 bytes each, or 8 after a Zip64 member. The form
            // whose values are the central record's is the one; what follows
            // it is checked as the next member.
            size_t size = 0;
            for (const bool wide : {false, true})
                for (const bool signature : {true, false}) {
                    const size_t form = (signature ? 4 : 0) + 4 + (wide ? 16 : 8);
                    if (size != 0 || next + form > end.centralAt)
                        continue;
                    const std::vector<uint8_t> d = archive.bytes(next, form);
                    const uint8_t *v = d.data() + (signature ? 4 : 0);
                    if ((!signature || isZipSignature(d.data(), kZipDescriptorSignature))
                        && le32(v) == r.crc && (wide ? le64(v + 4) : le32(v + 4)) == r.packed
                        && (wide ? le64(v + 12) : le32(v + 8)) == r.original)
                        size = form;
                }
            if (size == 0)
                throw wrong(member + "データ記述子が中央ディレクトリと違います");
            next += size;
        }
        names.push_back(r.name);
        at += r.recordSize;
    }
    if (next != end.centralAt)
        throw wrong("最後のメンバーと中央ディレクトリの間にデータがあります");
    if (at != central.size())
        throw wrong("中央ディレクトリに余分な項目があります");
    return names;
}

} // namespace sheaf::archiver
