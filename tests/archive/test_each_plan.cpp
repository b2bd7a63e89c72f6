// One archive per item, planned: the archive names, what is left out or
// refused, the clashes and the step that avoids them, and the order of
// items that meet, row by row over one tree.

#include "archive/each_plan.h"
#include "archive/each_run.h"
#include "archiver/fault_injection.h"
#include "base/platform.h"
#include "selection/name_text.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace sheaf;

class TestEachPlan : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void names_data();
    void names();
    void plan_data();
    void plan();
    void changedBeforeItsTurn_data();
    void changedBeforeItsTurn();
    // QDir cannot name bytes outside UTF-8, so QTemporaryDir could not remove them.
    void cleanupTestCase() { std::filesystem::remove_all(m_tmp.path().toStdString()); }

private:
    QTemporaryDir m_tmp;
};

void TestEachPlan::initTestCase()
{
    const QString d = m_tmp.filePath("d");
    for (const char *f : {"報告書.docx", "Makefile", ".bashrc", "a.txt", "a.pdf", "a.zip",
             "写真/x.jpg", "写真/sub/y.jpg", "v1.2/z", "fold*er/f", "star*.txt", "q\"uote.txt",
             "chain/c", "chain.zip", "chain.zip.zip"})
        test::writeFile(d + u'/' + QString::fromUtf8(f), "x");
    test::writeFile(m_tmp.filePath("e/a.txt"), "e");
    test::writeFile(m_tmp.filePath("f/a.txt"), "f");
    QCOMPARE(::symlink("../d/a.zip", QFile::encodeName(m_tmp.filePath("f/a.zip")).constData()), 0);
    QDir().mkpath(m_tmp.filePath("out"));
    std::ofstream(QFile::encodeName(d).toStdString() + "/bad\xFF") << "x";
    const auto at = [&](const char *name) {
        return QFile::encodeName(d + u'/' + QLatin1String(name));
    };
    QCOMPARE(::mkfifo(at("pipe").constData(), 0600), 0);
    QCOMPARE(::symlink("nowhere", at("dangling").constData()), 0);
    QCOMPARE(::symlink("写真", at("dirlink").constData()), 0);
    QCOMPARE(::symlink("a.txt", at("filelink").constData()), 0);
    QCOMPARE(::symlink("d", QFile::encodeName(m_tmp.filePath("dlink")).constData()), 0);
    // A way to d/ that another user laid.
    const QByteArray foreign = QFile::encodeName(m_tmp.filePath("foreign"));
    QCOMPARE(::symlink("d", foreign.constData()), 0);
    if (::geteuid() == 0)
        QCOMPARE(::lchown(foreign.constData(), 65534, 65534), 0);
}

void TestEachPlan::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<QString>("expected"); // for ZIP
    QTest::newRow("last extension cut") << "報告書.docx" << false << false << "報告書.zip";
    QTest::newRow("only the last") << "a.tar.gz" << false << false << "a.tar.zip";
    QTest::newRow("no extension") << "Makefile" << false << false << "Makefile.zip";
    QTest::newRow("only a leading dot") << ".bashrc" << false << false << ".bashrc.zip";
    QTest::newRow("dotted hidden file") << ".config.old" << false << false << ".config.zip";
    QTest::newRow("folder keeps its dots") << "v1.2" << true << false << "v1.2.zip";
    QTest::newRow("whole name") << "a.txt" << false << true << "a.txt.zip";
}

void TestEachPlan::names()
{
    QFETCH(QString, name);
    QFETCH(bool, folder);
    QFETCH(bool, whole);
    QFETCH(QString, expected);
    QCOMPARE(eachArchiveName(name, folder, whole, ArchiverKind::Zip), expected);
}

