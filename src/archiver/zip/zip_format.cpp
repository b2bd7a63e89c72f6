// ZIP in the pipeline: written through libarchive's ZIP writer, read back
// through libarchive's ZIP reader.
#include "archiver/archive_format.h"
#include "archiver/libarchive_read_back.h"
#include "archiver/zip/zip_archive_writer.h"

namespace sheaf::archiver {

namespace {

class ZipFormat final : public ArchiveFormat
{
public:
    ArchivedMembers write(const std::filesystem::path &existing, const ArchiveEntries &entries,
        OutputFile &out, const FormatContext &context) const override
    {
        return writeZipArchive(existing, entries, out, context.cancel, context.progress);
    }

    ArchivedMembers readBack(const ArchiveToRead &archive, const FormatContext &context,
        const ArchivedMembers &) const override
    {
        return readBackWithLibarchive(archive.path, LibarchiveFormat::Zip, context);
    }
};

} // namespace

const ArchiveFormat &zipFormat()
{
    static const ZipFormat format;
    return format;
}

} // namespace sheaf::archiver
