// The controls of frmSheaf, built from the control table: kind, place and
// size, captions, tool tips, fonts and the tab order.

#include "app/ui/control_table.h"
#include "app/ui/frm_sheaf.h"
#include "archive/ui/archive_binding.h"
#include "base/ui/classic_frame.h"
#include "base/ui/control_font.h"
#include "base/ui/pictures.h"
#include "selection/ui/grid_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <map>

namespace sheaf::ui {

namespace {

QWidget *makeControl(ControlKind kind, QWidget *parent)
{
    switch (kind) {
    case ControlKind::Frame:
        return new ClassicFrame(parent);
    case ControlKind::Button:
        return new QPushButton(parent);
    case ControlKind::Field:
        return new QLineEdit(parent);
    case ControlKind::Switch:
        return new QCheckBox(parent);
    case ControlKind::Combo:
        return new QComboBox(parent);
    case ControlKind::Label:
        return new QLabel(parent);
    case ControlKind::Option:
        return new QRadioButton(parent);
    case ControlKind::Grid:
        return new GridView(parent);
    }
    return nullptr;
}

void setCaption(QWidget *w, const QString &caption)
{
    if (auto *frame = qobject_cast<QGroupBox *>(w))
        frame->setTitle(caption);
    else if (auto *button = qobject_cast<QAbstractButton *>(w))
        button->setText(caption);
    else if (auto *label = qobject_cast<QLabel *>(w))
        label->setText(caption);
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
    setWindowTitle(ArchiveBinding::titleWithProgress(-1));
    setWindowIcon(sheafIcon());

    std::map<QString, QWidget *> byName {{objectName(), this}};
    QList<std::pair<int, QWidget *>> tabOrder;
    for (const ControlRow &row : controlTable()) {
        QWidget *w = makeControl(row.kind, byName.at(QLatin1String(row.container)));
        const QString name = QLatin1String(row.name);
        w->setObjectName(name);
        QRect place = pixelRect(row.twips);
        if (row.kind == ControlKind::Grid)
            place = QRect(GridLeft, GridTop, place.width(), GridHeight);
        w->setGeometry(place);
        w->setToolTip(QString::fromUtf16(row.toolTip));
        setCaption(w, QString::fromUtf16(row.caption));
        if (row.tabIndex >= 0)
            tabOrder << std::pair {row.tabIndex, w};
        byName[name] = w;
    }
    const auto find = [&](const char *name) {
        return byName.at(QLatin1String(name));
    };
    Frame1 = static_cast<QGroupBox *>(find("Frame1"));
    Frame2 = static_cast<QGroupBox *>(find("Frame2"));
    Frame3 = static_cast<QGroupBox *>(find("Frame3"));
    Frame4 = static_cast<QGroupBox *>(find("Frame4"));
    Frame5 = static_cast<QGroupBox *>(find("Frame5"));
    Frame6 = static_cast<QGroupBox *>(find("Frame6"));
    Frame7 = static_cast<QGroupBox *>(find("Frame7"));
    cmdSelinp = static_cast<QPushButton *>(find("cmdSelinp"));
    cmdOutinp = static_cast<QPushButton *>(find("cmdOutinp"));
    txtSelect = static_cast<QLineEdit *>(find("txtSelect"));
    txtOutput = static_cast<QLineEdit *>(find("txtOutput"));
    chkSelect = static_cast<QCheckBox *>(find("chkSelect"));
    chkOutput = static_cast<QCheckBox *>(find("chkOutput"));
    chkTogether = static_cast<QCheckBox *>(find("chkTogether"));
    chkName = static_cast<QCheckBox *>(find("chkName"));
    cmbExtent = static_cast<QComboBox *>(find("cmbExtent"));
    lblCount = static_cast<QLabel *>(find("lblCount"));
    lblMsg = static_cast<QLabel *>(find("lblMsg"));
    optLzh = static_cast<QRadioButton *>(find("optLzh"));
    optZip = static_cast<QRadioButton *>(find("optZip"));
    optCab = static_cast<QRadioButton *>(find("optCab"));
    cmdSelect = static_cast<QPushButton *>(find("cmdSelect"));
    cmdArchive = static_cast<QPushButton *>(find("cmdArchive"));
    cmdClear = static_cast<QPushButton *>(find("cmdClear"));
    cmdQuit = static_cast<QPushButton *>(find("cmdQuit"));
    grdList = static_cast<GridView *>(find("grdList"));

    timRefresh = new QTimer(this);
    timRefresh->setObjectName(QStringLiteral("timRefresh"));
    timRefresh->setSingleShot(true);
    timRefresh->setInterval(0);

    const QIcon folderPicture = openFolderPicture();
    for (QPushButton *picture : {cmdSelinp, cmdOutinp}) {
        picture->setIcon(folderPicture);
        picture->setIconSize(QSize(16, 15));
    }
    // The switches write their own captions at start-up.
    chkSelect->setText(QStringLiteral("Check3"));
    for (QCheckBox *box : {chkOutput, chkTogether, chkName})
        box->setText(QStringLiteral("Check1"));

    // The extension field: typed text is never added to the list by the
    // combo box itself, and no completer changes what was typed (".TXT"
    // and ".txt" are different extensions).
    cmbExtent->setEditable(true);
    cmbExtent->setInsertPolicy(QComboBox::NoInsert);
    cmbExtent->setCompleter(nullptr);
    cmbExtent->setMaxVisibleItems(12);

    lblCount->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A status text longer than the frame goes on to a second line.
    lblMsg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblMsg->setWordWrap(true);

    setUpFonts();
    std::sort(tabOrder.begin(), tabOrder.end(),
        [](const auto &a, const auto &b) { return a.first < b.first; });
    for (qsizetype i = 0; i < tabOrder.size(); ++i) {
        tabOrder[i].second->setFocusPolicy(Qt::StrongFocus);
        if (i > 0)
            setTabOrder(tabOrder[i - 1].second, tabOrder[i].second);
    }
}

} // namespace sheaf::ui
