// An archive counts only once it was read back and matched the files it was
// made from. A source changed while it is read (by the engine's read hook or
// by another process), an archive damaged on its way to the disk, an output
// folder moved away, a second writer of the same archive, an archive path
// that is a link: each run ends with the exit status and reason it should,
// the user's other files unchanged, and every archive on disk either
// complete (an independent reader extracts exactly the expected files) or
// the older archive, byte for byte.

#include "archiver/archive_error.h"
#include "archiver/archiver_facts.h"
#include "archiver/engine.h"
#include "archiver/fault_injection.h"
#include "safety_support.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace sheaf;
using namespace sheaf::test;
using archiver::ArchiverKind;
using archiver::ErrorCode;

namespace {

const archiver::ArchiverFacts &facts(int kind)
{
    return archiver::archiverFacts(ArchiverKind(kind));
}

void addFormatRows(const std::function<void(const char *, int)> &row)
{
    for (const auto &f : archiver::allArchivers())
        row(f.name.data(), int(f.kind));
}

// The line that puts `name` of `folder` into `archive` (adding to it when it exists).
QString oneFileLine(int kind, const QString &archive, const QString &folder, const QString &name)
{
    return QString::fromLatin1(facts(kind).oneFilePrefix) + '"' + archive + "\" \"" + folder
        + "/\" \"" + name + '"';
}

archiver::RunResult run(int kind, const QString &line, const archiver::RunOptions &options = {})
{
    return archiver::runCommandLine(ArchiverKind(kind), line.toStdString(), options);
}

// Compressible, so every encoder takes several blocks over it.
QByteArray letters(qsizetype size, int seed)
{
    QByteArray bytes = randomBytes(size, seed);
    for (char &c : bytes)
        c = char('a' + (uchar(c) & 15));
    return bytes;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

struct HookGuard
{
    ~HookGuard()
    {
        archiver::setSourceReadHook({});
        archiver::setAfterGatheringHook({});
        archiver::injectCorruptionAt(-1);
    }
};

} // namespace

class TestVerifiedCommit : public QObject
{
    Q_OBJECT
private slots:
    void sourceChangedWhileRead_data();
    void sourceChangedWhileRead();
    void damagedOnTheWayToDisk_data();
    void damagedOnTheWayToDisk();
    void sizeTheFileSystemGetsWrong_data();
    void sizeTheFileSystemGetsWrong();
    void outputFolderMovedDuringRun_data();
    void outputFolderMovedDuringRun();
    void twoWritersOfOneArchive_data();
    void twoWritersOfOneArchive();
    void lockHeldTooLong();
    void nameTakenWhileWritten_data();
    void nameTakenWhileWritten();
    void progressCountsEachByteOnce_data();
    void progressCountsEachByteOnce();
    void archiveFileKeepsWhatItWas_data();
    void archiveFileKeepsWhatItWas();
};

void TestVerifiedCommit::sourceChangedWhileRead_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("change");
    addFormatRows([](const char *name, int kind) {
        for (const char *change :
            {"cut short", "grown", "rewritten in place", "cut by another process"})
            QTest::addRow("%s: %s", name, change) << kind << QString::fromLatin1(change);
    });
}

