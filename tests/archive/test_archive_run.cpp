// The compress run end to end through the engine: every archive it makes is
// extracted by 7zz and compared byte for byte with the source files.

#include "archive/archive_run.h"
#include "archive_reader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sheaf;
using namespace sheaf::test;

namespace {

class Recorder : public ArchiveRunObserver
{
public:
    QStringList refusals, made, counters;
    QString status;
    struct Failure
    {
        QString title, text, detail;
    };
    QList<Failure> failures;
    int starts = 0;

    void refused(const QString &text) override { refusals << text; }
    void started(const QString &statusText) override
    {
        ++starts;
        status = statusText;
    }
    void counterChanged(const QString &counterText, int, int) override { counters << counterText; }
    void archiveMade(const QString &archivePath) override { made << archivePath; }
    void failed(const QString &title, const QString &text, const QString &detail) override
    {
        failures.append({title, text, detail});
    }
    void finished(const QString &statusText) override { status = statusText; }
};

const QString kWaiting = QStringLiteral("圧縮しています、しばらくお待ち下さい");
const QString kDone = QStringLiteral("圧縮しました");

ArchiveRunSettings settingsFor(
    bool name, bool together, bool output = false, const QString &outputFolder = QString())
{
    ArchiveRunSettings s;
    s.archiver = Archiver::Lzh;
    s.name = name;
    s.together = together;
    s.output = output;
    s.outputFolder = outputFolder;
    s.extension = QStringLiteral(".TXT");
    return s;
}

} // namespace

class TestArchiveRun : public QObject
{
    Q_OBJECT
private slots:
    void emptyListDoesNothing();
    void unmarkedEntriesCountButRefuseNothing();
    void togetherAndName_data();
    void togetherAndName();
    void everyArchiverMakesAnArchive_data();
    void everyArchiverMakesAnArchive();
    void nameWithoutCodePage932Form();
    void failureAtThreeOfFiveStops();
    void outputFolderEndingInSeparator();
    void renameNeverReplaces();
    void renameToOwnNameIsNoRename();
    void doubleQuoteRefusedBeforeTheEngine_data();
    void doubleQuoteRefusedBeforeTheEngine();
    void cancelStopsBeforeTheNextEntry();
};

void TestArchiveRun::emptyListDoesNothing()
{
    CandidateList list;
    Recorder rec;
    QCOMPARE(
        runArchive(list, settingsFor(true, true, true, "/nowhere"), rec), ArchiveRunOutcome::Empty);
    QCOMPARE(rec.starts, 0);
    QVERIFY(rec.counters.isEmpty());
    QVERIFY(rec.status.isEmpty());
}

void TestArchiveRun::unmarkedEntriesCountButRefuseNothing()
{
    // 1234 entries of one folder that does not exist, none marked: no check
    // refuses, nothing is touched, and the counter runs to the end.
    CandidateList list;
    for (int i = 1; i <= 1234; ++i) {
        list.append(QStringLiteral("/nonexistent/d/"), QStringLiteral("same.TXT"));
        list.FileMark[i].clear();
    }
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(true, true, true, "/nonexistent/out"), rec),
        ArchiveRunOutcome::Done);
    QCOMPARE(rec.counters.size(), 1234);
    QCOMPARE(rec.counters[0], QStringLiteral("(1/1,234)"));
    QCOMPARE(rec.counters[999], QStringLiteral("(1,000/1,234)"));
    QCOMPARE(rec.counters.last(), QStringLiteral("(1,234/1,234)"));
    QVERIFY(rec.made.isEmpty());
    QVERIFY(rec.failures.isEmpty());
    QCOMPARE(rec.status, kDone);
    QCOMPARE(list.FileName[1], QStringLiteral("same.TXT"));
}

void TestArchiveRun::togetherAndName_data()
{
    QTest::addColumn<bool>("together");
    QTest::addColumn<bool>("name");
    QTest::addColumn<QString>("archive"); // below the data folder
    QTest::addColumn<QStringList>("members"); // expected contents, sources below "photos/"
    QTest::addColumn<QString>("storedName"); // the name the marked file has afterwards

    QTest::newRow("file alone, after the file")
        << false << false << "photos/IMG01.lzh" << QStringList {"IMG01.TXT"} << "IMG01.TXT";
    QTest::newRow("file alone, after the folder")
        << false << true << "photos/photos.lzh" << QStringList {"photos.TXT"} << "photos.TXT";
    QTest::newRow("whole folder, after the file")
        << true << false << "photos/IMG01.lzh"
        << QStringList {"IMG01.TXT", "other.dat", "sub/deep.bin", "empty/"} << "IMG01.TXT";
    QTest::newRow("whole folder, after the folder")
        << true << true << "photos/photos.lzh"
        << QStringList {"photos.TXT", "other.dat", "sub/deep.bin", "empty/"} << "photos.TXT";
}

