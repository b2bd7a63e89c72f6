#pragma once
// File-name wildcards as on Windows: '*' any run of characters, '?' exactly
// one character, "*.*" every name (with a dot or not). Letters compare
// without regard to case: ASCII, Latin-1, Greek, Cyrillic and full-width
// Latin letters. Names are UTF-8 and compared character by character.

#include <string_view>

namespace sheaf::archiver {

bool hasWildcard(std::string_view name);
bool matchesWildcard(std::string_view pattern, std::string_view name);

} // namespace sheaf::archiver
