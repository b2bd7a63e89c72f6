// The progress window of `sheaf --each`, offscreen: the bar moves during a
// run, the end names a failure and opens the archives' folder, each way of
// stopping leaves nothing unfinished, and a clash's button makes them all.

#include "app/ui/each_window.h"
#include "archive/each_texts.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace sheaf;
using namespace sheaf::test;
using sheaf::ui::EachWindow;

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestEachWindow : public QObject
{
    Q_OBJECT
private slots:
    void progressThenSummary();
    void stopLeavesNothing_data();
    void stopLeavesNothing();
    void clashStep();
};

namespace {

constexpr qsizetype BigSize = 96 << 20; // long enough to be seen under way

EachSettings zip()
{
    EachSettings s;
    s.archiver = ArchiverKind::Zip;
    return s;
}

} // namespace

void TestEachWindow::progressThenSummary()
{
    SHEAF_REQUIRE_TOOL("7zz");
    QTemporaryDir tmp;
    const QString d = tmp.path();
    const QByteArray big = randomBytes(BigSize, 5);
    writeFile(d + "/big.bin", big);
    writeFile(d + "/写真/a.jpg", "jpeg");
    writeFile(d + "/x.txt", "x");
    writeFile(d + "/x.zip", "no zip");
    EachWindow window({d + "/big.bin", d + "/写真", d + "/x.txt"}, zip(), 2);
    window.show();
    window.start();
    QSet<int> values;
    bool bigShown = false;
    while (window.state() != EachWindow::State::Done) {
        QTest::qWait(20);
        values << window.barBytes->value();
        bigShown = bigShown || window.lblItem->toolTip() == d + "/big.bin";
    }
    QVERIFY2(std::any_of(values.begin(), values.end(), [](int v) { return v > 0 && v < 1000; }),
        "the bar never stood between its ends");
    QVERIFY(bigShown);
    QCOMPARE(window.barBytes->value(), 1000);
    QCOMPARE(window.lblState->text(), each_texts::summary(2, 0, 1));
    QVERIFY(window.txtReport->toPlainText().startsWith("失敗しました: " + d + "/x.txt: "));
    QCOMPARE(readFile(d + "/x.zip"), QByteArray("no zip"));
    QCOMPARE(extractAndCompare(
                 d + "/big.zip", QMap<QString, QByteArray> {{"big.bin", big}}, d + "/check"),
        QStringList());
    QCOMPARE(extractAndCompare(
                 d + "/写真.zip", QMap<QString, QByteArray> {{"写真/a.jpg", "jpeg"}}, d + "/check"),
        QStringList());

    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    QVERIFY(window.cmdOpen->isVisible());
    QTest::mouseClick(window.cmdOpen, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(recorder.opened, QList<QUrl> {QUrl::fromLocalFile(d)});
    QTest::mouseClick(window.cmdClose, Qt::LeftButton);
    QVERIFY(!window.isVisible());
}

void TestEachWindow::stopLeavesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("中止") << "button";
    QTest::newRow("Esc") << "key";
    QTest::newRow("closing the window") << "close";
}

void TestEachWindow::stopLeavesNothing()
{
    QFETCH(QString, how);
    QTemporaryDir tmp;
    const QString d = tmp.path();
    writeFile(d + "/big.bin", randomBytes(BigSize, 6));
    EachWindow window({d + "/big.bin"}, zip(), 1);
    window.show();
    window.start();
    QTRY_VERIFY_WITH_TIMEOUT(window.barBytes->value() > 0, 60000);
    if (how == "button")
        QTest::mouseClick(window.cmdStop, Qt::LeftButton);
    else if (how == "key")
        QTest::keyClick(&window, Qt::Key_Escape);
    else
        window.close();
    QVERIFY(window.isVisible()); // until what is under way has ended
    QTRY_COMPARE_WITH_TIMEOUT(window.state(), EachWindow::State::Done, 60000);
    QCOMPARE(window.lblState->text(), each_texts::stopped(0));
    QCOMPARE(window.isVisible(), how != "close");
    QCOMPARE(listTree(d), QStringList {"big.bin"});
}

void TestEachWindow::clashStep()
{
    SHEAF_REQUIRE_TOOL("7zz");
    QTemporaryDir tmp;
    const QString d = tmp.path();
    writeFile(d + "/a.txt", "text");
    writeFile(d + "/a.pdf", "pdf");
    EachWindow window({d + "/a.txt", d + "/a.pdf"}, zip(), 2);
    window.show();
    window.start();
    QTRY_COMPARE_WITH_TIMEOUT(window.state(), EachWindow::State::Clash, 60000);
    QVERIFY(
        window.txtReport->toPlainText().contains(d + "/a.zip ← " + d + "/a.txt, " + d + "/a.pdf"));
    QCOMPARE(listTree(d), (QStringList {"a.pdf", "a.txt"}));
    QVERIFY(window.cmdStep->isVisible());
    const int clashHeight = window.height();
    QTest::mouseClick(window.cmdStep, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.state(), EachWindow::State::Done, 60000);
    // No empty band where the list of clashing items stood.
    QVERIFY2(window.height() < clashHeight
            && window.cmdClose->geometry().top() - window.barBytes->geometry().bottom()
                < 2 * window.fontMetrics().lineSpacing(),
        qPrintable(QString::number(window.height())));
    QCOMPARE(window.lblState->text(), each_texts::summary(2, 0, 0));
    QCOMPARE(extractAndCompare(d + "/a.txt.zip", QMap<QString, QByteArray> {{"a.txt", "text"}},
                 tmp.filePath("check")),
        QStringList());
}

QTEST_MAIN(TestEachWindow)
#include "test_each_window.moc"
