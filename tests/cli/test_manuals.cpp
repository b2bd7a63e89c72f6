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
        QTest::addColumn<QByteArray>("locale"); // LC_ALL; its page under resources/man/LANG/
        QTest::addColumn<QString>("usage"); // how --help starts
        QTest::newRow("sheaf-batch") << "cli/sheaf-batch"
                                     << "sheaf-batch" << QByteArray("C.UTF-8") << "usage:";
        QTest::newRow("sheaf-arc") << "cli/sheaf-arc"
                                   << "sheaf-arc" << QByteArray("C.UTF-8") << "usage:";
        QTest::newRow("sheaf") << "app/sheaf"
                               << "" << QByteArray("C.UTF-8") << "使い方:";
        for (const char *program : {"cli/sheaf-batch", "cli/sheaf-arc", "app/sheaf"})
            QTest::addRow("%s, Japanese", program)
                << program << "" << QByteArray("ja_JP.UTF-8") << "使い方:";
    }

    void helpOptionsDescribed()
    {
        QFETCH(QString, program);
        QFETCH(QString, completion);
        QFETCH(QByteArray, locale);
        QFETCH(QString, usage);
        SHEAF_REQUIRE_TOOL(QStringLiteral("man"));
        const QString path = QStringLiteral(SHEAF_BINARY_DIR "/src/") + program;
        if (!QFile::exists(path))
            QSKIP("program not built");
        const QString name = program.section(u'/', 1);

        qputenv("LC_ALL", locale);
        const ToolResult help = runTool(path, {QStringLiteral("--help")});
        qputenv("LC_ALL", "C.UTF-8");
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(QString::fromUtf8(help.out).startsWith(usage), help.out.constData());
        const QSet<QString> options = optionsIn(QString::fromUtf8(help.out));
        QVERIFY(options.contains(QStringLiteral("--version")));

        qputenv("MANWIDTH", "200");
        qputenv("MANPAGER", "cat");
        const ToolResult man = runTool(QStringLiteral("man"),
            {QStringLiteral("-l"),
                QStringLiteral(SHEAF_SOURCE_DIR "/resources/man/")
                    + (locale.startsWith("ja") ? QStringLiteral("ja/") : QString()) + name
                    + QStringLiteral(".1")});
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

    // What bash offers at the end of a command line typed so far.
    void completion_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("offered");
        QTest::newRow("archiver after -j N") << "sheaf-arc -j 4 "
                                             << "lzh zip cab";
        QTest::newRow("LZH command after -j N") << "sheaf-arc -j 4 lzh "
                                                << "a t l";
        QTest::newRow("LZH switch after -j N") << "sheaf-arc -j 4 lzh a -lh"
                                               << "-lh5 -lh6 -lh7";
        QTest::newRow("sheaf-batch archiver") << "sheaf-batch -s -a "
                                              << "lzh zip cab";
        QTest::newRow("sheaf-batch --each option") << "sheaf-batch --each -a zip --w"
                                                   << "--whole-name";
    }

    void completion()
    {
        QFETCH(QString, line);
        const QString library = QStringLiteral("/usr/share/bash-completion/bash_completion");
        if (!QFile::exists(library))
            SHEAF_REQUIRE_TOOL(QStringLiteral("bash-completion"));
        const QString program = line.section(u' ', 0, 0);
        const QString script = QStringLiteral(
            "source %1; source " SHEAF_SOURCE_DIR "/resources/completion/%2;"
            "COMP_LINE=\"$1\"; COMP_POINT=${#1}; read -ra COMP_WORDS <<<\"$1\";"
            "[[ $1 == *' ' ]] && COMP_WORDS+=(''); COMP_CWORD=$((${#COMP_WORDS[@]} - 1));"
            "_%3 %2 \"${COMP_WORDS[-1]}\" \"${COMP_WORDS[-2]}\"; echo \"${COMPREPLY[*]}\"")
                                   .arg(library, program, QString(program).replace(u'-', u'_'));
        const ToolResult r = runTool(
            QStringLiteral("bash"), {QStringLiteral("-c"), script, QStringLiteral("bash"), line});
        QCOMPARE(r.exitCode, 0);
        QTEST(QString::fromUtf8(r.out).trimmed(), "offered");
    }
};

QTEST_MAIN(TestManuals)
#include "test_manuals.moc"
