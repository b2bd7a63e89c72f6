// The compress run end to end through the engine: every archive it makes is
// extracted by unar (LZH) or 7zz (ZIP, CAB) and compared byte for byte with
// the source files.

#include "archive/archive_run.h"
#include "archive/run_texts.h"
#include "archive_reader.h"
#include "selection/name_text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <filesystem>
#include <fstream>

using namespace sheaf;
using namespace sheaf::test;

namespace {

using Members = QMap<QString, QByteArray>;

class Recorder : public ArchiveRunObserver
{
public:
    QStringList refusals, made, counters, failures; // failures: "title|text|detail"
    QString status;

    void refused(const QString &text) override { refusals << text; }
    void started(const QString &statusText) override { status = statusText; }
    void counterChanged(const QString &counterText, int, int) override { counters << counterText; }
    void archiveMade(const QString &archivePath) override { made << archivePath; }
    void failed(FailureKind kind, const QString &text, const QString &detail) override
    {
        failures << run_texts::failureTitle(kind) + u'|' + text + u'|' + detail;
    }
    void finished(const QString &statusText) override { status = statusText; }
};

const QString kWaiting = QStringLiteral("圧縮しています、しばらくお待ち下さい");
const QString kDone = QStringLiteral("圧縮しました");
const QString kFailed = QStringLiteral("kwSheaf120|圧縮に失敗しました．|");

ArchiveRunSettings settingsFor(bool name, bool together, const QString &outputFolder = QString(),
    ArchiverKind archiver = ArchiverKind::Lzh)
{
    ArchiveRunSettings s;
    s.archiver = archiver;
    s.name = name;
    s.together = together;
    s.output = !outputFolder.isEmpty();
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
    void sameArchiveTwiceInOneRunStops();
    void caseTwinsShareOneArchive();
    void refusedBeforeTouching_data();
    void refusedBeforeTouching();
    void parallelFailureAtThreeOfEight();
    void cancelDuringParallelRun();
};

void TestArchiveRun::emptyListDoesNothing()
{
    CandidateList list;
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(true, true, "/nowhere"), rec), ArchiveRunOutcome::Empty);
    QVERIFY(rec.counters.isEmpty() && rec.status.isEmpty());
}

void TestArchiveRun::unmarkedEntriesCountButRefuseNothing()
{
    // 1234 unmarked entries of one folder that does not exist: no check
    // refuses, nothing is touched, and the counter runs to the end.
    CandidateList list;
    for (int i = 1; i <= 1234; ++i) {
        list.append(QStringLiteral("/nonexistent/d/"), QStringLiteral("same.TXT"));
        list.FileMark[i].clear();
    }
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(true, true, "/nonexistent/out"), rec),
        ArchiveRunOutcome::Done);
    QCOMPARE(rec.counters.size(), 1234);
    QCOMPARE(rec.counters[0], QStringLiteral("(1/1,234)"));
    QCOMPARE(rec.counters[999], QStringLiteral("(1,000/1,234)"));
    QVERIFY(rec.made.isEmpty() && rec.failures.isEmpty());
    QCOMPARE(rec.status, kDone);
}

void TestArchiveRun::togetherAndName_data()
{
    QTest::addColumn<bool>("together");
    QTest::addColumn<bool>("name");
    QTest::addColumn<QString>("marked"); // the marked file in photos/
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QStringList>("members"); // besides the marked file, as it is named after

    const QStringList folder {"other.dat", "sub/deep.bin", "empty/"};
    QTest::newRow("file alone, after the file") << false << false << "IMG01.TXT"
                                                << "IMG01.lzh" << QStringList();
    QTest::newRow("file alone, after the folder") << false << true << "IMG01.TXT"
                                                  << "photos.lzh" << QStringList();
    QTest::newRow("whole folder, after the file") << true << false << "IMG01.TXT"
                                                  << "IMG01.lzh" << folder;
    QTest::newRow("whole folder, after the folder") << true << true << "IMG01.TXT"
                                                    << "photos.lzh" << folder;
    QTest::newRow("already named after the folder: no rename") << false << true << "photos.TXT"
                                                               << "photos.lzh" << QStringList();
}

