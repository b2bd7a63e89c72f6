// A recursive scan and a recursive (whole-folder) archive over a tree with
// symbolic-link loops and a branch 40 folders deep: both end, neither
// follows a link into a folder, the deep file is found and archived with its
// full path, and the tree is byte for byte as before.

#include "safety_support.h"
#include "selection/file_scan.h"

#include <QTemporaryDir>
#include <QTest>

using namespace sheaf;
using namespace sheaf::test;

namespace {

constexpr int kDepth = 40;

QString deepFolder()
{
    QString path;
    for (int i = 1; i <= kDepth; ++i)
        path += QStringLiteral("d%1/").arg(i, 2, 10, QLatin1Char('0'));
    return path;
}

// data/top holds a.TXT, sub/b.dat, links that loop back (to itself, to its
// parent, to top from the deep end) and d01/.../d40/deep.TXT.
void makeTree(const QString &top)
{
    writeFile(top + "/a.TXT", "top file\n");
    writeFile(top + "/sub/b.dat", randomBytes(5000, 11));
    writeFile(top + '/' + deepFolder() + "deep.TXT", "forty folders down\n");
    QVERIFY(QFile::link("..", top + "/sub/loop"));
    QVERIFY(QFile::link(".", top + "/sub/self"));
    QVERIFY(QFile::link(top, top + '/' + deepFolder() + "back to top"));
    QVERIFY(QFile::link(top + "/sub/loop/sub/loop", top + "/sub/chain"));
}

} // namespace

class TestDeepTrees : public QObject
{
    Q_OBJECT
private slots:
    void scanEndsAndFindsTheDeepFile();
    void wholeFolderArchive_data();
    void wholeFolderArchive();
};

void TestDeepTrees::scanEndsAndFindsTheDeepFile()
{
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data");
    makeTree(data + "/top");
    const auto before = hashTree(data);
    CandidateList list;
    const ScanResult result = FileScan(data, 1, QStringLiteral(".TXT"), list);
    QVERIFY(!result.selectionFolderUnreadable && !result.listFull);
    QStringList found;
    for (int k = 1; k <= list.FileCount; ++k)
        found << list.fullPath(k);
    found.sort();
    QCOMPARE(
        found, (QStringList {data + "/top/a.TXT", data + "/top/" + deepFolder() + "deep.TXT"}));
    SHEAF_NO_DIFFERENCES(treeDifferences(before, hashTree(data)));
}

void TestDeepTrees::wholeFolderArchive_data()
{
    QTest::addColumn<int>("archiver");
    QTest::newRow("lzh") << int(ArchiverKind::Lzh);
    QTest::newRow("zip") << int(ArchiverKind::Zip);
    QTest::newRow("cab") << int(ArchiverKind::Cab);
}

void TestDeepTrees::wholeFolderArchive()
{
    SHEAF_REQUIRE_READERS();
    QFETCH(int, archiver);
    const ArchiverKind a = ArchiverKind(archiver);
    QTemporaryDir tmp;
    const QString top = tmp.filePath("data/top"), out = tmp.filePath("out");
    makeTree(top);
    QDir().mkpath(out);
    CandidateList list;
    list.append(top + '/', QStringLiteral("a.TXT"));
    const auto before = hashTree(top);

    RunRecorder rec;
    QCOMPARE(runArchive(list, runSettings(a, out, false, true), rec), ArchiveRunOutcome::Done);
    QCOMPARE(rec.made, QStringList {out + "/a" + archiveExtension(a)});
    SHEAF_NO_DIFFERENCES(treeDifferences(before, hashTree(top)));

    // Every file once, the deep one with all 40 folders; no link followed.
    const QString expected = tmp.filePath("expected");
    writeFile(expected + "/a.TXT", "top file\n");
    writeFile(expected + "/sub/b.dat", randomBytes(5000, 11));
    writeFile(expected + '/' + deepFolder() + "deep.TXT", "forty folders down\n");
    SHEAF_NO_DIFFERENCES(extractAndCompare(rec.made[0], expected, tmp.filePath("x")));
}

QTEST_GUILESS_MAIN(TestDeepTrees)
#include "test_deep_trees.moc"
