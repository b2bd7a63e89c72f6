#pragma once
// Splitting one archiver command line into tokens: spaces (and tabs) outside
// double quotes separate tokens, the quotes themselves are removed. Quoting
// changes nothing else: "-r" quoted is still a switch where a switch may
// stand, and "*.*" quoted is still a pattern.

#include <string>
#include <string_view>
#include <vector>

namespace sheaf::archiver {

// Throws ArchiveError(BadCommandLine) on an unterminated quote.
std::vector<std::string> splitCommandLine(std::string_view line);

} // namespace sheaf::archiver
