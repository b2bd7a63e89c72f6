// Cabinet members carry DOS attributes: read-only from the file's
// permissions, hidden for names starting with '.', archive always. An add
// keeps each kept member's name bytes and UTF-8 mark as they were.

#include "support/byte_edits.h"
#include "support/command_lines.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QTemporaryDir>
#include <QTest>

using namespace sheaf::test;
using sheaf::archiver::ArchiverKind;

class TestCabAttributes : public QObject
{
    Q_OBJECT

private slots:
    void attributes_data();
    void attributes();
    void addKeepsNameMarks_data();
    void addKeepsNameMarks();
};

namespace {

// Name -> attributes of every file entry of a cabinet.
std::map<QByteArray, int> fileAttributes(const QByteArray &cab)
{
    std::map<QByteArray, int> out;
    qsizetype at = qsizetype(leAt(cab, 16, 4));
    for (int i = int(leAt(cab, 28, 2)); i > 0; --i) {
        const qsizetype end = cab.indexOf('\0', at + 16);
        out[cab.mid(at + 16, end - at - 16)] = int(leAt(cab, at + 14, 2));
        at = end + 1;
    }
    return out;
}

} // namespace

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
    auto result = runLine(
        ArchiverKind::Cab, oneFileLine(ArchiverKind::Cab, archive, tmp.filePath("src"), name));
    QVERIFY2(result.ok(), result.reason.c_str());
    const auto members = sevenZipMembers(archive);
    QCOMPARE(members.size(), 1);
    QCOMPARE(members[0].value("Attributes"), expected);
    const QString failure = extractWith("cabextract", archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(readFile(tmp.filePath("out/" + name)), readFile(file));
}

void TestCabAttributes::addKeepsNameMarks_data()
{
    QTest::addColumn<QByteArray>("keptName"); // stored bytes
    QTest::addColumn<int>("attributes"); // as the other writer stored them
    QTest::addColumn<QString>("newName");
    QTest::addColumn<bool>("replaces"); // newName is keptName's path
    const QByteArray sjis = "\x93\xFA\x96\x7B.txt"; // 日本.txt in code page 932
    QTest::newRow("code page 932 name") << sjis << 0x20 << "new.txt" << false;
    QTest::newRow("UTF-8 name") << QByteArray("caf\xC3\xA9.txt") << 0xA0 << "new.txt" << false;
    QTest::newRow("code page 932 name replaced") << sjis << 0x21 << "日本.txt" << true;
}

void TestCabAttributes::addKeepsNameMarks()
{
    QFETCH(QByteArray, keptName);
    QFETCH(int, attributes);
    QFETCH(QString, newName);
    QFETCH(bool, replaces);
    SHEAF_REQUIRE_TOOL("gcab");
    QTemporaryDir tmp;
    const QString old = tmp.filePath("old.cab"), added = tmp.filePath("added.cab");
    // gcab takes names from the disk and marks those not ASCII as UTF-8:
    // the member is made under a stand-in of the same length, then given
    // its name and mark as Japanese Windows' writer leaves them.
    const QByteArray standIn = QByteArray(keptName.size() - 4, 'X') + ".txt";
    writeFile(tmp.filePath("work/plain.txt"), "plain");
    writeFile(tmp.filePath("work/" + QString::fromLatin1(standIn)), "old");
    ToolResult made = runTool(
        "gcab", {"-c", "-n", old, "plain.txt", QString::fromLatin1(standIn)}, tmp.filePath("work"));
    QVERIFY2(made.exitCode == 0, made.err.constData());
    QByteArray cab = readFile(old);
    const qsizetype name = cab.indexOf(standIn + '\0');
    cab.replace(name, keptName.size(), keptName);
    cab[name - 2] = char(attributes);
    writeFile(old, cab);
    QCOMPARE(fileAttributes(cab)[keptName], attributes);

    writeFile(tmp.filePath("new/") + newName, "new");
    QVERIFY(QFile::copy(old, added));
    const auto result = runLine(
        ArchiverKind::Cab, oneFileLine(ArchiverKind::Cab, added, tmp.filePath("new"), newName));
    QVERIFY2(result.ok(), result.reason.c_str());
    const auto marks = fileAttributes(readFile(added));
    QCOMPARE(marks.count(keptName), size_t(replaces ? 0 : 1));
    if (!replaces)
        QCOMPARE(marks.at(keptName), attributes);
    QCOMPARE(marks.at("plain.txt"), 0x20);

    for (const QString reader : {"cabextract", "7zz", "bsdtar"}) {
        SHEAF_REQUIRE_TOOL(reader);
        const QString before = tmp.filePath("before-" + reader),
                      after = tmp.filePath("after-" + reader);
        const RemoveTreeLater cleanBefore(before), cleanAfter(after);
        QCOMPARE(extractWith(reader, old, before), QString());
        QCOMPARE(extractWith(reader, added, after), QString());
        RawTree expected = readRawTree(before.toStdString());
        if (replaces)
            std::erase_if(expected.files, [](const auto &f) { return f.second == "old"; });
        expected.files[newName.toStdString()] = "new";
        QVERIFY2(readRawTree(after.toStdString()).files == expected.files, qPrintable(reader));
    }
}

QTEST_GUILESS_MAIN(TestCabAttributes)
#include "test_cab_attributes.moc"
