// Names as bytes: which have a Unicode form, and how every name is shown.

#include "base/name_bytes.h"

#include <QTest>

using namespace sheaf;

class TestNameBytes : public QObject
{
    Q_OBJECT
private slots:
    void names_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("ascii") << QByteArray("a.txt") << true << QByteArray("a.txt");
        QTest::newRow("japanese") << QByteArray("表.txt") << true << QByteArray("表.txt");
        QTest::newRow("four-byte")
            << QByteArray("\xF0\x9F\x98\x80") << true << QByteArray("\xF0\x9F\x98\x80");
        QTest::newRow("stray bytes")
            << QByteArray("\xFF\xFE.txt") << false << QByteArray("\\xFF\\xFE.txt");
        QTest::newRow("cut sequence")
            << QByteArray("a\xE8\xA1") << false << QByteArray("a\\xE8\\xA1");
        QTest::newRow("overlong slash")
            << QByteArray("\xC0\xAF") << false << QByteArray("\\xC0\\xAF");
        QTest::newRow("surrogate")
            << QByteArray("\xED\xA0\x80") << false << QByteArray("\\xED\\xA0\\x80");
        QTest::newRow("above U+10FFFF")
            << QByteArray("\xF4\x90\x80\x80") << false << QByteArray("\\xF4\\x90\\x80\\x80");
        QTest::newRow("controls") << QByteArray("a\nb\tc\rd\x01") << true
                                  << QByteArray("a\\nb\\tc\\rd\\x01");
        // The escape character itself is escaped, so "\xFF" typed as text and
        // the byte 0xFF never look alike.
        QTest::newRow("backslash") << QByteArray("\\xFF") << true << QByteArray("\\\\xFF");
    }
    void names()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        QFETCH(QByteArray, shown);
        const std::string_view view(bytes.constData(), size_t(bytes.size()));
        QCOMPARE(isValidUtf8(view), valid);
        QCOMPARE(QByteArray::fromStdString(escapedName(view)), shown);
    }
};

QTEST_GUILESS_MAIN(TestNameBytes)
#include "test_name_bytes.moc"
