// Cabinets in the pipeline: written through libgcab, read back through
// libarchive's cabinet reader.
#include "archiver/archive_format.h"
#include "archiver/cab/cab_archive_writer.h"
#include "archiver/libarchive_read_back.h"

namespace sheaf::archiver {

namespace {

class CabFormat final : public ArchiveFormat
{
public:
    ArchivedMembers write(const std::filesystem::path &existing, const ArchiveEntries &entries,
        OutputFile &out, const FormatContext &context) const override
    {
        if (existing.empty())
            return writeCabArchive(existing, entries, out, context.makeScratchFolder,
                context.cancel, context.progress);
        // Read whole first: libgcab would keep a damaged member's bytes.
        const ArchivedMembers old = readExistingWithLibarchive(
            existing, LibarchiveFormat::Cab, context, replacedPaths(entries));
        return writeCabArchive(existing, entries, out, context.makeScratchFolder, context.cancel,
            context.progress, &old);
    }

    ArchivedMembers readBack(const ArchiveToRead &archive, const FormatContext &context,
        const ArchivedMembers &) const override
    {
        return readBackWithLibarchive(archive.path, LibarchiveFormat::Cab, context);
    }
};

} // namespace

const ArchiveFormat &cabFormat()
{
    static const CabFormat format;
    return format;
}

} // namespace sheaf::archiver
