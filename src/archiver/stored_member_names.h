#pragma once
// The stored bytes of the names in a finished ZIP or cabinet, read
// from its directory as written.
//
// libarchive's readers give a name marked as UTF-8 in normalisation form C:
// a name in form D (as a Mac writes "ガ" as "カ" and U+3099) would read back
// as another name than the one written, and the check would refuse a sound
// archive. The directory's bytes are what every reader starts from, so the
// read-back compares those.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sheaf::archiver {

// One entry a member, in the directory's order. A ZIP member's name bytes
// whatever their character set (a member kept from an archive of another
// writer counts with the bytes it had, in code page 932 or with '\\'); a
// cabinet file's name bytes when it is marked as UTF-8, nothing when it is
// not. Nothing at all when the directory cannot be read as one.
std::optional<std::vector<std::optional<std::string>>> zipStoredNames(
    const std::filesystem::path &archive);
std::optional<std::vector<std::optional<std::string>>> cabUnicodeNames(
    const std::filesystem::path &archive);

} // namespace sheaf::archiver
