// Our LZH decoder on archives of another writer (jlha's `lha`, header levels
// 0 to 2, every method, code page 932 names) against the sources and against
// what lhasa extracts; on streams crafted bit by bit, one for each fault it
// refuses; and on damaged member data: `sheaf-arc lzh t` names the fault and
// exits 1, an add that would keep the damaged member is refused and leaves
// the archive as it was.
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzh_archive_reader.h"
#include "archiver/lzh/lzh_bit_writer.h"
#include "archiver/lzh/lzh_decoder.h"
#include "archiver/lzh/lzh_header.h"
#include "lzh_test_util.h"

#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace sheaf::archiver;
using namespace sheaf::test;

namespace {

// Decodes `archive` with ours: stored path -> bytes, every member sound.
std::map<std::string, QByteArray> decodeAll(
    const QString &archive, std::vector<LzhMemberReport> &members)
{
    std::map<std::string, QByteArray> bytes;
    members = decodeLzhArchive(
        archive.toStdString(), [&](const LzhMemberReport &m, const uint8_t *data, size_t size) {
            bytes[m.storedPath].append(reinterpret_cast<const char *>(data), qsizetype(size));
        });
    for (const LzhMemberReport &m : members) {
        if (!m.fault.empty())
            qWarning() << m.storedPath.c_str() << m.fault.c_str();
        bytes[m.storedPath]; // empty members too
    }
    return bytes;
}

// -lh5- streams written field by field. A block here has tables in their
// single-symbol form (n = 0, then the symbol) unless a row writes its own.
struct Stream
{
    std::vector<uint8_t> bytes;
    LzhBitWriter bits {bytes};

    Stream &put(uint32_t value, int count)
    {
        bits.put(value, count);
        return *this;
    }
    // Block header: the token count, a T table of one symbol (every C length
    // item is that symbol, 0 bits each).
    Stream &block(int tokens, int tSymbol)
    {
        return put(uint32_t(tokens), 16).put(0, 5).put(uint32_t(tSymbol), 5);
    }
    Stream &singleC(int symbol) { return put(0, 9).put(uint32_t(symbol), 9); }
    Stream &singleP(int symbol) { return put(0, 4).put(uint32_t(symbol), 4); }
    // `count` tokens of one C symbol (and P symbol 0), all 0-bit codes.
    Stream &only(int tokens, int symbol) { return block(tokens, 0).singleC(symbol).singleP(0); }
    QByteArray done(uint32_t padding = 0)
    {
        const int left = int((8 - bits.bitCount() % 8) % 8);
        if (padding && left)
            bits.put(padding, left);
        bits.padToByte();
        return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    }
};

} // namespace

class TestLzhDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void foreignArchives_data();
    void foreignArchives();
    void craftedStreams_data();
    void craftedStreams();
    void damagedMembers_data();
    void damagedMembers();
    void hostileInputToInspect();

private:
    QTemporaryDir m_dir;
    std::map<std::string, QByteArray> m_sources; // stored path -> content
};

void TestLzhDecoder::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Text long enough for -lh7-'s 64 KiB window, a Japanese name in a
    // folder (no 0x5C trail byte: lhasa would split it), random bytes that
    // jlha stores, an empty file.
    QByteArray text;
    for (int i = 0; text.size() < 200000; ++i)
        text += "line " + QByteArray::number(i * 7919 % 10007) + " of the decoder test, "
            + QByteArray::number(i % 97) + (i % 5 ? " words\n" : " other words\n");
    QByteArray japanese;
    for (int i = 0; japanese.size() < 30000; ++i)
        japanese += QStringLiteral("日本語の文章 %1 行目です。\n").arg(i % 300).toUtf8();
    m_sources = {{"notes.txt", text}, {"日本語/名前.txt", japanese},
        {"random.bin", randomBytes(5000, 7)}, {"empty.txt", {}}};
    for (const auto &[path, content] : m_sources)
        writeFile(m_dir.filePath(QStringLiteral("src/") + QString::fromStdString(path)), content);
}

void TestLzhDecoder::foreignArchives_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("method");
    for (int level : {0, 1, 2})
        for (int method : {0, 5, 6, 7})
            QTest::addRow("level %d -lh%d-", level, method) << level << method;
}

