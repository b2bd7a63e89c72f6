// The main window on the offscreen platform: its controls, start-up state,
// clear command, switches, extension field, selection command, grid and
// layout on resize.

#include "app/ui/frm_sheaf.h"
#include "app/ui/message_box.h"
#include "selection/candidate_model.h"
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
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

using sheaf::ui::FrmSheaf;
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

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("toolTip");
        auto row = [](const char *name, const char *kind, const char *in, QRect r,
                       const QString &caption, const QString &tip) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind)
                                << QString::fromLatin1(in) << r << caption << tip;
        };
        row("Frame1", "QGroupBox", "frmSheaf", {120, 120, 5055, 975}, "抽出フォルダの設定", "");
        row("cmdSelinp", "QPushButton", "Frame1", {120, 240, 495, 255}, "",
            "抽出フォルダを指定できます。");
        row("txtSelect", "QLineEdit", "Frame1", {720, 240, 4215, 270}, QString(),
            "現在設定されている抽出を行うフォルダです。");
        row("chkSelect", "QCheckBox", "Frame1", {120, 600, 4815, 255},
            "指定フォルダからのみ抽出します",
            "抽出フォルダ以下のサブフォルダも抽出を行う時にチェックします。");
        row("Frame2", "QGroupBox", "frmSheaf", {120, 1200, 5055, 975}, "出力フォルダの設定", "");
        row("cmdOutinp", "QPushButton", "Frame2", {120, 240, 495, 255}, "",
            "出力フォルダを指定できます。");
        row("txtOutput", "QLineEdit", "Frame2", {720, 240, 4215, 270}, QString(),
            "現在設定されている圧縮したファイルを出力するフォルダです。");
        row("chkOutput", "QCheckBox", "Frame2", {120, 600, 4815, 255},
            "抽出データと同じ場所に圧縮データを作成します",
            "出力フォルダに圧縮ファイルを移動する場合にチェックします。");
        row("Frame3", "QGroupBox", "frmSheaf", {120, 2280, 5055, 615}, "圧縮方法の設定", "");
        row("chkTogether", "QCheckBox", "Frame3", {120, 240, 4815, 255},
            "抽出対象ファイルのみ圧縮します",
            "抽出したファイル以外も圧縮したい場合にチェックします。");
        row("Frame4", "QGroupBox", "frmSheaf", {120, 3000, 5055, 615},
            "ファイル名をフォルダ名に変更", "");
        row("chkName", "QCheckBox", "Frame4", {120, 240, 4815, 255},
            "抽出ファイル名の変更はしません",
            "通常はチェックしないで下さい。ファイル名を直上のフォルダ名に変更してから圧縮します。");
        row("Frame5", "QGroupBox", "frmSheaf", {120, 3720, 2415, 615}, "抽出する拡張子の設定", "");
        row("cmbExtent", "QComboBox", "Frame5", {120, 240, 975, 300}, QString(),
            "抽出フォルダから抽出する拡張子を“．？？？”の形式で登録できます。（Shift+"
            "Enterで削除できます）");
        row("lblCount", "QLabel", "Frame5", {1080, 240, 1215, 255}, "", "");
        row("Frame6", "QGroupBox", "frmSheaf", {2640, 3720, 2535, 615}, "圧縮するアーカイバの設定",
            "");
        row("optLzh", "QRadioButton", "Frame6", {240, 240, 735, 300}, "LHA",
            "ＵＮＬＨＡ３２．ＤＬＬが有れば、圧縮可能です。");
        row("optZip", "QRadioButton", "Frame6", {960, 240, 735, 300}, "ZIP",
            "ＺＩＰ３２．ＤＬＬ＋ＺＩＰ３２Ｊ．ＤＬＬＬが有れば、圧縮可能です。");
        row("optCab", "QRadioButton", "Frame6", {1680, 240, 735, 300}, "CAB",
            "ＣＡＢ３２．ＤＬＬが有れば、圧縮可能です。");
        row("cmdSelect", "QPushButton", "frmSheaf", {120, 4560, 1095, 495}, "抽出(&S)",
            "抽出フォルダから圧縮する元ファイルを抽出します。");
        row("cmdArchive", "QPushButton", "frmSheaf", {1440, 4560, 1095, 495}, "圧縮(&A)",
            "抽出したファイルを元に圧縮します。");
        row("cmdClear", "QPushButton", "frmSheaf", {2760, 4560, 1095, 495}, "消去(&C)",
            "抽出したファイルをクリアします。");
        row("cmdQuit", "QPushButton", "frmSheaf", {4080, 4560, 1095, 495}, "終了(&E)",
            "読んで字の如し、Sheafを終了します。");
        row("Frame7", "QGroupBox", "frmSheaf", {120, 5160, 5055, 615}, "メッセージ",
            "メッセージが表示されます。");
        row("lblMsg", "QLabel", "Frame7", {120, 240, 3135, 255}, "", "メッセージが表示されます。");
        row("grdList", "QTableView", "frmSheaf", {5280, 240, 7095, 5535}, QString(),
            "圧縮するファイルを一覧表示します。クリックする事で非対称にする事も出来ます。");
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, container);
        QFETCH(QRect, twips);
        QFETCH(QString, caption);
        QFETCH(QString, toolTip);
        auto w = window();
        auto *control = w->findChild<QWidget *>(name);
        QVERIFY(control);
        QVERIFY2(control->inherits(kind.toLatin1()), control->metaObject()->className());
        QCOMPARE(control->parentWidget()->objectName(), container);
        QCOMPARE(control->toolTip(), toolTip);
        const QRect expected(FrmSheaf::twips(twips.x()), FrmSheaf::twips(twips.y()),
            FrmSheaf::twips(twips.width()), FrmSheaf::twips(twips.height()));
        if (name != QLatin1String("grdList")) // the grid's width follows the window
            QCOMPARE(control->geometry(), expected);
        if (caption.isNull())
            return;
        if (auto *frame = qobject_cast<QGroupBox *>(control))
            QCOMPARE(frame->title(), caption);
        else if (auto *button = qobject_cast<QAbstractButton *>(control))
            QCOMPARE(button->text(), caption);
        else if (auto *label = qobject_cast<QLabel *>(control))
            QCOMPARE(label->text(), caption);
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
        QCOMPARE(w->size(), QSize(829, 395));
        // The font asked for, then fallbacks that show Japanese elsewhere.
        QVERIFY(w->font().families().contains(QStringLiteral("ＭＳ Ｐゴシック")));
        QCOMPARE(w->font().pointSizeF(), 9.75);
        QCOMPARE(w->grdList->font().pointSizeF(), 9.0);
        QVERIFY(w->font().families().contains(QStringLiteral("IPAPGothic")));
        QVERIFY(!w->timRefresh->isActive());
        QVERIFY(w->timRefresh->isSingleShot());
    }

    void tabOrderAndFocus()
    {
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const QStringList expected {"txtSelect", "cmdSelinp", "chkSelect", "txtOutput", "cmdOutinp",
            "chkOutput", "optLzh", "optZip", "optCab", "cmdSelect", "cmdArchive", "cmdClear",
            "cmdQuit", "grdList", "chkTogether", "cmbExtent", "chkName"};
        QStringList chain;
        QWidget *at = w->txtSelect;
        do {
            if (expected.contains(at->objectName()) && !chain.contains(at->objectName()))
                chain << at->objectName();
            at = at->nextInFocusChain();
        } while (at != w->txtSelect);
        QCOMPARE(chain, expected);
        QCOMPARE(QApplication::focusWidget(), w->txtSelect);
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
        const int widths[] {32, 32, 120, 120, 88, 56};
        for (int c = 0; c < 6; ++c)
            QCOMPARE(w->grdList->columnWidth(c), widths[c]);

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

    void closeWaitsForTheRunningCommand()
    {
        auto w = window();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // The desktop asks to close while the scan runs: the window paints
        // on during the scan, so the request arrives inside the command.
        QTimer::singleShot(0, w.get(), &QWidget::close);
        select(*w, makeTree(), true);
        QCOMPARE(w->list().FileCount, 3);
        QCOMPARE(w->lblMsg->text(), QStringLiteral("3件、抽出しました"));
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
        QTest::newRow("start") << 829 << 395 << 829 << 472;
        QTest::newRow("below the minimum") << 200 << 395 << -1 << -1;
        QTest::newRow("taller") << 829 << 700 << 829 << 472;
        QTest::newRow("lower") << 900 << 100 << 900 << 543;
        QTest::newRow("wide") << 859 << 395 << 859 << 502; // outer 13000 twips: grid 7530
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
    }
};

QTEST_MAIN(TestFrmSheaf)
#include "test_frm_sheaf.moc"
