// End to end through runCommandLine for LZH, ZIP and CAB: the window's own
// lines, every archive extracted by independent readers and compared byte
// for byte with its sources.

#include "support/command_lines.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

using namespace sheaf::test;
using sheaf::archiver::ArchiverKind;

namespace {

// The contents every format is tried with: an empty file, binary and
// incompressible data, text, Japanese names, a name outside code page 932,
// nested and empty folders, a hidden file, a name with spaces. Every file
// gets the same local modification time.
const QDateTime kMatrixTime(QDate(2021, 3, 4), QTime(5, 6, 8));

void writeMatrix(const QString &root)
{
    QByteArray allBytes;
    for (int i = 0; i < 70000; ++i)
        allBytes += char(i * 7 % 256);
    QByteArray text;
    for (int i = 0; i < 4000; ++i)
        text += "line " + QByteArray::number(i) + " of a compressible text file\n";
    writeFile(root + "/empty.txt", QByteArray());
    writeFile(root + "/binary.bin", allBytes);
    writeFile(root + "/random.bin", randomBytes(300 * 1024, 7));
    writeFile(root + "/text.txt", text);
    writeFile(root + QStringLiteral("/日本語の名前.txt"), QStringLiteral("中身").toUtf8());
    writeFile(root + QStringLiteral("/한국어-ŰŐ.txt"), "outside cp932");
    writeFile(root + "/with space.txt", "spaces");
    writeFile(root + "/.hidden", "hidden");
    writeFile(root + QStringLiteral("/nested/深い/deepest/file.txt"), text.left(999));
    QDir().mkpath(root + "/empty folder");
    setTreeTime(root, kMatrixTime);
}

// Files whose modification time differs from the expected tree's by more
// than the two seconds of DOS time.
QStringList timeDifferences(const QString &expected, const QString &actual)
{
    QStringList diffs;
    for (const QString &rel : listTree(actual)) {
        if (rel.endsWith(QLatin1Char('/')))
            continue;
        QFileInfo e(expected + QLatin1Char('/') + rel), a(actual + QLatin1Char('/') + rel);
        if (qAbs(e.lastModified().secsTo(a.lastModified())) > 2)
            diffs << rel + ": " + e.lastModified().toString(Qt::ISODate) + " became "
                    + a.lastModified().toString(Qt::ISODate);
    }
    return diffs;
}

// Every (format, reader) pair the formats are checked with.
const QList<QPair<QString, QStringList>> kReaders = {
    {"lzh", {"lhasa", "7zz", "bsdtar", "unar", "sheaf"}},
    {"zip", {"unzip", "7zz", "bsdtar"}},
    {"cab", {"cabextract", "7zz", "bsdtar"}},
};

void addReaderRows()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("reader");
    for (const auto &[format, list] : kReaders)
        for (const QString &reader : list)
            QTest::addRow("%s by %s", qPrintable(format), qPrintable(reader)) << format << reader;
}

// LZH stores names in code page 932: of our readers only unar turns them back
// into Unicode, and a name outside code page 932 cannot come back as it was
// (the LZH writer's own tests cover what it becomes). Such names are left out
// of the LZH comparisons.
bool isAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; });
}

bool isInCp932(const QString &text)
{
    static const QString outside = QStringLiteral("한국어ŰŐέ\u3099");
    return std::none_of(text.begin(), text.end(), [](QChar c) { return outside.contains(c); });
}

bool comparableName(const QString &format, const QString &reader, const QString &name)
{
    // libarchive's readers give every name in form C.
    if (reader == QLatin1String("bsdtar") && name.normalized(QString::NormalizationForm_C) != name)
        return false;
    if (format != QLatin1String("lzh"))
        return true;
    // Ours gives back the Unicode names of the 0x44/0x45 headers.
    return isAscii(name) || reader == kOurDecoder
        || (reader == QLatin1String("unar") && isInCp932(name));
}

void dropIncomparableNames(const QString &format, const QString &reader, const QString &root)
{
    for (const QString &rel : listTree(root)) {
        if (!comparableName(format, reader, rel)) {
            QFileInfo fi(root + '/' + rel);
            if (fi.isDir())
                QDir(fi.filePath()).removeRecursively();
            else
                QFile::remove(fi.filePath());
        }
    }
}

} // namespace

class TestEngineInterop : public QObject
{
    Q_OBJECT

private slots:
    void wholeFolderInsideItself_data() { addReaderRows(); }
    void wholeFolderInsideItself();
    void singleFiles_data();
    void singleFiles();
    void addToExisting_data() { addReaderRows(); }
    void addToExisting();
    void hiddenEntries_data();
    void hiddenEntries();
    void linksAreNotFollowedIntoFolders_data();
    void linksAreNotFollowedIntoFolders();
    void lzhMethodSwitch_data();
    void lzhMethodSwitch();
};

