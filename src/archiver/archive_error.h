#pragma once
// Failures inside the engine travel as ArchiveError up to runCommandLine,
// which turns them into a code and a one-line reason.

#include <stdexcept>
#include <string>

namespace sheaf::archiver {

enum class ErrorCode : int {
    BadCommandLine = 1, // unknown switch, malformed line, missing pieces
    NothingMatched = 2, // a name or pattern that matches no file
    ReadFailed = 3, // a source file is missing or cannot be read
    WriteFailed = 4, // the output folder is missing or unwritable, the disk is full
    NotAnArchive = 5, // an existing file of the archive's name is not a readable archive
    TooLarge = 6, // a member or a header beyond what the format can hold
    Cancelled = 7,
    Internal = 8,
    VerifyFailed = 9, // the archive read back does not hold what was written
};

class ArchiveError : public std::runtime_error
{
public:
    ArchiveError(ErrorCode code, const std::string &reason)
        : std::runtime_error(reason)
        , m_code(code)
    {
    }
    ErrorCode code() const { return m_code; }

private:
    ErrorCode m_code;
};

} // namespace sheaf::archiver
