// Every archive here is written by writeLzhArchive and read back by the
// independent readers (lhasa, 7zz, bsdtar, unar); each extracted file is
// compared byte for byte with its source, and names and times are checked.
//
// Reader limitations that the archive cannot avoid, checked as such:
// - lhasa and 7zz on Linux write code page 932 names as raw bytes, and 7zz
//   takes a 0x5C trail byte (表, ソ) for a path separator. (lhasa 0.3.1 here
//   keeps such a byte as it is.)
// - lhasa, 7zz and unar do not read the UTF-16 name headers: they get the
//   code page 932 fallback of a name that has no code page 932 form.
// - unar converts code page 932 names to UTF-8 by itself.
#include "lzh_test_util.h"

#include "archiver/lzh/crc16.h"
#include "archiver/lzh/lzh_block_writer.h"
#include "archiver/lzh/lzh_encoder.h"
#include "archiver/lzh/lzh_header.h"

#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace sheaf::archiver;
using namespace sheaf::test;
namespace fs = std::filesystem;

namespace {

struct NameCase
{
    const char *stored; // UTF-8 stored path
    const char *cp932Hex; // the code page 932 path in the archive (fallback included)
    const char *unarName; // what unar makes of it (no UTF-16 headers)
};

// cp932Hex values come from python3's cp932 codec.
const NameCase kNames[] = {
    {"readme.txt", "", "readme.txt"},
    {"README.TXT", "", "README.TXT"},
    {"with space  and more.txt", "", "with space  and more.txt"},
    {"日本語テキスト.txt", "93fa967b8cea8365834c835883672e747874", "日本語テキスト.txt"},
    {"表示ソフト.txt", "955c8ea6835c837483672e747874", "表示ソフト.txt"},
    {"dir1/sub dir/深い/file.txt", "646972312f737562206469722f905b82a22f66696c652e747874",
        "dir1/sub dir/深い/file.txt"},
    {"ソース/表.txt", "835c815b83582f955c2e747874", "ソース/表.txt"},
    // No code page 932 form: a fallback that must not take the name of the
    // member that really is called "Caf_ _.txt".
    {"Caf_ _.txt", "", "Caf_ _.txt"},
    {"Café €.txt", "4361665f205f7e312e747874", "Caf_ _~1.txt"},
    {"Ωmega €/inner.txt", "83b66d656761205f2f696e6e65722e747874", "Ωmega _/inner.txt"},
};

struct EmptyFolder
{
    const char *stored;
    const char *cp932Hex;
    const char *unarName;
};
const EmptyFolder kEmptyFolders[] = {
    {"empty", "", "empty"},
    {"空/フォルダ", "8bf32f83748348838b835f", "空/フォルダ"},
    // A folder entry whose name has no code page 932 form (UTF-16 in 0x45).
    {"Unicode € folder", "556e69636f6465205f20666f6c646572", "Unicode _ folder"},
};

constexpr int64_t kBaseTime = 1700000000;

QByteArray cp932Path(const char *stored, const char *hex)
{
    return *hex ? QByteArray::fromHex(hex) : QByteArray(stored);
}

// The path a reader gives to a member, as raw bytes.
QByteArray expectedPath(const QString &reader, const QByteArray &stored, const QByteArray &cp932,
    const QByteArray &unarName)
{
    if (reader == QLatin1String("bsdtar") || reader == kOurDecoder)
        return stored; // 0x46 and the UTF-16 headers
    if (reader == QLatin1String("unar"))
        return unarName;
    QByteArray raw = cp932;
    if (reader == QLatin1String("7zz"))
        raw.replace('\\', "/");
    return raw;
}

QStringList wordList()
{
    QStringList words;
    const QDir licences(QStringLiteral("/usr/share/common-licenses"));
    for (const QString &f : licences.entryList(QDir::Files)) {
        const QString text = QString::fromUtf8(readFile(licences.filePath(f)));
        for (const QString &w :
            text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
            words << w;
        if (words.size() > 20000)
            break;
    }
    if (words.size() < 100)
        words = QStringLiteral(
            "the of and to in a is that for it as was with be by on not he this are or his from at "
            "which but have an they you were her she there been one all we their")
                    .split(QLatin1Char(' '));
    return words;
}

// Text with the statistics of real prose: words of a licence text in a
// random order, with line breaks.
QByteArray proseText(qsizetype size, quint32 seed, const QStringList &words)
{
    QByteArray out;
    out.reserve(size + 100);
    quint32 x = seed | 1;
    int column = 0;
    while (out.size() < size) {
        const QByteArray w = words[int(next(x) % quint32(words.size()))].toUtf8();
        out += w;
        column += int(w.size()) + 1;
        if (column > 72) {
            out += '\n';
            column = 0;
        } else {
            out += ' ';
        }
    }
    out.truncate(size);
    return out;
}

// Byte frequencies shaped like the Fibonacci numbers: plain Huffman would
// give codes far longer than 16 bits.
QByteArray fibonacciBytes()
{
    QByteArray out;
    quint32 a = 1, b = 1;
    for (int sym = 0; sym < 25; ++sym) {
        out.append(qsizetype(a), char('A' + sym));
        const quint32 c = a + b;
        a = b;
        b = c;
    }
    // Shuffle so that the LZ layer finds few matches.
    quint32 x = 12345;
    for (qsizetype i = out.size() - 1; i > 0; --i)
        std::swap(out[i], out[qsizetype(next(x) % quint32(i + 1))]);
    return out;
}

QByteArray randomContent(quint32 &x, const QStringList &words)
{
    const quint32 kind = next(x) % 4;
    const quint32 scale = next(x) % 10;
    qsizetype size = scale < 4 ? next(x) % 100 : scale < 8 ? next(x) % 5000 : next(x) % 60000;
    switch (kind) {
    case 0:
        return randomBytes(size, next(x));
    case 1:
        return proseText(size, next(x), words);
    case 2: {
        QByteArray pattern = randomBytes(1 + next(x) % 40, next(x));
        QByteArray out;
        while (out.size() < size)
            out += pattern;
        out.truncate(size);
        return out;
    }
    default: {
        QByteArray out = proseText(size, next(x), words);
        for (qsizetype i = 0; i < out.size(); i += 1 + qsizetype(next(x) % 500))
            out[i] = char(next(x));
        return out;
    }
    }
}

} // namespace

class TestLzhInterop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void extract_data();
    void extract();
    void listing_data();
    void listing();
    void tableForms_data();
    void tableForms();

private:
    struct Member
    {
        QByteArray stored, cp932, unarName, content;
        int64_t mtime = 0;
        bool checkTime = false;
    };

