// sheaf-batch as a user runs it: its lines, its exit status, and the
// archives it makes, read back by 7zz and unar.

#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace sheaf::test;

namespace {

ToolResult batch(const QStringList &args, const QString &workDir = QString())
{
    return runTool(sheafBatch(), args, workDir);
}

QStringList outLines(const ToolResult &r)
{
    return QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
}

QStringList errLines(const ToolResult &r)
{
    return QString::fromUtf8(r.err).split(u'\n', Qt::SkipEmptyParts);
}

// Extracts `archive` with `reader` into a new folder; empty and a failure
// of the test when it cannot.
QString extractedBy(const QString &reader, const QString &archive, const QString &scratch)
{
    static int serial = 0;
    const QString into = scratch + QStringLiteral("/r%1").arg(++serial);
    const QString error = extractWith(reader, archive, into);
    if (!error.isEmpty()) {
        qWarning("%s", qPrintable(error));
        return {};
    }
    return into;
}

} // namespace

class TestSheafBatch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usageErrors_data();
    void usageErrors();
    void listOnly();
    void nothingFound();
    void compressLeavingOneOut();
    void archivesBesideTheFiles();
    void refusedCheck();
    void failedArchive();
    void interrupted_data();
    void interrupted();
    void namesAsBytes_data();
    void namesAsBytes();
    void eachMixedSelection_data();
    void eachMixedSelection();
    void eachParallelSameAsOne();
    void eachClash();
};

void TestSheafBatch::initTestCase()
{
    QVERIFY2(QFileInfo::exists(sheafBatch()), "build sheaf-batch first");
}

void TestSheafBatch::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no folder") << QStringList {"-s"};
    QTest::newRow("two folders") << QStringList {"a", "b"};
    QTest::newRow("extension too long") << QStringList {"-e", ".ABCDE", "."};
    QTest::newRow("extension without a dot") << QStringList {"-e", "txt", "."};
    QTest::newRow("wildcard extension") << QStringList {"-e", ".t?t", "."};
    QTest::newRow("unknown archiver") << QStringList {"-a", "rar", "."};
    QTest::newRow("unknown option") << QStringList {"-z", "."};
    QTest::newRow("no threads") << QStringList {"-j", "0", "."};
    QTest::newRow("-o without a folder") << QStringList {".", "-o"};
    QTest::newRow("-x of a name not selected") << QStringList {"-x", "nothing.TXT", "DATA"};
    QTest::newRow("missing selection folder") << QStringList {"/nonexistent/folder"};
    QTest::newRow("--each without items") << QStringList {"--each", "-a", "zip"};
    QTest::newRow("--each with a batch option") << QStringList {"--each", "-s", "DATA"};
    QTest::newRow("--each into a missing folder")
        << QStringList {"--each", "-o", "nowhere", "DATA/a.TXT"};
    QTest::newRow("--each into a file") << QStringList {"--each", "-o", "DATA/a.TXT", "DATA"};
}

void TestSheafBatch::usageErrors()
{
    QFETCH(QStringList, args);
    QTemporaryDir tmp;
    writeFile(tmp.filePath("DATA/a.TXT"), "a");
    const ToolResult r = batch(args, tmp.path());
    QCOMPARE(r.exitCode, 2);
    // One line naming the program.
    QVERIFY(r.err.startsWith("sheaf-batch: "));
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY(r.out.isEmpty());
    QCOMPARE(listTree(tmp.path()), (QStringList {"DATA/", "DATA/a.TXT"}));
}