void TestVerifiedCommit::sourceChangedWhileRead()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(int, kind);
    QFETCH(QString, change);
    HookGuard guard;
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    const QString archive = out + "/x" + QString::fromLatin1(facts(kind).extension);
    writeFile(data + "/old.txt", "the older member\n");
    QVERIFY(run(kind, oneFileLine(kind, archive, data, "old.txt")).ok());
    SHEAF_NO_DIFFERENCES(extractAndCompare(
        archive, QMap<QString, QByteArray> {{"old.txt", "the older member\n"}}, tmp.filePath("x")));
    const QByteArray older = readFile(archive);
    const QString big = data + "/big.bin";
    writeFile(big, letters(3 << 20, 5));
    const auto othersBefore = hashTree(data);

    bool changed = false;
    archiver::setSourceReadHook([&](const std::filesystem::path &file, uint64_t offset) {
        if (changed || file.filename() != "big.bin" || offset < (1u << 20))
            return;
        changed = true;
        const QByteArray path = QFile::encodeName(big);
        if (change == QLatin1String("cut short")) {
            QCOMPARE(::truncate(path.constData(), 1000), 0);
        } else if (change == QLatin1String("grown")) {
            QFile f(big);
            QVERIFY(f.open(QIODevice::Append));
            f.write(QByteArray(5000, 'z'));
        } else if (change == QLatin1String("rewritten in place")) {
            QFile f(big);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.write(QByteArray(10, 'Z'));
        } else {
            QCOMPARE(QProcess::execute("truncate", {"-s", "1000", big}), 0);
        }
    });
    const archiver::RunResult r = run(kind, oneFileLine(kind, archive, data, "big.bin"));
    QVERIFY(changed);
    QCOMPARE(r.code, ErrorCode::ReadFailed);
    QVERIFY2(QString::fromStdString(r.reason).contains(QStringLiteral("読み込み中にファイル"))
            && QString::fromStdString(r.reason).contains(big),
        r.reason.c_str());
    QCOMPARE(readFile(archive), older);
    QCOMPARE(entriesOf(out), QStringList {"x" + QString::fromLatin1(facts(kind).extension)});
    auto othersAfter = hashTree(data);
    othersAfter.remove("big.bin");
    auto expected = othersBefore;
    expected.remove("big.bin");
    SHEAF_NO_DIFFERENCES(treeDifferences(expected, othersAfter));
}

void TestVerifiedCommit::damagedOnTheWayToDisk_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("add");
    addFormatRows([](const char *name, int kind) {
        QTest::addRow("%s: new", name) << kind << false;
        QTest::addRow("%s: add", name) << kind << true;
    });
}

// Every byte of a small archive flipped in turn between the writer and the
// disk: each run fails, and the archive of that name stays what it was.
void TestVerifiedCommit::damagedOnTheWayToDisk()
{
    QFETCH(int, kind);
    QFETCH(bool, add);
    SHEAF_REQUIRE_READERS();
    HookGuard guard;
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    const QString extension = QString::fromLatin1(facts(kind).extension);
    const QString archive = out + "/x" + extension, clean = tmp.filePath("clean") + extension;
    writeFile(data + "/old.txt", "kept from before\n");
    writeFile(data + "/a.txt", letters(300, 9));
    if (add)
        QVERIFY(run(kind, oneFileLine(kind, archive, data, "old.txt")).ok());
    const QByteArray older = add ? readFile(archive) : QByteArray();
    if (add)
        QVERIFY(QFile::copy(archive, clean));
    QVERIFY(run(kind, oneFileLine(kind, clean, data, "a.txt")).ok());
    const qsizetype size = readFile(clean).size();
    QMap<QString, QByteArray> expected {{"a.txt", readFile(data + "/a.txt")}};
    if (add)
        expected.insert("old.txt", "kept from before\n");
    SHEAF_NO_DIFFERENCES(extractAndCompare(clean, expected, tmp.filePath("x")));

    for (qsizetype at = 0; at < size; ++at) {
        archiver::injectCorruptionAt(at);
        const archiver::RunResult r = run(kind, oneFileLine(kind, archive, data, "a.txt"));
        QVERIFY2(r.code == ErrorCode::VerifyFailed,
            qPrintable(QStringLiteral("offset %1: %2").arg(at).arg(r.reason.c_str())));
        QVERIFY2(QString::fromStdString(r.reason).contains(archive), r.reason.c_str());
        QCOMPARE(QFileInfo::exists(archive), add);
        QCOMPARE(readFile(archive), older);
        QCOMPARE(entriesOf(out), add ? QStringList {"x" + extension} : QStringList {});
    }
}

