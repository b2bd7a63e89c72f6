// The disk changes between the scan and the run, or while the run goes on:
// a listed file vanishes or can no longer be read, the output folder goes
// away, a file of the rename's new name appears. The batch stops at that
// entry with a message; the user's files stay byte for byte; archives made
// before are complete; nothing is left under the failing archive's name.

#include "archiver/engine.h"
#include "archiver/fault_injection.h"
#include "selection/file_scan.h"
#include "selection/name_text.h"
#include "support/command_lines.h"
#include "support/oracles.h"
#include "support/run_recorder.h"
#include "support/temp_tree.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

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
    void rollbackSparesAnotherRunsAdd_data();
    void rollbackSparesAnotherRunsAdd();
    void folderSwappedAfterScan_data();
    void folderSwappedAfterScan();
};

void TestChangesDuringRun::listedFileGoneBeforeItsTurn_data()
{
    QTest::addColumn<ArchiverKind>("archiver");
    QTest::addColumn<QString>("how");
    forEachArchiver([](const char *name, ArchiverKind a) {
        for (const char *how : {"removed", "replaced by a folder", "replaced by a dangling link",
                 "replaced by a named pipe", "no read permission"})
            QTest::addRow("%s: %s", name, how) << a << QString::fromLatin1(how);
    });
}

void TestChangesDuringRun::listedFileGoneBeforeItsTurn()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(ArchiverKind, archiver);
    QFETCH(QString, how);
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
    QCOMPARE(runArchive(list, runSettings(archiver, out), rec), ArchiveRunOutcome::Stopped);
    QFile::setPermissions(victim, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    QCOMPARE(rec.failures.size(), 1);
    QVERIFY2(rec.failures[0].startsWith(engineFailure()), qPrintable(rec.failures[0]));
    SHEAF_NO_DIFFERENCES(treeDifferences(sourcesBefore, hashTree(data)));
    const QString first
        = QFileInfo(list.FileName[1]).completeBaseName() + archiveExtension(archiver);
    QCOMPARE(rec.made, QStringList {out + u'/' + first});
    QCOMPARE(listTree(out), QStringList {first});
    SHEAF_NO_DIFFERENCES(extractAndCompare(out + u'/' + first,
        QMap<QString, QByteArray> {{list.FileName[1], contents[list.FileName[1]]}},
        tmp.filePath("x")));
}

void TestChangesDuringRun::outputFolderGoneDuringRun_data()
{
    QTest::addColumn<ArchiverKind>("archiver");
    QTest::addColumn<QString>("how");
    forEachArchiver([](const char *name, ArchiverKind a) {
        for (const char *how : {"removed", "replaced by a file", "made read-only"})
            QTest::addRow("%s: %s", name, how) << a << QString::fromLatin1(how);
    });
}

void TestChangesDuringRun::outputFolderGoneDuringRun()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(ArchiverKind, archiver);
    QFETCH(QString, how);
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
    const QString kept = tmp.filePath("kept") + archiveExtension(archiver);
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
    QCOMPARE(runArchive(list, runSettings(archiver, out), rec), ArchiveRunOutcome::Stopped);
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

void TestChangesDuringRun::rollbackSparesAnotherRunsAdd_data()
{
    // What happens beside entry 2 once its archive is made: another run adds
    // a member to it, or (with the name switch) a new file takes the name
    // entry 2's file had before the run renamed it.
    QTest::addColumn<bool>("renamed");
    QTest::newRow("another run adds to the archive") << false;
    QTest::newRow("a file takes the renamed file's old name") << true;
}

