#pragma once
// Seams for the tests that simulate a full disk or a source file changed by
// someone else while it is read. Normally both are inert: every write of the
// engine's output goes straight to the file, and no hook runs.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace sheaf {
class File;
}

namespace sheaf::archiver {

// Every write of the engine's output waits `milliseconds` first (0, the
// default: no wait), so that a test can watch an archive being written.
void injectWriteDelay(int milliseconds);

// After `bytes` more bytes have been written, every write fails with ENOSPC.
// A negative value switches the injection off (the default).
void injectWriteFailureAfter(int64_t bytes);

// The byte at `offset` of the next output file to reach it is written
// inverted (once); a negative value switches it off (the default).
void injectCorruptionAt(int64_t offset);

// The disk's last word on what the engine wrote: a sync of an output file,
// of its folder, of a batch's file system, or the check of an output file's
// close fails with `err` (EIO, say) while it is injected; 0 switches that
// step back (the default). The real call is still made.
enum class SyncStep { File, Folder, FileSystem, Close };
void injectSyncFailure(SyncStep step, int err);
// What `call` (the real sync or close) returned, unless `step` is injected
// to fail: then false with errno set.
bool faultInjectedSync(SyncStep step, const std::function<bool()> &call);

// Writes some of `size` bytes that belong at `offset` of `file` (its write
// position), through the injections above; -1 with errno set.
ptrdiff_t faultInjectedWrite(File &file, const void *data, size_t size, uint64_t offset);
// Writes all of `size` bytes at `offset` of `file` (a patch), through the
// same injections; false with errno set.
bool faultInjectedWriteAt(File &file, const void *data, size_t size, uint64_t offset);

// Called before every block read from a source file, with the file and the
// bytes read from it so far; an empty function removes the hook.
using SourceReadHook = std::function<void(const std::filesystem::path &file, uint64_t offset)>;
void setSourceReadHook(SourceReadHook hook);
void runSourceReadHook(const std::filesystem::path &file, uint64_t offset);
// A seam for the tests that change the disk between gathering and writing:
// the engine calls afterGathering() once the members are known. Empty (the
// default): nothing happens.
void setAfterGatheringHook(std::function<void()> hook);
void afterGathering();
// The same for the moment an add has looked at the old archive and is about
// to open it.
void setBeforeReadingOldArchiveHook(std::function<void()> hook);
void beforeReadingOldArchive();

} // namespace sheaf::archiver
