#include "archiver/stored_member_names.h"

#include "base/file.h"

#include <algorithm>

namespace sheaf::archiver {

namespace {

using Names = std::vector<std::optional<std::string>>;

// A directory larger than this is not one we wrote (30,000 members of the
// longest names fit many times over).
constexpr uint64_t kMostDirectoryBytes = 256ull << 20;

uint64_t le(const uint8_t *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

bool readAt(File &file, uint64_t offset, std::vector<uint8_t> &out, size_t size)
{
    out.resize(size);
    if (!file.seek(offset))
        return false;
    size_t done = 0;
    while (done < size) {
        const ptrdiff_t n = file.read(out.data() + done, size - done);
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

std::optional<Names> zipStoredNames(const std::filesystem::path &archive)
{
    File file = File::openForReading(archive, File::Links::Follow);
    if (!file)
        return std::nullopt;
    const uint64_t size = file.facts().size;
    // The end record (22 bytes and a comment of at most 65,535) is found
    // from the end; the last signature whose comment reaches the end wins.
    const uint64_t tailSize = std::min<uint64_t>(size, 22 + 65535);
    std::vector<uint8_t> tail;
    if (tailSize < 22 || !readAt(file, size - tailSize, tail, size_t(tailSize)))
        return std::nullopt;
    size_t end = tail.size();
    for (size_t i = tail.size() - 22 + 1; i-- > 0;) {
        if (le(&tail[i], 4) == 0x06054b50 && i + 22 + le(&tail[i + 20], 2) == tail.size()) {
            end = i;
            break;
        }
    }
    if (end == tail.size())
        return std::nullopt;
    uint64_t count = le(&tail[end + 10], 2);
    uint64_t directorySize = le(&tail[end + 12], 4);
    uint64_t directoryAt = le(&tail[end + 16], 4);
    // ZIP64: a locator just before the end record leads to the ZIP64 end
    // record, which holds the full values. Without one, the end record's
    // values are whole (libarchive writes a count of exactly 65,535 there).
    const uint64_t endAt = size - tailSize + end;
    std::vector<uint8_t> locator, record;
    if (endAt >= 20 && readAt(file, endAt - 20, locator, 20) && le(&locator[0], 4) == 0x07064b50) {
        if (!readAt(file, le(&locator[8], 8), record, 56) || le(&record[0], 4) != 0x06064b50)
            return std::nullopt;
        count = le(&record[32], 8);
        directorySize = le(&record[40], 8);
        directoryAt = le(&record[48], 8);
    }
    std::vector<uint8_t> dir;
    if (directorySize > kMostDirectoryBytes || directoryAt > size
        || directorySize > size - directoryAt
        || !readAt(file, directoryAt, dir, size_t(directorySize)))
        return std::nullopt;
    Names names;
    size_t at = 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (dir.size() - at < 46 || le(&dir[at], 4) != 0x02014b50)
            return std::nullopt;
        const size_t nameSize = le(&dir[at + 28], 2);
        const size_t rest = nameSize + le(&dir[at + 30], 2) + le(&dir[at + 32], 2);
        if (dir.size() - at - 46 < rest)
            return std::nullopt;
        const char *name = reinterpret_cast<const char *>(&dir[at + 46]);
        names.push_back(std::string(name, nameSize));
        at += 46 + rest;
    }
    return names;
}

std::optional<Names> cabUnicodeNames(const std::filesystem::path &archive)
{
    File file = File::openForReading(archive, File::Links::Follow);
    if (!file)
        return std::nullopt;
    const uint64_t size = file.facts().size;
    std::vector<uint8_t> header;
    if (!readAt(file, 0, header, 36) || le(&header[0], 4) != 0x4643534d) // "MSCF"
        return std::nullopt;
    const uint64_t filesAt = le(&header[16], 4);
    const uint64_t count = le(&header[28], 2);
    constexpr unsigned kNameIsUtf = 0x80;
    // Each entry is 16 bytes and a name of at most 256 with its end: the
    // list is read that far at most, not the data after it.
    std::vector<uint8_t> files;
    const uint64_t most = std::min<uint64_t>(count * (16 + 257), kMostDirectoryBytes);
    if (filesAt >= size || !readAt(file, filesAt, files, size_t(std::min(size - filesAt, most))))
        return std::nullopt;
    Names names;
    size_t at = 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (files.size() - at < 17)
            return std::nullopt;
        const bool utf = le(&files[at + 14], 2) & kNameIsUtf;
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
