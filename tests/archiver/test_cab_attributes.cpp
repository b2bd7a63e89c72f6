// Cabinet members carry DOS attributes: read-only from the file's
// permissions, hidden for names starting with '.', archive always.

#include "engine_test_support.h"

#include <QRegularExpression>
#include <QTest>

using namespace sheaf::test;

class TestCabAttributes : public QObject
{
    Q_OBJECT

private slots:
    void attributes_data();
    void attributes();
};

void TestCabAttributes::attributes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("expected"); // as 7-Zip shows them
    QTest::newRow("plain") << "plain.txt" << false << "A";
    QTest::newRow("read-only") << "locked.txt" << true << "RA";
    QTest::newRow("hidden") << ".dot" << false << "HA";
    QTest::newRow("hidden and read-only") << ".both" << true << "RHA";
}

void TestCabAttributes::attributes()
{
    QFETCH(QString, name);
    QFETCH(bool, readOnly);
    QFETCH(QString, expected);
    SHEAF_REQUIRE_TOOL("7zz");
    SHEAF_REQUIRE_TOOL("cabextract");
    QTemporaryDir tmp;
    const QString file = tmp.filePath("src/" + name);
    writeFile(file, "content of " + name.toUtf8());
    if (readOnly)
        QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QString archive = tmp.filePath("a.cab");
    auto result = runLine(sheaf::archiver::ArchiverKind::Cab,
        "-a \"" + archive + "\" \"" + tmp.filePath("src/") + "\" \"" + name + '"');
    QVERIFY2(result.ok(), result.reason.c_str());

    ToolResult listing = runTool("7zz", {"l", "-slt", archive});
    QCOMPARE(listing.exitCode, 0);
    auto m = QRegularExpression("^Attributes = (\\w*)", QRegularExpression::MultilineOption)
                 .match(QString::fromUtf8(listing.out));
    QVERIFY(m.hasMatch());
    QCOMPARE(m.captured(1), expected);
    const QString failure = extractWith("cabextract", archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(readFile(tmp.filePath("out/" + name)), readFile(file));
}

QTEST_GUILESS_MAIN(TestCabAttributes)
#include "test_cab_attributes.moc"
