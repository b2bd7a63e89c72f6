// The settings file: the field rule, the keys, the number format, the
// defaults with what a failed read leaves behind, and the mends (values in
// quotes, UTF-8 with a byte-order mark, temporary file and rename).

#include "app/settings_file.h"

#include "base/cp932.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace sheaf;

namespace {

// The example file as code page 932 bytes with CR LF, made independently of
// our converter.
const QByteArray kExample = QByteArray::fromHex(
    "928a8f6f836083468362834e2c2031200d0a8f6f97cd836083468362834e2c2030200d0a" // 抽出, 出力チェック
    "96bc914f836083468362834e2c2030200d0a88ea8f8f836083468362834e2c2030200d0a" // 名前, 一緒チェック
    "928a8f6f83748348838b835f2c433a5c444154410d0a" // 抽出フォルダ,C:\DATA
    "8f6f97cd83748348838b835f2c433a5c444154415c4152430d0a" // 出力フォルダ,C:\DATA\ARC
    "8eaf95ca8e712c2e5458540d0a8eaf95ca8e712c2e4558450d0a" // 識別子,.TXT 識別子,.EXE
    "8341815b834a8343836f2c4c5a480d0a" // アーカイバ,LZH
    "8fe388ca92752c2031323030200d0a8db688ca92752c2032343030200d0a"); // 上位置, 左位置

QByteArray cp932(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const auto bytes = sheaf::utf8ToCp932(std::string_view(utf8.constData(), utf8.size()));
    return bytes ? QByteArray(bytes->data(), qsizetype(bytes->size())) : QByteArray("?");
}

// The window's state before loading, so that untouched fields show.
Settings before()
{
    Settings s;
    s.selectFolder = QStringLiteral("S");
    s.outputFolder = QStringLiteral("O");
    s.top = 111;
    s.left = 222;
    return s;
}

// select|output|list|field|archiver|switches|top,left
QString describe(const Settings &s)
{
    static const char *names[] = {"LZH", "ZIP", "CAB"};
    return QStringLiteral("%1|%2|%3|%4|%5|%6%7%8%9|%10,%11")
        .arg(s.selectFolder, s.outputFolder, s.extensions.join(u' '), s.extensionText,
            QLatin1String(s.archiver ? names[int(*s.archiver)] : "-"))
        .arg(s.chkSelect)
        .arg(s.chkOutput)
        .arg(s.chkName)
        .arg(s.chkTogether)
        .arg(s.top)
        .arg(s.left);
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void notAFile_data();
    void notAFile();
    void exampleSavesBackByteForByte();
    void lineFormat();
    void roundTrip_data();
    void roundTrip();
    void iniSaveReplacesThroughRename();
    void iniSaveLeavesInPlace_data();
    void iniSaveLeavesInPlace();
    void pathChoice();
    void extensionLinesLimited();
    void placeOnScreens_data();
    void placeOnScreens();
};

void TestSettingsFile::parse_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QString>("expected");

