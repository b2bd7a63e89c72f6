// libFuzzer target for the reader an add uses on an existing LZH archive:
// any bytes give either the members or ArchiveError(NotAnArchive), never a
// read outside the bytes (AddressSanitizer watches) nor another exception.
// The same bytes are also read back as a file (an anonymous memory file),
// which must give the same answer as the bytes in memory.

#include "fuzz_checks.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/lzh_archive_reader.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace sheaf::archiver;
using sheaf::fuzz::check;
using sheaf::fuzz::memoryFileWith;

namespace {

struct Outcome
{
    bool refused = false;
    std::vector<LzhMemberInfo> members;
};

template<typename Read>
Outcome outcome(Read read)
{
    Outcome o;
    try {
        o.members = read();
    } catch (const ArchiveError &e) {
        check(e.code() == ErrorCode::NotAnArchive);
        o.refused = true;
    }
    return o;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const Outcome inMemory = outcome([&] { return parseLzhMembers(bytes, "fuzz.lzh"); });

    // Members follow each other from the start and end inside the bytes:
    // these are the ranges an add copies into the new archive.
    uint64_t at = 0;
    for (const LzhMemberInfo &m : inMemory.members) {
        check(m.offset == at);
        check(m.totalSize > 0 && m.totalSize <= size - at);
        at += m.totalSize;
    }

    const std::string path = memoryFileWith(data, size);
    const Outcome fromFile = outcome([&] { return readLzhMembers(path); });
    check(fromFile.refused == inMemory.refused);
    check(fromFile.members.size() == inMemory.members.size());
    for (size_t i = 0; i < inMemory.members.size(); ++i) {
        const LzhMemberInfo &a = inMemory.members[i], &b = fromFile.members[i];
        check(a.offset == b.offset && a.totalSize == b.totalSize && a.path == b.path
            && a.rawPath == b.rawPath && a.isDirectory == b.isDirectory);
    }
    return 0;
}
