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
#include "archive/folder_rename.h"
#include "archive/pre_run_checks.h"
#include "archive/run_plan.h"
#include "archive/run_scheduler.h"
#include "archive/run_texts.h"
#include "archiver/engine.h"
#include "base/thread_count.h"
#include "selection/name_text.h"

#include <filesystem>

namespace sheaf {

namespace {

// The engine leaves new archives of a batch in the cache; they go to disk
// together once the run ends, however it ends.
class SyncAtEnd
{
public:
    ~SyncAtEnd() { flush(); }
    void archiveMade() { m_pending = true; }
    void flush()
    {
        if (m_pending)
            sheaf::archiver::syncWrittenArchives();
        m_pending = false;
    }

private:
    bool m_pending = false;
};

// What one entry came to, besides its state. Written only by the thread that
// runs the entry, read by the caller once the scheduler has reported the
// entry done (the scheduler's lock orders the two).
struct EntryOutcome
{
    FailureKind kind = FailureKind::ArchiverFailed;
    QString text, detail; // a failure's message box
    QList<ArcExecResult::LeftOut> leftOut; // what the engine left out of the archive
};

// One entry's work: the rename after the folder, then the archive.
EntryState runEntry(const EntryPlan &p, ArchiverKind archiver, const EntryTurn &turn,
    const std::function<void(uint64_t, uint64_t)> &progress, EntryOutcome &out)
{
    bool renamed = false;
    if (p.newName != p.oldName) {
        const auto r = renameInFolder(p.dir, p.oldName, p.newName);
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
    options.progress = progress;
    options.mayCommit = turn.mayCommit;
    const ArcExecResult result = ArcExec(archiver, p.commandLine, options);
    out.leftOut = result.leftOut;
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
        renameInFolder(p.dir, p.newName, p.oldName);
    return state;
}

// After the scheduler finished: every entry from k on that made a new
// archive loses it again, and its file gets its old name back.
void undoFrom(int k, int limit, const std::vector<EntryPlan> &plans, RunScheduler &scheduler)
{
    for (int j = k; j < limit; ++j) {
        if (scheduler.state(j) != EntryState::Made)
            continue;
        const EntryPlan &p = plans[size_t(j)];
        std::error_code ec;
        std::filesystem::remove(namePath(p.archivePath), ec);
        if (p.newName != p.oldName)
            renameInFolder(p.dir, p.newName, p.oldName);
    }
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
    SyncAtEnd syncAtEnd;
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
    const ArchiverKind archiver = settings.archiver;
    RunScheduler scheduler(std::move(entries), threadCount(settings.threads), settings.cancel,
        [&](const EntryTurn &turn) {
            return runEntry(plans[size_t(turn.entry)], archiver, turn, settings.progress,
                outcomes[size_t(turn.entry)]);
        });
    const auto cancelled = [&] {
        return settings.cancel && settings.cancel->load();
    };
    const auto made = [&](int k) {
        list.FileName[k] = plans[size_t(k)].newName;
        reportLeftOut(outcomes[size_t(k)]);
        syncAtEnd.archiveMade();
        observer.archiveMade(plans[size_t(k)].archivePath);
    };

    for (int k = 1; k <= count; ++k) {
        observer.counterChanged(run_texts::counter(k, count), k, count);
        const EntryPlan &plan = plans[size_t(k)];
        if (plan.action == EntryPlan::Action::Skip)
            continue;
        if (plan.action == EntryPlan::Action::Refuse) {
            scheduler.finish();
            observer.failed(FailureKind::Refused, plan.refusal, QString());
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
            undoFrom(j, limit, plans, scheduler);
            return ArchiveRunOutcome::Cancelled;
        }
        if (state != EntryState::Made) {
            scheduler.stopFrom(k + 1);
            scheduler.finish();
            undoFrom(k + 1, limit, plans, scheduler);
            if (state == EntryState::Cancelled)
                return ArchiveRunOutcome::Cancelled;
            const EntryOutcome &out = outcomes[size_t(k)];
            reportLeftOut(out);
            observer.failed(out.kind, out.text, out.detail);
            return ArchiveRunOutcome::Stopped;
        }
        made(k);
    }
    scheduler.finish();
    syncAtEnd.flush();
    observer.finished(
        leftOutCount > 0 ? run_texts::doneWithLeftOut(leftOutCount) : run_texts::done());
    return ArchiveRunOutcome::Done;
}

} // namespace sheaf
