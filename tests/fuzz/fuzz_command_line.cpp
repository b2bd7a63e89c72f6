// libFuzzer target for the archiver's command lines: any bytes, split into
// tokens and parsed by each of the three dialects, give either a request or
// ArchiveError(BadCommandLine), never another exception or a crash. Nothing
// here touches the disk: only the parsing runs.

#include "fuzz_checks.h"

#include "archiver/archive_error.h"
#include "archiver/command_line.h"
#include "archiver/dialects.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace sheaf::archiver;
using sheaf::fuzz::check;

namespace {

void parseWith(ArchiveRequest (*parse)(const std::vector<std::string> &),
    const std::vector<std::string> &tokens)
{
    try {
        const ArchiveRequest request = parse(tokens);
        // A request always names an archive, a base folder and something in it.
        check(!request.archive.empty());
        check(!request.names.empty());
        for (const std::string &name : request.names)
            check(!name.empty());
    } catch (const ArchiveError &e) {
        check(e.code() == ErrorCode::BadCommandLine);
        check(e.what()[0] != '\0');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view line(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> tokens;
    try {
        tokens = splitCommandLine(line);
    } catch (const ArchiveError &e) {
        check(e.code() == ErrorCode::BadCommandLine);
        return 0;
    }

    // Quotes are gone, separators only inside what was quoted; every token
    // quoted again and joined by spaces splits back to the same tokens.
    std::string again;
    for (const std::string &t : tokens) {
        check(t.find('"') == std::string::npos);
        again += (again.empty() ? "\"" : " \"") + t + "\"";
    }
    check(splitCommandLine(again) == tokens);

    parseWith(parseLzhCommandLine, tokens);
    // The LZH dialect starts with its command; the others do not have one.
    parseWith(parseZipCommandLine, tokens);
    parseWith(parseCabCommandLine, tokens);
    return 0;
}
