// Names held as text without losing a byte: every byte string comes back
// exactly, valid UTF-8 reads as its characters, and the shown form names
// each byte that is not part of valid UTF-8.

#include "selection/name_text.h"

#include <QTest>

using namespace sheaf;

class TestNameText : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
};

void TestNameText::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("unicode");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("listed");

    const struct
    {
        const char *row, *bytes;
        bool unicode;
        const char *shown, *listed;
    } rows[] = {
        {"ASCII", "a.TXT", true, "a.TXT", "a.TXT"},
        {"Japanese and an emoji", "報告書😀.txt", true, "報告書😀.txt", "報告書😀.txt"},
        {"U+FFFD itself is a valid name", "\xEF\xBF\xBD.txt", true, "\uFFFD.txt", "\uFFFD.txt"},
        {"lone bytes", "\xFF\xFE.txt", false, "\\xFF\\xFE.txt", "\\xFF\\xFE.txt"},
        {"byte between characters", "あ\x80い", false, "あ\\x80い", "あ\\x80い"},
        {"overlong slash", "a\xC0\xAF", false, "a\\xC0\\xAF", "a\\xC0\\xAF"},
        {"encoded surrogate", "\xED\xA0\x80x", false, "\\xED\\xA0\\x80x", "\\xED\\xA0\\x80x"},
        {"cut sequence at the end", "x\xE3\x81", false, "x\\xE3\\x81", "x\\xE3\\x81"},
        {"controls and backslash", "a\tb\nc\\d\x01", true, "a\\tb\\nc\\d\\x01",
            "a\\tb\\nc\\\\d\\x01"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.row) << QByteArray(r.bytes) << r.unicode << QString::fromUtf8(r.shown)
                             << QString::fromUtf8(r.listed);
    const QString bom(QChar(0xFEFF)); // from a char literal it would be dropped
    QTest::newRow("byte-order mark is part of the name")
        << QByteArray("\xEF\xBB\xBF.txt") << true << bom + ".txt" << bom + ".txt";
    QTest::newRow("byte-order mark after a lone byte") << QByteArray("\xFF\xEF\xBB\xBF"
                                                                     "a")
                                                       << false << "\\xFF" + bom + "a"
                                                       << "\\xFF" + bom + "a";
    QTest::newRow("C1 control and line separator") << QByteArray("a\xC2\x85"
                                                                 "b\xE2\x80\xA8")
                                                   << true << "a\\xC2\\x85b\\xE2\\x80\\xA8"
                                                   << "a\\xC2\\x85b\\xE2\\x80\\xA8";
}

void TestNameText::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, unicode);
    QFETCH(QString, shown);
    QFETCH(QString, listed);
    const QString name = nameFromBytes(bytes);
    QCOMPARE(nameBytes(name), bytes);
    QCOMPARE(QByteArray::fromStdString(namePath(name).native()), bytes);
    QCOMPARE(hasUnicodeForm(name), unicode);
    if (unicode)
        QCOMPARE(name.toUtf8(), bytes);
    QCOMPARE(shownName(name), shown);
    QCOMPARE(listedName(name), listed);
}

QTEST_GUILESS_MAIN(TestNameText)
#include "test_name_text.moc"
