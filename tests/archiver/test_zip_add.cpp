// Adding to a ZIP keeps the old members exactly, in every locale: sheaf-arc
// runs as a child process under C, POSIX, C.UTF-8 and ja_JP.UTF-8 and adds
// to a ZIP written here byte by byte (code page 932 names without the UTF-8
// flag, as Japanese Windows writes them, an executable, a member named "//",
// a comment) and to one that sheaf-arc wrote itself. unzip, 7zz and bsdtar
// must extract the kept members exactly as they extracted them from the old
// archive. Times beyond what the fields hold come back clamped.

#include "archiver/archive_error.h"
#include "archiver/zip/zip_kept_members.h"
#include "engine_test_support.h"
#include "lzh_test_util.h"

#include <QTest>

#include <clocale>
#include <locale.h>
#include <zlib.h>

using namespace sheaf::test;

namespace {

struct RawMember
{
    QByteArray name; // as stored
    QByteArray data;
    quint16 flags = 0; // 0x0800: the name is UTF-8
    quint32 mode = 0100644;
};

void put(QByteArray &b, quint64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b += char(v >> (8 * i));
}

// A stored-method ZIP as another writer makes it; `locals` gets each
// member's local record (header and data).
QByteArray makeZip(
    const QList<RawMember> &members, const QByteArray &comment, QList<QByteArray> &locals)
{
    QByteArray out, central;
    for (const RawMember &m : members) {
        const quint32 crc
            = crc32(0, reinterpret_cast<const Bytef *>(m.data.constData()), uInt(m.data.size()));
        QByteArray common; // version needed .. name length, shared by both records
        put(common, 20, 2);
        put(common, m.flags, 2);
        put(common, 0, 2); // stored
        put(common, 0x6000, 2); // 12:00
        put(common, (2020 - 1980) << 9 | 5 << 5 | 6, 2); // 2020-05-06
        put(common, crc, 4);
        put(common, quint64(m.data.size()), 4);
        put(common, quint64(m.data.size()), 4);
        put(common, quint64(m.name.size()), 2);
        put(common, 0, 2); // extra
        QByteArray local = QByteArray("PK\x03\x04", 4) + common + m.name + m.data;
        central += QByteArray("PK\x01\x02", 4);
        put(central, 3 << 8 | 20, 2); // made on Unix
        central += common;
        put(central, 0, 2 + 2 + 2); // comment, disk, internal attributes
        put(central, quint64(m.mode) << 16, 4);
        put(central, quint64(out.size()), 4);
        central += m.name;
        locals << local;
        out += local;
    }
    const quint64 at = quint64(out.size());
    out += central;
    out += QByteArray("PK\x05\x06", 4);
    put(out, 0, 4);
    put(out, quint64(members.size()), 2);
    put(out, quint64(members.size()), 2);
    put(out, quint64(central.size()), 4);
    put(out, at, 4);
    put(out, quint64(comment.size()), 2);
    return out + comment;
}

ToolResult runArc(const QString &locale, const QStringList &args)
{
    return runTool(QStringLiteral("env"),
        QStringList {"LC_ALL=" + locale, "LANG=" + locale, sheafArc(), "zip"} + args);
}

bool localeAvailable(const QString &name)
{
    locale_t l = newlocale(LC_ALL_MASK, name.toLatin1().constData(), locale_t(0));
    if (l)
        freelocale(l);
    return l != locale_t(0);
}

struct Extracted
{
    int exitCode = -1;
    RawTree tree;
};

Extracted extract(const QString &reader, const QString &archive, const QString &dir)
{
    QDir().mkpath(dir);
    QString workDir;
    const ToolResult r = runTool(reader, readerArguments(reader, archive, dir, workDir), workDir);
    return {r.exitCode, readRawTree(dir.toStdString())};
}

} // namespace

class TestZipAdd : public QObject
{
    Q_OBJECT

private slots:
    void keepsOldMembers_data();
    void keepsOldMembers();
    void clampsTimes_data();
    void clampsTimes();
    void survivesDamagedDirectory();
    void refusesWhatWouldDropMembers_data();
    void refusesWhatWouldDropMembers();
    void replacesAnUnreadableMember();
};

void TestZipAdd::keepsOldMembers_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("foreign"); // the old ZIP: written here, or by sheaf-arc
    for (const char *locale : {"C", "POSIX", "C.UTF-8", "ja_JP.UTF-8"})
        for (bool foreign : {true, false})
            QTest::addRow("%s, %s", locale, foreign ? "foreign" : "own")
                << QString::fromLatin1(locale) << foreign;
}

