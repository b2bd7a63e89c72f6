// The pipeline every archive goes through, whatever its format:
//   parse the line (the archiver's dialect) -> resolve the archive's path ->
//   take the archive's lock -> gather the members -> write a temporary
//   archive -> read it back and compare -> commit (rename into place).
#include "archiver/engine.h"

#include "archiver/archive_commit.h"
#include "archiver/archive_error.h"
#include "archiver/archive_format.h"
#include "archiver/archiver_facts.h"
#include "archiver/command_line.h"
#include "archiver/entry_gathering.h"
#include "archiver/fault_injection.h"
#include "archiver/written_archives.h"
#include "base/platform.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <new>
#include <set>

namespace sheaf::archiver {

namespace {

// The benchmark measures what reading every archive back costs by turning
// it off; nothing else may.
bool verifyingArchives()
{
    static const bool off = [] {
        const char *value = std::getenv("SHEAF_NO_VERIFY");
        return value && std::string_view(value) == "1";
    }();
    return !off;
}

// The file an archive path stands for: itself, or the regular file a
// symbolic link of that name leads to (written through, never replaced).
// `facts`: what is there, links followed.
std::filesystem::path archiveFile(
    const std::filesystem::path &archive, const File *folder, platform::FileFacts &facts)
{
    facts = folder ? folder->factsOf(archive.filename().native(), File::Links::DontFollow)
                   : platform::fileFacts(archive, false);
    if (facts.error != 0 || !facts.isLink)
        return archive;
    // Written through, another user's link would let that user choose what
    // a run over their folder (as root, say) replaces.
    if (!facts.ownedByCurrentUser)
        throw ArchiveError(ErrorCode::NotAnArchive,
            "書庫の名前がほかのユーザーのシンボリックリンクです。書き込みません: "
                + archive.string());
    // A link of ours is written through: followed from the folder held.
    const std::filesystem::path link
        = folder ? folder->reachingPath(archive.filename().native()) : archive;
    const platform::FileFacts target = platform::fileFacts(link, true);
    if (target.error == ENOENT)
        throw ArchiveError(ErrorCode::NotAnArchive,
            "書庫の名前がリンク先のないシンボリックリンクです: " + archive.string());
    if (target.error != 0)
        throw ArchiveError(ErrorCode::WriteFailed,
            "書庫を調べられません: " + archive.string() + ": " + platform::errorText(target.error));
    if (!target.isRegular)
        throw ArchiveError(ErrorCode::NotAnArchive,
            "書庫の名前のシンボリックリンクが通常のファイルを指していません: " + archive.string());
    facts = target;
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::canonical(link, ec);
    if (ec)
        throw ArchiveError(ErrorCode::WriteFailed,
            "書庫を調べられません: " + archive.string() + ": " + ec.message());
    return resolved;
}

// The old archive to add to, or an empty path when there is none yet: a path
// through the held folder, so the old archive is read from that folder,
// never from where the folder's path leads now, and however long its own
// path is.
std::filesystem::path existingArchive(const std::filesystem::path &archive, ArchiveCommit &commit)
{
    const platform::FileFacts facts = commit.archiveFacts();
    if (facts.error == ENOENT)
        return {};
    if (facts.error != 0) // never replace what could not be looked at
        throw ArchiveError(ErrorCode::WriteFailed,
            "書庫を調べられません: " + archive.string() + ": " + platform::errorText(facts.error));
    if (!facts.isRegular)
        throw ArchiveError(ErrorCode::NotAnArchive,
            "書庫の名前がファイルでないものに使われています: " + archive.string());
    return commit.reachingPath();
}

uint64_t totalSize(const ArchiveEntries &entries)
{
    uint64_t total = 0;
    for (const ArchiveEntry &e : entries)
        total += e.size;
    return total;
}

// Writes, reads back and commits the archive once. `isNew`: nothing was at
// its path when gathering began (ArchiveAppeared when that changed).
MadeArchive writeArchive(const ArchiveRequest &request, const ArchiveFormat &format,
    const std::filesystem::path &archive, const File *folder, bool isNew,
    const ArchiveEntries &entries, const RunOptions &options)
{
    // An add holds the archive's lock from here to the commit, and the old
    // archive is read only now: two runs adding to it lose nothing. A new
    // archive takes its name only if it is still free.
    ArchiveCommit commit(archive, options.cancel, options.lockWaitMs, isNew, folder);
    if (options.writtenArchives)
        options.writtenArchives->watch(commit.folder());
    const std::filesystem::path existing = existingArchive(archive, commit);

    ReadProgress progress(options.progress, totalSize(entries));
    std::set<std::string> replaced;
    for (const ArchiveEntry &entry : entries)
        if (format.storesFolders() || !entry.isDirectory)
            replaced.insert(entry.storedPath);
    const FormatContext context {request, options.cancel, &progress,
        [&] { return commit.makeScratchFolder(); }, options.threads, replaced};
    commit.startWriting();
    const ArchivedMembers written = [&] {
        try {
            return format.write(existing, entries, commit.out(), context);
        } catch (const ArchiveError &e) {
            // The old archive was read through the held folder's handle; the
            // reason names it as the user knows it, not by that way in.
            if (existing.empty() || existing == archive)
                throw;
            std::string reason = e.what();
            const std::string way = existing.string();
            for (size_t at; (at = reason.find(way)) != std::string::npos;)
                reason.replace(at, way.size(), archive.string());
            throw ArchiveError(e.code(), reason);
        }
    }();
    progress.finish();
    context.checkCancel();

    if (verifyingArchives()) {
        const ArchivedMembers read = format.readBack(commit.written(), context, written);
        const std::string difference = compareMembers(written, read);
        if (!difference.empty())
            throw ArchiveError(ErrorCode::VerifyFailed,
                "書いた書庫を読み返すと中身が合いません: " + archive.string() + ": " + difference);
    }
    context.checkCancel();
    if (options.mayCommit && !options.mayCommit(!existing.empty()))
        throw ArchiveError(ErrorCode::Cancelled, "中止しました");
    if (!existing.empty())
        commit.keepModeOf(existing);
    const MadeArchive made = commit.commit(!options.writtenArchives);
    if (options.writtenArchives && made.isNew)
        options.writtenArchives->made(made);
    return made;
}

MadeArchive run(ArchiverKind kind, std::string_view commandLine, const RunOptions &options,
    std::vector<LeftOut> &leftOut)
{
    const ArchiverFacts &facts = archiverFacts(kind);
    const ArchiveRequest request = facts.parse(splitCommandLine(commandLine));
    const ArchiveFormat &format = facts.format();
    platform::FileFacts archiveFacts;
    const std::filesystem::path archive
        = archiveFile(request.archive, options.archiveFolder, archiveFacts);
    // Written through a link of ours, the archive goes where the link leads.
    const File *folder = archive == request.archive ? options.archiveFolder : nullptr;

    const ArchiveEntries entries
        = gatherEntries(request, options.cancel, &leftOut, &archiveFacts, options.baseFolder);
    afterGathering();
    bool isNew = archiveFacts.error == ENOENT;
    for (int attempt = 0;; ++attempt) {
        try {
            return writeArchive(request, format, archive, folder, isNew, entries, options);
        } catch (const ArchiveAppeared &) {
            // Another archive took its name meanwhile: add to that one.
            if (attempt == 3)
                throw ArchiveError(ErrorCode::WriteFailed,
                    "書庫が書いている間にほかから何度も置き換えられました: " + archive.string());
            isNew = false;
        }
    }
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

bool removeMadeArchive(
    const MadeArchive &made, std::string &reason, const File *folder, int64_t lockWaitMs)
{
    try {
        ArchiveCommit commit(made.path, nullptr, lockWaitMs, false, folder);
        commit.removeIfStill(made);
        return true;
    } catch (const ArchiveError &e) {
        reason = oneLine(e.what());
    } catch (const std::exception &e) {
        reason = oneLine(e.what());
    }
    return false;
}

namespace {

RunResult failure(ErrorCode code, std::string reason)
{
    RunResult result;
    result.code = code;
    result.reason = std::move(reason);
    return result;
}

RunResult runCaught(ArchiverKind kind, std::string_view commandLine, const RunOptions &options,
    std::vector<LeftOut> &leftOut)
{
    try {
        RunResult result;
        result.made = run(kind, commandLine, options, leftOut);
        return result;
    } catch (const ArchiveError &e) {
        return failure(e.code(), oneLine(e.what()));
    } catch (const std::bad_alloc &) {
        return failure(ErrorCode::Internal, "メモリが足りません");
    } catch (const std::exception &e) {
        return failure(ErrorCode::Internal, oneLine(e.what()));
    } catch (...) {
        return failure(ErrorCode::Internal, "予期しない失敗です");
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
        result = failure(ErrorCode::Cancelled, "中止しました");
    for (auto &item : leftOut)
        item.reason = oneLine(std::move(item.reason));
    result.leftOut = std::move(leftOut);
    return result;
}

} // namespace sheaf::archiver
