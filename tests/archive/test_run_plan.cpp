// The compress run's plan, row by row, without a disk: what each entry will
// do (refused, or the command line it runs) and which earlier entry it waits
// for.

#include "archive/run_plan.h"
#include "support/candidate_lists.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sheaf;

class TestRunPlan : public QObject
{
    Q_OBJECT
private slots:
    void plan_data();
    void plan();
    void outputFolderThroughLink();
};

void TestRunPlan::plan_data()
{
    // entries: "dir|name" (a leading '-' leaves the entry unmarked; \xHH in a
    // name stands for that byte). switches: n (name), t (together), o (output
    // to /out). expected per entry: "skip", "refused: <first line>" or
    // "<command line> #<waitFor>". The refusals of a one-file line's names are
    // checked end to end, with the whole message, in test_archive_run.
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QStringList>("expected");

    const QString waitNone = QStringLiteral(" #0");
    QTest::newRow("one file beside it")
        << QStringList {"/d/|a.TXT", "-/d/|b.TXT"} << ""
        << QStringList {"a -a1 -r0 \"/d/a.lzh\" \"/d/\" \"a.TXT\"" + waitNone, "skip"};
    QTest::newRow("renamed after the folder, into the output folder")
        << QStringList {"/data/photos/|IMG.TXT"} << "no"
        << QStringList {
               "a -a1 -r0 \"/out/photos.lzh\" \"/data/photos/\" \"photos.TXT\"" + waitNone};
    QTest::newRow("a.txt and a.TXT share a.lzh, in list order")
        << QStringList {"/d/|a.txt", "/d/|a.TXT"} << ""
        << QStringList {"a -a1 -r0 \"/d/a.lzh\" \"/d/\" \"a.txt\"" + waitNone,
               "a -a1 -r0 \"/d/a.lzh\" \"/d/\" \"a.TXT\" #1"};
    QTest::newRow("a member made in this run would be replaced")
        << QStringList {"/a/p/|x.TXT", "/b/p/|y.TXT"} << "no"
        << QStringList {"a -a1 -r0 \"/out/p.lzh\" \"/a/p/\" \"p.TXT\"" + waitNone,
               "refused: 同じ名前の圧縮ファイルを既に作成しています。"};
    QTest::newRow("folder outside UTF-8")
        << QStringList {"/d\\xFF/|a.TXT"} << "t"
        << QStringList {"refused: 名前に文字として読めないバイトが含まれています。"};
    QTest::newRow("asterisk in a folder the name comes from") << QStringList {
        "/d*/|a.TXT"} << "n" << QStringList {"refused: 名前に “*” が含まれています。"};
    QTest::newRow("asterisk in a whole-folder archive: not on the line") << QStringList {
        "/d/|*.TXT"} << "t" << QStringList {"a -a2 -r2x1 \"/d/*.lzh\" \"/d/\" *.*" + waitNone};
    QTest::newRow("backslash in a whole-folder archive: a member's name") << QStringList {
        "/d\\s/|a.TXT"} << "tn" << QStringList {"refused: 名前に “\\” が含まれています。"};
    QTest::newRow("root folder: empty folder name")
        << QStringList {"/|a.TXT"} << "n" << QStringList {"refused: フォルダ名が空です。"};
    QTest::newRow("doubled separator: empty folder name")
        << QStringList {"/d//|a.TXT"} << "n" << QStringList {"refused: フォルダ名が空です。"};
    QTest::newRow("a hidden folder's name would hide the file")
        << QStringList {"/d/.hidden/|a.TXT"} << "tn"
        << QStringList {
               "refused: フォルダ名が “.” で始まります。変更すると隠しファイルになります。"};
    QTest::newRow("whole folders nested: the inner one waits")
        << QStringList {"/a/|x.TXT", "/a/b/|y.TXT", "/c/|z.TXT"} << "t"
        << QStringList {"a -a2 -r2x1 \"/a/x.lzh\" \"/a/\" *.*" + waitNone,
               "a -a2 -r2x1 \"/a/b/y.lzh\" \"/a/b/\" *.* #1",
               "a -a2 -r2x1 \"/c/z.lzh\" \"/c/\" *.*" + waitNone};
    QTest::newRow("output folder inside a folder archived whole")
        << QStringList {"/a/|x.TXT", "/b/|y.TXT", "/c/|z.TXT"} << "tp"
        << QStringList {"a -a2 -r2x1 \"/b/out/x.lzh\" \"/a/\" *.*" + waitNone,
               "a -a2 -r2x1 \"/b/out/y.lzh\" \"/b/\" *.* #1",
               "a -a2 -r2x1 \"/b/out/z.lzh\" \"/c/\" *.* #2"};
    QTest::newRow("an archive of this run selected as a file")
        << QStringList {"/d/|a.lzh", "/e/|a.lzh"} << "x"
        << QStringList {"a -a1 -r0 \"/e/a.lzh\" \"/d/\" \"a.lzh\"" + waitNone,
               "refused: 同じ名前の圧縮ファイルを既に作成しています。"};
}

void TestRunPlan::plan()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, switches);
    QFETCH(QStringList, expected);

    const CandidateList list = test::candidateList(entries);
    ArchiveRunSettings s;
    s.name = switches.contains(u'n');
    s.together = switches.contains(u't');
    s.output = switches.contains(u'o') || switches.contains(u'p') || switches.contains(u'x');
    s.outputFolder = switches.contains(u'p') ? QStringLiteral("/b/out")
        : switches.contains(u'x')            ? QStringLiteral("/e")
                                             : QStringLiteral("/out");
    s.extension = switches.contains(u'x') ? QStringLiteral(".lzh") : QStringLiteral(".TXT");

    const std::vector<EntryPlan> plans = planRun(list, s);
    QCOMPARE(plans.size(), size_t(list.FileCount) + 1);
    QStringList got;
    for (int k = 1; k <= list.FileCount; ++k) {
        const EntryPlan &p = plans[size_t(k)];
        switch (p.action) {
        case EntryPlan::Action::Skip:
            got << QStringLiteral("skip");
            break;
        case EntryPlan::Action::Refuse:
            got << QStringLiteral("refused: ") + p.refusal.section(u'\r', 0, 0);
            break;
        case EntryPlan::Action::Archive:
            got << p.commandLine + QStringLiteral(" #%1").arg(p.waitFor);
            break;
        }
    }
    QCOMPARE(got, expected);
}

// The output folder is a link into a folder archived whole: the later entry's
// archive lands inside it, so it waits as it would for the folder's own path.
void TestRunPlan::outputFolderThroughLink()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    QVERIFY(QDir().mkpath(root + "/s/a/zz") && QDir().mkpath(root + "/s/b"));
    QVERIFY(QFile::link(root + "/s/a/zz", root + "/outlink"));
    CandidateList list;
    list.append(root + "/s/a/", "x.TXT");
    list.append(root + "/s/b/", "y.TXT");
    ArchiveRunSettings s;
    s.together = true;
    s.output = true;
    s.outputFolder = root + "/outlink";
    s.extension = QStringLiteral(".TXT");
    QCOMPARE(planRun(list, s)[2].waitFor, 1);
}

QTEST_GUILESS_MAIN(TestRunPlan)
#include "test_run_plan.moc"
