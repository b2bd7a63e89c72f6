// Units of the LZH writer where a fault would be hard to see from outside:
// CRC-16 vectors, code page 932 (Windows' choices among duplicate codes),
// length-limited Huffman codes, and the byte layouts of the format note's
// worked examples (verified there by every reader).
#include "archiver/archive_error.h"
#include "archiver/command_line.h"
#include "archiver/dialects.h"
#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzh_archive_writer.h"
#include "archiver/lzh/lzh_block_writer.h"
#include "archiver/lzh/lzh_encoder.h"
#include "archiver/lzh/lzh_header.h"
#include "archiver/lzh/lzh_huffman.h"
#include "archiver/lzh/lzh_match_finder.h"
#include "base/cp932.h"

#include <QTest>

#include <vector>

using namespace sheaf::archiver;
using namespace sheaf;

namespace {

QByteArray bytes(const std::vector<uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), qsizetype(v.size()));
}

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

uint64_t kraftSum(const std::vector<uint8_t> &lengths)
{
    uint64_t sum = 0;
    for (uint8_t l : lengths)
        if (l)
            sum += uint64_t(1) << (kLzhMaxCodeLength - l);
    return sum;
}

} // namespace

class TestLzhUnits : public QObject
{
    Q_OBJECT

    void checkHuffmanCode(
        const std::vector<uint32_t> &counts, uint32_t add, const std::vector<uint8_t> &lengths);

private slots:
    void crc16_data();
    void crc16();
    void cp932Preferred_data();
    void cp932Preferred();
    void cp932Unmappable_data();
    void cp932Unmappable();
    void cp932EveryCodeRoundTrips();
    void cp932Decoding_data();
    void cp932Decoding();
    void huffmanLimited_data();
    void huffmanLimited();
    void workedExampleBlock();
    void lastBlock_data();
    void lastBlock();
    void headerLayout_data();
    void headerLayout();
    void headerSizeNeverEndsInZeroByte();
    void levelSwitch_data();
    void levelSwitch();
};

void TestLzhUnits::crc16_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("crc");
    QTest::newRow("check") << QByteArray("123456789") << 0xBB3D;
    QTest::newRow("empty") << QByteArray() << 0x0000;
    QTest::newRow("a") << QByteArray("a") << 0xE8C1;
    QTest::newRow("AB x 12") << QByteArray("AB").repeated(12) << 0x2937;
    QTest::newRow("hello") << QByteArray("hello hello hello hello LZH world\n") << 0x0F6E;
}

void TestLzhUnits::crc16()
{
    QFETCH(QByteArray, input);
    QFETCH(int, crc);
    QCOMPARE(int(Crc16::of(input.constData(), size_t(input.size()))), crc);
    // Fed in pieces, the same.
    Crc16 c;
    for (char ch : input)
        c.update(&ch, 1);
    QCOMPARE(int(c.value()), crc);
}

void TestLzhUnits::cp932Preferred_data()
{
    QTest::addColumn<int>("unicode");
    QTest::addColumn<QByteArray>("code");
    // Duplicates: JIS X 0208, then NEC row 13, then IBM, never NEC-selected IBM.
    QTest::newRow("small roman one") << 0x2170 << QByteArray("\xFA\x40");
    QTest::newRow("approximately equal") << 0x2252 << QByteArray("\x81\xE0");
    QTest::newRow("because") << 0x2235 << QByteArray("\x81\xE6");
    QTest::newRow("roman one") << 0x2160 << QByteArray("\x87\x54");
    QTest::newRow("not sign") << 0xFFE2 << QByteArray("\x81\xCA");
    QTest::newRow("circled one") << 0x2460 << QByteArray("\x87\x40");
    // Trail byte 0x5C.
    QTest::newRow("hyou") << 0x8868 << QByteArray("\x95\x5C");
    QTest::newRow("so") << 0x30BD << QByteArray("\x83\x5C");
    // Single bytes and Windows' own choices.
    QTest::newRow("backslash") << 0x5C << QByteArray("\x5C");
    QTest::newRow("tilde") << 0x7E << QByteArray("\x7E");
    QTest::newRow("halfwidth first") << 0xFF61 << QByteArray("\xA1");
    QTest::newRow("halfwidth last") << 0xFF9F << QByteArray("\xDF");
    QTest::newRow("0x80") << 0x80 << QByteArray("\x80");
    QTest::newRow("0xA0") << 0xF8F0 << QByteArray("\xA0");
    QTest::newRow("0xFD") << 0xF8F1 << QByteArray("\xFD");
    QTest::newRow("0xFF") << 0xF8F3 << QByteArray("\xFF");
    QTest::newRow("fullwidth tilde") << 0xFF5E << QByteArray("\x81\x60");
    QTest::newRow("horizontal bar") << 0x2015 << QByteArray("\x81\x5C");
    QTest::newRow("user-defined first") << 0xE000 << QByteArray("\xF0\x40");
    QTest::newRow("user-defined last") << 0xE757 << QByteArray("\xF9\xFC");
}

