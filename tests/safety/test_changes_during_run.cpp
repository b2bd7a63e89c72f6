// The disk changes between the scan and the run, or while the run goes on:
// a listed file vanishes or can no longer be read, the output folder goes
// away, a file of the rename's new name appears. The batch stops at that
// entry with a message; the user's files stay byte for byte; archives made
// before are complete; nothing is left under the failing archive's name.

#include "safety_support.h"
#include "selection/file_scan.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace sheaf;
using namespace sheaf::test;

namespace {

// Three folders, one file each; returns the list as the scan gives it.
CandidateList scannedBatch(const QString &data, QMap<QString, QByteArray> &contents)
{
    const QStringList names {"f1/a.TXT", "f2/b.TXT", "f3/c.TXT"};
    for (int i = 0; i < names.size(); ++i) {
        const QByteArray bytes = randomBytes(50000 + i, 70 + i);
        writeFile(data + u'/' + names[i], bytes);
        contents[QFileInfo(names[i]).fileName()] = bytes;
    }
    CandidateList list;
    FileScan(data, 1, QStringLiteral(".TXT"), list);
    return list;
}

} // namespace

class TestChangesDuringRun : public QObject
{
    Q_OBJECT
private slots:
    void listedFileGoneBeforeItsTurn_data();
    void listedFileGoneBeforeItsTurn();
    void outputFolderGoneDuringRun_data();
    void outputFolderGoneDuringRun();
    void renameTargetAppearsAfterChecks_data();
    void renameTargetAppearsAfterChecks();
};

void TestChangesDuringRun::listedFileGoneBeforeItsTurn_data()
{
    QTest::addColumn<int>("archiver");
    QTest::addColumn<QString>("how");
    for (ArchiverKind a : {ArchiverKind::Lzh, ArchiverKind::Zip, ArchiverKind::Cab}) {
        const char *name = a == ArchiverKind::Lzh ? "lzh" : a == ArchiverKind::Zip ? "zip" : "cab";
        for (const char *how : {"removed", "replaced by a folder", "replaced by a dangling link",
                 "replaced by a named pipe", "no read permission"})
            QTest::addRow("%s: %s", name, how) << int(a) << QString::fromLatin1(how);
    }
}

void TestChangesDuringRun::listedFileGoneBeforeItsTurn()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(int, archiver);
    QFETCH(QString, how);
    const ArchiverKind a = ArchiverKind(archiver);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    QMap<QString, QByteArray> contents;
    CandidateList list = scannedBatch(data, contents);
    QCOMPARE(list.FileCount, 3);

    // Entry 2 changes after the scan. A named pipe would block a reader that
    // opened it; as root, permissions stop no reader, so that row needs a user.
    const QString victim = list.fullPath(2);
    QVERIFY(QFile::remove(victim));
    if (how == QLatin1String("replaced by a folder")) {
        QVERIFY(QDir().mkpath(victim));
    } else if (how == QLatin1String("replaced by a dangling link")) {
        QVERIFY(QFile::link(tmp.filePath("nowhere"), victim));
    } else if (how == QLatin1String("replaced by a named pipe")) {
        QCOMPARE(::mkfifo(QFile::encodeName(victim).constData(), 0644), 0);
    } else if (how == QLatin1String("no read permission")) {
        if (::geteuid() == 0)
            QSKIP("root reads any file; the folder, link and pipe rows stand in for it");
        writeFile(victim, "private");
        QVERIFY(QFile::setPermissions(victim, QFileDevice::WriteOwner));
    }
    const auto sourcesBefore = hashTree(data);

    RunRecorder rec;
    QCOMPARE(runArchive(list, runSettings(a, out), rec), ArchiveRunOutcome::Stopped);
    QFile::setPermissions(victim, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    QCOMPARE(rec.failures.size(), 1);
    QVERIFY2(rec.failures[0].startsWith(engineFailure()), qPrintable(rec.failures[0]));
    SHEAF_NO_DIFFERENCES(treeDifferences(sourcesBefore, hashTree(data)));
    const QString first = QFileInfo(list.FileName[1]).completeBaseName() + archiveExtension(a);
    QCOMPARE(rec.made, QStringList {out + u'/' + first});
    QCOMPARE(listTree(out), QStringList {first});
    SHEAF_NO_DIFFERENCES(extractAndCompare(out + u'/' + first,
        QMap<QString, QByteArray> {{list.FileName[1], contents[list.FileName[1]]}},
        tmp.filePath("x")));
}

void TestChangesDuringRun::outputFolderGoneDuringRun_data()
{
    QTest::addColumn<int>("archiver");
    QTest::addColumn<QString>("how");
    for (ArchiverKind a : {ArchiverKind::Lzh, ArchiverKind::Zip, ArchiverKind::Cab}) {
        const char *name = a == ArchiverKind::Lzh ? "lzh" : a == ArchiverKind::Zip ? "zip" : "cab";
        for (const char *how : {"removed", "replaced by a file", "made read-only"})
            QTest::addRow("%s: %s", name, how) << int(a) << QString::fromLatin1(how);
    }
}

