// Cabinets in the pipeline: written through libgcab, read back through
// libarchive's cabinet reader.
#include "archiver/archive_error.h"
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
        ArchivedMembers old;
        try {
            old = readBackWithLibarchive(existing, LibarchiveFormat::Cab, context);
        } catch (const ArchiveError &e) {
            if (e.code() != ErrorCode::VerifyFailed)
                throw;
            throw ArchiveError(ErrorCode::NotAnArchive,
                "既存の書庫が壊れているため追加できません: " + existing.string());
        }
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
