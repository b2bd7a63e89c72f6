// The settings file: the field rule, the keys, the number format, the
// defaults with what a failed read leaves behind, and the mends (values in
// quotes, UTF-8 with a byte-order mark, temporary file and rename).

#include "app/settings_file.h"

#include "archiver/cp932.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace sheaf;

namespace {

// The example file, as code page 932 bytes with CR LF.
const QByteArray kExample
    = QByteArray::fromHex("928a8f6f836083468362834e2c2031200d0a" // 抽出チェック, 1
                          "8f6f97cd836083468362834e2c2030200d0a" // 出力チェック, 0
                          "96bc914f836083468362834e2c2030200d0a" // 名前チェック, 0
                          "88ea8f8f836083468362834e2c2030200d0a" // 一緒チェック, 0
                          "928a8f6f83748348838b835f2c433a5c444154410d0a" // 抽出フォルダ,C:\DATA
                          "8f6f97cd83748348838b835f2c433a5c444154415c4152430d0a"
                          "8eaf95ca8e712c2e5458540d0a" // 識別子,.TXT
                          "8eaf95ca8e712c2e4558450d0a" // 識別子,.EXE
                          "8341815b834a8343836f2c4c5a480d0a" // アーカイバ,LZH
                          "8fe388ca92752c2031323030200d0a" // 上位置, 1200
                          "8db688ca92752c2032343030200d0a"); // 左位置, 2400

QByteArray cp932(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const auto bytes
        = sheaf::archiver::utf8ToCp932(std::string_view(utf8.constData(), utf8.size()));
    if (!bytes)
        qFatal("test text without a code page 932 form");
    return QByteArray(bytes->data(), qsizetype(bytes->size()));
}

// The window's state before loading, so that untouched fields show.
Settings before()
{
    Settings s;
    s.selectFolder = QStringLiteral("BEFORE-S");
    s.outputFolder = QStringLiteral("BEFORE-O");
    s.top = 111;
    s.left = 222;
    return s;
}

QString switches(const Settings &s)
{
    return QStringLiteral("%1%2%3%4")
        .arg(s.chkSelect)
        .arg(s.chkOutput)
        .arg(s.chkName)
        .arg(s.chkTogether);
}

const QString kCur = QStringLiteral("/cur");

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void noFile();
    void exampleSavesBackByteForByte();
    void savesWithoutEmptyLines();
    void numberFormat();
    void roundTripOfFolders_data();
    void roundTripOfFolders();
    void roundTripOfEverything();
    void iniSaveReplacesThroughRename();
    void iniSaveFailsWithoutTouchingOthers();
    void pathChoice_data();
    void pathChoice();
};