void TestArchiveRun::togetherAndName()
{
    SHEAF_REQUIRE_TOOL("unar");
    QFETCH(bool, together);
    QFETCH(bool, name);
    QFETCH(QString, archive);
    QFETCH(QStringList, members);
    QFETCH(QString, storedName);

    QTemporaryDir tmp;
    const QString data = tmp.filePath(QStringLiteral("data"));
    const QByteArray img = randomBytes(70000, 1) + QByteArray(50000, 'a');
    writeFile(data + "/photos/IMG01.TXT", img);
    writeFile(data + "/photos/other.dat", randomBytes(3000, 2));
    writeFile(data + "/photos/sub/deep.bin", QByteArray("deep\n"));
    QDir().mkpath(data + "/photos/empty");
    writeFile(data + "/docs/a.TXT", QByteArray("second folder\r\n"));

    CandidateList list;
    list.append(data + "/docs/", QStringLiteral("a.TXT"));
    list.append(data + "/photos/", QStringLiteral("IMG01.TXT"));
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(name, together), rec), ArchiveRunOutcome::Done);
    QVERIFY(rec.failures.isEmpty());
    QCOMPARE(rec.status, kDone);
    QCOMPARE(list.FileName[2], storedName);
    QVERIFY(QFile::exists(data + "/photos/" + storedName));
    QCOMPARE(rec.made.size(), 2);
    QCOMPARE(rec.made[1], data + "/" + archive);

    // The expected tree: the members as they stand on disk now (the marked
    // file with its original bytes under its new name).
    const QString expected = tmp.filePath(QStringLiteral("expected"));
    for (const QString &m : members) {
        if (m.endsWith(u'/'))
            QDir().mkpath(expected + "/" + m);
        else
            writeFile(expected + "/" + m, readFile(data + "/photos/" + m));
    }
    QCOMPARE(readFile(expected + "/" + storedName), img);
    // Never contains itself, though made inside the folder it holds.
    QCOMPARE(extractAndCompare(data + "/" + archive, expected, tmp.filePath("x")), QStringList());

    const QString docsExpected = tmp.filePath(QStringLiteral("docs-expected"));
    writeFile(docsExpected + (name ? "/docs.TXT" : "/a.TXT"), QByteArray("second folder\r\n"));
    QCOMPARE(extractAndCompare(rec.made[0], docsExpected, tmp.filePath("x")), QStringList());
}

void TestArchiveRun::everyArchiverMakesAnArchive_data()
{
    QTest::addColumn<int>("archiver");
    QTest::addColumn<QString>("extension");
    QTest::newRow("LZH") << int(Archiver::Lzh) << ".lzh";
    QTest::newRow("ZIP") << int(Archiver::Zip) << ".zip";
    QTest::newRow("CAB") << int(Archiver::Cab) << ".cab";
    QTest::newRow("none chosen: LZH") << int(Archiver::None) << ".lzh";
}

void TestArchiveRun::everyArchiverMakesAnArchive()
{
    SHEAF_REQUIRE_TOOL("7zz");
    SHEAF_REQUIRE_TOOL("unar");
    QFETCH(int, archiver);
    QFETCH(QString, extension);
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    writeFile(data + "/f/報告書.TXT", randomBytes(20000, 3));
    QDir().mkpath(out);
    CandidateList list;
    list.append(data + "/f/", QStringLiteral("報告書.TXT"));
    ArchiveRunSettings s = settingsFor(false, false, true, out);
    s.archiver = Archiver(archiver);
    Recorder rec;
    QCOMPARE(runArchive(list, s, rec), ArchiveRunOutcome::Done);
    QCOMPARE(rec.made, QStringList {out + "/報告書" + extension});
    QCOMPARE(extractAndCompare(rec.made[0], data + "/f", tmp.filePath("x")), QStringList());

    // A failure of any archiver is reported as one: the source is gone now.
    QFile::remove(data + "/f/報告書.TXT");
    Recorder again;
    QCOMPARE(runArchive(list, s, again), ArchiveRunOutcome::Stopped);
    QCOMPARE(again.failures.size(), 1);
    QCOMPARE(again.failures[0].title, QStringLiteral("kwSheaf120"));
    QCOMPARE(again.failures[0].text, QStringLiteral("圧縮に失敗しました．"));
    QVERIFY(!again.failures[0].detail.isEmpty());
    QCOMPARE(again.status, kWaiting);
}

