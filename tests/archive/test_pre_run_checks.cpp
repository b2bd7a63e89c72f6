// The three checks before a run: their order, exact comparison, and that
// only marked entries count. Switch captions read only the value 1 as on
// (the captions' texts are checked on the window's switches).

#include "archive/option_switches.h"
#include "archive/pre_run_checks.h"
#include "support/candidate_lists.h"

#include <QTest>

using namespace sheaf;

namespace {

const QString kName
    = QStringLiteral("*.TXTが複数存在しているフォルダが有ります。\r名前指定は出来ません！");
const QString kTogether
    = QStringLiteral("*.TXTが複数存在しているフォルダが有ります。\r梱包指定は出来ません！");
const QString kOutput
    = QStringLiteral("同じ名前の圧縮ファイルが出来てしまいます。\r処理できません！");

} // namespace

class TestPreRunChecks : public QObject
{
    Q_OBJECT
private slots:
    void refusal_data();
    void refusal();
    void greyedSwitchReadsAsOff();
};

void TestPreRunChecks::refusal_data()
{
    QTest::addColumn<QStringList>("entries"); // "dir|name", '-' first: left out of the batch
    QTest::addColumn<bool>("name");
    QTest::addColumn<bool>("together");
    QTest::addColumn<bool>("output");
    QTest::addColumn<QString>("expected"); // empty: no refusal

    const QStringList oneFolder {"/d/a/|x.TXT", "/d/a/|y.TXT"};
    QTest::newRow("name and together: only the name message")
        << oneFolder << true << true << true << kName;
    QTest::newRow("together alone") << oneFolder << false << true << false << kTogether;
    QTest::newRow("switches off") << oneFolder << false << false << false << QString();
    QTest::newRow("output: folders may repeat") << oneFolder << false << false << true << QString();
    QTest::newRow("one of the two unmarked")
        << QStringList {"/d/a/|x.TXT", "-/d/a/|y.TXT"} << true << true << true << QString();
    QTest::newRow("same name, two folders, output")
        << QStringList {"/d/a/|x.TXT", "/d/b/|x.TXT"} << false << false << true << kOutput;
    QTest::newRow("same name only clashes with output")
        << QStringList {"/d/a/|x.TXT", "/d/b/|x.TXT"} << true << true << false << QString();
    QTest::newRow("letter case counts in names")
        << QStringList {"/d/a/|a.txt", "/d/b/|A.TXT"} << false << false << true << QString();
    QTest::newRow("letter case counts in folders")
        << QStringList {"/d/a/|x.TXT", "/d/A/|y.TXT"} << true << true << false << QString();
    QTest::newRow("name and output: folder check first")
        << QStringList {"/d/a/|x.TXT", "/d/a/|x.txt", "/d/b/|x.TXT"} << true << false << true
        << kName;
    QTest::newRow("same last folder name, different folders") << QStringList {"/d/a/photos/|x.TXT",
        "/d/b/photos/|y.TXT"} << true << false << true << QString();
    QTest::newRow("clash among unmarked entries only")
        << QStringList {"-/d/a/|x.TXT", "-/d/a/|x.TXT", "/d/b/|z.TXT"} << true << true << true
        << QString();
}

void TestPreRunChecks::refusal()
{
    QFETCH(QStringList, entries);
    QFETCH(bool, name);
    QFETCH(bool, together);
    QFETCH(bool, output);
    QFETCH(QString, expected);
    const CandidateList list = test::candidateList(entries);
    const auto refusal = preRunRefusal(list, QStringLiteral(".TXT"), name, together, output);
    QCOMPARE(refusal.value_or(QString()), expected);
}

void TestPreRunChecks::greyedSwitchReadsAsOff()
{
    for (auto which :
        {OptionSwitch::Select, OptionSwitch::Output, OptionSwitch::Name, OptionSwitch::Together}) {
        QCOMPARE(switchCaption(which, 2), switchCaption(which, 0));
        QVERIFY(switchCaption(which, 1) != switchCaption(which, 0));
    }
}

QTEST_GUILESS_MAIN(TestPreRunChecks)
#include "test_pre_run_checks.moc"