void TestArchiveRun::togetherAndName()
{
    SHEAF_REQUIRE_TOOL("unar");
    QFETCH(bool, together);
    QFETCH(bool, name);
    QFETCH(QString, marked);
    QFETCH(QString, archive);
    QFETCH(QStringList, members);

    QTemporaryDir tmp;
    const QString photos = tmp.filePath("data/photos/"), docs = tmp.filePath("data/docs/");
    const QByteArray img = randomBytes(70000, 1) + QByteArray(50000, 'a');
    Members all {{"other.dat", randomBytes(3000, 2)}, {"sub/deep.bin", "deep\n"}, {"empty/", {}}};
    writeFile(photos + marked, img);
    for (const QString &m : members.isEmpty() ? all.keys() : members) {
        if (m.endsWith(u'/'))
            QDir().mkpath(photos + m);
        else
            writeFile(photos + m, all[m]);
    }
    writeFile(docs + "a.TXT", "second folder\r\n");

    CandidateList list;
    list.append(docs, QStringLiteral("a.TXT"));
    list.append(photos, marked);
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(name, together), rec), ArchiveRunOutcome::Done);
    QCOMPARE(rec.failures, QStringList());
    QCOMPARE(rec.made, (QStringList {docs + (name ? "docs.lzh" : "a.lzh"), photos + archive}));

    const QString stored = name ? QStringLiteral("photos.TXT") : marked;
    QCOMPARE(list.FileName[2], stored);
    Members expected {{stored, img}};
    for (const QString &m : members)
        expected[m] = all[m];
    // Made inside the folder it holds, yet never holding itself.
    QCOMPARE(extractAndCompare(rec.made[1], expected, tmp.filePath("x")), QStringList());
    QCOMPARE(extractAndCompare(rec.made[0],
                 Members {{name ? "docs.TXT" : "a.TXT", "second folder\r\n"}}, tmp.filePath("x")),
        QStringList());
}

void TestArchiveRun::everyArchiverMakesAnArchive_data()
{
    QTest::addColumn<int>("archiver");
    QTest::addColumn<QString>("extension");
    QTest::newRow("LZH") << int(ArchiverKind::Lzh) << ".lzh";
    QTest::newRow("ZIP") << int(ArchiverKind::Zip) << ".zip";
    QTest::newRow("CAB") << int(ArchiverKind::Cab) << ".cab";
}

void TestArchiveRun::everyArchiverMakesAnArchive()
{
    SHEAF_REQUIRE_TOOL("7zz");
    SHEAF_REQUIRE_TOOL("unar");
    QFETCH(int, archiver);
    QFETCH(QString, extension);
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("data/f/"), out = tmp.filePath("out");
    const QByteArray bytes = randomBytes(20000, 3);
    writeFile(dir + "報告書.TXT", bytes);
    QDir().mkpath(out);
    CandidateList list;
    list.append(dir, QStringLiteral("報告書.TXT"));
    const ArchiveRunSettings s = settingsFor(false, false, out, ArchiverKind(archiver));
    Recorder rec;
    QCOMPARE(runArchive(list, s, rec), ArchiveRunOutcome::Done);
    QCOMPARE(rec.made, QStringList {out + "/報告書" + extension});
    QCOMPARE(extractAndCompare(rec.made[0], Members {{"報告書.TXT", bytes}}, tmp.filePath("x")),
        QStringList());

    // Any archiver's failure is reported as one: the source is gone now.
    QFile::remove(dir + "報告書.TXT");
    Recorder again;
    QCOMPARE(runArchive(list, s, again), ArchiveRunOutcome::Stopped);
    QCOMPARE(again.failures.size(), 1);
    QVERIFY(again.failures[0].startsWith(kFailed));
    QVERIFY(again.failures[0].size() > kFailed.size()); // the engine's reason
    QCOMPARE(again.status, kWaiting);
}

