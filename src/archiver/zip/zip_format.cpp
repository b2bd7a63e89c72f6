// ZIP in the pipeline: written through libarchive's ZIP writer, read back
// through libarchive's ZIP reader.
#include "archiver/archive_error.h"
#include "archiver/archive_format.h"
#include "archiver/libarchive_read_back.h"
#include "archiver/zip/zip_archive_writer.h"
#include "archiver/zip/zip_records.h"

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
            readExistingWithLibarchive(existing, LibarchiveFormat::Zip, context);
        return writeZipArchive(
            existing, context.replaced, entries, out, context.cancel, context.progress);
    }

    ArchivedMembers readBack(const ArchiveToRead &archive, const FormatContext &context,
        const ArchivedMembers &written) const override
    {
        // Every record is checked with our own parser first. Names are then
        // compared as the directory's bytes: libarchive gives a Unicode name
        // in form C, a code-page name converted, and an Info-ZIP Unicode
        // path field's name instead of the stored one.
        std::vector<std::optional<std::string>> names;
        for (std::string &name :
            checkWrittenZip(ArchiveInput(archive.bytes, archive.name), written))
            names.emplace_back(std::move(name));
        return readBackWithLibarchive(archive, LibarchiveFormat::Zip, context, names);
    }
};

} // namespace

const ArchiveFormat &zipFormat()
{
    static const ZipFormat format;
    return format;
}

} // namespace sheaf::archiver
