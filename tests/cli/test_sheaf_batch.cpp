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

#include <csignal>
#include <filesystem>
#include <fstream>

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
    QTest::newRow("one worker") << QStringList {"-j", "1"};
    QTest::newRow("two workers") << QStringList {"-j", "2"};
}

void TestSheafBatch::interrupted()
{
    QFETCH(QStringList, jobs);
    SHEAF_REQUIRE_TOOL("unar");
    // Ctrl-C while the second, large archive is being written: the run stops
    // with 130 and leaves neither that archive nor its temporary file.
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    writeFile(data + "/a.TXT", "first");
    writeFile(data + "/b.TXT", randomBytes(128 * 1024 * 1024, 9));
    const QDateTime mtime = QFileInfo(data + "/b.TXT").lastModified();
    QDir().mkpath(out);
    QProcess p;
    p.start(sheafBatch(), jobs + QStringList {"-o", out, data});
    QVERIFY(p.waitForStarted());
    QByteArray seen;
    while (!seen.contains("a.lzh") && p.state() == QProcess::Running) {
        p.waitForReadyRead(1000);
        seen += p.readAllStandardOutput();
    }
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 130);
    QVERIFY(p.readAllStandardError().contains("中断しました"));
    QCOMPARE(listTree(out), QStringList {"a.lzh"});
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

QTEST_GUILESS_MAIN(TestSheafBatch)
#include "test_sheaf_batch.moc"
