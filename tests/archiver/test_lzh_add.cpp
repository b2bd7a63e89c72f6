// Adding to an existing archive: replaced members carry the new content,
// kept members are copied byte for byte, and an existing file that is not a
// sound LZH archive is refused and left as it was. Results are read back by
// the independent readers; archives of other writers (jlha, levels 0 to 2)
// are the input of the reader.
#include "archiver/archive_error.h"
#include "archiver/lzh/lzh_archive_reader.h"
#include "archiver/lzh/lzh_header.h"
#include "lzh_test_util.h"

#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

using namespace sheaf::archiver;
using namespace sheaf::test;
namespace fs = std::filesystem;

namespace {

QByteArray memberBytes(const QByteArray &archive, const LzhMemberInfo &m)
{
    return archive.mid(qsizetype(m.offset), qsizetype(m.totalSize));
}

const LzhMemberInfo *findMember(const std::vector<LzhMemberInfo> &members, const std::string &path)
{
    for (const LzhMemberInfo &m : members)
        if (m.path == path)
            return &m;
    return nullptr;
}

} // namespace

class TestLzhAdd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void replacesAndKeeps_data();
    void replacesAndKeeps();
    void addsToForeignArchive_data();
    void addsToForeignArchive();
    void fallbackNamesStayUnique_data();
    void fallbackNamesStayUnique();
    void refusesDamaged_data();
    void refusesDamaged();
    void survivesMutations();
    void failsWithReason_data();
    void failsWithReason();

private:
    ArchiveEntry entry(
        const QString &stored, const QByteArray &content, int64_t mtime = 1600000000);
    void checkWithReaders(const QString &archive, const std::map<std::string, QByteArray> &expected,
        const std::map<std::string, std::string> &rawNames = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_validArchive;
};

void TestLzhAdd::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    if (qEnvironmentVariableIsSet("SHEAF_KEEP_TEST_FILES")) {
        m_dir->setAutoRemove(false);
        qInfo() << "test files in" << m_dir->path();
    }
}

ArchiveEntry TestLzhAdd::entry(const QString &stored, const QByteArray &content, int64_t mtime)
{
    static int n = 0;
    const QString path = m_dir->filePath(QStringLiteral("src%1/").arg(++n) + stored);
    writeFile(path, content, QDateTime::fromSecsSinceEpoch(mtime));
    ArchiveEntry e;
    e.source = fs::path(path.toStdString());
    e.storedPath = stored.toStdString();
    e.mtime = mtime;
    e.size = uint64_t(content.size());
    return e;
}

// Extracts with lhasa, 7zz, bsdtar and unar; every reader must produce
// exactly the expected files. lhasa and 7zz write code page 932 names as raw
// bytes on Linux: there `rawNames` gives the name to expect.
void TestLzhAdd::checkWithReaders(const QString &archive,
    const std::map<std::string, QByteArray> &expected,
    const std::map<std::string, std::string> &rawNames)
{
    for (const char *reader : {"lhasa", "7zz", "bsdtar", "unar"}) {
        const QString r = QString::fromLatin1(reader);
        if (!toolAvailable(r)) {
            if (inCi())
                QFAIL(qPrintable(QStringLiteral("reader missing in CI: ") + r));
            continue;
        }
        const QString dest = m_dir->filePath(QStringLiteral("out-") + r);
        const RemoveTreeLater cleanup(dest);
        // One short Japanese name is too little for unar's guess of the code page.
        const QString complaint = extractWith(r, archive, dest, QStringLiteral("shift_jis"));
        QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
        const RawTree tree = readRawTree(dest.toStdString());
        QCOMPARE(tree.files.size(), expected.size());
        const bool raw = r == QLatin1String("lhasa") || r == QLatin1String("7zz");
        for (const auto &[utf8Path, content] : expected) {
            const std::string path
                = raw && rawNames.count(utf8Path) ? rawNames.at(utf8Path) : utf8Path;
            auto it = tree.files.find(path);
            QVERIFY2(it != tree.files.end(),
                qPrintable(r + QStringLiteral(": missing ") + QString::fromStdString(path)));
            QVERIFY2(it->second == content,
                qPrintable(r + QStringLiteral(": differs ") + QString::fromStdString(path)));
        }
    }
}