void TestVerifiedCommit::sizeTheFileSystemGetsWrong_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name"); // "*.*": the whole folder
    addFormatRows([](const char *format, int kind) {
        QTest::addRow("%s: /proc file", format) << kind << "/proc/self"
                                                << "limits";
        QTest::addRow("%s: /sys file", format) << kind << "/sys/devices/system/cpu"
                                               << "possible";
        QTest::addRow("%s: /proc folder", format) << kind << "/proc/sys/fs/mqueue"
                                                  << "*.*";
    });
}

void TestVerifiedCommit::sizeTheFileSystemGetsWrong()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(int, kind);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    const bool whole = name == QLatin1String("*.*");
    if (!QFileInfo::exists(folder + (whole ? QString() : u'/' + name)))
        QSKIP("not on this system");
    QTemporaryDir tmp;
    const QString archive = tmp.filePath("x") + QString::fromLatin1(facts(kind).extension);
    QMap<QString, QByteArray> expected;
    for (const QString &file : whole ? QDir(folder).entryList(QDir::Files) : QStringList {name}) {
        QFile f(folder + u'/' + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        expected[file] = f.readAll();
        QVERIFY(QFileInfo(f).size() != expected[file].size()); // the size does lie
    }
    const QString prefix
        = QString::fromLatin1(whole ? facts(kind).wholeFolderPrefix : facts(kind).oneFilePrefix);
    const archiver::RunResult r
        = run(kind, prefix + '"' + archive + "\" \"" + folder + "/\" \"" + name + '"');
    QVERIFY2(r.ok(), r.reason.c_str());
    SHEAF_NO_DIFFERENCES(extractAndCompare(archive, expected, tmp.filePath("x")));
}

void TestVerifiedCommit::outputFolderMovedDuringRun_data()
{
    QTest::addColumn<int>("kind");
    addFormatRows([](const char *name, int kind) { QTest::newRow(name) << kind; });
}

void TestVerifiedCommit::outputFolderMovedDuringRun()
{
    QFETCH(int, kind);
    HookGuard guard;
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out"),
                  moved = tmp.filePath("moved");
    QDir().mkpath(out);
    writeFile(data + "/a.bin", letters(2 << 20, 3));
    const auto sourcesBefore = hashTree(data);
    bool renamed = false;
    archiver::setSourceReadHook([&](const std::filesystem::path &, uint64_t offset) {
        if (!renamed && offset > 0)
            renamed = QDir().rename(out, moved);
    });
    const archiver::RunResult r = run(kind,
        oneFileLine(kind, out + "/x" + QString::fromLatin1(facts(kind).extension), data, "a.bin"));
    QVERIFY(renamed);
    QCOMPARE(r.code, ErrorCode::WriteFailed);
    QVERIFY2(QString::fromStdString(r.reason).contains(QStringLiteral("移動または削除されました")),
        r.reason.c_str());
    QCOMPARE(entriesOf(moved), QStringList());
    QVERIFY(!QFileInfo::exists(out));
    SHEAF_NO_DIFFERENCES(treeDifferences(sourcesBefore, hashTree(data)));
}

void TestVerifiedCommit::twoWritersOfOneArchive_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("processes"); // else two threads of this process
    addFormatRows([](const char *name, int kind) {
        QTest::addRow("%s: two processes", name) << kind << true;
        QTest::addRow("%s: two threads", name) << kind << false;
    });
}

