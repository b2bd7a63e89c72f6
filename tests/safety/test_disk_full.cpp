// The disk fills while a batch writes its archives: simulated in the
// engine's output layer (every write after a given number of bytes fails
// with ENOSPC), and for real on a 1 MiB tmpfs where one can be mounted. The batch stops; the user's
// files stay byte for byte; the archives made before the failure are complete, the one being
// written is absent or still the older archive of its name, and no temporary file is left behind.

#include "archiver/fault_injection.h"
#include "base/platform.h"
#include "selection/file_scan.h"
#include "support/command_lines.h"
#include "support/oracles.h"
#include "support/run_recorder.h"
#include "support/temp_tree.h"

#include <QTemporaryDir>
#include <QTest>

using namespace sheaf;
using namespace sheaf::test;
using sheaf::archiver::SyncStep;

class TestDiskFull : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        sheaf::archiver::injectWriteFailureAfter(-1);
        for (auto step : {SyncStep::File, SyncStep::Folder, SyncStep::FileSystem, SyncStep::Close})
            sheaf::archiver::injectSyncFailure(step, 0);
    }
    void diskFillsDuringBatch_data();
    void diskFillsDuringBatch();
    void writeBackFails_data();
    void writeBackFails();
    void realFullDisk_data();
    void realFullDisk();
};

void TestDiskFull::diskFillsDuringBatch_data()
{
    QTest::addColumn<ArchiverKind>("archiver");
    QTest::addColumn<bool>("olderArchives");
    QTest::addColumn<int>("failingEntry"); // 1..3
    QTest::addColumn<bool>("atOnce"); // the failing archive gets no byte at all
    forEachArchiver([](const char *name, ArchiverKind a) {
        for (bool older : {false, true}) {
            const char *o = older ? "older archives" : "no older archives";
            QTest::addRow("%s, %s: first archive, no byte", name, o) << a << older << 1 << true;
            QTest::addRow("%s, %s: second archive midway", name, o) << a << older << 2 << false;
            QTest::addRow("%s, %s: third archive midway", name, o) << a << older << 3 << false;
        }
    });
}

void TestDiskFull::diskFillsDuringBatch()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(ArchiverKind, archiver);
    QFETCH(bool, olderArchives);
    QFETCH(int, failingEntry);
    QFETCH(bool, atOnce);
    const QString ext = archiveExtension(archiver);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    const QStringList names {"f1/報告書.TXT", "f2/two.TXT", "f3/three.TXT"};

    // The older archives hold other bytes than the files hold now.
    QMap<QString, QByteArray> older; // file name -> its bytes in the older archive
    if (olderArchives) {
        for (const QString &n : names)
            writeFile(data + u'/' + n, "older version of " + n.toUtf8());
        CandidateList list;
        FileScan(data, 1, QStringLiteral(".TXT"), list);
        RunRecorder rec;
        QCOMPARE(runArchive(list, runSettings(archiver, out), rec), ArchiveRunOutcome::Done);
        for (const QString &n : names)
            older[QFileInfo(n).fileName()] = "older version of " + n.toUtf8();
    }
    // Random bytes hardly compress, so each archive is about as large as its file.
    QMap<QString, QByteArray> now;
    for (int i = 0; i < 3; ++i) {
        const QByteArray bytes = randomBytes(300 * 1024 + i * 1000, 40 + i);
        writeFile(data + u'/' + names[i], bytes);
        now[QFileInfo(names[i]).fileName()] = bytes;
    }
    CandidateList list;
    FileScan(data, 1, QStringLiteral(".TXT"), list);
    QCOMPARE(list.FileCount, 3);
    QStringList archives; // in the batch's order
    for (int k = 1; k <= 3; ++k)
        archives << out + u'/' + QFileInfo(list.FileName[k]).completeBaseName() + ext;
    QMap<QString, QByteArray> olderArchiveBytes;
    for (const QString &path : archives)
        if (olderArchives)
            olderArchiveBytes[path] = readFile(path);
    const auto sourcesBefore = hashTree(data);

    // The disk fills once the failing entry's turn comes: at once, or when
    // about half of its archive is written.
    const QString failingName = list.FileName[failingEntry];
    const qint64 budget = atOnce ? 0 : now[failingName].size() / 2;
    RunRecorder rec;
    rec.beforeEntry = [&](int k) {
        if (k == failingEntry)
            sheaf::archiver::injectWriteFailureAfter(budget);
    };
    QCOMPARE(runArchive(list, runSettings(archiver, out), rec), ArchiveRunOutcome::Stopped);
    sheaf::archiver::injectWriteFailureAfter(-1);

    QCOMPARE(rec.failures.size(), 1);
    QVERIFY2(rec.failures[0].startsWith(engineFailure()), qPrintable(rec.failures[0]));
    QCOMPARE(rec.made, archives.mid(0, failingEntry - 1));
    SHEAF_NO_DIFFERENCES(treeDifferences(sourcesBefore, hashTree(data)));

    // No temporary file or scratch folder is left in the output folder.
    QStringList expectedOut;
    for (int i = 0; i < 3; ++i)
        if (i < failingEntry - 1 || olderArchives)
            expectedOut << QFileInfo(archives[i]).fileName();
    expectedOut.sort();
    QCOMPARE(listTree(out), expectedOut);

    for (int i = 0; i < 3; ++i) {
        const QString member = list.FileName[i + 1];
        if (i < failingEntry - 1) {
            SHEAF_NO_DIFFERENCES(extractAndCompare(
                archives[i], QMap<QString, QByteArray> {{member, now[member]}}, tmp.filePath("x")));
        } else if (olderArchives) {
            QCOMPARE(readFile(archives[i]), olderArchiveBytes[archives[i]]);
            SHEAF_NO_DIFFERENCES(extractAndCompare(archives[i],
                QMap<QString, QByteArray> {{member, older[member]}}, tmp.filePath("x")));
        }
    }
}