void TestLzhAdd::replacesAndKeeps_data()
{
    QTest::addColumn<int>("method");
    QTest::newRow("lh5") << int(LzhMethod::Lh5);
    QTest::newRow("lh7") << int(LzhMethod::Lh7);
}

void TestLzhAdd::replacesAndKeeps()
{
    QFETCH(int, method);
    SHEAF_REQUIRE_TOOL("bsdtar");
    const QByteArray text = QByteArray("kept text, kept text, kept text\n").repeated(200);
    const ArchiveEntries first = {
        entry(QStringLiteral("a.txt"), text),
        entry(QStringLiteral("b.txt"), "old b"),
        entry(QStringLiteral("dir/c.bin"), randomBytes(5000, 3)),
        entry(QStringLiteral("日本/d.txt"), "old d " + text),
    };
    const QString v1 = m_dir->filePath(QStringLiteral("v1.lzh"));
    makeLzh(v1.toStdString(), first, LzhMethod(method));

    const ArchiveEntries second = {
        entry(QStringLiteral("b.txt"), "new b " + text),
        entry(QStringLiteral("e.txt"), "e"),
        entry(QStringLiteral("日本/d.txt"), "new d"),
    };
    const QString v2 = m_dir->filePath(QStringLiteral("v2.lzh"));
    makeLzh(v2.toStdString(), second, LzhMethod(method), v1.toStdString());

    // Kept members first, in their old order and with their old bytes; then
    // the new ones.
    const QByteArray old = readFile(v1), now = readFile(v2);
    const auto oldMembers = parseLzhMembers(old.toStdString(), "v1");
    const auto newMembers = parseLzhMembers(now.toStdString(), "v2");
    QStringList order;
    for (const LzhMemberInfo &m : newMembers)
        order << QString::fromStdString(m.path);
    QCOMPARE(order, QStringList({"a.txt", "dir/c.bin", "b.txt", "e.txt", "日本/d.txt"}));
    for (const char *kept : {"a.txt", "dir/c.bin"})
        QCOMPARE(memberBytes(now, *findMember(newMembers, kept)),
            memberBytes(old, *findMember(oldMembers, kept)));

    checkWithReaders(v2,
        {{"a.txt", text}, {"dir/c.bin", randomBytes(5000, 3)}, {"b.txt", "new b " + text},
            {"e.txt", "e"}, {"日本/d.txt", "new d"}},
        {{"日本/d.txt", "\x93\xFA\x96\x7B/d.txt"}});
}

void TestLzhAdd::addsToForeignArchive_data()
{
    QTest::addColumn<QString>("command");
    // jlha: header level and method glued to the command letter.
    QTest::newRow("level 0") << QStringLiteral("a0o5");
    QTest::newRow("level 1") << QStringLiteral("a1o5");
    QTest::newRow("level 2") << QStringLiteral("a2o7");
}

void TestLzhAdd::addsToForeignArchive()
{
    QFETCH(QString, command);
    SHEAF_REQUIRE_TOOL("lha");
    const QString work = m_dir->filePath(QStringLiteral("jlha"));
    const QByteArray text = QByteArray("jlha member line\n").repeated(300);
    writeFile(work + QStringLiteral("/keep.txt"), text);
    writeFile(work + QStringLiteral("/sub/inner.txt"), "inner");
    writeFile(work + QStringLiteral("/swap.txt"), "to be replaced");
    const QString archive = m_dir->filePath(QStringLiteral("foreign.lzh"));
    const ToolResult made = runTool(QStringLiteral("lha"),
        {command, archive, QStringLiteral("keep.txt"), QStringLiteral("sub/inner.txt"),
            QStringLiteral("swap.txt")},
        work);
    QVERIFY2(made.exitCode == 0, made.err.constData());

    const QString added = m_dir->filePath(QStringLiteral("added.lzh"));
    makeLzh(added.toStdString(),
        {entry(QStringLiteral("swap.txt"), "replaced"), entry(QStringLiteral("new.txt"), "new")},
        LzhMethod::Lh5, archive.toStdString());
    checkWithReaders(added,
        {{"keep.txt", text}, {"sub/inner.txt", "inner"}, {"swap.txt", "replaced"},
            {"new.txt", "new"}});
}

// "path=content" items to a map.
static std::map<std::string, QByteArray> tree(const QStringList &items)
{
    std::map<std::string, QByteArray> t;
    for (const QString &item : items)
        t[item.section(QLatin1Char('='), 0, 0).toStdString()]
            = item.section(QLatin1Char('='), 1).toUtf8();
    return t;
}