void TestSheafBatch::listOnly()
{
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data");
    const QDateTime t1(QDate(2001, 2, 8), QTime(14, 5));
    const QDateTime t2(QDate(2000, 3, 3), QTime(9, 7));
    writeFile(data + "/b.TXT", QByteArray(1048576, 'b'), t1);
    writeFile(data + "/A.txt", QByteArray(), t2);
    writeFile(data + "/c.dat", "not listed", t1);
    writeFile(data + "/sub/報告書.Txt", QByteArray(1234, 'c'), t2);

    const ToolResult r = batch({"-l", "-s", data});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(outLines(r),
        (QStringList {data + "/\tA.txt\t00/03/03 09:07\t0",
            data + "/\tb.TXT\t01/02/08 14:05\t1,048,576",
            data + "/sub/\t報告書.Txt\t00/03/03 09:07\t1,234", "3件、抽出しました"}));

    const ToolResult top = batch({"-l", "-e", ".txt", data + "/"});
    QCOMPARE(top.exitCode, 0);
    QCOMPARE(outLines(top).size(), 3);
    QCOMPARE(outLines(top).last(), QStringLiteral("2件、抽出しました"));
    // Nothing was made.
    QCOMPARE(listTree(data).size(), 5);
}

void TestSheafBatch::nothingFound()
{
    QTemporaryDir tmp;
    writeFile(tmp.filePath("data/a.dat"), "x");
    const ToolResult r = batch({"-s", "-o", tmp.filePath("out"), tmp.filePath("data")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(outLines(r), QStringList {"抽出データは有りませんでした"});
    QVERIFY(!QFileInfo::exists(tmp.filePath("out")));
}

void TestSheafBatch::compressLeavingOneOut()
{
    SHEAF_REQUIRE_TOOL("7zz");
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    writeFile(data + "/x/one.TXT", randomBytes(5000, 1));
    writeFile(data + "/y/two.TXT", QByteArray(9000, 't'));
    writeFile(data + "/y/skip.TXT", "left out");
    QDir().mkpath(out);

    const ToolResult r = batch({"-s", "-a", "zip", "-o", out, "-x", "skip.TXT", data});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(outLines(r),
        (QStringList {"3件、抽出しました", out + "/one.zip", out + "/two.zip", "圧縮しました"}));
    QCOMPARE(listTree(out), (QStringList {"one.zip", "two.zip"}));
    const QString e1 = tmp.filePath("e1"), e2 = tmp.filePath("e2");
    writeFile(e1 + "/one.TXT", randomBytes(5000, 1));
    writeFile(e2 + "/two.TXT", QByteArray(9000, 't'));
    QCOMPARE(extractAndCompare(out + "/one.zip", e1, tmp.filePath("x")), QStringList());
    QCOMPARE(extractAndCompare(out + "/two.zip", e2, tmp.filePath("x")), QStringList());

    const ToolResult quiet = batch({"-q", "-s", "-a", "cab", "-o", out, data});
    QCOMPARE(quiet.exitCode, 0);
    QCOMPARE(outLines(quiet), (QStringList {"3件、抽出しました", "圧縮しました"}));
    QVERIFY(QFileInfo::exists(out + "/skip.cab"));
}

void TestSheafBatch::archivesBesideTheFiles()
{
    SHEAF_REQUIRE_TOOL("unar");
    // Whole folders, named after them, made inside the folders they hold.
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data");
    writeFile(data + "/写真/IMG01.TXT", randomBytes(30000, 7));
    writeFile(data + "/写真/メモ.dat", "memo");
    const ToolResult r = batch({"-s", "-t", "-n", data});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(outLines(r).value(1), data + "/写真/写真.lzh");
    const QString expected = tmp.filePath("expected");
    writeFile(expected + "/写真.TXT", randomBytes(30000, 7));
    writeFile(expected + "/メモ.dat", "memo");
    QCOMPARE(
        extractAndCompare(data + "/写真/写真.lzh", expected, tmp.filePath("x")), QStringList());
}

void TestSheafBatch::refusedCheck()
{
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data");
    writeFile(data + "/a.TXT", "a");
    writeFile(data + "/b.TXT", "b");
    const ToolResult r = batch({"-n", data});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(QString::fromUtf8(r.err),
        QStringLiteral("*.TXTが複数存在しているフォルダが有ります。\n名前指定は出来ません！\n"));
    QCOMPARE(listTree(data), (QStringList {"a.TXT", "b.TXT"}));
    // Leaving one of them out lets the run go ahead.
    QCOMPARE(batch({"-n", "-x", "b.TXT", data}).exitCode, 0);
    QCOMPARE(listTree(data), (QStringList {"b.TXT", "data.TXT", "data.lzh"}));
}

void TestSheafBatch::failedArchive()
{
    QTemporaryDir tmp;
    writeFile(tmp.filePath("data/a.TXT"), "a");
    const ToolResult r = batch({"-o", tmp.filePath("missing"), tmp.filePath("data")});
    QCOMPARE(r.exitCode, 1);
    const QStringList err = QString::fromUtf8(r.err).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(err.size(), 2);
    QCOMPARE(err[0], QStringLiteral("kwSheaf120: 圧縮に失敗しました．"));
    QVERIFY(!err[1].isEmpty()); // the engine's reason
    QCOMPARE(outLines(r), QStringList {"1件、抽出しました"});
}

void TestSheafBatch::interrupted_data()
{
    QTest::addColumn<QStringList>("jobs");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("unread"); // many archives, their lines not read meanwhile
    QTest::newRow("one worker") << QStringList {"-j", "1"} << "中断しました" << false;
    QTest::newRow("two workers") << QStringList {"-j", "2"} << "中断しました" << false;
    QTest::newRow("one archive per item, two workers")
        << QStringList {"--each", "-j", "2"} << "中止しました（作成 1 件）" << false;
    // The pipe of its output full, sheaf-batch waits in a write when Ctrl-C
    // comes: the write goes on, and every archive made is still named.
    QTest::newRow("two workers, output not read")
        << QStringList {"-j", "2"} << "中断しました" << true;
}

void TestSheafBatch::interrupted()
{
    QFETCH(QStringList, jobs);
    QFETCH(QString, message);
    QFETCH(bool, unread);
    SHEAF_REQUIRE_TOOL("unar");
    // Ctrl-C while the second, large archive is being written: the run stops
    // with 130 and leaves neither that archive nor its temporary file.
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    const QString longName = QString(200, u'a');
    writeFile(data + "/a.TXT", "first");
    if (unread) {
        for (int i = 0; i < 600; ++i)
            writeFile(data + QStringLiteral("/%1%2.TXT").arg(longName).arg(i, 3, 10, QChar(u'0')),
                "first");
    }
    writeFile(data + "/b.TXT", randomBytes(128 * 1024 * 1024, 9));
    const QDateTime mtime = QFileInfo(data + "/b.TXT").lastModified();
    QDir().mkpath(out);
    QProcess p;
    p.start(sheafBatch(),
        jobs
            + (jobs.contains("--each") ? QStringList {"-o", out, data + "/a.TXT", data + "/b.TXT"}
                                       : QStringList {"-o", out, data}));
    QVERIFY(p.waitForStarted());
    QByteArray seen;
    while (!unread && !seen.contains("a.lzh") && p.state() == QProcess::Running) {
        p.waitForReadyRead(1000);
        seen += p.readAllStandardOutput();
    }
    // Far more lines than a pipe holds, none read: the program waits to write.
    while (unread && listTree(out).size() < 400)
        QThread::msleep(20);
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 130);
    const QString errors = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(errors.contains(message) && !errors.contains("書き出せません"), qPrintable(errors));
    QStringList made = listTree(out);
    if (unread) {
        // Each archive made is named, and holds its file.
        QStringList named;
        for (const QString &line : QString::fromUtf8(seen + p.readAllStandardOutput()).split(u'\n'))
            if (line.startsWith(out))
                named << line.mid(out.size() + 1);
        named.sort();
        QCOMPARE(made, named);
        QVERIFY(made.size() >= 400 && !made.contains("b.lzh"));
        for (const QString &archive : made)
            SHEAF_NO_DIFFERENCES(extractAndCompare(out + u'/' + archive,
                QMap<QString, QByteArray> {{archive.chopped(4) + ".TXT", "first"}},
                tmp.filePath("x")));
        return;
    }
    QCOMPARE(made, QStringList {"a.lzh"});
    QCOMPARE(QFileInfo(data + "/b.TXT").lastModified(), mtime);
    const QString expected = tmp.filePath("expected");
    writeFile(expected + "/a.TXT", "first");
    QCOMPARE(extractAndCompare(out + "/a.lzh", expected, tmp.filePath("x")), QStringList());
}

void TestSheafBatch::namesAsBytes_data()
{
    // Names are written with \xHH for a byte; args are bash words run in the
    // temporary folder (<t> in the expected texts). stdout lines of -l have
    // their time field replaced by T.
    QTest::addColumn<QStringList>("files"); // "path=content"
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("outLines");
    QTest::addColumn<QString>("err"); // stderr, exactly
    QTest::addColumn<QString>("zip"); // "archive:member" holding the content "two", or empty

    const QStringList lookAlikeFolders {"d\\xFF/a.TXT=real!", "d\\xEF\\xBF\\xBD/a.TXT=fake"};
    const QStringList lookAlikeFiles {"sel/\\xFF\\xFE.TXT=one", "sel/\\xEF\\xBF\\xBD.TXT=two"};
    const QString unreadable = QStringLiteral("名前に文字として読めないバイトが含まれています。");
    QTest::newRow("-l lists the folder given, not its look-alike")
        << lookAlikeFolders << "-l $'d\\xff'" << 0
        << QStringList {"<t>/d\\xFF/\ta.TXT\tT\t5", "1件、抽出しました"} << ""
        << "";
    QTest::newRow("-l escapes bytes, tab, newline and backslash")
        << QStringList {"s/a\tb\nc.TXT=1", "s/\\xFF.TXT=22", "s/x\\y.TXT=333"} << "-l s" << 0
        << QStringList {"<t>/s/\ta\\tb\\nc.TXT\tT\t1", "<t>/s/\tx\\\\y.TXT\tT\t3",
               "<t>/s/\t\\xFF.TXT\tT\t2", "3件、抽出しました"}
        << ""
        << "";
    QTest::newRow("a folder outside UTF-8 is refused, exit 1")
        << lookAlikeFolders << "-o out $'d\\xff'" << 1 << QStringList {"1件、抽出しました"}
        << "kwSheaf: " + unreadable + "\n<t>/d\\xFF/a.TXT\n処理できません！\n"
        << "";
    QTest::newRow("a file outside UTF-8 is refused before its look-alike")
        << lookAlikeFiles << "-a zip -o out sel" << 1 << QStringList {"2件、抽出しました"}
        << "kwSheaf: " + unreadable + "\n<t>/sel/\\xFF\\xFE.TXT\n処理できません！\n"
        << "";
    QTest::newRow("leaving it out by its bytes archives the look-alike itself")
        << lookAlikeFiles << "-a zip -o out -x $'\\xff\\xfe.TXT' sel" << 0
        << QStringList {"2件、抽出しました", "<t>/out/\uFFFD.zip", "圧縮しました"} << ""
        << "\uFFFD.zip:\uFFFD.TXT";
    QTest::newRow("--each: a file named -h after --")
        << QStringList {"-h=two"} << "--each -a zip -o out -- -h" << 0
        << QStringList {"<t>/out/-h.zip", "書庫を 1 件作成しました"} << ""
        << "-h.zip:-h";
    QTest::newRow("a wildcard name never pulls in other files")
        << QStringList {"sel/*.txt=x", "sel/.secret.txt=s", "sel/other.TXT=o"}
        << "-x other.TXT -o out -e .txt sel" << 1 << QStringList {"2件、抽出しました"}
        << "kwSheaf: 名前に “*” が含まれています。\n<t>/sel/*.txt\n処理できません！\n"
        << "";
}

void TestSheafBatch::namesAsBytes()
{
    QFETCH(QStringList, files);
    QFETCH(QString, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, outLines);
    QFETCH(QString, err);
    QFETCH(QString, zip);
    QTemporaryDir tmp;
    for (const QString &f : files) {
        const QByteArray path
            = QFile::encodeName(tmp.path()) + '/' + bytesFromEscapes(f.section(u'=', 0, 0));
        const QByteArray content = f.section(u'=', 1).toUtf8();
        std::filesystem::create_directories(
            std::filesystem::path(path.toStdString()).parent_path());
        std::ofstream(path.toStdString(), std::ios::binary) << content.toStdString();
    }
    QDir().mkpath(tmp.filePath("out"));
    const ToolResult r
        = runTool(QStringLiteral("bash"), {"-c", "exec \"$0\" " + args, sheafBatch()}, tmp.path());
    // QDir cannot name bytes outside UTF-8, so QTemporaryDir could not remove them.
    const auto cleanUp
        = qScopeGuard([&] { std::filesystem::remove_all(tmp.path().toStdString()); });
    QCOMPARE(r.exitCode, exitCode);
    QStringList got = QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
    for (QString &line : got)
        if (line.count(u'\t') == 3)
            line = line.section(u'\t', 0, 1) + QStringLiteral("\tT\t") + line.section(u'\t', 3);
    for (QString &line : outLines)
        line.replace("<t>", tmp.path());
    QCOMPARE(got, outLines);
    QCOMPARE(QString::fromUtf8(r.err), QString(err).replace("<t>", tmp.path()));
    if (zip.isEmpty()) {
        QCOMPARE(listTree(tmp.filePath("out")), QStringList());
    } else {
        SHEAF_REQUIRE_TOOL("7zz");
        const QString archive = tmp.filePath("out/") + zip.section(u':', 0, 0);
        QCOMPARE(listTree(tmp.filePath("out")), QStringList {zip.section(u':', 0, 0)});
        QCOMPARE(extractAndCompare(archive,
                     QMap<QString, QByteArray> {{zip.section(u':', 1), "two"}}, tmp.filePath("x")),
            QStringList());
    }
}

void TestSheafBatch::eachMixedSelection_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("readers");
    QTest::newRow("lzh") << "lzh" << QStringList {"unar", "bsdtar"};
    QTest::newRow("zip") << "zip" << QStringList {"unzip", "7zz"};
    QTest::newRow("cab") << "cab" << QStringList {"cabextract", "7zz"};
}

