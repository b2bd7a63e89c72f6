#pragma once
// Replays a fuzz target's corpus (tests/fuzz/corpus/<target>/) through the
// target's own checks in the ordinary test suite, without clang: the seeds,
// and any input a fuzzing run found a fault with (put it there as a
// regression test). A broken check aborts the test.

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstddef>
#include <cstdint>

namespace sheaf::test {

// The data rows of the replay: one row per corpus file, column "path".
inline void addCorpusRows(const char *target)
{
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(SHEAF_TEST_DATA "/../fuzz/corpus/") + QLatin1String(target));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << corpus.filePath(name);
}

// Runs the current row's file through the target.
inline void replayCorpusRow(int (*target)(const uint8_t *, size_t))
{
    QFETCH(QString, path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(target(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0);
}

} // namespace sheaf::test