void TestArchiveRun::nameWithoutCodePage932Form()
{
    SHEAF_REQUIRE_TOOL("7zz");
    SHEAF_REQUIRE_TOOL("unar");
    // Hangul and an emoji have no code page 932 form; the line reaches the
    // engine in Unicode, so the file is still archived. ZIP keeps the name;
    // LZH readers show the code page 932 stand-in name.
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(QStringLiteral("한국어/"));
    const QString file = QStringLiteral("보고서😀.TXT");
    writeFile(dir + file, "unicode names\n");
    for (ArchiverKind a : {ArchiverKind::Zip, ArchiverKind::Lzh}) {
        CandidateList list;
        list.append(dir, file);
        QDir().mkpath(tmp.filePath("out"));
        Recorder rec;
        QCOMPARE(runArchive(list, settingsFor(false, false, tmp.filePath("out"), a), rec),
            ArchiveRunOutcome::Done);
        QCOMPARE(rec.made.size(), 1);
        QString error;
        const QString into = extractArchive(rec.made[0], tmp.filePath("x"), &error);
        QVERIFY2(!into.isEmpty(), qPrintable(error));
        const QStringList got = listTree(into);
        QCOMPARE(got.size(), 1);
        if (a == ArchiverKind::Zip)
            QCOMPARE(got[0], file);
        QCOMPARE(readFile(into + "/" + got[0]), QByteArray("unicode names\n"));
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
    writeFile(out + "/f3.lzh", "not an archive");
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(true, false, out), rec), ArchiveRunOutcome::Stopped);
    QCOMPARE(rec.made, (QStringList {out + "/f1.lzh", out + "/f2.lzh"}));
    QCOMPARE(rec.counters.last(), QStringLiteral("(3/5)"));
    QCOMPARE(rec.status, kWaiting);
    QCOMPARE(rec.failures.size(), 1);
    QVERIFY(rec.failures[0].startsWith(kFailed));
    // Entry 3 gets its old name back; 4 and 5 are neither renamed nor archived.
    QCOMPARE(listTree(data),
        (QStringList {"f1/", "f1/f1.TXT", "f2/", "f2/f2.TXT", "f3/", "f3/x3.TXT", "f4/",
            "f4/x4.TXT", "f5/", "f5/x5.TXT"}));
    QCOMPARE(listTree(out), (QStringList {"f1.lzh", "f2.lzh", "f3.lzh"}));
    QCOMPARE(readFile(out + "/f3.lzh"), QByteArray("not an archive"));
    QCOMPARE(extractAndCompare(out + "/f2.lzh", Members {{"f2.TXT", QByteArray("2").repeated(100)}},
                 tmp.filePath("x")),
        QStringList());
}

void TestArchiveRun::outputFolderEndingInSeparator()
{
    SHEAF_REQUIRE_TOOL("unar");
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data/"), out = tmp.filePath("out/");
    writeFile(data + "a.TXT", "doubled separator\n");
    QDir().mkpath(out);
    CandidateList list;
    list.append(data, QStringLiteral("a.TXT"));
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(false, false, out), rec), ArchiveRunOutcome::Done);
    QCOMPARE(rec.made, QStringList {tmp.filePath("out//a.lzh")});
    QCOMPARE(extractAndCompare(tmp.filePath("out/a.lzh"), data, tmp.filePath("x")), QStringList());
}

void TestArchiveRun::renameNeverReplaces()
{
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("photos/");
    writeFile(dir + "IMG01.TXT", "marked");
    writeFile(dir + "photos.TXT", "already there");
    CandidateList list;
    list.append(dir, QStringLiteral("IMG01.TXT"));
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(true, false), rec), ArchiveRunOutcome::Stopped);
    QCOMPARE(rec.failures.size(), 1);
    QVERIFY(rec.failures[0].startsWith(QStringLiteral("kwSheaf|")));
    QVERIFY(rec.failures[0].contains(dir + "IMG01.TXT"));
    QVERIFY(rec.failures[0].contains(dir + "photos.TXT"));
    QCOMPARE(readFile(dir + "IMG01.TXT"), QByteArray("marked"));
    QCOMPARE(readFile(dir + "photos.TXT"), QByteArray("already there"));
    QCOMPARE(listTree(dir), (QStringList {"IMG01.TXT", "photos.TXT"}));
    QCOMPARE(list.FileName[1], QStringLiteral("IMG01.TXT"));
}

