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
} // namespace

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

ptrdiff_t faultInjectedWrite(File &file, const void *data, size_t size, uint64_t offset)
{
    if (const int delay = g_delayMs.load(std::memory_order_relaxed); delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    int64_t budget = g_budget.load(std::memory_order_relaxed);
    if (budget >= 0) {
        if (budget == 0) {
            errno = ENOSPC;
            return -1;
        }
        if (int64_t(size) > budget)
            size = size_t(budget);
        g_budget.fetch_sub(int64_t(size));
    }
    const int64_t corruptAt = g_corruptAt.load(std::memory_order_relaxed);
    const auto at = int64_t(offset);
    if (corruptAt >= 0 && corruptAt >= at && corruptAt < at + int64_t(size)
        && g_corruptAt.exchange(-1) == corruptAt) {
        std::vector<uint8_t> copy(
            static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + size);
        copy[size_t(corruptAt - at)] ^= 0xFF;
        return file.write(copy.data(), size);
    }
    return file.write(data, size);
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
