#pragma once
// Where an archive is written and how it takes its name. The output folder
// is held open and every temporary file, scratch folder and lock file is
// made, renamed and removed relative to that handle, so a folder renamed
// during the run keeps nothing of it.
//
//  1. The constructor opens the folder and takes the archive's lock: a
//     hidden ".<archive>.sheaf-tmp-lock" beside it, flock'ed for the whole
//     write, read back and commit. Another run (process or thread) that
//     wants the same archive waits for it, at most `lockWaitMs`; then fails.
//     A lock file found left behind means its holder was killed: the
//     temporary files and scratch folders of that archive's name are removed.
//  2. startWriting() creates the temporary file ".<archive>.sheaf-tmp-XXXXXX".
//  3. commit() renames it over the archive. Until then the old archive is
//     untouched; the destructor removes the temporary file, the scratch
//     folders and the lock file on every other path, exceptions included.

#include "archiver/archive_format.h"
#include "archiver/output_file.h"
#include "base/platform.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sheaf::archiver {

// ".<archive name>.sheaf-tmp-XXXXXX" and the lock file: such names are never
// gathered, so a stale one left by a killed run is ignored too.
bool isTemporaryName(std::string_view fileName);

class ArchiveCommit
{
public:
    // `archive` is the path of the file itself (a symbolic link already
    // resolved). Throws ArchiveError(WriteFailed) when the folder is missing
    // or unwritable or the lock cannot be had in time.
    ArchiveCommit(
        const std::filesystem::path &archive, const std::atomic<bool> *cancel, int64_t lockWaitMs);
    ~ArchiveCommit();
    ArchiveCommit(const ArchiveCommit &) = delete;
    ArchiveCommit &operator=(const ArchiveCommit &) = delete;

    // The archive's name in the held folder, as it is now (a link not followed).
    platform::FileFacts archiveFacts() const;
    void startWriting();
    OutputFile &out() { return *m_out; }
    // The temporary file, flushed, to be read back.
    ArchiveToRead written();
    // A new hidden folder beside the archive for a writer's scratch files,
    // removed with the temporary file.
    std::filesystem::path makeScratchFolder();
    // Gives the temporary file the permission bits (and owner and group,
    // where allowed) of the archive it replaces.
    void keepModeOf(const std::filesystem::path &existing);

    // Closes the temporary file and renames it over the archive. The file (and
    // then its folder) is synced first when it replaces an existing archive,
    // or always when `syncNew` is set.
    void commit(bool syncNew = true);

private:
    std::string freeName();
    void takeLock(int64_t lockWaitMs);
    void removeLeftovers();

    std::filesystem::path m_archive;
    std::string m_name; // the archive's file name
    std::string m_prefix; // ".<name>.sheaf-tmp-"
    const std::atomic<bool> *m_cancel;
    int m_folder = -1;
    int m_lock = -1;
    std::string m_temporary; // name in m_folder
    std::vector<std::string> m_scratchFolders; // names in m_folder
    std::unique_ptr<OutputFile> m_out;
    bool m_committed = false;
};

} // namespace sheaf::archiver
