// The window program started as a desktop starts it: with a folder argument,
// from the desktop entry, Dolphin's service menus and the GNOME Files
// scripts, each command line taken from the installed file. The windows
// report what they did (SHEAF_REPORT_FOLDERS) instead of waiting for the
// user. Also the validators of the desktop files and the versions of the
// three programs.

#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

using namespace sheaf::test;

namespace {

QString resource(const QString &name)
{
    return QStringLiteral(SHEAF_SOURCE_DIR "/resources/") + name;
}

// The Exec line of `group` in a desktop file, split at spaces.
QStringList execLine(const QString &file, const QString &group)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    bool inGroup = false;
    for (const QString &line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        if (line.startsWith(u'['))
            inGroup = line == u'[' + group + u']';
        else if (inGroup && line.startsWith(QLatin1String("Exec=")))
            return line.mid(5).split(u' ', Qt::SkipEmptyParts);
    }
    return {};
}

} // namespace

class TestLaunch : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        writeFile(m_dir.filePath(QStringLiteral("tree/sub folder/a.txt")), "a");
        writeFile(m_dir.filePath(QStringLiteral("tree/-dash/b.txt")), "b");
        writeFile(m_dir.filePath(QStringLiteral("tree/other/c.txt")), "c");
        for (int i = 1; i <= 11; ++i)
            QDir().mkpath(m_dir.filePath(QStringLiteral("tree/n%1").arg(i)));
        // The entries call `sheaf` by name: the one just built.
        qputenv("PATH", QByteArray(SHEAF_BINARY_DIR "/src/app:") + qgetenv("PATH"));
        qputenv("SHEAF_REPORT_FOLDERS", "1");
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
    }

    void opensOnFolder_data()
    {
        QTest::addColumn<QStringList>("command"); // %f, %F: the arguments
        QTest::addColumn<QStringList>("arguments"); // relative to tree/
        QTest::addColumn<QStringList>("expected"); // one window each, relative to tree/

        const QStringList plain {"sheaf", "%f"};
        const QStringList sub {"sub folder"}, dash {"-dash"}, both {"sub folder", "-dash"},
            two {"sub folder", "other"}; // a desktop gives absolute paths, none with a dash
        QTest::newRow("folder") << plain << sub << sub;
        QTest::newRow("file stands for its folder")
            << plain << QStringList {"sub folder/a.txt"} << sub;
        QTest::newRow("after --, a name with a dash")
            << QStringList {"sheaf", "--", "%f"} << dash << dash;
        QTest::newRow("two folders, and a file of the first")
            << QStringList {"sheaf", "--", "%F"} << both + QStringList {"sub folder/a.txt"} << both;
        const QStringList desktop
            = execLine(resource(QStringLiteral("sheaf.desktop")), QStringLiteral("Desktop Entry"));
        QTest::newRow("desktop entry, two folders") << desktop << two << two;
        const QStringList dolphin
            = execLine(resource(QStringLiteral("sheaf-servicemenu-open.desktop")),
                QStringLiteral("Desktop Action open"));
        QTest::newRow("Dolphin service menu") << dolphin << sub << sub;
        QTest::newRow("Dolphin service menu, two folders") << dolphin << two << two;
        const QStringList script {"sh", resource(QStringLiteral("sheaf-nautilus-open")), "%F"};
        QTest::newRow("Files script, two selected") << script << both << both;
        QStringList eleven;
        for (int i = 1; i <= 11; ++i)
            eleven << QStringLiteral("n%1").arg(i);
        QTest::newRow("eleven folders: ten windows, the rest named")
            << plain << eleven << eleven.mid(0, 10);
        QTest::newRow("Files script, nothing selected")
            << script << QStringList() << QStringList {""};
    }

    void opensOnFolder()
    {
        QFETCH(QStringList, command);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        QVERIFY(!command.isEmpty());
        const QString tree = m_dir.filePath(QStringLiteral("tree"));
        QStringList args;
        for (const QString &word : command.mid(1))
            args << (word == QLatin1String("%f") || word == QLatin1String("%F")
                    ? arguments
                    : QStringList {word});
        const ToolResult r = runTool(command.first(), args, tree, 60000);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        // A line per window: its folder, and only the first writes the settings.
        const QStringList lines = QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), expected.size());
        QSet<QString> places;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QStringList fields = lines[i].split(u'\t');
            QCOMPARE(fields.value(0), QDir::cleanPath(tree + u'/' + expected[i]));
            QCOMPARE(fields.value(2) == QLatin1String("-"), i > 0);
            places << fields.value(3);
        }
        QCOMPARE(places.size(), lines.size()); // no window on top of another
        for (const QString &left : arguments.mid(10))
            QVERIFY2(
                r.err.contains(QDir::cleanPath(tree + u'/' + left).toUtf8()), r.err.constData());
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("display"); // DISPLAY; "offscreen": that platform
        QTest::addColumn<QString>("message");
        const QString noDisplay = QStringLiteral("画面がなくても sheaf-batch で一括圧縮できます");
        QTest::newRow("missing folder")
            << QStringList {"gone"} << QByteArray("offscreen") << "フォルダが見つかりません: gone";
        QTest::newRow("a second folder missing") << QStringList {"sub folder",
            "gone"} << QByteArray("offscreen") << "フォルダが見つかりません: gone";
        QTest::newRow("unknown option")
            << QStringList {"-z"} << QByteArray("offscreen") << "不明なオプションです: -z";
        QTest::newRow("no display") << QStringList {} << QByteArray() << noDisplay;
        QTest::newRow("no display, missing folder")
            << QStringList {"/nonexist"} << QByteArray() << noDisplay;
        QTest::newRow("display out of reach") << QStringList {} << QByteArray(":77") << noDisplay;
    }

    void refused()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, display);
        QFETCH(QString, message);
        qunsetenv("WAYLAND_DISPLAY");
        qunsetenv("DISPLAY");
        if (display != "offscreen") {
            qunsetenv("QT_QPA_PLATFORM");
            if (!display.isEmpty())
                qputenv("DISPLAY", display);
        }
        const ToolResult r = runTool(QStringLiteral(SHEAF_BINARY_DIR "/src/app/sheaf"), args,
            m_dir.filePath(QStringLiteral("tree")), 60000);
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
        QVERIFY(r.out.isEmpty());
    }

    // --help and --version answer without a display.
    void versions_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("sheaf") << "app/sheaf";
        QTest::newRow("sheaf-batch") << "cli/sheaf-batch";
        QTest::newRow("sheaf-arc") << "cli/sheaf-arc";
    }

    void versions()
    {
        QFETCH(QString, program);
        const QString name = program.section(u'/', 1);
        qunsetenv("QT_QPA_PLATFORM");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        const ToolResult r = runTool(
            QStringLiteral(SHEAF_BINARY_DIR "/src/") + program, {QStringLiteral("--version")});
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QString::fromUtf8(r.out), name + QStringLiteral(" " SHEAF_VERSION "\n"));
    }

    // One archive per item from Dolphin's submenu and the Files scripts, as
    // the file managers run them: every selected item one argument, names
    // with a line break, a leading dash and a byte outside UTF-8 included.
    void eachFromFileManagers_data()
    {
        QTest::addColumn<QStringList>("command"); // the selected items follow it
        QTest::addColumn<QString>("format");
        const QString menu = resource(QStringLiteral("sheaf-servicemenu-each.desktop"));
        for (const char *format : {"lzh", "zip", "cab"}) {
            QStringList dolphin = execLine(menu, QStringLiteral("Desktop Action ") + format);
            QVERIFY(dolphin.removeAll(QStringLiteral("%F")) == 1);
            QTest::addRow("Dolphin, %s", format) << dolphin << format;
            QTest::addRow("Files, %s", format)
                << QStringList {QStringLiteral(SHEAF_BINARY_DIR "/nautilus/")
                       + QString::fromLatin1(format).toUpper() + QStringLiteral(" で個別圧縮")}
                << format;
        }
    }

    void eachFromFileManagers()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, format);
        SHEAF_REQUIRE_TOOL(sheaf::test::readerFor("x." + format));
        QTemporaryDir tmp;
        // QDir cannot name bytes outside UTF-8, so QTemporaryDir could not remove them.
        const auto cleanUp
            = qScopeGuard([&] { std::filesystem::remove_all(tmp.path().toStdString()); });
        const QString sel = tmp.filePath(QStringLiteral("sel"));
        writeFile(sel + QStringLiteral("/sub folder/a.txt"), "a");
        writeFile(sel + QStringLiteral("/-dash.txt"), "d");
        writeFile(sel + QStringLiteral("/改\n行.txt"), "n");
        // The selection in a file manager's order: a glob over the folder.
        const ToolResult r = runTool(QStringLiteral("bash"),
            QStringList {QStringLiteral("-c"),
                QStringLiteral(": >$'sel/bad\\xff.txt'; exec \"$@\" \"$PWD\"/sel/*"),
                QStringLiteral("bash")}
                + command,
            tmp.path(), 60000);
        QCOMPARE(r.exitCode, 1);
        const QStringList lines = QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QStringLiteral("書庫を 3 件作成しました（失敗 1 件）"));
        QCOMPARE(lines.value(1),
            QStringLiteral("失敗しました: ") + sel
                + QStringLiteral("/bad\\xFF.txt: 名前に文字として読めないバイトが含まれています"));
        const QString ext = u'.' + format;
        for (const QString &made : {QStringLiteral("-dash"), QStringLiteral("改\n行")})
            QVERIFY2(QFile::exists(sel + u'/' + made + ext), qPrintable(made));
        QCOMPARE(sheaf::test::extractAndCompare(sel + QStringLiteral("/sub folder") + ext,
                     QMap<QString, QByteArray> {{QStringLiteral("sub folder/a.txt"), "a"}},
                     tmp.filePath(QStringLiteral("x"))),
            QStringList());
    }

    void validators_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("desktop entry")
            << QStringList {"desktop-file-validate", resource(QStringLiteral("sheaf.desktop"))};
        for (const char *menu :
            {"sheaf-servicemenu-open.desktop", "sheaf-servicemenu-each.desktop"})
            QTest::addRow("%s", menu)
                << QStringList {"desktop-file-validate", resource(QString::fromLatin1(menu))};
        QTest::newRow("AppStream metadata") << QStringList {"appstreamcli", "validate", "--no-net",
            resource(QStringLiteral("io.github.sheaf.Sheaf.metainfo.xml"))};
    }

    void validators()
    {
        QFETCH(QStringList, command);
        SHEAF_REQUIRE_TOOL(command.first());
        const ToolResult r = runTool(command.takeFirst(), command);
        QVERIFY2(r.exitCode == 0, (r.out + r.err).constData());
        // desktop-file-validate passes hints with status 0; none are wanted.
        QVERIFY2(!r.out.contains("hint:"), r.out.constData());
    }
};

QTEST_MAIN(TestLaunch)
#include "test_launch.moc"