void TestArchiveRun::sameArchiveTwiceInOneRunStops()
{
    // Two folders named "photos" with the name switch and the output folder:
    // no check refuses, but the second archive would be added into the first.
    SHEAF_REQUIRE_TOOL("unar");
    QTemporaryDir tmp;
    const QString a = tmp.filePath("a/photos/"), b = tmp.filePath("b/photos/");
    const QString out = tmp.filePath("out");
    writeFile(a + "IMG01.TXT", "first folder\n");
    writeFile(b + "IMG02.TXT", "second folder\n");
    QDir().mkpath(out);
    CandidateList list;
    list.append(a, QStringLiteral("IMG01.TXT"));
    list.append(b, QStringLiteral("IMG02.TXT"));
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(true, false, out), rec), ArchiveRunOutcome::Stopped);
    QCOMPARE(rec.made, QStringList {out + "/photos.lzh"});
    QCOMPARE(rec.failures.size(), 1);
    QVERIFY(rec.failures[0].startsWith(QStringLiteral("kwSheaf|")));
    QVERIFY(rec.failures[0].contains(b + "IMG02.TXT"));
    // The second entry is neither renamed nor archived; the first archive
    // still holds the first file.
    QCOMPARE(listTree(b), QStringList {"IMG02.TXT"});
    QCOMPARE(extractAndCompare(out + "/photos.lzh", a, tmp.filePath("x")), QStringList());
}

void TestArchiveRun::caseTwinsShareOneArchive()
{
    // a.txt and a.TXT give one archive a.lzh; the second run only adds a
    // member of another name, so it is no replacement and the run goes on.
    QTemporaryDir tmp;
    const QString dir = tmp.filePath("d/");
    writeFile(dir + "a.txt", "lower\n");
    writeFile(dir + "a.TXT", "upper\n");
    CandidateList list;
    list.append(dir, QStringLiteral("a.TXT"));
    list.append(dir, QStringLiteral("a.txt"));
    ArchiveRunSettings s = settingsFor(false, false);
    s.extension = QStringLiteral(".txt");
    Recorder rec;
    QCOMPARE(runArchive(list, s, rec), ArchiveRunOutcome::Done);
    QCOMPARE(rec.made, (QStringList {dir + "a.lzh", dir + "a.lzh"}));
    QCOMPARE(extractAndCompare(dir + "a.lzh", Members {{"a.txt", "lower\n"}, {"a.TXT", "upper\n"}},
                 tmp.filePath("x")),
        QStringList());
}

void TestArchiveRun::refusedBeforeTouching_data()
{
    // \xHH in a folder or file name stands for that byte.
    QTest::addColumn<QString>("dirName");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("outName");
    QTest::addColumn<bool>("name");
    QTest::addColumn<QString>("message"); // the box's text, lines joined by '|'

    const QString cannot = QStringLiteral("処理できません！");
    QTest::newRow("quote in the folder")
        << "a\"b"
        << "x.TXT"
        << "out" << true << "名前に “\"” が含まれています。|<path>|" + cannot;
    QTest::newRow("quote in the file name")
        << "d"
        << "x\" \"y.TXT"
        << "out" << true << "名前に “\"” が含まれています。|<path>|" + cannot;
    QTest::newRow("quote in the output folder")
        << "d"
        << "x.TXT"
        << "o\"ut" << true << "名前に “\"” が含まれています。|<out>|" + cannot;
    QTest::newRow("file name outside UTF-8")
        << "d"
        << "a\\x80b.TXT"
        << "out" << false << "名前に文字として読めないバイトが含まれています。|<path>|" + cannot;
    QTest::newRow("folder outside UTF-8")
        << "d\\xFF"
        << "a.TXT"
        << "out" << true << "名前に文字として読めないバイトが含まれています。|<path>|" + cannot;
    QTest::newRow("asterisk") << "d"
                              << "*.TXT"
                              << "out" << false << "名前に “*” が含まれています。|<path>|" + cannot;
    QTest::newRow("question mark")
        << "d"
        << "?.TXT"
        << "out" << false << "名前に “?” が含まれています。|<path>|" + cannot;
    QTest::newRow("backslash") << "d"
                               << "a\\b.TXT"
                               << "out" << false
                               << "名前に “\\” が含まれています。|<path>|" + cannot;
    QTest::newRow("empty folder name")
        << "d/"
        << "x.TXT"
        << "out" << true << "フォルダ名が空です。|<path>|名前の変更は出来ません！";
}