    const QString defaults = QStringLiteral("/cur|/cur|.TXT .EXE|.TXT|LZH|0000|111,222");
    QTest::newRow("the example file")
        << kExample << true << "C:\\DATA|C:\\DATA\\ARC|.TXT .EXE|.TXT|LZH|1000|1200,2400";
    QTest::newRow("negative top puts both at 0")
        << cp932("上位置,-60 \r\n左位置, 300 \r\n") << true << "S|O|||-|0000|0,0";
    QTest::newRow("bad switch value after three extension lines") << cp932(
        "上位置, 5 \r\n識別子,.A\r\n識別子,.B\r\n識別子,.C\r\n抽出チェック,x\r\n"
        "出力フォルダ,/never\r\n") << false << "/cur|/cur|.A .B .C .TXT .EXE|.TXT|LZH|0000|5,222";
    QTest::newRow("switch value 5") << cp932("名前チェック, 5 \r\n") << false << defaults;
    QTest::newRow("switch value 2 is the greyed state")
        << cp932("抽出チェック, 2 \r\n") << true << "S|O|||-|2000|111,222";
    QTest::newRow("halves round to even") << cp932(
        "抽出チェック,0.5\r\n出力チェック,1.5\r\n名前チェック, 2.5 \r\n一緒チェック,1e0\r\n")
                                          << true << "S|O|||-|0221|111,222";
    QTest::newRow("2.6 rounds to 3") << cp932("一緒チェック,2.6\r\n") << false << defaults;
    QTest::newRow("empty switch value") << cp932("一緒チェック,\r\n") << false << defaults;
    QTest::newRow("LHA and lzh choose nothing")
        << cp932("アーカイバ,LHA\r\nアーカイバ,lzh\r\n") << true << "S|O|||-|0000|111,222";
    QTest::newRow("key without a value at the end")
        << cp932("抽出フォルダ,/a\r\n識別子,.C\r\n出力フォルダ\r\n") << false
        << "/cur|/cur|.C .TXT .EXE|.TXT|LZH|0000|111,222";
    QTest::newRow("unknown key skipped, second key wins") << cp932(
        "色,赤\r\n出力フォルダ,/1\r\nアーカイバ,ZIP\r\n出力フォルダ,/2\r\nアーカイバ,CAB\r\n")
                                                          << true << "S|/2|||CAB|0000|111,222";
    QTest::newRow("extension entries kept as they are")
        << cp932("識別子,.txt\r\n識別子,\r\n識別子,.txt\r\n識別子,bad\r\n") << true
        << "S|O|.txt  .txt bad|.txt|-|0000|111,222";
    QTest::newRow("line without a comma shifts the pairing")
        << cp932("ひとつ\r\n抽出フォルダ,/a\r\n") << false << defaults;
    QTest::newRow("quoted values keep comma, line break, leading space")
        << cp932("抽出フォルダ,\"/a,b\r\nc\"\r\n出力フォルダ, \" /x\"\r\n") << true
        << "/a,b\r\nc| /x|||-|0000|111,222";
    QTest::newRow("unterminated quote") << cp932("抽出フォルダ,\"/a\r\n") << false << defaults;
    QTest::newRow("numbers: leading part, spaces ignored, 0 when none")
        << cp932("上位置, 1 2abc\r\n左位置,abc\r\n") << true << "S|O|||-|0000|12,0";
    QTest::newRow("fraction and exponent")
        << cp932("上位置, 1200.5 \r\n左位置,2.4E3\r\n") << true << "S|O|||-|0000|1200.5,2400";
    QTest::newRow("huge position") << cp932("上位置,1e999\r\n") << false << defaults;
    QTest::newRow("LF line ends and blank lines")
        << cp932("\n抽出フォルダ,/a\n\n\r\n出力フォルダ,/b") << true << "/a|/b|||-|0000|111,222";
    QTest::newRow("UTF-8 with a byte-order mark")
        << "\xEF\xBB\xBF" + QStringLiteral("抽出フォルダ,/한국어\r\n識別子,.txt\r\n").toUtf8()
        << true << "/한국어|O|.txt|.txt|-|0000|111,222";
    // Nothing that reads as the format: the defaults.
    QTest::newRow("empty file") << QByteArray() << false << defaults;
    QTest::newRow("only unknown keys") << cp932("色,赤\r\n形,丸\r\n") << false << defaults;
    QByteArray utf16("\xFF\xFE");
    for (QChar c : QStringLiteral("抽出フォルダ,/a\r\n識別子,.c\r\n"))
        utf16 += char(c.unicode() & 0xFF), utf16 += char(c.unicode() >> 8);
    QTest::newRow("UTF-16") << utf16 << false << defaults;
    QByteArray binary;
    for (int i = 0; i < 512; ++i)
        binary += char((i * 37) & 0xFF);
    QTest::newRow("binary") << binary << false << defaults;
}

void TestSettingsFile::parse()
{
    QFETCH(QByteArray, content);
    Settings s = before();
    const IniLoadResult result = parseSettings(&content, s, QStringLiteral("/cur"));
    QTEST(result == IniLoadResult::FileApplied, "applied");
    QTEST(describe(s), "expected");
}

