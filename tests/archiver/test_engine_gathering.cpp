// Which files a request gathers, in which order, under which stored paths;
// and a file swapped for a pipe or a link after gathering is never read.

#include "archiver/archive_error.h"
#include "archiver/entry_gathering.h"
#include "archiver/fault_injection.h"
#include "support/command_lines.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace sheaf::archiver;

class TestEngineGathering : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void gather_data();
    void gather();
    void swappedAfterGathering_data();
    void swappedAfterGathering();

private:
    QTemporaryDir m_tmp;
};

void TestEngineGathering::initTestCase()
{
    using sheaf::test::writeFile;
    const QString src = m_tmp.filePath("src");
    writeFile(src + "/A.TXT", "a");
    writeFile(src + "/b.txt", "b");
    writeFile(src + "/c.dat", "c");
    writeFile(src + "/.h.txt", "hidden");
    writeFile(src + "/sub/d.txt", "d");
    writeFile(src + "/sub/.hs/e.txt", "in a hidden folder");
    writeFile(src + "/.x.zip.sheaf-tmp-abc123", "stale temporary file");
    QDir().mkpath(src + "/sub/empty");
    QCOMPARE(::mkfifo(QFile::encodeName(src + "/fifo").constData(), 0600), 0);
    QCOMPARE(::symlink("b.txt", QFile::encodeName(src + "/.own-link").constData()), 0);
    QCOMPARE(::symlink("sub", QFile::encodeName(src + "/dirlink").constData()), 0);
    QCOMPARE(::symlink("b.txt", QFile::encodeName(src + "/.planted").constData()), 0);
    if (::geteuid() == 0) // only root can give a link away
        QCOMPARE(::lchown(QFile::encodeName(src + "/.planted").constData(), 65534, 65534), 0);
}

void TestEngineGathering::gather_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("recurse");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("relative");
    QTest::addColumn<QStringList>("expected"); // stored paths, or {"error N"}

    const auto err = [](ErrorCode c) {
        return QStringList {"error " + QString::number(int(c))};
    };
    QTest::newRow("wildcard, no case, no hidden")
        << QStringList {"*.txt"} << false << false << true << QStringList {"A.TXT", "b.txt"};
    QTest::newRow("wildcard with hidden") << QStringList {"*.txt"} << false << true << true
                                          << QStringList {".h.txt", "A.TXT", "b.txt"};
    QTest::newRow("whole folder: folders, empty ones, hidden, own link; no fifo, no temporary "
                  "file, no link of another user")
        << QStringList {"*.*"} << true << true << true
        << QStringList {".h.txt", ".own-link", "A.TXT", "b.txt", "c.dat", "sub", "sub/.hs",
               "sub/.hs/e.txt", "sub/d.txt", "sub/empty"};
    QTest::newRow("recursion skips hidden folders")
        << QStringList {"*.*"} << true << false << true
        << QStringList {"A.TXT", "b.txt", "c.dat", "sub", "sub/d.txt", "sub/empty"};
    QTest::newRow("pattern matches in subfolders") << QStringList {"*.txt"} << true << false << true
                                                   << QStringList {"A.TXT", "b.txt", "sub/d.txt"};
    QTest::newRow("bare names") << QStringList {"*.txt"} << true << false << false
                                << QStringList {"A.TXT", "b.txt", "d.txt"};
    QTest::newRow("literal link taken as its file")
        << QStringList {".own-link"} << false << false << true << QStringList {".own-link"};
    QTest::newRow("literal link of another user refused")
        << QStringList {".planted"} << false << false << true << err(ErrorCode::ReadFailed);
    QTest::newRow("literal") << QStringList {"b.txt"} << false << false << true
                             << QStringList {"b.txt"};
    QTest::newRow("literal case counts")
        << QStringList {"B.TXT"} << false << false << true << err(ErrorCode::ReadFailed);
    QTest::newRow("literal hidden is taken")
        << QStringList {".h.txt"} << false << false << true << QStringList {".h.txt"};
    QTest::newRow("literal below the base")
        << QStringList {"sub/d.txt"} << false << false << true << QStringList {"sub/d.txt"};
    QTest::newRow("pattern below the base, folders skipped")
        << QStringList {"sub/*"} << false << true << true << QStringList {"sub/d.txt"};
    QTest::newRow("literal in every subfolder")
        << QStringList {"d.txt"} << true << false << true << QStringList {"sub/d.txt"};
    QTest::newRow("named twice, taken once") << QStringList {"b.txt", "*.txt"} << false << false
                                             << true << QStringList {"b.txt", "A.TXT"};
    QTest::newRow("named fifo refused")
        << QStringList {"fifo"} << false << false << true << err(ErrorCode::ReadFailed);
    QTest::newRow("literal folder without recursion")
        << QStringList {"sub"} << false << false << true << err(ErrorCode::ReadFailed);
    QTest::newRow("wildcard in a folder part")
        << QStringList {"s*/d.txt"} << false << false << true << err(ErrorCode::BadCommandLine);
    QTest::newRow("a folder named with '/': itself, then all it holds") << QStringList {
        "sub/"} << true << false << true << QStringList {"sub", "sub/d.txt", "sub/empty"};
    QTest::newRow("a folder named with '/', hidden included")
        << QStringList {"sub/"} << true << true << true
        << QStringList {"sub", "sub/.hs", "sub/.hs/e.txt", "sub/d.txt", "sub/empty"};
    QTest::newRow("a folder named with '/' below the base")
        << QStringList {"sub/empty/"} << true << false << true << QStringList {"sub/empty"};
    QTest::newRow("a folder named with '/' needs recursion")
        << QStringList {"sub/"} << false << false << true << err(ErrorCode::BadCommandLine);
    QTest::newRow("a link to a folder named with '/'")
        << QStringList {"dirlink/"} << true << false << true << err(ErrorCode::ReadFailed);
    QTest::newRow("a file named with '/'")
        << QStringList {"b.txt/"} << true << false << true << err(ErrorCode::ReadFailed);
    QTest::newRow("pattern matching nothing")
        << QStringList {"*.none"} << true << true << true << err(ErrorCode::NothingMatched);
    QTest::newRow("one of two names matching nothing") << QStringList {
        "b.txt", "*.none"} << false << false << true << err(ErrorCode::NothingMatched);
}

