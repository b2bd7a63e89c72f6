// Benchmark driver for the LZH decoder: decodes every member of an archive
// and writes the bytes to stdout (like `bsdtar -xOf` and `lhasa p`), or
// drops them with -n. Exits 1 when a member has a fault.
//   lzh_decode_bench [-n] archive.lzh
#include "archiver/archive_error.h"
#include "archiver/lzh/lzh_decoder.h"

#include <cstdio>
#include <cstring>

using namespace sheaf::archiver;

int main(int argc, char **argv)
{
    const bool discard = argc == 3 && std::strcmp(argv[1], "-n") == 0;
    if (argc != 2 && !discard) {
        std::fprintf(stderr, "usage: lzh_decode_bench [-n] archive.lzh\n");
        return 2;
    }
    LzhDataSink sink;
    if (!discard)
        sink = [](const LzhMemberReport &, const uint8_t *data, size_t size) {
            std::fwrite(data, 1, size, stdout);
        };
    try {
        int faults = 0;
        for (const LzhMemberReport &m : decodeLzhArchive(argv[argc - 1], sink))
            if (!m.fault.empty()) {
                std::fprintf(stderr, "%s: %s\n", m.storedPath.c_str(), m.fault.c_str());
                ++faults;
            }
        return faults ? 1 : 0;
    } catch (const ArchiveError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