    void addFile(const QString &stored, const QByteArray &content, const QByteArray &cp932,
        const QByteArray &unarName, int64_t mtime, bool checkTime);
    void addFolder(const QString &stored, const QByteArray &cp932, const QByteArray &unarName,
        bool emptyFolder);
    QString archiveFor(LzhMethod method, int level = 0);

    QTemporaryDir m_dir;
    QString m_src;
    ArchiveEntries m_entries;
    std::vector<Member> m_files;
    std::vector<std::tuple<QByteArray, QByteArray, QByteArray>>
        m_emptyFolders; // stored, cp932, unar
    std::map<int, QString> m_archives;
    std::string m_readOnly;
};

void TestLzhInterop::addFile(const QString &stored, const QByteArray &content,
    const QByteArray &cp932, const QByteArray &unarName, int64_t mtime, bool checkTime)
{
    m_entries.push_back(writeEntry(m_src + QLatin1Char('/') + stored, stored, content, mtime));
    m_files.push_back({stored.toUtf8(), cp932, unarName, content, mtime, checkTime});
}

void TestLzhInterop::addFolder(
    const QString &stored, const QByteArray &cp932, const QByteArray &unarName, bool emptyFolder)
{
    QDir().mkpath(m_src + QLatin1Char('/') + stored);
    ArchiveEntry e;
    e.source = fs::path((m_src + QLatin1Char('/') + stored).toStdString());
    e.storedPath = stored.toStdString();
    e.isDirectory = true;
    e.attributes = DosDirectory;
    e.mtime = kBaseTime;
    m_entries.push_back(e);
    if (emptyFolder)
        m_emptyFolders.emplace_back(stored.toUtf8(), cp932, unarName);
}