void TestVerifiedCommit::twoWritersOfOneArchive()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(int, kind);
    QFETCH(bool, processes);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    const QString archive = out + "/x" + QString::fromLatin1(facts(kind).extension);
    QMap<QString, QByteArray> expected {
        {"a.bin", letters(4 << 20, 1)}, {"b.bin", letters(4 << 20, 2)}};
    for (auto it = expected.begin(); it != expected.end(); ++it)
        writeFile(data + u'/' + it.key(), it.value());

    if (processes) {
        QProcess first, second;
        for (auto [p, name] : {std::pair {&first, "a.bin"}, std::pair {&second, "b.bin"}}) {
            QStringList args
                = QString::fromLatin1(facts(kind).oneFilePrefix).split(u' ', Qt::SkipEmptyParts);
            args.prepend(QString::fromLatin1(facts(kind).name));
            args << archive << data + u'/' << QString::fromLatin1(name);
            p->start(sheafArc(), args);
        }
        for (QProcess *p : {&first, &second}) {
            QVERIFY(p->waitForFinished(300000));
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }
    } else {
        archiver::RunResult a, b;
        std::thread t1([&] { a = run(kind, oneFileLine(kind, archive, data, "a.bin")); });
        std::thread t2([&] { b = run(kind, oneFileLine(kind, archive, data, "b.bin")); });
        t1.join();
        t2.join();
        QVERIFY2(a.ok(), a.reason.c_str());
        QVERIFY2(b.ok(), b.reason.c_str());
    }
    QCOMPARE(entriesOf(out), QStringList {"x" + QString::fromLatin1(facts(kind).extension)});
    SHEAF_NO_DIFFERENCES(extractAndCompare(archive, expected, tmp.filePath("x")));
}

void TestVerifiedCommit::lockHeldTooLong()
{
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    writeFile(data + "/a.txt", "a");
    const int kind = int(ArchiverKind::Lzh);
    // The lock guards an add; a new archive needs none.
    QVERIFY(run(kind, oneFileLine(kind, out + "/x.lzh", data, "a.txt")).ok());
    const QByteArray older = readFile(out + "/x.lzh");
    writeFile(data + "/b.txt", "b");
    const int held = ::open(QFile::encodeName(out + "/.x.lzh.sheaf-tmp-lock").constData(),
        O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    QVERIFY(held >= 0);
    QCOMPARE(::flock(held, LOCK_EX), 0);
    archiver::RunOptions options;
    options.lockWaitMs = 300;
    const auto openFiles = [] {
        return QDir(QStringLiteral("/proc/self/fd"))
            .entryList(QDir::AllEntries | QDir::System)
            .size();
    };
    const qsizetype filesBefore = openFiles();
    const archiver::RunResult r
        = run(kind, oneFileLine(kind, out + "/x.lzh", data, "b.txt"), options);
    QCOMPARE(openFiles(), filesBefore); // nothing kept open by the failed run
    ::close(held);
    QCOMPARE(r.code, ErrorCode::WriteFailed);
    QVERIFY2(QString::fromStdString(r.reason).contains(QStringLiteral("待ちきれません")),
        r.reason.c_str());
    QCOMPARE(readFile(out + "/x.lzh"), older);
    // Once it is free, the next run adds and cleans the lock file up.
    QVERIFY(run(kind, oneFileLine(kind, out + "/x.lzh", data, "b.txt")).ok());
    QCOMPARE(entriesOf(out), QStringList {"x.lzh"});
    SHEAF_NO_DIFFERENCES(extractAndCompare(out + "/x.lzh", data, tmp.filePath("x")));
}

void TestVerifiedCommit::nameTakenWhileWritten_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("byAnotherRun"); // else a file that is no archive
    addFormatRows([](const char *name, int kind) {
        QTest::addRow("%s: another run's archive", name) << kind << true;
        QTest::addRow("%s: someone's file", name) << kind << false;
    });
}

