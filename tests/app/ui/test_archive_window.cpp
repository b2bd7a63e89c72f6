// The window from end to end: fields set as a user sets them, "抽出(&S)", a
// row unmarked by a double click, "圧縮(&A)", then the archives on disk read
// back by independent readers and compared byte for byte.

#include "app/ui/frm_sheaf.h"
#include "archiver/fault_injection.h"
#include "base/ui/message_box.h"
#include "base/ui/translations.h"
#include "selection/ui/grid_view.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/stat.h>

using sheaf::ui::FrmSheaf;
using sheaf::ui::MessageBoxRecord;
namespace t = sheaf::test;

class TestArchiveWindow : public QObject
{
    Q_OBJECT
    QList<MessageBoxRecord> m_boxes;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root, m_out;

    std::unique_ptr<FrmSheaf> openWindow()
    {
        auto w = std::make_unique<FrmSheaf>(m_dir->filePath(QStringLiteral("kwSheaf.ini")));
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return nullptr;
        return w;
    }
    static void type(QLineEdit *field, const QString &text)
    {
        field->setFocus();
        field->selectAll();
        // QTest types ASCII only; the paths hold Japanese.
        field->insert(text);
    }
    static void click(QAbstractButton *button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    // Fills the fields as a user does and runs the selection command.
    void selectFiles(FrmSheaf &w, const QString &extension)
    {
        type(w.txtSelect, QDir::toNativeSeparators(m_root));
        type(w.txtOutput, QDir::toNativeSeparators(m_out));
        if (!w.chkSelect->isChecked())
            click(w.chkSelect);
        w.cmbExtent->setFocus();
        w.cmbExtent->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), extension);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::mouseClick(w.cmdSelect, Qt::LeftButton);
    }
    int rowOf(const FrmSheaf &w, const QString &name)
    {
        auto &list = const_cast<FrmSheaf &>(w).list();
        for (int i = 1; i <= list.FileCount; ++i)
            if (list.FileName[i] == name)
                return i;
        return 0;
    }
    // Extracts `archive` with the reader for its kind into a fresh folder.
    QString extract(const QString &archive)
    {
        const QString into = m_dir->filePath(QStringLiteral("x-") + QFileInfo(archive).fileName());
        QDir().mkpath(into);
        t::ToolResult r;
        if (archive.endsWith(QLatin1String(".lzh")))
            r = t::runTool(QStringLiteral("lhasa"), {QStringLiteral("-xw=") + into, archive});
        else if (archive.endsWith(QLatin1String(".zip")))
            r = t::runTool(QStringLiteral("7zz"),
                {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + into, archive});
        else
            r = t::runTool(QStringLiteral("cabextract"),
                {QStringLiteral("-q"), QStringLiteral("-d"), into, archive});
        if (r.exitCode != 0)
            qWarning("reader failed on %s: %s %s", qPrintable(archive), r.out.constData(),
                r.err.constData());
        return r.exitCode == 0 ? into : QString();
    }
    // The bytes of the file called `name` anywhere below `root`. LZH readers
    // write the names as stored, in code page 932, so either form counts.
    static QByteArray find(const QString &root, const QString &name)
    {
        QStringEncoder sjis("Shift_JIS");
        const QByteArray forms[] {name.toUtf8(), sjis(name)};
        namespace fs = std::filesystem;
        for (const auto &entry :
            fs::recursive_directory_iterator(QFile::encodeName(root).toStdString())) {
            const std::string raw = entry.path().filename().string();
            for (const QByteArray &form : forms) {
                if (entry.is_regular_file() && raw == form.toStdString()) {
                    std::ifstream in(entry.path(), std::ios::binary);
                    return QByteArray::fromStdString(
                        std::string(std::istreambuf_iterator<char>(in), {}));
                }
            }
        }
        return QByteArray("<missing>");
    }
    static int fileCount(const QString &root)
    {
        int n = 0;
        for (const auto &entry :
            std::filesystem::recursive_directory_iterator(QFile::encodeName(root).toStdString()))
            n += entry.is_regular_file() ? 1 : 0;
        return n;
    }

    // Three folders of one file each; the second file is 3 MiB, so that
    // with a slow disk its archive takes a while. Archives go to m_out.
    void makeRunTree()
    {
        QVERIFY(QDir(m_root).removeRecursively());
        t::writeFile(m_root + QStringLiteral("/1/a.txt"), t::randomBytes(5000, 5));
        t::writeFile(m_root + QStringLiteral("/2/b.txt"), t::randomBytes(3 << 20, 6));
        t::writeFile(m_root + QStringLiteral("/3/c.txt"), t::randomBytes(5000, 7));
    }
    QStringList outFiles() const
    {
        return QDir(m_out).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // Runs "圧縮(&A)" on the run tree with every write of the engine slowed
    // down; `during` is called once while b.txt's archive is being written.
    void runSlowly(FrmSheaf &w, const std::function<void()> &during)
    {
        click(w.chkOutput);
        selectFiles(w, QStringLiteral(".txt"));
        QCOMPARE(w.list().FileCount, 3);
        sheaf::archiver::injectWriteDelay(150);
        auto readingB = std::make_shared<std::atomic<bool>>(false);
        sheaf::archiver::setSourceReadHook([readingB](const std::filesystem::path &file, uint64_t) {
            if (file.filename() == "b.txt")
                readingB->store(true);
        });
        QTimer watch;
        bool done = false;
        connect(&watch, &QTimer::timeout, this, [&] {
            // a.lzh is made and b's archive (the slow one) is being written.
            const bool writingB = QFileInfo::exists(m_out + QStringLiteral("/a.lzh"))
                && readingB->load() && !QFileInfo::exists(m_out + QStringLiteral("/b.lzh"));
            if (!done && writingB) {
                done = true;
                during();
            }
        });
        watch.start(10);
        QTest::mouseClick(w.cmdArchive, Qt::LeftButton);
        sheaf::archiver::injectWriteDelay(0);
        sheaf::archiver::setSourceReadHook({});
        QVERIFY(done);
    }
    // After a stop: no temporary file, a.lzh whole, b.lzh never made; c.lzh
    // whole if a worker made it before the stop, else absent.
    void checkStopped()
    {
        QVERIFY2(outFiles().filter(QStringLiteral(".sheaf-")).isEmpty(),
            qPrintable(outFiles().join(u' ')));
        checkMade(QStringLiteral("a.lzh"), QStringLiteral("1/a.txt"));
        QVERIFY(!QFileInfo::exists(m_out + QStringLiteral("/b.lzh")));
        if (QFileInfo::exists(m_out + QStringLiteral("/c.lzh")))
            checkMade(QStringLiteral("c.lzh"), QStringLiteral("3/c.txt"));
    }
    void checkMade(const QString &archive, const QString &source)
    {
        const QString extracted = extract(m_out + QLatin1Char('/') + archive);
        QVERIFY(!extracted.isEmpty());
        QCOMPARE(
            find(extracted, QFileInfo(source).fileName()), t::readFile(m_root + u'/' + source));
    }

private slots:
    void init()
    {
        m_boxes.clear();
        sheaf::ui::setMessageBoxHook([this](const MessageBoxRecord &b) { m_boxes << b; });
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->filePath(QStringLiteral("元"));
        m_out = m_dir->filePath(QStringLiteral("出力"));
        QDir().mkpath(m_out);
        t::writeFile(m_root + QStringLiteral("/docs/a.txt"), t::randomBytes(70000, 1));
        t::writeFile(m_root + QStringLiteral("/docs/b.txt"), t::randomBytes(1000, 2));
        t::writeFile(m_root + QStringLiteral("/日本語/議事録.txt"),
            QByteArray(50000, 'z') + t::randomBytes(3000, 3));
        t::writeFile(m_root + QStringLiteral("/日本語/添付.dat"), t::randomBytes(500, 4));
        t::writeFile(m_root + QStringLiteral("/空/empty.txt"), QByteArray());
    }
    void cleanup()
    {
        sheaf::ui::setMessageBoxHook({});
        // Names the LZH reader wrote in code page 932 are no UTF-8: Qt cannot
        // name them to remove them.
        std::filesystem::remove_all(QFile::encodeName(m_dir->path()).toStdString());
    }

    void selectUnmarkAndCompress_data()
    {
        QTest::addColumn<QString>("archiver");
        QTest::addColumn<QString>("reader");
        QTest::addColumn<bool>("output");
        QTest::addColumn<bool>("together");
        QTest::newRow("LHA beside the files") << "optLzh"
                                              << "lhasa" << false << false;
        QTest::newRow("LHA in the output folder") << "optLzh"
                                                  << "lhasa" << true << false;
        QTest::newRow("ZIP in the output folder") << "optZip"
                                                  << "7zz" << true << false;
        QTest::newRow("CAB beside the files") << "optCab"
                                              << "cabextract" << false << false;
        QTest::newRow("LHA, whole folder") << "optLzh"
                                           << "lhasa" << false << true;
    }
    void selectUnmarkAndCompress()
    {
        QFETCH(QString, archiver);
        QFETCH(QString, reader);
        QFETCH(bool, output);
        QFETCH(bool, together);
        SHEAF_REQUIRE_TOOL(reader);
        auto w = openWindow();
        QVERIFY(w);
        click(w->findChild<QRadioButton *>(archiver));
        if (output)
            click(w->chkOutput);
        if (together)
            click(w->chkTogether);
        // A named pipe beside 議事録.txt: the whole folder's archive leaves it out.
        const QString pipe = m_root + QStringLiteral("/日本語/管.fifo");
        QVERIFY(!together || mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        selectFiles(*w, QStringLiteral(".txt"));
        QCOMPARE(w->list().FileCount, 4);
        QCOMPARE(w->lblMsg->text(), QStringLiteral("4件、抽出しました"));
        QCOMPARE(w->lblCount->text(), QStringLiteral("(4)"));

        // b.txt leaves the batch: a double click on its row. With the whole
        // folder going into one archive, docs/ may hold only one marked file.
        auto *grid = w->grdList;
        const int b = rowOf(*w, QStringLiteral("b.txt"));
        QVERIFY(b > 0);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
            grid->visualRect(grid->model()->index(b - 1, 3)).center());
        QCOMPARE(w->list().FileMark[b], QString());

        QTest::mouseClick(w->cmdArchive, Qt::LeftButton);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0).text));
        // What was left out shows as the status line's tool tip.
        QCOMPARE(w->lblMsg->text(),
            together ? QStringLiteral("圧縮しました（除外 1 件）")
                     : QStringLiteral("圧縮しました"));
        QCOMPARE(w->lblMsg->toolTip().contains(pipe), together);
        QCOMPARE(w->lblCount->text(), QStringLiteral("(4/4)"));
        QVERIFY(!w->cmdSelect->isEnabled());
        QVERIFY(!w->cmdArchive->isEnabled());

        const QString ext = archiver == QLatin1String("optLzh") ? QStringLiteral(".lzh")
            : archiver == QLatin1String("optZip")               ? QStringLiteral(".zip")
                                                                : QStringLiteral(".cab");
        struct Made
        {
            QString folder, base, file;
        };
        const QList<Made> made {{"docs", "a", "a.txt"}, {"日本語", "議事録", "議事録.txt"},
            {"空", "empty", "empty.txt"}};
        for (const Made &m : made) {
            const QString folder = m_root + QLatin1Char('/') + m.folder;
            const QString archive = (output ? m_out : folder) + QLatin1Char('/') + m.base + ext;
            QVERIFY2(QFileInfo::exists(archive), qPrintable(archive));
            const QString extracted = extract(archive);
            QVERIFY(!extracted.isEmpty());
            QCOMPARE(find(extracted, m.file), t::readFile(folder + QLatin1Char('/') + m.file));
            if (together && m.folder == QLatin1String("日本語"))
                QCOMPARE(find(extracted, QStringLiteral("添付.dat")),
                    t::readFile(folder + QStringLiteral("/添付.dat")));
            if (!together)
                QCOMPARE(fileCount(extracted), 1);
        }
        // The unmarked file made no archive.
        QVERIFY(!QFileInfo::exists(
            (output ? m_out : m_root + QStringLiteral("/docs")) + QStringLiteral("/b") + ext));

        // "消去(&C)" opens the next batch.
        QTest::mouseClick(w->cmdClear, Qt::LeftButton);
        QVERIFY(w->cmdSelect->isEnabled());
        QVERIFY(w->cmdArchive->isEnabled());
        QCOMPARE(w->list().FileCount, 0);
        QCOMPARE(w->lblMsg->toolTip(), QStringLiteral("メッセージが表示されます。"));
    }

    void refusedBeforeTheRun()
    {
        auto w = openWindow();
        QVERIFY(w);
        click(w->chkName);
        click(w->chkTogether);
        selectFiles(*w, QStringLiteral(".txt"));
        QCOMPARE(w->list().FileCount, 4);
        QTest::mouseClick(w->cmdArchive, Qt::LeftButton);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].title, QStringLiteral("kwSheaf"));
        QCOMPARE(m_boxes[0].icon, QMessageBox::NoIcon);
        QCOMPARE(m_boxes[0].text,
            QStringLiteral("*.txtが複数存在しているフォルダが有ります。\r"
                           "名前指定は出来ません！"));
        // Nothing changed: labels, buttons and files stay.
        QCOMPARE(w->lblMsg->text(), QStringLiteral("4件、抽出しました"));
        QVERIFY(w->cmdArchive->isEnabled());
        QVERIFY(QFileInfo::exists(m_root + QStringLiteral("/docs/a.txt")));
    }

    void failedArchiveStopsTheRun()
    {
        auto w = openWindow();
        QVERIFY(w);
        click(w->chkOutput);
        selectFiles(*w, QStringLiteral(".txt"));
        QCOMPARE(w->list().FileCount, 4);
        // The output folder is gone by the time the run starts.
        QVERIFY(QDir(m_out).removeRecursively());
        QTest::mouseClick(w->cmdArchive, Qt::LeftButton);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].title, QStringLiteral("kwSheaf120"));
        // The box and the status line name the file the run stopped at.
        QCOMPARE(m_boxes[0].text,
            QStringLiteral("圧縮に失敗しました．\r") + m_root + QStringLiteral("/docs/a.txt"));
        QCOMPARE(m_boxes[0].icon, QMessageBox::Warning);
        QVERIFY(!m_boxes[0].detail.isEmpty());
        QVERIFY(!m_boxes[0].detail.contains(QLatin1Char('\n')));
        QCOMPARE(w->lblMsg->text(), QStringLiteral("圧縮できなかったため中断しました\na.txt"));
        QCOMPARE(w->lblCount->text(), QStringLiteral("(1/4)"));
        QVERIFY(!w->cmdSelect->isEnabled());
        QVERIFY(!w->cmdArchive->isEnabled());
    }

    // Esc during a run stops it: the unfinished archive's temporary file is
    // gone, the archive made before it stays whole, no later one is made.
    // The close box and 終了 stop it the same way, then close the window and
    // save the settings. While it runs the status line says how to stop it,
    // and the controls that would do nothing are greyed.
    void stopDuringTheRun_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("close box") << "close";
        QTest::newRow("終了") << "cmdQuit";
    }
    void stopDuringTheRun()
    {
        QFETCH(QString, how);
        SHEAF_REQUIRE_TOOL(QStringLiteral("lhasa"));
        makeRunTree();
        const QString ini = m_dir->filePath(QStringLiteral("kwSheaf.ini"));
        auto w = openWindow();
        QVERIFY(w);
        runSlowly(*w, [&] {
            QVERIFY(w->lblMsg->text().endsWith(QStringLiteral("（Esc で中止できます）")));
            for (QWidget *idle : {(QWidget *)w->cmdClear, (QWidget *)w->txtSelect,
                     (QWidget *)w->chkName, (QWidget *)w->optZip, (QWidget *)w->cmbExtent})
                QVERIFY2(!idle->isEnabled(), qPrintable(idle->objectName()));
            QVERIFY(w->cmdQuit->isEnabled());
            if (how == QLatin1String("Esc"))
                QTest::keyClick(w->grdList, Qt::Key_Escape);
            else if (how == QLatin1String("close"))
                w->close();
            else
                QTest::mouseClick(w->cmdQuit, Qt::LeftButton);
        });
        checkStopped();
        if (how == QLatin1String("Esc")) {
            QCOMPARE(w->lblMsg->text(), QStringLiteral("圧縮を中止しました"));
            QVERIFY(m_boxes.isEmpty());
            QVERIFY(!w->isBusy());
            QVERIFY(w->cmdClear->isEnabled() && w->txtSelect->isEnabled());
            QVERIFY(!w->cmdArchive->isEnabled());
        } else {
            QTRY_VERIFY(!w->isVisible());
            QVERIFY(QFileInfo::exists(ini));
        }
    }

    // While one archive is written the window paints and its timers fire,
    // but a click reaches no control.
    void aliveWhileAnArchiveIsWritten()
    {
        SHEAF_REQUIRE_TOOL(QStringLiteral("lhasa"));
        makeRunTree();
        auto w = openWindow();
        QVERIFY(w);
        struct PaintCounter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                paints += event->type() == QEvent::Paint;
                return false;
            }
        } counter;
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
        bool progressShown = false;
        connect(w.get(), &QWidget::windowTitleChanged, this,
            [&](const QString &title) { progressShown |= title.endsWith(u'%'); });
        runSlowly(*w, [&] {
            w->lblMsg->installEventFilter(&counter);
            tick.start(20);
            // Waits here on the window's thread, as a user would, for the
            // archive still being written.
            QTest::mouseClick(w->cmdClear, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(ticks >= 5, 5000);
            w->lblMsg->update();
            QTRY_VERIFY_WITH_TIMEOUT(counter.paints > 0, 5000);
            QVERIFY(w->isBusy());
            QVERIFY(!w->lblCount->text().isEmpty());
            QCOMPARE(w->list().FileCount, 3); // the click did not clear the list
        });
        // Each archive's share of bytes read showed in the title, which is
        // plain again after the run.
        QVERIFY(progressShown);
        QCOMPARE(w->lblMsg->text(), QStringLiteral("圧縮しました"));
        QVERIFY(!w->windowTitle().endsWith(u'%'));
        checkMade(QStringLiteral("a.lzh"), QStringLiteral("1/a.txt"));
        checkMade(QStringLiteral("b.lzh"), QStringLiteral("2/b.txt"));
        checkMade(QStringLiteral("c.lzh"), QStringLiteral("3/c.txt"));
    }

    // The toolkit's texts are Japanese: a text field's context menu, and the
    // failure box, which Enter closes with its details open.
    void toolkitTextsInJapanese()
    {
        QVERIFY(sheaf::ui::installToolkitTranslations());
        QLineEdit field;
        const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
        QCOMPARE(
            menu->actions().value(0)->text().section(u'\t', 0, 0), QStringLiteral("元に戻す(&U)"));

        auto box = sheaf::ui::makeMessageBox(nullptr,
            {QStringLiteral("kwSheaf120"), QStringLiteral("圧縮に失敗しました．"),
                QStringLiteral("理由"), QMessageBox::Warning});
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QAbstractButton *details = nullptr;
        for (QAbstractButton *b : box->findChildren<QAbstractButton *>())
            if (box->button(QMessageBox::Ok) != b)
                details = b;
        QVERIFY(details);
        QCOMPARE(details->text(), QStringLiteral("詳細を表示..."));
        QTest::mouseClick(details, Qt::LeftButton);
        QCOMPARE(details->text(), QStringLiteral("詳細を隠す..."));
        QCOMPARE(box->button(QMessageBox::Ok)->text(), QStringLiteral("OK"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!box->isVisible());
        QCOMPARE(box->clickedButton(), box->button(QMessageBox::Ok));

        // A long name wraps inside the box instead of running past its edge.
        auto named = sheaf::ui::makeMessageBox(nullptr,
            {QStringLiteral("kwSheaf"),
                QStringLiteral("名前に “\"” が含まれています。\r/tmp/q/") + QString(180, u'x')
                    + QStringLiteral(".TXT"),
                QString(), QMessageBox::Warning});
        named->show();
        QVERIFY(QTest::qWaitForWindowExposed(named.get()));
        const auto *label = named->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        const QRect room = label->contentsRect();
        QVERIFY(
            QFontMetrics(label->font()).boundingRect(room, Qt::TextWordWrap, label->text()).width()
            <= room.width());
    }
};

QTEST_MAIN(TestArchiveWindow)
#include "test_archive_window.moc"
