// cmdArchive_Click's work, free of any window: the checks, the plan, and a
// short loop that walks the list in order while the scheduler
// (run_scheduler.h) has the entries made on its workers. The observer is
// called for every entry, from the caller's thread only; it decides how
// often to repaint.
//
// When an entry fails, the entries after it are undone: runs under way are
// cancelled (their temporary files removed), new archives already made are
// removed, and files renamed for them get their old names back.

#include "archive/archive_run.h"

#include "archive/arc_exec.h"
#include "archive/entry_folders.h"
#include "archive/folder_rename.h"
#include "archive/pre_run_checks.h"
#include "archive/run_plan.h"
#include "archive/run_scheduler.h"
#include "archive/run_texts.h"
#include "archiver/engine.h"
#include "archiver/written_archives.h"
#include "base/thread_count.h"
#include "selection/name_text.h"

#include <cerrno>
#include <set>

namespace sheaf {

namespace {

// What one entry came to, besides its state. Written only by the thread that
// runs the entry, read by the caller once the scheduler has reported the
// entry done (the scheduler's lock orders the two).
struct EntryOutcome
{
    FailureKind kind = FailureKind::ArchiverFailed;
    QString text, detail; // a failure's message box
    QList<ArcExecResult::LeftOut> leftOut; // what the engine left out of the archive
    sheaf::archiver::MadeArchive made; // the archive, when made
};

// What the work of every entry shares.
struct RunContext
{
    const std::vector<EntryPlan> &plans;
    ArchiverKind archiver;
    const std::function<void(uint64_t, uint64_t)> &progress;
    const EntryFolders &folders;
    const File *outputFolder; // opened once when the run starts; null: beside the files
    sheaf::archiver::WrittenArchives &written;
};

// Why an entry's folder was not taken.
void folderRefused(const EntryPlan &p, int err, EntryOutcome &out)
{
    out.kind = FailureKind::Refused;
    if (err == ESTALE || err == ENOENT || err == ELOOP || err == ENOTDIR) {
        out.text = run_texts::folderChanged(p.dir + p.oldName);
    } else {
        out.text = run_texts::folderUnreachable(p.dir + p.oldName);
        out.detail = QString::fromStdString(platform::errorText(err));
    }
}

// One entry's work: its folder as the scan listed it, the rename after the
// folder, then the archive, all through that folder's handle.
EntryState runEntry(const RunContext &run, const EntryTurn &turn, EntryOutcome &out)
{
    const EntryPlan &p = run.plans[size_t(turn.entry)];
    EntryFolder entry = run.folders.open(p.dir);
    if (entry.error != 0) {
        folderRefused(p, entry.error, out);
        return EntryState::Failed;
    }
    File &folder = entry.folder;
    bool renamed = false;
    if (p.newName != p.oldName) {
        const auto r = renameInFolder(folder, p.oldName, p.newName);
        switch (r.outcome) {
        case FolderRenameResult::Renamed:
            renamed = true;
            break;
        case FolderRenameResult::Unchanged:
            break;
        case FolderRenameResult::TargetExists:
            out.kind = FailureKind::Refused;
            out.text = run_texts::renameTargetExists(p.dir + p.oldName, p.dir + p.newName);
            return EntryState::Failed;
        case FolderRenameResult::Failed:
            out.kind = FailureKind::Refused;
            out.text = run_texts::renameFailed(p.dir + p.oldName, p.dir + p.newName);
            out.detail = r.reason;
            return EntryState::Failed;
        }
    }
    ArcExecOptions options;
    options.cancel = turn.cancel;
    options.threads = turn.threads;
    options.progress = run.progress;
    options.mayCommit = turn.mayCommit;
    options.writtenArchives = &run.written;
    options.baseFolder = &folder;
    options.archiveFolder = p.besideFile ? &folder : run.outputFolder;
    const ArcExecResult result = ArcExec(run.archiver, p.commandLine, options);
    out.leftOut = result.leftOut;
    out.made = result.made;
    EntryState state = EntryState::Made;
    if (result.cancelled) {
        state = EntryState::Cancelled;
    } else if (result.failed) {
        state = EntryState::Failed;
        out.kind = FailureKind::ArchiverFailed;
        out.text = run_texts::failureText();
        out.detail = result.reason;
    }
    // The unfinished archive's file gets its old name back.
    if (state != EntryState::Made && renamed)
        renameInFolder(folder, p.newName, p.oldName);
    return state;
}

// After the scheduler finished: every entry from k on that made a new
// archive loses it again, and its file gets its old name back (in its folder
// reached again as the scan listed it). Only the very file the entry made is
// removed: one another run has added to since stays (an add is never made
// ahead of an earlier entry, so none is taken back). Returns a line for each
// archive that could not be taken back.
QStringList undoFrom(int k, int limit, const RunContext &run,
    const std::vector<EntryOutcome> &outcomes, RunScheduler &scheduler)
{
    QStringList problems;
    for (int j = k; j < limit; ++j) {
        if (scheduler.state(j) != EntryState::Made)
            continue;
        const EntryPlan &p = run.plans[size_t(j)];
        const sheaf::archiver::MadeArchive &made = outcomes[size_t(j)].made;
        EntryFolder entry = run.folders.open(p.dir);
        // The archive's folder as the entry reached it (one written through
        // a link of ours is found by its own path).
        const bool asNamed = made.path == nameBytes(p.archivePath).toStdString();
        const File *folder = !asNamed ? nullptr
            : p.besideFile            ? (entry.error == 0 ? &entry.folder : nullptr)
                                      : run.outputFolder;
        std::string reason;
        if (made.isNew && asNamed && p.besideFile && entry.error != 0)
            problems << run_texts::notTakenBack(
                p.archivePath, QString::fromStdString(platform::errorText(entry.error)));
        else if (made.isNew && !sheaf::archiver::removeMadeArchive(made, reason, folder))
            problems << run_texts::notTakenBack(p.archivePath, QString::fromStdString(reason));
        if (p.newName == p.oldName)
            continue;
        // The file gets its old name back, unless a file of that name
        // appeared meanwhile: then it keeps the new one, and the user is told.
        const FolderRenameResult back = entry.error == 0
            ? renameInFolder(entry.folder, p.newName, p.oldName)
            : FolderRenameResult {FolderRenameResult::Failed,
                QString::fromStdString(platform::errorText(entry.error))};
        if (back.outcome == FolderRenameResult::TargetExists)
            problems << run_texts::nameNotGivenBack(
                p.dir + p.newName, p.oldName, run_texts::nameTaken());
        else if (back.outcome == FolderRenameResult::Failed)
            problems << run_texts::nameNotGivenBack(p.dir + p.newName, p.oldName, back.reason);
    }
    return problems;
}

} // namespace

ArchiveRunOutcome runArchive(
    CandidateList &list, const ArchiveRunSettings &settings, ArchiveRunObserver &observer)
{
    const int count = list.FileCount;
    if (count == 0)
        return ArchiveRunOutcome::Empty;
    if (auto refusal = preRunRefusal(
            list, settings.extension, settings.name, settings.together, settings.output)) {
        observer.refused(*refusal);
        return ArchiveRunOutcome::Refused;
    }

    const std::vector<EntryPlan> plans = planRun(list, settings);
    int limit = 1;
    while (limit <= count && plans[size_t(limit)].action != EntryPlan::Action::Refuse)
        ++limit;

    observer.started(run_texts::waiting());
    sheaf::archiver::WrittenArchives written; // new archives, synced once at the end
    std::vector<int> kept; // the entries whose archives were reported made
    int leftOutCount = 0;
    std::vector<EntryOutcome> outcomes(static_cast<size_t>(limit));
    const auto reportLeftOut = [&](const EntryOutcome &out) {
        for (const auto &item : out.leftOut)
            observer.leftOut(item.path, item.reason);
        leftOutCount += int(out.leftOut.size());
    };
    std::vector<RunScheduler::Entry> entries(static_cast<size_t>(limit));
    for (int k = 1; k < limit; ++k)
        entries[size_t(k)]
            = {plans[size_t(k)].action == EntryPlan::Action::Archive, plans[size_t(k)].waitFor};
    // The folders are opened once, here: each entry's from the selection
    // folder, the output folder by the path given (a link there is the
    // user's choice), so that neither is looked up by its path again.
    const EntryFolders folders(list);
    const File output
        = settings.output ? File::openFolder(namePath(settings.outputFolder)) : File();
    const RunContext run {
        plans, settings.archiver, settings.progress, folders, output ? &output : nullptr, written};
    RunScheduler scheduler(std::move(entries), threadCount(settings.threads), settings.cancel,
        [&](const EntryTurn &turn) { return runEntry(run, turn, outcomes[size_t(turn.entry)]); });
    const auto cancelled = [&] {
        return settings.cancel && settings.cancel->load();
    };
    const auto made = [&](int k) {
        list.FileName[k] = plans[size_t(k)].newName;
        reportLeftOut(outcomes[size_t(k)]);
        kept.push_back(k);
        observer.archiveMade(plans[size_t(k)].archivePath);
    };
    // However the run ends, what it made goes to disk before it says so; a
    // file system that reports a write-back error names the archives kept
    // on it, all of which it may concern.
    const auto onDisk = [&] {
        bool ok = true;
        for (const auto &failure : written.sync()) {
            const std::set<std::string> concerned(failure.archives.begin(), failure.archives.end());
            QStringList names;
            for (int k : kept)
                if (concerned.count(outcomes[size_t(k)].made.path))
                    names << plans[size_t(k)].archivePath;
            if (names.isEmpty())
                continue;
            observer.failed(FailureKind::ArchiverFailed, run_texts::notOnDisk(names),
                QString::fromStdString(failure.reason));
            ok = false;
        }
        return ok;
    };

    for (int k = 1; k <= count; ++k) {
        observer.counterChanged(run_texts::counter(k, count), k, count);
        const EntryPlan &plan = plans[size_t(k)];
        if (plan.action == EntryPlan::Action::Skip)
            continue;
        if (plan.action == EntryPlan::Action::Refuse) {
            scheduler.finish();
            observer.failed(FailureKind::Refused, plan.refusal, QString());
            onDisk();
            return ArchiveRunOutcome::Stopped;
        }
        const EntryState state = cancelled() ? EntryState::Pending : scheduler.wait(k);
        if (state == EntryState::Pending) { // stopped by the caller
            scheduler.stopFrom(1);
            scheduler.finish();
            // Archives made in list order up to the stop stay and are
            // reported; those made ahead of an unfinished entry are undone.
            int j = k;
            for (; j < limit; ++j) {
                if (plans[size_t(j)].action != EntryPlan::Action::Archive)
                    continue;
                if (scheduler.state(j) != EntryState::Made)
                    break;
                if (j > k)
                    observer.counterChanged(run_texts::counter(j, count), j, count);
                made(j);
            }
            undoFrom(j, limit, run, outcomes, scheduler);
            onDisk();
            return ArchiveRunOutcome::Cancelled;
        }
        if (state != EntryState::Made) {
            scheduler.stopFrom(k + 1);
            scheduler.finish();
            const QStringList problems = undoFrom(k + 1, limit, run, outcomes, scheduler);
            if (state == EntryState::Cancelled) {
                onDisk();
                return ArchiveRunOutcome::Cancelled;
            }
            const EntryOutcome &out = outcomes[size_t(k)];
            reportLeftOut(out);
            observer.failed(
                out.kind, out.text, (QStringList {out.detail} + problems).join(u'\n').trimmed());
            onDisk();
            return ArchiveRunOutcome::Stopped;
        }
        made(k);
    }
    scheduler.finish();
    if (!onDisk())
        return ArchiveRunOutcome::Stopped;
    observer.finished(
        leftOutCount > 0 ? run_texts::doneWithLeftOut(leftOutCount) : run_texts::done());
    return ArchiveRunOutcome::Done;
}

} // namespace sheaf
