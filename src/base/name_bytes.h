#pragma once
// File names on Linux are bytes, not text: any byte but '/' and NUL may stand
// in one. These helpers tell whether a name has a faithful Unicode form and
// show any name on one line, so that messages and listings never hide which
// file they mean.

#include <string>
#include <string_view>

namespace sheaf {

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// The name for a message or a listing line: valid UTF-8 characters as they
// are, every byte that is not part of one as \xHH, a backslash as \\, and
// control characters as \n, \t, \r or \xHH. Two different names never give
// the same text.
std::string escapedName(std::string_view bytes);

} // namespace sheaf
