#include "archiver/fault_injection.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <unistd.h>

namespace sheaf::archiver {

namespace {
std::atomic<int64_t> g_budget {-1};
std::mutex g_hookMutex;
std::function<void()> g_afterGathering;
} // namespace

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

ssize_t faultInjectedWrite(int fd, const void *data, size_t size)
{
    if (const int delay = g_delayMs.load(std::memory_order_relaxed); delay > 0)
        ::usleep(useconds_t(delay) * 1000);
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
    return ::write(fd, data, size);
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
