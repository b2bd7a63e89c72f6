#include "archiver/fault_injection.h"

#include "base/file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace sheaf::archiver {

namespace {
std::atomic<int64_t> g_budget {-1};
std::atomic<int64_t> g_corruptAt {-1};
std::mutex g_hookMutex;
std::function<void()> g_afterGathering;
std::function<void()> g_beforeReadingOld;
} // namespace

namespace {
std::atomic<int> g_syncFailure[4] {};
} // namespace

void injectSyncFailure(SyncStep step, int err)
{
    g_syncFailure[int(step)].store(err);
}

bool faultInjectedSync(SyncStep step, const std::function<bool()> &call)
{
    const bool done = call();
    if (const int err = g_syncFailure[int(step)].load(std::memory_order_relaxed)) {
        errno = err;
        return false;
    }
    return done;
}

void injectCorruptionAt(int64_t offset)
{
    g_corruptAt.store(offset);
}

void injectWriteFailureAfter(int64_t bytes)
{
    g_budget.store(bytes);
}

namespace {
std::atomic<int> g_delayMs {0};
} // namespace

void injectWriteDelay(int milliseconds)
{
    g_delayMs.store(milliseconds);
}

namespace {

// The budget and delay injections; false (errno set) when no byte may go.
// `size` shrinks to what the budget allows.
bool injectedBudget(size_t &size)
{
    if (const int delay = g_delayMs.load(std::memory_order_relaxed); delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    int64_t budget = g_budget.load(std::memory_order_relaxed);
    if (budget >= 0) {
        if (budget == 0) {
            errno = ENOSPC;
            return false;
        }
        if (int64_t(size) > budget)
            size = size_t(budget);
        g_budget.fetch_sub(int64_t(size));
    }
    return true;
}

// The bytes as they reach the disk: `data`, or a copy with one byte flipped.
const void *injectedCorruption(
    const void *data, size_t size, uint64_t offset, std::vector<uint8_t> &copy)
{
    const int64_t corruptAt = g_corruptAt.load(std::memory_order_relaxed);
    const auto at = int64_t(offset);
    if (corruptAt < 0 || corruptAt < at || corruptAt >= at + int64_t(size)
        || g_corruptAt.exchange(-1) != corruptAt)
        return data;
    copy.assign(static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + size);
    copy[size_t(corruptAt - at)] ^= 0xFF;
    return copy.data();
}

} // namespace

ptrdiff_t faultInjectedWrite(File &file, const void *data, size_t size, uint64_t offset)
{
    if (!injectedBudget(size))
        return -1;
    std::vector<uint8_t> copy;
    return file.write(injectedCorruption(data, size, offset, copy), size);
}

bool faultInjectedWriteAt(File &file, const void *data, size_t size, uint64_t offset)
{
    const size_t wanted = size;
    if (!injectedBudget(size))
        return false;
    std::vector<uint8_t> copy;
    if (!file.writeAt(injectedCorruption(data, size, offset, copy), size, offset))
        return false;
    if (size < wanted) {
        errno = ENOSPC;
        return false;
    }
    return true;
}

void setAfterGatheringHook(std::function<void()> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_afterGathering = std::move(hook);
}

void afterGathering()
{
    std::function<void()> hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_afterGathering;
    }
    if (hook)
        hook();
}

void setBeforeReadingOldArchiveHook(std::function<void()> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_beforeReadingOld = std::move(hook);
}

void beforeReadingOldArchive()
{
    std::function<void()> hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_beforeReadingOld;
    }
    if (hook)
        hook();
}

} // namespace sheaf::archiver

namespace sheaf::archiver {

namespace {
std::atomic<bool> g_hookSet {false};
SourceReadHook &hook()
{
    static SourceReadHook h;
    return h;
}
} // namespace

void setSourceReadHook(SourceReadHook h)
{
    g_hookSet.store(false);
    hook() = std::move(h);
    g_hookSet.store(bool(hook()));
}

void runSourceReadHook(const std::filesystem::path &file, uint64_t offset)
{
    if (g_hookSet.load(std::memory_order_relaxed))
        hook()(file, offset);
}

} // namespace sheaf::archiver
