#include "archive/each_run.h"

#include "archive/each_texts.h"
#include "archive/run_scheduler.h"
#include "archiver/engine.h"
#include "archiver/written_archives.h"
#include "base/file.h"
#include "base/platform.h"
#include "base/thread_count.h"
#include "selection/name_text.h"

#include <set>

namespace sheaf {

EachProgress::Snapshot EachProgress::snapshot() const
{
    const std::lock_guard lock(m_mutex);
    Snapshot s;
    s.total = m_total;
    double done = double(m_finishedBytes);
    for (const auto &[k, r] : m_running)
        done += double(r.bytes) * r.share;
    s.done = std::min(m_total, uint64_t(done));
    s.finished = m_finished;
    s.current = m_running.empty() ? m_current : m_running.rbegin()->second.path;
    return s;
}

void EachProgress::begin(uint64_t total)
{
    const std::lock_guard lock(m_mutex);
    m_total = total;
    m_finishedBytes = 0;
    m_finished = 0;
    m_running.clear();
    m_current.clear();
}

void EachProgress::started(int k, const QString &path, uint64_t bytes)
{
    const std::lock_guard lock(m_mutex);
    m_running[k] = {bytes, 0, path};
    m_current = path;
}

void EachProgress::advanced(int k, uint64_t done, uint64_t total)
{
    const std::lock_guard lock(m_mutex);
    if (auto it = m_running.find(k); it != m_running.end() && total > 0)
        it->second.share = std::min(1.0, double(done) / double(total));
}

void EachProgress::finished(int k)
{
    const std::lock_guard lock(m_mutex);
    if (auto it = m_running.find(k); it != m_running.end()) {
        m_finishedBytes += it->second.bytes;
        m_running.erase(it);
    }
    ++m_finished;
}

namespace {

bool isFolder(const File &folder, uint64_t device, uint64_t inode)
{
    if (!folder)
        return false;
    const platform::FileFacts f = folder.facts();
    return f.error == 0 && f.device == device && f.inode == inode;
}

// Opens the item's folder and checks that it and the item are what the plan
// saw: not gone, not swapped for a link or for something else of its name.
// Everything done for the item then goes through that handle, never through
// the path again, which another user may have pointed elsewhere meanwhile.
QString openAsPlanned(const EachItem &item, File &folder)
{
    if (QString problem = openItemFolder(item, folder); !problem.isEmpty())
        return problem;
    if (!isFolder(folder, item.folderDevice, item.folderInode))
        return each_texts::folderChanged(item.dir);
    const platform::FileFacts now
        = folder.factsOf(nameBytes(item.name).toStdString(), File::Links::DontFollow);
    if (now.error == ENOENT)
        return each_texts::notFound();
    if (now.error != 0 || now.isLink != item.isLink || now.device != item.device
        || now.inode != item.inode || (!now.isLink && now.isDirectory != item.isFolder))
        return each_texts::kindChanged();
    return {};
}

} // namespace

EachRunResult runEach(
    const EachPlan &plan, const EachRunOptions &options, EachRunObserver &observer)
{
    const int count = int(plan.items.size()) - 1;
    EachRunResult result;
    if (count < 1)
        return result;
    EachProgress ownProgress;
    EachProgress &progress = options.progress ? *options.progress : ownProgress;
    progress.begin(plan.totalBytes);

    // An outcome is written by the thread running its item and read once
    // the scheduler has reported the item done (its lock orders the two).
    std::vector<EachOutcome> outcomes(size_t(count) + 1);
    std::vector<std::string> madePaths(size_t(count) + 1); // new archives' files
    sheaf::archiver::WrittenArchives written;
    // The output folder is opened once, by the path given, and must be the
    // folder the plan saw; every archive goes into that folder.
    File output;
    QString outputChanged;
    if (!plan.settings.outputFolder.isEmpty()) {
        output = File::openFolder(namePath(plan.settings.outputFolder));
        if (!isFolder(output, plan.outputDevice, plan.outputInode))
            outputChanged = each_texts::folderChanged(plan.settings.outputFolder);
    }
    std::vector<RunScheduler::Entry> entries(size_t(count) + 1);
    for (int k = 1; k <= count; ++k) {
        const EachItem &item = plan.items[size_t(k)];
        entries[size_t(k)] = {item.verdict == EachItem::Verdict::Archive, item.waitFor};
        if (item.verdict != EachItem::Verdict::Archive)
            outcomes[size_t(k)]
                = {item.verdict == EachItem::Verdict::LeftOut ? EachOutcome::State::LeftOut
                                                              : EachOutcome::State::Failed,
                    item.reason, {}};
    }
    // Every item that ends, made or failed, is "Made" to the scheduler, so
    // that it goes on with the next; only a stop ends it early. Each
    // archive takes its name as soon as it is complete.
    const auto action = [&](const EntryTurn &turn) {
        const EachItem &item = plan.items[size_t(turn.entry)];
        EachOutcome &out = outcomes[size_t(turn.entry)];
        progress.started(turn.entry, item.path, item.bytes);
        File folder;
        out.reason = outputChanged.isEmpty() ? openAsPlanned(item, folder) : outputChanged;
        if (!out.reason.isEmpty()) {
            out.state = EachOutcome::State::Failed;
            progress.finished(turn.entry);
            return EntryState::Made;
        }
        ArcExecOptions exec;
        exec.cancel = turn.cancel;
        exec.writtenArchives = &written;
        exec.threads = turn.threads;
        exec.baseFolder = &folder;
        exec.archiveFolder = output ? &output : &folder;
        exec.progress = [&progress, k = turn.entry](uint64_t done, uint64_t total) {
            progress.advanced(k, done, total);
        };
        const ArcExecResult r = ArcExec(plan.settings.archiver, item.commandLine, exec);
        out.leftOut = r.leftOut;
        if (!r.failed && r.made.isNew)
            madePaths[size_t(turn.entry)] = r.made.path;
        if (r.cancelled)
            return EntryState::Cancelled;
        out.state = r.failed ? EachOutcome::State::Failed : EachOutcome::State::Made;
        out.reason = r.reason;
        progress.finished(turn.entry);
        return EntryState::Made;
    };
    RunScheduler scheduler(
        std::move(entries), threadCount(options.threads), options.cancel, action);

    const auto report = [&](int k) {
        const EachOutcome &out = outcomes[size_t(k)];
        switch (out.state) {
        case EachOutcome::State::Made:
            ++result.made;
            break;
        case EachOutcome::State::LeftOut:
            ++result.leftOut;
            break;
        case EachOutcome::State::Failed:
            ++result.failed;
            break;
        }
        observer.itemDone(k, plan.items[size_t(k)], out);
    };
    for (int k = 1; k <= count; ++k) {
        if (plan.items[size_t(k)].verdict != EachItem::Verdict::Archive) {
            progress.finished(k);
            report(k);
            continue;
        }
        const bool stop = options.cancel && options.cancel->load();
        const EntryState state = stop ? EntryState::Pending : scheduler.wait(k);
        if (state == EntryState::Made) {
            report(k);
            continue;
        }
        // Stopped: what is under way ends without a trace; what finished
        // meanwhile, past this item too, stays and is reported.
        scheduler.stopFrom(1);
        scheduler.finish();
        for (int j = k; j <= count; ++j)
            if (plan.items[size_t(j)].verdict == EachItem::Verdict::Archive
                && scheduler.state(j) == EntryState::Made)
                report(j);
        result.stopped = true;
        break;
    }
    scheduler.finish();
    // New archives went to the cache; they reach the disk together. A file
    // system that reports a write-back error may concern every new archive
    // on it.
    for (const auto &failure : written.sync()) {
        const std::set<std::string> concerned(failure.archives.begin(), failure.archives.end());
        for (int k = 1; k <= count; ++k) {
            if (madePaths[size_t(k)].empty() || !concerned.count(madePaths[size_t(k)]))
                continue;
            result.notOnDisk << each_texts::failedLine(plan.items[size_t(k)].archivePath,
                each_texts::notOnDisk(QString::fromStdString(failure.reason)));
            --result.made;
            ++result.failed;
        }
    }
    return result;
}

} // namespace sheaf