void TestArchiveRun::nameWithoutCodePage932Form()
{
    SHEAF_REQUIRE_TOOL("7zz");
    SHEAF_REQUIRE_TOOL("unar");
    // Hangul and an emoji have no code page 932 form; the line reaches the
    // engine in Unicode, so the file is still archived. ZIP keeps the name
    // as it is; LZH readers show the code page 932 stand-in name.
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(QStringLiteral("한국어")) + "/";
    const QString file = QStringLiteral("보고서😀.TXT");
    writeFile(dir + file, QByteArray("unicode names\n"));
    for (Archiver a : {Archiver::Zip, Archiver::Lzh}) {
        CandidateList list;
        list.append(dir, file);
        ArchiveRunSettings s = settingsFor(false, false, true, tmp.filePath("out"));
        QDir().mkpath(s.outputFolder);
        s.archiver = a;
        Recorder rec;
        QCOMPARE(runArchive(list, s, rec), ArchiveRunOutcome::Done);
        QCOMPARE(rec.made.size(), 1);
        if (a == Archiver::Zip) {
            QCOMPARE(extractAndCompare(rec.made[0], dir, tmp.filePath("x")), QStringList());
        } else {
            QString error;
            const QString into = extractArchive(rec.made[0], tmp.filePath("x"), &error);
            QVERIFY2(!into.isEmpty(), qPrintable(error));
            const QStringList got = listTree(into);
            QCOMPARE(got.size(), 1);
            QCOMPARE(readFile(into + "/" + got[0]), QByteArray("unicode names\n"));
        }
    }
}

void TestArchiveRun::failureAtThreeOfFiveStops()
{
    SHEAF_REQUIRE_TOOL("unar");
    // Five folders, names after the folder; the archive of entry 3 cannot be
    // made because a file that is no archive already bears its name.
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    CandidateList list;
    for (int i = 1; i <= 5; ++i) {
        const QString dir = data + QStringLiteral("/f%1/").arg(i);
        writeFile(dir + QStringLiteral("x%1.TXT").arg(i), QByteArray::number(i).repeated(100));
        list.append(dir, QStringLiteral("x%1.TXT").arg(i));
    }
    writeFile(out + "/f3.lzh", QByteArray("not an archive"));
    Recorder rec;
    QCOMPARE(
        runArchive(list, settingsFor(true, false, true, out), rec), ArchiveRunOutcome::Stopped);
    QCOMPARE(rec.made, (QStringList {out + "/f1.lzh", out + "/f2.lzh"}));
    QCOMPARE(rec.counters.last(), QStringLiteral("(3/5)"));
    QCOMPARE(rec.status, kWaiting);
    QCOMPARE(rec.failures.size(), 1);
    QCOMPARE(rec.failures[0].title, QStringLiteral("kwSheaf120"));
    // Entry 3 stays renamed; 4 and 5 are neither renamed nor archived.
    QVERIFY(QFile::exists(data + "/f3/f3.TXT"));
    QVERIFY(QFile::exists(data + "/f4/x4.TXT"));
    QVERIFY(QFile::exists(data + "/f5/x5.TXT"));
    QCOMPARE(list.FileName[4], QStringLiteral("x4.TXT"));
    QCOMPARE(listTree(out), (QStringList {"f1.lzh", "f2.lzh", "f3.lzh"}));
    QCOMPARE(readFile(out + "/f3.lzh"), QByteArray("not an archive"));
    const QString expected = tmp.filePath("expected");
    writeFile(expected + "/f2.TXT", QByteArray("2").repeated(100));
    QCOMPARE(extractAndCompare(out + "/f2.lzh", expected, tmp.filePath("x")), QStringList());
}

void TestArchiveRun::outputFolderEndingInSeparator()
{
    SHEAF_REQUIRE_TOOL("unar");
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out") + "/";
    writeFile(data + "/a.TXT", QByteArray("doubled separator\n"));
    QDir().mkpath(out);
    CandidateList list;
    list.append(data + "/", QStringLiteral("a.TXT"));
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(false, false, true, out), rec), ArchiveRunOutcome::Done);
    QCOMPARE(rec.made, QStringList {out + "/a.lzh"});
    QVERIFY(rec.made[0].contains(QStringLiteral("out//a.lzh")));
    QCOMPARE(extractAndCompare(tmp.filePath("out/a.lzh"), data, tmp.filePath("x")), QStringList());
}

