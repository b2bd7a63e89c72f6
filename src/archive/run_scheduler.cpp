#include "archive/run_scheduler.h"

#include <algorithm>
#include <climits>

namespace sheaf {

RunScheduler::RunScheduler(
    std::vector<Entry> entries, int threads, const std::atomic<bool> *callerCancel, Action action)
    : m_entries(std::move(entries))
    , m_limit(std::max(1, int(m_entries.size())))
    , m_action(std::move(action))
    , m_callerCancel(callerCancel)
    , m_threadsGiven(std::max(1, threads))
    , m_remaining(size_t(m_limit) + 1, 0)
    , m_cancel(new std::atomic<bool>[size_t(m_limit) + 1])
    , m_states(size_t(m_limit) + 1, EntryState::Pending)
    , m_stopFrom(INT_MAX)
{
    for (int k = m_limit - 1; k >= 1; --k)
        m_remaining[size_t(k)] = m_remaining[size_t(k) + 1] + (runs(k) ? 1 : 0);
    for (int k = 0; k <= m_limit; ++k)
        m_cancel[size_t(k)].store(false);
    const int pool = std::min(m_threadsGiven, m_remaining[1]);
    advanceDone();
    m_inline = pool <= 1;
    if (m_inline)
        return;
    for (int i = 0; i < pool; ++i)
        m_threads.emplace_back([this] { work(); });
}

RunScheduler::~RunScheduler()
{
    stopFrom(1);
    finish();
}

EntryState RunScheduler::wait(int k)
{
    if (m_inline) {
        if (m_states[size_t(k)] == EntryState::Pending && k < m_stopFrom && runs(k)) {
            m_states[size_t(k)] = run(k, engineThreads(k), m_callerCancel);
            if (m_states[size_t(k)] != EntryState::Made)
                m_stopFrom = std::min(m_stopFrom, k + 1);
            advanceDone();
        }
        return m_states[size_t(k)];
    }
    std::unique_lock lock(m_mutex);
    while (m_states[size_t(k)] == EntryState::Pending) {
        if (k >= m_stopFrom && k >= m_next)
            return EntryState::Pending; // it never starts
        // The caller's flag may be set from a signal handler, which cannot
        // notify: it is looked at every 50 ms.
        if (m_callerCancel && m_callerCancel->load())
            return EntryState::Pending;
        m_callerWaitsFor = k;
        m_callerWake.wait_for(lock, std::chrono::milliseconds(50));
        m_callerWokeAt = std::chrono::steady_clock::now();
    }
    m_callerWaitsFor = 0;
    return m_states[size_t(k)];
}

EntryState RunScheduler::state(int k)
{
    std::lock_guard lock(m_mutex);
    return m_states[size_t(k)];
}

void RunScheduler::stopFrom(int k)
{
    std::lock_guard lock(m_mutex);
    stopFromLocked(k);
}

void RunScheduler::finish()
{
    for (std::thread &t : m_threads)
        t.join();
    m_threads.clear();
}

// When fewer entries are left (k on, and those under way) than threads, the
// spare ones go to the entries (one large file gets them all).
int RunScheduler::engineThreads(int k) const
{
    const int left = m_remaining[size_t(k)] + m_running;
    return left >= m_threadsGiven ? 1 : std::max(1, m_threadsGiven / std::max(1, left));
}

void RunScheduler::stopFromLocked(int k)
{
    m_stopFrom = std::min(m_stopFrom, k);
    for (int j = k; j < m_limit; ++j) {
        m_cancel[size_t(j)].store(true);
        m_cancel[size_t(j)].notify_all(); // for an action that waits on it
    }
    m_workerWake.notify_all();
    m_callerWake.notify_all();
}

// Moves m_done over the entries that are made or skipped.
void RunScheduler::advanceDone()
{
    while (m_done + 1 < m_limit
        && (!runs(m_done + 1) || m_states[size_t(m_done) + 1] == EntryState::Made))
        ++m_done;
}

void RunScheduler::work()
{
    for (;;) {
        int k;
        int threads;
        {
            std::unique_lock lock(m_mutex);
            for (;;) {
                while (m_next < m_limit && !runs(m_next))
                    ++m_next;
                if (m_next >= std::min(m_limit, m_stopFrom))
                    return;
                if (m_done >= m_entries[size_t(m_next)].waitFor)
                    break;
                ++m_workersWaiting;
                m_workerWake.wait(lock);
                --m_workersWaiting;
            }
            k = m_next++;
            threads = engineThreads(k);
            ++m_running;
        }
        const EntryState state = run(k, threads, &m_cancel[size_t(k)]);
        std::lock_guard lock(m_mutex);
        --m_running;
        m_states[size_t(k)] = state;
        if (state != EntryState::Made)
            stopFromLocked(k + 1);
        const int doneBefore = m_done;
        advanceDone();
        // Wake only who waits for this, and the caller at most every 10 ms
        // while all goes well (it looks every 50 ms anyway): a context switch
        // per entry costs more than a small archive takes to make.
        if (k == m_callerWaitsFor
            && (state != EntryState::Made || m_done + 1 >= m_limit
                || std::chrono::steady_clock::now() - m_callerWokeAt
                    >= std::chrono::milliseconds(10)))
            m_callerWake.notify_one();
        if (m_workersWaiting > 0 && m_done != doneBefore)
            m_workerWake.notify_all();
    }
}

bool RunScheduler::mayCommit(int k, bool replaces)
{
    if (!replaces)
        return !m_cancel[size_t(k)].load();
    std::unique_lock lock(m_mutex);
    ++m_workersWaiting;
    m_workerWake.wait(lock, [&] { return m_done >= k - 1 || m_cancel[size_t(k)].load(); });
    --m_workersWaiting;
    return !m_cancel[size_t(k)].load();
}

EntryState RunScheduler::run(int k, int threads, const std::atomic<bool> *cancel)
{
    if (cancel && cancel->load())
        return EntryState::Cancelled;
    EntryTurn turn;
    turn.entry = k;
    turn.threads = threads;
    turn.cancel = cancel;
    if (!m_inline)
        turn.mayCommit = [this, k](bool replaces) {
            return mayCommit(k, replaces);
        };
    return m_action(turn);
}

} // namespace sheaf
