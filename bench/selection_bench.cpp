// Times the whole selection command on a folder tree: the scan with its
// running count, the sort and the grid fill, as the window runs them.
//
//   selection_bench FOLDER [EXTENSION] [REPEATS]
//
// Prints one line per run: total and per-step milliseconds and the count.

#include "selection/candidate_list.h"
#include "selection/candidate_model.h"
#include "selection/file_scan.h"
#include "selection/file_sort.h"
#include "selection/selection_texts.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

// Stands in for the window's count label: the text is made for every file,
// as a label update would need it, but "shown" at most 30 times a second.
class LabelProgress : public sheaf::ScanProgress
{
public:
    void fileCountChanged(int fileCount) override
    {
        if (m_clock.isValid() && m_clock.elapsed() < 33)
            return;
        m_clock.start();
        m_shown = sheaf::selection_texts::runningCount(fileCount);
        ++m_updates;
    }
    int updates() const { return m_updates; }

private:
    QElapsedTimer m_clock;
    QString m_shown;
    int m_updates = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: selection_bench FOLDER [EXTENSION] [REPEATS]\n");
        return 2;
    }
    const QString folder = args[1];
    const QString extension = args.size() > 2 ? args[2] : QStringLiteral(".TXT");
    const int repeats = args.size() > 3 ? args[3].toInt() : 1;

    for (int run = 0; run < repeats; ++run) {
        sheaf::CandidateList list;
        sheaf::CandidateModel model(list);
        LabelProgress progress;
        QElapsedTimer clock;
        clock.start();
        const sheaf::ScanResult result = sheaf::FileScan(folder, 1, extension, list, &progress);
        const qint64 scanNs = clock.nsecsElapsed();
        sheaf::FileSort(list.FileMark, list.FileDir, list.FileName, list.FileCount);
        const qint64 sortNs = clock.nsecsElapsed();
        model.FileShow();
        const qint64 showNs = clock.nsecsElapsed();
        const QString status = sheaf::selection_texts::finalStatus(list.FileCount, result);
        const qint64 totalNs = clock.nsecsElapsed();
        std::printf("total_ms %.2f scan_ms %.2f sort_ms %.2f show_ms %.2f files %d updates %d "
                    "status %s last %s\n",
            totalNs / 1e6, scanNs / 1e6, (sortNs - scanNs) / 1e6, (showNs - sortNs) / 1e6,
            int(list.FileCount), progress.updates(), qPrintable(status),
            qPrintable(
                model.cellText(list.FileCount, 4) + u' ' + model.cellText(list.FileCount, 5)));
    }
    return 0;
}
