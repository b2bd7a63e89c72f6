#pragma once
// The records of a ZIP archive, as every part of the engine that reads one
// finds them: the end record (with the Zip64 end record and locator where
// they stand), the central directory records and the local headers. One
// search for the end and one parser for each record, for the kept-member
// reader, the read-back and the length patcher alike.

#include "archiver/archive_format.h"
#include "archiver/archive_input.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sheaf::archiver {

constexpr uint32_t kZipLocalSignature = 0x04034b50;
constexpr uint32_t kZipCentralSignature = 0x02014b50;
constexpr uint32_t kZipEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZipDescriptorSignature = 0x08074b50;
constexpr size_t kZipLocalSize = 30; // before the name
constexpr size_t kZipCentralSize = 46; // before the name
constexpr size_t kZipEndSize = 22; // before the comment
constexpr size_t kZip64EndSize = 56;
constexpr size_t kZip64LocatorSize = 20;
constexpr uint16_t kZipEncrypted = 0x0001;
constexpr uint16_t kZipSizesFollow = 0x0008; // a data descriptor follows the data
constexpr uint16_t kZipUtf8Name = 0x0800;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kZipUnicodePathId = 0x7075;

// Why records could not be read (the caller says whose they are).
struct ZipRecordFault
{
    std::string why;
};

bool isZipSignature(const uint8_t *p, uint32_t signature);

// Where the central directory is, as the end records say.
struct ZipEnd
{
    uint64_t count = 0; // central directory records
    uint64_t centralSize = 0;
    uint64_t centralOffset = 0; // as recorded (before any bytes put in front)
    uint64_t centralAt = 0; // where the directory really starts in the file
    uint64_t directoryEnd = 0; // where it ends: the Zip64 end record or the end record
    uint64_t endAt = 0; // the end record
    bool zip64 = false; // Zip64 end records stand before it
    std::vector<uint8_t> comment;
};

// The end record is the last one whose comment reaches exactly the end of
// the file; one in the comment that does too is refused (readers differ on
// which counts), and so is an archive split over several files. Zip64 end
// records are used wherever their locator stands before the end record.
// Throws ZipRecordFault; ArchiveError(ReadFailed).
ZipEnd findZipEnd(const ArchiveInput &archive);

struct ZipCentralRecord
{
    size_t recordSize = 0; // fixed part, name, extra field and comment
    uint16_t madeBy = 0, needed = 0, flags = 0, method = 0, time = 0, date = 0;
    uint32_t crc = 0;
    uint64_t packed = 0, original = 0, localOffset = 0; // Zip64 values where they stand
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    std::string name; // the name field's bytes
    size_t extraAt = 0, extraSize = 0, commentSize = 0; // within the record
    size_t offsetField = 42; // where the local header offset is in the record
    bool wideOffset = false; // 8 bytes in the Zip64 field
};

// The record at `p`, `available` bytes of directory left. Throws
// ZipRecordFault.
ZipCentralRecord parseZipCentralRecord(const uint8_t *p, size_t available);

struct ZipLocalHeader
{
    uint16_t needed = 0, flags = 0, method = 0, time = 0, date = 0;
    uint32_t crc = 0, packed = 0, original = 0; // as written (0xFFFFFFFF: Zip64 field)
    uint16_t nameSize = 0, extraSize = 0;
};

// The fixed part at `p` (kZipLocalSize bytes). Throws ZipRecordFault when
// it does not start with the signature.
ZipLocalHeader parseZipLocalHeader(const uint8_t *p);

// Calls `each` with every extra field (id, data, size) of the `size` bytes
// at `p`; a field that runs past the end ends the walk.
template<class Each>
void forEachZipExtra(const uint8_t *p, size_t size, Each each);

// What the ZIP writer meant a member's records to hold, for the read-back:
// a kept member's central record as it must stand (its offset moved), or a
// new member's method.
struct ZipReadHints final : ReadHints
{
    std::vector<uint8_t> keptCentral; // empty for a new member
    uint64_t keptLength = 0; // a kept member's local header, data and descriptor
    uint32_t keptCrc = 0; // their crc32 as copied from the old archive
    // A new member's method (0 stored, 8 deflated), Unix mode and time as
    // its extended timestamp holds it.
    uint16_t method = 0;
    uint32_t mode = 0;
    uint32_t mtime = 0;
};

// Checks every record of a finished archive against the others and against
// `written` (with its ZipReadHints): the end records describe exactly the
// central directory, which describes exactly the members, one after the
// other from the first byte; each new member's local header (and
// descriptor) agrees with its central record field by field (version, flags,
// method, time, CRC, sizes, name, extra fields) and its central record holds
// what the writer meant (name, size, crc32, method, flags, mode, time); a
// kept member's central record is its old one with the offset moved, and its
// local header, data and descriptor are the bytes copied (crc32). Returns the name bytes of
// the members in order. Throws ArchiveError(VerifyFailed) naming `archive`
// and the first difference; ReadFailed.
std::vector<std::string> checkWrittenZip(
    const ArchiveInput &archive, const ArchivedMembers &written);

} // namespace sheaf::archiver

#include "base/little_endian.h"

namespace sheaf::archiver {

template<class Each>
void forEachZipExtra(const uint8_t *p, size_t size, Each each)
{
    for (size_t at = 0; at + 4 <= size;) {
        const size_t length = le16(p + at + 2);
        if (at + 4 + length > size)
            return;
        each(le16(p + at), p + at + 4, length);
        at += 4 + length;
    }
}

} // namespace sheaf::archiver
