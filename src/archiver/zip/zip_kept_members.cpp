// Every size and offset of the old archive is checked against the file
// before it is used; members must lie one after the other, each inside the
// file and before the central directory, so that copying them copies exactly
// what the old directory described.
#include "archiver/zip/zip_kept_members.h"

#include "archiver/archive_error.h"
#include "archiver/zip/zip_records.h"
#include "base/cp932.h"
#include "base/name_bytes.h"

#include <algorithm>
#include <zlib.h>

namespace sheaf::archiver {

namespace {

bool isAscii(const std::string &s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x80; });
}

// The path a member's name stands for; see ZipKeptMember::path.
std::string memberPath(const uint8_t *record, const ZipCentralRecord &r)
{
    const std::string &raw = r.name;
    std::string path = raw;
    if (!(r.flags & kZipUtf8Name) && !isAscii(raw)) {
        path = cp932ToUtf8(raw);
        // The Info-ZIP Unicode path field, when it still belongs to this name.
        const uLong nameCrc
            = crc32(0, reinterpret_cast<const Bytef *>(raw.data()), uInt(raw.size()));
        forEachZipExtra(
            record + r.extraAt, r.extraSize, [&](uint16_t id, const uint8_t *x, size_t length) {
                if (id == kZipUnicodePathId && length >= 5 && x[0] == 1 && le32(x + 1) == nameCrc)
                    path.assign(reinterpret_cast<const char *>(x + 5), length - 5);
            });
    }
    std::replace(path.begin(), path.end(), '\\', '/');
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

ZipDirectory parse(const ArchiveInput &archive, const std::set<std::string> &replaced)
{
    auto refuse = [&](const std::string &why) {
        return ArchiveError(ErrorCode::NotAnArchive,
            "既存のファイルは読める ZIP 書庫ではありません（" + why + "）: " + archive.name());
    };
    try {
        const ZipEnd end = findZipEnd(archive);
        ZipDirectory dir;
        dir.comment = end.comment;
        const uint64_t centralAt = end.centralAt;
        const uint64_t shift = centralAt - end.centralOffset; // bytes before the archive proper
        const std::vector<uint8_t> central = archive.bytes(centralAt, size_t(end.centralSize));
        std::vector<uint64_t> dataEnds;
        size_t at = 0;
        for (uint64_t i = 0; i < end.count; ++i) {
            const uint8_t *c = central.data() + at;
            const ZipCentralRecord r = parseZipCentralRecord(c, central.size() - at);
            ZipKeptMember m;
            m.central.assign(c, c + r.recordSize);
            m.offsetField = r.offsetField;
            m.wideOffset = r.wideOffset;
            m.offset = r.localOffset + shift;
            if (m.offset > centralAt)
                throw refuse("メンバーが中央ディレクトリより後ろにあります");
            if (m.offset + kZipLocalSize > archive.size())
                throw refuse("オフセット " + std::to_string(m.offset) + " で途切れています");
            const std::vector<uint8_t> bytes = archive.bytes(m.offset, kZipLocalSize);
            m.path = memberPath(c, r);
            if (!isZipSignature(bytes.data(), kZipLocalSignature))
                throw refuse(
                    "オフセット " + std::to_string(m.offset) + " にローカルヘッダがありません");
            const ZipLocalHeader local = parseZipLocalHeader(bytes.data());
            // Without a data descriptor the local header repeats the sizes and
            // the CRC; readers that go by it would read another member than the
            // directory describes.
            if (!(local.flags & kZipSizesFollow)
                && (local.crc != r.crc || (local.packed != 0xFFFFFFFF && local.packed != r.packed)))
                throw refuse("オフセット " + std::to_string(m.offset)
                    + " のローカルヘッダが中央ディレクトリと合いません");
            const uint64_t dataEnd
                = m.offset + kZipLocalSize + local.nameSize + local.extraSize + r.packed;
            if (dataEnd > centralAt)
                throw refuse("メンバーが中央ディレクトリにかかっています");
            // A member kept is copied as it is: readers that go by its local
            // header must find the member its central record describes.
            if (!replaced.count(m.path)) {
                const std::string member = "メンバー " + escapedName(r.name) + " の";
                if (r.flags & kZipEncrypted)
                    throw ArchiveError(ErrorCode::NotAnArchive,
                        "暗号化されたメンバーがあるため追加できません: " + archive.name() + ": "
                            + escapedName(r.name));
                if (local.flags != r.flags)
                    throw refuse(member + "ローカルヘッダのフラグが中央ディレクトリと違います");
                if (local.method != r.method)
                    throw refuse(member + "ローカルヘッダの圧縮方式が中央ディレクトリと違います");
                const std::vector<uint8_t> name
                    = archive.bytes(m.offset + kZipLocalSize, local.nameSize);
                if (std::string(name.begin(), name.end()) != r.name)
                    throw refuse(member + "ローカルヘッダの名前が中央ディレクトリと違います");
            }
            dir.members.push_back(std::move(m));
            dataEnds.push_back(dataEnd);
            at += r.recordSize;
        }
        // Records left over mean the count is wrong (a 16-bit count that
        // wrapped past 65535): the members they describe would be dropped.
        if (at != central.size())
            throw refuse("中央ディレクトリの件数が合いません");
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
            const uint64_t next
                = k + 1 < order.size() ? dir.members[order[k + 1]].offset : centralAt;
            if (dataEnds[order[k]] > next)
                throw refuse(
                    "オフセット " + std::to_string(m.offset) + " でメンバーが重なっています");
            m.length = next - m.offset;
            sorted.push_back(std::move(m));
        }
        dir.members = std::move(sorted);
        return dir;
    } catch (const ZipRecordFault &f) {
        throw refuse(f.why);
    }
}

} // namespace

ZipDirectory readZipDirectory(const ArchiveInput &archive, const std::set<std::string> &replaced)
{
    return parse(archive, replaced);
}

ZipDirectory parseZipDirectory(const std::vector<uint8_t> &bytes, const std::string &name)
{
    const MemoryReader reader(bytes.data(), bytes.size());
    return parse(ArchiveInput(reader, name), {});
}

} // namespace sheaf::archiver
