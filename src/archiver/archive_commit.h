#pragma once
// An archive is written to a hidden temporary file in its own folder and
// renamed over the old archive only once complete. Until commit() succeeds
// the old archive is untouched; the destructor removes the temporary file
// and any scratch folder on every other path, exceptions included.

#include "archiver/output_file.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace sheaf::archiver {

// ".<archive name>.sheaf-tmp-XXXXXX": such names are never gathered, so a
// stale one left by a killed run is ignored too.
bool isTemporaryName(std::string_view fileName);

class ArchiveCommit
{
public:
    // Creates the temporary file; throws ArchiveError(WriteFailed) when the
    // folder is missing or unwritable.
    ArchiveCommit(const std::filesystem::path &archive, const std::atomic<bool> *cancel);
    ~ArchiveCommit();
    ArchiveCommit(const ArchiveCommit &) = delete;
    ArchiveCommit &operator=(const ArchiveCommit &) = delete;

    OutputFile &out() { return *m_out; }
    const std::filesystem::path &temporaryPath() const { return m_temporary; }
    // A new hidden folder beside the archive for a writer's scratch files,
    // removed with the temporary file.
    std::filesystem::path makeScratchFolder();

    // Closes the temporary file and renames it over the archive. The file (and
    // then its folder) is synced first when it replaces an existing archive,
    // or always when `syncNew` is set.
    void commit(bool syncNew = true);

private:
    std::filesystem::path temporaryPattern() const;

    std::filesystem::path m_archive;
    std::filesystem::path m_temporary;
    std::vector<std::filesystem::path> m_scratchFolders;
    std::unique_ptr<OutputFile> m_out;
    bool m_committed = false;
};

} // namespace sheaf::archiver
