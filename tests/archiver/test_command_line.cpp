// Splitting command lines, the three dialects and the wildcard rule.

#include "archiver/archive_error.h"
#include "archiver/dialects.h"
#include "archiver/wildcard.h"

#include <QTest>

using namespace sheaf::archiver;

namespace {

QStringList toQt(const std::vector<std::string> &tokens)
{
    QStringList out;
    for (const auto &t : tokens)
        out << QString::fromStdString(t);
    return out;
}

// "ok" or the reason of the refusal.
QString parseOutcome(const QString &dialect, const QString &line, ArchiveRequest &request)
{
    try {
        auto tokens = splitCommandLine(line.toStdString());
        if (dialect == QLatin1String("lzh"))
            request = parseLzhCommandLine(tokens);
        else if (dialect == QLatin1String("zip"))
            request = parseZipCommandLine(tokens);
        else
            request = parseCabCommandLine(tokens);
        return QStringLiteral("ok");
    } catch (const ArchiveError &e) {
        if (e.code() != ErrorCode::BadCommandLine)
            return QStringLiteral("wrong code");
        return QString::fromStdString(e.what());
    }
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void split_data();
    void split();
    void unterminatedQuote();
    void acceptedLines_data();
    void acceptedLines();
    void refusedLines_data();
    void refusedLines();
    void wildcards_data();
    void wildcards();
};

void TestCommandLine::split_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("tokens");
    QTest::newRow("window lzh file")
        << R"(a -a1 -r0 "/o/IMG 01.lzh" "/d/my photos/" "IMG01.TXT")"
        << QStringList {"a", "-a1", "-r0", "/o/IMG 01.lzh", "/d/my photos/", "IMG01.TXT"};
    QTest::newRow("window zip folder")
        << R"(-r -S "/o/a.zip" "/d/" *.*)" << QStringList {"-r", "-S", "/o/a.zip", "/d/", "*.*"};
    QTest::newRow("runs of spaces and tabs")
        << "  a \t -r2x1   x  " << QStringList {"a", "-r2x1", "x"};
    QTest::newRow("quotes inside a token join") << R"(ab"c d"e)" << QStringList {"abc de"};
    QTest::newRow("empty quoted token kept") << R"(a "" b)" << QStringList {"a", "", "b"};
    QTest::newRow("japanese") << QStringLiteral("\"/データ/写真/\" \"画像 1.TXT\"")
                              << QStringList {
                                     QStringLiteral("/データ/写真/"), QStringLiteral("画像 1.TXT")};
    QTest::newRow("empty line") << "" << QStringList {};
}

void TestCommandLine::split()
{
    QFETCH(QString, line);
    QFETCH(QStringList, tokens);
    QCOMPARE(toQt(splitCommandLine(line.toStdString())), tokens);
}

void TestCommandLine::unterminatedQuote()
{
    try {
        splitCommandLine(R"(a -r0 "/o/a.lzh" "/d/ x)");
        QFAIL("an unterminated quote was accepted");
    } catch (const ArchiveError &e) {
        QCOMPARE(e.code(), ErrorCode::BadCommandLine);
    }
}