void TestDiskFull::writeBackFails_data()
{
    // From entry 2 on, the disk's answer to a sync or a close is EIO.
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("olderArchives"); // each entry then adds to one
    QTest::addColumn<QString>("expected"); // notOnDisk, entry2, or done
    QTest::newRow("file system sync at the end: every new archive named")
        << int(SyncStep::FileSystem) << false << "notOnDisk";
    QTest::newRow("file system sync at the end: adds were synced each")
        << int(SyncStep::FileSystem) << true << "done";
    QTest::newRow("close of a new archive") << int(SyncStep::Close) << false << "entry2";
    QTest::newRow("close of an add") << int(SyncStep::Close) << true << "entry2";
    QTest::newRow("sync of an add") << int(SyncStep::File) << true << "entry2";
    QTest::newRow("sync of the folder after an add") << int(SyncStep::Folder) << true << "entry2";
}

void TestDiskFull::writeBackFails()
{
    // A batch says it is done only once its archives are on disk: a failed
    // sync or close stops it and names what it may concern.
    SHEAF_REQUIRE_READERS();
    QFETCH(int, step);
    QFETCH(bool, olderArchives);
    QFETCH(QString, expected);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    CandidateList list;
    for (const QString name : {"a", "b", "c"}) {
        writeFile(data + u'/' + name + "/" + name + ".TXT", "older " + name.toUtf8());
        list.append(data + u'/' + name + u'/', name + ".TXT");
    }
    if (olderArchives) {
        RunRecorder rec;
        QCOMPARE(
            runArchive(list, runSettings(ArchiverKind::Lzh, out), rec), ArchiveRunOutcome::Done);
    }
    for (const QString name : {"a", "b", "c"})
        writeFile(data + u'/' + name + "/" + name + ".TXT", randomBytes(40000, 7) + name.toUtf8());
    RunRecorder rec;
    rec.beforeEntry = [&](int k) {
        if (k == 2)
            sheaf::archiver::injectSyncFailure(SyncStep(step), EIO);
    };
    const ArchiveRunOutcome outcome = runArchive(list, runSettings(ArchiverKind::Lzh, out), rec);
    QCOMPARE(outcome, expected == "done" ? ArchiveRunOutcome::Done : ArchiveRunOutcome::Stopped);
    QStringList made {out + "/a.lzh", out + "/b.lzh", out + "/c.lzh"};
    if (expected == "entry2") {
        made = made.mid(0, 1);
        QCOMPARE(rec.failures.size(), 1);
        QVERIFY2(rec.failures[0].startsWith(engineFailure()), qPrintable(rec.failures[0]));
    } else if (expected == "notOnDisk") {
        QCOMPARE(rec.failures.size(), 1);
        for (const QString &archive : made)
            QVERIFY2(rec.failures[0].contains(archive), qPrintable(rec.failures[0]));
        QVERIFY2(rec.failures[0].endsWith(QString::fromStdString(sheaf::platform::errorText(EIO))),
            qPrintable(rec.failures[0]));
    } else {
        QCOMPARE(rec.failures, QStringList());
    }
    QCOMPARE(rec.made, made);
    // What the disk kept is read back as it says: a new archive's bytes, or
    // the older archive where the failing add's rename never came.
    for (const QString name : {"a", "b", "c"}) {
        const QString archive = out + u'/' + name + ".lzh";
        const bool isNew = made.contains(archive)
            || (name == "b"
                && step == int(SyncStep::Folder)); // renamed, then the folder sync failed
        if (!isNew && !olderArchives) {
            QVERIFY(!QFileInfo::exists(archive));
            continue;
        }
        const QByteArray bytes
            = isNew ? randomBytes(40000, 7) + name.toUtf8() : "older " + name.toUtf8();
        SHEAF_NO_DIFFERENCES(extractAndCompare(
            archive, QMap<QString, QByteArray> {{name + ".TXT", bytes}}, tmp.filePath("x")));
    }
}

