// Benchmark driver for the LZH writer: compresses the given files (or every
// file below a given folder) into one archive.
//   lzh_bench -m 5|6|7 [-l level] [-j threads] [-w 1] [-t times.txt] out.lzh path...
// -w 1: every member as one stream (no chunks); -t: the CPU seconds of each
// chunk's encoding, one a line.
#include "archiver/lzh/lzh_archive_writer.h"

#include "archiver/archive_error.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace sheaf::archiver;
namespace fs = std::filesystem;

int main(int argc, char **argv)
{
    LzhOptions options;
    std::vector<double> chunkSeconds;
    const char *timesFile = nullptr;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
        if (!std::strcmp(argv[i], "-m"))
            options.method = argv[i + 1][0] == '7' ? LzhMethod::Lh7
                : argv[i + 1][0] == '6'            ? LzhMethod::Lh6
                                                   : LzhMethod::Lh5;
        else if (!std::strcmp(argv[i], "-l"))
            options.level = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "-j"))
            options.threads = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "-w"))
            options.wholeMembers = std::atoi(argv[i + 1]) != 0;
        else if (!std::strcmp(argv[i], "-t"))
            timesFile = argv[i + 1];
    }
    if (argc - i < 2) {
        std::fprintf(stderr,
            "usage: lzh_bench -m 5|6|7 [-l level] [-j threads] [-w 1] [-t times.txt] "
            "out.lzh path...\n");
        return 2;
    }
    const fs::path archive = argv[i++];
    ArchiveEntries entries;
    for (; i < argc; ++i) {
        const fs::path root = argv[i];
        auto add = [&](const fs::path &p, const std::string &stored) {
            ArchiveEntry e;
            e.source = p;
            e.storedPath = stored;
            e.size = fs::file_size(p);
            entries.push_back(e);
        };
        if (fs::is_directory(root)) {
            for (const auto &d : fs::recursive_directory_iterator(root))
                if (d.is_regular_file())
                    add(d.path(), fs::relative(d.path(), root).generic_string());
        } else {
            add(root, root.filename().string());
        }
    }
    if (timesFile)
        options.chunkSeconds = &chunkSeconds;
    try {
        fs::remove(archive);
        OutputFile out(archive);
        writeLzhArchive({}, {}, entries, out, options);
        out.commit();
        if (timesFile) {
            FILE *f = std::fopen(timesFile, "w");
            if (!f)
                return 1;
            for (double s : chunkSeconds)
                std::fprintf(f, "%.4f\n", s);
            std::fclose(f);
        }
    } catch (const ArchiveError &e) {
        std::fprintf(stderr, "lzh_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
