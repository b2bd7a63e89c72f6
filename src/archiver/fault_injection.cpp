#include "archiver/fault_injection.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <unistd.h>

namespace sheaf::archiver {

namespace {
std::atomic<int64_t> g_budget {-1};
std::atomic<int> g_delay {0};
} // namespace

void injectWriteFailureAfter(int64_t bytes)
{
    g_budget.store(bytes);
}

void injectWriteDelay(int milliseconds)
{
    g_delay.store(milliseconds);
}

ssize_t faultInjectedWrite(int fd, const void *data, size_t size)
{
    if (const int delay = g_delay.load(std::memory_order_relaxed); delay > 0)
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
    return ::write(fd, data, size);
}

} // namespace sheaf::archiver
