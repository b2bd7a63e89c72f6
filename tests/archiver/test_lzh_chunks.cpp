// Members larger than one chunk are encoded in chunks on worker threads and
// joined into one stream. At every level and method the archives are read
// back by the independent readers and by our decoder, and the bytes must not
// depend on the thread count. Beside the members of several chunks, the
// archives hold inputs that stress a match finder: runs of one byte,
// short periods, repeats one byte either side of each window, matches of
// exactly the longest length, random data between compressible parts, and
// short members, whose streams end in every way.
#include "lzh_test_util.h"

#include "support/byte_edits.h"

#include "archiver/lzh/lzh_archive_reader.h"
#include "archiver/lzh/lzh_chunked_stream.h"
#include "archiver/lzh/lzh_decoder.h"
#include "archiver/lzh/lzh_level.h"

#include "archiver/archive_error.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

using namespace sheaf::archiver;
using namespace sheaf::test;

namespace {

constexpr qsizetype kChunk = qsizetype(kLzhChunkSize);

// Compressible text: made-up words of 2 to 9 letters from a vocabulary of
// 3000, the frequent ones far more likely, as in prose.
QByteArray text(qsizetype size, quint32 seed)
{
    static const std::vector<QByteArray> words = [] {
        std::vector<QByteArray> w;
        quint32 x = 77;
        for (int i = 0; i < 3000; ++i) {
            QByteArray word;
            for (quint32 n = 2 + next(x) % 8; n > 0; --n)
                word += char('a' + next(x) % 26);
            w.push_back(word + (i % 17 == 0 ? ".\n" : " "));
        }
        return w;
    }();
    QByteArray out;
    out.reserve(size + 16);
    quint32 x = seed | 1;
    while (out.size() < size) {
        const quint32 range = 1 + next(x) % quint32(words.size());
        out += words[next(x) % range];
    }
    out.truncate(size);
    return out;
}

// Four chunks and a bit. At each of the first three chunk edges, random
// bytes one window long (8, 32 and 64 KiB) end the chunk and open the next
// one again: the copy is only compressible through the history. The
// second chunk is random but for its start.
QByteArray acrossEdges()
{
    QByteArray out = text(kChunk - 8192, 1);
    const QByteArray r1 = randomBytes(8192, 2);
    out += r1 + r1;
    out += randomBytes(2 * kChunk - 32768 - out.size(), 3);
    const QByteArray r2 = randomBytes(32768, 4);
    out += r2 + r2;
    out += text(3 * kChunk - 65536 - out.size(), 5);
    const QByteArray r3 = randomBytes(65536, 6);
    out += r3 + r3;
    out += text(100000, 7);
    return out;
}

// Runs of one byte around the longest match and the windows, and a long
// run of zeros.
QByteArray runs()
{
    QByteArray out;
    quint32 x = 31;
    for (int length : {255, 256, 257, 258, 511, 512, 513, 8192, 65535, 65536, 65537})
        out += QByteArray(length, char('a' + next(x) % 26)) + char(next(x));
    return out + QByteArray(300000, '\0');
}

// Random patterns of 2, 3 and 7 bytes, each repeated, with random bytes
// between them.
QByteArray periods()
{
    QByteArray out;
    for (int period : {2, 3, 7}) {
        const QByteArray pattern = randomBytes(period, quint32(period));
        out += pattern.repeated(40000 / period) + randomBytes(1000, quint32(period + 100));
    }
    return out;
}

// Copies of one random piece exactly 255, 256 and 257 bytes long, each
// followed by a byte that ends the match there.
QByteArray longestMatches()
{
    const QByteArray piece = randomBytes(257, 41);
    QByteArray out;
    quint32 x = 43;
    for (int length : {255, 256, 257})
        for (int k = 0; k < 40; ++k)
            out += piece.left(length) + char(next(x));
    return out;
}

// Random blocks one byte shorter than, as long as and one byte longer than
// each window, each repeated once.
QByteArray windowEdges()
{
    QByteArray out;
    for (int window : {8192, 32768, 65536})
        for (int length : {window - 1, window, window + 1}) {
            const QByteArray block = randomBytes(length, quint32(length));
            out += block + block;
        }
    return out;
}

// Incompressible stretches between compressible ones.
QByteArray randomBetweenText()
{
    return randomBytes(30000, 51) + text(30000, 52) + randomBytes(50000, 53) + text(50000, 54)
        + randomBytes(8192, 55) + text(20000, 56);
}

} // namespace

