// Every archiver, ZIP and CAB included, goes through the engine, and every
// failure comes back as such: a run is never told an archive was made when
// it was not.

#include "archive/arc_exec.h"

#include "archiver/archive_error.h"
#include "archiver/engine.h"
#include "base/name_bytes.h"

namespace sheaf {

ArcExecResult ArcExec(
    ArchiverKind archiver, const QString &commandLine, const ArcExecOptions &given)
{
    const QByteArray utf8 = commandLine.toUtf8();
    sheaf::archiver::RunOptions options;
    options.cancel = given.cancel;
    options.threads = given.threads;
    options.mayCommit = given.mayCommit;
    options.progress = given.progress;
    // One sync at the end of the batch instead of one per archive.
    options.syncEachArchive = false;
    const auto result = sheaf::archiver::runCommandLine(
        archiver, std::string_view(utf8.constData(), size_t(utf8.size())), options);
    ArcExecResult out;
    for (const auto &item : result.leftOut)
        out.leftOut.append({QString::fromStdString(sheaf::escapedName(item.path)),
            QString::fromStdString(item.reason)});
    if (result.ok())
        return out;
    out.failed = true;
    out.cancelled = result.code == sheaf::archiver::ErrorCode::Cancelled;
    out.reason = QString::fromStdString(result.reason);
    return out;
}

} // namespace sheaf