void TestLzhDecoder::foreignArchives()
{
    QFETCH(int, level);
    QFETCH(int, method);
    SHEAF_REQUIRE_TOOL("lha");
    SHEAF_REQUIRE_TOOL("lhasa");
    const QString archive = m_dir.filePath(QStringLiteral("jlha-%1-%2.lzh").arg(level).arg(method));
    QStringList args = {QStringLiteral("JAVA_TOOL_OPTIONS=-Dlha.encoding=MS932"),
        QStringLiteral("lha"), QStringLiteral("a%1o%2").arg(level).arg(method), archive};
    for (const auto &[path, content] : m_sources)
        args << QString::fromStdString(path);
    const ToolResult made
        = runTool(QStringLiteral("env"), args, m_dir.filePath(QStringLiteral("src")));
    QVERIFY2(made.exitCode == 0, made.err.constData());

    std::vector<LzhMemberReport> members;
    const std::map<std::string, QByteArray> ours = decodeAll(archive, members);
    QCOMPARE(ours, m_sources); // names (code page 932 decoded) and bytes
    bool methodSeen = false;
    for (const LzhMemberReport &m : members) {
        QVERIFY2(m.fault.empty(), m.fault.c_str());
        QCOMPARE(m.headerLevel, level);
        methodSeen |= m.method == "-lh" + std::to_string(method) + "-";
    }
    QVERIFY2(methodSeen, "jlha wrote no member with the method asked for");

    // lhasa writes the stored name bytes as they are.
    const QString dest = m_dir.filePath(QStringLiteral("lhasa-%1-%2").arg(level).arg(method));
    const RemoveTreeLater cleanup(dest);
    const QString complaint = extractWith(QStringLiteral("lhasa"), archive, dest);
    QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
    const RawTree tree = readRawTree(dest.toStdString());
    QCOMPARE(tree.files.size(), members.size());
    for (const LzhMemberReport &m : members) {
        const auto it = tree.files.find(m.rawName);
        QVERIFY2(it != tree.files.end(), m.rawName.c_str());
        QVERIFY2(it->second == ours.at(m.storedPath), m.rawName.c_str());
    }
}

void TestLzhDecoder::craftedStreams_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("data"); // what it stands for: its size and CRC go in the header
    QTest::addColumn<QString>("faultHas"); // empty: decodes to `data`
    // Each stream but the first breaks one rule; where a decoder that did
    // not check the rule would still decode it, `data` is what it would
    // give, so that only the check itself can find the fault.
    const QByteArray aaa("aaa");
    QTest::newRow("sound: three literals") << Stream().only(3, 'a').done() << aaa << QString();
    // C lengths 2, 2 (T symbol 4 is length 2): half the code space is unused.
    QTest::newRow("incomplete C table")
        << Stream().block(2, 4).put(2, 9).singleP(0).put(0b0001, 4).done()
        << QByteArray("\x00\x01", 2) << QStringLiteral("符号表が不正");
    // C lengths 1, 1, 1: more codes than the space holds.
    QTest::newRow("oversubscribed C table")
        << Stream().block(2, 3).put(3, 9).singleP(0).put(0b01, 2).done()
        << QByteArray("\x00\x01", 2) << QStringLiteral("符号表が不正");
    // Tables that list lengths, all zero, where the block never needs the
    // table: the P table of literals only, the T table of a single-symbol C.
    QTest::newRow("P table of no code")
        << Stream().block(3, 0).singleC('a').put(1, 4).put(0, 3).done() << aaa
        << QStringLiteral("符号表が不正");
    QTest::newRow("T table of no code")
        << Stream().put(3, 16).put(1, 5).put(0, 3).singleC('a').singleP(0).done() << aaa
        << QStringLiteral("符号表が不正");
    // T symbol 1 is a run of 3 or more zero lengths; the table lists two.
    QTest::newRow("zero run past the C table's count")
        << Stream().block(1, 1).put(2, 9).put(0, 4).singleP(0).done() << QByteArray("a")
        << QStringLiteral("符号表が不正");
    // Four T lengths listed, and the field after the third skips three.
    QTest::newRow("T skip past the T table's count")
        << Stream().put(1, 16).put(4, 5).put(1, 3).put(1, 3).put(0, 3).put(3, 2).done()
        << QByteArray("a") << QStringLiteral("符号表が不正");
    // A T length of 7 and ten more one-bits: 17.
    QTest::newRow("code length over 16")
        << Stream().put(1, 16).put(3, 5).put(0b111, 3).put(0x3FF, 10).put(0, 1).done()
        << QByteArray("a") << QStringLiteral("符号表が不正");
    // A match of 3 at distance 1 before any byte.
    QTest::newRow("reference before the start")
        << Stream().only(1, 256).done() << aaa << QStringLiteral("ファイルの先頭より前");
    // 'a', then a match of 5 where 2 bytes are left.
    QTest::newRow("match past the original size")
        << Stream().only(1, 'a').only(1, 256 + 5 - 3).done() << aaa
        << QStringLiteral("元の大きさを超えて");
    QTest::newRow("tokens left in the last block")
        << Stream().only(5, 'a').done() << aaa << QStringLiteral("最後のブロックに余分な符号");
    QTest::newRow("byte after the stream")
        << Stream().only(3, 'a').done() + '\0' << aaa << QStringLiteral("後ろに余分なデータ");
    QTest::newRow("padding bits not zero")
        << Stream().only(3, 'a').done(1) << aaa << QStringLiteral("詰め物が 0 ではありません");
    QTest::newRow("block of no tokens") << Stream().only(0, 'a').only(3, 'a').done() << aaa
                                        << QStringLiteral("符号数 0 のブロック");
    QTest::newRow("stream cut short")
        << Stream().only(3, 'a').done().left(3) << aaa << QStringLiteral("途中で終わっています");
}

