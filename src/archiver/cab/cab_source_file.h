#pragma once
// libgcab reads every member's file itself, through a GFile. This GFile
// reads through SourceFile instead, so that a cabinet member holds exactly
// the bytes its file held, checksummed on the way, and a file that changes
// while it is read (or between being added and being read) fails the
// cabinet rather than leaving a member whose size and data disagree.

#include "archiver/archive_entry.h"
#include "archiver/source_file.h"

#include <atomic>
#include <exception>
#include <filesystem>
#include <gio/gio.h>
#include <memory>

namespace sheaf::archiver {

struct CabSourceState
{
    ArchiveEntry entry; // opened as the gathering found it
    ReadProgress *progress = nullptr;
    const std::atomic<bool> *cancel = nullptr;
    std::exception_ptr *failure = nullptr; // where an exception waits for gcab to return
    uint64_t size = 0; // when added: the size the member's header gets
    std::unique_ptr<SourceFile> held; // a file read whole when added
    // Once read: the bytes gcab got.
    bool done = false;
    uint64_t bytesRead = 0;
    uint32_t crc32 = 0;
};

// Opens `state->entry` once to learn its size (a file of /proc or /sys is
// kept read whole) and returns a new GFile (one reference) for
// gcab_file_new_with_file. Throws ArchiveError like SourceFile.
GFile *newCabSourceFile(std::shared_ptr<CabSourceState> state);

} // namespace sheaf::archiver
