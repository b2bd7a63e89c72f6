#pragma once
// The three command-line dialects, each turned into an ArchiveRequest.
// Every parser throws ArchiveError(BadCommandLine) naming what it refused:
// an unknown command or switch, a missing archive, base folder or name.
//
//   LZH: a [-r0|-r2] [-x0|-x1] [-a0|-a1|-a2] [-lh5|-lh6|-lh7] ARCHIVE BASE/ NAME...
//   ZIP: [-r] [-S] ARCHIVE BASE/ NAME...
//   CAB: -a [-r] ARCHIVE BASE/ NAME...

#include "archiver/archive_request.h"
#include "archiver/command_line.h"

#include <string_view>
#include <vector>

namespace sheaf::archiver {

ArchiveRequest parseLzhCommandLine(const std::vector<std::string> &tokens);
ArchiveRequest parseZipCommandLine(const std::vector<std::string> &tokens);
ArchiveRequest parseCabCommandLine(const std::vector<std::string> &tokens);

// The pieces shared by the dialects: after the switches come the archive,
// the base folder (ending in '/') and at least one name.
void parsePositionalPieces(
    const std::vector<std::string> &tokens, size_t first, ArchiveRequest &request);
// True for a token that starts with '-' (and has more).
bool isSwitchToken(const std::string &token);
[[noreturn]] void refuseLine(const std::string &reason);

} // namespace sheaf::archiver
