// The extension field and its history list: commit, remove and move to the
// top, each as a table of (list, field text) before and after.

#include "choice/extension_list.h"

#include <QTest>

using namespace sheaf;

namespace {

enum Edit { Commit, Remove, ToFront };

ExtensionList make(const QStringList &entries, const QString &text)
{
    ExtensionList l;
    l.entries = entries;
    l.text = text;
    return l;
}

QStringList numbered(int from, int to)
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QStringLiteral(".%1").arg(i);
    return out;
}

} // namespace

class TestExtensionList : public QObject
{
    Q_OBJECT
private slots:
    void isValid_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow(".TXT") << ".TXT" << true;
        QTest::newRow(".C") << ".C" << true;
        QTest::newRow(".HTML") << ".HTML" << true;
        QTest::newRow(".ABCD") << ".ABCD" << true;
        QTest::newRow("dot, space, letter") << ". a" << true;
        QTest::newRow("no dot") << "txt" << false;
        QTest::newRow("lone dot") << "." << false;
        QTest::newRow("six characters") << ".ABCDE" << false;
        QTest::newRow("star") << "*.txt" << false;
        QTest::newRow("question mark") << ".t?t" << false;
        QTest::newRow("full-width full stop") << "．TXT" << false;
        QTest::newRow("trailing space") << ".TX " << false;
        QTest::newRow("leading space") << " .TX" << false;
        QTest::newRow("trailing full-width space") << ".TX　" << false;
        QTest::newRow("empty") << "" << false;
    }

    void isValid()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(ExtensionList::isValid(text), valid);
    }

    // Each edit of the list: ExtentCommit, ExtentRemove or ExtentToFront.
    void edit_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expectedEntries");
        QTest::addColumn<QString>("expectedText");
        const QStringList list = {".TXT", ".EXE"};
        QTest::newRow("commit: spaces around, new: to the top")
            << Commit << list << " .lzh " << QStringList {".lzh", ".TXT", ".EXE"} << ".lzh";
        QTest::newRow("commit: full-width spaces trimmed too")
            << Commit << list << "　.lzh　" << QStringList {".lzh", ".TXT", ".EXE"} << ".lzh";
        for (const char *bad : {"txt", ".", ".ABCDE", "*.txt", ".t?t", "   ", "", "．TXT"}) {
            QTest::addRow("commit: invalid '%s' falls back", bad)
                << Commit << list << bad << list << ".TXT";
            QTest::addRow("commit: invalid '%s' on an empty list", bad)
                << Commit << QStringList {} << bad << QStringList {} << "";
        }
        QTest::newRow("commit: five characters accepted")
            << Commit << list << ".ABCD" << QStringList {".ABCD", ".TXT", ".EXE"} << ".ABCD";
        QTest::newRow("commit: inner space accepted")
            << Commit << list << ". a" << QStringList {". a", ".TXT", ".EXE"} << ". a";
        QTest::newRow("commit: other letter case is another entry")
            << Commit << QStringList {".txt"} << ".TXT" << QStringList {".TXT", ".txt"} << ".TXT";
        QTest::newRow("commit: already listed: nothing moves, empties kept")
            << Commit << QStringList {".TXT", "", ".EXE"} << ".EXE"
            << QStringList {".TXT", "", ".EXE"} << ".EXE";
        QTest::newRow("commit: already listed, spaces trimmed from the field")
            << Commit << list << " .EXE" << list << ".EXE";
        QTest::newRow("commit: new entry drops the empty ones")
            << Commit << QStringList {"", ".TXT", "", ".EXE"} << ".C"
            << QStringList {".C", ".TXT", ".EXE"} << ".C";
        QTest::newRow("commit: invalid falls back to an empty entry 0")
            << Commit << QStringList {"", ".TXT"} << "bad" << QStringList {"", ".TXT"} << "";
        QTest::newRow("commit: first entry on an empty list")
            << Commit << QStringList {} << ".TXT" << QStringList {".TXT"} << ".TXT";
        // Beyond the table's room the oldest entries go and the newest stay.
        QTest::newRow("commit: 1001 entries and a new one")
            << Commit << numbered(1, 1001) << ".new" << (QStringList {".new"} + numbered(1, 1000))
            << ".new";
        QTest::newRow("commit: 1000 entries and a new one: nothing lost")
            << Commit << numbered(1, 1000) << ".new" << (QStringList {".new"} + numbered(1, 1000))
            << ".new";
        QTest::newRow("commit: listed beyond entry 1000: left alone")
            << Commit << numbered(1, 1200) << ".1100" << numbered(1, 1200) << ".1100";
        QTest::newRow("remove: one entry: kept")
            << Remove << QStringList {".TXT"} << ".TXT" << QStringList {".TXT"} << ".TXT";
        QTest::newRow("remove: empty list")
            << Remove << QStringList {} << ".TXT" << QStringList {} << ".TXT";
        QTest::newRow("remove: every equal entry and the empty ones go")
            << Remove << QStringList {".TXT", ".EXE", "", ".EXE"} << ".EXE" << QStringList {".TXT"}
            << ".TXT";
        QTest::newRow("remove: removing the first shows the next")
            << Remove << QStringList {".TXT", ".EXE", ".C"} << ".TXT" << QStringList {".EXE", ".C"}
            << ".EXE";
        QTest::newRow("remove: text in no entry: only empties go")
            << Remove << QStringList {".TXT", "", ".EXE"} << ".zzz" << QStringList {".TXT", ".EXE"}
            << ".TXT";
        QTest::newRow("remove: exact letter case")
            << Remove << QStringList {".TXT", ".txt"} << ".txt" << QStringList {".TXT"} << ".TXT";
        QTest::newRow("remove: the only two are the text")
            << Remove << QStringList {".EXE", ".EXE"} << ".EXE" << QStringList {} << "";
        QTest::newRow("remove: beyond 1000 the oldest go")
            << Remove << (QStringList {".x"} + numbered(1, 1001)) << ".x" << numbered(1, 1000)
            << ".1";
        QTest::newRow("toFront: chosen entry moves to the top")
            << ToFront << QStringList {".TXT", ".EXE", ".C"} << ".C"
            << QStringList {".C", ".TXT", ".EXE"} << ".C";
        QTest::newRow("toFront: duplicates and empties go")
            << ToFront << QStringList {".TXT", "", ".C", ".C"} << ".C" << QStringList {".C", ".TXT"}
            << ".C";
        QTest::newRow("toFront: not validated") << ToFront << QStringList {".TXT"} << "typed*"
                                                << QStringList {"typed*", ".TXT"} << "typed*";
        QTest::newRow("toFront: already first") << ToFront << QStringList {".TXT", ".EXE"} << ".TXT"
                                                << QStringList {".TXT", ".EXE"} << ".TXT";
        QTest::newRow("toFront: beyond 1000 the oldest go")
            << ToFront << numbered(1, 1005) << ".1003"
            << (QStringList {".1003"} + numbered(1, 1000)) << ".1003";
    }

    void edit()
    {
        QFETCH(Edit, edit);
        QFETCH(QStringList, entries);
        QFETCH(QString, text);
        QFETCH(QStringList, expectedEntries);
        QFETCH(QString, expectedText);
        ExtensionList l = make(entries, text);
        if (edit == Commit)
            l.ExtentCommit();
        else if (edit == Remove)
            l.ExtentRemove();
        else
            l.ExtentToFront();
        QCOMPARE(l.entries, expectedEntries);
        QCOMPARE(l.text, expectedText);
    }

    // Committing a listed extension keeps the order; choosing it then moves it.
    void commitThenChoose()
    {
        ExtensionList l = make({".TXT", ".EXE"}, ".EXE");
        l.ExtentCommit();
        QCOMPARE(l.entries, (QStringList {".TXT", ".EXE"}));
        l.ExtentToFront();
        QCOMPARE(l.entries, (QStringList {".EXE", ".TXT"}));
        QCOMPARE(l.text, QStringLiteral(".EXE"));
    }
};

QTEST_GUILESS_MAIN(TestExtensionList)
#include "test_extension_list.moc"