void TestChangesDuringRun::outputFolderGoneDuringRun()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(int, archiver);
    QFETCH(QString, how);
    const ArchiverKind a = ArchiverKind(archiver);
    if (how == QLatin1String("made read-only") && ::geteuid() == 0)
        QSKIP("root writes into a read-only folder; removal and a file in its place stand in");
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    QMap<QString, QByteArray> contents;
    CandidateList list = scannedBatch(data, contents);
    const auto sourcesBefore = hashTree(data);

    // Once the first archive is made, the output folder goes; the first
    // archive is kept aside to be checked (it went with the folder).
    const QString kept = tmp.filePath("kept") + archiveExtension(a);
    RunRecorder rec;
    rec.afterArchive = [&](const QString &archive) {
        if (rec.made.size() != 1)
            return;
        QVERIFY(QFile::copy(archive, kept));
        if (how == QLatin1String("made read-only")) {
            QVERIFY(QFile::setPermissions(out, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            return;
        }
        QVERIFY(QDir(out).removeRecursively());
        if (how == QLatin1String("replaced by a file"))
            writeFile(out, "a file where the folder was");
    };
    QCOMPARE(runArchive(list, runSettings(a, out), rec), ArchiveRunOutcome::Stopped);
    QFile::setPermissions(
        out, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QCOMPARE(rec.made.size(), 1);
    QCOMPARE(rec.failures.size(), 1);
    QVERIFY2(rec.failures[0].startsWith(engineFailure()), qPrintable(rec.failures[0]));
    SHEAF_NO_DIFFERENCES(treeDifferences(sourcesBefore, hashTree(data)));
    if (how == QLatin1String("removed"))
        QVERIFY(!QFileInfo::exists(out));
    else if (how == QLatin1String("replaced by a file"))
        QCOMPARE(readFile(out), QByteArray("a file where the folder was"));
    else
        QCOMPARE(listTree(out), QStringList {QFileInfo(rec.made[0]).fileName()});
    // Nothing was written anywhere else instead (beside the files, say).
    QCOMPARE(listTree(data).filter(QRegularExpression("\\.(lzh|zip|cab)$")), QStringList());
    SHEAF_NO_DIFFERENCES(extractAndCompare(kept,
        QMap<QString, QByteArray> {{list.FileName[1], contents[list.FileName[1]]}},
        tmp.filePath("x")));
}

void TestChangesDuringRun::renameTargetAppearsAfterChecks_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("a file") << "file";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a dangling symbolic link") << "dangling link";
    QTest::newRow("a symbolic link to the file itself") << "link to itself";
}

void TestChangesDuringRun::renameTargetAppearsAfterChecks()
{
    SHEAF_REQUIRE_TOOL("unar");
    QFETCH(QString, what);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    QMap<QString, QByteArray> contents;
    CandidateList list = scannedBatch(data, contents);
    const QString firstDir = list.FileDir[1], firstName = list.FileName[1];
    const QString secondDir = list.FileDir[2], secondName = list.FileName[2];
    const QString folder1 = QDir(firstDir).dirName(), folder2 = QDir(secondDir).dirName();

    // The pre-run checks pass; when entry 2's turn comes, something of its
    // new name (the folder's name) has appeared beside it.
    const QString target = secondDir + folder2 + ".TXT";
    RunRecorder rec;
    rec.beforeEntry = [&](int k) {
        if (k != 2)
            return;
        if (what == QLatin1String("file"))
            writeFile(target, "someone else's file");
        else if (what == QLatin1String("folder"))
            QDir().mkpath(target);
        else if (what == QLatin1String("dangling link"))
            QFile::link(tmp.filePath("nowhere"), target);
        else
            QFile::link(secondName, target);
    };
    const auto before = hashTree(data);
    QCOMPARE(runArchive(list, runSettings(ArchiverKind::Lzh, out, true), rec),
        ArchiveRunOutcome::Stopped);

    QCOMPARE(rec.failures.size(), 1);
    QVERIFY2(
        rec.failures[0].startsWith(QStringLiteral("kwSheaf|同じ名前のファイルが既に有ります。")),
        qPrintable(rec.failures[0]));
    // Only entry 1 was renamed; entry 2 and what appeared stay as they are.
    auto expected = before;
    expected.remove(folder1 + u'/' + firstName);
    expected[folder1 + u'/' + folder1 + ".TXT"] = before.value(folder1 + u'/' + firstName);
    auto after = hashTree(data);
    const QString targetKey = folder2 + u'/' + folder2 + ".TXT";
    QVERIFY2(after.contains(targetKey), "what appeared is gone");
    after.remove(targetKey);
    SHEAF_NO_DIFFERENCES(treeDifferences(expected, after));
    QCOMPARE(QFileInfo(target).isSymLink(), what.contains(QLatin1String("link")));
    QCOMPARE(list.FileName[2], secondName);
    QCOMPARE(listTree(out), QStringList {folder1 + ".lzh"});
    SHEAF_NO_DIFFERENCES(extractAndCompare(out + u'/' + folder1 + ".lzh",
        QMap<QString, QByteArray> {{folder1 + ".TXT", contents[firstName]}}, tmp.filePath("x")));
}

QTEST_GUILESS_MAIN(TestChangesDuringRun)
#include "test_changes_during_run.moc"
