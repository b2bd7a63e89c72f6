// A whole-folder archive never hides a gap. What cannot be read fails the run
// with a reason naming it (an older archive stays byte for byte); what is
// never read (pipes, sockets, links that lead nowhere, out of the folder or
// planted by another user) is left out and reported; depth alone keeps
// nothing out; Ctrl-C ends a run with 130 wherever it is. Every archive made
// is read back by an independent reader; the sources never change.

#include "support/command_lines.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QProcess>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace sheaf::test;

namespace {

constexpr uid_t kNobody = 65534;
constexpr int kLevels = 150;

// The reader each format's archives are read back with.
QString readerOf(const QString &format)
{
    return format == QLatin1String("lzh") ? QStringLiteral("lhasa")
        : format == QLatin1String("zip")  ? QStringLiteral("bsdtar")
                                          : QStringLiteral("cabextract");
}

QString extensionOf(const QString &format)
{
    return sheaf::test::extensionOf(archiverKind(format));
}

// sheaf-arc's whole-folder archive of `folder`, as `nobody` when asked.
ToolResult arc(const QString &format, const QString &archive, const QString &folder,
    bool asNobody = false, const QStringList &wrapper = {})
{
    QStringList args = wrapper;
    if (asNobody)
        args << "setpriv"
             << "--reuid=65534"
             << "--regid=65534"
             << "--clear-groups";
    args << sheafArc() << arcArguments(archiverKind(format), true, archive, folder);
    const QString program = args.takeFirst();
    return runTool(program, args);
}

QByteArray bytes(const QString &path)
{
    return QFile::encodeName(path);
}

void makeSocket(const QString &path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, bytes(path).constData(), sizeof address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(fd);
}

void chownTree(const QString &root)
{
    QCOMPARE(runTool("chown", {"-R", "65534:65534", root}).exitCode, 0);
}

} // namespace

class TestGatheringGaps : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void leftOutAndReported_data();
    void leftOutAndReported();
    void batchReportsLeftOut();
    void failsNamingIt_data();
    void failsNamingIt();
    void deeperThanAPath_data();
    void deeperThanAPath();
    void interrupted_data();
    void interrupted();
};

void TestGatheringGaps::initTestCase()
{
    QVERIFY2(QFileInfo::exists(sheafArc()) && QFileInfo::exists(sheafBatch()),
        "build sheaf-arc, sheaf-batch");
}

void TestGatheringGaps::leftOutAndReported_data()
{
    QTest::addColumn<QString>("format");
    for (const char *f : {"lzh", "zip", "cab"})
        QTest::newRow(f) << f;
}

