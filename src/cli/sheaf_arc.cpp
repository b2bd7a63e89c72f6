// sheaf-arc ARCHIVER ARGS...: runs the archiver engine once. The arguments
// become one command line, each quoted again, as the window composes it;
// ARCHIVER is lzh, zip or cab. Prints the reason of a failure on stderr and
// exits with 0 when the archive was made, 1 otherwise.

#include "archiver/archiver_facts.h"
#include "archiver/engine.h"

#include <cstdio>
#include <cstring>
#include <string>

using sheaf::archiver::ArchiverKind;

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
            "usage: sheaf-arc lzh|zip|cab ARGS...\n"
            "example: sheaf-arc lzh a -a1 -r0 out/IMG01.lzh data/photos/ "
            "IMG01.TXT\n");
        return 1;
    }
    const sheaf::archiver::ArchiverFacts *archiver = sheaf::archiver::archiverNamed(argv[1]);
    if (!archiver) {
        std::fprintf(stderr, "sheaf-arc: unknown archiver %s (use lzh, zip or cab)\n", argv[1]);
        return 1;
    }
    const ArchiverKind kind = archiver->kind;
    std::string line;
    for (int i = 2; i < argc; ++i) {
        if (std::strchr(argv[i], '"')) {
            std::fprintf(
                stderr, "sheaf-arc: an argument cannot hold a double quote: %s\n", argv[i]);
            return 1;
        }
        if (!line.empty())
            line += ' ';
        line += std::string("\"") + argv[i] + "\"";
    }
    sheaf::archiver::RunResult result = sheaf::archiver::runCommandLine(kind, line);
    if (!result.ok()) {
        std::fprintf(stderr, "sheaf-arc: %s\n", result.reason.c_str());
        return 1;
    }
    return 0;
}