void TestSettingsFile::parse_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QStringList>("extensions");
    QTest::addColumn<QString>("extensionText");
    QTest::addColumn<int>("archiver");
    QTest::addColumn<QString>("switchValues"); // select, output, name, together
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("left");

    const QStringList defaultsList {".TXT", ".EXE"};
    const int none = int(Archiver::None), lzh = int(Archiver::Lzh);

    QTest::newRow("the example file")
        << kExample << true << "C:\\DATA"
        << "C:\\DATA\\ARC" << defaultsList << ".TXT" << lzh << "1000" << 1200.0 << 2400.0;
    QTest::newRow("negative top puts both at 0")
        << cp932("上位置,-60 \r\n左位置, 300 \r\n") << true << "BEFORE-S"
        << "BEFORE-O" << QStringList() << "" << none << "0000" << 0.0 << 0.0;
    QTest::newRow("bad switch value after three extension lines")
        << cp932("上位置, 5 \r\n識別子,.A\r\n識別子,.B\r\n識別子,.C\r\n抽出チェック,x\r\n"
                 "出力フォルダ,/never\r\n")
        << false << kCur << kCur << QStringList {".A", ".B", ".C", ".TXT", ".EXE"} << ".TXT" << lzh
        << "0000" << 5.0 << 222.0;
    QTest::newRow("switch value 5") << cp932("名前チェック, 5 \r\n") << false << kCur << kCur
                                    << defaultsList << ".TXT" << lzh << "0000" << 111.0 << 222.0;
    QTest::newRow("switch value 2 is the greyed state")
        << cp932("抽出チェック, 2 \r\n") << true << "BEFORE-S"
        << "BEFORE-O" << QStringList() << "" << none << "2000" << 111.0 << 222.0;
    QTest::newRow("halves round to even")
        << cp932(
               "抽出チェック,0.5\r\n出力チェック,1.5\r\n名前チェック, 2.5 \r\n一緒チェック,1e0\r\n")
        << true << "BEFORE-S"
        << "BEFORE-O" << QStringList() << "" << none << "0221" << 111.0 << 222.0;
    QTest::newRow("switch value 2.6 rounds to 3")
        << cp932("一緒チェック,2.6\r\n") << false << kCur << kCur << defaultsList << ".TXT" << lzh
        << "0000" << 111.0 << 222.0;
    QTest::newRow("empty switch value")
        << cp932("一緒チェック,\r\n") << false << kCur << kCur << defaultsList << ".TXT" << lzh
        << "0000" << 111.0 << 222.0;
    QTest::newRow("LHA and lzh choose nothing")
        << cp932("アーカイバ,LHA\r\nアーカイバ,lzh\r\n") << true << "BEFORE-S"
        << "BEFORE-O" << QStringList() << "" << none << "0000" << 111.0 << 222.0;
    QTest::newRow("ZIP, then CAB wins")
        << cp932("アーカイバ,ZIP\r\nアーカイバ,CAB\r\n") << true << "BEFORE-S"
        << "BEFORE-O" << QStringList() << "" << int(Archiver::Cab) << "0000" << 111.0 << 222.0;
    QTest::newRow("key without a value at the end")
        << cp932("抽出フォルダ,/a\r\n識別子,.C\r\n出力フォルダ\r\n") << false << kCur << kCur
        << QStringList {".C", ".TXT", ".EXE"} << ".TXT" << lzh << "0000" << 111.0 << 222.0;
    QTest::newRow("unknown key skipped")
        << cp932("色,赤\r\n出力フォルダ,/o\r\n") << true << "BEFORE-S"
        << "/o" << QStringList() << "" << none << "0000" << 111.0 << 222.0;
    QTest::newRow("second key wins")
        << cp932("出力フォルダ,/first\r\n出力フォルダ,/second\r\n") << true << "BEFORE-S"
        << "/second" << QStringList() << "" << none << "0000" << 111.0 << 222.0;
    QTest::newRow("extension entries kept as they are")
        << cp932("識別子,.txt\r\n識別子,\r\n識別子,.txt\r\n識別子,bad\r\n") << true << "BEFORE-S"
        << "BEFORE-O" << QStringList {".txt", "", ".txt", "bad"} << ".txt" << none << "0000"
        << 111.0 << 222.0;
    QTest::newRow("line without a comma shifts the pairing")
        << cp932("ひとつ\r\n抽出フォルダ,/a\r\n") << false << kCur << kCur << defaultsList << ".TXT"
        << lzh << "0000" << 111.0 << 222.0;
    QTest::newRow("quoted value keeps comma, line break and leading space")
        << cp932("抽出フォルダ,\"/a,b\r\nc\"\r\n出力フォルダ, \" /x\"\r\n") << true << "/a,b\r\nc"
        << " /x" << QStringList() << "" << none << "0000" << 111.0 << 222.0;
    QTest::newRow("unterminated quote")
        << cp932("抽出フォルダ,\"/a\r\n") << false << kCur << kCur << defaultsList << ".TXT" << lzh
        << "0000" << 111.0 << 222.0;
    QTest::newRow("numbers: leading part, spaces ignored, 0 when none")
        << cp932("上位置, 1 2abc\r\n左位置,abc\r\n") << true << "BEFORE-S"
        << "BEFORE-O" << QStringList() << "" << none << "0000" << 12.0 << 0.0;
    QTest::newRow("fraction and exponent")
        << cp932("上位置, 1200.5 \r\n左位置,2.4E3\r\n") << true << "BEFORE-S"
        << "BEFORE-O" << QStringList() << "" << none << "0000" << 1200.5 << 2400.0;
    QTest::newRow("LF line ends and blank lines")
        << cp932("\n抽出フォルダ,/a\n\n\r\n出力フォルダ,/b") << true << "/a"
        << "/b" << QStringList() << "" << none << "0000" << 111.0 << 222.0;
    QTest::newRow("UTF-8 with a byte-order mark")
        << QByteArray("\xEF\xBB\xBF")
            + QStringLiteral("抽出フォルダ,/한국어\r\n識別子,.txt\r\n").toUtf8()
        << true << "/한국어"
        << "BEFORE-O" << QStringList {".txt"} << ".txt" << none << "0000" << 111.0 << 222.0;
    QTest::newRow("empty file") << QByteArray() << true << "BEFORE-S"
                                << "BEFORE-O" << QStringList() << "" << none << "0000" << 111.0
                                << 222.0;
    QTest::newRow("huge position") << cp932("上位置,1e999\r\n") << false << kCur << kCur
                                   << defaultsList << ".TXT" << lzh << "0000" << 111.0 << 222.0;
}