void TestLzhAdd::fallbackNamesStayUnique_data()
{
    QTest::addColumn<QStringList>("first"); // the archive added to
    QTest::addColumn<bool>("firstByJlha");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("exact"); // what bsdtar (Unicode names) extracts
    QTest::addColumn<QStringList>("fallback"); // what the code page 932 readers extract
    QTest::newRow("file named as a kept fallback")
        << QStringList {"café.txt=cafe"} << false << QStringList {"caf_.txt=plain"}
        << QStringList {"café.txt=cafe", "caf_.txt=plain"}
        << QStringList {"caf_.txt=cafe", "caf_~1.txt=plain"};
    QTest::newRow("folder named as a kept fallback")
        << QStringList {"dé/a.txt=a"} << false << QStringList {"d_/b.txt=b"}
        << QStringList {"dé/a.txt=a", "d_/b.txt=b"} << QStringList {"d_/a.txt=a", "d_~1/b.txt=b"};
    QTest::newRow("kept fallback folder reused")
        << QStringList {"dé/a.txt=a"} << false << QStringList {"dé/b.txt=b"}
        << QStringList {"dé/a.txt=a", "dé/b.txt=b"} << QStringList {"d_/a.txt=a", "d_/b.txt=b"};
    QTest::newRow("replaced by its exact path")
        << QStringList {"caf_.txt=plain", "café.txt=old"} << false << QStringList {"café.txt=new"}
        << QStringList {"caf_.txt=plain", "café.txt=new"}
        << QStringList {"caf_.txt=plain", "caf_~1.txt=new"};
    QTest::newRow("jlha folder, new fallback beside it")
        << QStringList {"d_/a.txt=a"} << true << QStringList {"dé/b.txt=b", "d_/c.txt=c"}
        << QStringList {"d_/a.txt=a", "dé/b.txt=b", "d_/c.txt=c"}
        << QStringList {"d_/a.txt=a", "d_~1/b.txt=b", "d_/c.txt=c"};
}

void TestLzhAdd::fallbackNamesStayUnique()
{
    QFETCH(QStringList, first);
    QFETCH(bool, firstByJlha);
    QFETCH(QStringList, added);
    QFETCH(QStringList, exact);
    QFETCH(QStringList, fallback);
    const QString v1 = m_dir->filePath(QStringLiteral("v1.lzh"));
    if (firstByJlha) {
        SHEAF_REQUIRE_TOOL("lha");
        const QString work = m_dir->filePath(QStringLiteral("jlha"));
        QStringList args = {QStringLiteral("a2"), v1};
        for (const auto &[path, content] : tree(first)) {
            writeFile(work + QLatin1Char('/') + QString::fromStdString(path), content);
            args << QString::fromStdString(path);
        }
        const ToolResult made = runTool(QStringLiteral("lha"), args, work);
        QVERIFY2(made.exitCode == 0, made.err.constData());
    } else {
        ArchiveEntries entries;
        for (const auto &[path, content] : tree(first))
            entries.push_back(entry(QString::fromStdString(path), content));
        makeLzh(v1.toStdString(), entries, LzhMethod::Lh5);
    }
    ArchiveEntries entries;
    for (const auto &[path, content] : tree(added))
        entries.push_back(entry(QString::fromStdString(path), content));
    const QString v2 = m_dir->filePath(QStringLiteral("v2.lzh"));
    makeLzh(v2.toStdString(), entries, LzhMethod::Lh5, v1.toStdString());

    for (const char *reader : {"bsdtar", "lhasa", "7zz", "unar", "lha"}) {
        const QString r = QString::fromLatin1(reader);
        if (!toolAvailable(r)) {
            if (inCi())
                QFAIL(qPrintable(QStringLiteral("reader missing in CI: ") + r));
            continue;
        }
        const QString dest = m_dir->filePath(QStringLiteral("out-") + r);
        const RemoveTreeLater cleanup(dest);
        if (r == QLatin1String("lha")) {
            QDir().mkpath(dest);
            QCOMPARE(runTool(r, {QStringLiteral("x"), v2}, dest).exitCode, 0);
        } else {
            const QString complaint = extractWith(r, v2, dest, QStringLiteral("shift_jis"));
            QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
        }
        const auto expected = tree(r == QLatin1String("bsdtar") ? exact : fallback);
        QVERIFY2(readRawTree(dest.toStdString()).files == expected, reader);
    }
}

