// Every option that a program's --help shows is described in its manual page
// (as man renders it) and offered by its bash completion, so that neither
// falls behind when an option is added.

#include "support/oracles.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace sheaf::test;

namespace {

// "-x" and "--word" standing alone: not "-a1", "-lh5" or "sheaf-batch".
QSet<QString> optionsIn(QString text)
{
    text.replace(QChar(0x2010), u'-').replace(QChar(0x2212), u'-');
    static const QRegularExpression option(
        QStringLiteral("(?<![\\w-])(--?[A-Za-z][A-Za-z-]*)(?![\\w])"));
    QSet<QString> found;
    for (const QRegularExpressionMatch &m : option.globalMatch(text))
        found.insert(m.captured(1));
    return found;
}

} // namespace

class TestManuals : public QObject
{
    Q_OBJECT
private slots:
    void helpOptionsDescribed_data()
    {
        QTest::addColumn<QString>("program"); // under the build folder's src/
        QTest::addColumn<QString>("completion"); // resources/completion/..., empty: none
        QTest::newRow("sheaf-batch") << "cli/sheaf-batch"
                                     << "sheaf-batch";
        QTest::newRow("sheaf-arc") << "cli/sheaf-arc"
                                   << "sheaf-arc";
        QTest::newRow("sheaf") << "app/sheaf"
                               << "";
    }

    void helpOptionsDescribed()
    {
        QFETCH(QString, program);
        QFETCH(QString, completion);
        SHEAF_REQUIRE_TOOL(QStringLiteral("man"));
        const QString path = QStringLiteral(SHEAF_BINARY_DIR "/src/") + program;
        if (!QFile::exists(path))
            QSKIP("program not built");
        const QString name = program.section(u'/', 1);

        const ToolResult help = runTool(path, {QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        const QSet<QString> options = optionsIn(QString::fromUtf8(help.out));
        QVERIFY(options.contains(QStringLiteral("--version")));

        qputenv("MANWIDTH", "200");
        qputenv("MANPAGER", "cat");
        const ToolResult man = runTool(QStringLiteral("man"),
            {QStringLiteral("-l"),
                QStringLiteral(SHEAF_SOURCE_DIR "/resources/man/") + name + QStringLiteral(".1")});
        QCOMPARE(man.exitCode, 0);
        const QSet<QString> described = optionsIn(QString::fromUtf8(man.out));
        for (const QString &o : options)
            QVERIFY2(described.contains(o),
                qPrintable(name + QStringLiteral(" --help shows ") + o
                    + QStringLiteral(", its manual page does not")));

        if (completion.isEmpty())
            return;
        QFile file(QStringLiteral(SHEAF_SOURCE_DIR "/resources/completion/") + completion);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QSet<QString> offered = optionsIn(QString::fromUtf8(file.readAll()));
        for (const QString &o : options)
            QVERIFY2(offered.contains(o),
                qPrintable(name + QStringLiteral(" --help shows ") + o
                    + QStringLiteral(", its completion does not offer it")));
    }
};

QTEST_MAIN(TestManuals)
#include "test_manuals.moc"
