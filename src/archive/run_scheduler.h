#pragma once
// The batch's scheduler: when each entry of a run starts, on how many
// threads, when its archive may take its name, and when the caller hears of
// it. It knows nothing of archives: the run hands it one action, called once
// per entry that runs, and asks for the outcomes in list order.
//
// Entries start in list order, each once the entries it depends on (its
// waitFor) are done. The first entry that does not end Made stops every
// entry after it: those not started never start, those running see their
// cancel flag turn true. An add (mayCommit(true)) takes its name only once
// every entry before it has ended Made, since an add cannot be undone; a new
// archive may take its name at once. With one thread no worker is started:
// wait() runs each entry on the caller's thread, as a plain loop would.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sheaf {

enum class EntryState { Pending, Made, Failed, Cancelled };

// What an action is handed for its entry.
struct EntryTurn
{
    int entry = 0;
    int threads = 1; // threads the entry may use itself (spare ones near the end)
    // Turns true when the entry is to stop (an earlier one failed, or the caller stopped).
    const std::atomic<bool> *cancel = nullptr;
    // Called once the archive is complete, before it takes its name; false:
    // stop as cancel does. May block. Empty with one thread (nothing runs
    // ahead of the caller then).
    std::function<bool(bool replaces)> mayCommit;
};

class RunScheduler
{
public:
    struct Entry
    {
        bool runs = false; // false: skipped (unmarked), done at once
        int waitFor = 0; // entries 1..waitFor must be done before it starts
    };
    // Called on a worker thread (or the caller's with one thread); returns
    // Made, Failed or Cancelled.
    using Action = std::function<EntryState(const EntryTurn &turn)>;

    // entries[k] for k = 1..entries.size()-1 (slot 0 unused); `threads` > 0
    // is the budget of the whole run; `callerCancel`, when it turns true,
    // ends wait() with Pending.
    RunScheduler(std::vector<Entry> entries, int threads, const std::atomic<bool> *callerCancel,
        Action action);
    ~RunScheduler(); // stops what is left and joins the workers
    RunScheduler(const RunScheduler &) = delete;
    RunScheduler &operator=(const RunScheduler &) = delete;

    // Waits until entry k is done and returns its state; Pending when the
    // caller's cancel flag turned true first, or when k was stopped before
    // it started. Called by the caller only, for entries in list order.
    EntryState wait(int k);
    // Entry k's state now.
    EntryState state(int k);
    // Entries from k on never start; those running are cancelled.
    void stopFrom(int k);
    // Waits for every worker to end. No entry runs after it.
    void finish();

private:
    bool runs(int k) const { return m_entries[size_t(k)].runs; }
    int engineThreads(int k) const;
    void stopFromLocked(int k);
    void advanceDone();
    void work();
    bool mayCommit(int k, bool replaces);
    EntryState run(int k, int threads, const std::atomic<bool> *cancel);

    // Set by the constructor, read-only after.
    const std::vector<Entry> m_entries;
    const int m_limit; // one past the last entry
    const Action m_action;
    const std::atomic<bool> *const m_callerCancel;
    const int m_threadsGiven; // threads the run may use
    std::vector<int> m_remaining; // entries that run from k up to the limit
    bool m_inline = true; // one thread: the caller's, no worker

    // One per entry; turned true under m_mutex (stopFromLocked), read by
    // anyone without it.
    std::unique_ptr<std::atomic<bool>[]> m_cancel;

    // Everything below is read and written under m_mutex only (with one
    // thread there is no other thread, and the caller uses them alone).
    std::mutex m_mutex;
    std::condition_variable m_workerWake; // m_done moved on, or a stop
    std::condition_variable m_callerWake; // entry m_callerWaitsFor is done, or a stop
    std::vector<EntryState> m_states; // written by whoever ran the entry
    int m_callerWaitsFor = 0; // written by the caller
    std::chrono::steady_clock::time_point m_callerWokeAt; // written by the caller
    int m_workersWaiting = 0; // workers asleep on m_workerWake
    int m_next = 1; // the next entry to start
    int m_running = 0; // entries started and not yet done
    int m_done = 0; // entries 1..m_done are made or skipped
    int m_stopFrom; // no entry from here on starts

    std::vector<std::thread> m_threads; // the caller's only
};

} // namespace sheaf