void TestArchiveRun::renameNeverReplaces()
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("photos") + "/";
    writeFile(dir + "IMG01.TXT", QByteArray("marked"));
    writeFile(dir + "photos.TXT", QByteArray("already there"));
    CandidateList list;
    list.append(dir, QStringLiteral("IMG01.TXT"));
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(true, false), rec), ArchiveRunOutcome::Stopped);
    QCOMPARE(rec.failures.size(), 1);
    QCOMPARE(rec.failures[0].title, QStringLiteral("kwSheaf"));
    QVERIFY(rec.failures[0].text.contains(dir + "IMG01.TXT"));
    QVERIFY(rec.failures[0].text.contains(dir + "photos.TXT"));
    QCOMPARE(readFile(dir + "IMG01.TXT"), QByteArray("marked"));
    QCOMPARE(readFile(dir + "photos.TXT"), QByteArray("already there"));
    QCOMPARE(listTree(dir), (QStringList {"IMG01.TXT", "photos.TXT"}));
    QCOMPARE(list.FileName[1], QStringLiteral("IMG01.TXT"));
    QCOMPARE(rec.status, kWaiting);
}

void TestArchiveRun::renameToOwnNameIsNoRename()
{
    SHEAF_REQUIRE_TOOL("unar");
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("photos") + "/";
    writeFile(dir + "photos.TXT", QByteArray("own name"));
    CandidateList list;
    list.append(dir, QStringLiteral("photos.TXT"));
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(true, false), rec), ArchiveRunOutcome::Done);
    QVERIFY(rec.failures.isEmpty());
    QCOMPARE(rec.made, QStringList {dir + "photos.lzh"});
    const QString expected = tmp.filePath("expected");
    writeFile(expected + "/photos.TXT", QByteArray("own name"));
    QCOMPARE(extractAndCompare(rec.made[0], expected, tmp.filePath("x")), QStringList());
}

void TestArchiveRun::doubleQuoteRefusedBeforeTheEngine_data()
{
    QTest::addColumn<QString>("dirName");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("outName");
    QTest::newRow("folder") << "a\"b"
                            << "x.TXT"
                            << "out";
    QTest::newRow("file name") << "d"
                               << "x\" \"y.TXT"
                               << "out";
    QTest::newRow("output folder") << "d"
                                   << "x.TXT"
                                   << "o\"ut";
}

void TestArchiveRun::doubleQuoteRefusedBeforeTheEngine()
{
    QFETCH(QString, dirName);
    QFETCH(QString, fileName);
    QFETCH(QString, outName);
    QTemporaryDir tmp;
    // A clean entry first: it is archived, then the run stops at the quote.
    const QString clean = tmp.filePath("clean") + "/";
    writeFile(clean + "c.TXT", QByteArray("clean"));
    const QString dir = tmp.filePath(dirName) + "/";
    writeFile(dir + fileName, QByteArray("quoted"));
    const QString out = tmp.filePath(outName);
    QDir().mkpath(out);
    CandidateList list;
    list.append(clean, QStringLiteral("c.TXT"));
    list.append(dir, fileName);
    Recorder rec;
    const bool outputQuoted = outName.contains(u'"');
    QCOMPARE(
        runArchive(list, settingsFor(true, false, true, out), rec), ArchiveRunOutcome::Stopped);
    QCOMPARE(rec.failures.size(), 1);
    QCOMPARE(rec.failures[0].title, QStringLiteral("kwSheaf"));
    QVERIFY(rec.failures[0].text.contains(outputQuoted ? out : dir + fileName));
    // Nothing of the refused entry was touched: no rename, no archive.
    QCOMPARE(listTree(dir), QStringList {fileName});
    QCOMPARE(rec.made.size(), outputQuoted ? 0 : 1);
    QCOMPARE(listTree(out), outputQuoted ? QStringList() : QStringList {"clean.lzh"});
}

void TestArchiveRun::cancelStopsBeforeTheNextEntry()
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("d") + "/";
    writeFile(dir + "a.TXT", QByteArray("a"));
    CandidateList list;
    list.append(dir, QStringLiteral("a.TXT"));
    std::atomic<bool> cancel {true};
    ArchiveRunSettings s = settingsFor(false, false);
    s.cancel = &cancel;
    Recorder rec;
    QCOMPARE(runArchive(list, s, rec), ArchiveRunOutcome::Cancelled);
    QVERIFY(rec.failures.isEmpty());
    QCOMPARE(listTree(dir), QStringList {"a.TXT"});
}

QTEST_GUILESS_MAIN(TestArchiveRun)
#include "test_archive_run.moc"