void TestLzhInterop::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (qEnvironmentVariableIsSet("SHEAF_KEEP_TEST_FILES")) {
        m_dir.setAutoRemove(false);
        qInfo() << "test files in" << m_dir.path();
    }
    m_src = m_dir.filePath(QStringLiteral("src"));
    const QStringList words = wordList();

    // Folder entries come first, as when recursing.
    for (const EmptyFolder &f : kEmptyFolders) {
        const QString stored = QString::fromUtf8(f.stored);
        if (stored.contains(QLatin1Char('/')))
            addFolder(stored.section(QLatin1Char('/'), 0, 0),
                cp932Path(f.stored, f.cp932Hex).split('/').first(), {}, false);
        addFolder(stored, cp932Path(f.stored, f.cp932Hex), f.unarName, true);
    }

    int i = 0;
    for (const NameCase &n : kNames) {
        const QByteArray content = "name case " + QByteArray::number(i) + "\n"
            + proseText(300 * i, quint32(i + 1), words);
        addFile(QString::fromUtf8(n.stored), content, cp932Path(n.stored, n.cp932Hex), n.unarName,
            kBaseTime + i * 86461, true);
        ++i;
    }

    // The read-only attribute (0x40 header) is honoured by libarchive.
    addFile(QStringLiteral("read-only.txt"), "read only\n", "read-only.txt", "read-only.txt",
        kBaseTime, false);
    m_entries.back().attributes = DosReadOnly | DosArchive;
    m_readOnly = "read-only.txt";

    // A 210-byte name makes a header of exactly 256 bytes, whose size would
    // start with a 0 byte; the writer grows it by one.
    const QByteArray longName = "header-256-" + QByteArray(195, 'n') + ".txt";
    addFile(QString::fromLatin1(longName), "long name\n", longName, longName, kBaseTime + 7, true);

    struct Content
    {
        const char *name;
        QByteArray bytes;
    };
    QByteArray repeats(300000, 'a');
    for (int k = 0; k < 3000; ++k)
        repeats += "0123456789abcdefghijklmnopqrstuvwxyz-";
    repeats += QByteArray(700000, '\0');
    const QByteArray manyCodes = randomLetters(400000, 7); // compressible, but nearly all literals
    QByteArray binary;
    for (quint32 k = 0, x = 99; k < 50000; ++k) {
        const quint32 r = next(x);
        binary += char(k & 0xFF);
        binary += char(r % 3 == 0 ? 0 : r >> 24);
        binary += (r % 5 == 0) ? QByteArray("\x48\x89\xE5", 3) : QByteArray(1, char(0xFF));
    }
    // Random blocks each repeated at once: their nearest match is exactly
    // one window back for each method (8, 32 and 64 KiB), one byte short of
    // it and one byte past it.
    QByteArray windowEdges;
    for (int period : {8192, 8191, 8193, 32768, 65535, 65536, 65537}) {
        const QByteArray block = randomBytes(period, quint32(period));
        windowEdges += block + block + block.left(300);
    }
    // A block holds at most 65535 tokens: random stretches (all literals)
    // of 65535 and 65534 bytes around a long run.
    QByteArray segmentEdges = randomBytes(65535, 17);
    segmentEdges += QByteArray(65535 * 2 + 1, 'q') + randomBytes(65534, 19);
    const Content contents[] = {
        {"empty", QByteArray()},
        {"one", QByteArray("x")},
        {"seven", QByteArray("1234567")},
        {"eight-same", QByteArray(8, 'z')},
        {"text.txt", proseText(120000, 3, words)},
        {"binary.bin", binary},
        {"random.bin", randomBytes(100000, 5)},
        {"repeats", repeats},
        {"many-codes", manyCodes},
        {"fibonacci", fibonacciBytes()},
        {"ten-mib.txt", proseText(10 << 20, 11, words)},
        {"window-edges", windowEdges},
        {"segment-edges", segmentEdges},
    };
    for (const Content &c : contents)
        addFile(QStringLiteral("content/") + QLatin1String(c.name), c.bytes,
            QByteArray("content/") + c.name, QByteArray("content/") + c.name, kBaseTime, false);

    quint32 x = 20261207;
    for (int k = 0; k < 300; ++k) {
        const QByteArray name = "random/" + QByteArray::number(k) + ".dat";
        addFile(QString::fromLatin1(name), randomContent(x, words), name, name, kBaseTime, false);
    }
}

QString TestLzhInterop::archiveFor(LzhMethod method, int level)
{
    const int key = int(method) * 100 + level;
    auto it = m_archives.find(key);
    if (it != m_archives.end())
        return it->second;
    const QString path
        = m_dir.filePath(QLatin1String(methodName(method)) + QStringLiteral("-l%1.lzh").arg(level));
    makeLzh(path.toStdString(), m_entries, method, {}, level);
    m_archives[key] = path;
    return path;
}