void TestChangesDuringRun::rollbackSparesAnotherRunsAdd()
{
    // Two workers. Entry 2's new archive is made while entry 1 still reads
    // its file; then entry 1 fails. The rollback takes back only what this
    // run made: an archive another run has added to stays with both
    // members; a file whose old name is taken keeps its new one, and the
    // failure says so.
    SHEAF_REQUIRE_TOOL("unar");
    QFETCH(bool, renamed);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    writeFile(tmp.filePath("other/extra.TXT"), "another run's member");
    QMap<QString, QByteArray> contents;
    CandidateList list = scannedBatch(data, contents);
    // With the name switch, entry 1's file is read under its folder's name.
    const QString first = renamed ? data + "/f1/f1.TXT" : list.fullPath(1);
    const QString second = out + (renamed ? "/f2.lzh" : "/b.lzh");
    const auto reset = qScopeGuard([] {
        archiver::setSourceReadHook({});
        archiver::injectWriteFailureAfter(-1);
    });
    bool failing = false;
    archiver::setSourceReadHook([&](const std::filesystem::path &file, uint64_t) {
        if (failing || nameFromPath(file) != first)
            return;
        failing = true;
        for (int i = 0; i < 6000 && !QFileInfo::exists(second); ++i)
            QThread::msleep(10);
        if (renamed) {
            writeFile(data + "/f2/b.TXT", "a new file of the old name");
        } else {
            const QByteArray line = "a -a1 -r0 \"" + second.toUtf8() + "\" \""
                + tmp.filePath("other/").toUtf8() + "\" \"extra.TXT\"";
            const auto added = archiver::runCommandLine(ArchiverKind::Lzh, line.toStdString());
            QVERIFY2(added.ok(), added.reason.c_str());
        }
        archiver::injectWriteFailureAfter(0); // entry 1 fails from here on
    });
    ArchiveRunSettings s = runSettings(ArchiverKind::Lzh, out);
    s.threads = 2;
    s.name = renamed;
    RunRecorder rec;
    QCOMPARE(runArchive(list, s, rec), ArchiveRunOutcome::Stopped);
    QCOMPARE(rec.failures.size(), 1);
    QVERIFY2(rec.failures[0].startsWith(engineFailure()), qPrintable(rec.failures[0]));
    if (renamed) {
        QVERIFY2(
            rec.failures[0].contains("元の名前に戻せませんでした: " + data + "/f2/f2.TXT → b.TXT"),
            qPrintable(rec.failures[0]));
        QCOMPARE(listTree(out), QStringList());
        QCOMPARE(readFile(data + "/f2/f2.TXT"), contents["b.TXT"]);
        QCOMPARE(readFile(data + "/f2/b.TXT"), QByteArray("a new file of the old name"));
        return;
    }
    QCOMPARE(listTree(out), QStringList {"b.lzh"});
    SHEAF_NO_DIFFERENCES(extractAndCompare(second,
        QMap<QString, QByteArray> {
            {"b.TXT", contents["b.TXT"]}, {"extra.TXT", "another run's member"}},
        tmp.filePath("x")));
}

void TestChangesDuringRun::folderSwappedAfterScan_data()
{
    // Which folder is swapped after the scan: the entry's ("p/f1"), one above
    // it ("p") or the selection folder itself (""); by a symbolic link to a
    // tree of the same shape that only root may read, or by another folder.
    // switches: n (name), t (together), o (output folder); "late": swapped
    // once the files are gathered, before the archive is written; "add": the
    // old archive the entry adds to, once looked at and before it is opened,
    // put back once the user's file is read.
    QTest::addColumn<QString>("swapped");
    QTest::addColumn<QString>("by");
    QTest::addColumn<QString>("switches");
    QTest::newRow("entry folder by a link, archive beside it") << "p/f1"
                                                               << "link"
                                                               << "";
    QTest::newRow("entry folder by a link, renamed after it") << "p/f1"
                                                              << "link"
                                                              << "n";
    QTest::newRow("entry folder by a link, whole folder") << "p/f1"
                                                          << "link"
                                                          << "t";
    QTest::newRow("entry folder by a link, output folder") << "p/f1"
                                                           << "link"
                                                           << "o";
    QTest::newRow("entry folder by another folder") << "p/f1"
                                                    << "folder"
                                                    << "n";
    QTest::newRow("a folder above it by a link") << "p"
                                                 << "link"
                                                 << "";
    QTest::newRow("the selection folder by a link") << ""
                                                    << "link"
                                                    << "t";
    QTest::newRow("late: written into the folder listed") << "p/f1"
                                                          << "link"
                                                          << "tn late";
    QTest::newRow("late: the old archive by a link") << "p/f1/a.lzh"
                                                     << "link"
                                                     << "add";
}

