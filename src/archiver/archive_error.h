#pragma once
// Failures inside the engine travel as ArchiveError up to runCommandLine,
// which turns them into a code and a one-line reason.

#include <atomic>
#include <stdexcept>
#include <string>

namespace sheaf::archiver {

enum class ErrorCode : int {
    None = 0, // no failure: the archive was made
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

// The one look at the cancel flag (null: none) that every stage makes
// between blocks of work: ArchiveError(Cancelled) once it is set.
inline void checkCancel(const std::atomic<bool> *cancel)
{
    if (cancel && cancel->load(std::memory_order_relaxed))
        throw ArchiveError(ErrorCode::Cancelled, "中止しました");
}

} // namespace sheaf::archiver
