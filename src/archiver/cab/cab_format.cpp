// Cabinets in the pipeline: written through libgcab, read back through
// libarchive's cabinet reader.
#include "archiver/archive_error.h"
#include "archiver/archive_format.h"
#include "archiver/cab/cab_archive_writer.h"
#include "archiver/cab/cab_records.h"
#include "archiver/libarchive_read_back.h"

namespace sheaf::archiver {

namespace {

class CabFormat final : public ArchiveFormat
{
public:
    bool storesFolders() const override { return false; }

    ArchivedMembers write(const std::filesystem::path &existing, const ArchiveEntries &entries,
        OutputFile &out, const FormatContext &context) const override
    {
        if (existing.empty())
            return writeCabArchive(existing, entries, out, context);
        // Read whole first: libgcab would keep a damaged member's bytes.
        const ArchivedMembers old
            = readExistingWithLibarchive(existing, LibarchiveFormat::Cab, context);
        return writeCabArchive(existing, entries, out, context, &old);
    }

    ArchivedMembers readBack(const ArchiveToRead &archive, const FormatContext &context,
        const ArchivedMembers &written) const override
    {
        // Every record is checked with our own parser first. A name marked
        // as UTF-8 is then compared as the list's bytes (libarchive gives it
        // in form C).
        const auto names = checkWrittenCab(ArchiveInput(archive.bytes, archive.name), written);
        return readBackWithLibarchive(archive, LibarchiveFormat::Cab, context, names);
    }
};

} // namespace

const ArchiveFormat &cabFormat()
{
    static const CabFormat format;
    return format;
}

} // namespace sheaf::archiver
