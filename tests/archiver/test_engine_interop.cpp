// End to end through runCommandLine for LZH, ZIP and CAB: the window's own
// lines, every archive extracted by independent readers and compared byte
// for byte with its sources.

#include "archiver/fault_injection.h"
#include "engine_test_support.h"

#include <QTest>
#include <unistd.h>

using namespace sheaf::test;
using sheaf::archiver::ArchiverKind;

namespace {

struct Format
{
    ArchiverKind kind;
    QString extension;
    QString filePrefix; // the window's prefix for one file
    QString folderPrefix; // ... and for a whole folder
};

Format formatOf(const QString &name)
{
    if (name == QLatin1String("lzh"))
        return {ArchiverKind::Lzh, ".lzh", "a -a1 -r0 ", "a -a2 -r2x1 "};
    if (name == QLatin1String("zip"))
        return {ArchiverKind::Zip, ".zip", "-S ", "-r -S "};
    return {ArchiverKind::Cab, ".cab", "-a ", "-a -r "};
}

QString fileLine(
    const Format &f, const QString &archiveBase, const QString &dir, const QString &file)
{
    return f.filePrefix + '"' + archiveBase + f.extension + "\" \"" + dir + "/\" \"" + file + '"';
}

QString folderLine(const Format &f, const QString &archiveBase, const QString &dir)
{
    return f.folderPrefix + '"' + archiveBase + f.extension + "\" \"" + dir + "/\" *.*";
}

// Every (format, reader) pair the formats are checked with.
void addReaderRows()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("reader");
    const QList<QPair<QString, QStringList>> readers = {
        {"lzh", {"lhasa", "7zz", "bsdtar", "unar", "sheaf"}},
        {"zip", {"unzip", "7zz", "bsdtar"}},
        {"cab", {"cabextract", "7zz", "bsdtar"}},
    };
    for (const auto &[format, list] : readers)
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

// Readers that do not convert LZH names write names that are not UTF-8,
// which QDir cannot remove; rm can.
struct RemoveTreeOnExit
{
    QString path;
    ~RemoveTreeOnExit() { runTool("rm", {"-rf", path}); }
};

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
    const Format f = formatOf(format);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data");
    writeMatrix(data);
    if (format == QLatin1String("lzh")) // see comparableName
        QFile::remove(data + QStringLiteral("/한국어-ŰŐ.txt"));
    // A temporary file left by a killed run is neither taken nor removed.
    const QString stale = "." + QStringLiteral("data") + f.extension + ".sheaf-tmp-Zz0123";
    writeFile(data + '/' + stale, "stale");
    const QStringList before = listTree(data);

    // The second run adds to the archive that the first left in the folder.
    for (int run = 0; run < 2; ++run) {
        auto result = runLine(f.kind, folderLine(f, data + "/data", data));
        QVERIFY2(result.ok(), result.reason.c_str());
    }
    QStringList expectedListing = before;
    expectedListing << "data" + f.extension;
    expectedListing.sort();
    QCOMPARE(listTree(data), expectedListing); // no temporary file left

    const QString expected = tmp.filePath("expected");
    copyTree(data, expected, {"data" + f.extension, stale});
    if (format == QLatin1String("cab"))
        removeEmptyFolders(expected);
    const QString out = tmp.filePath("out");
    RemoveTreeOnExit removeOut {out};
    const QString failure = extractWith(reader, data + "/data" + f.extension, out);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    dropIncomparableNames(format, reader, expected);
    dropIncomparableNames(format, reader, out);
    const QStringList diffs = compareTrees(expected, out);
    QVERIFY2(diffs.isEmpty(), qPrintable(diffs.join('\n')));
    setTreeTime(expected, matrixTime());
    const QStringList times = timeDifferences(expected, out);
    QVERIFY2(times.isEmpty(), qPrintable(times.join('\n')));
}

