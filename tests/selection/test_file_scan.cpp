// The folder scan on real trees: what matches, where it descends, what it
// skips, and how it reports folders it cannot list.

#include "selection/file_scan.h"
#include "selection/selection_texts.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace sheaf;

namespace {

// "dir|name" for every entry, relative to root, in list order.
QStringList entries(const CandidateList &list, const QString &root)
{
    QStringList out;
    for (int i = 1; i <= list.FileCount; ++i) {
        QString dir = list.FileDir[i];
        if (dir.startsWith(root))
            dir = u'~' + dir.mid(root.size());
        out << dir + u'|' + list.FileName[i];
    }
    return out;
}

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

// The disk, with chosen folders made unlistable and chosen paths made to
// vanish before they are examined.
class RiggedListing : public DiskFolderListing
{
public:
    QSet<QString> unlistable;
    QSet<QString> vanishing;
    QStringList listed;
    std::function<void(const QString &)> afterListing;

    bool list(const QString &folder, QVector<FolderEntry> &out) override
    {
        listed << folder;
        if (unlistable.contains(folder))
            return false;
        if (!DiskFolderListing::list(folder, out))
            return false;
        if (afterListing)
            afterListing(folder);
        for (FolderEntry &e : out) {
            if (vanishing.contains(folder + u'/' + e.name))
                e.kind = EntryKind::Unknown; // as a link would come
        }
        return true;
    }
    EntryKind examine(const QString &path) override
    {
        return vanishing.contains(path) ? EntryKind::Skip : DiskFolderListing::examine(path);
    }
};

// A folder of generated names, never touching the disk.
class GeneratedListing : public FolderListing
{
public:
    int files = 0;
    QString suffix;
    bool list(const QString &, QVector<FolderEntry> &out) override
    {
        out.clear();
        for (int i = 0; i < files; ++i)
            out.append({QStringLiteral("f%1").arg(i) + suffix, EntryKind::File});
        return true;
    }
    EntryKind examine(const QString &) override { return EntryKind::Skip; }
};

class CountingProgress : public ScanProgress
{
public:
    QVector<int> counts;
    void fileCountChanged(int n) override { counts << n; }
};

} // namespace

class TestFileScan : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_tmp;
    QString m_root;

    void make(const QStringList &paths)
    {
        for (const QString &p : paths) {
            if (p.endsWith(u'/'))
                QVERIFY(QDir().mkpath(m_root + u'/' + p));
            else
                test::writeFile(m_root + u'/' + p, "x");
        }
    }