void TestCommandLine::acceptedLines_data()
{
    QTest::addColumn<QString>("dialect");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("recurse");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("relative");
    QTest::addColumn<int>("method");
    QTest::addColumn<QStringList>("names");
    // The method switches' effect on the archive is checked end to end in
    // test_engine_interop.
    const struct
    {
        const char *row, *dialect, *line;
        bool recurse, hidden, relative;
        int method;
        const char *names; // separated by spaces
    } rows[] = {
        {"lzh window file", "lzh", R"(a -a1 -r0 "/o/x.lzh" "/d/" "X.TXT")", false, true, false, 5,
            "X.TXT"},
        {"lzh window folder", "lzh", R"(a -a2 -r2x1 "/o/x.lzh" "/d/" *.*)", true, true, true, 5,
            "*.*"},
        {"lzh chained in other order", "lzh", R"(a -x1r2a0 /o/x.lzh /d/ a b)", true, false, true, 5,
            "a b"},
        {"lzh later switch wins", "lzh", R"(a -r2 -r0 /o/x.lzh /d/ a)", false, false, false, 5,
            "a"},
        {"lzh lh7 chained", "lzh", R"(a -r2lh7x1 /o/x.lzh /d/ a)", true, false, true, 7, "a"},
        {"lzh name after archive may start with dash", "lzh", R"(a /o/x.lzh /d/ -r0)", false, false,
            false, 5, "-r0"},
        {"zip window file", "zip", R"(-S "/o/x.zip" "/d/" "X.TXT")", false, true, true, 5, "X.TXT"},
        {"zip window folder", "zip", R"(-r -S "/o/x.zip" "/d/" *.*)", true, true, true, 5, "*.*"},
        {"zip no switches", "zip", R"(/o/x.zip /d/ sub/a.txt)", false, false, true, 5, "sub/a.txt"},
        {"zip chained", "zip", R"(-rS /o/x.zip /d/ *.*)", true, true, true, 5, "*.*"},
        {"zip . parts and doubled separators dropped", "zip",
            R"(/o/x.zip /d/ ./a.txt sub//./b.txt ./*.*)", false, false, true, 5,
            "a.txt sub/b.txt *.*"},
        {"cab window file", "cab", R"(-a "/o/x.cab" "/d/" "X.TXT")", false, true, true, 5, "X.TXT"},
        {"cab window folder", "cab", R"(-a -r "/o/x.cab" "/d/" *.*)", true, true, true, 5, "*.*"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.row) << QString(r.dialect) << QString(r.line) << r.recurse << r.hidden
                             << r.relative << r.method << QString(r.names).split(u' ');
}

void TestCommandLine::acceptedLines()
{
    QFETCH(QString, dialect);
    QFETCH(QString, line);
    QFETCH(bool, recurse);
    QFETCH(bool, hidden);
    QFETCH(bool, relative);
    QFETCH(int, method);
    QFETCH(QStringList, names);
    ArchiveRequest r;
    QCOMPARE(parseOutcome(dialect, line, r), QStringLiteral("ok"));
    QCOMPARE(QString::fromStdString(r.archive.string()), "/o/x." + dialect);
    QCOMPARE(QString::fromStdString(r.baseFolder.string()), QStringLiteral("/d/"));
    QCOMPARE(r.recurse, recurse);
    QCOMPARE(r.includeHidden, hidden);
    QCOMPARE(r.relativePaths, relative);
    const int methods[] = {5, 6, 7};
    QCOMPARE(methods[int(r.lzhMethod)], method);
    QCOMPARE(toQt(r.names), names);
}

void TestCommandLine::refusedLines_data()
{
    QTest::addColumn<QString>("dialect");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("reasonHolds");
    const struct
    {
        const char *row, *dialect, *line, *reasonHolds;
    } rows[] = {
        {"lzh empty", "lzh", "", "空です"},
        {"lzh unknown command", "lzh", R"(x -r0 /o/x.lzh /d/ a)", "\"x\""},
        {"lzh unknown switch", "lzh", R"(a -q /o/x.lzh /d/ a)", "-q"},
        {"lzh unknown switch in chain", "lzh", R"(a -r2z1 /o/x.lzh /d/ a)", "-z"},
        {"lzh r1 unsupported", "lzh", R"(a -r1 /o/x.lzh /d/ a)", "-r1"},
        {"lzh switch without number", "lzh", R"(a -r /o/x.lzh /d/ a)", "数字"},
        {"lzh lh8", "lzh", R"(a -lh8 /o/x.lzh /d/ a)", "圧縮方法"},
        {"lzh no archive", "lzh", R"(a -r0)", "書庫の名前"},
        {"lzh archive is a folder", "lzh", R"(a /o/ /d/ a)", "書庫の名前"},
        {"lzh missing base folder", "lzh", R"(a /o/x.lzh /d/a.txt)", "基準フォルダ"},
        {"lzh no names", "lzh", R"(a /o/x.lzh "/d/")", "ファイル名もパターンも"},
        {"lzh empty name", "lzh", R"(a /o/x.lzh /d/ "")", "ファイル名が空"},
        {"lzh absolute name", "lzh", R"(a /o/x.lzh /d/ /etc/passwd)", "相対パス"},
        {"lzh name leaving the base", "lzh", R"(a /o/x.lzh /d/ ../x)", "基準フォルダの外"},
        {"lzh name that is the base folder", "lzh", R"(a /o/x.lzh /d/ ./)", "フォルダそのもの"},
        {"zip unknown switch", "zip", R"(-r -S -9 /o/x.zip /d/ *.*)", "-9"},
        {"zip missing base", "zip", R"(-S /o/x.zip a.txt)", "基準フォルダ"},
        {"cab missing -a", "cab", R"(-r /o/x.cab /d/ *.*)", "-a"},
        {"cab unknown switch", "cab", R"(-a -S /o/x.cab /d/ *.*)", "-S"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.row) << QString::fromUtf8(r.dialect) << QString::fromUtf8(r.line)
                             << QString::fromUtf8(r.reasonHolds);
}

void TestCommandLine::refusedLines()
{
    QFETCH(QString, dialect);
    QFETCH(QString, line);
    QFETCH(QString, reasonHolds);
    ArchiveRequest r;
    const QString outcome = parseOutcome(dialect, line, r);
    QVERIFY2(outcome != QLatin1String("ok") && outcome.contains(reasonHolds), qPrintable(outcome));
}

void TestCommandLine::wildcards_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matches");
    const struct
    {
        const char *row, *pattern, *name;
        bool matches;
    } rows[] = {
        {"*.* no dot", "*.*", "README", true},
        {"*.* dot file", "*.*", ".hidden", true},
        {"case-insensitive ascii", "*.txt", "IMG01.TXT", true},
        {"extension must match", "*.txt", "a.txt.bak", false},
        {"? one char", "IMG0?.TXT", "img01.txt", true},
        {"? not zero chars", "IMG0?.TXT", "IMG0.TXT", false},
        {"? one japanese char", "写?.txt", "写真.txt", true},
        {"full-width letters fold", "ＡＢ*", "ａｂｃ", true},
        {"latin-1 letters fold", "É*", "école", true},
        {"cyrillic folds", "Ж*", "жук", true},
        {"trailing text required", "a*z", "abc", false},
    };
    for (const auto &r : rows)
        QTest::newRow(r.row) << QString::fromUtf8(r.pattern) << QString::fromUtf8(r.name)
                             << r.matches;
    QTest::newRow("many stars stay linear")
        << "*a*a*a*a*a*a*a*b" << QString(200, QLatin1Char('a')) << false;
}

void TestCommandLine::wildcards()
{
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, matches);
    QCOMPARE(matchesWildcard(pattern.toStdString(), name.toStdString()), matches);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
