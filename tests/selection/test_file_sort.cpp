// FileSort against an independent order (std::sort with the ordinal
// comparison), and the orderings the user sees.

#include "selection/candidate_list.h"
#include "selection/file_sort.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <tuple>

using namespace sheaf;

namespace {

struct Entry
{
    QString mark, dir, name;
    bool operator==(const Entry &o) const
    {
        return std::tie(mark, dir, name) == std::tie(o.mark, o.dir, o.name);
    }
};

CandidateList listOf(const QVector<Entry> &entries)
{
    CandidateList list;
    for (const Entry &e : entries) {
        list.append(e.dir, e.name);
        list.FileMark[list.FileCount] = e.mark;
    }
    return list;
}

QVector<Entry> entriesOf(const CandidateList &list)
{
    QVector<Entry> out;
    for (int i = 1; i <= list.FileCount; ++i)
        out.append({list.FileMark[i], list.FileDir[i], list.FileName[i]});
    return out;
}

QStringList pathsOf(const CandidateList &list)
{
    QStringList out;
    for (int i = 1; i <= list.FileCount; ++i)
        out << list.fullPath(i);
    return out;
}

void sortList(CandidateList &list)
{
    FileSort(list.FileMark, list.FileDir, list.FileName, list.FileCount);
}

} // namespace

class TestFileSort : public QObject
{
    Q_OBJECT
private slots:
    void userOrder_data()
    {
        QTest::addColumn<QStringList>("expected"); // dir and name split at the last '/'
        // With '/' as the separator w2 comes after w and its subfolders: the
        // digit 2 has a higher code than '/' (a backslash would sort after it).
        QTest::newRow("folder before its subfolder, w2 after both")
            << QStringList {"/d/w/b.txt", "/d/w/sub/a.txt", "/d/w2/x.txt"};
        QTest::newRow("a blank sorts before the separator")
            << QStringList {"/d/A B/z.txt", "/d/A/a.txt"};
        QTest::newRow("upper case, underscore, lower case")
            << QStringList {"/w/Zeta.txt", "/w/_mid.txt", "/w/alpha.txt"};
        QTest::newRow("Japanese after Latin letters and digits") << QStringList {
            "/w/0.txt", "/w/Z.txt", "/w/z.txt", "/w/資料.txt", "/w/（括弧）.txt", "/w/ﾃｽﾄ.txt"};
        QTest::newRow("a prefix sorts first")
            << QStringList {"/w/a.txt", "/w/a.txt.txt", "/w/ab.txt"};
        QTest::newRow("Japanese folders") << QStringList {
            "/c/00_資料/京都_07/b.txt", "/c/00_資料/東京_00/a.txt", "/c/01_写真/大阪_01/a.txt"};
    }

    void userOrder()
    {
        QFETCH(QStringList, expected);
        // Every rotation and the reverse of the expected order sorts back to it.
        QVector<QStringList> inputs;
        for (int r = 0; r < expected.size(); ++r) {
            QStringList l = expected;
            std::rotate(l.begin(), l.begin() + r, l.end());
            inputs << l;
        }
        QStringList reversed = expected;
        std::reverse(reversed.begin(), reversed.end());
        inputs << reversed;
        for (const QStringList &input : inputs) {
            CandidateList list;
            for (const QString &p : input) {
                const int cut = p.lastIndexOf(u'/') + 1;
                list.append(p.left(cut), p.mid(cut));
            }
            sortList(list);
            QCOMPARE(pathsOf(list), expected);
        }
    }

    void smallCountsLeftAlone_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("empty") << 0;
        QTest::newRow("one") << 1;
    }

    void smallCountsLeftAlone()
    {
        QFETCH(int, count);
        CandidateList list;
        // Slots outside 1..count hold texts the sort must not move.
        list.FileDir[0] = QStringLiteral("z/");
        list.FileDir[1] = QStringLiteral("y/");
        list.FileDir[2] = QStringLiteral("a/");
        list.FileCount = count;
        sortList(list);
        QCOMPARE(list.FileDir[0], QStringLiteral("z/"));
        QCOMPARE(list.FileDir[1], QStringLiteral("y/"));
        QCOMPARE(list.FileDir[2], QStringLiteral("a/"));
    }

    void twoSwappedWithTheirMarks()
    {
        CandidateList list = listOf({{"", "/w/", "b.txt"}, {"する", "/w/", "a.txt"}});
        list.FileDir[3] = QStringLiteral("/a/"); // beyond the count: untouched
        sortList(list);
        QCOMPARE(
            entriesOf(list), (QVector<Entry> {{"する", "/w/", "a.txt"}, {"", "/w/", "b.txt"}}));
        QCOMPARE(list.FileDir[3], QStringLiteral("/a/"));
        QVERIFY(list.FileDir[0].isEmpty());
    }

    // Random lists with unmarked entries, checked against std::sort: the
    // order is ordinal and every mark stays with its file.
    void matchesIndependentOrder_data()
    {
        QTest::addColumn<int>("count");
        for (int n : {2, 3, 10, 100, 1001, 30000})
            QTest::addRow("%d entries", n) << n;
    }

    void matchesIndependentOrder()
    {
        QFETCH(int, count);
        QRandomGenerator rng(quint32(count) * 7919u);
        const QStringList dirs
            = {"/d/", "/d/sub/", "/d/Sub/", "/d2/", "/d/資料/", "/d/A B/", "/d/A/"};
        const QString letters = QStringLiteral("aZ_0ｱ資.");
        QSet<QString> seen;
        QVector<Entry> input;
        while (input.size() < count) {
            QString name;
            for (int k = 0, len = 1 + rng.bounded(6); k < len; ++k)
                name += letters[rng.bounded(int(letters.size()))];
            const QString dir = dirs[rng.bounded(int(dirs.size()))];
            if (seen.contains(dir + u'|' + name))
                continue; // no two entries share folder and name
            seen.insert(dir + u'|' + name);
            input.append({rng.bounded(3) == 0 ? QString() : QStringLiteral("する"), dir, name});
        }
        QVector<Entry> expected = input;
        std::sort(expected.begin(), expected.end(), [](const Entry &a, const Entry &b) {
            return std::tie(a.dir, a.name) < std::tie(b.dir, b.name);
        });
        CandidateList list = listOf(input);
        sortList(list);
        QCOMPARE(list.FileCount, count);
        QVERIFY(entriesOf(list) == expected);
    }
};

QTEST_GUILESS_MAIN(TestFileSort)
#include "test_file_sort.moc"
