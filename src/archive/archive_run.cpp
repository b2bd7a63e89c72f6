// cmdArchive_Click's work, free of any window: the checks, the plan, and a
// short loop that walks the list in order while a pool of workers makes the
// archives. The observer is called for every entry, from the caller's thread
// only; it decides how often to repaint.
//
// Workers start entries in list order, each once the entries it depends on
// (EntryPlan::waitFor) are done. A new archive takes its name as soon as it
// is complete; an add to an existing archive only once every entry before it
// has made its own (the engine's mayCommit), since an add cannot be undone.
// When an entry fails, the entries after it are undone: runs under way are
// cancelled (their temporary files removed), new archives already made are
// removed, and files renamed for them get their old names back.

#include "archive/archive_run.h"

#include "archive/arc_exec.h"
#include "archive/folder_rename.h"
#include "archive/pre_run_checks.h"
#include "archive/run_plan.h"
#include "archive/run_texts.h"
#include "archiver/engine.h"
#include "selection/name_text.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

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

struct EntryOutcome
{
    enum State { Pending, Made, Failed, Cancelled };
    State state = Pending;
    QString title, text, detail; // Failed: the message box's
    QList<ArcExecResult::LeftOut> leftOut; // what the engine left out of the archive
};

class Workers
{
public:
    // Entries 1..limit-1 are run; `limit` is the first refused entry or one
    // past the last. With one worker no thread is started: wait() runs each
    // entry itself, after the observer has been told of it, as a plain loop
    // would.
    Workers(const std::vector<EntryPlan> &plans, int limit, Archiver archiver, int threads,
        const std::atomic<bool> *userCancel,
        const std::function<void(uint64_t, uint64_t)> &progress)
        : m_plans(plans)
        , m_limit(limit)
        , m_archiver(archiver)
        , m_userCancel(userCancel)
        , m_progress(progress)
        , m_outcomes(size_t(limit) + 1)
        , m_cancel(new std::atomic<bool>[size_t(limit) + 1])
        , m_remaining(size_t(limit) + 2, 0)
    {
        for (int k = limit - 1; k >= 1; --k)
            m_remaining[size_t(k)] = m_remaining[size_t(k) + 1] + (isArchive(k) ? 1 : 0);
        for (int k = 0; k <= limit; ++k)
            m_cancel[size_t(k)].store(false);
        m_threadsGiven = std::max(1, threads);
        m_pool = std::max(1, std::min(threads, m_remaining[1]));
        advanceDone();
        m_inline = m_pool == 1;
        if (m_remaining[1] == 0 || m_inline)
            return;
        for (int i = 0; i < m_pool; ++i)
            m_threads.emplace_back([this] { work(); });
    }

    ~Workers()
    {
        stopFrom(1);
        finish();
    }

    // Waits until entry k is done; Pending when `cancel` turned true first.
    EntryOutcome wait(int k, const std::atomic<bool> *cancel)
    {
        if (m_inline) {
            m_outcomes[size_t(k)] = run(k, engineThreads(k), m_userCancel);
            advanceDone();
            return m_outcomes[size_t(k)];
        }
        std::unique_lock lock(m_mutex);
        while (m_outcomes[size_t(k)].state == EntryOutcome::Pending) {
            if (cancel && cancel->load())
                return {};
            m_callerWaitsFor = k;
            m_callerWake.wait_for(lock, std::chrono::milliseconds(50));
            m_callerWokeAt = std::chrono::steady_clock::now();
        }
        m_callerWaitsFor = 0;
        return m_outcomes[size_t(k)];
    }

    EntryOutcome outcome(int k)
    {
        std::lock_guard lock(m_mutex);
        return m_outcomes[size_t(k)];
    }

    // Entries from k on are not started, and those running are cancelled.
    void stopFrom(int k)
    {
        std::lock_guard lock(m_mutex);
        stopFromLocked(k);
    }

    // After finish(): every entry from k on that made a new archive loses it
    // again, and its file gets its old name back.
    void undoFrom(int k)
    {
        for (int j = k; j < m_limit; ++j) {
            if (m_outcomes[size_t(j)].state != EntryOutcome::Made)
                continue;
            const EntryPlan &p = m_plans[size_t(j)];
            std::error_code ec;
            std::filesystem::remove(namePath(p.archivePath), ec);
            if (p.newName != p.oldName)
                renameInFolder(p.dir, p.newName, p.oldName);
            m_outcomes[size_t(j)].state = EntryOutcome::Cancelled;
        }
    }