// A new archive is named only if its name is still free: what appeared there
// meanwhile is added to, or left alone and the run fails; never replaced.
void TestVerifiedCommit::nameTakenWhileWritten()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(int, kind);
    QFETCH(bool, byAnotherRun);
    HookGuard guard;
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QDir().mkpath(out);
    const QString archive = out + "/x" + QString::fromLatin1(facts(kind).extension);
    writeFile(data + "/a.txt", "mine\n");
    writeFile(data + "/b.txt", "the other run's\n");
    bool taken = false;
    archiver::setAfterGatheringHook([&] {
        if (taken)
            return;
        taken = true;
        if (byAnotherRun)
            QVERIFY(run(kind, oneFileLine(kind, archive, data, "b.txt")).ok());
        else
            writeFile(archive, "someone's notes\n");
    });
    const archiver::RunResult r = run(kind, oneFileLine(kind, archive, data, "a.txt"));
    QVERIFY(taken);
    QCOMPARE(entriesOf(out), QStringList {"x" + QString::fromLatin1(facts(kind).extension)});
    if (byAnotherRun) {
        QVERIFY2(r.ok(), r.reason.c_str());
        SHEAF_NO_DIFFERENCES(extractAndCompare(archive,
            QMap<QString, QByteArray> {{"a.txt", "mine\n"}, {"b.txt", "the other run's\n"}},
            tmp.filePath("x")));
    } else {
        QCOMPARE(r.code, ErrorCode::NotAnArchive);
        QCOMPARE(readFile(archive), QByteArray("someone's notes\n"));
    }
}

void TestVerifiedCommit::progressCountsEachByteOnce_data()
{
    QTest::addColumn<int>("kind");
    addFormatRows([](const char *name, int kind) { QTest::newRow(name) << kind; });
}

void TestVerifiedCommit::progressCountsEachByteOnce()
{
    QFETCH(int, kind);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data");
    // Random bytes make the ZIP writer read the file twice before storing it.
    writeFile(data + "/sub/random.bin", randomBytes(1 << 20, 4));
    writeFile(data + "/sub/text.txt", letters(1 << 20, 8));
    QList<std::pair<uint64_t, uint64_t>> calls;
    archiver::RunOptions options;
    options.progress = [&](uint64_t done, uint64_t total) {
        calls.append({done, total});
    };
    const QString line = QString::fromLatin1(facts(kind).wholeFolderPrefix) + '"'
        + tmp.filePath("x") + QString::fromLatin1(facts(kind).extension) + "\" \"" + data
        + "/\" \"*.*\"";
    QVERIFY(run(kind, line, options).ok());
    QVERIFY(!calls.isEmpty());
    QCOMPARE(calls.last(), (std::pair<uint64_t, uint64_t> {2 << 20, 2 << 20}));
    for (qsizetype i = 1; i < calls.size(); ++i)
        QVERIFY(calls[i].first > calls[i - 1].first);
    QVERIFY(calls.size() <= 9); // about one call per 256 KiB
}

void TestVerifiedCommit::archiveFileKeepsWhatItWas_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("what");
    addFormatRows([](const char *name, int kind) {
        for (const char *what : {"mode 0600", "link to a file", "another user's link",
                 "link to a folder", "dangling link"})
            QTest::addRow("%s: %s", name, what) << kind << QString::fromLatin1(what);
    });
}

