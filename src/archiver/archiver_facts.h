#pragma once
// One table of what differs between the three archivers outside their
// writers: the name used on command lines, the extension, the token in the
// settings file, the command-line prefixes the window composes, the dialect
// and the format. Every layer looks them up here instead of switching.

#include "archiver/archive_request.h"
#include "archiver/engine.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sheaf::archiver {

class ArchiveFormat;

struct ArchiverFacts
{
    ArchiverKind kind;
    std::string_view name; // "lzh": sheaf-arc's and sheaf-batch's word for it
    std::string_view extension; // ".lzh"
    std::string_view settingsToken; // "LZH" in the settings file
    std::string_view oneFilePrefix; // the switches of a one-file archive's line
    std::string_view wholeFolderPrefix; // the same for a whole-folder archive
    ArchiveRequest (*parse)(const std::vector<std::string> &tokens); // its dialect
    const ArchiveFormat &(*format)();
};

// Every archiver, LZH first.
std::span<const ArchiverFacts> allArchivers();
const ArchiverFacts &archiverFacts(ArchiverKind kind);
// nullptr when no archiver has that name or token (compared exactly).
const ArchiverFacts *archiverNamed(std::string_view name);
const ArchiverFacts *archiverWithSettingsToken(std::string_view token);

} // namespace sheaf::archiver