void TestLzhUnits::cp932Preferred()
{
    QFETCH(int, unicode);
    QFETCH(QByteArray, code);
    const std::u16string s(1, char16_t(unicode));
    const std::optional<std::string> enc = toCp932(s);
    QVERIFY(enc);
    QCOMPARE(bytes(*enc), code);
    QVERIFY(fromCp932(*enc) == s);
    const std::optional<std::string> viaUtf8 = utf8ToCp932(utf16ToUtf8(s));
    QVERIFY(viaUtf8 && *viaUtf8 == *enc);
}

void TestLzhUnits::cp932Unmappable_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("e acute") << QStringLiteral("caf\u00E9");
    QTest::newRow("euro") << QStringLiteral("\u20AC");
    QTest::newRow("yen sign (no best fit)") << QStringLiteral("\u00A5");
    QTest::newRow("overline") << QStringLiteral("\u203E");
    QTest::newRow("wave dash") << QStringLiteral("\u301C");
    QTest::newRow("em dash") << QStringLiteral("\u2014");
    QTest::newRow("emoji") << QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("lone surrogate") << QString(QChar(0xD800));
    QTest::newRow("beyond user-defined") << QString(QChar(0xE758));
}

void TestLzhUnits::cp932Unmappable()
{
    QFETCH(QString, text);
    QVERIFY(!toCp932(std::u16string_view(
        reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()))));
    if (text.at(0).isSurrogate())
        return; // has no UTF-8 form
    QVERIFY(!utf8ToCp932(text.toStdString()));
    QVERIFY(utf8ToCp932Lossy(text.toStdString()).find('_') != std::string::npos);
}

void TestLzhUnits::cp932EveryCodeRoundTrips()
{
    // Every mapped double-byte code decodes to one character whose code
    // decodes back to it; the code chosen is never an NEC-selected IBM one,
    // and a JIS X 0208 or user-defined code always maps back to itself.
    int mapped = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const char pair[2] = {char(lead), char(trail)};
            const std::u16string u = fromCp932(std::string_view(pair, 2));
            if (u.size() != 1 || u[0] == 0xFFFD)
                continue;
            ++mapped;
            const std::optional<std::string> back = toCp932(u);
            QVERIFY2(
                back && back->size() == 2, qPrintable(QString::number(lead * 256 + trail, 16)));
            QVERIFY(fromCp932(*back) == u);
            const int backLead = uint8_t((*back)[0]);
            QVERIFY(backLead != 0xED && backLead != 0xEE);
            const bool jisOrUser = lead <= 0x84 || (lead >= 0x88 && lead <= 0x9F)
                || (lead >= 0xE0 && lead <= 0xEA) || (lead >= 0xF0 && lead <= 0xF9);
            if (jisOrUser)
                QCOMPARE(bytes(*back), QByteArray(pair, 2));
        }
    }
    // JIS X 0208 (6879) + NEC row 13 (83) + NEC-selected IBM (374) + IBM
    // (388) + user-defined (1880).
    QCOMPARE(mapped, 6879 + 83 + 374 + 388 + 1880);
}

void TestLzhUnits::cp932Decoding_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("text");
    QTest::newRow("japanese") << QByteArray("\x93\xFA\x96\x7B") << QStringLiteral("日本");
    QTest::newRow("lead at end") << QByteArray("a\x81") << QStringLiteral("a\uFFFD");
    QTest::newRow("unmapped pair, ascii trail")
        << QByteArray("\x85\x40") << QStringLiteral("\uFFFD@");
    QTest::newRow("unmapped pair") << QByteArray("\x85\x9F"
                                                 "b")
                                   << QStringLiteral("\uFFFDb");
    QTest::newRow("NEC-selected IBM") << QByteArray("\xEE\xEF") << QStringLiteral("\u2170");
    QTest::newRow("halfwidth") << QByteArray("\xB1\xDF") << QStringLiteral("\uFF71\uFF9F");
}