void TestDiskFull::realFullDisk_data()
{
    addArchiverRows();
}

void TestDiskFull::realFullDisk()
{
    // The same on a real file system that fills: a 1 MiB tmpfs as the output
    // folder, where one can be mounted (root with CAP_SYS_ADMIN).
    SHEAF_REQUIRE_READERS();
    QFETCH(ArchiverKind, archiver);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("small disk");
    QDir().mkpath(out);
    if (runTool("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", out}).exitCode != 0)
        QSKIP("no tmpfs can be mounted here; the injected rows cover a full disk");
    struct Unmount
    {
        QString at;
        ~Unmount() { runTool("umount", {at}); }
    } unmount {out};

    // The older archive of big.TXT fits; its new version does not.
    const QString ext = archiveExtension(archiver);
    writeFile(data + "/f2/big.TXT", "the older version\n");
    {
        CandidateList first;
        first.append(data + "/f2/", QStringLiteral("big.TXT"));
        RunRecorder rec;
        QCOMPARE(runArchive(first, runSettings(archiver, out), rec), ArchiveRunOutcome::Done);
    }
    const QByteArray olderBytes = readFile(out + "/big" + ext);
    writeFile(data + "/f1/small.TXT", "fits on the small disk\n");
    writeFile(data + "/f2/big.TXT", randomBytes(3 * 1024 * 1024, 90));
    CandidateList list;
    FileScan(data, 1, QStringLiteral(".TXT"), list);
    QCOMPARE(list.FileCount, 2);
    const bool smallFirst = list.FileName[1] == QLatin1String("small.TXT");
    const auto sourcesBefore = hashTree(data);

    RunRecorder rec;
    QCOMPARE(runArchive(list, runSettings(archiver, out), rec), ArchiveRunOutcome::Stopped);
    QCOMPARE(rec.failures.size(), 1);
    QVERIFY2(rec.failures[0].startsWith(engineFailure()), qPrintable(rec.failures[0]));
    SHEAF_NO_DIFFERENCES(treeDifferences(sourcesBefore, hashTree(data)));
    // Nothing of the archive that did not fit, not even its temporary file.
    QStringList expectedOut {"big" + ext};
    if (smallFirst)
        expectedOut.prepend("small" + ext);
    expectedOut.sort();
    QCOMPARE(listTree(out), expectedOut);
    QCOMPARE(readFile(out + "/big" + ext), olderBytes);
    SHEAF_NO_DIFFERENCES(extractAndCompare(out + "/big" + ext,
        QMap<QString, QByteArray> {{"big.TXT", "the older version\n"}}, tmp.filePath("x")));
    if (smallFirst)
        SHEAF_NO_DIFFERENCES(extractAndCompare(out + "/small" + ext,
            QMap<QString, QByteArray> {{"small.TXT", "fits on the small disk\n"}},
            tmp.filePath("x")));
}

QTEST_GUILESS_MAIN(TestDiskFull)
#include "test_disk_full.moc"
