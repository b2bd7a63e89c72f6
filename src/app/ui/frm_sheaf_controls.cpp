// The controls of frmSheaf: kind, place and size (twips / 15), captions, tool
// tips, fonts and the tab order.

#include "app/ui/control_font.h"
#include "app/ui/frm_sheaf.h"
#include "app/ui/pictures.h"
#include "selection/candidate_model.h"
#include "selection/ui/grid_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace sheaf::ui {

namespace {

QRect twipRect(int left, int top, int width, int height)
{
    return QRect(FrmSheaf::twips(left), FrmSheaf::twips(top), FrmSheaf::twips(width),
        FrmSheaf::twips(height));
}

template<typename W>
W *make(QWidget *parent, const char *name, QRect rect, const QString &toolTip = QString())
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(rect);
    if (!toolTip.isEmpty())
        w->setToolTip(toolTip);
    return w;
}

QGroupBox *frame(QWidget *parent, const char *name, QRect rect, const QString &caption)
{
    auto *f = make<QGroupBox>(parent, name, rect);
    f->setTitle(caption);
    return f;
}

} // namespace

void FrmSheaf::setUpFonts()
{
    setFont(controlFont(9.75));
    grdList->setFont(controlFont(9.0));
}

void FrmSheaf::buildControls()
{
    setObjectName(QStringLiteral("frmSheaf"));
    setWindowTitle(QStringLiteral("Sheaf（簡易版）"));
    setWindowIcon(sheafIcon());
    const QIcon folderPicture = openFolderPicture();

    Frame1 = frame(
        this, "Frame1", twipRect(120, 120, 5055, 975), QStringLiteral("抽出フォルダの設定"));
    cmdSelinp = make<QPushButton>(Frame1, "cmdSelinp", twipRect(120, 240, 495, 255),
        QStringLiteral("抽出フォルダを指定できます。"));
    txtSelect = make<QLineEdit>(Frame1, "txtSelect", twipRect(720, 240, 4215, 270),
        QStringLiteral("現在設定されている抽出を行うフォルダです。"));
    chkSelect = make<QCheckBox>(Frame1, "chkSelect", twipRect(120, 600, 4815, 255),
        QStringLiteral("抽出フォルダ以下のサブフォルダも抽出を行う時にチェックします。"));

    Frame2 = frame(
        this, "Frame2", twipRect(120, 1200, 5055, 975), QStringLiteral("出力フォルダの設定"));
    cmdOutinp = make<QPushButton>(Frame2, "cmdOutinp", twipRect(120, 240, 495, 255),
        QStringLiteral("出力フォルダを指定できます。"));
    txtOutput = make<QLineEdit>(Frame2, "txtOutput", twipRect(720, 240, 4215, 270),
        QStringLiteral("現在設定されている圧縮したファイルを出力するフォルダです。"));
    chkOutput = make<QCheckBox>(Frame2, "chkOutput", twipRect(120, 600, 4815, 255),
        QStringLiteral("出力フォルダに圧縮ファイルを移動する場合にチェックします。"));

    Frame3
        = frame(this, "Frame3", twipRect(120, 2280, 5055, 615), QStringLiteral("圧縮方法の設定"));
    chkTogether = make<QCheckBox>(Frame3, "chkTogether", twipRect(120, 240, 4815, 255),
        QStringLiteral("抽出したファイル以外も圧縮したい場合にチェックします。"));

    Frame4 = frame(this, "Frame4", twipRect(120, 3000, 5055, 615),
        QStringLiteral("ファイル名をフォルダ名に変更"));
    chkName = make<QCheckBox>(Frame4, "chkName", twipRect(120, 240, 4815, 255),
        QStringLiteral("通常はチェックしないで下さい。ファイル名を直上のフォ"
                       "ルダ名に変更してから圧縮します。"));

    Frame5 = frame(
        this, "Frame5", twipRect(120, 3720, 2415, 615), QStringLiteral("抽出する拡張子の設定"));
    cmbExtent = make<QComboBox>(Frame5, "cmbExtent", twipRect(120, 240, 975, 300),
        QStringLiteral("抽出フォルダから抽出する拡張子を“．？？？”の形式で"
                       "登録できます。（Shift+Enterで削除できます）"));
    lblCount = make<QLabel>(Frame5, "lblCount", twipRect(1080, 240, 1215, 255));

    Frame6 = frame(this, "Frame6", twipRect(2640, 3720, 2535, 615),
        QStringLiteral("圧縮するアーカイバの設定"));
    optLzh = make<QRadioButton>(Frame6, "optLzh", twipRect(240, 240, 735, 300),
        QStringLiteral("ＵＮＬＨＡ３２．ＤＬＬが有れば、圧縮可能です。"));
    optZip = make<QRadioButton>(Frame6, "optZip", twipRect(960, 240, 735, 300),
        QStringLiteral("ＺＩＰ３２．ＤＬＬ＋ＺＩＰ３２Ｊ．ＤＬＬＬが有れば、圧縮可能です。"));
    optCab = make<QRadioButton>(Frame6, "optCab", twipRect(1680, 240, 735, 300),
        QStringLiteral("ＣＡＢ３２．ＤＬＬが有れば、圧縮可能です。"));

    cmdSelect = make<QPushButton>(this, "cmdSelect", twipRect(120, 4560, 1095, 495),
        QStringLiteral("抽出フォルダから圧縮する元ファイルを抽出します。"));
    cmdArchive = make<QPushButton>(this, "cmdArchive", twipRect(1440, 4560, 1095, 495),
        QStringLiteral("抽出したファイルを元に圧縮します。"));
    cmdClear = make<QPushButton>(this, "cmdClear", twipRect(2760, 4560, 1095, 495),
        QStringLiteral("抽出したファイルをクリアします。"));
    cmdQuit = make<QPushButton>(this, "cmdQuit", twipRect(4080, 4560, 1095, 495),
        QStringLiteral("読んで字の如し、Sheafを終了します。"));

    Frame7 = frame(this, "Frame7", twipRect(120, 5160, 5055, 615), QStringLiteral("メッセージ"));
    Frame7->setToolTip(QStringLiteral("メッセージが表示されます。"));
    lblMsg = make<QLabel>(Frame7, "lblMsg", twipRect(120, 240, 3135, 255),
        QStringLiteral("メッセージが表示されます。"));

    grdList = make<GridView>(this, "grdList", QRect(GridLeft, GridTop, twips(7095), GridHeight),
        QStringLiteral("圧縮するファイルを一覧表示します。クリックする事で非対称にする事も出来"
                       "ます。"));

    timRefresh = new QTimer(this);
    timRefresh->setObjectName(QStringLiteral("timRefresh"));
    timRefresh->setSingleShot(true);
    timRefresh->setInterval(0);

    // Captions.
    for (QPushButton *picture : {cmdSelinp, cmdOutinp}) {
        picture->setIcon(folderPicture);
        picture->setIconSize(QSize(16, 15));
    }
    // The switches write their own captions at start-up.
    chkSelect->setText(QStringLiteral("Check3"));
    for (QCheckBox *box : {chkOutput, chkTogether, chkName})
        box->setText(QStringLiteral("Check1"));
    optLzh->setText(QStringLiteral("LHA"));
    optZip->setText(QStringLiteral("ZIP"));
    optCab->setText(QStringLiteral("CAB"));
    cmdSelect->setText(QStringLiteral("抽出(&S)"));
    cmdArchive->setText(QStringLiteral("圧縮(&A)"));
    cmdClear->setText(QStringLiteral("消去(&C)"));
    cmdQuit->setText(QStringLiteral("終了(&E)"));

    // The extension field: typed text is never added to the list by the
    // combo box itself, and no completer changes what was typed (".TXT"
    // and ".txt" are different extensions).
    cmbExtent->setEditable(true);
    cmbExtent->setInsertPolicy(QComboBox::NoInsert);
    cmbExtent->setCompleter(nullptr);
    cmbExtent->setMaxVisibleItems(12);

    lblCount->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblMsg->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_model = new CandidateModel(m_list, this);
    grdList->setCandidateModel(m_model);
    grdList->setColumnWidths(
        {twips(480), twips(480), twips(1800), twips(1800), twips(1320), twips(840)});

    setUpFonts();
    setUpTabOrder();
}

void FrmSheaf::setUpTabOrder()
{
    const QList<QWidget *> order {txtSelect, cmdSelinp, chkSelect, txtOutput, cmdOutinp, chkOutput,
        optLzh, optZip, optCab, cmdSelect, cmdArchive, cmdClear, cmdQuit, grdList, chkTogether,
        cmbExtent, chkName};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    for (QWidget *w : order)
        w->setFocusPolicy(Qt::StrongFocus);
}

} // namespace sheaf::ui