void TestSheafBatch::eachMixedSelection()
{
    QFETCH(QString, format);
    QFETCH(QStringList, readers);
    for (const QString &reader : readers)
        SHEAF_REQUIRE_TOOL(reader);
    // Run as a user that root's permissions do not cover, so that a file
    // without read permission and a folder of root's stay out of reach.
    const bool root = ::geteuid() == 0;
    QTemporaryDir tmp;
    const QString t = tmp.path(), sel = t + "/sel", ext = "." + format;
    const QByteArray report = randomBytes(70000, 3), photo = randomBytes(40000, 4);
    writeFile(sel + "/報告書.docx", report);
    writeFile(sel + "/Makefile", "all:\n");
    writeFile(sel + "/写真/a.jpg", photo);
    writeFile(sel + "/写真/.hidden", "h");
    writeFile(sel + "/写真/sub/深い.txt", "deep");
    QVERIFY(QDir().mkpath(sel + "/写真/sub/empty"));
    QFile big(sel + "/big.iso");
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(3LL << 30));
    big.close();
    writeFile(sel + "/a.txt", "a");
    writeFile(sel + "/a" + ext, "not an archive");
    writeFile(sel + "/secret.txt", "private");
    QCOMPARE(::mkfifo(QFile::encodeName(sel + "/pipe").constData(), 0644), 0);
    writeFile(t + "/ro/locked.txt", "l");
    // An archive to add to, with a member of its own.
    writeFile(t + "/old/old.txt", "old");
    QCOMPARE(runTool(SHEAF_BINARY_DIR "/src/cli/sheaf-arc",
                 {format,
                     format == "lzh"       ? "a"
                         : format == "cab" ? "-a"
                                           : "-S",
                     sel + "/Makefile" + ext, t + "/old/", "old.txt"})
                 .exitCode,
        0);
    QStringList wrapper;
    if (root) {
        QVERIFY(runTool("chown", {"-R", "65534:65534", sel}).exitCode == 0);
        QVERIFY(QFile::setPermissions(t, QFile::permissions(t) | QFile::ExeOther));
        wrapper = QStringList {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    } else {
        QVERIFY(QFile::setPermissions(t + "/ro", QFile::ReadOwner | QFile::ExeOwner));
    }
    QVERIFY(QFile::setPermissions(sel + "/secret.txt", QFileDevice::Permissions()));
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(t + "/ro", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });

    QStringList args = wrapper << sheafBatch() << "--each"
                               << "-a" << format << "-j"
                               << "2";
    for (const char *item :
        {"報告書.docx", "Makefile", "写真", "big.iso", "a.txt", "pipe", "secret.txt", "./写真/"})
        args << sel + "/" + QString::fromUtf8(item);
    args << t + "/ro/locked.txt";
    // 3 GiB of zeros take minutes under the sanitizers on a busy machine.
    const ToolResult r = runTool(args.takeFirst(), args, QString(), 15 * 60 * 1000);
    QCOMPARE(r.exitCode, 1);
    // A cabinet holds at most 2 GiB.
    const bool bigMade = format != "cab";
    QStringList made {sel + "/報告書" + ext, sel + "/Makefile" + ext, sel + "/写真" + ext};
    if (bigMade)
        made << sel + "/big" + ext;
    QCOMPARE(outLines(r),
        made
            + QStringList {bigMade ? "書庫を 4 件作成しました（除外 1 件、失敗 3 件）"
                                   : "書庫を 3 件作成しました（除外 1 件、失敗 4 件）"});
    QCOMPARE(errLines(r).filter("/ro/locked.txt").value(0),
        "失敗しました: " + t + "/ro/locked.txt: このフォルダには書き込めません: " + t
            + "/ro（-o で書き込めるフォルダを出力先にしてください）");
    // The file that is no archive is named as the user knows it.
    const QStringList notArchive = errLines(r).filter(sel + "/a.txt: ");
    QVERIFY2(notArchive.size() == 1 && notArchive[0].contains(": " + sel + "/a" + ext),
        r.err.constData());
    QVERIFY2(errLines(r).filter(sel + "/secret.txt: ").size() == 1, r.err.constData());
    QVERIFY2(
        errLines(r).filter("除外しました: 名前付きパイプは圧縮しません: " + sel + "/pipe").size()
            == 1,
        r.err.constData());
    QCOMPARE(readFile(sel + "/a" + ext), QByteArray("not an archive"));
    QCOMPARE(QDir(t + "/ro").entryList(QDir::Files | QDir::Hidden), QStringList {"locked.txt"});

    QMap<QString, QMap<QString, QByteArray>> archives;
    archives["報告書"] = {{"報告書.docx", report}};
    archives["Makefile"] = {{"old.txt", "old"}, {"Makefile", "all:\n"}};
    archives["写真"]
        = {{"写真/a.jpg", photo}, {"写真/.hidden", "h"}, {"写真/sub/深い.txt", "deep"}};
    if (format != "cab")
        archives["写真"]["写真/sub/empty/"] = {};
    for (const QString &reader : readers) {
        for (auto it = archives.begin(); it != archives.end(); ++it) {
            const QString expected = t + "/expected-" + it.key() + "-" + reader;
            for (auto m = it->begin(); m != it->end(); ++m) {
                if (m.key().endsWith(u'/'))
                    QDir().mkpath(expected + "/" + m.key());
                else
                    writeFile(expected + "/" + m.key(), m.value());
            }
            const QString into = extractedBy(reader, sel + "/" + it.key() + ext, t);
            QVERIFY(!into.isEmpty());
            const QStringList differences = compareTrees(expected, into);
            QVERIFY2(differences.isEmpty(),
                qPrintable(reader + " " + it.key() + ": " + differences.join("; ")));
        }
    }
    if (bigMade) { // streamed: 3 GiB of zeros read back without landing on the disk
        const ToolResult cmp = runTool("bash",
            {"-c", "set -o pipefail; 7zz e -so \"$0\" big.iso | cmp - \"$1\"", sel + "/big" + ext,
                sel + "/big.iso"});
        QVERIFY2(cmp.exitCode == 0, cmp.err.constData());
    }
}