// Nothing that start-up can read as the file: the defaults, at once.
void TestSettingsFile::notAFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("no file") << "none";
    QTest::newRow("a named pipe someone writes to") << "pipe";
    QTest::newRow("a link to /dev/zero") << "zero";
    QTest::newRow("settings padded past the limit") << "huge";
}

void TestSettingsFile::notAFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("kwSheaf.ini");
    const QByteArray settings = cp932("抽出フォルダ,/read\r\n");
    std::atomic<bool> loaded = false;
    std::thread writer;
    if (kind == QLatin1String("pipe")) {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        // Writes settings once a reader waits, so a reader that waits reads them.
        writer = std::thread([&] {
            while (!loaded) {
                const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    (void)!write(fd, settings.constData(), size_t(settings.size()));
                    close(fd);
                    return;
                }
                QThread::msleep(10);
            }
        });
    } else if (kind == QLatin1String("zero")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    } else if (kind == QLatin1String("huge")) {
        sheaf::test::writeFile(path, settings + QByteArray(MaxSettingsBytes, '\n'));
    }
    Settings s = before();
    const IniLoadResult result = IniLoad(path, s, QStringLiteral("/home/u/"));
    loaded = true;
    if (writer.joinable())
        writer.join();
    QCOMPARE(result, IniLoadResult::DefaultsApplied);
    QCOMPARE(describe(s), QStringLiteral("/home/u|/home/u|.TXT .EXE|.TXT|LZH|0000|111,222"));
    Settings root;
    parseSettings(nullptr, root, QStringLiteral("/"));
    QCOMPARE(root.selectFolder, QStringLiteral("/"));
}

void TestSettingsFile::exampleSavesBackByteForByte()
{
    Settings s;
    QCOMPARE(parseSettings(&kExample, s, QString()), IniLoadResult::FileApplied);
    QCOMPARE(serializeSettings(s), kExample);
}

void TestSettingsFile::lineFormat()
{
    Settings s;
    s.selectFolder = QStringLiteral("/s");
    s.outputFolder = QStringLiteral("/o");
    s.extensions = QStringList {"", ""};
    s.chkSelect = 1;
    s.chkTogether = 2;
    s.top = -60;
    s.left = 1200.5;
    // No extension and no archiver line, and never an empty line.
    QCOMPARE(serializeSettings(s),
        cp932("抽出チェック, 1 \r\n出力チェック, 0 \r\n名前チェック, 0 \r\n一緒チェック, 2 \r\n"
              "抽出フォルダ,/s\r\n出力フォルダ,/o\r\n上位置,-60 \r\n左位置, 1200.5 \r\n"));
    s.extensions = QStringList {".A", "", ".B"};
    s.archiver = ArchiverKind::Zip;
    QVERIFY(serializeSettings(s).contains(cp932("識別子,.A\r\n識別子,.B\r\nアーカイバ,ZIP\r\n")));
}

void TestSettingsFile::roundTrip_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("plain") << "/home/u/資料" << false;
    QTest::newRow("backslash and tilde") << "C:\\DATA\\~1" << false;
    QTest::newRow("comma") << "/home/u/a,b" << false;
    QTest::newRow("line break") << "/home/u/a\nb" << false;
    QTest::newRow("leading and trailing space") << " /x " << false;
    QTest::newRow("quote inside") << "/x\"y" << false;
    QTest::newRow("no code page 932 form") << "/home/u/한국어 😀" << true;
    QTest::newRow("no code page 932 form, comma") << "/home/u/ä,ö" << true;
    QTest::newRow("empty") << "" << false;
}