void TestEngineInterop::wholeFolderInsideItself()
{
    QFETCH(QString, format);
    QFETCH(QString, reader);
    SHEAF_REQUIRE_TOOL(reader);
    const ArchiverKind kind = archiverKind(format);
    const QString extension = extensionOf(kind);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data");
    writeMatrix(data);
    if (format == QLatin1String("lzh")) // see comparableName
        QFile::remove(data + QStringLiteral("/한국어-ŰŐ.txt"));
    // A temporary file left by a killed run is neither taken nor removed.
    const QString stale = ".data" + extension + ".sheaf-tmp-Zz0123";
    writeFile(data + '/' + stale, "stale");
    const QStringList before = listTree(data);

    // The second run adds to the archive that the first left in the folder.
    for (int run = 0; run < 2; ++run) {
        auto result = runLine(kind, wholeFolderLine(kind, data + "/data" + extension, data));
        QVERIFY2(result.ok(), result.reason.c_str());
    }
    QStringList expectedListing = before;
    expectedListing << "data" + extension;
    expectedListing.sort();
    QCOMPARE(listTree(data), expectedListing); // no temporary file left

    // What a reader should give back: the folder without the archive and the
    // temporary file, and for a cabinet, which keeps no folders, without
    // the empty ones.
    const QString expected = tmp.filePath("expected");
    writeMatrix(expected);
    if (format == QLatin1String("lzh"))
        QFile::remove(expected + QStringLiteral("/한국어-ŰŐ.txt"));
    if (format == QLatin1String("cab"))
        QDir(expected + "/empty folder").removeRecursively();
    const QString out = tmp.filePath("out");
    const RemoveTreeLater removeOut(out);
    const QString failure = extractWith(reader, data + "/data" + extension, out);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    dropIncomparableNames(format, reader, expected);
    dropIncomparableNames(format, reader, out);
    SHEAF_NO_DIFFERENCES(compareTrees(expected, out));
    SHEAF_NO_DIFFERENCES(timeDifferences(expected, out));
}

void TestEngineInterop::singleFiles_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    const QList<QPair<QString, QByteArray>> files = {
        {"EMPTY.TXT", QByteArray()},
        {"random.bin", randomBytes(200 * 1024 + 5, 3)},
        {QStringLiteral("写真 01.TXT"), QByteArray(70000, 'j')},
        {QStringLiteral("Ωμέγα.txt"), "greek, outside cp932"},
        // Form D, as a Mac names files: kept so, not turned into form C.
        {QStringLiteral("カ\u3099イト\u3099.txt"), "decomposed"},
    };
    for (const auto &[format, list] : kReaders) {
        for (const QString &reader : list) {
            for (const auto &[name, content] : files) {
                if (!comparableName(format, reader, name))
                    continue;
                QTest::addRow(
                    "%s by %s: %s", qPrintable(format), qPrintable(reader), qPrintable(name))
                    << format << reader << name << content;
            }
        }
    }
}