void TestLzhAdd::refusesDamaged_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("cutTo");
    // A valid two-member archive is damaged: `damage` written at `at`
    // (-1: none, -3: at the second header), then the file cut to `cutTo`
    // bytes (negative: not cut; with at -2, that many past the second header).
    QTest::newRow("not LZH") << QByteArray("PK\x03\x04 not an lzh archive") << 0 << 24;
    QTest::newRow("empty file") << QByteArray() << -1 << 0;
    QTest::newRow("zeros") << QByteArray(64, '\0') << 0 << 64;
    QTest::newRow("cut in first header") << QByteArray() << -1 << 20;
    QTest::newRow("cut in first data") << QByteArray() << -1 << 80;
    QTest::newRow("cut in second header") << QByteArray() << -2 << 10;
    QTest::newRow("bad header CRC") << QByteArray("X") << 32 << -1;
    QTest::newRow("huge packed size") << QByteArray("\xFF\xFF\xFF\x7F") << 7 << -1;
    QTest::newRow("unknown level") << QByteArray("\x07") << 20 << -1;
    QTest::newRow("extended size 1") << QByteArray("\x01\x00") << 24 << -1;
    QTest::newRow("extended past header") << QByteArray("\xF0\x00") << 24 << -1;
    QTest::newRow("header size below base") << QByteArray("\x10\x00") << 0 << -1;
    QTest::newRow("not a method") << QByteArray("xxxxx") << 2 << -1;
    // at -3: at the second header. A zero there ends the archive for us, but
    // a reader that goes on finds the member the add would drop.
    QTest::newRow("data after the end marker") << QByteArray(1, '\0') << -3 << -1;
    // Cut where a member ends: no end marker, the members after it lost.
    QTest::newRow("cut at a member boundary") << QByteArray() << -2 << 0;
    // The header CRC's type byte changed: nothing checks the header then.
    QTest::newRow("level-2 header without its CRC") << QByteArray("\xFF") << 26 << -1;
    // at -4: jlha's level-1 archive of sub/one.txt, "sub" replaced by `damage`.
    QTest::newRow("level-1 folder name changed") << QByteArray("sux") << -4 << -1;
    // at -5: the first member's header made anew without a name.
    QTest::newRow("member without a name") << QByteArray() << -5 << -1;
}

void TestLzhAdd::refusesDamaged()
{
    QFETCH(QByteArray, damage);
    QFETCH(int, at);
    QFETCH(int, cutTo);
    SHEAF_REQUIRE_TOOL("7zz");
    const QString valid = m_dir->filePath(QStringLiteral("valid.lzh"));
    makeLzh(valid.toStdString(),
        {entry(QStringLiteral("one.txt"), QByteArray("first member ").repeated(20)),
            entry(QStringLiteral("two.txt"), "second")},
        LzhMethod::Lh5);
    QCOMPARE(runTool(QStringLiteral("7zz"), {QStringLiteral("t"), valid}).exitCode, 0);

    QByteArray bytes = readFile(valid);
    const std::vector<LzhMemberInfo> members = parseLzhMembers(bytes.toStdString(), "v");
    const qsizetype second = qsizetype(members[1].offset);
    if (at == -4) {
        SHEAF_REQUIRE_TOOL("lha");
        const QString work = m_dir->filePath(QStringLiteral("level1"));
        writeFile(work + QStringLiteral("/sub/one.txt"), "first member");
        QCOMPARE(
            runTool(QStringLiteral("lha"),
                {QStringLiteral("a1o5"), QStringLiteral("l1.lzh"), QStringLiteral("sub/one.txt")},
                work)
                .exitCode,
            0);
        bytes = readFile(work + QStringLiteral("/l1.lzh"));
        bytes.replace(bytes.indexOf("sub"), damage.size(), damage);
    }
    if (at == -5) {
        LzhHeaderFields f;
        f.method = members[0].method;
        f.compressedSize = members[0].dataSize;
        f.originalSize = members[0].originalSize;
        f.dataCrc = members[0].crc16;
        const std::vector<uint8_t> header = buildLzhHeader(f);
        bytes.replace(0, qsizetype(members[0].dataOffset),
            QByteArray(reinterpret_cast<const char *>(header.data()), qsizetype(header.size())));
    }
    if (at >= 0)
        bytes.replace(at, damage.size(), damage);
    if (at == -3)
        bytes.replace(second, damage.size(), damage);
    if (at == -2)
        cutTo += int(second);
    if (cutTo >= 0)
        bytes.truncate(cutTo);
    const QString damaged = m_dir->filePath(QStringLiteral("damaged.lzh"));
    writeFile(damaged, bytes);

    const QString out = m_dir->filePath(QStringLiteral("out.lzh"));
    try {
        makeLzh(out.toStdString(), {entry(QStringLiteral("three.txt"), "3")}, LzhMethod::Lh5,
            damaged.toStdString());
        QFAIL("a damaged archive was accepted");
    } catch (const ArchiveError &e) {
        QCOMPARE(e.code(), ErrorCode::NotAnArchive);
        QVERIFY2(QString::fromStdString(e.what()).contains(QLatin1String("damaged.lzh")), e.what());
    }
    QCOMPARE(readFile(damaged), bytes); // untouched
    const ToolResult tested = runTool(sheafArc(), {"lzh", "t", damaged});
    QVERIFY2(tested.exitCode == 1 && !tested.err.isEmpty(), tested.out.constData());
}

