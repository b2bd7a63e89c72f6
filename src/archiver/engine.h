#pragma once
// The archiver engine's one entry point: one archiver command line in,
// "made" or "failed with a reason" out. Plain C++, no Qt.

#include "archiver/archive_error.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sheaf {
class File;
}

namespace sheaf::archiver {

class WrittenArchives;

enum class ArchiverKind { Lzh, Zip, Cab };

struct RunOptions
{
    // When it turns true the run stops at the next block of data, removes its
    // temporary file and fails with ErrorCode::Cancelled. The old archive of
    // the same name, if any, stays as it was.
    const std::atomic<bool> *cancel = nullptr;
    // Null: every new archive is synced to disk (file and folder) before the
    // run returns. A batch that makes thousands of new archives hands one of
    // these instead and calls its sync() once at its end: a sync costs far
    // more than a small archive (written_archives.h). An archive that
    // replaces an existing one is always synced before its rename, so the
    // old one is never traded for data still in the cache.
    WrittenArchives *writtenArchives = nullptr;
    // Called now and then from the thread running the archive with the bytes
    // of source data read so far and the total the gathered members add up
    // to (which may change when files change while they are read). The
    // caller throttles its display.
    std::function<void(uint64_t done, uint64_t total)> progress;
    // Worker threads one archive may use (the LZH encoder splits a large
    // member into chunks); 0: one per core. The archive's bytes do not depend
    // on it.
    int threads = 1;
    // How long a run waits for another run (another process or thread)
    // writing the same archive, in milliseconds; then it fails.
    int64_t lockWaitMs = 10 * 60 * 1000;
    // Called from the thread running the archive once the temporary file is
    // complete, just before it takes the archive's name; `replaces` tells
    // whether an archive of that name exists (an add). It may block (a
    // parallel batch lets adds take their names in list order); false cancels
    // the run as the cancel flag does.
    std::function<bool(bool replaces)> mayCommit;
    // Folders the caller has opened and checked (a batch reaches each
    // entry's folder from the selection folder without following links).
    // When given, the engine never looks that folder up by its path again,
    // which may lead elsewhere by now: `baseFolder` is the command line's
    // base folder, whose names are gathered from it; `archiveFolder` is the
    // folder the archive goes to (the base folder itself when the archive
    // lies beside its files), where it is written, and an old archive of its
    // name read.
    const File *baseFolder = nullptr;
    const File *archiveFolder = nullptr;
};

// A file the gathering found but did not take: a named pipe, a socket, a
// device, a symbolic link that leads nowhere, into a loop, out of the folder
// being archived, or that another user owns.
struct LeftOut
{
    std::string path; // as found, bytes as the system gave them
    std::string reason; // one line, UTF-8
};

// The archive a run made, as it was the moment it took its name: enough for
// a batch to take back exactly that file later (removeMadeArchive) and to
// know which file system holds it.
struct MadeArchive
{
    std::string path; // the archive's file (a symbolic link at the name given resolved)
    uint64_t device = 0, inode = 0, size = 0;
    int64_t mtimeNs = 0;
    bool isNew = false; // nothing was at its name before; false: an add replaced it
};

struct RunResult
{
    ErrorCode code = ErrorCode::None; // None: the archive was made
    std::string reason; // one line, UTF-8; empty on success
    std::vector<LeftOut> leftOut; // what the archive does not hold, and why
    MadeArchive made; // when ok()
    bool ok() const { return code == ErrorCode::None; }
};

// Takes back an archive made new by a run, under the archive's lock (the
// same one an add takes): it is removed only when its name still holds that
// very file, unchanged. An archive another run has added to since (an add
// replaces the file) or changed stays. Returns false, with a reason, when it
// could not look or remove; true when it was removed or left as another
// run's. `folder`, when given, is the archive's folder opened by the caller
// (as RunOptions::archiveFolder): its path is not looked at.
bool removeMadeArchive(const MadeArchive &made, std::string &reason, const File *folder = nullptr,
    int64_t lockWaitMs = 10 * 60 * 1000);

// Runs one command line of the given dialect, for example for Lzh:
//   a -a1 -r0 "D:/out/IMG01.lzh" "C:/data/photos/" "IMG01.TXT"
// The text is Unicode (UTF-8); file names are never squeezed through a code
// page on the way in. Returns when the archive is complete on disk or has
// failed; on failure nothing new is left behind. An archive counts as made
// only once it was read back and held exactly the members written, with the
// bytes read from their files.
RunResult runCommandLine(
    ArchiverKind kind, std::string_view commandLine, const RunOptions &options = {});

} // namespace sheaf::archiver
