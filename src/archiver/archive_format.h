#pragma once
// The shape every archive format plugs into the engine's pipeline with.
// The pipeline (engine.cpp) runs the same stages for each archive:
//   gather the members -> write a temporary archive (ArchiveFormat::write)
//   -> read it back (ArchiveFormat::readBack) and compare with what write()
//   said it wrote -> commit (rename into place).
// The shared rules (the lock on the archive, temporary files, cancel checks,
// the comparison, commit) live in the pipeline; a format only writes and
// reads its own bytes.

#include "archiver/archive_entry.h"
#include "archiver/archive_request.h"
#include "archiver/output_file.h"
#include "archiver/source_file.h"
#include "base/random_reader.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace sheaf::archiver {

// What a writer noted for its own format's read-back: where a member may be
// decoded in pieces on several threads. Never trusted: the reader checks the
// member as fully with it as without.
struct ReadHints
{
    virtual ~ReadHints() = default;
};

// One member of a written archive, as a reader must find it.
struct ArchivedMember
{
    // The name's bytes as the archive's directory holds them (LZH: the code
    // page 932 name; ZIP: the name field, whatever its character set; a
    // cabinet: the name marked UTF-8, or as libarchive reads an unmarked
    // one): '/' between components, no trailing '/'.
    std::string storedPath;
    bool isDirectory = false;
    bool isLink = false; // a kept symbolic link (ZIP): its data is not compared
    bool dataKnown = true; // false: size and crc32 unknown, only the name is compared
    uint64_t size = 0;
    uint32_t crc32 = 0; // zlib crc32 of the member's bytes
    std::shared_ptr<const ReadHints> hints; // from write(), for readBack()
};
using ArchivedMembers = std::vector<ArchivedMember>;

// A finished temporary archive to be read back.
struct ArchiveToRead
{
    std::filesystem::path path; // reaches it, for libraries that take a path
    std::string name; // the archive's path, as messages name it
    const RandomReader &bytes; // the same file
};

// What a format gets from the pipeline besides the members.
struct FormatContext
{
    const ArchiveRequest &request; // the format's own switches (LZH method, level)
    const std::atomic<bool> *cancel = nullptr;
    ReadProgress *progress = nullptr; // hand it to every SourceFile
    // A new scratch folder beside the archive, removed by the pipeline.
    std::function<std::filesystem::path()> makeScratchFolder;
    int threads = 1; // worker threads one archive may use; 0: one per core
    // The stored paths of the members the run writes: the members of an old
    // archive with one of these paths are replaced, all others kept.
    const std::set<std::string> &replaced;
    // Throws ArchiveError(Cancelled) once the cancel flag is set.
    void checkCancel() const;
};

class ArchiveFormat
{
public:
    virtual ~ArchiveFormat() = default;

    // Whether the format stores folder entries (a cabinet does not, so a
    // new folder replaces nothing in an old one).
    virtual bool storesFolders() const { return true; }

    // Writes the whole archive into `out`: the members of `existing` (empty
    // path: no old archive) not in context.replaced, in their old order, then
    // `entries` in their order. Every source file is read through
    // SourceFile (so a file that changes while it is read fails the run).
    // Returns every member written, kept ones included, in the order a
    // reader meets them, each with the size and crc32 of the bytes it was
    // made from; a format that stores no folders lists none. Throws
    // ArchiveError: NotAnArchive (an old archive that cannot be read or is
    // damaged), ReadFailed, TooLarge, WriteFailed, Cancelled.
    virtual ArchivedMembers write(const std::filesystem::path &existing,
        const ArchiveEntries &entries, OutputFile &out, const FormatContext &context) const = 0;

    // Reads the finished archive through a decoder that is not
    // the writer, decoding every member's data, and returns its members in
    // order with the size and crc32 of the decoded bytes. `written` is what
    // write() returned: the pipeline compares it with the result; a format
    // may only take its hints from it. Throws ArchiveError(VerifyFailed)
    // naming the archive when it cannot be read or a member does not
    // decode; Cancelled.
    virtual ArchivedMembers readBack(const ArchiveToRead &archive, const FormatContext &context,
        const ArchivedMembers &written) const = 0;
};

const ArchiveFormat &lzhFormat();
const ArchiveFormat &zipFormat();
const ArchiveFormat &cabFormat();

// The first difference between what was written and what was read back, as
// one line naming the member; empty when they agree.
std::string compareMembers(const ArchivedMembers &written, const ArchivedMembers &read);

} // namespace sheaf::archiver