void TestVerifiedCommit::archiveFileKeepsWhatItWas()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(int, kind);
    QFETCH(QString, what);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out"),
                  real = tmp.filePath("real");
    QDir().mkpath(out);
    QDir().mkpath(real);
    const QString ext = QString::fromLatin1(facts(kind).extension);
    const QString archive = out + "/x" + ext, target = real + "/x" + ext;
    writeFile(data + "/a.txt", "first\n");
    writeFile(data + "/b.txt", "second\n");
    const QMap<QString, QByteArray> both {{"a.txt", "first\n"}, {"b.txt", "second\n"}};

    if (what == QLatin1String("mode 0600")) {
        QVERIFY(run(kind, oneFileLine(kind, archive, data, "a.txt")).ok());
        QCOMPARE(::chmod(QFile::encodeName(archive).constData(), 0600), 0);
        const archiver::RunResult r = run(kind, oneFileLine(kind, archive, data, "b.txt"));
        QVERIFY2(r.ok(), r.reason.c_str());
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(archive).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
        SHEAF_NO_DIFFERENCES(extractAndCompare(archive, both, tmp.filePath("x")));
        return;
    }
    if (what == QLatin1String("link to a file")) {
        QVERIFY(run(kind, oneFileLine(kind, target, data, "a.txt")).ok());
        QVERIFY(QFile::link(target, archive));
        const archiver::RunResult r = run(kind, oneFileLine(kind, archive, data, "b.txt"));
        QVERIFY2(r.ok(), r.reason.c_str());
        QCOMPARE(QFileInfo(archive).symLinkTarget(), target);
        QCOMPARE(entriesOf(out), QStringList {"x" + ext});
        QCOMPARE(entriesOf(real), QStringList {"x" + ext});
        SHEAF_NO_DIFFERENCES(extractAndCompare(target, both, tmp.filePath("x")));
        return;
    }
    if (what == QLatin1String("another user's link")) {
        QVERIFY(run(kind, oneFileLine(kind, target, data, "a.txt")).ok());
        const QByteArray older = readFile(target);
        if (::geteuid() != 0)
            QSKIP("a link owned by another user needs root to make");
        auto refused = [&](const QString &reason) {
            QVERIFY2(reason.contains(QStringLiteral("ほかのユーザーのシンボリックリンク"))
                    && reason.contains(archive),
                qPrintable(reason));
            QCOMPARE(QFileInfo(archive).symLinkTarget(), target);
            QCOMPARE(readFile(target), older);
            QCOMPARE(entriesOf(out), QStringList {"x" + ext});
            QCOMPARE(entriesOf(real), QStringList {"x" + ext});
        };
        // Root, over a link that nobody planted.
        QVERIFY(QFile::link(target, archive));
        QCOMPARE(::lchown(QFile::encodeName(archive).constData(), 65534, 65534), 0);
        const archiver::RunResult r = run(kind, oneFileLine(kind, archive, data, "b.txt"));
        QCOMPARE(r.code, ErrorCode::NotAnArchive);
        refused(QString::fromStdString(r.reason));
        // Nobody, over root's link to a file that nobody may write.
        QVERIFY(QFile::remove(archive));
        QVERIFY(QFile::link(target, archive));
        for (const QString &folder : {tmp.path(), data, out, real})
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0666), 0);
        QStringList args
            = QString::fromLatin1(facts(kind).oneFilePrefix).split(u' ', Qt::SkipEmptyParts);
        args.prepend(QString::fromLatin1(facts(kind).name));
        args << archive << data + u'/' << QStringLiteral("b.txt");
        const ToolResult asNobody = runTool(QStringLiteral("setpriv"),
            QStringList {"--reuid=65534", "--regid=65534", "--clear-groups", sheafArc()} + args);
        QCOMPARE(asNobody.exitCode, 1);
        refused(QString::fromUtf8(asNobody.err));
        return;
    }
    const QString pointee
        = what == QLatin1String("link to a folder") ? real : tmp.filePath("nowhere");
    QVERIFY(QFile::link(pointee, archive));
    const archiver::RunResult r = run(kind, oneFileLine(kind, archive, data, "a.txt"));
    QCOMPARE(r.code, ErrorCode::NotAnArchive);
    QVERIFY2(QString::fromStdString(r.reason).contains(QStringLiteral("シンボリックリンク")),
        r.reason.c_str());
    QCOMPARE(QFileInfo(archive).symLinkTarget(), pointee);
    QCOMPARE(entriesOf(out), QStringList {"x" + ext});
    QCOMPARE(entriesOf(real), QStringList());
    QVERIFY(!QFileInfo::exists(tmp.filePath("nowhere")));
}

QTEST_GUILESS_MAIN(TestVerifiedCommit)
#include "test_verified_commit.moc"