void TestSettingsFile::roundTrip()
{
    QFETCH(QString, folder);
    QFETCH(bool, utf8);
    Settings s;
    s.chkOutput = 1;
    s.chkName = 2;
    s.selectFolder = folder;
    s.outputFolder = folder + QStringLiteral("/out");
    s.extensions = QStringList {".TXT", "", folder.isEmpty() ? ".a,b" : folder.right(4)};
    s.archiver = ArchiverKind::Cab;
    s.top = 1234;
    s.left = 0.25;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kwSheaf.ini"));
    QVERIFY(IniSave(path, s));
    QCOMPARE(sheaf::test::readFile(path).startsWith("\xEF\xBB\xBF"), utf8);
    Settings back = before();
    QCOMPARE(IniLoad(path, back, QString()), IniLoadResult::FileApplied);
    s.extensions.removeAll(QString());
    s.extensionText = s.extensions.first();
    QCOMPARE(describe(back), describe(s));
}

void TestSettingsFile::iniSaveReplacesThroughRename()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kwSheaf.ini"));
    sheaf::test::writeFile(path, QByteArray(10000, 'x'));
    Settings s;
    QVERIFY(IniSave(path, s));
    QCOMPARE(sheaf::test::readFile(path), serializeSettings(s));
    // Nothing but the settings file is left in the folder.
    QCOMPARE(sheaf::test::listTree(dir.path()), QStringList {"kwSheaf.ini"});
    // A configuration folder not yet made is made.
    QVERIFY(IniSave(dir.filePath(QStringLiteral("config/sheaf/kwSheaf.ini")), s));
    // The user's own link to the user's own file: the file is written.
    QVERIFY(QFile::link(dir.filePath("kwSheaf.ini"), dir.filePath("link.ini")));
    s.outputFolder = QStringLiteral("/through the link");
    QVERIFY(IniSave(dir.filePath("link.ini"), s));
    QCOMPARE(sheaf::test::readFile(dir.filePath("kwSheaf.ini")), serializeSettings(s));
    QVERIFY(QFileInfo(dir.filePath("link.ini")).isSymLink());
    // A folder that takes no new file, with a writable file in it: written
    // in place. Root is held to the permissions through another fsuid.
    QVERIFY(QDir().mkpath(dir.filePath("ro")));
    sheaf::test::writeFile(dir.filePath("ro/kwSheaf.ini"), "old");
    QVERIFY(chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0
        && chmod(QFile::encodeName(dir.filePath("ro/kwSheaf.ini")).constData(), 0666) == 0
        && chmod(QFile::encodeName(dir.filePath("ro")).constData(), 0555) == 0);
    const bool root = geteuid() == 0;
    if (root)
        setfsuid(65534);
    const bool saved = IniSave(dir.filePath("ro/kwSheaf.ini"), s);
    if (root)
        setfsuid(0);
    chmod(QFile::encodeName(dir.filePath("ro")).constData(), 0755);
    QVERIFY(saved);
    QCOMPARE(sheaf::test::readFile(dir.filePath("ro/kwSheaf.ini")), serializeSettings(s));
}

// What stands in the file's place and may not be replaced or written
// into: the save fails, and it stays as it was, with nothing left beside it.
void TestSettingsFile::iniSaveLeavesInPlace_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a named pipe") << "pipe";
    QTest::newRow("a link to another user's file") << "link to theirs";
    QTest::newRow("another user's link to the user's file") << "their link";
    QTest::newRow("a link that leads nowhere") << "dangling";
    QTest::newRow("a full disk") << "full";
}

