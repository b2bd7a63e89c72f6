// The folder picker frmFolder with the main window that opens it.

#include "app/ui/frm_sheaf.h"
#include "base/ui/message_box.h"
#include "choice/ui/folder_buttons.h"
#include "choice/ui/frm_folder.h"
#include "support/temp_tree.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <memory>

using sheaf::ui::FrmFolder;
using sheaf::ui::FrmSheaf;
using sheaf::ui::MessageBoxRecord;

class TestFrmFolder : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QList<MessageBoxRecord> m_boxes;
    std::unique_ptr<FrmSheaf> m_w;

    // Opens an entry of the directory list as a double click does.
    static void open(FrmFolder *picker, const QString &path)
    {
        for (int i = 0; i < picker->dirList->count(); ++i) {
            QListWidgetItem *item = picker->dirList->item(i);
            if (item->data(Qt::UserRole).toString() == path) {
                const QRect r = picker->dirList->visualItemRect(item);
                // A real double click begins with a press.
                QTest::mouseClick(picker->dirList->viewport(), Qt::LeftButton, {}, r.center());
                QTest::mouseDClick(picker->dirList->viewport(), Qt::LeftButton, {}, r.center());
                return;
            }
        }
        QFAIL(qPrintable(QStringLiteral("not in the list: ") + path));
    }

