#pragma once
// A seam for the tests that simulate a full disk: every write of the engine's
// output goes through faultInjectedWrite. Normally it is plain write(2).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <sys/types.h>

namespace sheaf::archiver {

// Every write of the engine's output waits `milliseconds` first (0, the
// default: no wait), so that a test can watch an archive being written.
void injectWriteDelay(int milliseconds);

// After `bytes` more bytes have been written, every write fails with ENOSPC.
// A negative value switches the injection off (the default).
void injectWriteFailureAfter(int64_t bytes);

ssize_t faultInjectedWrite(int fd, const void *data, size_t size);

// A seam for the tests that change the disk between gathering and writing:
// the engine calls afterGathering() once the members are known. Empty (the
// default): nothing happens.
void setAfterGatheringHook(std::function<void()> hook);
void afterGathering();

} // namespace sheaf::archiver