void TestEachPlan::plan_data()
{
    // items: paths below the tree (\xHH a byte; "/" the root folder, "" an empty argument).
    // options: a ZIP run, w whole names, o output folder "out", g planned
    // from a removed current folder (items starting with '.' given as
    // they are). expected, in
    // run order: "ITEM → ARCHIVE #WAITFOR", "ITEM: 除外 REASON" or
    // "ITEM: 失敗 REASON"; or the clashes, then "→ whole names[, beside]".
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("files and folders beside themselves")
        << QStringList {"d/報告書.docx", "d/.bashrc", "d/写真", "d/fold*er"} << ""
        << QStringList {"d/報告書.docx → d/報告書.zip #0", "d/.bashrc → d/.bashrc.zip #0",
               "d/写真 → d/写真.zip #0", "d/fold*er → d/fold*er.zip #0"};
    QTest::newRow("one item written three ways counts once")
        << QStringList {"d/a.txt", "d/./a.txt", "dlink//a.txt", "e/a.txt"} << ""
        << QStringList {"d/a.txt → d/a.zip #0", "e/a.txt → e/a.zip #0"};
    QTest::newRow("two files of one stem clash") << QStringList {"d/Makefile", "d/a.txt",
        "d/a.pdf"} << "" << QStringList {"d/a.zip ← d/a.txt, d/a.pdf", "→ whole names"};
    QTest::newRow("an archive name linked to another's archive clashes with it") << QStringList {
        "d/a.txt", "f/a.txt"} << "" << QStringList {"d/a.zip ← d/a.txt, f/a.txt", "→ whole names"};
    QTest::newRow("one name from two folders clashes in the output folder")
        << QStringList {"d/a.txt", "e/a.txt"} << "w o"
        << QStringList {"out/a.txt.zip ← d/a.txt, e/a.txt", "→ whole names, beside"};
    QTest::newRow("left out, refused, a link to a file taken")
        << QStringList {"d/pipe", "d/dangling", "d/dirlink", "d/filelink", "d/a.zip", "d/star*.txt",
               "d/q\"uote.txt", "d/bad\\xFF", "d/none", "/"}
        << ""
        << QStringList {"d/pipe: 除外 名前付きパイプは圧縮しません",
               "d/dangling: 除外 リンク先がないシンボリックリンクです",
               "d/dirlink: 除外 フォルダへのシンボリックリンクはたどりません",
               "d/filelink → d/filelink.zip #0",
               "d/a.zip: 失敗 書庫の名前がこの項目自身の名前になります",
               "d/star*.txt: 失敗 名前に “*” が含まれています",
               "d/q\"uote.txt: 失敗 名前に “\"” が含まれています",
               "d/bad\\xFF: 失敗 名前に文字として読めないバイトが含まれています",
               "d/none: 失敗 見つかりません", "/: 失敗 ルートフォルダは圧縮できません"};
    QTest::newRow("a folder reached through another user's link is refused")
        << QStringList {"foreign/a.txt", "dlink/Makefile"} << ""
        << QStringList {
               "foreign/a.txt: 失敗 他のユーザーのシンボリックリンクはたどりません: foreign",
               "dlink/Makefile → dlink/Makefile.zip #0"};
    QTest::newRow("an empty item names nothing, not the current folder") << QStringList {
        "", "d/a.txt"} << "" << QStringList {": 失敗 見つかりません", "d/a.txt → d/a.zip #0"};
    QTest::newRow("relative items once the current folder is gone") << QStringList {
        ".", ".."} << "g" << QStringList {".: 失敗 見つかりません", "..: 失敗 見つかりません"};
    QTest::newRow("an item that is another's archive runs first")
        << QStringList {"d/chain", "d/chain.zip", "d/chain.zip.zip"} << "w"
        << QStringList {"d/chain.zip.zip → d/chain.zip.zip.zip #0",
               "d/chain.zip → d/chain.zip.zip #1", "d/chain → d/chain.zip #2"};
    QTest::newRow("an archive made inside a folder item waits for it")
        << QStringList {"d/写真/x.jpg", "d/写真", "d/a.txt"} << ""
        << QStringList {
               "d/写真/x.jpg → d/写真/x.zip #0", "d/写真 → d/写真.zip #1", "d/a.txt → d/a.zip #0"};
}

void TestEachPlan::plan()
{
    QFETCH(QStringList, items);
    QFETCH(QString, options);
    QFETCH(QStringList, expected);
    const QString root = m_tmp.path() + u'/';
    if (items.join(u' ').contains("foreign/") && ::geteuid() != 0)
        QSKIP("a link owned by another user needs root to make");
    QStringList paths;
    for (const QString &item : items) {
        QByteArray bytes = item.toUtf8();
        for (qsizetype at; (at = bytes.indexOf("\\x")) >= 0;)
            bytes.replace(at, 4, QByteArray::fromHex(bytes.mid(at + 2, 2)));
        const bool asGiven = item == u"/" || item.isEmpty() || item.startsWith(u'.');
        paths << (asGiven ? item : root + nameFromBytes(bytes));
    }
    EachSettings settings;
    settings.archiver = ArchiverKind::Zip;
    settings.wholeNames = options.contains(u'w');
    if (options.contains(u'o'))
        settings.outputFolder = root + "out";
    const QString here = QDir::currentPath();
    if (options.contains(u'g'))
        QVERIFY(QDir().mkpath(root + "gone") && QDir::setCurrent(root + "gone")
            && QDir().rmdir(root + "gone"));
    const EachPlan plan = planEach(paths, settings, nullptr);
    QDir::setCurrent(here);
    const auto shown = [&](const QString &path) {
        return shownName(path.startsWith(root) ? path.mid(root.size()) : path);
    };
    QStringList got;
    for (const EachClash &clash : plan.clashes) {
        QStringList names;
        for (const QString &item : clash.items)
            names << shown(item);
        got << shown(clash.archivePath) + " ← " + names.join(", ");
    }
    if (!plan.clashes.isEmpty()) {
        QVERIFY(plan.clashFree.wholeNames);
        const bool beside
            = !settings.outputFolder.isEmpty() && plan.clashFree.outputFolder.isEmpty();
        got << QString("→ whole names") + (beside ? ", beside" : "");
    } else {
        for (size_t k = 1; k < plan.items.size(); ++k) {
            const EachItem &item = plan.items[k];
            if (item.verdict == EachItem::Verdict::Archive)
                got << shown(item.path) + " → " + shown(item.archivePath) + " #"
                        + QString::number(item.waitFor);
            else
                got << shown(item.path)
                        + (item.verdict == EachItem::Verdict::LeftOut ? ": 除外 " : ": 失敗 ")
                        + QString(item.reason).replace(root, QString());
        }
    }
    QCOMPARE(got, expected);
}