void TestLzhInterop::extract_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("reader");
    // 0 is the default (lazy matching), 1 the fastest, 9 the near-optimal parse.
    for (LzhMethod m : {LzhMethod::Lh5, LzhMethod::Lh6, LzhMethod::Lh7})
        for (int level : {0, 1, kLzhMaxLevel})
            for (const char *reader : {"lhasa", "7zz", "bsdtar", "unar", "sheaf"})
                QTest::addRow("%s-l%d-%s", methodName(m), level, reader)
                    << int(m) << level << QString::fromLatin1(reader);
}

void TestLzhInterop::extract()
{
    QFETCH(int, method);
    QFETCH(int, level);
    QFETCH(QString, reader);
    SHEAF_REQUIRE_TOOL(reader);
    const QString archive = archiveFor(LzhMethod(method), level);
    const QString dest
        = m_dir.filePath(QStringLiteral("out-%1-%2-%3").arg(method).arg(level).arg(reader));
    const RemoveTreeLater cleanup(dest);
    const QString complaint = extractWith(reader, archive, dest);
    QVERIFY2(complaint.isEmpty(), qPrintable(complaint));

    RawTree tree = readRawTree(dest.toStdString());
    for (const Member &m : m_files) {
        const std::string path = expectedPath(reader, m.stored, m.cp932, m.unarName).toStdString();
        auto it = tree.files.find(path);
        QVERIFY2(it != tree.files.end(), ("missing: " + path).c_str());
        QVERIFY2(it->second == m.content, ("differs: " + path).c_str());
        if (m.checkTime)
            QVERIFY2(tree.mtimes[path] == m.mtime,
                qPrintable(QStringLiteral("time of %1: %2, expected %3")
                               .arg(QString::fromStdString(path))
                               .arg(tree.mtimes[path])
                               .arg(m.mtime)));
        if (reader == QLatin1String("bsdtar") && path == m_readOnly)
            QVERIFY2((tree.modes[path] & 0222) == 0, "read-only attribute lost");
        tree.files.erase(it);
    }
    for (const auto &[stored, cp932, unarName] : m_emptyFolders) {
        const std::string path = expectedPath(reader, stored, cp932, unarName).toStdString();
        QVERIFY2(tree.dirs.count(path), ("missing empty folder: " + path).c_str());
    }
    QStringList extra;
    for (const auto &f : tree.files)
        extra << QString::fromStdString(f.first);
    QVERIFY2(extra.isEmpty(), qPrintable(QStringLiteral("extra files: ") + extra.join(u", ")));
}

void TestLzhInterop::listing_data()
{
    QTest::addColumn<QString>("reader");
    QTest::newRow("bsdtar") << QStringLiteral("bsdtar");
    QTest::newRow("lsar") << QStringLiteral("lsar");
}

// The names a lister shows, files and folders, with no conversion option.
void TestLzhInterop::listing()
{
    QFETCH(QString, reader);
    SHEAF_REQUIRE_TOOL(reader);
    const QString archive = archiveFor(LzhMethod::Lh5);
    const ToolResult r = reader == QLatin1String("bsdtar")
        ? runTool(reader, {QStringLiteral("-tf"), archive})
        : runTool(reader, {archive});
    QCOMPARE(r.exitCode, 0);
    QStringList listed = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (reader == QLatin1String("lsar"))
        listed.removeFirst(); // "<archive>: LZH"
    for (QString &l : listed)
        if (l.endsWith(QLatin1Char('/')))
            l.chop(1);
    QStringList expected;
    for (const ArchiveEntry &e : m_entries)
        expected << QString::fromStdString(e.storedPath);
    if (reader == QLatin1String("lsar")) {
        // Without the UTF-16 headers: the fallback names.
        for (const Member &m : m_files)
            if (m.stored != m.unarName)
                expected.replace(
                    expected.indexOf(QString::fromUtf8(m.stored)), QString::fromUtf8(m.unarName));
        for (const auto &[stored, cp932, unarName] : m_emptyFolders)
            if (stored != unarName)
                expected.replace(
                    expected.indexOf(QString::fromUtf8(stored)), QString::fromUtf8(unarName));
    }
    listed.sort();
    expected.sort();
    QCOMPARE(listed, expected);
}

using TokenList = std::vector<LzhToken>;
Q_DECLARE_METATYPE(TokenList)

