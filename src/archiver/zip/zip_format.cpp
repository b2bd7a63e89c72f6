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
        // Every kept member is read first, as an LZH add decodes its kept
        // members: a damaged or encrypted one is named as the old archive's
        // fault, not found only in the read-back of the new one.
        if (!existing.empty())
            readExistingWithLibarchive(
                existing, LibarchiveFormat::Zip, context, replacedPaths(entries));
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