void TestSettingsFile::iniSaveLeavesInPlace()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kwSheaf.ini"));
    const QString theirs = dir.filePath(QStringLiteral("theirs/file"));
    const QByteArray old = cp932("出力フォルダ,/previous\r\n");
    const auto otherUser = [&](const QString &file) {
        return lchown(QFile::encodeName(file).constData(), 65534, 65534) == 0;
    };
    struct Unmount
    {
        QString at;
        ~Unmount()
        {
            if (!at.isEmpty())
                sheaf::test::runTool("umount", {at});
        }
    } unmount;
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path + "/keep"));
    } else if (kind == QLatin1String("pipe")) {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("link to theirs")) {
        sheaf::test::writeFile(theirs, old);
        QVERIFY(QFile::link(theirs, path));
        if (!otherUser(theirs) || !otherUser(QFileInfo(theirs).path()))
            QSKIP("only root can make a file of another user here");
    } else if (kind == QLatin1String("their link")) {
        sheaf::test::writeFile(dir.filePath("mine"), old);
        QVERIFY(QFile::link(dir.filePath("mine"), path));
        if (!otherUser(path))
            QSKIP("only root can make a link of another user here");
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QDir().mkpath(QFileInfo(theirs).path()));
        QVERIFY(QFile::link(theirs, path));
    } else if (kind == QLatin1String("full")) {
        // A small tmpfs filled to its last block, the old file on it.
        if (sheaf::test::runTool("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", dir.path()})
                .exitCode
            != 0)
            QSKIP("no tmpfs can be mounted here");
        unmount.at = dir.path();
        sheaf::test::writeFile(path, old);
        QFile fill(dir.filePath("fill"));
        QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'f');
        while (fill.write(block) == block.size()) { }
    }
    const QStringList tree = sheaf::test::listTree(dir.path());
    const auto bytes = [&] {
        return QList<QByteArray> {sheaf::test::readFile(dir.filePath("mine")),
            sheaf::test::readFile(theirs),
            QFileInfo(path).isFile() ? sheaf::test::readFile(path) : QByteArray()};
    };
    const QList<QByteArray> before = bytes();

    Settings s;
    s.outputFolder = QStringLiteral("/new");
    QVERIFY(!IniSave(path, s));
    QCOMPARE(sheaf::test::listTree(dir.path()), tree);
    QCOMPARE(bytes(), before);
    QCOMPARE(
        QFileInfo(path).isSymLink(), kind.contains(QLatin1String("link")) || kind == "dangling");
    QCOMPARE(QFileInfo(path).isDir(), kind == QLatin1String("folder"));
}

void TestSettingsFile::pathChoice()
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("bin"));
    const QString config = dir.filePath(QStringLiteral("config"));
    const QString beside = program + QStringLiteral("/kwSheaf.ini");
    QCOMPARE(settingsPathIn(program, true, config), beside);
    QCOMPARE(settingsPathIn(program, false, config), config + QStringLiteral("/kwSheaf.ini"));
    sheaf::test::writeFile(beside, "x"); // an installed copy with a file beside it
    QCOMPARE(settingsPathIn(program, false, config), beside);
}

void TestSettingsFile::extensionLinesLimited()
{
    // Far more lines than the list holds: the first 1,001 are kept, the
    // rest passed over, and the lines after them still count.
    QByteArray content;
    for (int i = 0; i < 200'000; ++i)
        content += cp932(QStringLiteral("識別子,.%1\r\n").arg(i));
    content += cp932("出力フォルダ,/after\r\n");
    Settings s = before();
    QCOMPARE(parseSettings(&content, s, QString()), IniLoadResult::FileApplied);
    QCOMPARE(s.extensions.size(), MaxExtensionLines);
    QCOMPARE(s.extensions.last(), QStringLiteral(".1000"));
    QCOMPARE(s.outputFolder, QStringLiteral("/after"));
}

void TestSettingsFile::placeOnScreens_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QPoint>("expected");
    // Two screens side by side: 0..1919 and 1920..3199 (the second lower).
    QTest::newRow("inside") << QRect(100, 50, 857, 418) << QPoint(100, 50);
    QTest::newRow("title bar on the screen, rest beyond")
        << QRect(1800, 50, 857, 418) << QPoint(1800, 50);
    QTest::newRow("far off both") << QRect(6666666, 6666666, 857, 418) << QPoint(2343, 606);
    QTest::newRow("above the top") << QRect(300, -5000, 857, 418) << QPoint(300, 0);
    QTest::newRow("mostly on the second") << QRect(1900, 2000, 857, 418) << QPoint(1920, 606);
    QTest::newRow("left of the first") << QRect(-2000, 300, 857, 418) << QPoint(0, 300);
}

void TestSettingsFile::placeOnScreens()
{
    QFETCH(QRect, frame);
    QFETCH(QPoint, expected);
    const QList<QRect> screens {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    QCOMPARE(sheaf::placeOnScreens(frame, screens), expected);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
