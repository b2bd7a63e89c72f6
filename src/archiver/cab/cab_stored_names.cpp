#include "archiver/cab/cab_stored_names.h"

#include "base/little_endian.h"

#include <algorithm>

namespace sheaf::archiver {

namespace {

constexpr uint32_t kCabSignature = 0x4643534d; // "MSCF"
constexpr size_t kCabHeaderSize = 36;
constexpr unsigned kNameIsUtf = 0x80;
// A file list larger than this is not one we wrote.
constexpr uint64_t kMostListBytes = 256ull << 20;

} // namespace

std::optional<std::vector<std::optional<std::string>>> cabUnicodeNames(const ArchiveInput &archive)
{
    const uint64_t size = archive.size();
    if (size < kCabHeaderSize)
        return std::nullopt;
    const std::vector<uint8_t> header = archive.bytes(0, kCabHeaderSize);
    if (le32(header.data()) != kCabSignature)
        return std::nullopt;
    const uint64_t filesAt = le32(&header[16]);
    const uint64_t count = le16(&header[28]);
    // Each entry is 16 bytes and a name of at most 256 with its end: the
    // list is read that far at most, not the data after it.
    const uint64_t most = std::min<uint64_t>(count * (16 + 257), kMostListBytes);
    if (filesAt >= size)
        return std::nullopt;
    const std::vector<uint8_t> files
        = archive.bytes(filesAt, size_t(std::min(size - filesAt, most)));
    std::vector<std::optional<std::string>> names;
    size_t at = 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (files.size() - at < 17)
            return std::nullopt;
        const bool utf = le16(&files[at + 14]) & kNameIsUtf;
        const auto nameStart = files.begin() + ptrdiff_t(at + 16);
        const auto nameEnd = std::find(nameStart, files.end(), uint8_t(0));
        if (nameEnd == files.end())
            return std::nullopt;
        std::string name(nameStart, nameEnd);
        std::replace(name.begin(), name.end(), '\\', '/');
        names.push_back(utf ? std::optional<std::string>(std::move(name)) : std::nullopt);
        at = size_t(nameEnd - files.begin()) + 1;
    }
    return names;
}

} // namespace sheaf::archiver