class TestLzhChunks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameForAnyThreadCount_data();
    void sameForAnyThreadCount();
    void readers_data();
    void readers();
    void cancelStopsEveryWorker_data();
    void cancelStopsEveryWorker();
    void piecesDecodeAsOnePass_data();
    void piecesDecodeAsOnePass();

private:
    QString archive(LzhMethod method, int level, int threads);
    void checkWith(const QString &reader, const QString &archivePath);

    QTemporaryDir m_dir;
    ArchiveEntries m_entries;
    std::map<std::string, QByteArray> m_contents;
    std::map<std::tuple<int, int, int>, QString> m_archives;
};

void TestLzhChunks::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const std::pair<const char *, QByteArray> files[] = {
        {"across-edges.bin", acrossEdges()},
        {"one-chunk.txt", text(kChunk, 8)},
        {"one-chunk-and-one-byte.txt", text(kChunk + 1, 9)},
        {"two-chunks.txt", text(2 * kChunk, 10)},
        {"runs.bin", runs()},
        {"periods.bin", periods()},
        {"longest-matches.bin", longestMatches()},
        {"window-edges.bin", windowEdges()},
        {"random-between-text.bin", randomBetweenText()},
    };
    auto add = [this](const QString &name, const QByteArray &bytes) {
        m_entries.push_back(writeEntry(m_dir.filePath(QStringLiteral("src/") + name), name, bytes));
        m_contents[name.toStdString()] = bytes;
    };
    for (const auto &[name, bytes] : files)
        add(QLatin1String(name), bytes);
    // Short members: their one block ends the stream as it is or hands its
    // last token to the trailer block, by its codes and where it ends in a
    // byte.
    quint32 x = 61;
    for (int k = 0; k < 60; ++k) {
        const qsizetype size = 1 + qsizetype(next(x) % (k < 30 ? 64 : 2000));
        add(QStringLiteral("short-%1").arg(k),
            k % 3 == 2 ? randomBytes(size, next(x)) : text(size, next(x)));
    }
}

QString TestLzhChunks::archive(LzhMethod method, int level, int threads)
{
    const auto key = std::make_tuple(int(method), level, threads);
    auto it = m_archives.find(key);
    if (it != m_archives.end())
        return it->second;
    const QString path = m_dir.filePath(QStringLiteral("%1-l%2-j%3.lzh")
                                            .arg(QLatin1String(methodName(method)))
                                            .arg(level)
                                            .arg(threads));
    makeLzh(path.toStdString(), m_entries, method, {}, level, threads);
    return m_archives[key] = path;
}

void TestLzhChunks::checkWith(const QString &reader, const QString &archivePath)
{
    const QString dest = m_dir.filePath(QStringLiteral("out-") + reader);
    const RemoveTreeLater cleanup(dest);
    const QString complaint = extractWith(reader, archivePath, dest);
    QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
    const RawTree tree = readRawTree(dest.toStdString());
    QCOMPARE(tree.files.size(), m_contents.size());
    for (const auto &[name, bytes] : m_contents) {
        auto it = tree.files.find(name);
        QVERIFY2(it != tree.files.end(), ("missing: " + name).c_str());
        QVERIFY2(it->second == bytes, ("differs: " + name).c_str());
    }
}

void TestLzhChunks::sameForAnyThreadCount_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<int>("level");
    for (LzhMethod m : {LzhMethod::Lh5, LzhMethod::Lh6, LzhMethod::Lh7})
        for (int level = 1; level <= kLzhMaxLevel; ++level)
            QTest::addRow("%s -l%d", methodName(m), level) << int(m) << level;
}

// The readers below check the archives of four threads.
void TestLzhChunks::sameForAnyThreadCount()
{
    QFETCH(int, method);
    QFETCH(int, level);
    const QString one = archive(LzhMethod(method), level, 1);
    const QString four = archive(LzhMethod(method), level, 4);
    QVERIFY(readFile(one) == readFile(four));
}

void TestLzhChunks::readers_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("reader");
    // Every level: 1 to 6 parse lazily (6 is the default), 7 to 9 parse
    // near-optimally, each with its own block ends and chunk starts.
    for (LzhMethod m : {LzhMethod::Lh5, LzhMethod::Lh6, LzhMethod::Lh7})
        for (int level = 1; level <= kLzhMaxLevel; ++level)
            for (const char *reader : {"lhasa", "7zz", "bsdtar", "unar", "lha", "sheaf"})
                QTest::addRow("%s-l%d-%s", methodName(m), level, reader)
                    << int(m) << level << QString::fromLatin1(reader);
}

void TestLzhChunks::readers()
{
    QFETCH(int, method);
    QFETCH(int, level);
    QFETCH(QString, reader);
    if (reader != kOurDecoder)
        SHEAF_REQUIRE_TOOL(reader);
    checkWith(reader, archive(LzhMethod(method), level, 4));
}

