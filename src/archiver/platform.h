#pragma once
// Every call that differs between Windows and the POSIX systems lives behind
// this header: platform_posix.cpp here, a platform_windows.cpp for Windows.

#include <filesystem>
#include <string>

namespace sheaf::archiver::platform {

// Hidden or system entry: on Windows its attributes; here a name starting
// with '.'.
bool isHiddenOrSystem(const std::filesystem::path &path);

// Renames `from` to `to` only when `to` does not exist. Returns false with
// errno set (EEXIST when the target exists).
bool renameNoReplace(const std::filesystem::path &from, const std::filesystem::path &to);

// Renames `from` over `to`, replacing it atomically.
bool renameReplace(const std::filesystem::path &from, const std::filesystem::path &to);

// The folder that holds the running program.
std::filesystem::path programFolder();

// The platform's text for an error number, UTF-8.
std::string errorText(int err);

} // namespace sheaf::archiver::platform
