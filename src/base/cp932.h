#pragma once
// Code page 932 (Japanese Windows' "ANSI" code page) to and from Unicode,
// exactly as Windows maps it, without best-fit guesses: a character with no
// code has no code. LZH names and the settings file are kept in it.
//
// The conversion is table-based and portable; a Windows build could call
// WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS) instead, with the same result.

#include <optional>
#include <string>
#include <string_view>

namespace sheaf {

// The code page 932 bytes of `text`, or nothing when a character has no code.
std::optional<std::string> toCp932(std::u16string_view text);
std::optional<std::string> utf8ToCp932(std::string_view utf8);

// Like toCp932, but every character without a code (and every invalid UTF-8
// sequence) becomes `replacement`.
std::string utf8ToCp932Lossy(std::string_view utf8, char replacement = '_');

// Never fails: bytes that form no character become U+FFFD.
std::u16string fromCp932(std::string_view bytes);
std::string cp932ToUtf8(std::string_view bytes);

// UTF-8 <-> UTF-16 helpers shared by the LZH code. Invalid UTF-8 becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

} // namespace sheaf
