// The main window on the offscreen platform: its controls, start-up state,
// clear command, switches, extension field, selection command, grid and
// layout on resize.

#include "app/ui/control_table.h"
#include "app/ui/frm_sheaf.h"
#include "base/ui/classic_frame.h"
#include "base/ui/message_box.h"
#include "selection/candidate_model.h"
#include "selection/selection_texts.h"
#include "selection/ui/grid_view.h"
#include "support/temp_tree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <memory>
#include <qpa/qwindowsysteminterface.h>

using sheaf::ui::ClassicFrame;
using sheaf::ui::ControlRow;
using sheaf::ui::FrmSheaf;
using sheaf::ui::GridView;
using sheaf::ui::MessageBoxRecord;

class TestFrmSheaf : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QList<MessageBoxRecord> m_boxes;

    QString ini() const { return m_dir.filePath(QStringLiteral("kwSheaf.ini")); }
    std::unique_ptr<FrmSheaf> window() { return std::make_unique<FrmSheaf>(ini()); }
    // A selection folder with three .txt files, one of them in a subfolder.
    QString makeTree()
    {
        const QString root = m_dir.filePath(QStringLiteral("tree"));
        sheaf::test::writeFile(root + QStringLiteral("/a.txt"), "alpha");
        sheaf::test::writeFile(root + QStringLiteral("/b.TXT"), "bravo");
        sheaf::test::writeFile(root + QStringLiteral("/c.dat"), "charlie");
        sheaf::test::writeFile(root + QStringLiteral("/sub/d.txt"), "delta");
        return root;
    }
    void select(FrmSheaf &w, const QString &folder, bool subfolders)
    {
        w.txtSelect->setText(folder);
        w.txtOutput->setText(folder);
        w.chkSelect->setChecked(subfolders);
        w.cmdSelect_Click();
    }

