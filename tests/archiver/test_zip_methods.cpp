// ZIP members are deflated, or stored where deflate would not shrink them,
// with their sizes in the local header: the method and the header as an
// independent reader reports them, and the bytes read back.

#include "engine_test_support.h"

#include <QRegularExpression>
#include <QTest>

using namespace sheaf::test;

class TestZipMethods : public QObject
{
    Q_OBJECT

private slots:
    void method_data();
    void method();
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
    auto result = runLine(sheaf::archiver::ArchiverKind::Zip,
        "-S \"" + archive + "\" \"" + tmp.filePath("src/") + "\" member.bin");
    QVERIFY2(result.ok(), result.reason.c_str());

    ToolResult listing = runTool("7zz", {"l", "-slt", archive});
    QCOMPARE(listing.exitCode, 0);
    auto m = QRegularExpression("^Method = (\\w+)", QRegularExpression::MultilineOption)
                 .match(QString::fromUtf8(listing.out));
    QVERIFY(m.hasMatch());
    QCOMPARE(m.captured(1), expected);
    // Sizes stand in the local header: no data descriptor follows the data.
    QVERIFY2(!listing.out.contains("Descriptor"), listing.out.constData());
    const QString failure = extractWith("7zz", archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(readFile(tmp.filePath("out/member.bin")), content);
}

QTEST_GUILESS_MAIN(TestZipMethods)
#include "test_zip_methods.moc"
