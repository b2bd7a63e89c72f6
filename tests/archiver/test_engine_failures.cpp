// Every way a run can fail, for each archiver: the right code, a one-line
// reason, nothing new left in any folder, and an old archive of the same
// name byte for byte as it was (and still read by an independent reader).

#include "archiver/archive_error.h"
#include "archiver/fault_injection.h"
#include "support/byte_edits.h"
#include "support/command_lines.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <unistd.h>

using namespace sheaf::test;
using sheaf::archiver::ArchiverKind;
using sheaf::archiver::ErrorCode;

namespace {

quint32 cabChecksum(const QByteArray &b, quint32 seed)
{
    quint32 c = seed;
    const qsizetype whole = b.size() / 4 * 4;
    for (qsizetype i = 0; i < whole; i += 4)
        c ^= quint32(quint8(b[i])) | quint32(quint8(b[i + 1])) << 8
            | quint32(quint8(b[i + 2])) << 16 | quint32(quint8(b[i + 3])) << 24;
    quint32 tail = 0;
    for (qsizetype i = whole; i < b.size(); ++i)
        tail = tail << 8 | quint8(b[i]);
    return c ^ tail;
}

QByteArray shortStoredCabinet()
{
    const QByteArray name("keep.txt\0", 9), data("hel");
    const quint32 filesAt = 36 + 8, dataAt = filesAt + 16 + quint32(name.size());
    QByteArray cab("MSCF");
    for (quint32 v : {0u, dataAt + 8 + quint32(data.size()), 0u, filesAt, 0u})
        putLe(cab, v, 4);
    for (quint32 v : {0x0103u, 1u, 1u, 0u, 0u, 0u}) // version, folders, files, flags, set, index
        putLe(cab, v, 2);
    putLe(cab, dataAt, 4); // the folder: one block, no compression
    putLe(cab, 1, 2);
    putLe(cab, 0, 2);
    for (quint32 v : {6u, 0u}) // the file: 6 bytes at 0
        putLe(cab, v, 4);
    for (quint32 v : {0u, 0x5021u, 0u, 0x20u})
        putLe(cab, v, 2);
    cab += name;
    QByteArray sizes;
    putLe(sizes, quint32(data.size()), 2);
    putLe(sizes, 6, 2);
    putLe(cab, cabChecksum(sizes, cabChecksum(data, 0)), 4);
    return cab + sizes + data;
}

} // namespace

class TestEngineFailures : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { sheaf::archiver::injectWriteFailureAfter(-1); }
    void failures_data();
    void failures();
};

void TestEngineFailures::failures_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("oldArchive");
    const struct
    {
        const char *failure;
        ErrorCode code;
        bool oldArchive;
    } cases[] = {
        {"missing file", ErrorCode::ReadFailed, true},
        {"pattern matches nothing", ErrorCode::NothingMatched, true},
        {"missing base folder", ErrorCode::ReadFailed, true},
        {"missing output folder", ErrorCode::WriteFailed, false},
        {"unwritable output folder", ErrorCode::WriteFailed, false},
        {"output folder where nobody may create files", ErrorCode::WriteFailed, false},
        {"disk full at once", ErrorCode::WriteFailed, true},
        {"disk full midway", ErrorCode::WriteFailed, true},
        {"disk full midway, no old archive", ErrorCode::WriteFailed, false},
        {"bad switch", ErrorCode::BadCommandLine, true},
        {"unterminated quote", ErrorCode::BadCommandLine, true},
        {"existing file is not an archive", ErrorCode::NotAnArchive, false},
        {"existing file is empty", ErrorCode::NotAnArchive, false},
        {"a folder in the archive's place", ErrorCode::NotAnArchive, false},
        {"cancelled", ErrorCode::Cancelled, true},
    };
    for (const char *format : {"lzh", "zip", "cab"})
        for (const auto &c : cases)
            QTest::addRow("%s: %s", format, c.failure)
                << format << c.failure << int(c.code) << c.oldArchive;
    QTest::newRow("cab: more than one cabinet folder holds")
        << "cab"
        << "beyond 2 GiB" << int(ErrorCode::TooLarge) << true;
    QTest::newRow("cab: a stored block shorter than it says")
        << "cab"
        << "short stored block" << int(ErrorCode::NotAnArchive) << false;
    QTest::newRow("zip: a kept member is damaged")
        << "zip"
        << "damaged kept member" << int(ErrorCode::NotAnArchive) << false;
    QTest::newRow("lzh: two files for one stored name (-x0)")
        << "lzh"
        << "two files for one stored name" << int(ErrorCode::BadCommandLine) << true;
}

