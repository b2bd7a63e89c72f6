// Every fuzz target's corpus (tests/fuzz/corpus/<target>/) replayed through
// the target's own checks in the ordinary test suite: the seeds, and any
// input a fuzzing run found a fault with (put it there as a regression
// test). A broken check aborts the test.

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstddef>
#include <cstdint>
#include <map>

// Each target is compiled with its entry point named after it.
#define SHEAF_FUZZ_TARGET(name) extern "C" int name(const uint8_t *data, size_t size);
#include "fuzz_targets.h"
#undef SHEAF_FUZZ_TARGET

namespace {

using Target = int (*)(const uint8_t *, size_t);

const std::map<QString, Target> &targets()
{
    static const std::map<QString, Target> all {
#define SHEAF_FUZZ_TARGET(name) {QStringLiteral(#name), name},
#include "fuzz_targets.h"
#undef SHEAF_FUZZ_TARGET
    };
    return all;
}

} // namespace

class TestCorpusReplay : public QObject
{
    Q_OBJECT
private slots:
    void input_data();
    void input();
};

void TestCorpusReplay::input_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("path");
    const QDir corpora(QStringLiteral(SHEAF_TEST_DATA "/../fuzz/corpus"));
    QStringList folders = corpora.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    // A target without a corpus, or a corpus without a target, fails its row.
    for (const auto &[name, target] : targets())
        if (!folders.contains(name))
            QTest::addRow("%s: no corpus", qPrintable(name)) << name << QString();
    for (const QString &folder : folders) {
        const QDir corpus(corpora.filePath(folder));
        const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
        if (files.isEmpty())
            QTest::addRow("%s: no corpus", qPrintable(folder)) << folder << QString();
        for (const QString &file : files)
            QTest::addRow("%s: %s", qPrintable(folder), qPrintable(file))
                << folder << corpus.filePath(file);
    }
}

void TestCorpusReplay::input()
{
    QFETCH(QString, target);
    QFETCH(QString, path);
    const auto found = targets().find(target);
    QVERIFY2(found != targets().end(), "no fuzz target for this corpus");
    QVERIFY2(!path.isEmpty(), "no corpus for this fuzz target");
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(
        found->second(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())),
        0);
}

QTEST_GUILESS_MAIN(TestCorpusReplay)
#include "test_corpus_replay.moc"
