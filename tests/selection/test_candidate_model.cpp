// The grid's model: the texts of each column read from real files, the
// one-reset fill, and the mark toggling over a range in either direction.

#include "selection/candidate_model.h"
#include "selection/count_format.h"
#include "support/temp_tree.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <fcntl.h>
#include <sys/stat.h>

using namespace sheaf;

namespace {

// The tests run with TZ=Asia/Tokyo; the times are given as instants there.
QDateTime tokyo(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone("Asia/Tokyo"));
}

} // namespace

class TestCandidateModel : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_tmp;

    QString dir() const { return m_tmp.path() + QStringLiteral("/資料/"); }

private slots:
    void countFormat_data()
    {
        QTest::addColumn<qint64>("n");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << "0";
        QTest::newRow("999") << qint64(999) << "999";
        QTest::newRow("1000") << qint64(1000) << "1,000";
        QTest::newRow("1048576") << qint64(1048576) << "1,048,576";
        QTest::newRow("beyond 32 bits") << qint64(5368709120) << "5,368,709,120";
        QTest::newRow("negative") << qint64(-1234) << "-1,234";
        QTest::newRow("most negative")
            << std::numeric_limits<qint64>::min() << "-9,223,372,036,854,775,808";
    }

    void countFormat()
    {
        QFETCH(qint64, n);
        QFETCH(QString, text);
        QCOMPARE(formatCount(n), text);
    }

    void timeFormat_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("text");
        QTest::newRow("afternoon") << tokyo(2001, 2, 8, 14, 5, 59) << "01/02/08 14:05";
        QTest::newRow("morning, leading zeros") << tokyo(2000, 3, 3, 9, 7) << "00/03/03 09:07";
        QTest::newRow("given in UTC, shown in local time")
            << QDateTime(QDate(2026, 12, 31), QTime(15, 30), QTimeZone::utc()) << "27/01/01 00:30";
        QTest::newRow("invalid") << QDateTime() << "";
    }

    void timeFormat()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, text);
        QCOMPARE(formatFileTime(time), text);
        QCOMPARE(formatFileTime(time, QTimeZone::systemTimeZone()), text);
    }

    void gridTexts()
    {
        test::writeFile(
            dir() + QStringLiteral("empty.txt"), QByteArray(), tokyo(2001, 2, 8, 14, 5));
        test::writeFile(dir() + QStringLiteral("mega.txt"), QByteArray(1048576, 'm'),
            tokyo(2000, 3, 3, 9, 7, 30));
        // Sparse: five gibibytes without using the space.
        QFile big(dir() + QStringLiteral("議事録.txt"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(5) << 30));
        QVERIFY(big.setFileTime(tokyo(2019, 12, 31, 23, 59), QFileDevice::FileModificationTime));
        big.close();

        // A last change at exactly 0 (Qt reads it as "no time"; the file is there).
        test::writeFile(dir() + QStringLiteral("epoch.txt"), QByteArray(12345, 'e'));
        const timespec epoch[2] = {{0, 0}, {0, 0}};
        QCOMPARE(
            ::utimensat(AT_FDCWD, QFile::encodeName(dir() + "epoch.txt").constData(), epoch, 0), 0);
        CandidateList list;
        list.append(dir(), QStringLiteral("empty.txt"));
        list.append(dir(), QStringLiteral("mega.txt"));
        list.append(dir(), QStringLiteral("議事録.txt"));
        list.append(dir(), QStringLiteral("epoch.txt"));
        CandidateModel model(list);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        model.FileShow();
        QCOMPARE(resets.size(), 1);
        QCOMPARE(changes.size(), 0);
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.columnCount(), 6);

        const QStringList expected[4] = {
            {"1", "する", dir(), "empty.txt", "01/02/08 14:05", "0"},
            {"2", "する", dir(), "mega.txt", "00/03/03 09:07", "1,048,576"},
            {"3", "する", dir(), "議事録.txt", "19/12/31 23:59", "5,368,709,120"},
            {"4", "する", dir(), "epoch.txt", "70/01/01 09:00", "12,345"},
        };
        for (int row = 1; row <= 4; ++row) {
            for (int col = 0; col < 6; ++col) {
                QCOMPARE(model.cellText(row, col), expected[row - 1][col]);
                QCOMPARE(model.data(model.index(row - 1, col)).toString(), expected[row - 1][col]);
            }
        }
        QVERIFY(model.cellText(1, 2).endsWith(u'/'));
        QCOMPARE(model.cellText(0, 0), QString());
        QCOMPARE(model.cellText(5, 0), QString());
    }

    void fileGoneAfterTheScan()
    {
        test::writeFile(dir() + QStringLiteral("stay.txt"), "abc");
        CandidateList list;
        list.append(dir(), QStringLiteral("gone.txt"));
        list.append(dir(), QStringLiteral("stay.txt"));
        CandidateModel model(list);
        model.FileShow();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.cellText(1, 3), QStringLiteral("gone.txt"));
        QCOMPARE(model.cellText(1, 4), QString());
        QCOMPARE(model.cellText(1, 5), QString());
        QCOMPARE(model.cellText(2, 5), QStringLiteral("3"));
        // A rename by the compress run changes the list; the grid keeps the
        // name it was filled with.
        list.FileName[2] = QStringLiteral("renamed.txt");
        QCOMPARE(model.cellText(2, 3), QStringLiteral("stay.txt"));
    }

    void emptyListAndClear()
    {
        test::writeFile(dir() + QStringLiteral("a.txt"), "a");
        CandidateList list;
        CandidateModel model(list);
        model.FileShow();
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.flipMarks(0, 0));
        QVERIFY(!model.flipMarks(1, 1)); // no data row to flip

        list.append(dir(), QStringLiteral("a.txt"));
        model.FileShow();
        QCOMPARE(model.rowCount(), 1);
        model.clearRows();
        list.clear();
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(
            list.FileMark[1].isEmpty() && list.FileDir[1].isEmpty() && list.FileName[1].isEmpty());
        // The next scan fills from slot 1 again.
        QVERIFY(list.append(dir(), QStringLiteral("b.txt")));
        QCOMPARE(list.FileCount, 1);
        QCOMPARE(list.FileName[1], QStringLiteral("b.txt"));
    }

    void flipMarks_data()
    {
        QTest::addColumn<QString>("before"); // one letter per row: x marked, . unmarked
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("selectionEnd");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("flipped");
        QTest::newRow("one marked row") << "xxxxxxxx" << 5 << 5 << "xxxx.xxx" << true;
        QTest::newRow("one unmarked row") << "xxxx.xxx" << 5 << 5 << "xxxxxxxx" << true;
        QTest::newRow("dragged upward, mixed range") << "xxx.x.xx" << 3 << 7 << "xx.x.x.x" << true;
        QTest::newRow("same range dragged downward") << "xxx.x.xx" << 7 << 3 << "xx.x.x.x" << true;
        QTest::newRow("first to last") << "x.x" << 3 << 1 << ".x." << true;
        QTest::newRow("range reaching the header row") << "xxx" << 2 << 0 << "xxx" << false;
        QTest::newRow("range beyond the last row") << "xxx" << 2 << 9 << "x.." << true;
        QTest::newRow("wholly beyond the last row") << "xxx" << 5 << 9 << "xxx" << false;
    }

    void flipMarks()
    {
        QFETCH(QString, before);
        QFETCH(int, current);
        QFETCH(int, selectionEnd);
        QFETCH(QString, after);
        QFETCH(bool, flipped);
        CandidateList list;
        for (int i = 0; i < before.size(); ++i) {
            list.append(dir(), QStringLiteral("f%1.txt").arg(i + 1));
            if (before[i] == u'.')
                list.FileMark[i + 1].clear();
        }
        CandidateModel model(list);
        model.FileShow();
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        QCOMPARE(model.flipMarks(selectionEnd, current), flipped);
        QString marks;
        for (int row = 1; row <= list.FileCount; ++row) {
            QCOMPARE(model.cellText(row, 1), list.FileMark[row]);
            QVERIFY(list.FileMark[row].isEmpty() || list.FileMark[row] == QStringLiteral("する"));
            marks += list.isMarked(row) ? u'x' : u'.';
        }
        QCOMPARE(marks, after);
        // One change notice for the mark column, none otherwise.
        QCOMPARE(changes.size(), flipped ? 1 : 0);
        if (flipped) {
            const auto topLeft = changes[0][0].value<QModelIndex>();
            const auto bottomRight = changes[0][1].value<QModelIndex>();
            QCOMPARE(topLeft.column(), 1);
            QCOMPARE(bottomRight.column(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestCandidateModel)
#include "test_candidate_model.moc"