void TestLzhInterop::tableForms_data()
{
    // Token sequences our match finder rarely makes, written straight
    // through the block writer: each drives a table into one of its special
    // forms (a single T code, the single-symbol C and P tables, every C
    // symbol in use, the deepest P symbol).
    QTest::addColumn<int>("method");
    QTest::addColumn<TokenList>("tokens");
    auto lit = [](int b) {
        return LzhToken {uint16_t(b), 0};
    };
    auto match = [](int length, int distance) {
        return LzhToken {uint16_t(256 + length - 3), uint16_t(distance - 1)};
    };
    TokenList twoLiterals;
    for (int i = 0; i < 300; ++i)
        twoLiterals.push_back(lit(i % 2));
    QTest::newRow("two C codes of length 1: one T symbol") << int(LzhMethod::Lh5) << twoLiterals;
    QTest::newRow("one literal only: single C, no P")
        << int(LzhMethod::Lh5) << TokenList(500, lit('a'));
    TokenList runs {lit('r')};
    for (int i = 0; i < 40; ++i)
        runs.push_back(match(256, 1));
    QTest::newRow("matches at distance 1 only: single P") << int(LzhMethod::Lh6) << runs;
    TokenList every;
    for (int b = 0; b < 256; ++b)
        every.push_back(lit(b));
    for (int len = 3; len <= 256; ++len)
        every.push_back(match(len, 1 + (len * 37) % 256));
    QTest::newRow("all 510 C symbols") << int(LzhMethod::Lh5) << every;
    for (LzhMethod m : {LzhMethod::Lh5, LzhMethod::Lh6, LzhMethod::Lh7}) {
        const int window = 1 << LzhEncoder::methodParams(m).windowBits;
        TokenList far;
        for (int i = 0; i < window + 300; ++i)
            far.push_back(lit(int((uint32_t(i) * 2654435761u) >> 24)));
        far.push_back(match(200, window)); // the largest distance
        far.push_back(match(3, window - 1));
        far.push_back(lit('z'));
        QTest::addRow("window distance %s", methodName(m)) << int(m) << far;
    }
}

void TestLzhInterop::tableForms()
{
    QFETCH(int, method);
    QFETCH(TokenList, tokens);
    // The bytes the tokens stand for.
    QByteArray data;
    for (const LzhToken &t : tokens) {
        if (t.c < 256) {
            data += char(t.c);
            continue;
        }
        const qsizetype from = data.size() - (t.d + 1);
        QVERIFY(from >= 0);
        for (int k = 0; k < t.c - 253; ++k)
            data += data[from + k];
    }
    std::vector<uint8_t> stream;
    LzhBitWriter bits(stream);
    const LzhMethodParams params = LzhEncoder::methodParams(LzhMethod(method));
    for (size_t at = 0; at + 1 < tokens.size(); at += 16384)
        writeLzhBlock(bits,
            std::span(tokens.data() + at, std::min<size_t>(16384, tokens.size() - 1 - at)), params);
    writeLzhTrailerBlock(bits, tokens.back(), params);
    bits.padToByte();
    QVERIFY(stream.size() < size_t(data.size()));

    LzhHeaderFields f;
    f.method = method == int(LzhMethod::Lh5) ? "-lh5-"
        : method == int(LzhMethod::Lh6)      ? "-lh6-"
                                             : "-lh7-";
    f.compressedSize = stream.size();
    f.originalSize = uint64_t(data.size());
    f.mtime = uint32_t(kBaseTime);
    f.dataCrc = Crc16::of(data.constData(), size_t(data.size()));
    f.name = "tokens.bin";
    std::vector<uint8_t> archive = buildLzhHeader(f);
    archive.insert(archive.end(), stream.begin(), stream.end());
    archive.push_back(0);
    const QString path = m_dir.filePath(QStringLiteral("forms.lzh"));
    writeFile(path,
        QByteArray(reinterpret_cast<const char *>(archive.data()), qsizetype(archive.size())));

    for (const char *reader : {"lhasa", "7zz", "bsdtar", "unar", "sheaf"}) {
        const QString r = QString::fromLatin1(reader);
        SHEAF_NEXT_WITHOUT_TOOL(r);
        const QString dest = m_dir.filePath(QStringLiteral("forms-") + r);
        const RemoveTreeLater cleanup(dest);
        const QString complaint = extractWith(r, path, dest);
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
        QVERIFY2(readFile(dest + QStringLiteral("/tokens.bin")) == data, reader);
    }
}

QTEST_GUILESS_MAIN(TestLzhInterop)
#include "test_lzh_interop.moc"