    // Waits for every worker to end.
    void finish()
    {
        for (std::thread &t : m_threads)
            t.join();
        m_threads.clear();
    }

private:
    // When fewer entries are left (k on, and those under way) than threads,
    // the spare ones go to the engine (one large file gets them all).
    int engineThreads(int k) const
    {
        const int left = m_remaining[size_t(k)] + m_running;
        return left >= m_threadsGiven ? 1 : std::max(1, m_threadsGiven / left);
    }

    bool isArchive(int k) const { return m_plans[size_t(k)].action == EntryPlan::Action::Archive; }

    void stopFromLocked(int k)
    {
        m_stopFrom = std::min(m_stopFrom, k);
        for (int j = k; j < m_limit; ++j)
            m_cancel[size_t(j)].store(true);
        m_workerWake.notify_all();
        m_callerWake.notify_all();
    }

    // Moves m_done over the entries that are made or skipped.
    void advanceDone()
    {
        while (m_done + 1 < m_limit
            && (!isArchive(m_done + 1)
                || m_outcomes[size_t(m_done) + 1].state == EntryOutcome::Made))
            ++m_done;
    }

    void work()
    {
        for (;;) {
            int k;
            int threads;
            {
                std::unique_lock lock(m_mutex);
                for (;;) {
                    while (m_next < m_limit && !isArchive(m_next))
                        ++m_next;
                    if (m_next >= std::min(m_limit, m_stopFrom))
                        return;
                    if (m_done >= m_plans[size_t(m_next)].waitFor)
                        break;
                    ++m_workersWaiting;
                    m_workerWake.wait(lock);
                    --m_workersWaiting;
                }
                k = m_next++;
                threads = engineThreads(k);
                ++m_running;
            }
            const EntryOutcome out = run(k, threads, &m_cancel[size_t(k)]);
            std::lock_guard lock(m_mutex);
            --m_running;
            m_outcomes[size_t(k)] = out;
            if (out.state != EntryOutcome::Made)
                stopFromLocked(k + 1);
            const int doneBefore = m_done;
            advanceDone();
            // Wake only who waits for this, and the caller at most every
            // 10 ms while all goes well (it looks every 50 ms anyway): a
            // context switch per entry costs more than a small archive takes
            // to make.
            if (k == m_callerWaitsFor
                && (out.state != EntryOutcome::Made || m_done + 1 >= m_limit
                    || std::chrono::steady_clock::now() - m_callerWokeAt
                        >= std::chrono::milliseconds(10)))
                m_callerWake.notify_one();
            if (m_workersWaiting > 0 && m_done != doneBefore)
                m_workerWake.notify_all();
        }
    }

    // The engine calls it when entry k's archive is complete. A new archive
    // takes its name at once (it can be removed again); an add waits until
    // every entry before it has made its own.
    bool mayCommit(int k, bool replaces)
    {
        if (!replaces)
            return !m_cancel[size_t(k)].load();
        std::unique_lock lock(m_mutex);
        ++m_workersWaiting;
        m_workerWake.wait(lock, [&] { return m_done >= k - 1 || m_cancel[size_t(k)].load(); });
        --m_workersWaiting;
        return !m_cancel[size_t(k)].load();
    }

