#pragma once
// One archive for each item given (the files and folders selected in a file
// manager), planned before anything is written: each archive's name and
// place, the items left out or refused and why, the items whose archives
// would clash, and an order in which items that touch each other's files run
// one after the other, so that a run on several threads makes what a run on
// one would. each_run.h carries the plan out.

#include "archive/archiver_choice.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <vector>

namespace sheaf {

struct EachSettings
{
    ArchiverKind archiver = ArchiverKind::Lzh;
    QString outputFolder; // absolute; empty: each archive beside its item
    // Files keep their whole names: a.txt gives a.txt.zip instead of a.zip.
    bool wholeNames = false;
};

// A file's archive is named after the file less its last extension
// (報告書.docx gives 報告書.lzh; Makefile and .bashrc keep their names), a
// folder's after the whole folder name; with wholeNames a file's too.
QString eachArchiveName(const QString &name, bool isFolder, bool wholeNames, ArchiverKind archiver);

struct EachItem
{
    enum class Verdict {
        Archive,
        LeftOut, // holds nothing to archive (a pipe, a device, a link leading nowhere)
        Refused, // cannot be archived as asked; counts as failed
    };
    QString path; // absolute and cleaned, bytes kept
    QString dir; // the folder holding it, ending in '/'
    QString name;
    bool isFolder = false;
    Verdict verdict = Verdict::Archive;
    QString reason; // why it is left out or refused, one line
    QString archivePath;
    QString commandLine;
    uint64_t bytes = 0; // the bytes it holds (a folder's files added up), for progress
    // What it was when planned: an item that is something else when its
    // turn comes is refused.
    bool isLink = false;
    uint64_t device = 0, inode = 0;
    // The folder holding it as the plan saw it (links followed): the run
    // opens it once, checks it is still that folder, and does everything
    // through that handle, so a folder swapped for a link meanwhile (as
    // another user may do to a run as root) leads nowhere.
    uint64_t folderDevice = 0, folderInode = 0;
    // Items 1..waitFor of the run order are done before this one starts.
    int waitFor = 0;
};

struct EachClash
{
    QString archivePath;
    QStringList items; // their paths, in the order given
};

struct EachPlan
{
    EachSettings settings; // as given
    std::vector<EachItem> items; // in run order from index 1 (0 unused)
    uint64_t totalBytes = 0; // of the items to archive
    // The output folder as the plan saw it (when one was given).
    uint64_t outputDevice = 0, outputInode = 0;
    // Items whose archives would have one path. When there are any, nothing
    // is to be made: the user is told, and offered clashFree.
    QList<EachClash> clashes;
    // The settings under which every item of the clashes gets an archive of
    // its own: whole names, and no output folder when two items share a name.
    EachSettings clashFree;
};

class File;

// The folder holding `item` (item.dir), opened without following another
// user's link on the way; an empty text, or why it cannot be.
QString openItemFolder(const EachItem &item, File &folder);

// Plans the items given on a command line (bytes kept, a relative path taken
// from the current folder); an item given twice counts once. Looks at the
// disk but changes nothing. When `cancel` turns true it returns at once with
// an incomplete plan.
EachPlan planEach(
    const QStringList &paths, const EachSettings &settings, const std::atomic<bool> *cancel);

} // namespace sheaf
