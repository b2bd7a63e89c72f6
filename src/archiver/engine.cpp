#include "archiver/engine.h"

#include "archiver/archive_commit.h"
#include "archiver/archive_error.h"
#include "archiver/cab/cab_archive_writer.h"
#include "archiver/dialects.h"
#include "archiver/entry_gathering.h"
#include "archiver/fault_injection.h"
#include "archiver/lzh/lzh_archive_writer.h"
#include "archiver/zip/zip_archive_writer.h"
#include "base/platform.h"

#include <cerrno>
#include <exception>
#include <new>

namespace sheaf::archiver {

namespace {

ArchiveRequest parse(ArchiverKind kind, std::string_view commandLine)
{
    const std::vector<std::string> tokens = splitCommandLine(commandLine);
    switch (kind) {
    case ArchiverKind::Lzh:
        return parseLzhCommandLine(tokens);
    case ArchiverKind::Zip:
        return parseZipCommandLine(tokens);
    case ArchiverKind::Cab:
        return parseCabCommandLine(tokens);
    }
    throw ArchiveError(ErrorCode::Internal, "unknown archiver");
}

// The old archive to add to, or an empty path when there is none yet.
std::filesystem::path existingArchive(const std::filesystem::path &archive)
{
    platform::FileFacts facts = platform::fileFacts(archive, true);
    if (facts.error == ENOENT)
        return {};
    if (facts.error != 0) // never replace what could not be looked at
        throw ArchiveError(ErrorCode::WriteFailed,
            "cannot look at " + archive.string() + ": " + platform::errorText(facts.error));
    if (!facts.isRegular)
        throw ArchiveError(ErrorCode::NotAnArchive,
            "the archive's name is taken by something that is not a file: " + archive.string());
    return archive;
}

void run(ArchiverKind kind, std::string_view commandLine, const RunOptions &options,
    std::vector<LeftOut> &leftOut)
{
    const ArchiveRequest request = parse(kind, commandLine);
    const std::filesystem::path existing = existingArchive(request.archive);
    const ArchiveEntries entries = gatherEntries(request, options.cancel, &leftOut);
    afterGathering();

    ArchiveCommit commit(request.archive, options.cancel);
    switch (kind) {
    case ArchiverKind::Lzh: {
        LzhOptions lzh;
        lzh.method = request.lzhMethod;
        lzh.level = request.lzhLevel;
        lzh.cancel = options.cancel;
        lzh.threads = options.threads;
        writeLzhArchive(existing, entries, commit.out(), lzh);
        break;
    }
    case ArchiverKind::Zip:
        writeZipArchive(existing, entries, commit.out(), options.cancel);
        break;
    case ArchiverKind::Cab:
        writeCabArchive(
            existing, entries, commit.out(), [&] { return commit.makeScratchFolder(); },
            options.cancel);
        break;
    }
    if (options.mayCommit && !options.mayCommit(!existing.empty()))
        throw ArchiveError(ErrorCode::Cancelled, "cancelled");
    if (options.cancel && options.cancel->load())
        throw ArchiveError(ErrorCode::Cancelled, "cancelled");
    commit.commit(options.syncEachArchive);
}

// One line: a reason never carries a line break out of the engine.
std::string oneLine(std::string text)
{
    for (char &c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

void syncWrittenArchives()
{
    platform::syncAll();
}

namespace {

RunResult failure(ErrorCode code, std::string reason)
{
    RunResult result;
    result.code = int(code);
    result.reason = std::move(reason);
    return result;
}

RunResult runCaught(ArchiverKind kind, std::string_view commandLine, const RunOptions &options,
    std::vector<LeftOut> &leftOut)
{
    try {
        run(kind, commandLine, options, leftOut);
        return {};
    } catch (const ArchiveError &e) {
        return failure(e.code(), oneLine(e.what()));
    } catch (const std::bad_alloc &) {
        return failure(ErrorCode::Internal, "out of memory");
    } catch (const std::exception &e) {
        return failure(ErrorCode::Internal, oneLine(e.what()));
    } catch (...) {
        return failure(ErrorCode::Internal, "unexpected failure");
    }
}

} // namespace

RunResult runCommandLine(ArchiverKind kind, std::string_view commandLine, const RunOptions &options)
{
    std::vector<LeftOut> leftOut;
    RunResult result = runCaught(kind, commandLine, options, leftOut);
    // Whatever broke off a cancelled run (a read interrupted by the signal,
    // say) is the cancel's doing: report it as such.
    if (!result.ok() && options.cancel && options.cancel->load())
        result = failure(ErrorCode::Cancelled, "cancelled");
    for (auto &item : leftOut)
        item.reason = oneLine(std::move(item.reason));
    result.leftOut = std::move(leftOut);
    return result;
}

} // namespace sheaf::archiver