void TestSheafBatch::eachParallelSameAsOne()
{
    SHEAF_REQUIRE_TOOL("7zz");
    // Eight items, the fourth failing (a file that is no archive holds its
    // archive's name): the others are made, and -j 2 makes what -j 1 makes.
    QTemporaryDir tmp;
    QStringList lines[2];
    for (int run = 0; run < 2; ++run) {
        const QString sel = tmp.filePath(QString::number(run));
        QStringList args {"--each", "-a", "zip", "-j", run == 0 ? "1" : "2"};
        for (int i = 1; i <= 8; ++i) {
            writeFile(sel + QString("/f%1.dat").arg(i), randomBytes(20000 * i, quint32(i)));
            args << sel + QString("/f%1.dat").arg(i);
        }
        writeFile(sel + "/f4.zip", "no zip");
        const ToolResult r = batch(args);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(errLines(r).size(), 1);
        QVERIFY(errLines(r)[0].startsWith("失敗しました: " + sel + "/f4.dat: "));
        lines[run] = outLines(r).replaceInStrings(sel, "SEL");
        QCOMPARE(readFile(sel + "/f4.zip"), QByteArray("no zip"));
    }
    QCOMPARE(lines[0], lines[1]);
    QCOMPARE(lines[1].size(), 8);
    QCOMPARE(lines[1].last(), QStringLiteral("書庫を 7 件作成しました（失敗 1 件）"));
    for (int i : {1, 2, 3, 5, 6, 7, 8}) {
        const QString name = QString("/f%1.zip").arg(i);
        QCOMPARE(readFile(tmp.filePath("1") + name), readFile(tmp.filePath("0") + name));
        QCOMPARE(extractAndCompare(tmp.filePath("1") + name,
                     QMap<QString, QByteArray> {
                         {QString("f%1.dat").arg(i), randomBytes(20000 * i, quint32(i))}},
                     tmp.filePath("x")),
            QStringList());
    }
}