private slots:
    void init()
    {
        QFile::remove(ini());
        m_boxes.clear();
        sheaf::ui::setMessageBoxHook([this](const MessageBoxRecord &b) { m_boxes << b; });
    }
    void cleanup() { sheaf::ui::setMessageBoxHook({}); }

    // Properties of the control table as built: each control inside the
    // border of its container, no two siblings overlapping, the tab order.
    void controlLayout()
    {
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QList<QWidget *> placed;
        for (const ControlRow &row : sheaf::ui::controlTable()) {
            auto *control = w->findChild<QWidget *>(QLatin1String(row.name));
            QVERIFY2(control, row.name);
            QWidget *container = control->parentWidget();
            QCOMPARE(container->objectName(), QLatin1String(row.container));
            const auto *frame = qobject_cast<ClassicFrame *>(container);
            const QRect room = frame ? frame->innerRect() : container->rect();
            QVERIFY2(room.contains(control->geometry()), row.name);
            if (frame) // below the caption, too
                QVERIFY2(control->y() >= frame->captionRect().bottom(), row.name);
            // What a button draws (its size hint) keeps 6 px from the next control.
            QRect drawn = control->geometry();
            if (qobject_cast<QAbstractButton *>(control))
                drawn.setWidth(std::min(control->sizeHint().width(), drawn.width()) + 6);
            for (QWidget *other : placed) {
                if (other->parentWidget() == container)
                    QVERIFY2(!other->geometry().intersects(drawn)
                            && !other->geometry().intersects(control->geometry()),
                        qPrintable(other->objectName() + u' ' + row.name));
            }
            placed << control;
        }
        // The tab order: the table's indexes, each control once.
        QList<const ControlRow *> inOrder;
        for (const ControlRow &row : sheaf::ui::controlTable())
            if (row.tabIndex >= 0)
                inOrder << &row;
        std::sort(inOrder.begin(), inOrder.end(),
            [](auto *a, auto *b) { return a->tabIndex < b->tabIndex; });
        QStringList expected, chain;
        for (const ControlRow *row : inOrder)
            expected << QLatin1String(row->name);
        QWidget *at = w->txtSelect;
        do {
            if (expected.contains(at->objectName()) && !chain.contains(at->objectName()))
                chain << at->objectName();
            at = at->nextInFocusChain();
        } while (at != w->txtSelect);
        QCOMPARE(chain, expected);
        QCOMPARE(expected.size(), 17);
        QCOMPARE(QApplication::focusWidget(), w->txtSelect);
    }

    // The window at its start-up size with the widest contents it can get:
    // every text that it shows fits its place, measured with the font of the
    // widget that shows it.
    void everyTextFits()
    {
        const QString root = m_dir.filePath(QStringLiteral("wide"));
        const QString deep
            = root + QStringLiteral("/とても長いフォルダの名前です/二番目/最後のフォルダ");
        QDir().mkpath(deep);
        {
            // Sparse; wider than the size column's own width, which grows.
            QFile huge(root + QStringLiteral("/巨大.txt"));
            QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(12'345'678'901'234LL));
        }
        for (int i = 1; i < sheaf::CandidateList::Capacity + 5; ++i) {
            QFile f(deep + QStringLiteral("/f%1.txt").arg(i));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->cmbExtent->setEditText(QStringLiteral(".txt"));
        select(*w, root, true);
        QCOMPARE(w->list().FileCount, sheaf::CandidateList::Capacity);
        (void)w->grab(); // painted once with everything in it

        auto fits = [](QWidget *widget, const QString &text, QRect room) {
            const QFontMetrics fm(widget->font());
            const QRect need = fm.boundingRect(
                room, Qt::TextWordWrap | Qt::TextShowMnemonic | Qt::AlignLeft, text);
            if (room.contains(need))
                return true;
            qWarning("%s: %s needs %dx%d, has %dx%d", qPrintable(widget->objectName()),
                qPrintable(text), need.width(), need.height(), room.width(), room.height());
            return false;
        };
        // The status line and the counter with their widest texts.
        sheaf::ScanResult full;
        full.listFull = true;
        full.skippedFolders = 99999;
        const QStringList statuses {sheaf::selection_texts::finalStatus(30000, full),
            QStringLiteral("圧縮しています、しばらくお待ち下さい（Esc で中止できます）"),
            QStringLiteral("圧縮できなかったため中断しました\n") + QString(26, u'名'),
            QStringLiteral("圧縮を中止しました"), sheaf::selection_texts::scanning(),
            sheaf::selection_texts::sorting(), sheaf::selection_texts::showing()};
        for (const QString &status : statuses)
            QVERIFY(fits(w->lblMsg, status, w->lblMsg->contentsRect()));
        // The widest extensions the field takes, with the field's margins.
        for (const QString &extension : {QStringLiteral(".WWWW"), QStringLiteral(".テキスト")}) {
            QLineEdit *field = w->cmbExtent->lineEdit();
            QVERIFY2(QFontMetricsF(field->font()).horizontalAdvance(extension) + 4
                    <= field->contentsRect().width(),
                qPrintable(extension));
        }
        for (const QString &counter :
            {QStringLiteral("(30,000/30,000)"), QStringLiteral("(30,000)")})
            QVERIFY(QFontMetricsF(w->lblCount->font()).horizontalAdvance(counter)
                <= w->lblCount->contentsRect().width());
        // Captions: frames, buttons and both captions of every switch.
        for (auto *frame : w->findChildren<ClassicFrame *>())
            QVERIFY2(
                frame->captionRect().right() + 4 < frame->width(), qPrintable(frame->objectName()));
        for (QCheckBox *box : {w->chkSelect, w->chkOutput, w->chkName, w->chkTogether}) {
            for (int i = 0; i < 2; ++i) {
                box->toggle();
                QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->text()));
            }
        }
        for (auto *button : w->findChildren<QAbstractButton *>())
            if (!qobject_cast<QCheckBox *>(button))
                QVERIFY2(button->sizeHint().width() <= button->width() + 6,
                    qPrintable(button->objectName()));
        // The grid: numbers, marks, times and sizes whole in every row; the
        // folder and file name columns give their full text as a tool tip.
        auto *grid = w->grdList;
        const QFontMetrics fm(grid->font());
        // The grid is not wider than its view: the last column is not cut
        // at the edge (a size would read short).
        QVERIFY(grid->horizontalHeader()->length() <= grid->viewport()->width());
        for (int column : {0, 1, 4, 5}) {
            // The view elides what its room cannot hold, fractions included.
            const int room = grid->columnWidth(column) - 1 - 2 * GridView::CellMargin;
            QSet<QString> seen;
            for (int row = 1; row <= w->list().FileCount; ++row) {
                const QString text = w->model()->cellText(row, column);
                if (!seen.contains(text)) {
                    seen.insert(text);
                    QCOMPARE(fm.elidedText(text, Qt::ElideMiddle, room), text);
                }
            }
        }
        QCOMPARE(w->model()->cellText(1, 5), QStringLiteral("12,345,678,901,234"));
        const QPoint dirCell = grid->visualRect(grid->model()->index(1, 2)).center();
        QCOMPARE(grid->cutTextAt(dirCell), w->list().FileDir[2]);
        // A folder too long for its cell shows its end, where folders differ.
        const QString shown = grid->shownText(grid->model()->index(1, 2));
        QVERIFY2(shown.startsWith(u'…') && shown.endsWith(QStringLiteral("フォルダ/")),
            qPrintable(shown));
        QHelpEvent help(QEvent::ToolTip, dirCell, grid->viewport()->mapToGlobal(dirCell));
        QApplication::sendEvent(grid->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), w->list().FileDir[2]);
        QCOMPARE(grid->cutTextAt(grid->visualRect(grid->model()->index(1, 5)).center()), QString());
    }

    // The wheel over a closed combo box without focus changes nothing; with
    // the focus, a step is a choice from the list.
    void wheelGoesToTheFocusedControl()
    {
        auto w = window();
        select(*w, makeTree(), false);
        QCOMPARE(w->list().FileCount, 2);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        auto wheel = [&](QWidget *target) {
            const QPoint at = target->rect().center();
            QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(target, &event);
        };
        w->txtSelect->setFocus();
        wheel(w->cmbExtent);
        wheel(w->cmbExtent->lineEdit());
        QCOMPARE(w->cmbExtent->currentText(), QStringLiteral(".TXT"));
        QCOMPARE(w->list().FileCount, 2);
        QVERIFY(!w->timRefresh->isActive());
        w->cmbExtent->setFocus();
        QVERIFY(w->cmbExtent->hasFocus());
        wheel(w->cmbExtent);
        QCOMPARE(w->cmbExtent->currentText(), QStringLiteral(".EXE"));
        QCOMPARE(w->list().FileCount, 0);
        QVERIFY(w->timRefresh->isActive()); // a choice: it moves to the top
        QTRY_COMPARE(w->cmbExtent->itemText(0), QStringLiteral(".EXE"));
    }

    // Keys on a filled list: Enter on a focused button presses it, as Space
    // does; the access key of a disabled button (抽出 while the list is
    // filled) types nothing into the field that has the focus.
    void keysOnAFilledList_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("Return") << "cmdClear" << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
        QTest::newRow("keypad Enter")
            << "cmdClear" << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true;
        QTest::newRow("Space") << "cmdClear" << int(Qt::Key_Space) << int(Qt::NoModifier) << true;
        QTest::newRow("Alt+S in the folder field")
            << "txtSelect" << int(Qt::Key_S) << int(Qt::AltModifier) << false;
        QTest::newRow("Alt+S in the extension field")
            << "cmbExtent" << int(Qt::Key_S) << int(Qt::AltModifier) << false;
    }
    void keysOnAFilledList()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, cleared);
        auto w = window();
        select(*w, makeTree(), false);
        QCOMPARE(w->list().FileCount, 2);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->activateWindow();
        w->findChild<QWidget *>(focus)->setFocus();
        const QString folder = w->txtSelect->text();
        const QString extension = w->cmbExtent->currentText();
        QTest::keyClick(
            QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w->list().FileCount, cleared ? 0 : 2);
        QCOMPARE(w->cmdSelect->isEnabled(), cleared);
        QCOMPARE(w->txtSelect->text(), folder);
        QCOMPARE(w->cmbExtent->currentText(), extension);
    }

    void windowAndPictures()
    {
        auto w = window();
        QCOMPARE(w->windowTitle(), QStringLiteral("Sheaf（簡易版）"));
        QCOMPARE(w->objectName(), QStringLiteral("frmSheaf"));
        const QList<QSize> sizes = w->windowIcon().availableSizes();
        QVERIFY(sizes.contains(QSize(16, 16)));
        QVERIFY(sizes.contains(QSize(32, 32)));
        QVERIFY(!w->cmdSelinp->icon().isNull());
        QVERIFY(!w->cmdOutinp->icon().isNull());
        QCOMPARE(w->size(), QSize(FrmSheaf::InnerWidth, FrmSheaf::InnerHeight));
        // The font asked for, then fallbacks that show Japanese elsewhere.
        QVERIFY(w->font().families().contains(QStringLiteral("ＭＳ Ｐゴシック")));
        QCOMPARE(w->font().pixelSize(), 13); // 9.75 and 9 points at 96 dots per inch
        QCOMPARE(w->grdList->font().pixelSize(), 12);
        QVERIFY(w->font().families().contains(QStringLiteral("IPAPGothic")));
        QVERIFY(!w->timRefresh->isActive());
        QVERIFY(w->timRefresh->isSingleShot());
    }

    void gridHeaderAndFrozenColumn()
    {
        auto w = window();
        const QStringList headers {"№", "圧縮", "ディレクトリ", "ファイル名", "更新日時", "サイズ"};
        auto *model = w->grdList->model();
        QCOMPARE(model->columnCount(), 6);
        QCOMPARE(model->rowCount(), 0);
        for (int c = 0; c < 6; ++c)
            QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), headers[c]);

        // Column 0 stays in place when the grid scrolls sideways.
        w->resize(FrmSheaf::MinimumOuterWidth + 60, FrmSheaf::InnerHeight);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        select(*w, makeTree(), true);
        QTableView *frozen = w->grdList->frozenColumn();
        QVERIFY(frozen->isVisible());
        QCOMPARE(frozen->horizontalHeader()->isSectionHidden(0), false);
        for (int c = 1; c < 6; ++c)
            QVERIFY(frozen->isColumnHidden(c));
        const QRect before = frozen->geometry();
        QScrollBar *sideways = w->grdList->horizontalScrollBar();
        QVERIFY(sideways->maximum() > 0);
        sideways->setValue(sideways->maximum());
        QCOMPARE(frozen->geometry(), before);
        QCOMPARE(frozen->visualRect(model->index(0, 0)).x(), 0);
        QCOMPARE(frozen->model()->data(model->index(2, 0)).toString(), QStringLiteral("3"));

        // A width the user gives ディレクトリ stays through the next list; ファイル名
        // takes what is left.
        w->resize(1200, FrmSheaf::InnerHeight);
        w->grdList->horizontalHeader()->resizeSection(2, 150);
        w->cmdClear_Click();
        select(*w, makeTree(), true);
        QCOMPARE(w->grdList->columnWidth(2), 150);
        QCOMPARE(w->grdList->horizontalHeader()->length(), w->grdList->viewport()->width());
    }

    void startUpWithoutSettings()
    {
        auto w = window();
        QCOMPARE(w->list().FileCount, 0);
        QCOMPARE(w->grdList->model()->rowCount(), 0);
        QCOMPARE(w->lblMsg->text(), QString());
        QCOMPARE(w->lblCount->text(), QString());
        QVERIFY(w->cmdSelect->isEnabled());
        QVERIFY(w->cmdArchive->isEnabled());
        for (QCheckBox *box : {w->chkSelect, w->chkOutput, w->chkName, w->chkTogether})
            QCOMPARE(box->checkState(), Qt::Unchecked);
        QCOMPARE(w->txtSelect->text(), QDir::toNativeSeparators(QDir::currentPath()));
        QCOMPARE(w->txtOutput->text(), w->txtSelect->text());
        QCOMPARE(w->cmbExtent->currentText(), QStringLiteral(".TXT"));
        QCOMPARE(w->cmbExtent->count(), 2);
        QCOMPARE(w->cmbExtent->itemText(1), QStringLiteral(".EXE"));
        QVERIFY(w->optLzh->isChecked());
        QVERIFY(m_boxes.isEmpty());
    }

    void startUpFromFileAndSaveAtClose()
    {
        const QString selectFolder = m_dir.filePath(QStringLiteral("選択"));
        QByteArray content = "抽出チェック, 2 \r\n出力チェック, 1 \r\n名前チェック, 0 \r\n"
                             "一緒チェック, 1 \r\n抽出フォルダ,";
        content += selectFolder.toUtf8();
        content += "\r\n出力フォルダ,/out\r\n識別子,.DOC\r\n識別子,.TXT\r\n"
                   "上位置, 300 \r\n左位置, 600 \r\n";
        // The file is code page 932; the texts above are ASCII or go through
        // the UTF-8 form the reader accepts after a byte-order mark.
        sheaf::test::writeFile(ini(), QByteArray("\xEF\xBB\xBF") + content);
        {
            auto w = window();
            QCOMPARE(w->chkSelect->checkState(), Qt::PartiallyChecked);
            QCOMPARE(w->chkSelect->text(), QStringLiteral("指定フォルダからのみ抽出します"));
            QCOMPARE(
                w->chkOutput->text(), QStringLiteral("圧縮データを指定のフォルダに作成します"));
            QCOMPARE(
                w->chkTogether->text(), QStringLiteral("抽出対象以外のファイルも一緒に圧縮します"));
            QCOMPARE(w->chkName->text(), QStringLiteral("抽出ファイル名の変更はしません"));
            QCOMPARE(w->txtSelect->text(), selectFolder);
            QCOMPARE(w->txtOutput->text(), QStringLiteral("/out"));
            QCOMPARE(w->cmbExtent->currentText(), QStringLiteral(".DOC"));
            // No archiver line: LHA is chosen for the run.
            QVERIFY(w->optLzh->isChecked());
            QCOMPARE(w->pos(), QPoint(40, 20));
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.get()));
            w->txtOutput->setText(QStringLiteral("/elsewhere"));
            w->chkName->setChecked(true);
            w->close(); // the close box saves just as cmdQuit does
        }
        QFile saved(ini());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray text = saved.readAll();
        QVERIFY2(text.contains("/elsewhere\r\n"), text.constData());
        QVERIFY(text.contains("\r\n"));
        auto again = window();
        QCOMPARE(again->txtOutput->text(), QStringLiteral("/elsewhere"));
        QCOMPARE(again->chkName->checkState(), Qt::Checked);
        QCOMPARE(again->chkSelect->checkState(), Qt::PartiallyChecked);
        QCOMPARE(again->cmbExtent->count(), 2);
    }

    // Where the window opens: the file's position, kept when a later line
    // fails, and moved back onto the screen when it lies off every screen.
    void startUpPosition_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QPoint>("expected"); // (-1, -1): anywhere on the screen
        QTest::newRow("from the file")
            << QByteArray("上位置, 300 \r\n左位置, 600 \r\n") << QPoint(40, 20);
        QTest::newRow("kept before a failing line")
            << QByteArray("上位置, 300 \r\n左位置, 600 \r\n抽出チェック,x\r\n") << QPoint(40, 20);
        QTest::newRow("far off the screen")
            << QByteArray("上位置,99999999\r\n左位置,99999999\r\n") << QPoint(-1, -1);
    }
    void startUpPosition()
    {
        QFETCH(QByteArray, content);
        QFETCH(QPoint, expected);
        sheaf::test::writeFile(ini(), QByteArray("\xEF\xBB\xBF") + content);
        auto w = window();
        if (expected.x() >= 0) {
            QCOMPARE(w->pos(), expected);
            return;
        }
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(screen.contains(QRect(w->pos(), QSize(100, 23))));
    }

    void switchCaptions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("checked");
        QTest::addColumn<QString>("unchecked");
        QTest::newRow("chkSelect") << "chkSelect"
                                   << "サブフォルダ以下も抽出対象とします"
                                   << "指定フォルダからのみ抽出します";
        QTest::newRow("chkOutput") << "chkOutput"
                                   << "圧縮データを指定のフォルダに作成します"
                                   << "抽出データと同じ場所に圧縮データを作成します";
        QTest::newRow("chkName") << "chkName"
                                 << "抽出ファイル名をフォルダ名に変更します"
                                 << "抽出ファイル名の変更はしません";
        QTest::newRow("chkTogether") << "chkTogether"
                                     << "抽出対象以外のファイルも一緒に圧縮します"
                                     << "抽出対象ファイルのみ圧縮します";
    }
    void switchCaptions()
    {
        QFETCH(QString, name);
        QFETCH(QString, checked);
        QFETCH(QString, unchecked);
        auto w = window();
        select(*w, makeTree(), false);
        const int files = w->list().FileCount;
        QVERIFY(files > 0);
        const QString status = w->lblMsg->text();
        auto *box = w->findChild<QCheckBox *>(name);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const bool wasOn = box->isChecked();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QCOMPARE(box->isChecked(), !wasOn);
        QCOMPARE(box->text(), wasOn ? unchecked : checked);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QCOMPARE(box->text(), wasOn ? checked : unchecked);
        // A switch changes nothing but its caption.
        QCOMPARE(w->list().FileCount, files);
        QCOMPARE(w->lblMsg->text(), status);
        QVERIFY(!w->cmdSelect->isEnabled());
    }

    void clearCommand()
    {
        auto w = window();
        w->cmdClear_Click(); // an empty list clears without harm
        select(*w, makeTree(), true);
        QCOMPARE(w->list().FileCount, 3);
        QVERIFY(!w->cmdSelect->isEnabled());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTest::mouseClick(w->cmdClear, Qt::LeftButton);
        QCOMPARE(w->list().FileCount, 0);
        QVERIFY(w->list().FileName[1].isEmpty());
        QCOMPARE(w->grdList->model()->rowCount(), 0);
        QCOMPARE(w->lblMsg->text(), QString());
        QCOMPARE(w->lblCount->text(), QString());
        QVERIFY(w->cmdSelect->isEnabled());
        QVERIFY(w->cmdArchive->isEnabled());
    }

    void selectionCommand_data()
    {
        QTest::addColumn<bool>("subfolders");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("counter");
        QTest::newRow("top folder") << false << ".TXT" << 2 << "2件、抽出しました"
                                    << "(2)";
        QTest::newRow("with subfolders") << true << ".txt" << 3 << "3件、抽出しました"
                                         << "(3)";
        QTest::newRow("nothing found") << true << ".LZH" << 0 << "抽出データは有りませんでした"
                                       << "";
    }
    void selectionCommand()
    {
        QFETCH(bool, subfolders);
        QFETCH(QString, extension);
        QFETCH(int, count);
        QFETCH(QString, status);
        QFETCH(QString, counter);
        auto w = window();
        w->cmbExtent->setEditText(extension);
        const QString root = makeTree();
        select(*w, root, subfolders);
        QCOMPARE(w->list().FileCount, count);
        QCOMPARE(w->lblMsg->text(), status);
        QCOMPARE(w->lblCount->text(), counter);
        QCOMPARE(w->cmdSelect->isEnabled(), count == 0);
        QVERIFY(w->cmdArchive->isEnabled());
        QCOMPARE(w->grdList->model()->rowCount(), count);
        if (count > 0) {
            auto *model = w->model();
            QCOMPARE(model->cellText(1, 0), QStringLiteral("1"));
            QCOMPARE(model->cellText(1, 1), QStringLiteral("する"));
            QCOMPARE(model->cellText(1, 3), QStringLiteral("a.txt"));
            QCOMPARE(model->cellText(1, 5), QStringLiteral("5"));
            // Short sizes: サイズ only as wide as its header.
            QCOMPARE(
                w->grdList->columnWidth(5), w->grdList->horizontalHeader()->sectionSizeHint(5));
        }
        QVERIFY(m_boxes.isEmpty());
    }

    void selectionGuardsAndMissingFolder()
    {
        auto w = window();
        const QString root = makeTree();
        // Either folder field empty: nothing happens, nothing is shown.
        w->txtSelect->setText(root);
        w->txtOutput->clear();
        w->cmdSelect_Click();
        QCOMPARE(w->lblMsg->text(), QString());
        QVERIFY(w->cmdSelect->isEnabled());
        // An invalid typed extension falls back to the first entry (.TXT).
        w->txtOutput->setText(root);
        w->cmbExtent->setEditText(QStringLiteral("txt"));
        w->cmdSelect_Click();
        QCOMPARE(w->cmbExtent->currentText(), QStringLiteral(".TXT"));
        QCOMPARE(w->list().FileCount, 2);
        w->cmdClear_Click();
        // A selection folder that does not exist is named in a box.
        const QString missing = root + QStringLiteral("/無い");
        w->txtSelect->setText(missing);
        w->cmdSelect_Click();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].title, QStringLiteral("kwSheaf"));
        QVERIFY(m_boxes[0].text.contains(missing));
        QCOMPARE(w->list().FileCount, 0);
        QVERIFY(w->cmdSelect->isEnabled());
    }

    void doubleClickFlipsRows()
    {
        auto w = window();
        const QString root = m_dir.filePath(QStringLiteral("seven"));
        for (int i = 1; i <= 7; ++i)
            sheaf::test::writeFile(root + QStringLiteral("/f%1.txt").arg(i), "x");
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // An empty grid: a double click does nothing and does not crash.
        QTest::mouseDClick(w->grdList->viewport(), Qt::LeftButton, {}, QPoint(200, 100));
        w->grdList_DblClick();
        select(*w, root, false);
        QCOMPARE(w->list().FileCount, 7);
        auto *grid = w->grdList;
        auto rowPoint = [grid](int row) {
            return grid->visualRect(grid->model()->index(row - 1, 3)).center();
        };
        // One row: twice flips it back.
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, rowPoint(5));
        QCOMPARE(w->list().FileMark[5], QString());
        QCOMPARE(w->model()->cellText(5, 1), QString());
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, rowPoint(5));
        QCOMPARE(w->list().FileMark[5], QStringLiteral("する"));
        // Rows 4 and 6 unmarked, then rows 7 up to 3 selected: each row flips.
        w->model()->flipMarks(4, 4);
        w->model()->flipMarks(6, 6);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rowPoint(7));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowPoint(3));
        QCOMPARE(grid->Row(), 3);
        QCOMPARE(grid->RowSel(), 7);
        // A real double click: press, release, press, double click, release.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rowPoint(5));
        QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, rowPoint(5));
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, rowPoint(5));
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, rowPoint(5));
        const QString on = QStringLiteral("する");
        const QStringList marks {w->list().FileMark.mid(1, 7)};
        QCOMPARE(marks, (QStringList {on, on, "", on, "", on, ""}));
        QCOMPARE(grid->Row(), 7);
        QCOMPARE(grid->currentIndex().column(), 1);
        QCOMPARE(grid->RowSel(), 7);
        // The frozen column takes double clicks too.
        QTableView *frozen = grid->frozenColumn();
        QTest::mouseDClick(frozen->viewport(), Qt::LeftButton, {},
            frozen->visualRect(frozen->model()->index(0, 0)).center());
        QCOMPARE(w->list().FileMark[1], QString());
        QCOMPARE(w->lblMsg->text(), QStringLiteral("7件、抽出しました"));
    }

    void extensionField()
    {
        auto w = window();
        const QString root = makeTree();
        select(*w, root, false);
        QCOMPARE(w->list().FileCount, 2);
        // Committing the text already shown changes nothing: the list stays.
        w->cmbExtent_LostFocus();
        QCOMPARE(w->list().FileCount, 2);
        // Typing clears the list; Enter puts a new extension on top.
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->cmbExtent->setFocus();
        w->cmbExtent->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(" .lzh "));
        QCOMPARE(w->list().FileCount, 0);
        QCOMPARE(w->lblMsg->text(), QString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(w->cmbExtent->currentText(), QStringLiteral(".lzh"));
        QCOMPARE(w->cmbExtent->count(), 3);
        QCOMPARE(w->cmbExtent->itemText(0), QStringLiteral(".lzh"));
        // A listed extension typed again keeps its place, also on focus loss.
        w->cmbExtent->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(".EXE"));
        w->txtSelect->setFocus();
        QCOMPARE(w->cmbExtent->currentText(), QStringLiteral(".EXE"));
        QCOMPARE(w->cmbExtent->itemText(2), QStringLiteral(".EXE"));
        QVERIFY(!w->timRefresh->isActive());
        // ".TXT" is not ".txt": a new first entry.
        w->cmbExtent->setFocus();
        w->cmbExtent->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(".txt"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(w->cmbExtent->itemText(0), QStringLiteral(".txt"));
        QCOMPARE(w->cmbExtent->count(), 4);
        // Shift+Enter removes the shown extension; the field shows entry 0.
        w->cmbExtent->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(".EXE"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ShiftModifier);
        QStringList items;
        for (int i = 0; i < w->cmbExtent->count(); ++i)
            items << w->cmbExtent->itemText(i);
        QCOMPARE(items, (QStringList {".txt", ".lzh", ".TXT"}));
        QCOMPARE(w->cmbExtent->currentText(), QStringLiteral(".txt"));
    }

    void choiceFromDropDown()
    {
        auto w = window();
        select(*w, makeTree(), false);
        QVERIFY(w->list().FileCount > 0);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->cmbExtent->setFocus();
        QTest::keyClick(w->cmbExtent, Qt::Key_Down); // the next entry, as a choice
        QCOMPARE(w->cmbExtent->currentText(), QStringLiteral(".EXE"));
        QCOMPARE(w->list().FileCount, 0);
        QVERIFY(w->timRefresh->isActive());
        QCOMPARE(w->timRefresh->interval(), 10);
        QTRY_COMPARE(w->cmbExtent->itemText(0), QStringLiteral(".EXE"));
        QCOMPARE(w->cmbExtent->itemText(1), QStringLiteral(".TXT"));
        QCOMPARE(w->cmbExtent->currentText(), QStringLiteral(".EXE"));
        QVERIFY(!w->timRefresh->isActive());
        QCOMPARE(w->timRefresh->interval(), 0);
    }

    void handlersOnEmptyList()
    {
        auto w = window();
        w->cmdArchive_Click();
        w->grdList_DblClick();
        w->cmdClear_Click();
        w->timRefresh_Timer();
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(w->cmdSelect->isEnabled());
        QVERIFY(w->cmdArchive->isEnabled());
        QCOMPARE(w->lblMsg->text(), QString());
    }

    // A close request while the scan runs: the window closes when the scan
    // has ended, also after the message box of a full list.
    void closeWaitsForTheRunningCommand_data()
    {
        QTest::addColumn<bool>("fromDesktop"); // as the desktop sends it, else close()
        QTest::addColumn<int>("files");
        QTest::newRow("close()") << false << 3;
        QTest::newRow("the desktop's request, then the full list's box")
            << true << sheaf::CandidateList::Capacity + 1;
    }
    void closeWaitsForTheRunningCommand()
    {
        QFETCH(bool, fromDesktop);
        QFETCH(int, files);
        const QString root = m_dir.filePath(QStringLiteral("close%1").arg(files));
        for (int i = 0; i < files; ++i)
            sheaf::test::writeFile(root + QStringLiteral("/%1.txt").arg(i), QByteArray());
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // The request arrives while the scan runs, which keeps the window
        // painting; boxes are real and modal, each closed once it shows.
        if (fromDesktop)
            QWindowSystemInterface::handleCloseEvent(w->windowHandle());
        else
            QTimer::singleShot(0, w.get(), &QWidget::close);
        sheaf::ui::setMessageBoxHook({});
        QTimer boxCloser;
        connect(&boxCloser, &QTimer::timeout, this, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
        });
        boxCloser.start(50);
        select(*w, root, false);
        QCOMPARE(w->list().FileCount, std::min(files, sheaf::CandidateList::Capacity));
        QVERIFY(!QFile::exists(ini()));
        QTRY_VERIFY(!w->isVisible());
        QVERIFY(QFile::exists(ini())); // closed the usual way, settings saved
    }

    void resizeRules_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("expectedWidth");
        QTest::addColumn<int>("gridWidth");
        QTest::newRow("start") << 864 << 395 << 864 << 472;
        QTest::newRow("below the minimum") << 200 << 395 << -1 << -1;
        QTest::newRow("taller") << 864 << 700 << 864 << 472;
        QTest::newRow("lower") << 900 << 100 << 900 << 508;
        QTest::newRow("wide") << 879 << 395 << 879 << 487;
        QTest::newRow("much wider") << 1400 << 395 << 1400 << 1008;
    }
    void resizeRules()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, expectedWidth);
        QFETCH(int, gridWidth);
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        select(*w, makeTree(), true);
        const int gridBefore = w->grdList->width();
        w->resize(width, height);
        if (expectedWidth < 0) // the outer width stops at 5380 twips
            QCOMPARE(w->frameGeometry().width(), FrmSheaf::MinimumOuterWidth);
        else
            QCOMPARE(w->width(), expectedWidth);
        QCOMPARE(w->height(), FrmSheaf::InnerHeight);
        // Too narrow for a grid: it keeps the width it had.
        QCOMPARE(w->grdList->width(), gridWidth < 0 ? gridBefore : gridWidth);
        QCOMPARE(w->grdList->height(), FrmSheaf::GridHeight);
        QCOMPARE(w->grdList->pos(), QPoint(FrmSheaf::GridLeft, FrmSheaf::GridTop));
        if (gridWidth >= 0)
            QCOMPARE(w->width() - w->grdList->geometry().right() - 1, FrmSheaf::GridRightMargin);
        // The folder and name columns take the width: no blank grid, no scrolling.
        QCOMPARE(w->grdList->horizontalHeader()->length(), w->grdList->viewport()->width());
    }
};

QTEST_MAIN(TestFrmSheaf)
#include "test_frm_sheaf.moc"
