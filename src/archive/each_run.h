#pragma once
// Carries out a plan of one archive per item (each_plan.h), one engine call
// per item on the batch's scheduler. Unlike the window's run the items are
// independent: an item that fails leaves nothing of itself behind (an
// archive it was adding to stays as it was) and the others go on. A stop
// ends the archives under way without a trace; those finished stay. New
// archives are left in the cache and each file system they went to is
// synced once at the end, however the run ends.

#include "archive/arc_exec.h"
#include "archive/each_plan.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>

namespace sheaf {

struct EachOutcome
{
    enum class State { Made, LeftOut, Failed };
    State state = State::Made;
    QString reason; // LeftOut, Failed: why, one line
    QList<ArcExecResult::LeftOut> leftOut; // files a folder's archive does not hold
};

class EachRunObserver
{
public:
    virtual ~EachRunObserver() = default;
    // Item k of the plan is done. Called on the thread that called runEach,
    // in plan order up to a stop, then for the items finished past it.
    virtual void itemDone(int k, const EachItem &item, const EachOutcome &outcome) = 0;
};

// Where a run stands, for a display on another thread: the bytes read of
// the plan's total, and the item started last.
class EachProgress
{
public:
    struct Snapshot
    {
        uint64_t done = 0, total = 0;
        int finished = 0; // items done, archived or not
        QString current; // the path of the item started last of those under way
    };
    Snapshot snapshot() const;

    // A run begins: nothing done yet of `total` bytes.
    void begin(uint64_t total);
    void started(int k, const QString &path, uint64_t bytes);
    // An archive's bytes read and their total as the engine counts them.
    void advanced(int k, uint64_t done, uint64_t total);
    void finished(int k);

private:
    struct Running
    {
        uint64_t bytes = 0; // as planned
        double share = 0; // of it read
        QString path;
    };
    mutable std::mutex m_mutex;
    uint64_t m_total = 0, m_finishedBytes = 0;
    int m_finished = 0;
    std::map<int, Running> m_running; // by item: the last is the one started last
    QString m_current; // the last item started while none is under way
};

struct EachRunOptions
{
    int threads = 0; // 0: one per core
    // Turning it true stops the run; may be set from any thread or a signal handler.
    const std::atomic<bool> *cancel = nullptr;
    EachProgress *progress = nullptr;
};

struct EachRunResult
{
    int made = 0, leftOut = 0, failed = 0;
    bool stopped = false;
    // Archives reported made that may not have reached the disk (a
    // write-back error on their file system at the end), as failedLine()s;
    // they count as failed, not made.
    QStringList notOnDisk;
};

// Runs the plan (which must hold no clashes) and reports every item.
EachRunResult runEach(
    const EachPlan &plan, const EachRunOptions &options, EachRunObserver &observer);

} // namespace sheaf