void TestEngineInterop::singleFiles()
{
    QFETCH(QString, format);
    QFETCH(QString, reader);
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    SHEAF_REQUIRE_TOOL(reader);
    const ArchiverKind kind = archiverKind(format);
    QTemporaryDir tmp;
    writeFile(tmp.filePath("src/" + name), content, kMatrixTime);
    writeFile(tmp.filePath("src/other.txt"), "not asked for");
    QDir().mkpath(tmp.filePath("arc"));
    const QString archive
        = tmp.filePath("arc/") + QFileInfo(name).completeBaseName() + extensionOf(kind);

    auto result = runLine(kind, oneFileLine(kind, archive, tmp.filePath("src"), name));
    QVERIFY2(result.ok(), result.reason.c_str());
    QCOMPARE(listTree(tmp.filePath("arc")), QStringList {QFileInfo(archive).fileName()});
    const QString failure = extractWith(reader, archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(listTree(tmp.filePath("out")), QStringList {name});
    QCOMPARE(readFile(tmp.filePath("out/" + name)), content);
    QVERIFY(qAbs(QFileInfo(tmp.filePath("out/" + name)).lastModified().secsTo(kMatrixTime)) <= 2);
}

void TestEngineInterop::addToExisting()
{
    QFETCH(QString, format);
    QFETCH(QString, reader);
    SHEAF_REQUIRE_TOOL(reader);
    const ArchiverKind kind = archiverKind(format);
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src");
    writeFile(src + "/a.txt", "first a");
    writeFile(src + "/b.txt", "first b");
    writeFile(src + "/sub/c.bin", randomBytes(40000, 9));
    setTreeTime(src, kMatrixTime); // kept members must keep their times
    const QString archive = tmp.filePath("set") + extensionOf(kind);
    auto result = runLine(kind, wholeFolderLine(kind, archive, src));
    QVERIFY2(result.ok(), result.reason.c_str());

    // b replaced, d added, a and sub/c kept.
    writeFile(src + "/b.txt", "second b, longer than the first");
    writeFile(src + "/d.txt", QByteArray(5000, 'd'));
    result = runLine(kind, oneFileLine(kind, archive, src, "b.txt"));
    QVERIFY2(result.ok(), result.reason.c_str());
    result = runLine(kind, oneFileLine(kind, archive, src, "d.txt"));
    QVERIFY2(result.ok(), result.reason.c_str());
    QCOMPARE(listTree(tmp.path()).filter(".sheaf-tmp-"), QStringList());

    const QString failure = extractWith(reader, archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    SHEAF_NO_DIFFERENCES(compareTrees(src, tmp.filePath("out")));
    SHEAF_NO_DIFFERENCES(timeDifferences(src, tmp.filePath("out")));
}

void TestEngineInterop::hiddenEntries_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<bool>("hiddenKept");
    const struct
    {
        const char *row, *format, *prefix;
        bool hiddenKept;
    } rows[] = {
        {"lzh -a0 skips", "lzh", "a -a0 -r2x1 ", false},
        {"lzh -a1 keeps", "lzh", "a -a1 -r2x1 ", true},
        {"lzh -a2 keeps", "lzh", "a -a2 -r2x1 ", true},
        {"zip without -S skips", "zip", "-r ", false},
        {"zip -S keeps", "zip", "-r -S ", true},
        {"cab always keeps", "cab", "-a -r ", true},
    };
    for (const auto &r : rows)
        QTest::newRow(r.row) << QString(r.format) << QString(r.prefix) << r.hiddenKept;
}

void TestEngineInterop::hiddenEntries()
{
    QFETCH(QString, format);
    QFETCH(QString, prefix);
    QFETCH(bool, hiddenKept);
    SHEAF_REQUIRE_TOOL("7zz");
    const ArchiverKind kind = archiverKind(format);
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src");
    writeFile(src + "/shown.txt", "shown");
    writeFile(src + "/.hidden.txt", "hidden");
    writeFile(src + "/.hidden folder/inside.txt", "inside a hidden folder");
    writeFile(src + "/sub/.deeper", "hidden below");
    const QString archive = tmp.filePath("h") + extensionOf(kind);
    auto result = runLine(kind, prefix + '"' + archive + "\" \"" + src + "/\" *.*");
    QVERIFY2(result.ok(), result.reason.c_str());
    const QString failure = extractWith("7zz", archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QStringList expected = hiddenKept ? QStringList {".hidden folder/", ".hidden folder/inside.txt",
                               ".hidden.txt", "shown.txt", "sub/", "sub/.deeper"}
                                      : QStringList {"shown.txt", "sub/"};
    QCOMPARE(listTree(tmp.filePath("out")), expected);
}

void TestEngineInterop::linksAreNotFollowedIntoFolders_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("lzh") << "lzh";
    QTest::newRow("zip") << "zip";
    QTest::newRow("cab") << "cab";
}

void TestEngineInterop::linksAreNotFollowedIntoFolders()
{
    QFETCH(QString, format);
    SHEAF_REQUIRE_TOOL("7zz");
    const ArchiverKind kind = archiverKind(format);
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src");
    writeFile(src + "/real/file.txt", "real");
    QVERIFY(QFile::link(src, src + "/real/loop")); // a folder link back up: a loop
    QVERIFY(QFile::link(src + "/real/file.txt", src + "/alias.txt"));
    const QString archive = tmp.filePath("l") + extensionOf(kind);
    auto result = runLine(kind, wholeFolderLine(kind, archive, src));
    QVERIFY2(result.ok(), result.reason.c_str());
    const QString failure = extractWith("7zz", archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(listTree(tmp.filePath("out")), (QStringList {"alias.txt", "real/", "real/file.txt"}));
    QCOMPARE(readFile(tmp.filePath("out/alias.txt")), QByteArray("real"));
}

void TestEngineInterop::lzhMethodSwitch_data()
{
    QTest::addColumn<QString>("switchText");
    QTest::addColumn<QString>("method");
    for (const auto &[row, switchText, method] : {std::tuple {"default", "", "-lh5-"},
             std::tuple {"-lh5", "-lh5 ", "-lh5-"}, std::tuple {"-lh6-", "-lh6- ", "-lh6-"},
             std::tuple {"-lh7 chained", "-r0lh7 ", "-lh7-"}})
        QTest::newRow(row) << QString(switchText) << QString(method);
}

void TestEngineInterop::lzhMethodSwitch()
{
    QFETCH(QString, switchText);
    QFETCH(QString, method);
    SHEAF_REQUIRE_TOOL("7zz");
    SHEAF_REQUIRE_TOOL("lhasa");
    QTemporaryDir tmp;
    QByteArray text;
    for (int i = 0; i < 3000; ++i)
        text += "line " + QByteArray::number(i % 97) + " repeats\n";
    writeFile(tmp.filePath("src/t.txt"), text);
    const QString archive = tmp.filePath("m.lzh");
    auto result = runLine(ArchiverKind::Lzh,
        "a " + switchText + '"' + archive + "\" \"" + tmp.filePath("src/") + "\" t.txt");
    QVERIFY2(result.ok(), result.reason.c_str());
    QCOMPARE(sevenZipMembers(archive).value(0).value("Method"), method);
    const QString failure = extractWith("lhasa", archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(readFile(tmp.filePath("out/t.txt")), text);
}

QTEST_GUILESS_MAIN(TestEngineInterop)
#include "test_engine_interop.moc"
