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

namespace sheaf::archiver {

enum class ArchiverKind { Lzh, Zip, Cab };

struct RunOptions
{
    // When it turns true the run stops at the next block of data, removes its
    // temporary file and fails with ErrorCode::Cancelled. The old archive of
    // the same name, if any, stays as it was.
    const std::atomic<bool> *cancel = nullptr;
    // Sync every new archive to disk before it takes its name. An archive
    // that replaces an existing one is always synced first, so the old one is
    // never traded for data still in the cache. A batch that makes thousands
    // of new archives turns this off and calls syncWrittenArchives() once at
    // its end instead: a sync costs far more than a small archive.
    bool syncEachArchive = true;
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
};

// A file the gathering found but did not take: a named pipe, a socket, a
// device, a symbolic link that leads nowhere, into a loop, out of the folder
// being archived, or that another user owns.
struct LeftOut
{
    std::string path; // as found, bytes as the system gave them
    std::string reason; // one line, UTF-8
};

struct RunResult
{
    ErrorCode code = ErrorCode::None; // None: the archive was made
    std::string reason; // one line, UTF-8; empty on success
    std::vector<LeftOut> leftOut; // what the archive does not hold, and why
    bool ok() const { return code == ErrorCode::None; }
};

// Flushes everything written so far to disk (one sync for a whole batch).
void syncWrittenArchives();

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
