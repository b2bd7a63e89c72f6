// A member of 4 GiB and more needs the 64-bit size header (0x42). The source
// is a sparse file, so the test costs time (about a minute) but little disk.
// Only libarchive among our readers uses 0x42 (7zz and lhasa 0.3.1 ignore it,
// unar refuses such archives), so bsdtar is the judge: it checks the data
// CRC and the size, and the tail of the data is compared.
#include "lzh_test_util.h"

#include "support/oracles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sheaf::archiver;
using namespace sheaf::test;

class TestLzhLarge : public QObject
{
    Q_OBJECT

private slots:
    void fourGibMember();
};

void TestLzhLarge::fourGibMember()
{
    SHEAF_REQUIRE_TOOL("bsdtar");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("big.bin"));
    const QByteArray tail("the tail after four gibibytes\n");
    const qint64 size = (qint64(1) << 32) + tail.size();
    {
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size - tail.size())); // sparse zeros
        QVERIFY(f.seek(size - tail.size()));
        QCOMPARE(f.write(tail), tail.size());
    }
    ArchiveEntry e;
    e.source = source.toStdString();
    e.storedPath = "big.bin";
    e.size = uint64_t(size);
    e.mtime = 1700000000;
    const QString archive = dir.filePath(QStringLiteral("big.lzh"));
    makeLzh(archive.toStdString(), {e}, LzhMethod::Lh5);

    const ToolResult listed = runTool(QStringLiteral("bsdtar"), {QStringLiteral("-tvf"), archive});
    QCOMPARE(listed.exitCode, 0);
    QVERIFY2(listed.out.contains(" " + QByteArray::number(size) + " "), listed.out.constData());

    // Decompress the whole member; bsdtar fails on a CRC or size mismatch.
    const ToolResult data = runTool(QStringLiteral("bash"),
        {QStringLiteral("-c"),
            QStringLiteral("set -o pipefail; bsdtar -xOf \"$0\" | tail -c %1").arg(tail.size() + 1),
            archive});
    QVERIFY2(data.exitCode == 0, data.err.constData());
    QCOMPARE(data.out, QByteArray(1, '\0') + tail);
}

QTEST_GUILESS_MAIN(TestLzhLarge)
#include "test_lzh_large.moc"