void TestLzhUnits::cp932Decoding()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(cp932ToUtf8(input.toStdString())), text);
}

void TestLzhUnits::huffmanLimited_data()
{
    QTest::addColumn<QList<uint>>("freq");
    QList<uint> fib;
    for (uint a = 1, b = 1; fib.size() < 40; std::swap(a, b), b += a)
        fib << a;
    QTest::newRow("fibonacci 40") << fib;
    QTest::newRow("fibonacci 25") << fib.mid(0, 25);
    QList<uint> skewed(510, 1);
    skewed[0] = 4000000000u;
    QTest::newRow("one huge, 509 tiny") << skewed;
    QTest::newRow("two symbols") << QList<uint> {0, 5, 0, 0, 1};
    QTest::newRow("uniform 510") << QList<uint>(510, 7);
    QList<uint> powers;
    for (int i = 0; i < 19; ++i)
        powers << (1u << i);
    QTest::newRow("powers of two") << powers;
    QList<uint> spread; // sorted by three radix passes
    for (uint i = 0; i < 300; ++i)
        spread << (i * 7919u) % 1000u;
    QTest::newRow("300 symbols, counts to 999") << spread;
}

void TestLzhUnits::huffmanLimited()
{
    QFETCH(QList<uint>, freq);
    const std::vector<uint32_t> counts(freq.begin(), freq.end());
    std::vector<uint8_t> single(counts.size());
    buildHuffmanLengths(counts.data(), int(counts.size()), kLzhMaxCodeLength, single.data());
    // The codes built at once for the counts as they are and with 1 and
    // 1000 added to each used one: the first is the code built alone, each
    // is a code of its counts.
    const uint32_t adds[] = {1, 1000};
    std::vector<std::vector<uint8_t>> sets(3, std::vector<uint8_t>(counts.size()));
    uint8_t *const out[] = {sets[0].data(), sets[1].data(), sets[2].data()};
    buildHuffmanLengths(counts.data(), int(counts.size()), kLzhMaxCodeLength, out, adds);
    QCOMPARE(sets[0], single);
    for (size_t k = 0; k < sets.size(); ++k)
        checkHuffmanCode(counts, k == 0 ? 0 : adds[k - 1], sets[k]);
}

void TestLzhUnits::checkHuffmanCode(
    const std::vector<uint32_t> &counts, uint32_t add, const std::vector<uint8_t> &lengths)
{
    std::vector<uint32_t> f = counts;
    for (uint32_t &n : f)
        n += n ? add : 0;
    for (size_t i = 0; i < f.size(); ++i) {
        QVERIFY(lengths[i] <= kLzhMaxCodeLength);
        QCOMPARE(lengths[i] == 0, f[i] == 0);
        // More frequent never gets a longer code.
        for (size_t j = 0; j < f.size(); ++j)
            if (f[i] > f[j] && f[j] > 0)
                QVERIFY(lengths[i] <= lengths[j]);
    }
    QCOMPARE(kraftSum(lengths), uint64_t(1) << kLzhMaxCodeLength); // complete
    // Canonical codes are prefix-free: sorted by (length, code), no code is
    // a prefix of the next.
    std::vector<uint16_t> codes(f.size());
    buildCanonicalCodes(lengths.data(), int(f.size()), codes.data());
    for (size_t i = 0; i < f.size(); ++i)
        for (size_t j = 0; j < f.size(); ++j)
            if (i != j && lengths[i] && lengths[j] && lengths[i] <= lengths[j])
                QVERIFY((codes[j] >> (lengths[j] - lengths[i])) != codes[i]);
}

