// The extension field and its history list: commit, remove and move to the
// top, each as a table of (list, field text) before and after.

#include "choice/extension_list.h"

#include <QTest>

using namespace sheaf;

namespace {

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

void addColumns()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expectedEntries");
    QTest::addColumn<QString>("expectedText");
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

    void commit_data()
    {
        addColumns();
        const QStringList list = {".TXT", ".EXE"};
        QTest::newRow("spaces around, new: to the top")
            << list << " .lzh " << QStringList {".lzh", ".TXT", ".EXE"} << ".lzh";
        QTest::newRow("full-width spaces trimmed too")
            << list << "　.lzh　" << QStringList {".lzh", ".TXT", ".EXE"} << ".lzh";
        for (const char *bad : {"txt", ".", ".ABCDE", "*.txt", ".t?t", "   ", "", "．TXT"}) {
            QTest::addRow("invalid '%s' falls back", bad) << list << bad << list << ".TXT";
            QTest::addRow("invalid '%s' on an empty list", bad)
                << QStringList {} << bad << QStringList {} << "";
        }
        QTest::newRow("five characters accepted")
            << list << ".ABCD" << QStringList {".ABCD", ".TXT", ".EXE"} << ".ABCD";
        QTest::newRow("inner space accepted")
            << list << ". a" << QStringList {". a", ".TXT", ".EXE"} << ". a";
        QTest::newRow("other letter case is another entry")
            << QStringList {".txt"} << ".TXT" << QStringList {".TXT", ".txt"} << ".TXT";
        QTest::newRow("already listed: nothing moves, empties kept") << QStringList {".TXT", "",
            ".EXE"} << ".EXE" << QStringList {".TXT", "", ".EXE"} << ".EXE";
        QTest::newRow("already listed, spaces trimmed from the field")
            << list << " .EXE" << list << ".EXE";
        QTest::newRow("new entry drops the empty ones")
            << QStringList {"", ".TXT", "", ".EXE"} << ".C" << QStringList {".C", ".TXT", ".EXE"}
            << ".C";
        QTest::newRow("invalid falls back to an empty entry 0")
            << QStringList {"", ".TXT"} << "bad" << QStringList {"", ".TXT"} << "";
        QTest::newRow("first entry on an empty list")
            << QStringList {} << ".TXT" << QStringList {".TXT"} << ".TXT";
        // Beyond the table's room the oldest entries go and the newest stay.
        QTest::newRow("1001 entries and a new one")
            << numbered(1, 1001) << ".new" << (QStringList {".new"} + numbered(1, 1000)) << ".new";
        QTest::newRow("1000 entries and a new one: nothing lost")
            << numbered(1, 1000) << ".new" << (QStringList {".new"} + numbered(1, 1000)) << ".new";
        QTest::newRow("listed beyond entry 1000: left alone")
            << numbered(1, 1200) << ".1100" << numbered(1, 1200) << ".1100";
    }

    void commit()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, text);
        QFETCH(QStringList, expectedEntries);
        QFETCH(QString, expectedText);
        ExtensionList l = make(entries, text);
        l.ExtentCommit();
        QCOMPARE(l.entries, expectedEntries);
        QCOMPARE(l.text, expectedText);
    }

    void remove_data()
    {
        addColumns();
        QTest::newRow("one entry: kept")
            << QStringList {".TXT"} << ".TXT" << QStringList {".TXT"} << ".TXT";
        QTest::newRow("empty list") << QStringList {} << ".TXT" << QStringList {} << ".TXT";
        QTest::newRow("every equal entry and the empty ones go")
            << QStringList {".TXT", ".EXE", "", ".EXE"} << ".EXE" << QStringList {".TXT"} << ".TXT";
        QTest::newRow("removing the first shows the next")
            << QStringList {".TXT", ".EXE", ".C"} << ".TXT" << QStringList {".EXE", ".C"} << ".EXE";
        QTest::newRow("text in no entry: only empties go")
            << QStringList {".TXT", "", ".EXE"} << ".zzz" << QStringList {".TXT", ".EXE"} << ".TXT";
        QTest::newRow("exact letter case")
            << QStringList {".TXT", ".txt"} << ".txt" << QStringList {".TXT"} << ".TXT";
        QTest::newRow("the only two are the text")
            << QStringList {".EXE", ".EXE"} << ".EXE" << QStringList {} << "";
        QTest::newRow("beyond 1000 the oldest go")
            << (QStringList {".x"} + numbered(1, 1001)) << ".x" << numbered(1, 1000) << ".1";
    }

    void remove()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, text);
        QFETCH(QStringList, expectedEntries);
        QFETCH(QString, expectedText);
        ExtensionList l = make(entries, text);
        l.ExtentRemove();
        QCOMPARE(l.entries, expectedEntries);
        QCOMPARE(l.text, expectedText);
    }

    void toFront_data()
    {
        addColumns();
        QTest::newRow("chosen entry moves to the top")
            << QStringList {".TXT", ".EXE", ".C"} << ".C" << QStringList {".C", ".TXT", ".EXE"}
            << ".C";
        QTest::newRow("duplicates and empties go")
            << QStringList {".TXT", "", ".C", ".C"} << ".C" << QStringList {".C", ".TXT"} << ".C";
        QTest::newRow("not validated")
            << QStringList {".TXT"} << "typed*" << QStringList {"typed*", ".TXT"} << "typed*";
        QTest::newRow("already first")
            << QStringList {".TXT", ".EXE"} << ".TXT" << QStringList {".TXT", ".EXE"} << ".TXT";
        QTest::newRow("beyond 1000 the oldest go")
            << numbered(1, 1005) << ".1003" << (QStringList {".1003"} + numbered(1, 1000))
            << ".1003";
    }

    void toFront()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, text);
        QFETCH(QStringList, expectedEntries);
        QFETCH(QString, expectedText);
        ExtensionList l = make(entries, text);
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