void TestGatheringGaps::leftOutAndReported()
{
    QFETCH(QString, format);
    SHEAF_REQUIRE_TOOL(readerOf(format));
    if (::geteuid() != 0)
        QSKIP("a link owned by another user needs root to make");
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src"), expected = tmp.filePath("expected");
    for (const QString &root : {src, expected}) {
        writeFile(root + "/a.txt", "a");
        writeFile(root + "/sub/b.txt", "b");
        writeFile(root + "/*.txt", "stored as itself"); // never a pattern
        writeFile(root + "/?.txt", "also");
        writeFile(root + "/.notes.sheaf-tmp-mine", "not the engine's name"); // archived
    }
    writeFile(expected + "/inside", "b"); // a link inside: taken as its file
    writeFile(tmp.filePath("secret"), "outside the folder");
    QCOMPARE(::symlink("sub/b.txt", bytes(src + "/inside")), 0);
    QCOMPARE(::mkfifo(bytes(src + "/fifo"), 0600), 0);
    makeSocket(src + "/sock");
    QCOMPARE(::symlink("nowhere", bytes(src + "/dangling")), 0);
    QCOMPARE(::symlink("loop", bytes(src + "/loop")), 0);
    QCOMPARE(::symlink("../secret", bytes(src + "/outside")), 0);
    QCOMPARE(::symlink("a.txt", bytes(src + "/foreign")), 0);
    QCOMPARE(::lchown(bytes(src + "/foreign"), kNobody, kNobody), 0);
    QCOMPARE(::symlink("sub", bytes(src + "/folderlink")), 0);
    writeFile(src + "/.a.txt.sheaf-tmp-Ab3dE9", "another run's temporary file");
    const auto before = hashTree(tmp.path());

    const QString archive = tmp.filePath("x") + extensionOf(format);
    const ToolResult r = arc(format, archive, src);
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QString err = QString::fromUtf8(r.err);
    const QMap<QString, QString> reasons {{"fifo", "名前付きパイプは読み込みません"},
        {"sock", "ソケットは読み込みません"},
        {"dangling", "リンク先がないか、循環しているシンボリックリンクです"},
        {"loop", "リンク先がないか、循環しているシンボリックリンクです"},
        {"outside", "圧縮するフォルダーの外を指すシンボリックリンクです"},
        {"foreign", "他のユーザーのシンボリックリンクはたどりません"},
        {"folderlink", "フォルダーへのシンボリックリンクはたどりません"},
        {".a.txt.sheaf-tmp-Ab3dE9",
            "圧縮中（または中断された実行）の一時ファイルなので格納しません"}};
    for (auto it = reasons.begin(); it != reasons.end(); ++it)
        QVERIFY2(err.contains("除外しました: " + it.value() + ": " + src + '/' + it.key()),
            qPrintable(err));
    QCOMPARE(err.count(QStringLiteral("除外しました")), reasons.size());

    const QString out = tmp.filePath("extracted");
    QCOMPARE(extractWith(readerOf(format), archive, out), QString());
    SHEAF_NO_DIFFERENCES(compareTrees(expected, out));
    auto after = hashTree(tmp.path());
    for (const QString &added : {QFileInfo(archive).fileName(), QStringLiteral("extracted")})
        for (const QString &key : after.keys())
            if (key == added || key.startsWith(added + u'/'))
                after.remove(key);
    SHEAF_NO_DIFFERENCES(treeDifferences(before, after));
}

void TestGatheringGaps::batchReportsLeftOut()
{
    SHEAF_REQUIRE_TOOL("lhasa");
    QTemporaryDir tmp;
    const QString sel = tmp.filePath("sel"), out = tmp.filePath("out");
    writeFile(sel + "/one.TXT", "one");
    QDir().mkpath(out);
    QCOMPARE(::mkfifo(bytes(sel + "/fifo"), 0600), 0);
    QCOMPARE(::symlink(bytes(out), bytes(sel + "/shortcut")), 0);
    const ToolResult r = runTool(sheafBatch(), {"-t", "-a", "lzh", "-o", out, sel});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QVERIFY2(QString::fromUtf8(r.err).contains(
                 "除外しました: 名前付きパイプは読み込みません: " + sel + "/fifo"),
        r.err.constData());
    QVERIFY2(
        QString::fromUtf8(r.err).contains(
            "除外しました: フォルダーへのシンボリックリンクはたどりません: " + sel + "/shortcut"),
        r.err.constData());
    QVERIFY2(QString::fromUtf8(r.out).contains("圧縮しました（除外 2 件）"), r.out.constData());
    QCOMPARE(extractWith("lhasa", out + "/one.lzh", tmp.filePath("x")), QString());
    QCOMPARE(listTree(tmp.filePath("x")), QStringList {"one.TXT"});
    QCOMPARE(readFile(tmp.filePath("x/one.TXT")), QByteArray("one"));
}

void TestGatheringGaps::failsNamingIt_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    const struct
    {
        const char *fault, *reason;
    } faults[] = {
        // Listable, not searchable: its files cannot be looked at (as its
        // owner, not as root, whom no mode stops).
        {"unsearchable subfolder", "フォルダーの中を調べられません: %1/sub/b.txt"},
        // libarchive once crashed writing this name into a ZIP.
        {"name not UTF-8", "名前が UTF-8 ではないので格納できません: %1/sub/bad\\xFF.txt"},
        // A folder separator to readers: they would write elsewhere.
        {"backslash in a name", "名前に “\\” が含まれているので格納できません: %1/sub/x\\\\y.txt"},
    };
    for (const auto &f : faults)
        for (const char *format : {"lzh", "zip", "cab"})
            QTest::addRow("%s, %s", format, f.fault) << format << f.fault << f.reason;
}

