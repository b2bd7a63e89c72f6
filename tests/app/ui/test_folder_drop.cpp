// Folders and files dropped from a file manager onto the window and its two
// folder fields.

#include "app/ui/frm_sheaf.h"
#include "support/temp_tree.h"

#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using sheaf::ui::FrmSheaf;

class TestFolderDrop : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

private slots:
    void initTestCase() { sheaf::test::writeFile(path(QStringLiteral("tree/sub/a.txt")), "a"); }

    void drop_data()
    {
        QTest::addColumn<QString>("target"); // window, select, output, extension
        QTest::addColumn<QStringList>("urls"); // relative to the temporary folder; "http:" kept
        QTest::addColumn<QString>("select"); // expected afterwards, relative; "-" unchanged
        QTest::addColumn<QString>("output");

        const QStringList folder {QStringLiteral("tree/sub")};
        const QStringList file {QStringLiteral("tree/sub/a.txt")};
        QTest::newRow("folder on the window") << "window" << folder << "tree/sub"
                                              << "-";
        QTest::newRow("folder on the selection field") << "select" << folder << "tree/sub"
                                                       << "-";
        QTest::newRow("folder on the output field") << "output" << folder << "-"
                                                    << "tree/sub";
        QTest::newRow("file on the output field") << "output" << file << "-"
                                                  << "tree/sub";
        QTest::newRow("file on the window") << "window" << file << "tree/sub"
                                            << "-";
        QTest::newRow("folder on the extension box") << "extension" << folder << "tree/sub"
                                                     << "-";
        QTest::newRow("missing item, then a file")
            << "select" << QStringList {"tree/gone", "tree/sub/a.txt"} << "tree/sub"
            << "-";
        QTest::newRow("missing item only") << "window" << QStringList {"tree/gone"} << "-"
                                           << "-";
        QTest::newRow("remote item") << "select" << QStringList {"http://example.org/x/"} << "-"
                                     << "-";
    }

    void drop()
    {
        QFETCH(QString, target);
        QFETCH(QStringList, urls);
        QFETCH(QString, select);
        QFETCH(QString, output);

        FrmSheaf window(path(QStringLiteral("kwSheaf.ini")));
        window.txtSelect->setText(QStringLiteral("before-select"));
        window.txtOutput->setText(QStringLiteral("before-output"));
        const QString extension = window.cmbExtent->currentText();
        QWidget *widget = target == QLatin1String("select") ? window.txtSelect
            : target == QLatin1String("output")             ? window.txtOutput
            : target == QLatin1String("extension")          ? window.cmbExtent->lineEdit()
                                                            : static_cast<QWidget *>(&window);

        QMimeData data;
        QList<QUrl> list;
        for (const QString &u : urls)
            list << (u.startsWith(QLatin1String("http:")) ? QUrl(u) : QUrl::fromLocalFile(path(u)));
        data.setUrls(list);

        const bool takes = select != QLatin1String("-") || output != QLatin1String("-");
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &enter);
        QCOMPARE(enter.isAccepted(), takes);
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &drop);

        auto expected = [&](const QString &relative, const char *before) {
            return relative == QLatin1String("-") ? QString::fromLatin1(before) : path(relative);
        };
        QCOMPARE(window.txtSelect->text(), expected(select, "before-select"));
        QCOMPARE(window.txtOutput->text(), expected(output, "before-output"));
        QCOMPARE(window.cmbExtent->currentText(), extension);
    }
};

QTEST_MAIN(TestFolderDrop)
#include "test_folder_drop.moc"
