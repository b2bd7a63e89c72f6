#pragma once
// The candidate list: the files that the last selection command found, each
// with its folder, its bare name and its batch mark. Slot 0 is never used.
//
// Threads: the list has no lock; one thread at a time owns it. While a
// compress run goes on, the thread that called runArchive owns it (the
// window calls it from a worker thread of its own): the run reads every
// slot and writes FileName of the entries it renamed, from that thread only.
// Meanwhile the window's thread neither reads nor writes the list (it takes
// no input and does not repaint the grid) until the run has returned. The
// run's own workers never touch the list: the plan copies what they need
// before the first one starts.

#include <QString>
#include <QVector>

namespace sheaf {

// The batch mark of an entry that is in the batch.
inline QString markOn()
{
    return QStringLiteral("する");
}

class CandidateList
{
public:
    static constexpr int Capacity = 30000; // entries 1..30000

    CandidateList();

    // Parallel arrays, slots 0..Capacity; entries occupy 1..FileCount.
    QVector<QString> FileMark; // "する" = in the batch, empty = left out
    QVector<QString> FileDir; // the folder, ending in exactly one separator
    QVector<QString> FileName; // the bare name, as the file system gave it
    qint32 FileCount = 0;

    // Appends one file with the mark "する". False, and nothing stored, when full.
    bool append(const QString &dir, const QString &name);
    // Empties the slots in use and sets FileCount to 0.
    void clear();
    bool isMarked(int i) const { return !FileMark[i].isEmpty(); }
    QString fullPath(int i) const { return FileDir[i] + FileName[i]; }
};

} // namespace sheaf