void TestChangesDuringRun::folderSwappedAfterScan()
{
    // As root over a user's tree: the run never follows the swap. It refuses
    // the entry (naming it) or, once under way, keeps to the folder it
    // opened; root's files are neither read, renamed nor written beside.
    SHEAF_REQUIRE_TOOL("unar");
    QFETCH(QString, swapped);
    QFETCH(QString, by);
    QFETCH(QString, switches);
    QTemporaryDir tmp;
    const QString sel = tmp.filePath("sel"), secret = tmp.filePath("secret");
    const QString out = tmp.filePath("out");
    QDir().mkpath(out);
    writeFile(sel + "/p/f1/a.TXT", "the user's file");
    writeFile(sel + "/p/f1/notes.dat", "the user's notes");
    writeFile(sel + "/p/f2/b.TXT", "another file");
    writeFile(secret + "/sel/p/f1/a.TXT", "root's secret");
    const bool add = switches == QLatin1String("add");
    for (const QString &root : {sel, secret + "/sel"})
        if (add)
            QVERIFY(archiver::runCommandLine(ArchiverKind::Lzh,
                oneFileLine(ArchiverKind::Lzh, root + "/p/f1/a.lzh", root + "/p/f1", "a.TXT")
                    .toStdString(),
                {})
                        .ok());
    QCOMPARE(::chmod(QFile::encodeName(secret), 0700), 0);
    QCOMPARE(::chmod(QFile::encodeName(secret + "/sel/p/f1/a.TXT"), 0600), 0);
    if (::geteuid() == 0)
        QCOMPARE(runTool("chown", {"-R", "65534:65534", sel}).exitCode, 0);
    CandidateList list;
    FileScan(sel, 1, QStringLiteral(".TXT"), list);
    QCOMPARE(list.FileCount, 2);
    const QString victim = sel + (swapped.isEmpty() ? QString() : u'/' + swapped);
    bool done = false;
    const auto swap = [&] {
        if (std::exchange(done, true))
            return;
        QVERIFY(QFile::rename(victim, victim + ".orig"));
        if (by == QLatin1String("folder")) {
            writeFile(victim + "/a.TXT", "planted");
            return;
        }
        const QByteArray link = QFile::encodeName(victim);
        QCOMPARE(::symlink(QFile::encodeName(secret + "/sel/" + swapped).constData(), link), 0);
        if (::geteuid() == 0)
            QCOMPARE(::lchown(link.constData(), 65534, 65534), 0); // the user's link
    };
    const bool late = switches.contains(QLatin1String("late"));
    if (add) {
        archiver::setBeforeReadingOldArchiveHook(swap);
        archiver::setSourceReadHook([&](const std::filesystem::path &file, uint64_t) {
            if (done && file.filename() == "a.TXT")
                ::rename(QFile::encodeName(victim + ".orig"), QFile::encodeName(victim));
        });
    } else if (late) {
        archiver::setAfterGatheringHook(swap);
    } else {
        swap();
    }
    const auto reset = qScopeGuard([] {
        archiver::setAfterGatheringHook({});
        archiver::setBeforeReadingOldArchiveHook({});
        archiver::setSourceReadHook({});
    });
    const auto secretBefore = hashTree(secret);

    RunRecorder rec;
    const ArchiveRunOutcome outcome = runArchive(list,
        runSettings(ArchiverKind::Lzh, switches.contains(u'o') ? out : QString(),
            switches.contains(u'n'), switches.contains(u't')),
        rec);
    SHEAF_NO_DIFFERENCES(treeDifferences(secretBefore, hashTree(secret)));
    QCOMPARE(listTree(out), QStringList());
    if (add) {
        // Root's archive is never read: the entry stops at the link.
        QCOMPARE(outcome, ArchiveRunOutcome::Stopped);
        QCOMPARE(rec.made, QStringList());
        QCOMPARE(QFileInfo(victim).symLinkTarget(), secret + "/sel/p/f1/a.lzh");
        return;
    }
    if (late) {
        // Under way, the run keeps to the folders it opened: the archive
        // went beside the user's file, in the folder listed (renamed since).
        QCOMPARE(outcome, ArchiveRunOutcome::Done);
        QCOMPARE(rec.made.size(), 2);
        SHEAF_NO_DIFFERENCES(extractAndCompare(sel + "/p/f1.orig/f1.lzh",
            QMap<QString, QByteArray> {
                {"f1.TXT", "the user's file"}, {"notes.dat", "the user's notes"}},
            tmp.filePath("x")));
        return;
    }
    QCOMPARE(outcome, ArchiveRunOutcome::Stopped);
    QCOMPARE(rec.made, QStringList());
    QCOMPARE(rec.failures,
        QStringList {QStringLiteral("kwSheaf|抽出した後にフォルダが移動、削除、または置き換えられま"
                                    "した。\r%1/p/f1/a.TXT\r処理できません！|")
                         .arg(sel)});
    const QString listed = victim + ".orig"
        + QStringLiteral("/p/f1").mid(swapped.isEmpty() ? 0 : swapped.size() + 1) + u'/';
    QCOMPARE(listTree(listed), (QStringList {"a.TXT", "notes.dat"}));
}

QTEST_GUILESS_MAIN(TestChangesDuringRun)
#include "test_changes_during_run.moc"