void TestSheafBatch::eachClash()
{
    SHEAF_REQUIRE_TOOL("7zz");
    QTemporaryDir tmp;
    const QString sel = tmp.filePath("sel");
    writeFile(sel + "/a.txt", "text");
    writeFile(sel + "/a.pdf", "pdf");
    writeFile(sel + "/b.txt", "b");
    const QStringList items {sel + "/a.txt", sel + "/a.pdf", sel + "/b.txt"};
    const ToolResult r = batch(QStringList {"--each", "-a", "zip"} + items);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(errLines(r),
        (QStringList {"同じ書庫になる項目があるため、何も作成していません:",
            "  " + sel + "/a.zip ← " + sel + "/a.txt, " + sel + "/a.pdf",
            "--whole-name を付けて実行すると、拡張子まで含めた名前で（a.txt は a.txt.zip "
            "に）すべて作成します"}));
    QCOMPARE(listTree(sel), (QStringList {"a.pdf", "a.txt", "b.txt"}));
    // The step the message names makes them all.
    const ToolResult whole = batch(QStringList {"--each", "-a", "zip", "--whole-name"} + items);
    QCOMPARE(whole.exitCode, 0);
    QCOMPARE(outLines(whole),
        (QStringList {sel + "/a.txt.zip", sel + "/a.pdf.zip", sel + "/b.txt.zip",
            "書庫を 3 件作成しました"}));
    QCOMPARE(extractAndCompare(sel + "/a.pdf.zip", QMap<QString, QByteArray> {{"a.pdf", "pdf"}},
                 tmp.filePath("x")),
        QStringList());
}

QTEST_GUILESS_MAIN(TestSheafBatch)
#include "test_sheaf_batch.moc"