void TestSettingsFile::parse()
{
    QFETCH(QByteArray, content);
    Settings s = before();
    const IniLoadResult result = parseSettings(&content, s, kCur);
    QTEST(result == IniLoadResult::FileApplied, "applied");
    QTEST(s.selectFolder, "select");
    QTEST(s.outputFolder, "output");
    QTEST(s.extensions, "extensions");
    QTEST(s.extensionText, "extensionText");
    QTEST(int(s.archiver), "archiver");
    QTEST(switches(s), "switchValues");
    QTEST(s.top, "top");
    QTEST(s.left, "left");
}

void TestSettingsFile::noFile()
{
    QTemporaryDir dir;
    Settings s = before();
    QCOMPARE(IniLoad(dir.filePath("kwSheaf.ini"), s, QStringLiteral("/home/u/")),
        IniLoadResult::DefaultsApplied);
    QCOMPARE(s.selectFolder, QStringLiteral("/home/u"));
    QCOMPARE(s.outputFolder, QStringLiteral("/home/u"));
    QCOMPARE(s.extensions, (QStringList {".TXT", ".EXE"}));
    QCOMPARE(s.extensionText, QStringLiteral(".TXT"));
    QCOMPARE(s.archiver, Archiver::Lzh);
    QCOMPARE(switches(s), QStringLiteral("0000"));

    Settings root;
    parseSettings(nullptr, root, QStringLiteral("/"));
    QCOMPARE(root.selectFolder, QStringLiteral("/"));
}

void TestSettingsFile::exampleSavesBackByteForByte()
{
    Settings s;
    QCOMPARE(parseSettings(&kExample, s, kCur), IniLoadResult::FileApplied);
    QCOMPARE(serializeSettings(s), kExample);
}

void TestSettingsFile::savesWithoutEmptyLines()
{
    Settings s;
    s.extensions = QStringList {"", ""};
    s.selectFolder = QStringLiteral("/s");
    s.outputFolder = QStringLiteral("/o");
    QCOMPARE(serializeSettings(s),
        cp932("抽出チェック, 0 \r\n出力チェック, 0 \r\n名前チェック, 0 \r\n一緒チェック, 0 \r\n"
              "抽出フォルダ,/s\r\n出力フォルダ,/o\r\n上位置, 0 \r\n左位置, 0 \r\n"));
    s.extensions = QStringList {".A", "", ".B"};
    s.archiver = Archiver::Zip;
    const QByteArray bytes = serializeSettings(s);
    QVERIFY(bytes.contains(cp932("識別子,.A\r\n識別子,.B\r\nアーカイバ,ZIP\r\n")));
    QVERIFY(!bytes.contains("\r\n\r\n"));
}

void TestSettingsFile::numberFormat()
{
    Settings s;
    s.chkSelect = 1;
    s.chkTogether = 2;
    s.top = -60;
    s.left = 1200.5;
    const QByteArray bytes = serializeSettings(s);
    QVERIFY(bytes.contains(cp932("抽出チェック, 1 \r\n")));
    QVERIFY(bytes.contains(cp932("一緒チェック, 2 \r\n")));
    QVERIFY(bytes.contains(cp932("上位置,-60 \r\n")));
    QVERIFY(bytes.contains(cp932("左位置, 1200.5 \r\n")));
}

void TestSettingsFile::roundTripOfFolders_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("plain") << "/home/u/資料" << false;
    QTest::newRow("backslash and tilde") << "C:\\DATA\\~1" << false;
    QTest::newRow("comma") << "/home/u/a,b" << false;
    QTest::newRow("line break") << "/home/u/a\nb" << false;
    QTest::newRow("leading space") << " /x" << false;
    QTest::newRow("trailing space") << "/x " << false;
    QTest::newRow("quote inside") << "/x\"y" << false;
    QTest::newRow("no code page 932 form") << "/home/u/한국어 😀" << true;
    QTest::newRow("no code page 932 form with comma") << "/home/u/ä,ö" << true;
    QTest::newRow("empty") << "" << false;
}

