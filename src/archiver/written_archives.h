#pragma once
// A batch's new archives on their way to disk. Syncing each archive and its
// folder costs far more than a small archive takes to make, so a batch
// leaves its new archives in the cache and syncs each file system they went
// to once, at its end. A sync of a whole file system (syncfs) reports a
// write-back error that happened there since the handle it is called on was
// opened, so the engine hands over a handle on each archive's folder before
// it writes the first archive there. A failure cannot tell which file it
// hit: every new archive of the batch on that file system may be concerned.

#include "archiver/engine.h"
#include "base/file.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace sheaf::archiver {

class WrittenArchives
{
public:
    // The engine, before it writes an archive into `folder` (from any thread).
    void watch(const File &folder);
    // The engine, once a new archive took its name unsynced.
    void made(const MadeArchive &archive);

    struct Failure
    {
        std::string reason; // one line, UTF-8: the folder and the system's text
        std::vector<std::string> archives; // the new archives it may concern
    };
    // The batch, at its end: syncs every file system written to since it
    // began. Empty when everything is on disk.
    std::vector<Failure> sync();

private:
    struct FileSystem
    {
        File handle; // on a folder there, taken before the first archive went to it
        std::vector<std::string> archives;
    };
    std::mutex m_mutex;
    std::map<uint64_t, FileSystem> m_fileSystems; // by device
};

} // namespace sheaf::archiver
