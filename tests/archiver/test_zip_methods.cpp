// ZIP members are deflated, or stored where deflate would not shrink them,
// with their sizes in the local header: the method and the header as an
// independent reader reports them, and the bytes read back.

#include "support/command_lines.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QTemporaryDir>
#include <QTest>

using namespace sheaf::test;
using sheaf::archiver::ArchiverKind;

class TestZipMethods : public QObject
{
    Q_OBJECT

private slots:
    void method_data();
    void method();
    void moreMembersThanTheClassicEndRecordCounts();
    void keptLinksStayLinks();
};

void TestZipMethods::method_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QByteArray text;
    for (int i = 0; i < 2000; ++i)
        text += "row " + QByteArray::number(i * 37) + ", some words that repeat\n";
    QTest::newRow("empty") << QByteArray() << "Store";
    QTest::newRow("tiny text") << QByteArray("hello") << "Store";
    QTest::newRow("small random") << randomBytes(5000, 1) << "Store";
    QTest::newRow("large random") << randomBytes(700 * 1024, 2) << "Store";
    QTest::newRow("text") << text << "Deflate";
    QTest::newRow("small text") << text.left(600) << "Deflate";
    QTest::newRow("random head, compressible rest")
        << randomBytes(400 * 1024, 3) + QByteArray(3 << 20, '\0') << "Deflate";
    QTest::newRow("compressible head, random rest") << text + randomBytes(1 << 20, 4) << "Deflate";
    QTest::newRow("random repeated: entropy high, matches long")
        << randomBytes(30000, 5).repeated(20) << "Deflate";
}

void TestZipMethods::method()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    SHEAF_REQUIRE_TOOL("7zz");
    QTemporaryDir tmp;
    writeFile(tmp.filePath("src/member.bin"), content);
    const QString archive = tmp.filePath("m.zip");
    auto result = runLine(ArchiverKind::Zip,
        oneFileLine(ArchiverKind::Zip, archive, tmp.filePath("src"), "member.bin"));
    QVERIFY2(result.ok(), result.reason.c_str());
    // Sizes stand in the local header: no data descriptor follows the data.
    const auto members = sevenZipMembers(archive);
    QCOMPARE(members.size(), 1);
    QCOMPARE(members[0].value("Method"), expected);
    QVERIFY2(!members[0].value("Characteristics").contains("Descriptor"),
        qPrintable(members[0].value("Characteristics")));
    const QString failure = extractWith("7zz", archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(readFile(tmp.filePath("out/member.bin")), content);
}

// Over 65535 members need the Zip64 end records, whose offsets move with
// the dropped descriptors too. The members come from an old archive that
// Python's zipfile makes (creating 66000 files costs a minute here), so
// every one of them goes through our writer again.
void TestZipMethods::moreMembersThanTheClassicEndRecordCounts()
{
    SHEAF_REQUIRE_TOOL("python3");
    SHEAF_REQUIRE_TOOL("unzip");
    QTemporaryDir tmp;
    const QString archive = tmp.filePath("many.zip");
    const QString script = "import sys, zipfile\n"
                           "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                           "    for i in range(66000):\n"
                           "        z.writestr('d%d/f%d' % (i // 1000, i), '%d\\n' % i)\n";
    QCOMPARE(runTool("python3", {"-c", script, archive}).exitCode, 0);
    writeFile(tmp.filePath("src/new.txt"), "66000\n");
    auto result
        = runLine(ArchiverKind::Zip, "-r \"" + archive + "\" \"" + tmp.filePath("src/") + "\" *.*");
    QVERIFY2(result.ok(), result.reason.c_str());
    // Every member's bytes, as the reader gives them, one line each.
    ToolResult all = runTool("unzip", {"-p", archive});
    QCOMPARE(all.exitCode, 0);
    QList<QByteArray> lines = all.out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), 66001);
    std::sort(lines.begin(), lines.end(),
        [](const QByteArray &a, const QByteArray &b) { return a.toInt() < b.toInt(); });
    for (int i = 0; i <= 66000; ++i)
        QCOMPARE(lines[i], QByteArray::number(i));
}

// Old members are written again; a symbolic link must not become a file
// holding its target's name.
void TestZipMethods::keptLinksStayLinks()
{
    SHEAF_REQUIRE_TOOL("zip");
    SHEAF_REQUIRE_TOOL("bsdtar");
    QTemporaryDir tmp;
    writeFile(tmp.filePath("old/target.txt"), "target");
    QVERIFY(QFile::link("target.txt", tmp.filePath("old/link")));
    const QString archive = tmp.filePath("l.zip");
    QCOMPARE(
        runTool("zip", {"-q", "-y", archive, "target.txt", "link"}, tmp.filePath("old")).exitCode,
        0);
    writeFile(tmp.filePath("src/new.txt"), "new");
    auto result = runLine(
        ArchiverKind::Zip, oneFileLine(ArchiverKind::Zip, archive, tmp.filePath("src"), "new.txt"));
    QVERIFY2(result.ok(), result.reason.c_str());
    const QString failure = extractWith("bsdtar", archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(QFileInfo(tmp.filePath("out/link")).symLinkTarget(), tmp.filePath("out/target.txt"));
    QCOMPARE(readFile(tmp.filePath("out/target.txt")), QByteArray("target"));
    QCOMPARE(readFile(tmp.filePath("out/new.txt")), QByteArray("new"));
}

QTEST_GUILESS_MAIN(TestZipMethods)
#include "test_zip_methods.moc"
