#pragma once
// The compress run as plain logic: the window and sheaf-batch both drive it
// and turn its reports into labels, message boxes or console lines.

#include "archive/archiver_choice.h"
#include "selection/candidate_list.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

namespace sheaf {

struct ArchiveRunSettings
{
    ArchiverKind archiver = ArchiverKind::Lzh;
    // Handed to each engine call: the bytes of an archive's source data read
    // so far and their total, on the thread that makes the archive (with
    // several threads, from several at once).
    std::function<void(uint64_t done, uint64_t total)> progress;
    bool name = false; // chkName: rename the file after its folder
    bool together = false; // chkTogether: the whole folder into the archive
    bool output = false; // chkOutput: archives in the output folder
    QString outputFolder;
    QString extension; // the extension field's text, e.g. ".TXT"
    // Turning it true stops the run: unfinished archives leave nothing behind
    // and their files get their old names back; archives made stay. It may be
    // set from any thread.
    const std::atomic<bool> *cancel = nullptr;
    // Archives made at the same time; 0: one per core (threadCount). What the
    // observer sees does not depend on it.
    int threads = 0;
};

// Why an entry stopped the run, which decides how it is shown.
enum class FailureKind {
    Refused, // the run refused the entry or its rename: a box titled "kwSheaf", no icon
    ArchiverFailed, // the archiver failed: "圧縮に失敗しました．", titled "kwSheaf120", "!" icon
};

// The observer is called only from the thread that called runArchive, in
// list order, so a window may call runArchive from a worker thread and pass
// the reports on to its own thread.
class ArchiveRunObserver
{
public:
    virtual ~ArchiveRunObserver() = default;
    // A pre-run check refused the run: text is two lines joined by "\r".
    virtual void refused(const QString &text) = 0;
    // The run starts: "圧縮しています、しばらくお待ち下さい".
    virtual void started(const QString &statusText) = 0;
    // Entry k of n is next: "(k/n)" with "##,##0", for every entry, marked or not.
    virtual void counterChanged(const QString &counterText, int k, int n) = 0;
    // One archive was made.
    virtual void archiveMade(const QString &archivePath) { }
    // The engine left a file out of an archive (a pipe, a device, a link it
    // does not follow); called before that archive's archiveMade or failed.
    virtual void leftOut(const QString &path, const QString &reason) { }
    // An entry failed before or in the engine. text is the message box's
    // (its title is run_texts::failureTitle(kind)); detail is the engine's
    // reason (may be empty).
    virtual void failed(FailureKind kind, const QString &text, const QString &detail) = 0;
    // Every entry done: "圧縮しました", followed by "（除外 N 件）" when files
    // were left out.
    virtual void finished(const QString &statusText) = 0;
};

enum class ArchiveRunOutcome { Empty, Refused, Done, Stopped, Cancelled };

// cmdArchive_Click's work. Plans every entry (run_plan.h), then renames files
// (chkName) through a rename that never replaces, calls the engine once per
// marked entry (ArcExec) on settings.threads workers, and updates FileName
// of the entries renamed and archived. The first entry in list order that
// fails or is refused stops the run and is the one reported: no entry after
// it keeps a rename or an archive, the failing entry's file gets its old name
// back, and archives made before it stay.
ArchiveRunOutcome runArchive(
    CandidateList &list, const ArchiveRunSettings &settings, ArchiveRunObserver &observer);

} // namespace sheaf
