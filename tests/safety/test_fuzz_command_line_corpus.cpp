// Every input under tests/fuzz/corpus/fuzz_command_line/ run through the fuzz
// target's own checks in the ordinary test suite, without clang: the seeds,
// and any input a fuzzing run found a fault with (put it there as a
// regression test). A broken check aborts the test.

#include "fuzz/fuzz_command_line.cpp"

#include <QDir>
#include <QFile>
#include <QTest>

class TestFuzzCommandLineCorpus : public QObject
{
    Q_OBJECT
private slots:
    void input_data();
    void input();
};

void TestFuzzCommandLineCorpus::input_data()
{
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(SHEAF_TEST_DATA "/../fuzz/corpus/fuzz_command_line"));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << corpus.filePath(name);
}

void TestFuzzCommandLineCorpus::input()
{
    QFETCH(QString, path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(LLVMFuzzerTestOneInput(
                 reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())),
        0);
}

QTEST_GUILESS_MAIN(TestFuzzCommandLineCorpus)
#include "test_fuzz_command_line_corpus.moc"
