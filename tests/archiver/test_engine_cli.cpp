// sheaf-arc: arguments re-quoted into one line, exit status, reason on stderr.

#include "engine_test_support.h"

#include <QTest>

using namespace sheaf::test;

class TestEngineCli : public QObject
{
    Q_OBJECT

private slots:
    void runs_data();
    void runs();
};

void TestEngineCli::runs_data()
{
    QTest::addColumn<QStringList>("args"); // "@" stands for the temporary folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reader"); // checks the archive when made
    QTest::addColumn<QString>("stderrHolds");
    QTest::newRow("lzh, a name with spaces")
        << QStringList {"lzh", "a", "-a1", "-r0", "@/out/my file.lzh", "@/src/", "my file.txt"} << 0
        << "lhasa"
        << "";
    QTest::newRow("lzh with two threads")
        << QStringList {"-j", "2", "lzh", "a", "@/out/two.lzh", "@/src/", "my file.txt"} << 0
        << "lhasa"
        << "";
    QTest::newRow("thread count must be a number from 1")
        << QStringList {"-j", "0", "lzh", "a", "@/out/x.lzh", "@/src/", "my file.txt"} << 1 << ""
        << "-j";
    QTest::newRow("zip whole folder")
        << QStringList {"zip", "-r", "-S", "@/out/all.zip", "@/src/", "*.*"} << 0 << "unzip"
        << "";
    QTest::newRow("cab japanese name") << QStringList {"cab", "-a",
        QStringLiteral("@/out/日本.cab"), "@/src/", QStringLiteral("日本.txt")}
                                       << 0 << "cabextract"
                                       << "";
    QTest::newRow("failure reason on stderr")
        << QStringList {"zip", "-S", "@/out/x.zip", "@/src/", "missing.txt"} << 1 << ""
        << "missing.txt";
    QTest::newRow("unknown archiver")
        << QStringList {"rar", "a", "@/out/x.rar", "@/src/", "*.*"} << 1 << ""
        << "rar";
    QTest::newRow("double quote in an argument")
        << QStringList {"zip", "-S", "@/out/x.zip", "@/src/", "a\"b"} << 1 << ""
        << "二重引用符";
    QTest::newRow("no arguments") << QStringList {"zip"} << 1 << ""
                                  << "usage";
}

void TestEngineCli::runs()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, reader);
    QFETCH(QString, stderrHolds);
    QVERIFY2(QFileInfo::exists(sheafArc()), "build the sheaf-arc target first");
    QTemporaryDir tmp;
    writeFile(tmp.filePath("src/my file.txt"), "spaces");
    writeFile(tmp.filePath(QStringLiteral("src/日本.txt")), "japanese");
    QDir().mkpath(tmp.filePath("out"));
    for (QString &a : args)
        a.replace(QLatin1Char('@'), tmp.path());

    ToolResult r = runTool(sheafArc(), args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(r.err).contains(stderrHolds), r.err.constData());
    if (exitCode != 0) {
        QCOMPARE(listTree(tmp.filePath("out")), QStringList());
        return;
    }
    SHEAF_REQUIRE_TOOL(reader);
    const QStringList made = listTree(tmp.filePath("out"));
    QCOMPARE(made.size(), 1);
    const QString failure = extractWith(reader, tmp.filePath("out/" + made[0]), tmp.filePath("x"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QStringList expected = listTree(tmp.filePath("src"));
    if (args[0] != QLatin1String("zip"))
        expected = QStringList {args.last()};
    QCOMPARE(listTree(tmp.filePath("x")), expected);
    for (const QString &f : expected)
        QCOMPARE(readFile(tmp.filePath("x/" + f)), readFile(tmp.filePath("src/" + f)));
}

QTEST_GUILESS_MAIN(TestEngineCli)
#include "test_engine_cli.moc"