void TestEngineGathering::gather()
{
    QFETCH(QStringList, names);
    QFETCH(bool, recurse);
    QFETCH(bool, hidden);
    QFETCH(bool, relative);
    QFETCH(QStringList, expected);
    if (QByteArray(QTest::currentDataTag()).contains("another user") && ::geteuid() != 0)
        QSKIP("needs root to give a link to another user");
    ArchiveRequest request;
    request.archive = m_tmp.filePath("out.zip").toStdString();
    request.baseFolder = m_tmp.filePath("src/").toStdString();
    for (const QString &n : names)
        request.names.push_back(n.toStdString());
    request.recurse = recurse;
    request.includeHidden = hidden;
    request.relativePaths = relative;
    QStringList got;
    try {
        for (const ArchiveEntry &e : gatherEntries(request))
            got << QString::fromStdString(e.storedPath);
    } catch (const ArchiveError &e) {
        got = QStringList {"error " + QString::number(int(e.code()))};
    }
    QCOMPARE(got, expected);
}

void TestEngineGathering::swappedAfterGathering_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("swap");
    QTest::addColumn<QString>("reason");
    for (const char *format : {"lzh", "zip", "cab"}) {
        const int kind = int(sheaf::test::archiverKind(format));
        // A pipe without a writer would block an open for reading forever.
        QTest::addRow("%s, pipe", format)
            << kind << "pipe" << QStringLiteral("通常のファイルではなくなっています");
        QTest::addRow("%s, link to a file outside", format)
            << kind << "link" << QStringLiteral("ファイルを開けません");
    }
}

void TestEngineGathering::swappedAfterGathering()
{
    QFETCH(int, kind);
    QFETCH(QString, swap);
    QFETCH(QString, reason);
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src"), b = src + "/b.txt";
    sheaf::test::writeFile(src + "/a.txt", "a");
    sheaf::test::writeFile(b, "b");
    sheaf::test::writeFile(tmp.filePath("secret"), "not to be archived");
    const QByteArray bPath = QFile::encodeName(b);
    setAfterGatheringHook([&] {
        QCOMPARE(::unlink(bPath.constData()), 0);
        if (swap == QLatin1String("pipe"))
            QCOMPARE(::mkfifo(bPath.constData(), 0600), 0);
        else
            QCOMPARE(
                ::symlink(QFile::encodeName(tmp.filePath("secret")).constData(), bPath.constData()),
                0);
    });
    const QString archive = tmp.filePath("out/x") + sheaf::test::extensionOf(ArchiverKind(kind));
    QDir().mkpath(tmp.filePath("out"));
    const auto result = sheaf::test::runLine(
        ArchiverKind(kind), sheaf::test::wholeFolderLine(ArchiverKind(kind), archive, src));
    setAfterGatheringHook({});
    QCOMPARE(result.code, ErrorCode::ReadFailed);
    const QString text = QString::fromStdString(result.reason);
    QVERIFY2(text.contains(reason) && text.contains(b), qPrintable(text));
    QCOMPARE(sheaf::test::namesIn(tmp.filePath("out")), QStringList());
}

QTEST_GUILESS_MAIN(TestEngineGathering)
#include "test_engine_gathering.moc"