void TestEachPlan::changedBeforeItsTurn_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reason");
    QTest::newRow("removed") << "removed"
                             << "見つかりません";
    QTest::newRow("a folder in its place") << "folder"
                                           << "選ばれた後で別のものに置き換えられました";
    QTest::newRow("a link in its place") << "link"
                                         << "選ばれた後で別のものに置き換えられました";
    // Moved away and a link to another folder holding a file of its name
    // put in its place once the engine has looked: the archive is made from
    // and beside the folder the plan saw, wherever it is by then.
    QTest::newRow("its folder swapped for a link while it runs") << "swapped"
                                                                 << "";
    // Made, then its file system reports a write-back error at the end.
    QTest::newRow("not on disk") << "sync"
                                 << "ディスクに書き出せなかったおそれがあります";
}

void TestEachPlan::changedBeforeItsTurn()
{
    QFETCH(QString, change);
    QFETCH(QString, reason);
    QTemporaryDir tmp;
    const QString item = tmp.filePath("sub/a.txt");
    test::writeFile(item, "a");
    test::writeFile(tmp.filePath("elsewhere.txt"), "secret");
    test::writeFile(tmp.filePath("other/a.txt"), "secret");
    const EachPlan plan = planEach({item}, EachSettings {}, nullptr);
    if (change == "sync")
        archiver::injectSyncFailure(archiver::SyncStep::FileSystem, EIO);
    else if (change == "swapped")
        archiver::setAfterGatheringHook([&tmp] {
            QVERIFY(QDir(tmp.path()).rename("sub", "moved"));
            QVERIFY(QFile::link(tmp.filePath("other"), tmp.filePath("sub")));
        });
    else
        QVERIFY(QFile::remove(item));
    if (change == "folder")
        QVERIFY(QDir().mkpath(item));
    else if (change == "link")
        QVERIFY(QFile::link(tmp.filePath("elsewhere.txt"), item));
    struct Recorder : EachRunObserver
    {
        QStringList lines;
        void itemDone(int, const EachItem &, const EachOutcome &out) override
        {
            lines << QString::number(int(out.state)) + " " + out.reason;
        }
    } recorder;
    const EachRunResult result = runEach(plan, EachRunOptions {}, recorder);
    archiver::injectSyncFailure(archiver::SyncStep::FileSystem, 0);
    archiver::setAfterGatheringHook({});
    if (change == "swapped") {
        SHEAF_REQUIRE_TOOL("unar");
        QCOMPARE(result.made, 1);
        QVERIFY(!QFile::exists(tmp.filePath("other/a.lzh")));
        QCOMPARE(test::extractAndCompare(tmp.filePath("moved/a.lzh"),
                     QMap<QString, QByteArray> {{"a.txt", "a"}}, tmp.filePath("x")),
            QStringList());
        return;
    }
    QCOMPARE(result.failed, 1);
    QCOMPARE(result.made, 0);
    if (change == "sync") {
        QCOMPARE(result.notOnDisk.size(), 1);
        QVERIFY2(result.notOnDisk[0].contains(tmp.filePath("sub/a.lzh"))
                && result.notOnDisk[0].contains(reason)
                && result.notOnDisk[0].contains(QString::fromStdString(platform::errorText(EIO))),
            qPrintable(result.notOnDisk[0]));
        return;
    }
    QCOMPARE(result.notOnDisk, QStringList());
    QCOMPARE(recorder.lines,
        QStringList {QString::number(int(EachOutcome::State::Failed)) + " " + reason});
    QVERIFY(!QFile::exists(tmp.filePath("sub/a.lzh")));
}

QTEST_GUILESS_MAIN(TestEachPlan)
#include "test_each_plan.moc"