void TestLzhChunks::cancelStopsEveryWorker_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("on the calling thread") << 1;
    QTest::newRow("on four workers") << 4;
}

// Cancelled while chunks are in flight: the run ends with Cancelled (no
// hang waiting for a worker, no crash when the queued chunks go away).
void TestLzhChunks::cancelStopsEveryWorker()
{
    QFETCH(int, threads);
    std::atomic<bool> cancel {false};
    LzhOptions options;
    options.method = LzhMethod::Lh7;
    options.level = kLzhMaxLevel; // slow enough to be caught in the middle
    options.threads = threads;
    options.cancel = &cancel;
    const std::filesystem::path path
        = m_dir.filePath(QStringLiteral("cancelled-%1.lzh").arg(threads)).toStdString();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    int code = 0;
    try {
        OutputFile out(path);
        writeLzhArchive({}, {}, m_entries, out, options);
    } catch (const ArchiveError &e) {
        code = int(e.code());
    }
    canceller.join();
    QCOMPARE(code, int(ErrorCode::Cancelled));
}

void TestLzhChunks::piecesDecodeAsOnePass_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("change"); // to the writer's restart points or the archive
    QTest::addColumn<bool>("fault");
    for (const LzhMethod m : {LzhMethod::Lh5, LzhMethod::Lh7}) {
        const int mi = int(m);
        QTest::addRow("%s as written", methodName(m)) << mi << "" << false;
        QTest::addRow("%s a history byte", methodName(m)) << mi << "history" << true;
        QTest::addRow("%s a bit later", methodName(m)) << mi << "bit" << true;
        QTest::addRow("%s a byte later", methodName(m)) << mi << "output" << true;
        QTest::addRow("%s past the data", methodName(m)) << mi << "past" << false;
        QTest::addRow("%s a damaged byte", methodName(m)) << mi << "damage" << true;
    }
}

// The read-back decodes a member of several chunks in pieces, from the
// places the writer noted. Whatever those say, it finds what one pass over
// the stream finds: the member's bytes, or a fault.
void TestLzhChunks::piecesDecodeAsOnePass()
{
    QFETCH(int, method);
    QFETCH(QString, change);
    QFETCH(bool, fault);
    const std::filesystem::path path
        = m_dir.filePath(QStringLiteral("pieces-%1-%2.lzh").arg(method).arg(change)).toStdString();
    LzhOptions options;
    options.method = LzhMethod(method);
    options.threads = 2;
    std::vector<LzhWrittenMember> written;
    {
        OutputFile out(path);
        written = writeLzhArchive({}, {}, m_entries, out, options);
        out.commit();
    }
    const LzhWrittenMember &edges = written.front(); // across-edges.bin
    QVERIFY(edges.restarts.size() >= 3);
    LzhRestartPoints points = edges.restarts;
    if (change == QLatin1String("history"))
        points[1].history[100] ^= 1;
    else if (change == QLatin1String("bit"))
        points[2].bit += 1;
    else if (change == QLatin1String("output"))
        points[0].output += 1;
    else if (change == QLatin1String("past"))
        points.back().bit = uint64_t(1) << 60;
    else if (change == QLatin1String("damage")) {
        const std::vector<LzhMemberInfo> info = readLzhMembers(path);
        damageFile(QString::fromStdString(path.string()),
            {Damage::Flip, qsizetype(info.front().dataOffset + points[1].bit / 8 + 5000), "\x10"});
    }
    LzhParallelDecode parallel;
    parallel.threads = 3;
    parallel.members.assign(written.size(), nullptr);
    parallel.members.front() = &points;
    const std::vector<LzhMemberReport> pieces = decodeLzhArchive(path, {}, nullptr, &parallel);
    const std::vector<LzhMemberReport> onePass = decodeLzhArchive(path);
    QCOMPARE(pieces.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        QCOMPARE(!pieces[i].fault.empty(), i == 0 && fault);
        if (pieces[i].fault.empty()) {
            QCOMPARE(pieces[i].crc32, written[i].crc32);
            QCOMPARE(pieces[i].crc32, onePass[i].crc32);
        }
    }
    QCOMPARE(onePass.front().fault.empty(), change != QLatin1String("damage"));
    if (change.isEmpty()) {
        SHEAF_REQUIRE_TOOL("bsdtar");
        checkWith(QStringLiteral("bsdtar"), QString::fromStdString(path.string()));
    }
}

QTEST_GUILESS_MAIN(TestLzhChunks)
#include "test_lzh_chunks.moc"
