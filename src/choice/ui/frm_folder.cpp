#include "choice/ui/frm_folder.h"
#include "base/ui/control_font.h"
#include "base/ui/message_box.h"
#include "base/ui/pictures.h"
#include "choice/folder_lists.h"
#include "selection/name_text.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace sheaf::ui {

namespace {
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}
constexpr int FolderRole = Qt::UserRole;

// The drive list: its items hold whole mount points (the open list shows
// them whole); the closed field shows the chosen one without its middle
// when it is too long; the whole path is its tool tip.
class DriveList : public QComboBox
{
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(
            QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        const int icon = option.currentIcon.isNull() ? 0 : option.iconSize.width() + 4;
        option.currentText
            = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width() - icon);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};
} // namespace

FrmFolder::FrmFolder(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmFolder"));
    setWindowTitle(QStringLiteral("フォルダの設定"));
    setWindowIcon(sheafIcon());
    setFixedSize(px(3045), px(4455));
    setFont(controlFont(9.75));

    drvList = new DriveList(this);
    drvList->setObjectName(QStringLiteral("drvList"));
    drvList->setGeometry(px(120), px(120), px(2775), px(300));
    dirList = new QListWidget(this);
    dirList->setObjectName(QStringLiteral("dirList"));
    dirList->setGeometry(px(120), px(480), px(2775), px(3240));
    cmdOk = new QPushButton(QStringLiteral("設定(&S)"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setGeometry(px(120), px(3840), px(1335), px(495));
    cmdNo = new QPushButton(QStringLiteral("取消(&C)"), this);
    cmdNo->setObjectName(QStringLiteral("cmdNo"));
    cmdNo->setGeometry(px(1560), px(3840), px(1335), px(495));
    setTabOrder(drvList, dirList);
    setTabOrder(dirList, cmdOk);
    setTabOrder(cmdOk, cmdNo);

    fillDrives();

    connect(cmdOk, &QPushButton::clicked, this, &FrmFolder::cmdOk_Click);
    connect(cmdNo, &QPushButton::clicked, this, &FrmFolder::cmdNo_Click);
    connect(drvList, &QComboBox::activated, this, &FrmFolder::drvList_Change);
    connect(dirList, &QListWidget::itemActivated, this, &FrmFolder::openItem);

    // On creation the lists show the current working folder and its drive.
    if (!setPath(QDir::currentPath()))
        setPath(QStringLiteral("/"));
}

bool FrmFolder::setPath(const QString &folder, int *errorNumber, QString *errorText)
{
    const FolderPickerListing listing = listFolder(folder);
    if (listing.errorNumber != 0) {
        if (errorNumber)
            *errorNumber = listing.errorNumber;
        if (errorText)
            *errorText = listing.errorText;
        return false;
    }
    m_path = listing.open;
    dirList->clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    // A classic folder list: each level of the path one step further in,
    // the subfolders one step beyond the open folder. Two spaces a level,
    // but never more than a quarter of the list in all: deep down, levels
    // share steps, so that every name still shows.
    const int levels = int(listing.chain.size());
    const int widest = (dirList->width() / 4) / qMax(1, fontMetrics().horizontalAdvance(u' '));
    const auto indent = [&](int depth) {
        return QString(qMin(depth * 2, depth * widest / qMax(1, levels)), QLatin1Char(' '));
    };
    int depth = 0;
    for (const QString &step : listing.chain) {
        auto *item
            = new QListWidgetItem(openIcon, indent(depth) + folderDisplayName(step), dirList);
        item->setData(FolderRole, step);
        item->setToolTip(shownName(step));
        ++depth;
    }
    dirList->setCurrentRow(dirList->count() - 1);
    for (const QString &sub : listing.subfolders) {
        auto *item
            = new QListWidgetItem(closedIcon, indent(depth) + folderDisplayName(sub), dirList);
        item->setData(FolderRole, sub);
        item->setToolTip(shownName(sub));
    }
    selectDriveOf(m_path);
    return true;
}

void FrmFolder::fillDrives()
{
    const QSignalBlocker blocker(drvList);
    drvList->clear();
    m_volumes = mountedVolumes();
    for (const QString &volume : m_volumes) {
        const QString shown = shownName(volume); // bytes outside UTF-8 as \xHH
        drvList->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), shown, volume);
        drvList->setItemData(drvList->count() - 1, shown, Qt::ToolTipRole);
    }
}

void FrmFolder::selectDriveOf(const QString &folder)
{
    const int index = drvList->findData(volumeOf(folder, m_volumes));
    const QSignalBlocker blocker(drvList);
    drvList->setCurrentIndex(index);
    drvList->setToolTip(drvList->currentText());
}

void FrmFolder::openItem(QListWidgetItem *item)
{
    if (!item)
        return;
    int number = 0;
    QString text;
    if (!setPath(item->data(FolderRole).toString(), &number, &text)) {
        showMessage(this,
            {QStringLiteral("kwSheaf"), QString::number(number) + text, QString(),
                QMessageBox::NoIcon});
    }
}

void FrmFolder::showPicker()
{
    // Drives mounted or removed since the picker was last open.
    fillDrives();
    selectDriveOf(m_path);
    show();
    raise();
    activateWindow();
}

void FrmFolder::cmdOk_Click()
{
    emit folderChosen(m_path);
    hide();
}

void FrmFolder::cmdNo_Click()
{
    hide();
}

void FrmFolder::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        cmdNo_Click();
    else
        QWidget::keyPressEvent(event);
}

void FrmFolder::drvList_Change()
{
    int number = 0;
    QString text;
    if (setPath(drvList->currentData().toString(), &number, &text))
        return;
    showMessage(this,
        {QStringLiteral("kwSheaf"), QString::number(number) + text, QString(),
            QMessageBox::NoIcon});
    // Back to the drive the directory list still stands on.
    selectDriveOf(m_path);
}

} // namespace sheaf::ui