void TestArchiveRun::refusedBeforeTouching()
{
    QFETCH(QString, dirName);
    QFETCH(QString, fileName);
    QFETCH(QString, outName);
    QFETCH(bool, name);
    QFETCH(QString, message);
    const auto bytesOf = [](const QString &text) {
        QByteArray out = text.toUtf8();
        for (qsizetype at; (at = out.indexOf("\\x")) >= 0;)
            out.replace(at, 4, QByteArray::fromHex(out.mid(at + 2, 2)));
        return nameFromBytes(out);
    };
    QTemporaryDir tmp;
    // A clean entry first: it is archived, then the run stops at the refused one.
    const QString clean = tmp.filePath("clean/"), dir = bytesOf(tmp.filePath(dirName + "/"));
    const QString file = bytesOf(fileName);
    writeFile(clean + "c.TXT", "clean");
    std::filesystem::create_directories(namePath(dir));
    std::ofstream(namePath(dir + file)) << "refused";
    const QString out = tmp.filePath(outName);
    QDir().mkpath(out);
    CandidateList list;
    list.append(clean, QStringLiteral("c.TXT"));
    list.append(dir, file);
    Recorder rec;
    QCOMPARE(runArchive(list, settingsFor(name, false, out), rec), ArchiveRunOutcome::Stopped);
    // The name is shown with its bytes escaped, as the row spells them.
    const QString shownPath = tmp.filePath(dirName + "/" + fileName);
    message.replace("<path>", shownPath).replace("<out>", out).replace(u'|', u'\r');
    QCOMPARE(rec.failures, QStringList {"kwSheaf|" + message + "|"});
    // Nothing of the refused entry was touched: no rename, no archive.
    QStringList names;
    for (const auto &e : std::filesystem::directory_iterator(namePath(dir)))
        names << nameFromPath(e.path().filename());
    QCOMPARE(names, QStringList {file});
    const bool outputRefused = message.contains(out);
    const QString made = name ? QStringLiteral("clean.lzh") : QStringLiteral("c.lzh");
    QCOMPARE(listTree(out), outputRefused ? QStringList() : QStringList {made});
    std::filesystem::remove_all(namePath(tmp.path())); // QDir cannot name bytes outside UTF-8
}

namespace {

// Eight folders f1..f8 each holding x<i>.TXT; entries 1 and 2 are large, so
// later entries are written while they are.
CandidateList eightFolders(const QString &data, QMap<int, QByteArray> &content)
{
    CandidateList list;
    for (int i = 1; i <= 8; ++i) {
        const QString dir = data + QStringLiteral("/f%1/").arg(i);
        content[i] = randomBytes(i <= 2 ? 3000000 : 20000, quint32(i));
        writeFile(dir + QStringLiteral("x%1.TXT").arg(i), content[i]);
        list.append(dir, QStringLiteral("x%1.TXT").arg(i));
    }
    return list;
}

// The folders as the run left them: entries 1..made renamed, the rest not.
QStringList foldersAfter(int made)
{
    QStringList tree;
    for (int i = 1; i <= 8; ++i)
        tree << QStringLiteral("f%1/").arg(i)
             << QStringLiteral("f%1/").arg(i) + (i <= made ? u'f' : u'x')
                + QStringLiteral("%1.TXT").arg(i);
    tree.sort();
    return tree;
}

QStringList countersUpTo(int k)
{
    QStringList out;
    for (int i = 1; i <= k; ++i)
        out << QStringLiteral("(%1/8)").arg(i);
    return out;
}

} // namespace