private slots:
    void init()
    {
        QVERIFY(m_tmp.isValid());
        m_root = m_tmp.path() + QStringLiteral("/root");
        QDir(m_root).removeRecursively();
        QVERIFY(QDir().mkpath(m_root));
    }

    void matching_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("flag");
        QTest::addColumn<QStringList>("expected");

        const QStringList mixed = {"a.txt", "B.TXT", "c.Txt", "atxt", "a.txt.bak", "x.txt/", "t",
            "sub/d.txt", "sub/deeper/e.TXT"};
        QTest::newRow("letter case ignored, subfolders off")
            << mixed << ".TXT" << 0 << QStringList {"~/|B.TXT", "~/|a.txt", "~/|c.Txt"};
        QTest::newRow("extension typed in lower case")
            << mixed << ".txt" << 0 << QStringList {"~/|B.TXT", "~/|a.txt", "~/|c.Txt"};
        QTest::newRow("subfolders on: every depth with its own folder")
            << mixed << ".TXT" << 1
            << QStringList {
                   "~/sub/deeper/|e.TXT", "~/sub/|d.txt", "~/|B.TXT", "~/|a.txt", "~/|c.Txt"};
        QTest::newRow("greyed switch (2) does not descend")
            << mixed << ".TXT" << 2 << QStringList {"~/|B.TXT", "~/|a.txt", "~/|c.Txt"};
        QTest::newRow("pagefile.sys skipped in any case") << QStringList {"PAGEFILE.SYS",
            "sub/pagefile.sys", "sub/PageFile.Sys", "swap.sys",
            "xpagefile.sys"} << ".SYS" << 1 << QStringList {"~/|swap.sys", "~/|xpagefile.sys"};
        QTest::newRow("hidden files and folders neither listed nor entered")
            << QStringList {".hidden.txt", ".txt", ".cache/in.txt", "seen.txt", "sub/.h.txt"}
            << ".txt" << 1 << QStringList {"~/|seen.txt"};
        QTest::newRow("name shorter than the extension") << QStringList {"t", "xt", ".HTML.bak/",
            "a.HTML"} << ".HTML" << 1 << QStringList {"~/|a.HTML"};
        QTest::newRow("Japanese names kept as they are")
            << QStringList {"資料/議事録（第00001回）.txt", "資料/ﾃｽﾄ_1.TXT", "写真/見積〜2.txt"}
            << ".txt" << 1
            << QStringList {
                   "~/写真/|見積〜2.txt", "~/資料/|議事録（第00001回）.txt", "~/資料/|ﾃｽﾄ_1.TXT"};
        QTest::newRow("a letter whose lower case is longer") << QStringList {
            "d.\u0130", "e.i", "f.I"} << ".\u0130" << 0 << QStringList {"~/|d.\u0130"};
        QTest::newRow("nothing matches")
            << QStringList {"a.doc", "sub/b.doc"} << ".txt" << 1 << QStringList {};
    }

    void matching()
    {
        QFETCH(QStringList, tree);
        QFETCH(QString, extension);
        QFETCH(int, flag);
        QFETCH(QStringList, expected);
        make(tree);
        CandidateList list;
        CountingProgress progress;
        const ScanResult r = FileScan(m_root, flag, extension, list, &progress);
        QCOMPARE(sorted(entries(list, m_root)), expected);
        QVERIFY(!r.selectionFolderUnreadable);
        QCOMPARE(r.skippedFolders, 0);
        QVERIFY(!r.listFull);
        for (int i = 1; i <= list.FileCount; ++i)
            QCOMPARE(list.FileMark[i], QStringLiteral("する"));
        // The count runs up by one per file.
        QCOMPARE(progress.counts.size(), list.FileCount);
        for (int i = 0; i < progress.counts.size(); ++i)
            QCOMPARE(progress.counts[i], i + 1);
    }

    // Ctrl-C in the console: the scan ends before the next folder is listed.
    void stopEndsTheScan()
    {
        make({"a.txt", "sub/b.txt", "sub/deeper/c.txt"});
        struct StopAfterFirst : ScanProgress
        {
            mutable int asked = 0;
            void fileCountChanged(int) override { }
            bool stopRequested() const override { return asked++ > 0; }
        } progress;
        CandidateList list;
        RiggedListing disk;
        FileScan(m_root, 1, ".txt", list, &progress, disk);
        QCOMPARE(disk.listed, QStringList {m_root});
    }

    void subfoldersOffEntersNoFolder()
    {
        make({"a.txt", "sub/b.txt", "sub/deeper/c.txt"});
        CandidateList list;
        RiggedListing disk;
        FileScan(m_root, 0, ".txt", list, nullptr, disk);
        QCOMPARE(disk.listed, QStringList {m_root});
    }

    void trailingSeparatorIsDoubled()
    {
        make({"a.txt", "sub/b.txt"});
        CandidateList list;
        FileScan(m_root + u'/', 1, ".txt", list);
        QCOMPARE(sorted(entries(list, m_root)), (QStringList {"~//sub/|b.txt", "~//|a.txt"}));
    }

    void fullPathNamesTheFile()
    {
        make({"sub/b.txt"});
        CandidateList list;
        FileScan(m_root, 1, ".txt", list);
        QCOMPARE(list.FileCount, 1);
        QVERIFY(QFile::exists(list.fullPath(1)));
        QCOMPARE(list.fullPath(1), m_root + QStringLiteral("/sub/b.txt"));
    }

    void symbolicLinks()
    {
        make({"real.txt", "sub/in.txt"});
        // A loop back to the top, a link to a folder, a link to a file and a
        // dangling link.
        QVERIFY(QFile::link(m_root, m_root + QStringLiteral("/sub/loop")));
        QVERIFY(
            QFile::link(m_root + QStringLiteral("/sub"), m_root + QStringLiteral("/alias.txt")));
        QVERIFY(QFile::link(
            m_root + QStringLiteral("/real.txt"), m_root + QStringLiteral("/sub/link.txt")));
        QVERIFY(QFile::link(
            m_root + QStringLiteral("/gone.txt"), m_root + QStringLiteral("/dangling.txt")));
        CandidateList list;
        const ScanResult r = FileScan(m_root, 1, ".txt", list);
        QCOMPARE(sorted(entries(list, m_root)),
            (QStringList {"~/sub/|in.txt", "~/sub/|link.txt", "~/|real.txt"}));
        QCOMPARE(r.skippedFolders, 0);
    }

    // A pipe would block whoever opens it; like a device it counts as a
    // system entry.
    void pipeIsNotListed()
    {
        make({"a.txt"});
        QCOMPARE(
            ::mkfifo(QFile::encodeName(m_root + QStringLiteral("/pipe.txt")).constData(), 0600), 0);
        CandidateList list;
        FileScan(m_root, 1, ".txt", list);
        QCOMPARE(entries(list, m_root), QStringList {"~/|a.txt"});
    }

    void selectionFolderThatCannotBeListed_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("refusedLink");
        QTest::newRow("missing") << "nowhere"
                                 << "";
        QTest::newRow("a file") << "plain.txt"
                                << "";
        // That user could point it at root's files for a run as root.
        QTest::newRow("another user's link on the way") << "foreign/sub"
                                                        << "foreign";
    }

    void selectionFolderThatCannotBeListed()
    {
        QFETCH(QString, relative);
        QFETCH(QString, refusedLink);
        make({"plain.txt", "real/sub/a.txt"});
        if (!refusedLink.isEmpty()) {
            if (::geteuid() != 0)
                QSKIP("a link owned by another user needs root to make");
            const QByteArray link = QFile::encodeName(m_root + u'/' + refusedLink);
            QCOMPARE(::symlink("real", link.constData()), 0);
            QCOMPARE(::lchown(link.constData(), 65534, 65534), 0);
            refusedLink = m_root + u'/' + refusedLink;
        }
        CandidateList list;
        const ScanResult r = FileScan(m_root + u'/' + relative, 1, ".txt", list);
        QVERIFY(r.selectionFolderUnreadable);
        QCOMPARE(list.FileCount, 0);
        QCOMPARE(r.refusedLink, refusedLink);
        const QString message
            = selection_texts::unreadableFolderMessage(m_root + u'/' + relative, r.refusedLink);
        QCOMPARE(message.count(u'\r'), 1);
        QVERIFY(message.endsWith(u'\r' + m_root + u'/' + relative));
        QCOMPARE(message.contains(QStringLiteral("他のユーザーのシンボリックリンクはたどりません: ")
                     + refusedLink),
            !refusedLink.isEmpty());
    }

    // Swapped for another user's link once listed: its subfolders are not
    // looked for behind the link.
    void selectionFolderSwappedForALink()
    {
        if (::geteuid() != 0)
            QSKIP("a link owned by another user needs root to make");
        make({"sel/a.txt", "sel/sub/b.txt", "secret/sub/s.txt"});
        const QString sel = m_root + QStringLiteral("/sel");
        RiggedListing disk;
        disk.afterListing = [&](const QString &folder) {
            if (folder != sel)
                return;
            QVERIFY(QFile::rename(sel, sel + QStringLiteral(".orig")));
            const QByteArray link = QFile::encodeName(sel);
            QCOMPARE(::symlink("secret", link.constData()), 0);
            QCOMPARE(::lchown(link.constData(), 65534, 65534), 0);
        };
        CandidateList list;
        const ScanResult r = FileScan(sel, 1, ".txt", list, nullptr, disk);
        QCOMPARE(entries(list, sel), QStringList {"~/|a.txt"});
        QCOMPARE(r.skippedFolders, 1);
    }

    // Through the seam, so that it holds when the tests run as root.
    void unlistableSubfolderIsSkippedAndCounted()
    {
        make({"a.txt", "locked/b.txt", "locked/inner/c.txt", "open/d.txt", "open/shut/e.txt"});
        RiggedListing disk;
        disk.unlistable
            = {m_root + QStringLiteral("/locked"), m_root + QStringLiteral("/open/shut")};
        CandidateList list;
        const ScanResult r = FileScan(m_root, 1, ".txt", list, nullptr, disk);
        QCOMPARE(sorted(entries(list, m_root)), (QStringList {"~/open/|d.txt", "~/|a.txt"}));
        QVERIFY(!r.selectionFolderUnreadable);
        QCOMPARE(r.skippedFolders, 2);
    }

    void unreadableSubfolderOnDisk()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every folder; the seam case above covers this");
        make({"a.txt", "locked/b.txt"});
        const QString locked = m_root + QStringLiteral("/locked");
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        CandidateList list;
        const ScanResult r = FileScan(m_root, 1, ".txt", list);
        QFile::setPermissions(
            locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(entries(list, m_root), QStringList {"~/|a.txt"});
        QCOMPARE(r.skippedFolders, 1);
    }

    void fileVanishedBeforeExamined()
    {
        make({"a.txt", "b.txt", "sub/c.txt"});
        RiggedListing disk;
        disk.vanishing = {m_root + QStringLiteral("/b.txt"), m_root + QStringLiteral("/sub")};
        CandidateList list;
        const ScanResult r = FileScan(m_root, 1, ".txt", list, nullptr, disk);
        QCOMPARE(entries(list, m_root), QStringList {"~/|a.txt"});
        QCOMPARE(r.skippedFolders, 0);
    }

    void capacity_data()
    {
        QTest::addColumn<int>("matching");
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("full");
        QTest::newRow("exactly 30000") << 30000 << 30000 << false;
        QTest::newRow("one too many") << 30001 << 30000 << true;
        QTest::newRow("far beyond, one folder of 45000") << 45000 << 30000 << true;
    }

    void capacity()
    {
        QFETCH(int, matching);
        QFETCH(int, stored);
        QFETCH(bool, full);
        GeneratedListing disk;
        disk.files = matching;
        disk.suffix = QStringLiteral(".txt");
        CandidateList list;
        CountingProgress progress;
        const ScanResult r = FileScan(QStringLiteral("/gen"), 1, ".txt", list, &progress, disk);
        QCOMPARE(list.FileCount, stored);
        QCOMPARE(r.listFull, full);
        QCOMPARE(list.FileMark.size(), CandidateList::Capacity + 1); // nothing beyond slot 30000
        QCOMPARE(list.FileName[stored], QStringLiteral("f%1.txt").arg(stored - 1));
        QCOMPARE(progress.counts.last(), stored);
        QCOMPARE(
            selection_texts::finalStatus(list.FileCount, r).startsWith("30000件、抽出しました"),
            true);
        QCOMPARE(selection_texts::finalStatus(list.FileCount, r).contains(u'（'), full);
    }

    void folderOfManyEntriesIsListedWhole()
    {
        // More entries than the old per-folder table held: the matches at the end count too.
        class Listing : public FolderListing
        {
        public:
            bool list(const QString &, QVector<FolderEntry> &out) override
            {
                for (int i = 0; i < 40000; ++i)
                    out.append({QStringLiteral("n%1.%2").arg(i).arg(i >= 39990 ? "lzh" : "dat"),
                        EntryKind::File});
                return true;
            }
            EntryKind examine(const QString &) override { return EntryKind::Skip; }
        } disk;
        CandidateList list;
        FileScan(QStringLiteral("/gen"), 0, ".LZH", list, nullptr, disk);
        QCOMPARE(list.FileCount, 10);
    }

    void finalTexts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("countLabel");
        QTest::newRow("none") << 0 << 0 << "抽出データは有りませんでした"
                              << "";
        QTest::newRow("1234") << 1234 << 0 << "1234件、抽出しました"
                              << "(1,234)";
        QTest::newRow("skipped folders")
            << 7 << 2 << "7件、抽出しました（読めないフォルダ2件を飛ばしました）"
            << "(7)";
        QTest::newRow("none found, a folder skipped")
            << 0 << 1 << "抽出データは有りませんでした（読めないフォルダ1件を飛ばしました）"
            << "";
    }

    void finalTexts()
    {
        QFETCH(int, count);
        QFETCH(int, skipped);
        QFETCH(QString, status);
        QFETCH(QString, countLabel);
        ScanResult r;
        r.skippedFolders = skipped;
        QCOMPARE(selection_texts::finalStatus(count, r), status);
        QCOMPARE(selection_texts::finalCount(count), countLabel);
    }
};

QTEST_GUILESS_MAIN(TestFileScan)
#include "test_file_scan.moc"