    EntryOutcome run(int k, int threads, const std::atomic<bool> *cancel)
    {
        const EntryPlan &p = m_plans[size_t(k)];
        EntryOutcome out;
        if (cancel && cancel->load()) {
            out.state = EntryOutcome::Cancelled;
            return out;
        }
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
                out.state = EntryOutcome::Failed;
                out.title = run_texts::messageTitle();
                out.text = run_texts::renameTargetExists(p.dir + p.oldName, p.dir + p.newName);
                return out;
            case FolderRenameResult::Failed:
                out.state = EntryOutcome::Failed;
                out.title = run_texts::messageTitle();
                out.text = run_texts::renameFailed(p.dir + p.oldName, p.dir + p.newName);
                out.detail = r.reason;
                return out;
            }
        }
        ArcExecOptions options;
        options.cancel = cancel;
        options.threads = threads;
        options.progress = m_progress;
        if (!m_inline)
            options.mayCommit = [this, k](bool replaces) {
                return mayCommit(k, replaces);
            };
        const ArcExecResult result = ArcExec(m_archiver, p.commandLine, options);
        out.leftOut = result.leftOut;
        if (result.cancelled) {
            out.state = EntryOutcome::Cancelled;
        } else if (result.failed) {
            out.state = EntryOutcome::Failed;
            out.title = run_texts::failureTitle();
            out.text = run_texts::failureText();
            out.detail = result.reason;
        } else {
            out.state = EntryOutcome::Made;
        }
        // The unfinished archive's file gets its old name back.
        if (out.state != EntryOutcome::Made && renamed)
            renameInFolder(p.dir, p.newName, p.oldName);
        return out;
    }

    const std::vector<EntryPlan> &m_plans;
    const int m_limit;
    const Archiver m_archiver;
    const std::atomic<bool> *m_userCancel;
    const std::function<void(uint64_t, uint64_t)> m_progress;
    std::mutex m_mutex;
    std::condition_variable m_workerWake; // m_done moved on, or a stop
    std::condition_variable m_callerWake; // entry m_callerWaitsFor is done, or a stop
    int m_callerWaitsFor = 0;
    std::chrono::steady_clock::time_point m_callerWokeAt;
    int m_workersWaiting = 0;
    std::vector<EntryOutcome> m_outcomes;
    std::unique_ptr<std::atomic<bool>[]> m_cancel;
    std::vector<int> m_remaining; // entries to archive from k up to the limit
    int m_pool = 1; // workers started
    int m_threadsGiven = 1; // threads the run may use
    bool m_inline = true; // one thread: the caller's
    int m_next = 1; // the next entry to start
    int m_running = 0; // entries started and not yet done
    int m_done = 0; // entries 1..m_done are made or skipped
    int m_stopFrom = INT_MAX;
    std::vector<std::thread> m_threads;
};

int poolSize(int threads)
{
    if (threads > 0)
        return threads;
    return std::max(1, int(std::thread::hardware_concurrency()));
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
    const auto reportLeftOut = [&](const EntryOutcome &out) {
        for (const auto &item : out.leftOut)
            observer.leftOut(item.path, item.reason);
        leftOutCount += int(out.leftOut.size());
    };
    Workers workers(plans, limit, effectiveArchiver(settings.archiver), poolSize(settings.threads),
        settings.cancel, settings.progress);
    const auto cancelled = [&] {
        return settings.cancel && settings.cancel->load();
    };
    const auto made = [&](int k) {
        list.FileName[k] = plans[size_t(k)].newName;
        reportLeftOut(workers.outcome(k));
        syncAtEnd.archiveMade();
        observer.archiveMade(plans[size_t(k)].archivePath);
    };

    for (int k = 1; k <= count; ++k) {
        observer.counterChanged(run_texts::counter(k, count), k, count);
        const EntryPlan &plan = plans[size_t(k)];
        if (plan.action == EntryPlan::Action::Skip)
            continue;
        if (plan.action == EntryPlan::Action::Refuse) {
            workers.finish();
            observer.failed(run_texts::messageTitle(), plan.refusal, QString());
            return ArchiveRunOutcome::Stopped;
        }
        EntryOutcome out = cancelled() ? EntryOutcome() : workers.wait(k, settings.cancel);
        if (out.state == EntryOutcome::Pending) { // stopped by the caller
            workers.stopFrom(1);
            workers.finish();
            // Archives made in list order up to the stop stay and are
            // reported; those made ahead of an unfinished entry are undone.
            int j = k;
            for (; j < limit; ++j) {
                if (plans[size_t(j)].action != EntryPlan::Action::Archive)
                    continue;
                if (workers.outcome(j).state != EntryOutcome::Made)
                    break;
                if (j > k)
                    observer.counterChanged(run_texts::counter(j, count), j, count);
                made(j);
            }
            workers.undoFrom(j);
            return ArchiveRunOutcome::Cancelled;
        }
        if (out.state != EntryOutcome::Made) {
            workers.stopFrom(k + 1);
            workers.finish();
            workers.undoFrom(k + 1);
            if (out.state == EntryOutcome::Cancelled)
                return ArchiveRunOutcome::Cancelled;
            reportLeftOut(out);
            observer.failed(out.title, out.text, out.detail);
            return ArchiveRunOutcome::Stopped;
        }
        made(k);
    }
    workers.finish();
    syncAtEnd.flush();
    observer.finished(
        leftOutCount > 0 ? run_texts::doneWithLeftOut(leftOutCount) : run_texts::done());
    return ArchiveRunOutcome::Done;
}

} // namespace sheaf