void TestArchiveRun::parallelFailureAtThreeOfEight()
{
    SHEAF_REQUIRE_TOOL("unar");
    // Four workers; entry 3's archive name is taken by a file that is no
    // archive. Entries 4 to 8 may be under way when it fails: none of them
    // keeps an archive, a temporary file or a rename.
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    QMap<int, QByteArray> content;
    CandidateList list = eightFolders(data, content);
    writeFile(out + "/f3.lzh", "not an archive");
    ArchiveRunSettings s = settingsFor(true, false, out);
    s.threads = 4;
    Recorder rec;
    QCOMPARE(runArchive(list, s, rec), ArchiveRunOutcome::Stopped);
    QCOMPARE(rec.counters, countersUpTo(3));
    QCOMPARE(rec.made, (QStringList {out + "/f1.lzh", out + "/f2.lzh"}));
    QCOMPARE(rec.failures.size(), 1);
    QVERIFY(rec.failures[0].startsWith(kFailed));
    QCOMPARE(listTree(data), foldersAfter(2));
    QCOMPARE(listTree(out), (QStringList {"f1.lzh", "f2.lzh", "f3.lzh"}));
    for (int i = 1; i <= 2; ++i)
        QCOMPARE(extractAndCompare(out + QStringLiteral("/f%1.lzh").arg(i),
                     Members {{QStringLiteral("f%1.TXT").arg(i), content[i]}}, tmp.filePath("x")),
            QStringList());
}

void TestArchiveRun::cancelDuringParallelRun()
{
    SHEAF_REQUIRE_TOOL("unar");
    // The caller stops the run while the large entry 1 is written; the small
    // later ones are made meanwhile. Archives made in list order up to the
    // stop stay (each reported); those made ahead of an unfinished entry are
    // removed again, and every entry not kept has its old name.
    QTemporaryDir tmp;
    const QString data = tmp.filePath("data"), out = tmp.filePath("out");
    class Canceller : public Recorder
    {
    public:
        QString out;
        std::atomic<bool> cancel {false};
        void counterChanged(const QString &text, int k, int n) override
        {
            Recorder::counterChanged(text, k, n);
            if (k != 1)
                return;
            // Stop once a later archive is made (or after 10 s).
            for (int i = 0; i < 1000 && !QFile::exists(out + "/f3.lzh"); ++i)
                QThread::msleep(10);
            cancel.store(true);
        }
    };
    QDir().mkpath(out);
    QMap<int, QByteArray> content;
    CandidateList list = eightFolders(data, content);
    Canceller rec;
    rec.out = out;
    ArchiveRunSettings s = settingsFor(true, false, out);
    s.threads = 4;
    s.cancel = &rec.cancel;
    QCOMPARE(runArchive(list, s, rec), ArchiveRunOutcome::Cancelled);
    const int made = int(rec.made.size());
    QVERIFY2(made < 8, qPrintable(rec.made.join(u' ')));
    QCOMPARE(rec.counters, countersUpTo(std::max(1, made)));
    QStringList archives;
    for (int i = 1; i <= made; ++i) {
        QCOMPARE(rec.made[i - 1], out + QStringLiteral("/f%1.lzh").arg(i));
        QCOMPARE(list.FileName[i], QStringLiteral("f%1.TXT").arg(i));
        archives << QStringLiteral("f%1.lzh").arg(i);
    }
    QCOMPARE(list.FileName[made + 1], QStringLiteral("x%1.TXT").arg(made + 1));
    QCOMPARE(listTree(data), foldersAfter(made));
    QCOMPARE(listTree(out), archives);
    for (int i = 1; i <= made; ++i)
        QCOMPARE(extractAndCompare(out + QStringLiteral("/f%1.lzh").arg(i),
                     Members {{QStringLiteral("f%1.TXT").arg(i), content[i]}}, tmp.filePath("x")),
            QStringList());
}

QTEST_GUILESS_MAIN(TestArchiveRun)
#include "test_archive_run.moc"
