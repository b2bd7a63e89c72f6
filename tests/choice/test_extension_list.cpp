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
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expectedEntries");
        QTest::addColumn<QString>("expectedText");
        const QStringList list = {".TXT", ".EXE"};
        QTest::newRow("commit: spaces around, new: to the top")
            << "commit" << list << " .lzh " << QStringList {".lzh", ".TXT", ".EXE"} << ".lzh";
        QTest::newRow("commit: full-width spaces trimmed too")
            << "commit" << list << "　.lzh　" << QStringList {".lzh", ".TXT", ".EXE"} << ".lzh";
        for (const char *bad : {"txt", ".", ".ABCDE", "*.txt", ".t?t", "   ", "", "．TXT"}) {
            QTest::addRow("commit: invalid '%s' falls back", bad)
                << "commit" << list << bad << list << ".TXT";
            QTest::addRow("commit: invalid '%s' on an empty list", bad)
                << "commit" << QStringList {} << bad << QStringList {} << "";
        }
        QTest::newRow("commit: five characters accepted")
            << "commit" << list << ".ABCD" << QStringList {".ABCD", ".TXT", ".EXE"} << ".ABCD";
        QTest::newRow("commit: inner space accepted")
            << "commit" << list << ". a" << QStringList {". a", ".TXT", ".EXE"} << ". a";
        QTest::newRow("commit: other letter case is another entry")
            << "commit" << QStringList {".txt"} << ".TXT" << QStringList {".TXT", ".txt"} << ".TXT";
        QTest::newRow("commit: already listed: nothing moves, empties kept")
            << "commit" << QStringList {".TXT", "", ".EXE"} << ".EXE"
            << QStringList {".TXT", "", ".EXE"} << ".EXE";
        QTest::newRow("commit: already listed, spaces trimmed from the field")
            << "commit" << list << " .EXE" << list << ".EXE";
        QTest::newRow("commit: new entry drops the empty ones")
            << "commit" << QStringList {"", ".TXT", "", ".EXE"} << ".C"
            << QStringList {".C", ".TXT", ".EXE"} << ".C";
        QTest::newRow("commit: invalid falls back to an empty entry 0")
            << "commit" << QStringList {"", ".TXT"} << "bad" << QStringList {"", ".TXT"} << "";
        QTest::newRow("commit: first entry on an empty list")
            << "commit" << QStringList {} << ".TXT" << QStringList {".TXT"} << ".TXT";
        // Beyond the table's room the oldest entries go and the newest stay.
        QTest::newRow("commit: 1001 entries and a new one")
            << "commit" << numbered(1, 1001) << ".new" << (QStringList {".new"} + numbered(1, 1000))
            << ".new";
        QTest::newRow("commit: 1000 entries and a new one: nothing lost")
            << "commit" << numbered(1, 1000) << ".new" << (QStringList {".new"} + numbered(1, 1000))
            << ".new";
        QTest::newRow("commit: listed beyond entry 1000: left alone")
            << "commit" << numbered(1, 1200) << ".1100" << numbered(1, 1200) << ".1100";
        QTest::newRow("remove: one entry: kept")
            << "remove" << QStringList {".TXT"} << ".TXT" << QStringList {".TXT"} << ".TXT";
        QTest::newRow("remove: empty list")
            << "remove" << QStringList {} << ".TXT" << QStringList {} << ".TXT";
        QTest::newRow("remove: every equal entry and the empty ones go")
            << "remove" << QStringList {".TXT", ".EXE", "", ".EXE"} << ".EXE"
            << QStringList {".TXT"} << ".TXT";
        QTest::newRow("remove: removing the first shows the next")
            << "remove" << QStringList {".TXT", ".EXE", ".C"} << ".TXT"
            << QStringList {".EXE", ".C"} << ".EXE";
        QTest::newRow("remove: text in no entry: only empties go")
            << "remove" << QStringList {".TXT", "", ".EXE"} << ".zzz"
            << QStringList {".TXT", ".EXE"} << ".TXT";
        QTest::newRow("remove: exact letter case")
            << "remove" << QStringList {".TXT", ".txt"} << ".txt" << QStringList {".TXT"} << ".TXT";
        QTest::newRow("remove: the only two are the text")
            << "remove" << QStringList {".EXE", ".EXE"} << ".EXE" << QStringList {} << "";
        QTest::newRow("remove: beyond 1000 the oldest go")
            << "remove" << (QStringList {".x"} + numbered(1, 1001)) << ".x" << numbered(1, 1000)
            << ".1";
        QTest::newRow("toFront: chosen entry moves to the top")
            << "toFront" << QStringList {".TXT", ".EXE", ".C"} << ".C"
            << QStringList {".C", ".TXT", ".EXE"} << ".C";
        QTest::newRow("toFront: duplicates and empties go")
            << "toFront" << QStringList {".TXT", "", ".C", ".C"} << ".C"
            << QStringList {".C", ".TXT"} << ".C";
        QTest::newRow("toFront: not validated") << "toFront" << QStringList {".TXT"} << "typed*"
                                                << QStringList {"typed*", ".TXT"} << "typed*";
        QTest::newRow("toFront: already first") << "toFront" << QStringList {".TXT", ".EXE"}
                                                << ".TXT" << QStringList {".TXT", ".EXE"} << ".TXT";
        QTest::newRow("toFront: beyond 1000 the oldest go")
            << "toFront" << numbered(1, 1005) << ".1003"
            << (QStringList {".1003"} + numbered(1, 1000)) << ".1003";
    }

    void edit()
    {
        QFETCH(QString, edit);
        QFETCH(QStringList, entries);
        QFETCH(QString, text);
        QFETCH(QStringList, expectedEntries);
        QFETCH(QString, expectedText);
        ExtensionList l = make(entries, text);
        if (edit == QLatin1String("commit"))
            l.ExtentCommit();
        else if (edit == QLatin1String("remove"))
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