void TestLzhAdd::survivesMutations()
{
    // Random damage must end in a clean refusal or a member list whose
    // ranges lie inside the file, never in a crash or an over-read.
    const QString valid = m_dir->filePath(QStringLiteral("valid.lzh"));
    makeLzh(valid.toStdString(),
        {entry(QStringLiteral("a/one.txt"), QByteArray("first member ").repeated(40)),
            entry(QStringLiteral("日本語.txt"), "second"),
            entry(QStringLiteral("three.bin"), randomBytes(3000, 9))},
        LzhMethod::Lh6);
    const QByteArray original = readFile(valid);
    quint32 x = 4242;
    auto next = [&x]() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    int refused = 0;
    for (int round = 0; round < 5000; ++round) {
        QByteArray b = original;
        const int edits = 1 + int(next() % 4);
        for (int k = 0; k < edits; ++k)
            b[qsizetype(next() % quint32(b.size()))] = char(next());
        if (next() % 4 == 0)
            b.truncate(qsizetype(next() % quint32(b.size())));
        try {
            for (const LzhMemberInfo &m : parseLzhMembers(b.toStdString(), "mutated"))
                QVERIFY(m.offset + m.totalSize <= uint64_t(b.size()));
        } catch (const ArchiveError &e) {
            QCOMPARE(e.code(), ErrorCode::NotAnArchive);
            ++refused;
        }
    }
    QVERIFY(refused > 1000);
}

void TestLzhAdd::failsWithReason_data()
{
    QTest::addColumn<QString>("storedPath");
    QTest::addColumn<bool>("removeSource");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reasonHas");
    QTest::newRow("source gone") << "gone.txt" << true << false << int(ErrorCode::ReadFailed)
                                 << "gone.txt";
    QTest::newRow("cancelled") << "c.txt" << false << true << int(ErrorCode::Cancelled)
                               << QStringLiteral("中止しました");
    QTest::newRow("path too long") << QString(1100, QLatin1Char('p')) << false << false
                                   << int(ErrorCode::TooLarge) << QStringLiteral("長すぎます");
}

void TestLzhAdd::failsWithReason()
{
    QFETCH(QString, storedPath);
    QFETCH(bool, removeSource);
    QFETCH(bool, cancel);
    QFETCH(int, code);
    QFETCH(QString, reasonHas);
    ArchiveEntry e = entry(QStringLiteral("file.txt"), "some content");
    e.storedPath = storedPath.toStdString();
    if (removeSource) {
        const fs::path gone = e.source.parent_path() / "gone.txt";
        e.source = gone;
    }
    const std::atomic<bool> flag {cancel};
    const QString path = m_dir->filePath(QStringLiteral("fail.lzh"));
    OutputFile out(path.toStdString());
    LzhOptions options;
    options.cancel = &flag;
    try {
        writeLzhArchive({}, {}, {e}, out, options);
        QFAIL("no failure");
    } catch (const ArchiveError &err) {
        QCOMPARE(int(err.code()), code);
        QVERIFY2(QString::fromUtf8(err.what()).contains(reasonHas), err.what());
    }
}

QTEST_GUILESS_MAIN(TestLzhAdd)
#include "test_lzh_add.moc"
