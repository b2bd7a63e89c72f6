#pragma once
// ArcExec: one archive through the archiver engine, in-process.

#include "archive/archiver_choice.h"

#include <QList>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

namespace sheaf {

struct ArcExecResult
{
    bool failed = false;
    bool cancelled = false; // stopped through the cancel flag; nothing was left behind
    QString reason; // the engine's one-line reason when failed
    // What the archive leaves out (pipes, devices, links not followed), made
    // or not: the path shown escaped, and the reason.
    struct LeftOut
    {
        QString path, reason;
    };
    QList<LeftOut> leftOut;
};

struct ArcExecOptions
{
    const std::atomic<bool> *cancel = nullptr;
    int threads = 1; // worker threads the engine may use for this archive
    std::function<bool(bool replaces)> mayCommit; // see sheaf::archiver::RunOptions
    // Hears now and then, on the thread running the archive, the bytes of
    // source data read so far and their total.
    std::function<void(uint64_t done, uint64_t total)> progress;
};

// Hands `commandLine` to the engine as UTF-8 (never through a code page, so
// every name the file system holds reaches it) and waits for the archive.
ArcExecResult ArcExec(
    ArchiverKind archiver, const QString &commandLine, const ArcExecOptions &options = {});

} // namespace sheaf