void TestZipAdd::keepsOldMembers()
{
    QFETCH(QString, locale);
    QFETCH(bool, foreign);
    QVERIFY2(QFileInfo::exists(sheafArc()), "build the sheaf-arc target first");
    if (!localeAvailable(locale)) {
        if (inCi())
            QFAIL(qPrintable("locale missing in CI (scripts/setup makes it): " + locale));
        QSKIP(qPrintable("locale not installed: " + locale));
    }
    QTemporaryDir tmp;
    const QString old = tmp.filePath("old.zip");
    const QByteArray comment = "old comment";
    QList<QByteArray> locals;
    if (foreign) {
        writeFile(old,
            makeZip({{"\x93\xFA\x96\x7B.txt", "sjis name, executable", 0, 0100755},
                        {"caf\xC3\xA9.txt", "utf-8 name", 0x0800}, {"//", ""},
                        {"keep.txt", "kept", 0, 0100600}, {"dos\\name.txt", "a DOS separator"},
                        {"swap.txt", "to be replaced"}},
                comment, locals));
    } else {
        writeFile(tmp.filePath("own/日本語.txt"), "japanese");
        writeFile(tmp.filePath("own/café.txt"), "cafe");
        writeFile(tmp.filePath("own/swap.txt"), "to be replaced");
        const ToolResult made = runArc("C.UTF-8", {old, tmp.filePath("own/"), "*.*"});
        QVERIFY2(made.exitCode == 0, made.err.constData());
    }
    writeFile(tmp.filePath("new/swap.txt"), "replaced");
    writeFile(tmp.filePath("new/新しい.txt"), "new");
    const QString added = tmp.filePath("added.zip");
    QVERIFY(QFile::copy(old, added));
    const ToolResult run = runArc(locale, {added, tmp.filePath("new/"), "swap.txt", "新しい.txt"});
    QVERIFY2(run.exitCode == 0, run.err.constData());

    const QByteArray bytes = readFile(added);
    for (int i = 0; i + 1 < locals.size(); ++i) // every member but swap.txt, as it was
        QVERIFY2(bytes.contains(locals[i]), qPrintable("member changed: " + QString::number(i)));
    if (foreign)
        QVERIFY(bytes.endsWith(comment));

    for (const QString reader : {"unzip", "7zz", "bsdtar"}) {
        if (!toolAvailable(reader)) {
            if (inCi())
                QFAIL(qPrintable("reader missing in CI: " + reader));
            continue;
        }
        const RemoveTreeLater cleanBefore(tmp.filePath("before-" + reader)),
            cleanAfter(tmp.filePath("after-" + reader)); // names QDir cannot remove
        const Extracted before = extract(reader, old, tmp.filePath("before-" + reader));
        const Extracted after = extract(reader, added, tmp.filePath("after-" + reader));
        QVERIFY2(after.exitCode == before.exitCode, qPrintable(reader));
        RawTree expected = before.tree;
        expected.files["swap.txt"] = "replaced";
        expected.files["新しい.txt"] = "new";
        QVERIFY2(after.tree.files == expected.files, qPrintable(reader));
        for (const auto &[path, mode] : before.tree.modes)
            if (path != "swap.txt")
                QVERIFY2(
                    after.tree.modes.at(path) == mode, qPrintable(reader + ": " + path.c_str()));
    }
}

void TestZipAdd::clampsTimes_data()
{
    QTest::addColumn<qint64>("mtime");
    QTest::addColumn<qint64>("expected"); // as every reader restores it
    QTest::newRow("1969-12-31") << Q_INT64_C(-86400) << Q_INT64_C(0);
    QTest::newRow("2100-01-01") << Q_INT64_C(4102444800) << Q_INT64_C(4102444800);
    QTest::newRow("2200-01-01") << Q_INT64_C(7258118400) << Q_INT64_C(4294967295);
}

void TestZipAdd::clampsTimes()
{
    QFETCH(qint64, mtime);
    QFETCH(qint64, expected);
    QTemporaryDir tmp;
    const QString file = tmp.filePath("src/t.txt");
    writeFile(file, "time");
    setTreeTime(tmp.filePath("src"), QDateTime::fromSecsSinceEpoch(mtime));
    const QString archive = tmp.filePath("t.zip");
    const auto result = runLine(sheaf::archiver::ArchiverKind::Zip,
        '"' + archive + "\" \"" + tmp.filePath("src/") + "\" t.txt");
    QVERIFY2(result.ok(), result.reason.c_str());
    for (const QString reader : {"unzip", "7zz", "bsdtar"}) {
        SHEAF_REQUIRE_TOOL(reader);
        const Extracted out = extract(reader, archive, tmp.filePath("out-" + reader));
        QCOMPARE(out.exitCode, 0);
        QCOMPARE(out.tree.mtimes.at("t.txt"), expected);
    }
}

