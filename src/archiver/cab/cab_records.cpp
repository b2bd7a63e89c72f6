#include "archiver/cab/cab_records.h"

#include "archiver/archive_error.h"
#include "base/little_endian.h"
#include "base/name_bytes.h"

#include <algorithm>

namespace sheaf::archiver {

namespace {

constexpr uint32_t kCabSignature = 0x4643534d; // "MSCF"
constexpr size_t kHeaderSize = 36, kFolderSize = 8, kFileSize = 16, kBlockSize = 8;
constexpr uint16_t kVersion = 0x0103;
constexpr uint16_t kMszip = 1;
constexpr uint16_t kNameIsUtf = 0x80;
constexpr uint32_t kMostBlockBytes = 32768 + 6144; // MSZIP's bound on one block

// The cabinet format's checksum of a data block (CSUM of the data, then of
// its two size fields).
uint32_t blockChecksum(const uint8_t *p, size_t size, uint32_t seed)
{
    uint32_t sum = seed;
    size_t n = size / 4;
    for (; n > 0; --n, p += 4)
        sum ^= le32(p);
    uint32_t last = 0;
    switch (size % 4) {
    case 3:
        last |= uint32_t(*p++) << 16;
        [[fallthrough]];
    case 2:
        last |= uint32_t(*p++) << 8;
        [[fallthrough]];
    case 1:
        last |= *p;
        break;
    default:
        break;
    }
    return sum ^ last;
}

} // namespace

std::vector<std::optional<std::string>> checkWrittenCab(
    const ArchiveInput &archive, const ArchivedMembers &written)
{
    auto wrong = [&](const std::string &what) {
        return ArchiveError(ErrorCode::VerifyFailed,
            "書いた書庫の記録が書いた内容と合いません: " + archive.name() + ": " + what);
    };
    const uint64_t size = archive.size();
    if (size < kHeaderSize + kFolderSize)
        throw wrong("短すぎます");
    const std::vector<uint8_t> h = archive.bytes(0, kHeaderSize + kFolderSize);
    if (le32(&h[0]) != kCabSignature || le32(&h[4]) != 0 || le32(&h[8]) != size || le32(&h[12]) != 0
        || le32(&h[20]) != 0 || le16(&h[24]) != kVersion || le16(&h[26]) != 1
        || le16(&h[28]) != written.size() || le16(&h[30]) != 0 || le16(&h[32]) != 0
        || le16(&h[34]) != 0)
        throw wrong("ヘッダーが書いた内容と違います");
    const uint64_t filesAt = le32(&h[16]);
    const uint64_t blocksAt = le32(&h[kHeaderSize]);
    const uint32_t blocks = le16(&h[kHeaderSize + 4]);
    if (le16(&h[kHeaderSize + 6]) != kMszip)
        throw wrong("フォルダーの圧縮方式が MSZIP ではありません");
    if (filesAt != kHeaderSize + kFolderSize || blocksAt < filesAt || blocksAt > size)
        throw wrong("ファイル一覧の位置が違います");

    const std::vector<uint8_t> files = archive.bytes(filesAt, size_t(blocksAt - filesAt));
    std::vector<std::optional<std::string>> names;
    size_t at = 0;
    uint64_t offset = 0; // of the next file in the folder's bytes
    for (const ArchivedMember &w : written) {
        const std::string member = escapedName(w.storedPath) + ": ";
        if (files.size() - at < kFileSize + 1)
            throw wrong(member + "ファイル一覧が途切れています");
        const uint8_t *f = files.data() + at;
        const auto nameEnd = std::find(files.begin() + ptrdiff_t(at + kFileSize), files.end(), 0);
        if (nameEnd == files.end())
            throw wrong(member + "ファイル一覧が途切れています");
        std::string name(files.begin() + ptrdiff_t(at + kFileSize), nameEnd);
        std::string slashed = name;
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
        const auto *hints = dynamic_cast<const CabReadHints *>(w.hints.get());
        if (!hints)
            throw wrong(member + "書いた内容が分かりません");
        const uint16_t attributes = le16(f + 14);
        // A name without the mark is compared as libarchive reads it.
        if (le32(f) != w.size || le32(f + 4) != offset || le16(f + 8) != 0
            || le16(f + 10) != hints->date || le16(f + 12) != hints->time
            || attributes != hints->attributes
            || ((attributes & kNameIsUtf) && slashed != w.storedPath))
            throw wrong(member + "ファイル一覧の項目が書いたメンバーと違います");
        names.push_back(
            attributes & kNameIsUtf ? std::optional<std::string>(slashed) : std::nullopt);
        offset += w.size;
        at = size_t(nameEnd - files.begin()) + 1;
    }
    if (at != files.size())
        throw wrong("ファイル一覧の後にデータがあります");

    uint64_t blockAt = blocksAt, unpacked = 0;
    for (uint32_t i = 0; i < blocks; ++i) {
        if (size - blockAt < kBlockSize)
            throw wrong("データブロックが途切れています");
        const std::vector<uint8_t> head = archive.bytes(blockAt, kBlockSize);
        const uint32_t packed = le16(&head[4]), plain = le16(&head[6]);
        if (packed > kMostBlockBytes || packed > size - blockAt - kBlockSize || plain > 32768
            || (plain < 32768 && i + 1 < blocks))
            throw wrong("データブロック " + std::to_string(i) + " の大きさが壊れています");
        const std::vector<uint8_t> data = archive.bytes(blockAt + kBlockSize, packed);
        if (le32(&head[0]) != blockChecksum(&head[4], 4, blockChecksum(data.data(), packed, 0)))
            throw wrong("データブロック " + std::to_string(i) + " のチェックサムが合いません");
        unpacked += plain;
        blockAt += kBlockSize + packed;
    }
    if (blockAt != size)
        throw wrong("最後のデータブロックの後にデータがあります");
    if (unpacked != offset)
        throw wrong("データブロックの大きさの合計がファイルの合計と違います");
    return names;
}

} // namespace sheaf::archiver