// Each fault the decoder refuses, on a stream that has only that fault.
void TestLzhDecoder::craftedStreams()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, data);
    QFETCH(QString, faultHas);
    LzhHeaderFields f;
    f.method = "-lh5-";
    f.name = "crafted.bin";
    f.compressedSize = uint64_t(stream.size());
    f.originalSize = uint64_t(data.size());
    f.dataCrc = Crc16::of(data.constData(), size_t(data.size()));
    const std::vector<uint8_t> header = buildLzhHeader(f);
    const QByteArray archive
        = QByteArray(reinterpret_cast<const char *>(header.data()), qsizetype(header.size()))
        + stream + QByteArray(1, '\0');
    QByteArray decoded;
    const std::vector<LzhMemberReport> reports = decodeLzhBytes(
        reinterpret_cast<const uint8_t *>(archive.constData()), size_t(archive.size()),
        "crafted.lzh", [&](const LzhMemberReport &, const uint8_t *bytes, size_t size) {
            decoded.append(reinterpret_cast<const char *>(bytes), qsizetype(size));
        });
    QCOMPARE(reports.size(), size_t(1));
    const QString fault = QString::fromStdString(reports[0].fault);
    if (faultHas.isEmpty()) {
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(decoded, data);
    } else {
        QVERIFY2(fault.contains(faultHas), qPrintable(fault));
    }
}

void TestLzhDecoder::damagedMembers_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("replaceDamaged");
    QTest::addColumn<QString>("faultHas");
    // The first member's data is damaged, its header rebuilt to match where
    // the damage changes a field, so that every header stays sound.
    QTest::newRow("flipped data byte") << "flip" << false << "";
    QTest::newRow("truncated member data") << "truncate" << false << "";
    QTest::newRow("byte after the stream") << "extra" << false << "余分な";
    QTest::newRow("wrong CRC") << "crc" << false << "CRC";
    QTest::newRow("damaged member replaced") << "flip" << true << "";
}