void TestZipAdd::survivesDamagedDirectory()
{
    // Random damage to an old archive ends in a clean refusal or in members
    // that lie one after the other inside the file: never a crash, an
    // over-read or a range an add would copy from outside the file.
    QList<QByteArray> locals;
    const QByteArray zip = makeZip({{"a.txt", "first member"}, {"\x93\xFA.txt", "second"},
                                       {"c/", ""}, {"d.bin", QByteArray(300, 'd')}},
        "comment", locals);
    quint32 x = 2024;
    auto next = [&x]() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    int refused = 0;
    for (int round = 0; round < 4000; ++round) {
        QByteArray b = zip;
        for (int k = 1 + int(next() % 3); k > 0; --k)
            b[qsizetype(next() % quint32(b.size()))] = char(next());
        if (next() % 5 == 0)
            b.truncate(qsizetype(next() % quint32(b.size())));
        try {
            const std::vector<uint8_t> bytes(b.begin(), b.end());
            uint64_t end = 0;
            for (const auto &m : sheaf::archiver::parseZipDirectory(bytes, "damaged").members) {
                QVERIFY(m.offset >= end && m.length <= uint64_t(b.size()) - m.offset);
                QVERIFY(m.offsetField + (m.wideOffset ? 8 : 4) <= m.central.size());
                end = m.offset + m.length;
            }
        } catch (const sheaf::archiver::ArchiveError &e) {
            QCOMPARE(e.code(), sheaf::archiver::ErrorCode::NotAnArchive);
            ++refused;
        }
    }
    QVERIFY(refused > 500);
}

// Directories that other readers take whole but whose members an add would
// not all find: refused, so that nothing is dropped.
void TestZipAdd::refusesWhatWouldDropMembers_data()
{
    QTest::addColumn<QByteArray>("zip");
    QList<QByteArray> locals;
    const QList<RawMember> two = {{"a.txt", "first"}, {"b.txt", "second"}};
    QByteArray wrapped = makeZip(two, {}, locals);
    wrapped[wrapped.size() - 12] = 1; // the count on this disk and in all, as if 65537
    wrapped[wrapped.size() - 14] = 1;
    QTest::newRow("count wrapped past 65535") << wrapped;
    const QByteArray emptyEnd = QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0');
    QTest::newRow("an end record in the comment") << makeZip(two, emptyEnd, locals);
    QByteArray local = makeZip(two, {}, locals);
    local[18] = char(local[18] + 1); // the first member's packed size
    QTest::newRow("local header disagrees with the directory") << local;
    // A kept member whose local header says other than its central record.
    const qsizetype central = makeZip(two, {}, locals).indexOf("PK\x01\x02");
    for (auto [row, at, value] :
        {std::tuple {"local flags differ", 6, 0x08}, std::tuple {"local method differs", 8, 8},
            std::tuple {"local name differs", 30, int('A')},
            std::tuple {"central record marked encrypted", int(central) + 8, 1}}) {
        QByteArray changed = makeZip(two, {}, locals);
        changed[at] = char(value);
        QTest::newRow(row) << changed;
    }
}

void TestZipAdd::refusesWhatWouldDropMembers()
{
    QFETCH(QByteArray, zip);
    try {
        sheaf::archiver::parseZipDirectory(std::vector<uint8_t>(zip.begin(), zip.end()), "old");
        QFAIL("taken");
    } catch (const sheaf::archiver::ArchiveError &e) {
        QCOMPARE(e.code(), sheaf::archiver::ErrorCode::NotAnArchive);
    }
}

// Kept members must be readable; a member the add replaces need not be.
void TestZipAdd::replacesAnUnreadableMember()
{
    SHEAF_REQUIRE_TOOL("unzip");
    QTemporaryDir tmp;
    QList<QByteArray> locals;
    QByteArray zip = makeZip({{"keep.txt", "kept"}, {"swap.txt", "damaged"}}, {}, locals);
    zip[locals[0].size() + locals[1].size() - 1] = 'X'; // swap.txt's last byte: its CRC fails
    const QString archive = tmp.filePath("old.zip");
    writeFile(archive, zip);
    writeFile(tmp.filePath("new/swap.txt"), "replaced");
    const ToolResult run = runArc("C.UTF-8", {archive, tmp.filePath("new/"), "swap.txt"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(runTool("unzip", {"-tq", archive}).exitCode, 0);
    QCOMPARE(runTool("unzip", {"-p", archive, "swap.txt"}).out, QByteArray("replaced"));
}

QTEST_GUILESS_MAIN(TestZipAdd)
#include "test_zip_add.moc"
