// The soak driver: the selection command and the compress run of the window
// (FileScan, then runArchive with an observer), several rounds in a row in
// one process over the same tree, the output folder emptied between rounds.
// After each round it prints the resident memory (VmRSS), the heap in use
// and the number of open file descriptors; it fails when any of them grew
// from the first round to the last.
//
//   soak_bench SELECTION_FOLDER OUTPUT_FOLDER [ROUNDS]   (default 3 rounds)

#include "archive/archive_run.h"
#include "selection/file_scan.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <malloc.h>

using namespace sheaf;

namespace {

class CountingObserver : public ArchiveRunObserver
{
public:
    int made = 0;
    QString failure;
    void refused(const QString &text) override { failure = text; }
    void started(const QString &) override { }
    void counterChanged(const QString &, int, int) override { }
    void archiveMade(const QString &) override { ++made; }
    void failed(FailureKind, const QString &text, const QString &detail) override
    {
        failure = text + u' ' + detail;
    }
    void finished(const QString &) override { }
};

long residentKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Bytes the allocator has handed out and not got back: unlike VmRSS, blind
// to how the free memory is laid out, so a leak shows here first.
long heapInUseKib()
{
    const struct mallinfo2 info = mallinfo2();
    return long((info.uordblks + info.hblkhd) / 1024);
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: soak_bench SELECTION_FOLDER OUTPUT_FOLDER [ROUNDS]\n");
        return 2;
    }
    const QString folder = args[1], out = QDir(args[2]).absolutePath();
    const int rounds = args.size() > 3 ? args[3].toInt() : 3;

    ArchiveRunSettings settings;
    settings.archiver = ArchiverKind::Lzh;
    settings.output = true;
    settings.outputFolder = out;
    settings.extension = QStringLiteral(".txt");

    CandidateList list; // one list for every round, as the window keeps one
    std::printf("round\tfiles\tarchives\tseconds\tVmRSS KiB\theap in use KiB\topen fds\n");
    std::printf("0\t-\t-\t-\t%ld\t%ld\t%d\n", residentKib(), heapInUseKib(), openDescriptors());
    long firstRss = 0, firstHeap = 0;
    int firstFds = 0;
    for (int round = 1; round <= rounds; ++round) {
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        QElapsedTimer timer;
        timer.start();
        list.clear();
        FileScan(folder, 1, settings.extension, list);
        CountingObserver observer;
        const ArchiveRunOutcome outcome = runArchive(list, settings, observer);
        if (outcome != ArchiveRunOutcome::Done || observer.made != list.FileCount) {
            std::fprintf(stderr, "round %d failed after %d archives: %s\n", round, observer.made,
                qPrintable(observer.failure));
            return 1;
        }
        const long rss = residentKib();
        const int fds = openDescriptors();
        std::printf("%d\t%d\t%d\t%.1f\t%ld\t%ld\t%d\n", round, list.FileCount, observer.made,
            double(timer.elapsed()) / 1000, rss, heapInUseKib(), fds);
        std::fflush(stdout);
        if (round == 1) {
            firstRss = rss;
            firstHeap = heapInUseKib();
            firstFds = fds;
        }
    }
    // A leak shows in the heap in use: a few bytes per archive are over 64
    // KiB a round. VmRSS also moves with how the free memory lies (a few
    // hundred KiB either way between rounds); more than 4 MiB is growth.
    const long grownRss = residentKib() - firstRss;
    const long grownHeap = heapInUseKib() - firstHeap;
    const int grownFds = openDescriptors() - firstFds;
    std::printf("growth from round 1 to %d: VmRSS %+ld KiB, heap in use %+ld KiB, open fds %+d\n",
        rounds, grownRss, grownHeap, grownFds);
    return grownFds > 0 || grownHeap > 64 || grownRss > 4096 ? 1 : 0;
}