private slots:
    void init()
    {
        m_boxes.clear();
        sheaf::ui::setMessageBoxHook([this](const MessageBoxRecord &b) { m_boxes << b; });
        sheaf::test::writeFile(m_dir.filePath(QStringLiteral("work/sub/x.txt")), "x");
        QDir::setCurrent(m_dir.filePath(QStringLiteral("work")));
        m_w = std::make_unique<FrmSheaf>(m_dir.filePath(QStringLiteral("kwSheaf.ini")));
        m_w->txtSelect->setText(QStringLiteral("/select"));
        m_w->txtOutput->setText(QStringLiteral("/output"));
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
    }
    void cleanup()
    {
        m_w.reset();
        sheaf::ui::setMessageBoxHook({});
    }

    void layout()
    {
        QVERIFY(!m_w->folderPicker()); // created on first use
        QTest::mouseClick(m_w->cmdSelinp, Qt::LeftButton);
        FrmFolder *picker = m_w->folderPicker();
        QVERIFY(picker && picker->isVisible());
        QVERIFY(!picker->isModal());
        QCOMPARE(picker->windowTitle(), QStringLiteral("フォルダの設定"));
        QVERIFY(!picker->windowIcon().isNull());
        QCOMPARE(picker->size(), QSize(203, 297));
        QCOMPARE(picker->drvList->geometry(), QRect(8, 8, 185, 20));
        QCOMPARE(picker->dirList->geometry(), QRect(8, 32, 185, 216));
        QCOMPARE(picker->cmdOk->geometry(), QRect(8, 256, 89, 33));
        QCOMPARE(picker->cmdNo->geometry(), QRect(104, 256, 89, 33));
        QCOMPARE(picker->cmdOk->text(), QStringLiteral("設定(&S)"));
        QCOMPARE(picker->cmdNo->text(), QStringLiteral("取消(&C)"));
        QCOMPARE(picker->drvList->itemData(0).toString(), QStringLiteral("/"));
        // The first opening shows the working folder, whatever the field holds.
        QCOMPARE(picker->path(), m_dir.filePath(QStringLiteral("work")));
        QCOMPARE(m_w->folderButtons()->CallBack, QStringLiteral("txtSelect"));
        // Not modal: the main window's commands still run.
        m_w->cmdClear_Click();
        // Owned by the main window (kept above it), and Esc cancels.
        QCOMPARE(picker->windowHandle()->transientParent(), m_w->windowHandle());
        QTest::keyClick(picker->dirList, Qt::Key_Escape);
        QVERIFY(!picker->isVisible());
    }

    void cancelAndOk()
    {
        const QString work = m_dir.filePath(QStringLiteral("work"));
        QTest::mouseClick(m_w->cmdSelinp, Qt::LeftButton);
        FrmFolder *picker = m_w->folderPicker();
        open(picker, work + QStringLiteral("/sub"));
        QCOMPARE(picker->path(), work + QStringLiteral("/sub"));
        // Cancel writes nothing and hides the picker, which keeps its folder.
        QTest::mouseClick(picker->cmdNo, Qt::LeftButton);
        QVERIFY(!picker->isVisible());
        QCOMPARE(m_w->txtSelect->text(), QStringLiteral("/select"));
        QTest::mouseClick(m_w->cmdSelinp, Qt::LeftButton);
        QCOMPARE(m_w->folderPicker(), picker);
        QCOMPARE(picker->path(), work + QStringLiteral("/sub"));

        // Opened for the selection folder, then for the output folder: OK
        // fills the field of the latest opening only.
        QTest::mouseClick(m_w->cmdOutinp, Qt::LeftButton);
        // A highlighted entry is not the chosen folder: the open one is.
        picker->dirList->setCurrentRow(0);
        QTest::mouseClick(picker->cmdOk, Qt::LeftButton);
        QVERIFY(!picker->isVisible());
        QCOMPARE(m_w->txtOutput->text(), work + QStringLiteral("/sub"));
        QCOMPARE(m_w->txtSelect->text(), QStringLiteral("/select"));
        QCOMPARE(m_w->list().FileCount, 0);
    }

    void rootAndDeepFolders()
    {
        QTest::mouseClick(m_w->cmdSelinp, Qt::LeftButton);
        FrmFolder *picker = m_w->folderPicker();
        open(picker, QStringLiteral("/"));
        QCOMPARE(picker->dirList->item(0)->text(), QStringLiteral("/"));
        QTest::mouseClick(picker->cmdOk, Qt::LeftButton);
        QCOMPARE(m_w->txtSelect->text(), QStringLiteral("/"));
        // 35 levels down every name still starts inside the list.
        QString deep = m_dir.filePath(QStringLiteral("work"));
        for (int i = 1; i <= 35; ++i)
            deep += QStringLiteral("/d%1").arg(i);
        QVERIFY(QDir().mkpath(deep + QStringLiteral("/last")));
        QVERIFY(picker->setPath(deep));
        const QFontMetrics fm(picker->dirList->font());
        for (int i = 0; i < picker->dirList->count(); ++i) {
            const QString text = picker->dirList->item(i)->text();
            const int indent = fm.horizontalAdvance(text.left(text.size() - text.trimmed().size()));
            QVERIFY2(indent <= picker->dirList->viewport()->width() / 3, qPrintable(text));
        }
    }

    void unreadableDrive()
    {
        QTest::mouseClick(m_w->cmdOutinp, Qt::LeftButton);
        FrmFolder *picker = m_w->folderPicker();
        const QString before = picker->path();
        const int drive = picker->drvList->currentIndex();
        picker->drvList->addItem(QStringLiteral("/media/none"), QStringLiteral("/media/none-here"));
        picker->drvList->setCurrentIndex(picker->drvList->count() - 1);
        picker->drvList_Change();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].title, QStringLiteral("kwSheaf"));
        QCOMPARE(m_boxes[0].icon, QMessageBox::NoIcon);
        // The error's number, then at once the platform's text.
        QVERIFY2(m_boxes[0].text.startsWith(QStringLiteral("2")), qPrintable(m_boxes[0].text));
        QVERIFY(m_boxes[0].text.size() > 2 && !m_boxes[0].text[1].isDigit()
            && !m_boxes[0].text[1].isSpace());
        QCOMPARE(picker->drvList->currentIndex(), drive);
        QCOMPARE(picker->path(), before);
        QCOMPARE(m_w->txtOutput->text(), QStringLiteral("/output"));
        QCOMPARE(m_w->txtSelect->text(), QStringLiteral("/select"));
    }

    void discardedAtShutdown()
    {
        QTest::mouseClick(m_w->cmdSelinp, Qt::LeftButton);
        QPointer<FrmFolder> picker = m_w->folderPicker();
        QVERIFY(picker);
        QTest::mouseClick(m_w->cmdQuit, Qt::LeftButton);
        QVERIFY(!m_w->isVisible());
        QVERIFY(picker.isNull());
        QVERIFY(QFileInfo::exists(m_dir.filePath(QStringLiteral("kwSheaf.ini"))));
    }
};

QTEST_MAIN(TestFrmFolder)
#include "test_frm_folder.moc"