void TestSettingsFile::roundTripOfFolders()
{
    QFETCH(QString, folder);
    QFETCH(bool, utf8);
    Settings s;
    s.selectFolder = folder;
    s.outputFolder = folder + QStringLiteral("/out");
    s.extensions = QStringList {".TXT"};
    const QByteArray bytes = serializeSettings(s);
    QCOMPARE(bytes.startsWith("\xEF\xBB\xBF"), utf8);
    Settings back = before();
    QCOMPARE(parseSettings(&bytes, back, kCur), IniLoadResult::FileApplied);
    QCOMPARE(back.selectFolder, folder);
    QCOMPARE(back.outputFolder, folder + QStringLiteral("/out"));
    QCOMPARE(back.extensions, s.extensions);
}

void TestSettingsFile::roundTripOfEverything()
{
    Settings s;
    s.chkSelect = 1;
    s.chkOutput = 2;
    s.chkName = 0;
    s.chkTogether = 1;
    s.selectFolder = QStringLiteral("/資料/東京");
    s.outputFolder = QStringLiteral("/out,put");
    s.extensions = QStringList {".TXT", "", ".a,b", ".EXE"};
    s.archiver = Archiver::Cab;
    s.top = 1234;
    s.left = 0.25;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kwSheaf.ini"));
    QVERIFY(IniSave(path, s));
    Settings back = before();
    QCOMPARE(IniLoad(path, back, kCur), IniLoadResult::FileApplied);
    QCOMPARE(switches(back), switches(s));
    QCOMPARE(back.selectFolder, s.selectFolder);
    QCOMPARE(back.outputFolder, s.outputFolder);
    QCOMPARE(back.extensions, (QStringList {".TXT", ".a,b", ".EXE"}));
    QCOMPARE(back.extensionText, QStringLiteral(".TXT"));
    QCOMPARE(back.archiver, Archiver::Cab);
    QCOMPARE(back.top, 1234.0);
    QCOMPARE(back.left, 0.25);
}

void TestSettingsFile::iniSaveReplacesThroughRename()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kwSheaf.ini"));
    sheaf::test::writeFile(path, QByteArray(10000, 'x'));
    Settings s;
    s.selectFolder = QStringLiteral("/s");
    QVERIFY(IniSave(path, s));
    QCOMPARE(sheaf::test::readFile(path), serializeSettings(s));
    // Nothing but the settings file is left in the folder.
    QCOMPARE(sheaf::test::listTree(dir.path()), QStringList {"kwSheaf.ini"});

    // A settings file in a folder not yet made (the configuration folder).
    const QString nested = dir.filePath(QStringLiteral("config/sheaf/kwSheaf.ini"));
    QVERIFY(IniSave(nested, s));
    QCOMPARE(sheaf::test::readFile(nested), serializeSettings(s));
}

void TestSettingsFile::iniSaveFailsWithoutTouchingOthers()
{
    QTemporaryDir dir;
    // The file's place is taken by a folder: the save fails and the folder stays.
    const QString path = dir.filePath(QStringLiteral("kwSheaf.ini"));
    QVERIFY(QDir().mkpath(path + QStringLiteral("/keep")));
    QVERIFY(!IniSave(path, Settings()));
    QCOMPARE(
        sheaf::test::listTree(dir.path()), (QStringList {"kwSheaf.ini/", "kwSheaf.ini/keep/"}));
}

void TestSettingsFile::pathChoice_data()
{
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("fileBeside");
    QTest::addColumn<bool>("expectBeside");
    QTest::newRow("writable program folder") << true << false << true;
    QTest::newRow("installed copy") << false << false << false;
    QTest::newRow("installed copy with a file beside it") << false << true << true;
}

void TestSettingsFile::pathChoice()
{
    QFETCH(bool, writable);
    QFETCH(bool, fileBeside);
    QFETCH(bool, expectBeside);
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("bin"));
    const QString config = dir.filePath(QStringLiteral("config"));
    QDir().mkpath(program);
    if (fileBeside)
        sheaf::test::writeFile(program + QStringLiteral("/kwSheaf.ini"), "x");
    QCOMPARE(settingsPathIn(program, writable, config),
        (expectBeside ? program : config) + QStringLiteral("/kwSheaf.ini"));
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
