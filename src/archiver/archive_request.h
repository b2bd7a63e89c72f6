#pragma once
// What one command line asks for, whatever its dialect: the archive, the
// base folder, the names or patterns under it, and how to gather them.

#include <filesystem>
#include <string>
#include <vector>

namespace sheaf::archiver {

// The LZH dialect's -lh5, -lh6, -lh7 (lzh/lzh_format.h has what each means).
enum class LzhMethod { Lh5, Lh6, Lh7 };

struct ArchiveRequest
{
    std::filesystem::path archive; // the archive to make or add to
    std::filesystem::path baseFolder; // names are relative to it
    std::vector<std::string> names; // literal names or wildcard patterns, UTF-8
    bool recurse = false; // names also match in every subfolder; folders stored
    bool includeHidden = false; // wildcards also match hidden and system entries
    bool relativePaths = true; // store paths relative to the base folder, else bare names
    LzhMethod lzhMethod = LzhMethod::Lh5;
    int lzhLevel = 0; // 1..9 from the LZH dialect's -l switch; 0: the default
};

} // namespace sheaf::archiver
