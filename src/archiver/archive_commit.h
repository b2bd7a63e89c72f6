#pragma once
// Where an archive is written and how it takes its name. The output folder
// is held open and every temporary file, scratch folder and lock file is
// made, renamed and removed relative to that handle, so a folder renamed
// during the run keeps nothing of it. Two ways, the constructor picks one:
//
// A new archive (nothing at its name when the run looked) is written into a
// file without a name in the folder, which is given the archive's name at
// the commit only if the name is still free; when another run made the
// archive meanwhile, commit() throws ArchiveAppeared and the caller starts
// over as an add to it. No lock: nothing is made, renamed or removed in the
// folder but the archive itself (in a batch into one folder every change of
// the folder makes the other workers wait), and a killed run leaves nothing.
//
// An add (or a folder without files that have no name):
//  1. The constructor takes the archive's lock: a hidden
//     ".<archive>.sheaf-tmp-lock" beside it, created new and flock'ed for the
//     whole write, read back and commit. Another run (process or thread)
//     that wants the same archive waits for it, at most `lockWaitMs`; then
//     fails. A lock file found left behind means its holder was killed: it
//     is removed, and so are the temporary files and scratch folders of that
//     archive's name.
//  2. startWriting() creates the temporary file ".<archive>.sheaf-tmp-XXXXXX"
//     (not the lock file: where locks are mandatory, as on some network
//     shares, a locked file could not be read back).
//  3. commit() renames it over the archive, only over the very archive that
//     was read (else ArchiveAppeared). Until then the old archive is
//     untouched; the destructor removes the temporary file, the scratch
//     folders and the lock file on every other path, exceptions included.

#include "archiver/archive_format.h"
#include "archiver/engine.h"
#include "archiver/output_file.h"
#include "base/file.h"
#include "base/platform.h"
#include "base/random_reader.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sheaf::archiver {

// Exactly ".<archive name>.sheaf-tmp-" followed by six letters or digits, or
// by "lock": the names this engine makes. Such files are never gathered (a
// stale one left by a killed run neither); a user's file of another name
// with ".sheaf-tmp-" in it is an ordinary file.
bool isTemporaryName(std::string_view fileName);

// Thrown by commit() of a new archive whose name another run took meanwhile.
struct ArchiveAppeared
{
};

class ArchiveCommit
{
public:
    // `archive` is the path of the file itself (a symbolic link already
    // resolved); `isNew`: nothing was found at that path. `folder`, when
    // given, is the archive's folder already open: the folder is then never
    // looked up by its path (which may lead elsewhere by now), and the
    // archive goes into that folder wherever it is. Throws
    // ArchiveError(WriteFailed) when the folder is missing or unwritable or
    // the lock cannot be had in time.
    ArchiveCommit(const std::filesystem::path &archive, const std::atomic<bool> *cancel,
        int64_t lockWaitMs, bool isNew, const File *folder = nullptr);
    ~ArchiveCommit();
    ArchiveCommit(const ArchiveCommit &) = delete;
    ArchiveCommit &operator=(const ArchiveCommit &) = delete;

    // The archive's name in the held folder, as it is now (a link not
    // followed); for a new archive written without the lock, ENOENT.
    platform::FileFacts archiveFacts();
    void startWriting();
    OutputFile &out() { return *m_out; }
    // The folder the archive goes to, held open.
    const File &folder() const { return m_folder; }
    // A path that reaches the archive archiveFacts() found, opened from the
    // held folder, for readers of the old archive that take a path.
    // ArchiveAppeared when something else has taken its name since.
    std::filesystem::path reachingPath();
    // The temporary file, flushed, to be read back. Throws
    // ArchiveError(VerifyFailed) when the file does not hold exactly the
    // bytes written into it.
    ArchiveToRead written();
    // A new hidden folder beside the archive for a writer's scratch files,
    // removed with the temporary file.
    std::filesystem::path makeScratchFolder();
    // Gives the temporary file the permission bits (and owner and group,
    // where allowed) of the archive it replaces.
    void keepModeOf(const std::filesystem::path &existing);

    // Closes the temporary file and renames it over the archive. The file (and
    // then its folder) is synced first when it replaces an existing archive,
    // or always when `syncNew` is set. A failed close or sync fails the
    // archive; one of the folder, after the rename, too, although the archive
    // has its name by then. Returns the archive as named (its
    // path is the one given to the constructor).
    MadeArchive commit(bool syncNew = true);
    // With the lock held (the constructor with isNew false): removes the
    // archive if its name still holds the file `made` describes, unchanged.
    // False when another file (or a changed one) stands there; throws
    // ArchiveError(WriteFailed) when it cannot be removed.
    bool removeIfStill(const MadeArchive &made);

private:
    std::string freeName();
    void takeLock(int64_t lockWaitMs);
    void removeLeftovers();
    bool archiveIsThere();
    void syncFolder();

    std::filesystem::path m_archive;
    std::string m_name; // the archive's file name
    std::string m_prefix; // ".<name>.sheaf-tmp-"
    const std::atomic<bool> *m_cancel;
    File m_folder;
    File m_lock; // the lock file (an add)
    std::string m_lockName; // its name in m_folder
    std::string m_temporary; // the file an add writes, its name in m_folder
    bool m_isNew = false; // nothing was at the archive's path when the run began
    bool m_folderGiven = false; // the caller opened the folder: its path is not looked at
    bool m_unnamed = false; // a new archive in a file without a name, no lock
    bool m_archiveLooked = false; // archiveFacts() was called
    platform::FileFacts m_archiveSeen; // what it found
    File m_old; // the old archive, held open for its readers
    std::vector<std::string> m_scratchFolders; // names in m_folder
    std::unique_ptr<OutputFile> m_out;
    std::unique_ptr<FileReader> m_reader; // of the finished temporary file
    bool m_committed = false;
};

} // namespace sheaf::archiver