void TestGatheringGaps::failsNamingIt()
{
    QFETCH(QString, format);
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    const bool asNobody = fault == QLatin1String("unsearchable subfolder");
    if (asNobody && ::geteuid() != 0)
        QSKIP("runs the engine as another user");
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src"), out = tmp.filePath("out");
    writeFile(src + "/a.txt", "a");
    writeFile(src + "/sub/b.txt", "b");
    QDir().mkpath(out);
    if (asNobody) {
        QVERIFY(QFile::setPermissions(
            tmp.path(), QFile::permissions(tmp.path()) | QFile::ExeOther | QFile::ReadOther));
        chownTree(tmp.path());
    }
    // The older archive of the same name, made while nothing was wrong.
    const QString archive = out + "/x" + extensionOf(format);
    ToolResult r = arc(format, archive, src, asNobody);
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QByteArray older = readFile(archive);

    if (asNobody) {
        QCOMPARE(::chmod(bytes(src + "/sub"), 0644), 0);
    } else {
        const QByteArray name
            = fault == QLatin1String("name not UTF-8") ? "/sub/bad\xff.txt" : "/sub/x\\y.txt";
        const int fd = ::open(bytes(src) + name, O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    const auto before = hashTree(src);
    r = arc(format, archive, src, asNobody);
    QCOMPARE(r.exitCode, 1); // not a crash (-1), not a success
    QVERIFY2(QString::fromUtf8(r.err).contains(reason.arg(src)), r.err.constData());
    QCOMPARE(readFile(archive), older);
    QCOMPARE(namesIn(out), QStringList {QFileInfo(archive).fileName()});
    SHEAF_NO_DIFFERENCES(treeDifferences(before, hashTree(src)));
    if (asNobody)
        QCOMPARE(::chmod(bytes(src + "/sub"), 0755), 0);
    QCOMPARE(runTool("rm", {"-rf", src}).exitCode, 0); // QDir cannot remove a name not UTF-8
}

void TestGatheringGaps::deeperThanAPath_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("run"); // "" archives the tree; else the front end run in its depths
    QTest::addColumn<bool>("made"); // LZH (1 KiB) and CAB (255 bytes) cannot hold such paths
    QTest::newRow("zip") << "zip"
                         << "" << true;
    QTest::newRow("lzh") << "lzh"
                         << "" << false;
    QTest::newRow("cab") << "cab"
                         << "" << false;
    // The deepest folder as the selection folder, the item's folder, and the
    // folder of an archive sheaf-arc adds to; each run twice (made, then added to).
    for (const char *format : {"lzh", "zip", "cab"})
        for (const char *run : {"selection", "each", "arc"})
            QTest::addRow("%s beyond a path, %s", run, format) << format << run << true;
}

void TestGatheringGaps::deeperThanAPath()
{
    QFETCH(QString, format);
    QFETCH(QString, run);
    QFETCH(bool, made);
    SHEAF_REQUIRE_TOOL("bsdtar");
    QTemporaryDir tmp;
    // 150 folders one in the other, built relative to folder handles: the
    // deepest path is over 4,600 bytes, beyond what one path may hold, and
    // holds more folders than the 100 descriptors the run may open.
    const QString src = tmp.filePath("src");
    QDir().mkpath(src);
    QMap<QString, QByteArray> files; // stored path -> content
    QString stored;
    int fd = ::open(bytes(src), O_RDONLY | O_DIRECTORY);
    for (int level = 1; level <= kLevels; ++level) {
        const QByteArray name = QByteArray("level-")
            + QByteArray::number(level).rightJustified(3, '0') + "-" + QByteArray(20, 'x');
        QCOMPARE(::mkdirat(fd, name, 0755), 0);
        const int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        stored += (stored.isEmpty() ? "" : "/") + QString::fromLatin1(name);
        if (level % 30 == 0) {
            const QByteArray content = "level " + QByteArray::number(level);
            const int f = ::openat(fd, "f.txt", O_WRONLY | O_CREAT, 0644);
            QCOMPARE(::write(f, content.constData(), content.size()), content.size());
            ::close(f);
            files[stored + "/f.txt"] = content;
        }
    }
    if (!run.isEmpty()) {
        // What is made in the deepest folder is moved out through its handle
        // for the reader, which cannot reach it by its path.
        const QString deep = src + '/' + stored, ext = extensionOf(format);
        const QStringList line = run == "selection"
            ? QStringList {"-q", "-e", ".txt", "-a", format, deep}
            : run == "each"
            ? QStringList {"--each", "-q", "-a", format, deep + "/f.txt"}
            : arcArguments(archiverKind(format), false, deep + "/f" + ext, deep, {"f.txt"});
        for (int pass = 0; pass < 2; ++pass) {
            const ToolResult r = runTool(run == "arc" ? sheafArc() : sheafBatch(), line);
            QVERIFY2(r.exitCode == 0, r.err.constData());
        }
        const QString archive = tmp.filePath("x") + ext;
        QCOMPARE(::renameat(fd, "f" + ext.toLatin1(), AT_FDCWD, bytes(archive)), 0);
        ::close(fd);
        SHEAF_NO_DIFFERENCES(extractAndCompare(
            archive, QMap<QString, QByteArray> {{"f.txt", "level 150"}}, tmp.filePath("scratch")));
        QCOMPARE(runTool("rm", {"-rf", src}).exitCode, 0);
        return;
    }
    ::close(fd);

    const QString archive = tmp.filePath("x") + extensionOf(format);
    const ToolResult r = arc(format, archive, src, false, {"prlimit", "--nofile=100:100"});
    if (!made) {
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("長すぎます"));
        QVERIFY(!QFileInfo::exists(archive));
    } else {
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const ToolResult list = runTool("bsdtar", {"-tf", archive});
        QCOMPARE(list.exitCode, 0);
        QCOMPARE(list.out.count('\n'), kLevels + files.size());
        for (auto it = files.begin(); it != files.end(); ++it)
            QCOMPARE(runTool("bsdtar", {"-xOf", archive, it.key()}).out, it.value());
    }
    // QDir cannot remove what is deeper than a path.
    QCOMPARE(runTool("rm", {"-rf", src}).exitCode, 0);
}