void TestLzhDecoder::damagedMembers()
{
    QFETCH(QString, damage);
    QFETCH(bool, replaceDamaged);
    QFETCH(QString, faultHas);
    SHEAF_REQUIRE_TOOL("7zz");
    QVERIFY2(QFileInfo::exists(sheafArc()), "build the sheaf-arc target first");
    QTemporaryDir tmp;
    const QString src = tmp.filePath(QStringLiteral("src"));
    const QByteArray one = m_sources.at("notes.txt").left(20000);
    writeFile(src + QStringLiteral("/one.txt"), one);
    writeFile(src + QStringLiteral("/two.txt"), "second member");
    writeFile(src + QStringLiteral("/three.txt"), "added later");
    const QString valid = tmp.filePath(QStringLiteral("valid.lzh"));
    ArchiveEntries entries;
    for (const char *name : {"one.txt", "two.txt"}) {
        ArchiveEntry e;
        e.source = (src + QLatin1Char('/') + QLatin1String(name)).toStdString();
        e.storedPath = name;
        e.size = uint64_t(QFileInfo(src + QLatin1Char('/') + QLatin1String(name)).size());
        entries.push_back(e);
    }
    makeLzh(valid.toStdString(), entries, LzhMethod::Lh5);
    QCOMPARE(runTool(QStringLiteral("7zz"), {QStringLiteral("t"), valid}).exitCode, 0);

    const QByteArray bytes = readFile(valid);
    const std::vector<LzhMemberInfo> info = parseLzhMembers(bytes.toStdString(), "valid");
    QCOMPARE(info.size(), size_t(2));
    const LzhMemberInfo &m = info[0];
    QCOMPARE(m.method, std::string("-lh5-"));
    QByteArray data = bytes.mid(qsizetype(m.dataOffset), qsizetype(m.dataSize));
    LzhHeaderFields f;
    f.method = m.method;
    f.originalSize = m.originalSize;
    f.mtime = uint32_t(m.mtime);
    f.dataCrc = m.crc16;
    f.name = "one.txt";
    if (damage == QLatin1String("flip"))
        data[data.size() / 2] = char(data[data.size() / 2] ^ 0x10);
    else if (damage == QLatin1String("truncate"))
        data.chop(3);
    else if (damage == QLatin1String("extra"))
        data.append('\0');
    else
        f.dataCrc ^= 0x1234;
    f.compressedSize = uint64_t(data.size());
    const std::vector<uint8_t> header = buildLzhHeader(f);
    const QByteArray damaged
        = QByteArray(reinterpret_cast<const char *>(header.data()), qsizetype(header.size())) + data
        + bytes.mid(qsizetype(info[1].offset));
    const QString arc = tmp.filePath(QStringLiteral("arc"));
    const QString archive = arc + QStringLiteral("/damaged.lzh");
    writeFile(archive, damaged);
    // The damage is real to an independent reader too.
    QVERIFY(runTool(QStringLiteral("7zz"), {QStringLiteral("t"), archive}).exitCode != 0);

    const ToolResult tested = runTool(sheafArc(), {"lzh", "t", archive});
    QCOMPARE(tested.exitCode, 1);
    const QStringList lines = QString::fromUtf8(tested.out).split(QLatin1Char('\n'));
    QVERIFY2(lines.size() > 2 && lines[0].startsWith(QLatin1String("one.txt  "))
            && !lines[0].endsWith(QLatin1String("  OK")) && lines[0].contains(faultHas),
        tested.out.constData());
    QCOMPARE(lines[1], QStringLiteral("two.txt  OK"));

    const QString added = replaceDamaged ? QStringLiteral("one.txt") : QStringLiteral("three.txt");
    const ToolResult add
        = runTool(sheafArc(), {"lzh", "a", "-a1", "-r0", archive, src + QLatin1Char('/'), added});
    if (replaceDamaged) {
        // The damaged member goes, so nothing damaged is kept.
        QVERIFY2(add.exitCode == 0, add.err.constData());
        const QString dest = tmp.filePath(QStringLiteral("out"));
        const QString complaint = extractWith(QStringLiteral("7zz"), archive, dest);
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
        QCOMPARE(readFile(dest + QStringLiteral("/one.txt")), one);
        QCOMPARE(readFile(dest + QStringLiteral("/two.txt")), QByteArray("second member"));
        return;
    }
    QCOMPARE(add.exitCode, 1);
    const QString reason = QString::fromUtf8(add.err);
    QVERIFY2(reason.contains(archive) && reason.contains(QLatin1String("one.txt"))
            && reason.contains(QStringLiteral("壊れている")),
        add.err.constData());
    QCOMPARE(readFile(archive), damaged);
    QCOMPARE(listTree(arc), QStringList {QStringLiteral("damaged.lzh")}); // no temporary left
}

// `lzh t` and `lzh l` print a stored name escaped (it cannot forge a line
// or drive the terminal) and refuse a named pipe at once instead of waiting.
void TestLzhDecoder::hostileInputToInspect()
{
    QTemporaryDir tmp;
    LzhHeaderFields f;
    f.method = "-lh0-";
    f.name = "evil  OK\n1 \x1b[8m";
    f.originalSize = f.compressedSize = 1;
    f.dataCrc = Crc16::of("x", 1);
    const std::vector<uint8_t> header = buildLzhHeader(f);
    const QString archive = tmp.filePath("hostile.lzh");
    writeFile(archive,
        QByteArray(reinterpret_cast<const char *>(header.data()), qsizetype(header.size())) + "x"
            + QByteArray(1, '\0'));
    for (const char *command : {"t", "l"}) {
        const ToolResult r = runTool(sheafArc(), {"lzh", command, archive});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(
            r.out.contains("evil  OK\\n1 \\x1B[8m") && !r.out.contains('\x1b'), r.out.constData());
    }
    const QString pipe = tmp.filePath("pipe.lzh");
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const ToolResult r = runTool(sheafArc(), {"lzh", "t", pipe});
    QCOMPARE(r.exitCode, 1);
}

QTEST_GUILESS_MAIN(TestLzhDecoder)
#include "test_lzh_decoder.moc"
