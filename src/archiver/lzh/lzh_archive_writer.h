#pragma once
// Writes a whole LZH archive: level-2 headers, names in code page 932,
// -lh5-/-lh6-/-lh7- by our own encoder, -lh0- where compressing does not pay.

#include "archiver/archive_entry.h"
#include "archiver/lzh/lzh_format.h"
#include "archiver/lzh/lzh_restart_point.h"
#include "archiver/output_file.h"
#include "archiver/source_file.h"

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace sheaf::archiver {

struct LzhOptions
{
    LzhMethod method = LzhMethod::Lh5;
    int level = 0; // 0: the default; higher levels search harder
    const std::atomic<bool> *cancel = nullptr;
    // Threads for a member larger than one chunk (0: one per core). The
    // archive's bytes do not depend on it.
    int threads = 1;
    // For the benchmark only: every member as one stream, as before members
    // were cut into chunks; and the CPU seconds each chunk's encoding took,
    // in stream order.
    bool wholeMembers = false;
    std::vector<double> *chunkSeconds = nullptr;
    ReadProgress *progress = nullptr;
};

// One member as written: its stored name (code page 932 bytes, '/' between
// components, as a reader finds them), and the size and crc32 of its data.
struct LzhWrittenMember
{
    std::string rawPath;
    bool isDirectory = false;
    bool dataKnown = true; // false for a kept member whose data was not decoded
    uint64_t size = 0;
    uint32_t crc32 = 0;
    LzhRestartPoints restarts; // where its stream may be taken up (a member of several chunks)
};

// Writes into `out`: first the members of `existing` (empty path: none) whose
// path is not in `replaced`, copied byte for byte in their old order, then
// the new entries in the given order, then the end marker. Throws
// ArchiveError: NotAnArchive when `existing` is not a readable LZH archive,
// ReadFailed when a source cannot be read, TooLarge, WriteFailed, Cancelled.
// Returns every member written, in order.
std::vector<LzhWrittenMember> writeLzhArchive(const std::filesystem::path &existing,
    const std::set<std::string> &replaced, const ArchiveEntries &entries, OutputFile &out,
    const LzhOptions &options);

} // namespace sheaf::archiver
