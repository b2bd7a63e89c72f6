// sheaf-batch is killed (SIGKILL: no handler runs) in the middle of an
// archive. Afterwards no partial archive stands under the final name, the
// older archive of that name is as it was, the user's files are byte for
// byte as before, and at most the engine's hidden temporary entries are
// left (an add's temporary file and lock file, a CAB add's scratch folder; a
// new archive is written into a file without a name and leaves nothing),
// which the next run of that archive removes: it completes, its archive
// holds exactly the user's files, and nothing hidden stays beside it.

#include "support/oracles.h"
#include "support/run_recorder.h"
#include "support/temp_tree.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/stat.h>

using namespace sheaf::test;

namespace {

// The engine's temporary entries in `folder` (files or scratch folders).
QStringList temporaries(const QString &folder)
{
    QStringList names;
    for (const QString &name : namesIn(folder))
        if (isEngineTemporary(name))
            names << name;
    return names;
}

// The largest file that process `pid` holds open in `folder`, named or not.
qint64 bytesWritten(const QString &folder, qint64 pid)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    const QString prefix = QFileInfo(folder).canonicalFilePath() + u'/';
    qint64 most = 0;
    for (const QString &fd :
        QDir(fds).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        struct stat st;
        const QString link = fds + u'/' + fd;
        if (QFile::symLinkTarget(link).startsWith(prefix)
            && ::stat(QFile::encodeName(link).constData(), &st) == 0)
            most = qMax(most, qint64(st.st_size));
    }
    return most;
}

} // namespace

class TestKilledRun : public QObject
{
    Q_OBJECT
private slots:
    void killedMidArchive_data();
    void killedMidArchive();
};

void TestKilledRun::killedMidArchive_data()
{
    QTest::addColumn<QString>("archiver");
    QTest::addColumn<bool>(
        "beside"); // -t without -o: the archive (and its temporary) in the folder it holds
    QTest::addColumn<bool>("older");
    QTest::newRow("lzh, output folder, older archive") << "lzh" << false << true;
    QTest::newRow("lzh, output folder, no older archive") << "lzh" << false << false;
    QTest::newRow("zip, output folder, older archive") << "zip" << false << true;
    QTest::newRow("cab add, output folder, older archive") << "cab" << false << true;
    QTest::newRow("lzh, whole folder beside its files, older archive") << "lzh" << true << true;
    QTest::newRow("zip, whole folder beside its files, older archive") << "zip" << true << true;
}

void TestKilledRun::killedMidArchive()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(QString, archiver);
    QFETCH(bool, beside);
    QFETCH(bool, older);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = beside ? data : tmp.filePath("out");
    QDir().mkpath(out);
    const QString archive = out + "/big." + archiver;
    const QStringList args = beside ? QStringList {"-q", "-t", "-a", archiver, data}
                                    : QStringList {"-q", "-a", archiver, "-o", out, data};

    writeFile(data + "/note.dat", "not selected, but in the whole-folder archive\n");
    QByteArray olderArchive;
    if (older) {
        writeFile(data + "/big.TXT", "the older version\n");
        const ToolResult made = runTool(sheafBatch(), args);
        QCOMPARE(made.exitCode, 0);
        olderArchive = readFile(archive);
        QVERIFY(!olderArchive.isEmpty());
    }
    writeFile(data + "/big.TXT", randomLetters(96 * 1024 * 1024, 77));
    const auto sourcesBefore = hashTree(data);

    // Killed once its temporary file holds a few megabytes.
    QProcess p;
    p.start(sheafBatch(), args);
    QVERIFY(p.waitForStarted());
    QElapsedTimer waited;
    waited.start();
    while (bytesWritten(out, p.processId()) < 4 * 1024 * 1024 && p.state() == QProcess::Running
        && waited.elapsed() < 600000)
        QThread::msleep(2);
    QVERIFY2(p.state() == QProcess::Running, "the archive was finished before it could be killed");
    ::kill(pid_t(p.processId()), SIGKILL);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);

    // The older archive, untouched and complete, or nothing; beside it at
    // most the engine's temporary entries.
    const QStringList left = temporaries(out);
    QVERIFY(left.size() <= 3); // an add's temporary file and lock file, a CAB add's scratch folder
    if (!older)
        QCOMPARE(left, QStringList());
    if (older) {
        QCOMPARE(readFile(archive), olderArchive);
        const QString expected = tmp.filePath("older");
        writeFile(expected + "/big.TXT", "the older version\n");
        if (beside)
            writeFile(expected + "/note.dat", "not selected, but in the whole-folder archive\n");
        SHEAF_NO_DIFFERENCES(extractAndCompare(archive, expected, tmp.filePath("x")));
    } else {
        QVERIFY(!QFileInfo::exists(archive));
    }
    SHEAF_NO_DIFFERENCES(treeDifferences(sourcesBefore, hashTree(data, true)));
    if (!beside) {
        QStringList expectedOut = left;
        if (older)
            expectedOut << "big." + archiver;
        expectedOut.sort();
        QStringList got = namesIn(out);
        got.sort();
        QCOMPARE(got, expectedOut);
    }

    // The next run is not disturbed by what was left; its archive holds the
    // user's files and nothing of the temporary entries.
    writeFile(data + "/big.TXT", "the newest version\n");
    const ToolResult again = runTool(sheafBatch(), args);
    QVERIFY2(again.exitCode == 0, again.err.constData());
    const QString expected = tmp.filePath("newest");
    writeFile(expected + "/big.TXT", "the newest version\n");
    if (beside)
        writeFile(expected + "/note.dat", "not selected, but in the whole-folder archive\n");
    SHEAF_NO_DIFFERENCES(extractAndCompare(archive, expected, tmp.filePath("x")));
    QCOMPARE(temporaries(out), QStringList());
}

QTEST_GUILESS_MAIN(TestKilledRun)
#include "test_killed_run.moc"