void TestGatheringGaps::interrupted_data()
{
    // sheaf-batch's own rows are in tests/cli.
    QTest::addColumn<QString>("format");
    for (const char *format : {"lzh", "zip", "cab"})
        QTest::newRow(format) << format;
}

void TestGatheringGaps::interrupted()
{
    QFETCH(QString, format);
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src"), out = tmp.filePath("out");
    QDir().mkpath(src);
    QDir().mkpath(out);
    // A gigabyte of zeros, sparse: long to compress, cheap to make.
    QFile big(src + "/big.TXT");
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 30));
    big.close();
    const QDateTime mtime = QFileInfo(big).lastModified();

    QProcess p;
    p.start(sheafArc(),
        arcArguments(archiverKind(format), true, out + "/big" + extensionOf(format), src));
    QVERIFY(p.waitForStarted());
    QTest::qWait(700);
    QCOMPARE(p.state(), QProcess::Running); // still at work when Ctrl-C comes
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 130);
    QVERIFY(p.readAllStandardError().contains("中断しました"));
    QCOMPARE(namesIn(out), QStringList()); // no archive, no temporary file
    QCOMPARE(QFileInfo(big).size(), qint64(1) << 30);
    QCOMPARE(QFileInfo(big).lastModified(), mtime);
}

QTEST_GUILESS_MAIN(TestGatheringGaps)
#include "test_gathering_gaps.moc"
