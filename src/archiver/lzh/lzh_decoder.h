#pragma once
// Our own reader of LZH member data (-lh0-, -lh5-, -lh6-, -lh7-, -lhd-;
// header levels 0 to 3). It verifies every archive we write and every member
// an add keeps, so it is built for speed (table-driven Huffman decoding, a
// 64-bit bit buffer) and checks every bound: damaged input gives a reason,
// never a read or write out of bounds.

#include "archiver/lzh/lzh_archive_reader.h"
#include "archiver/lzh/lzh_restart_point.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sheaf::archiver {

struct LzhMemberReport
{
    // UTF-8, '/'-separated, no trailing '/': the Unicode name (0x44/0x45)
    // when present, else the code page 932 name decoded; directory included.
    std::string storedPath;
    std::string rawName; // the name bytes as stored (directory part joined with '/')
    bool isDirectory = false;
    std::string method; // "-lh5-" ...
    uint64_t originalSize = 0, packedSize = 0;
    int64_t mtime = 0; // Unix seconds, UTC
    uint16_t crc16 = 0; // as stored
    uint32_t crc32 = 0; // zlib crc32 of the decoded bytes
    int headerLevel = 0;
    uint64_t headerOffset = 0; // where the member's header starts in the archive
    std::string fault; // empty when the member decoded fully and its CRC-16 matched; else why not
};

// Receives the decoded bytes of each member in order, in pieces.
using LzhDataSink
    = std::function<void(const LzhMemberReport &member, const uint8_t *data, size_t size)>;

// A member decoded in pieces on several threads, from the places where our
// writer says its stream may be taken up (member i of the archive: members[i];
// null or empty: in one piece). Nothing of it is taken on trust: each piece
// must end exactly where the next begins, on a block boundary, with exactly
// the bytes the next one took as history, so that the pieces decode to what
// one pass over the whole stream gives; the member's CRC is checked as ever.
// Points that do not even fit the member are ignored (one pass instead).
struct LzhParallelDecode
{
    std::vector<const LzhRestartPoints *> members;
    int threads = 1; // 0: one per core
};

// Decodes every member. The sink must not decode on the same thread (the
// decoder's buffers are per thread). Throws ArchiveError(NotAnArchive) with a reason when
// the archive's structure cannot be read (ReadFailed when the file cannot be
// read, Cancelled when `cancel` was set); a member whose data is damaged gets
// `fault` set and decoding goes on with the next member. `parallel` is used
// only without a sink.
std::vector<LzhMemberReport> decodeLzhArchive(const ArchiveInput &archive,
    const LzhDataSink &sink = {}, const std::atomic<bool> *cancel = nullptr,
    const LzhParallelDecode *parallel = nullptr);
std::vector<LzhMemberReport> decodeLzhArchive(const std::filesystem::path &archive,
    const LzhDataSink &sink = {}, const std::atomic<bool> *cancel = nullptr,
    const LzhParallelDecode *parallel = nullptr);

// Decodes only `members`, as readLzhMembers(archive) found them (an add
// checks the members it keeps this way).
std::vector<LzhMemberReport> decodeLzhMembers(const ArchiveInput &archive,
    const std::vector<LzhMemberInfo> &members, const LzhDataSink &sink = {},
    const std::atomic<bool> *cancel = nullptr);

// The same on bytes in memory (`name` only for messages).
std::vector<LzhMemberReport> decodeLzhBytes(const uint8_t *data, size_t size,
    const std::string &name, const LzhDataSink &sink = {},
    const std::atomic<bool> *cancel = nullptr, const LzhParallelDecode *parallel = nullptr);

} // namespace sheaf::archiver