void TestEngineInterop::singleFiles_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    const QList<QPair<QString, QStringList>> readers = {
        {"lzh", {"lhasa", "7zz", "bsdtar", "unar"}},
        {"zip", {"unzip", "7zz", "bsdtar"}},
        {"cab", {"cabextract", "7zz", "bsdtar"}},
    };
    const QList<QPair<QString, QByteArray>> files = {
        {"EMPTY.TXT", QByteArray()},
        {"random.bin", randomBytes(200 * 1024 + 5, 3)},
        {QStringLiteral("写真 01.TXT"), QByteArray(70000, 'j')},
        {QStringLiteral("Ωμέγα.txt"), "greek, outside cp932"},
        // Form D, as a Mac names files: kept so, not turned into form C.
        {QStringLiteral("カ\u3099イト\u3099.txt"), "decomposed"},
    };
    for (const auto &[format, list] : readers) {
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
    const Format f = formatOf(format);
    QTemporaryDir tmp;
    writeFile(tmp.filePath("src/" + name), content);
    writeFile(tmp.filePath("src/other.txt"), "not asked for");
    setTreeTime(tmp.filePath("src"), matrixTime());
    QDir().mkpath(tmp.filePath("arc"));
    const QString archiveBase = tmp.filePath("arc/") + QFileInfo(name).completeBaseName();

    auto result = runLine(f.kind, fileLine(f, archiveBase, tmp.filePath("src"), name));
    QVERIFY2(result.ok(), result.reason.c_str());
    QCOMPARE(listTree(tmp.filePath("arc")),
        QStringList {QFileInfo(archiveBase).fileName() + f.extension});
    const QString failure = extractWith(reader, archiveBase + f.extension, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(listTree(tmp.filePath("out")), QStringList {name});
    QCOMPARE(readFile(tmp.filePath("out/" + name)), content);
    QVERIFY(qAbs(QFileInfo(tmp.filePath("out/" + name)).lastModified().secsTo(matrixTime())) <= 2);
}

void TestEngineInterop::addToExisting()
{
    QFETCH(QString, format);
    QFETCH(QString, reader);
    SHEAF_REQUIRE_TOOL(reader);
    const Format f = formatOf(format);
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src");
    writeFile(src + "/a.txt", "first a");
    writeFile(src + "/b.txt", "first b");
    writeFile(src + "/sub/c.bin", randomBytes(40000, 9));
    setTreeTime(src, matrixTime()); // kept members must keep their times
    const QString archiveBase = tmp.filePath("set");
    auto result = runLine(f.kind, folderLine(f, archiveBase, src));
    QVERIFY2(result.ok(), result.reason.c_str());

    // b replaced, d added, a and sub/c kept.
    writeFile(src + "/b.txt", "second b, longer than the first");
    writeFile(src + "/d.txt", QByteArray(5000, 'd'));
    result = runLine(f.kind, fileLine(f, archiveBase, src, "b.txt"));
    QVERIFY2(result.ok(), result.reason.c_str());
    result = runLine(f.kind, fileLine(f, archiveBase, src, "d.txt"));
    QVERIFY2(result.ok(), result.reason.c_str());
    QCOMPARE(listTree(tmp.path()).filter(".sheaf-tmp-"), QStringList());

    const QString failure = extractWith(reader, archiveBase + f.extension, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QStringList diffs = compareTrees(src, tmp.filePath("out"));
    QVERIFY2(diffs.isEmpty(), qPrintable(diffs.join('\n')));
    const QStringList times = timeDifferences(src, tmp.filePath("out"));
    QVERIFY2(times.isEmpty(), qPrintable(times.join('\n')));
}

void TestEngineInterop::hiddenEntries_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<bool>("hiddenKept");
    QTest::newRow("lzh -a0 skips") << "lzh"
                                   << "a -a0 -r2x1 " << false;
    QTest::newRow("lzh -a1 keeps") << "lzh"
                                   << "a -a1 -r2x1 " << true;
    QTest::newRow("lzh -a2 keeps") << "lzh"
                                   << "a -a2 -r2x1 " << true;
    QTest::newRow("zip without -S skips") << "zip"
                                          << "-r " << false;
    QTest::newRow("zip -S keeps") << "zip"
                                  << "-r -S " << true;
    QTest::newRow("cab always keeps") << "cab"
                                      << "-a -r " << true;
}

void TestEngineInterop::hiddenEntries()
{
    QFETCH(QString, format);
    QFETCH(QString, prefix);
    QFETCH(bool, hiddenKept);
    SHEAF_REQUIRE_TOOL("7zz");
    const Format f = formatOf(format);
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src");
    writeFile(src + "/shown.txt", "shown");
    writeFile(src + "/.hidden.txt", "hidden");
    writeFile(src + "/.hidden folder/inside.txt", "inside a hidden folder");
    writeFile(src + "/sub/.deeper", "hidden below");
    const QString archive = tmp.filePath("h") + f.extension;
    auto result = runLine(f.kind, prefix + '"' + archive + "\" \"" + src + "/\" *.*");
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
    const Format f = formatOf(format);
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src");
    writeFile(src + "/real/file.txt", "real");
    QVERIFY(QFile::link(src, src + "/real/loop")); // a folder link back up: a loop
    QVERIFY(QFile::link(src + "/real/file.txt", src + "/alias.txt"));
    const QString archive = tmp.filePath("l") + f.extension;
    auto result = runLine(f.kind, folderLine(f, tmp.filePath("l"), src));
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
    QTest::newRow("default") << ""
                             << "-lh5-";
    QTest::newRow("-lh5") << "-lh5 "
                          << "-lh5-";
    QTest::newRow("-lh6-") << "-lh6- "
                           << "-lh6-";
    QTest::newRow("-lh7 chained") << "-r0lh7 "
                                  << "-lh7-";
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
    ToolResult listing = runTool("7zz", {"l", "-slt", archive});
    QVERIFY2(listing.out.contains("Method = " + method.toLatin1()), listing.out.constData());
    const QString failure = extractWith("lhasa", archive, tmp.filePath("out"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(readFile(tmp.filePath("out/t.txt")), text);
}

QTEST_GUILESS_MAIN(TestEngineInterop)
#include "test_engine_interop.moc"