void TestLzhUnits::workedExampleBlock()
{
    // "AB" x 12: literals A, B, then length 22 at distance 2, one block.
    const QByteArray data = QByteArray("AB").repeated(12);
    LzhMatchFinder finder(13, lzhLevel(0, 13));
    finder.input().append(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()));
    std::vector<LzhToken> tokens;
    finder.parse(true, tokens);
    QCOMPARE(tokens.size(), size_t(3));
    QCOMPARE(int(tokens[2].c), 256 + 22 - 3);
    QCOMPARE(int(tokens[2].d), 1);

    std::vector<uint8_t> out;
    LzhBitWriter bits(out);
    writeLzhBlock(bits, tokens, LzhEncoder::methodParams(LzhMethod::Lh5));
    bits.padToByte();
    QCOMPARE(bytes(out), QByteArray::fromHex("0003 2804 4A28 16D9 7980 AC"));
}

void TestLzhUnits::lastBlock_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QList<int>>("symbols");
    QTest::addColumn<QList<int>>("distances"); // d: the distance - 1
    QTest::addColumn<int>("start"); // bits before the block
    QTest::addColumn<bool>("whole"); // else the trailer takes the last token
    QTest::addColumn<QByteArray>("hex"); // the bytes, where pinned
    const int lh5 = int(LzhMethod::Lh5), lh7 = int(LzhMethod::Lh7);
    const QList<int> ab22 {'A', 'B', 256 + 22 - 3}, ab22d {0, 0, 1};
    QTest::newRow("worked example: 86 bits, padding after its last code of no bits")
        << lh5 << ab22 << ab22d << 0 << true << QByteArray("000328044a2816d97980ac");
    QTest::newRow("worked example 2 bits in: its last code of no bits ends on a byte")
        << lh5 << ab22 << ab22d << 2 << false << QByteArray();
    // The trailer alone: 97 bits, or 94 where 97 would end on a byte (7
    // bits in).
    QTest::newRow("one literal: 52 bits") << lh5 << QList<int> {'A'} << QList<int> {0} << 0 << false
                                          << QByteArray("00019923000000000000208000");
    QTest::newRow("one literal 7 bits in") << lh5 << QList<int> {'A'} << QList<int> {0} << 7
                                           << false << QByteArray("00000322460000000000020800");
    QTest::newRow("one match with 9 extra bits: 63 bits")
        << lh7 << QList<int> {256} << QList<int> {1000} << 0 << false << QByteArray();
    QTest::newRow("one match with 10 extra bits: 64 bits")
        << lh7 << QList<int> {256} << QList<int> {2000} << 0 << true << QByteArray();
    // Literals 'a' to 'l', each half as frequent as the one before: codes of
    // 1 to 11 bits; the last token is the 1-bit 'a', which leaves too few
    // bits for a 10-bit peek whatever the padding.
    QList<int> skewed;
    for (int i = 0; i < 12; ++i)
        for (int k = 0; k < (2048 >> i); ++k)
            skewed.prepend('a' + i);
    for (int start : {0, 7})
        QTest::addRow("last code of 1 bit, longest of 11, %d bits in", start)
            << lh5 << skewed << QList<int>(skewed.size(), 0) << start << false << QByteArray();
    // The same tokens ending with the 11-bit 'l': read everywhere.
    QList<int> rareLast = skewed;
    std::swap(rareLast.first(), rareLast.last());
    QTest::newRow("last code of 11 bits")
        << lh5 << rareLast << QList<int>(rareLast.size(), 0) << 0 << true << QByteArray();
}

void TestLzhUnits::lastBlock()
{
    QFETCH(int, method);
    QFETCH(QList<int>, symbols);
    QFETCH(QList<int>, distances);
    QFETCH(int, start);
    QFETCH(bool, whole);
    QFETCH(QByteArray, hex);
    std::vector<LzhToken> tokens;
    for (qsizetype i = 0; i < symbols.size(); ++i)
        tokens.push_back({uint16_t(symbols[i]), uint16_t(distances[i])});
    const LzhMethodParams params = LzhEncoder::methodParams(LzhMethod(method));
    auto written = [&](auto write) {
        std::vector<uint8_t> out;
        LzhBitWriter bits(out);
        bits.put(0, start);
        write(bits);
        bits.padToByte();
        return bytes(out);
    };
    const QByteArray last = written([&](LzhBitWriter &b) { writeLzhLastBlock(b, tokens, params); });
    const QByteArray expected = written([&](LzhBitWriter &b) {
        if (whole) {
            writeLzhBlock(b, tokens, params);
            return;
        }
        if (tokens.size() > 1)
            writeLzhBlock(b, std::span(tokens).first(tokens.size() - 1), params);
        writeLzhTrailerBlock(b, tokens.back(), params);
    });
    QCOMPARE(last.toHex(), expected.toHex());
    if (!hex.isEmpty())
        QCOMPARE(last.toHex(), hex);
}