void TestEngineFailures::failures()
{
    QFETCH(QString, format);
    QFETCH(QString, failure);
    QFETCH(int, code);
    QFETCH(bool, oldArchive);
    SHEAF_REQUIRE_TOOL("7zz");
    const ArchiverKind kind = archiverKind(format);
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src");
    const QString arc = tmp.filePath("arc");
    writeFile(src + "/a.txt", "small text");
    writeFile(src + "/big.bin", randomBytes(600 * 1024, 5));
    writeFile(src + "/sub/a.txt", "same name below");
    QDir().mkpath(arc);
    QString archive = arc + "/x" + extensionOf(kind);

    if (oldArchive) {
        auto made = runLine(kind, oneFileLine(kind, archive, src, "a.txt"));
        QVERIFY2(made.ok(), made.reason.c_str());
        QCOMPARE(runTool("7zz", {"t", archive}).exitCode, 0);
    }

    QString line = wholeFolderLine(kind, archive, src);
    std::atomic<bool> cancel {false};
    if (failure == QLatin1String("missing file")) {
        line = oneFileLine(kind, archive, src, "nope.txt");
    } else if (failure == QLatin1String("pattern matches nothing")) {
        line = wholeFolderLine(kind, archive, src, "*.xyz");
    } else if (failure == QLatin1String("missing base folder")) {
        line = wholeFolderLine(kind, archive, src + "/none");
    } else if (failure == QLatin1String("missing output folder")) {
        line = wholeFolderLine(kind, arc + "/none/x" + extensionOf(kind), src);
    } else if (failure == QLatin1String("unwritable output folder")) {
        if (::geteuid() == 0)
            QSKIP("root writes into any folder");
        QFile::setPermissions(arc, QFile::ReadOwner | QFile::ExeOwner);
    } else if (failure == QLatin1String("output folder where nobody may create files")) {
        archive = "/sys/x" + extensionOf(kind); // sysfs refuses new files, even to root
        line = wholeFolderLine(kind, archive, src);
    } else if (failure == QLatin1String("disk full at once")) {
        sheaf::archiver::injectWriteFailureAfter(0);
    } else if (failure.startsWith(QLatin1String("disk full midway"))) {
        sheaf::archiver::injectWriteFailureAfter(200 * 1024);
    } else if (failure == QLatin1String("bad switch")) {
        line = format == QLatin1String("lzh") ? "a -q " + line.mid(2) : "-q " + line;
    } else if (failure == QLatin1String("unterminated quote")) {
        // Whole but for the name's closing quote.
        line = oneFileLine(kind, archive, src, "a.txt");
        line.chop(1);
    } else if (failure == QLatin1String("existing file is not an archive")) {
        writeFile(archive, "this is a text file, not an archive\n");
    } else if (failure == QLatin1String("existing file is empty")) {
        writeFile(archive, QByteArray());
    } else if (failure == QLatin1String("a folder in the archive's place")) {
        QDir().mkpath(archive);
    } else if (failure == QLatin1String("cancelled")) {
        cancel = true;
    } else if (failure == QLatin1String("beyond 2 GiB")) {
        QFile sparse(src + "/huge.bin"); // a hole: refused before a byte is read
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(65535) * 32768 + 1));
    } else if (failure == QLatin1String("damaged kept member")) {
        auto made = runLine(kind, oneFileLine(kind, archive, src, "big.bin"));
        QVERIFY2(made.ok(), made.reason.c_str());
        damageFile(archive, {Damage::Flip, 5000, "\x55"}); // inside big.bin's data
        line = oneFileLine(kind, archive, src, "a.txt");
    } else if (failure == QLatin1String("short stored block")) {
        // One uncompressed block of 3 bytes that says it gives 6: libgcab
        // would keep "hel" and three bytes of whatever was in its buffer.
        writeFile(archive, shortStoredCabinet());
    } else if (failure == QLatin1String("two files for one stored name")) {
        line = "a -r2x0 \"" + archive + "\" \"" + src + "/\" a.txt";
    }

    const QStringList before = listTree(tmp.path());
    const QByteArray oldBytes = readFile(archive);
    sheaf::archiver::RunOptions options;
    options.cancel = &cancel;
    auto result = runLine(kind, line, options);
    sheaf::archiver::injectWriteFailureAfter(-1);
    QFile::setPermissions(arc, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(int(result.code), code);
    QVERIFY(!result.reason.empty());
    QVERIFY(result.reason.find('\n') == std::string::npos);
    QCOMPARE(listTree(tmp.path()), before);
    QCOMPARE(readFile(archive), oldBytes);
    if (oldArchive)
        QCOMPARE(runTool("7zz", {"t", archive}).exitCode, 0);
}

QTEST_GUILESS_MAIN(TestEngineFailures)
#include "test_engine_failures.moc"