void TestLzhUnits::headerLayout_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("packed");
    QTest::addColumn<int>("original");
    QTest::addColumn<int>("crc");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ab.txt lh5") << "-lh5-" << 11 << 24 << 0x2937 << "ab.txt"
                                << QByteArray::fromHex("28002D6C68352D0B00000018000000"
                                                       "00F1536520023729570500 00A50B0900016162"
                                                       "2E747874 0000");
    QTest::newRow("a.txt lh0") << "-lh0-" << 9 << 9 << 0xBB3D << "a.txt"
                               << QByteArray::fromHex("27002D6C68302D0900000009000000"
                                                      "00F15365200 23DBB570500004B80080001612E"
                                                      "7478740000");
}

void TestLzhUnits::headerLayout()
{
    QFETCH(QString, method);
    QFETCH(int, packed);
    QFETCH(int, original);
    QFETCH(int, crc);
    QFETCH(QString, name);
    QFETCH(QByteArray, expected);
    LzhHeaderFields f;
    f.method = method.toStdString();
    f.compressedSize = uint64_t(packed);
    f.originalSize = uint64_t(original);
    f.mtime = 1700000000;
    f.dataCrc = uint16_t(crc);
    f.name = name.toStdString();
    f.attributesHeader = false;
    f.codePageHeader = false;
    QCOMPARE(bytes(buildLzhHeader(f)), expected);
}

void TestLzhUnits::headerSizeNeverEndsInZeroByte()
{
    // A low byte of 0 in the header size reads as the end of the archive.
    for (size_t dir = 0; dir < 300; dir += 7) {
        for (size_t len = 1; len < 600; ++len) {
            LzhHeaderFields f;
            f.name = std::string(len, 'n');
            f.directory = dir ? std::string(dir, 'd') + '\xFF' : std::string();
            const std::vector<uint8_t> h = buildLzhHeader(f);
            QVERIFY(h[0] != 0);
            QCOMPARE(size_t(h[0] | h[1] << 8), h.size());
        }
    }
}

void TestLzhUnits::levelSwitch_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("level"); // -1: refused
    QTest::addColumn<int>("method");
    QTest::newRow("no switch: default") << "a x.lzh d/ n" << 0 << 5;
    QTest::newRow("-l9") << "a -l9 x.lzh d/ n" << 9 << 5;
    QTest::newRow("-l1 then method") << "a -l1lh7- x.lzh d/ n" << 1 << 7;
    QTest::newRow("method then level, chained") << "a -r2lh6l9x1 x.lzh d/ n" << 9 << 6;
    QTest::newRow("later level wins") << "a -l9 -l3 x.lzh d/ n" << 3 << 5;
    QTest::newRow("-l0 refused") << "a -l0 x.lzh d/ n" << -1 << 5;
    QTest::newRow("-l10 refused") << "a -l10 x.lzh d/ n" << -1 << 5;
    QTest::newRow("bare -l refused") << "a -l x.lzh d/ n" << -1 << 5;
    QTest::newRow("-lh8 still refused") << "a -lh8 x.lzh d/ n" << -1 << 5;
}

void TestLzhUnits::levelSwitch()
{
    QFETCH(QString, line);
    QFETCH(int, level);
    QFETCH(int, method);
    try {
        const ArchiveRequest r = parseLzhCommandLine(splitCommandLine(line.toStdString()));
        QVERIFY2(level >= 0, "accepted");
        QCOMPARE(r.lzhLevel, level);
        const LzhMethod m = method == 7 ? LzhMethod::Lh7
            : method == 6               ? LzhMethod::Lh6
                                        : LzhMethod::Lh5;
        QVERIFY(r.lzhMethod == m);
    } catch (const ArchiveError &e) {
        QVERIFY2(level < 0, e.what());
        QCOMPARE(e.code(), ErrorCode::BadCommandLine);
    }
}

QTEST_GUILESS_MAIN(TestLzhUnits)
#include "test_lzh_units.moc"
